// Transactions by number: they name no file, so the scratch block serves as
// position block, data and key.

#include "reclink/btrieve.h"
#include "reclink/rec_link.h"

namespace {

constexpr int kNoNumber = 0;  // transactions have no number and no ident

}  // namespace

int CRecLink::Begin_Tran() {
  int status = RECLINK(B_BEGIN_TRAN, scratch_, scratch_, &scratchLen_, scratch_, 0);
  if (status == 0) return 0;
  DB_ErrMessage(kNoNumber, "BO_BEGIN", static_cast<short>(status));
  return -1;
}

int CRecLink::End_Tran() {
  int status = RECLINK(B_END_TRAN, scratch_, scratch_, &scratchLen_, scratch_, 0);
  if (status == 0) return 0;
  DB_ErrMessage(kNoNumber, "BO_ENDTRAN", static_cast<short>(status));
  return -1;
}

void CRecLink::Abort_Tran() { RECLINK(B_ABORT_TRAN, scratch_, scratch_, &scratchLen_, scratch_, 0); }
