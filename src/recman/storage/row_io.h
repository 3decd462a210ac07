// How a backend's statements meet a stored record's columns, the same for
// every backend: the key values bound to a write, and a Row filled from a
// read (pos, ver, data, then on key paths k and s: table_sql.h).
#pragma once

#include <cstdint>
#include <vector>

#include "recman/format/file_layout.h"
#include "recman/format/key_codec.h"
#include "recman/storage/storage.h"

namespace recman {

// Binds every key's value in order (null when the record has none on it)
// and, with seqs, after each key with duplicates its place. binder takes
// Bytes(const std::string&), Null() and Int(int64_t), each the next
// parameter.
template <typename Binder>
void BindKeys(Binder& binder, const FileLayout& layout, const EncodedKeys& keys, const std::vector<int64_t>* seqs) {
  for (size_t k = 0; k < layout.keys.size(); ++k) {
    if (keys.present[k]) {
      binder.Bytes(keys.value[k]);
    } else {
      binder.Null();
    }
    if (seqs != nullptr && layout.keys[k].duplicates) binder.Int((*seqs)[k]);
  }
}

// Fills row from the read's current row: columns gives Int(c), Bytes(c)
// (valid until the next call on the table) and Length(c) of column c.
// keyed: the read went along a key, and its key and place follow.
template <typename Columns>
void FillRow(const Columns& columns, bool keyed, Row* row) {
  row->pos = columns.Int(0);
  row->ver = columns.Int(1);
  row->data = columns.Bytes(2);
  row->length = columns.Length(2);
  row->key = keyed ? columns.Bytes(3) : nullptr;
  row->keyLength = keyed ? columns.Length(3) : 0;
  row->seq = keyed ? columns.Int(4) : 0;
}

// Fills row with the record at pos as RowSql reads it (ver, data, then the
// place on every key): with key >= 0 also its place on that key.
template <typename Columns>
void FillRowAt(const Columns& columns, int64_t pos, int key, Row* row) {
  row->pos = pos;
  row->ver = columns.Int(0);
  row->data = columns.Bytes(1);
  row->length = columns.Length(1);
  row->key = nullptr;
  row->keyLength = 0;
  row->seq = key >= 0 ? columns.Int(2 + key) : 0;
}

}  // namespace recman
