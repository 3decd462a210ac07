// Several processes as workstations on one server: each reaches the
// database through a directory of its own (as workstations mount the
// share under different names), whose configuration names the server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server_fixture.h"
#include "reclink/recman_check.h"
#include "reclink/recman_server.h"
#include "support/child_process.h"

namespace reclink::test {
namespace {

// A workstation adds args[1] patients to the file at args[0] as the
// library does: in a transaction, the last number plus one. A lock held
// elsewhere makes it abort and try again, as the numbered gate repeats.
RECLINK_CHILD_ROLE(AddPatients) {
  BtrFile f(kLen);
  if (f.Open(args[0]) != 0) return 1;
  for (int added = 0; added < std::stoi(args[1]);) {
    if (Tx(B_BEGIN_TRAN) != 0) return 2;
    int st = f.Get(B_GET_LAST, 0);
    if (st == 0 || st == B_END_OF_FILE) {
      st = f.Insert(MakeRecord(kLen, {{0, Number(st == 0 ? std::stol(f.Field(0)) + 1 : 1)}, {11, args[0]}}));
    }
    if (st == B_FILE_INUSE || st == B_RECORD_INUSE) {
      Tx(B_ABORT_TRAN);
      continue;
    }
    if (st != 0) return 10 + st;
    if ((st = Tx(B_END_TRAN)) != 0) return 10 + st;
    ++added;
  }
  return 0;
}

TEST_F(ServerTest, WorkstationsNumberPatientsWithoutGapsOrTwins) {
  constexpr int kStations = 4, kEach = 25;
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (int s = 0; s < kStations; ++s) {
    const Workstation& w = s % 2 ? *b_ : *a_;
    stations.push_back(std::make_unique<ChildProcess>("AddPatients",
                                                      std::vector<std::string>{w.file(kPatients), std::to_string(kEach)}));
  }
  for (auto& s : stations) EXPECT_EQ(s->Wait(), 0);
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(b_->file(kPatients)), 0);
  const std::vector<std::string> numbers = f.Walk(0);
  ASSERT_EQ(numbers.size(), static_cast<size_t>(kStations * kEach));
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], Number(static_cast<long>(i) + 1));
  // Each workstation's own path stands in the records it added: both
  // directories reached the one file.
  std::set<std::string> writers;
  for (int st = f.Get(B_GET_FIRST, 0); st == 0; st = f.Get(B_GET_NEXT, 0)) writers.insert(f.Field(11));
  EXPECT_EQ(writers, (std::set<std::string>{a_->file(kPatients), b_->file(kPatients)}));
}

// A workstation that commits one patient, then holds a transaction with a
// second one pending and the file args[1] open exclusively, until killed.
RECLINK_CHILD_ROLE(DieInTransaction) {
  BtrFile f(kLen), other(kLen);
  if (f.Open(args[0]) != 0 || f.Insert(MakeRecord(kLen, {{0, Number(1)}})) != 0) return 1;
  if (other.Open(args[1], B_MODE_EXCLUSIVE) != 0) return 2;
  if (Tx(B_BEGIN_TRAN) != 0 || f.Insert(MakeRecord(kLen, {{0, Number(2)}})) != 0) return 3;
  SendToParent("pending");
  ReceiveFromParent();
  return 0;
}

TEST_F(ServerTest, KilledClientLosesNothingCommittedAndHoldsNothing) {
  const std::string other = a_->file("OWNER.BTR");
  ASSERT_EQ(CreateFile(other, PatientSpec()), 0);
  ChildProcess station("DieInTransaction", {a_->file(kPatients), other});
  ASSERT_EQ(station.Receive(), "pending");
  BtrSetLockTimeout(300);
  BtrFile f(kLen), g(kLen);
  ASSERT_EQ(f.Open(b_->file(kPatients)), 0);
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(3)}})), B_FILE_INUSE) << "the transaction holds the file";
  EXPECT_EQ(g.Open(b_->file("OWNER.BTR")), B_FILE_INUSE) << "opened exclusively elsewhere";
  station.Kill();
  // The server lets go of what the dead client held once it has seen its
  // connection end: at once here, but not within the kill.
  BtrSetLockTimeout(B_DEFAULT_LOCK_TIMEOUT_MS);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int st;
  while ((st = g.Open(b_->file("OWNER.BTR"), B_MODE_EXCLUSIVE)) == B_FILE_INUSE &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(st, 0);
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(3)}})), 0);
  EXPECT_EQ(f.Walk(0), (std::vector<std::string>{Number(1), Number(3)}));
}

