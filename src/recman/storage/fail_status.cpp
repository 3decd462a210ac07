#include "recman/storage/fail_status.h"

#include "reclink/btrieve.h"

namespace recman {
namespace {

// One row per system failure; the status a caller sees for it.
struct FailRow {
  os::Fail fail;  // what the system said
  int status;     // status returned for it
};

constexpr FailRow kFailTable[] = {
    {os::Fail::kNone, B_NO_ERROR},          {os::Fail::kNotFound, B_FILE_NOT_FOUND},
    {os::Fail::kBadName, B_FILENAME_BAD},   {os::Fail::kAccess, B_ACCESS_DENIED},
    {os::Fail::kNoSpace, B_DISK_FULL},      {os::Fail::kExists, B_FILE_ALREADY_EXISTS},
    {os::Fail::kBusy, B_FILE_INUSE},        {os::Fail::kNotRegular, B_FILE_NOT_FOUND},
    {os::Fail::kIo, B_IO_ERROR},
};

}  // namespace

int StatusFromFail(os::Fail f) {
  for (const FailRow& row : kFailTable) {
    if (row.fail == f) return row.status;
  }
  return B_IO_ERROR;
}

}  // namespace recman
