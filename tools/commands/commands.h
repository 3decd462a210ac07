#pragma once
// The utility's commands. Each takes its parsed command line, writes results
// to io.out and messages to io.err, and returns an exit status (ExitStatus).

#include <string>

#include "cli/command.h"

namespace reclink::cli {

int RunInit(const Args& args, Io& io);
int RunStat(const Args& args, Io& io);
int RunSave(const Args& args, Io& io);
int RunLoad(const Args& args, Io& io);
int RunCreate(const Args& args, Io& io);
int RunClone(const Args& args, Io& io);
int RunDump(const Args& args, Io& io);
int RunCheck(const Args& args, Io& io);
int RunPatients(const Args& args, Io& io);
int RunDemo(const Args& args, Io& io);

// "status 12", the form every command uses to name a record-manager status.
std::string StatusText(int status);

// Writes "reclink <command>: <message>" and a line end to io.err; returns
// kExitFailure so that callers can return it.
int Failure(Io& io, const char* command, const std::string& message);

// Reads --key: -1 when absent (fallback), else the key number; false with a
// message on io.err when the value is not a key number.
bool KeyOption(const Args& args, Io& io, const char* command, int fallback, int* key);

}  // namespace reclink::cli