// Configurations that reach no usable server: 96 for every Open and Create,
// and no message that reports it shows the connection string's password.
// The server takes TLS on 127.0.0.1 only: verifying its certificate against
// another authority, or asking for no TLS there, is as unusable.
TEST_F(ServerTest, OnlyAServerWhoseCertificateVerifiesServesAndNoMessageShowsThePassword) {
  const char* tlsServer = std::getenv("RECLINK_TEST_TLS_SERVER");
  const char* otherCa = std::getenv("RECLINK_TEST_OTHER_CA");
  ASSERT_TRUE(tlsServer != nullptr && otherCa != nullptr) << "scripts/with-server sets them beside RECLINK_TEST_SERVER";
  const std::string tls = tlsServer;
  const std::string wrongAuthority = tls.substr(0, tls.find("sslrootcert=")) + "sslrootcert=" + otherCa;
  const std::string noTls = tls.substr(0, tls.find("sslmode=")) + "sslmode=disable";
  const std::string secret = "hunter2-secret";
  const struct {
    const char* what;
    std::string config;
    const char* reason;  // what BtrLastReason says of the Open
  } cases[] = {
      {"no database", "server = " + TestServer() + "\n", "names no database"},
      {"an unknown setting", "server = " + TestServer() + "\ndatabase = d\nport = 5432\n",
       ":3: unknown setting \"port\""},
      {"a setting given twice", "server = " + TestServer() + "\ndatabase = d\nDATABASE = e\n",
       ":3: \"database\" is set a second time (first on line 2)"},
      {"a comment after a value", "server = " + TestServer() + "\ndatabase = d  # the clinic\n",
       ":2: a comment must stand on a line of its own"},
      {"a read-ahead neither on nor off", "server = " + TestServer() + "\ndatabase = d\nread-ahead = yes\n",
       ":3: read-ahead is \"on\" or \"off\""},
      {"no server there", "server = host=/nonexistent user=nobody password=" + secret + "\ndatabase = d\n",
       "the server cannot be reached"},
      {"a refused role", "server = " + TestServer() + " user=nobody password=" + secret +
                             " sslmode=disable\ndatabase = d\n", "the server refused the login"},
      {"a database the server lacks", "server = " + TestServer() + " dbname=no_such_db\ndatabase = d\n",
       "the server has no such database"},
      {"a certificate of another authority", "server = " + wrongAuthority + " password=" + secret + "\ndatabase = d\n",
       "certificate"},
      {"no TLS where the server takes TLS only", "server = " + noTls + "\ndatabase = d\n",
       "the server refused the login from this machine"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::ofstream(dir.file(RECMAN_SERVER_CONFIG_NAME)) << c.config;
    EXPECT_EQ(CreateFile(dir.file(kPatients), PatientSpec()), B_COMMUNICATIONS_ERROR) << c.what;
    BtrFile f(kLen);
    EXPECT_EQ(f.Open(dir.file(kPatients)), B_COMMUNICATIONS_ERROR) << c.what;
    const std::string reason = BtrLastReason();
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    std::string said = reason;
    auto collect = [](void* ctx, const char* text) { *static_cast<std::string*>(ctx) += text; };
    EXPECT_EQ(BtrCheckFile(dir.file(kPatients).c_str(), collect, &said), -1) << c.what;
    EXPECT_EQ(BtrListServerFiles(dir.path().c_str(), collect, collect, &said), -1) << c.what;
    EXPECT_FALSE(said.empty()) << c.what;
    EXPECT_EQ(said.find(secret.substr(0, 7)), std::string::npos) << c.what << ": " << said;
  }

  // Settings in any case, after a byte order mark, with comments of their own.
  {
    TempDir dir;
    std::ofstream(dir.file(RECMAN_SERVER_CONFIG_NAME)) << "\xEF\xBB\xBF; written on Windows\r\nServer = " << TestServer()
                                                   << "\r\n# the shared database\r\nDATABASE = " << database_
                                                   << "\r\nTimeout = 20\r\n";
    BtrFile f(kLen);
    ASSERT_EQ(f.Open(dir.file(kPatients)), 0) << BtrLastReason();
  }

  // The same server under its own authority's certificate serves the files.
  TempDir dir;
  std::ofstream(dir.file(RECMAN_SERVER_CONFIG_NAME)) << "server = " << tls << "\ndatabase = " << database_ << "\n";
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(dir.file(kPatients)), 0) << "over TLS";
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(7)}})), 0);
  EXPECT_EQ(f.Walk(0), std::vector<std::string>{Number(7)});
}

