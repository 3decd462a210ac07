// What a failing storage call was doing: it decides the status of a lock
// conflict and of a file that cannot be read as a record file.
#pragma once

namespace recman {

// Tables of statuses by access are indexed by its value, in this order.
enum class Access {
  kOpen,    // opening a file: an unreadable one is "not ours" (30)
  kFile,    // any other work on the file as a whole (busy gives 85)
  kRecord,  // work on one stored record (busy gives 84)
};

}  // namespace recman
