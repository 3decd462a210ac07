// The words behind a status: what the record manager knew about a failure
// beyond the status's meaning (which setting of a server configuration is
// wrong, that a server refused the login), kept per thread from one call to
// the next, for the tools that people read.
#pragma once

#include <string>

namespace recman {

// Forgets the reason of the thread's previous call; every entry point
// calls it first.
void ClearReason();

// Sets the reason of the status the current call is about to give (the
// last one set wins).
void SetReason(std::string why);

// The reason of the thread's last call ("" when it had none to give).
const std::string& LastReason();

}  // namespace recman
