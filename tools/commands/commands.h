#pragma once
// The utility's commands. Each takes its parsed command line, writes results
// to io.out and messages to io.err, and returns an exit status (ExitStatus).

#include <string>
#include <vector>

#include "cli/btr_file.h"
#include "cli/command.h"
#include "reclink/btrieve.h"

namespace reclink::cli {

// Each takes the command line that ParseArgs accepted for its row of the
// command table (operand counts already checked) and the streams to write.
int RunInit(const Args& args, Io& io);      // DIR [--force | --missing]
int RunStat(const Args& args, Io& io);      // FILE [--description]
int RunSave(const Args& args, Io& io);      // FILE OUT [--key N]
int RunLoad(const Args& args, Io& io);      // IN FILE
int RunCreate(const Args& args, Io& io);    // FILE DESCRIPTION [--force]
int RunClone(const Args& args, Io& io);     // NEW EXISTING [--force]
int RunDump(const Args& args, Io& io);      // FILE [--key N] [--format F]
int RunCheck(const Args& args, Io& io);     // DIR|FILE
int RunPatients(const Args& args, Io& io);  // DIR [--name|--kana|--number V]
int RunDemo(const Args& args, Io& io);      // [DIR]; installs its own message-box hook while it runs
int RunToServer(const Args& args, Io& io);    // DIR SERVER DATABASE [--force]
int RunFromServer(const Args& args, Io& io);
int RunDropServer(const Args& args, Io& io);  // DIR
int RunBackup(const Args& args, Io& io);      // DIR OUT
int RunViews(const Args& args, Io& io);       // DIR [--grant ROLE]
int RunImport(const Args& args, Io& io);      // FOLDER DIR

// Writes "reclink <command>: <message>" and a line end to io.err; returns
// kExitFailure so that callers can return it.
int Failure(Io& io, const char* command, const std::string& message);

// The key number of --key into *key, or fallback when --key is absent.
// False, after a message on io.err, when the value is not a key number.
bool KeyOption(const Args& args, Io& io, const char* command, int fallback, int* key);

// True, after a message on io.err, when RECMAN_SERVER is set: every file
// would go to its server, and a command on a directory's files must not run.
bool RecmanServerSet(Io& io, const char* command);

// True, after a message on io.err, when path is longer than the record
// manager takes a file name (PathFits): it is never called with a name it
// would cut short.
bool PathTooLong(Io& io, const char* command, const std::string& path);

// True, after a message on io.err, when output names the same file as input
// (by device and inode, however either is spelt): the command must not start.
bool OutputIsInput(Io& io, const char* command, const std::string& output,
                   const std::string& input);

// Whether an exclusive Open's status says that another program has the
// file open (85 or 88).
inline bool OpenElsewhere(int status) { return status == B_FILE_INUSE || status == B_INCOMPATIBLE_MODE; }

// True, after a message on io.err, when output is a record file (an SQLite
// database) or one of its companion files (-wal, -shm, -journal beside it):
// a sequential file must never take its place.
bool OutputIsRecordFile(Io& io, const char* command, const std::string& output);

// Opens the record file at path in mode (B_MODE_*) and reads its
// specification into *spec. False after a message on io.err naming path and
// the reason.
bool OpenRecordFile(Io& io, const char* command, const std::string& path, int mode, BtrFile* file,
                    FileSpec* spec);

// Writes one line per stale partial output that was removed from dir.
void RemoveStaleOutputs(Io& io, const char* command, const std::string& dir);

// The record files of dir (the names of its files ending in .BTR, in any
// case), sorted.
std::vector<std::string> LocalRecordFiles(const std::string& dir);

// The names of the files that the server of directory dir keeps for it.
// False, with *why, when dir keeps its files here or the server cannot say.
bool ServerFiles(const std::string& dir, std::vector<std::string>* names, std::string* why = nullptr);

// True when dir's record files are kept on a server: dir holds the server
// configuration file, or RECMAN_SERVER sends every file to one.
bool ServerBacked(const std::string& dir);

// Makes in dir the placeholder of each file its server keeps where dir has
// no file of that name. Returns the number made, or -1 with *why.
int PlaceServerFiles(const std::string& dir, std::string* why);

}  // namespace reclink::cli