// A layout image in the catalogue with a byte too many: the file is no
// record file of this engine, for Open and for the check alike.
TEST_F(ServerTest, CheckReportsALayoutImageOfTheWrongLength) {
  const std::string dir = std::filesystem::path(a_->file(kPatients)).parent_path().string();
  BtrServer* server = BtrServerConnect(dir.c_str(), nullptr, nullptr);
  ASSERT_NE(server, nullptr);
  const char* params[] = {database_.c_str(), kPatients};
  ASSERT_EQ(BtrServerRun(server,
                         "UPDATE recman.files SET layout = layout || '\\x00'::bytea "
                         "WHERE database = convert_to($1, 'UTF8') AND name = convert_to($2, 'UTF8')",
                         2, params, nullptr, nullptr, nullptr),
            0);
  BtrServerClose(server);
  BtrFile f(kLen);
  EXPECT_EQ(f.Open(a_->file(kPatients)), B_NOT_A_BTRIEVE_FILE);
  std::string said;
  auto collect = [](void* ctx, const char* text) { *static_cast<std::string*>(ctx) += text; };
  EXPECT_EQ(BtrCheckFile(a_->file(kPatients).c_str(), collect, &said), -1);
  EXPECT_NE(said.find("not a record file of this engine"), std::string::npos) << said;
}

// A record file made on the server leaves its placeholder in the
// directory, so that whatever looks there first finds it. Without the
// configuration that names the server, the placeholder is neither read as
// a record file nor replaced by an empty one.
TEST_F(ServerTest, PlaceholdersStandForTheServersFilesAndNeverBecomeEmptyFiles) {
  ASSERT_EQ(BtrIsPlaceholder(a_->file(kPatients).c_str()), 1);
  std::filesystem::remove(b_->file(kPatients));
  EXPECT_EQ(BtrPlaceServerFiles(std::filesystem::path(b_->file(kPatients)).parent_path().string().c_str(),
                                nullptr, nullptr), 1);
  EXPECT_EQ(BtrIsPlaceholder(b_->file(kPatients).c_str()), 1);

  TempDir orphan;
  std::filesystem::copy_file(a_->file(kPatients), orphan.file(kPatients));
  for (int mode : {-1, 0}) {
    EXPECT_EQ(CreateFile(orphan.file(kPatients), PatientSpec(), static_cast<int8_t>(mode)), B_COMMUNICATIONS_ERROR);
  }
  BtrFile f(kLen);
  EXPECT_EQ(f.Open(orphan.file(kPatients)), B_COMMUNICATIONS_ERROR);
  EXPECT_NE(std::string(BtrLastReason()).find("recman-server.conf, which names that server, is missing"),
            std::string::npos) << BtrLastReason();
  EXPECT_EQ(BtrIsPlaceholder(orphan.file(kPatients).c_str()), 1) << "the placeholder was replaced";
}

}  // namespace
}  // namespace reclink::test
