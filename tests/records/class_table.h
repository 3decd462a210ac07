#pragma once
// Every record class with what it should be, written down independently of
// the library's record-file table, and what a table-driven test needs to
// make one, copy one and call its look-up.

#include <memory>

#include "reclink/base_rec_link.h"
#include "reclink/records/catalogue.h"

namespace reclink::test {

struct ClassCase {
  const char* name;          // the class's name
  const char* ident;         // its record ident
  const char* fileName;      // its file inside the database directory
  int recordLength;          // bytes of its records
  PrimeKeyRule rule;         // how its prime key is taken from a record
  bool completes;            // its directory constructor appends a missing backslash
  int widths[4];             // key 0: widths of the string fields lying back to back from 0
  int segments;              // fields of key 0
  int offsets[4];            // their offsets, in the record and in the key image alike
  int keyLength;             // bytes of key 0 and of the prime key
  std::unique_ptr<CBaseRecLink> (*makeDefault)();                 // directory from the profile
  std::unique_ptr<CBaseRecLink> (*makeWithDir)(const char* dir);  // the directory constructor
  std::unique_ptr<CBaseRecLink> (*copy)(CBaseRecLink& from);      // copy construction
  void (*assign)(CBaseRecLink& to, CBaseRecLink& from);           // copy assignment
  char* (*record)(CBaseRecLink& object);                          // the record buffer
  const char* (*primeKey)(CBaseRecLink& object);                  // the prime-key buffer
  int (*lookUp)(CBaseRecLink& object, const char* const* args);   // the key-0 look-up
};

// The forty-one classes, in the order of the record-file table.
extern const ClassCase kClasses[41];

}  // namespace reclink::test
