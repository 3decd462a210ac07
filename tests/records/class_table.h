#pragma once
// Every record class, in the order of the record-file table, with what a
// table-driven test needs to make one, copy one and call its look-up on key 0.

#include <memory>
#include <utility>

#include "reclink/base_rec_link.h"

namespace reclink::test {

struct ClassCase {
  const char* name;                                              // the class's name
  std::unique_ptr<CBaseRecLink> (*makeDefault)();                // directory from the profile
  std::unique_ptr<CBaseRecLink> (*makeWithDir)(const char* dir); // the directory constructor
  std::unique_ptr<CBaseRecLink> (*copy)(CBaseRecLink& from);     // copy construction
  void (*assign)(CBaseRecLink& to, CBaseRecLink& from);          // copy assignment
  char* (*record)(CBaseRecLink& object);                         // the record buffer
  const char* (*primeKey)(CBaseRecLink& object);                 // the prime-key buffer
  int (*lookUp)(CBaseRecLink& object, const char* const* args);  // the key-0 look-up
};

// The forty-one classes; kClassCount entries.
extern const ClassCase kClasses[];
extern const int kClassCount;

}  // namespace reclink::test
