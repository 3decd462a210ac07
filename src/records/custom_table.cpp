// Custom-table look-up: an item code stored with a leading zero ("05") is
// also found from its plain number ("5").

#include <cstdio>
#include <cstdlib>

#include "reclink/records/code_table.h"

namespace {
constexpr long kLargestTwoDigitRetry = 999;  // item values from 1000 get no second try
constexpr const char* kStaffTable = "AA";    // the table code of the staff table
}  // namespace

int CCustomTblDB::GetCustomTblData(char const* table, char const* item) {
  int status = LookUp(0, {table, item});
  if (status == 0) return 0;
  long value = item == nullptr ? 0 : std::strtol(item, nullptr, 10);  // as atoi reads it
  if (value > kLargestTwoDigitRetry) return status;
  char digits[24];
  std::snprintf(digits, sizeof digits, "%02d", static_cast<int>(value < -99999 ? -99999 : value));
  return LookUp(0, {table, digits});  // a value wider than the field is cut to it
}

int CCustomTblDB::GetStaffData(char const* item) { return GetCustomTblData(kStaffTable, item); }
