#pragma once
// A write of a record class inside a transaction of its own.

#include "reclink/base_rec_link.h"

namespace reclink::records {

// Runs write() (which returns a status) between BeginTran and EndTran of
// object. -1 when the transaction cannot begin (write is not run); a failing
// write's status after AbortTran; else 0 after EndTran, whatever EndTran gives.
template <class Write>
int InOwnTransaction(CBaseRecLink& object, Write write) {
  if (object.BeginTran() != 0) return -1;
  const int status = write();
  if (status != 0) {
    object.AbortTran();
    return status;
  }
  object.EndTran();
  return 0;
}

}  // namespace reclink::records
