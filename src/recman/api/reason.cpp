#include "recman/api/reason.h"

#include "reclink/recman_check.h"

namespace recman {
namespace {

thread_local std::string tReason;  // the reason of the thread's last call

}  // namespace

void ClearReason() { tReason.clear(); }

void SetReason(std::string why) { tReason = std::move(why); }

const std::string& LastReason() { return tReason; }

}  // namespace recman

extern "C" const char* BtrLastReason(void) { return recman::LastReason().c_str(); }
