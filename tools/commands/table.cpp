// The table of commands: names, usage and help texts, accepted arguments.
#include "commands/commands.h"

namespace reclink::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands = {
      {"init", "DIR [--force | --missing]", "create every record file of the database in DIR",
       "Creates DIR when it does not exist, then every record file of the catalogue\n"
       "with its record length and keys, all or nothing: when one cannot be made,\n"
       "the files this run created are removed again. Existing record files are\n"
       "named and nothing is created, unless --missing (create only the missing\n"
       "files, leave the others as they are) or --force (replace them with empty\n"
       "files) is given. One init at a time works in a directory.\n",
       {1, 1, {}, {"--force", "--missing"}}, RunInit},
      {"stat", "FILE [--description]", "show a record file's specification and counts",
       "Prints 'Name = value' lines (record length, page size, number of records,\n"
       "keys, segments, file flags in words, collating sequences), then one row\n"
       "per key segment: key, segment, position, length, type, flags, null value,\n"
       "unique values, and the legend of the flags. With --description it prints\n"
       "the description file that 'create' reads instead.\n",
       {1, 1, {}, {"--description"}}, RunStat},
      {"save", "FILE OUT [--key N]", "write every record to OUT in the sequential format",
       "Records are written in physical order, or in the order of key N with --key.\n"
       "Each record is its length in decimal, a comma, the record bytes and CR LF;\n"
       "a Ctrl-Z follows the last record. OUT is replaced only when the save\n"
       "succeeds, and never when it is FILE itself. Only the records go to OUT;\n"
       "the count of records saved goes to standard error.\n",
       {2, 2, {"--key"}, {}}, RunSave},
      {"load", "IN FILE", "insert the records of a sequential file into FILE",
       "All or nothing: the records are read, checked (lengths, truncation, CR LF,\n"
       "each record as long as the file's records) and inserted in one\n"
       "transaction. On any fault the message names the record number and byte\n"
       "offset, and FILE is left as it was.\n",
       {2, 2, {}, {}}, RunLoad},
      {"create", "FILE DESCRIPTION [--force]", "create an empty record file from a description",
       "DESCRIPTION holds name=value elements: record=, key=, page= (default 4096),\n"
       "allocation=, replace=, the file flags variable=, truncate=, compress=,\n"
       "preallocate=, freespace=, duplicatepointers=; each collating sequence as\n"
       "sequence=NAME table= (512 hex digits, or a file beside DESCRIPTION); then\n"
       "per key segment position=, length=, duplicates=, modifiable=, type=,\n"
       "descending=, caseinsensitive=, nullkey= (or null=) with value=,\n"
       "alternate=NAME, segment=. A mistake is reported with its\n"
       "line and element; the record manager judges the file specification as Create\n"
       "would. An existing FILE is replaced only with replace=y or --force.\n",
       {2, 2, {}, {"--force"}}, RunCreate},
      {"clone", "NEW EXISTING [--force]", "create an empty file with the file specification of another",
       "", {2, 2, {}, {"--force"}}, RunClone},
      {"dump", "FILE [--key N] [--format text|csv|json]", "print the records readably, in key order",
       "Fields the database knows (patient numbers, names, kana, photo, set and\n"
       "item numbers, the point-lat layout mark ...) are decoded, text converted\n"
       "from code page 932 to UTF-8; key fields of other files are decoded by\n"
       "their key type. Other non-zero bytes are shown in hexadecimal with their\n"
       "offsets. Default: key 0, text.\n",
       {1, 1, {"--key", "--format"}, {}}, RunDump},
      {"check", "DIR|FILE", "verify record files and report what is wrong",
       "Checks storage integrity, every record's keys against the indexes and the\n"
       "record lengths of FILE, or of every .BTR file in DIR (and, for a database\n"
       "directory, each file's layout against the catalogue). Exit status 1 when\n"
       "anything is wrong, and for a directory that holds no .BTR file.\n",
       {1, 1, {}, {}}, RunCheck},
      {"patients", "DIR [--name NAME | --kana KANA | --number N]", "find patients and print them",
       "Without an option every patient is listed in number order. --name and\n"
       "--kana list the patients with exactly that name or reading; --number\n"
       "shows one patient. Exit status 1 when none is found.\n",
       {1, 1, {"--name", "--kana", "--number"}, {}}, RunPatients},
      {"demo", "[DIR]", "run a day of the clinic on a fresh database",
       "Creates the database in DIR (which must be empty or missing; a temporary\n"
       "directory when omitted), then registers patients, takes photos, builds a\n"
       "photo set, numbers reports and slide shows, records a surgery, upgrades\n"
       "an older point-lat record and reaches the same records by database number,\n"
       "showing one deliberate failure through the error box. Ends with a summary.\n",
       {0, 1, {}, {}}, RunDemo},
      {"backup", "DIR OUT", "copy a database's record files while it stays in use",
       "Copies every record file of DIR (*.BTR) into the directory OUT (made when\n"
       "missing; it must hold no record files yet) while programs go on using the\n"
       "database: each file is frozen as it stands, copied and checked, and its\n"
       "writes of meanwhile reach it afterwards. The files are frozen one after\n"
       "another, all before the first is copied. A database on a server is backed\n"
       "up on the server, with its own tools.\n",
       {2, 2, {}, {}}, RunBackup},
      {"import", "FOLDER DIR", "make a new database from a folder of saved files",
       "FOLDER holds one saved file (the sequential format of 'save') per record\n"
       "file, named after it: PATIENT1.SEQ (any extension) is loaded into\n"
       "PATIENT1.BTR. Every record file of the catalogue is created, each saved file\n"
       "loaded all or nothing, and the result checked. A saved file the catalogue\n"
       "does not know is refused unless a description NAME.des beside it says how\n"
       "to create NAME.BTR. DIR must not exist or be empty: the database is built\n"
       "beside it and renamed to DIR only when complete, so a failed or interrupted\n"
       "import leaves no DIR. A progress line per file; the records per file at the end.\n",
       {2, 2, {}, {}}, RunImport},
      {"to-server", "DIR SERVER DATABASE [--force] [--allow-password]",
       "move a database directory's record files onto a server",
       "Copies every record file of DIR (*.BTR) onto the PostgreSQL server that the\n"
       "libpq connection string SERVER names, as database DATABASE there, then\n"
       "writes DIR/recman-server.conf: from then on every workstation whose profile\n"
       "names DIR uses the server. Each file moves whole or not at all and is compared\n"
       "with its source; DIR changes sides only when every file has moved. Then the\n"
       "old local files go into DIR/before-server (delete it once the server's copy\n"
       "has been in use for a while) and each file gets its placeholder in DIR.\n"
       "Interrupted after the change of sides, the same command finishes the move.\n"
       "A password in SERVER is refused (everyone who reads DIR would read it: use\n"
       "the password file, docs/server.md) unless --allow-password. Stop the\n"
       "workstations first. A database that already has files on the server is\n"
       "refused unless --force, which replaces those of its files that DIR holds too.\n",
       {3, 3, {}, {"--force", "--allow-password"}}, RunToServer},
      {"from-server", "DIR", "move a database directory's record files back from its server",
       "Copies every record file that DIR's server keeps for it into local files in\n"
       "DIR, holding each on the server meanwhile, so that no workstation writes it.\n"
       "Each file moves whole or not at all and is compared with its source. Only\n"
       "when every file is back does DIR change sides: recman-server.conf becomes\n"
       "recman-server.conf.moved-back, which nothing reads. Interrupted, DIR stays on\n"
       "the server with nothing lost; run it again. The server keeps its copy until\n"
       "it is removed with drop-server.\n",
       {1, 1, {}, {}}, RunFromServer},
      {"drop-server", "DIR", "remove the server's copy of a database that moved back",
       "Removes from the server every record file of the database that DIR's\n"
       "recman-server.conf.moved-back names (what from-server left there), all or\n"
       "none, then that file. Refused while DIR still uses the server or while a\n"
       "workstation has one of the files open.\n",
       {1, 1, {}, {}}, RunDropServer},
      {"views", "DIR [--grant ROLE]", "make read-only SQL views of a server's records, for reports",
       "For a database directory whose record files are on a PostgreSQL server, makes\n"
       "or replaces one read-only view per record file of the catalogue, with a typed\n"
       "column per field (text decoded from code page 932 to UTF-8), in schema\n"
       "report of the server's database; the views of any database but the server's\n"
       "first (the one with the oldest file there) go to report_<database>. Run it\n"
       "again after a layout change. --grant ROLE lets an existing role read the\n"
       "views and nothing else; the roles that may read the schema keep reading\n"
       "views made anew (docs/server.md, Reports).\n",
       {1, 1, {"--grant"}, {}}, RunViews},
  };
  return kCommands;
}

}  // namespace reclink::cli
