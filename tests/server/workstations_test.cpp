// Workstations' directories whose configuration names the server: what a
// configuration that reaches no usable server gives, the catalogue's
// layouts checked, the placeholders that stand for the server's files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reclink/recman_check.h"
#include "server_fixture.h"
#include "sql.h"

namespace reclink::test {
namespace {

// Gathers what a check or listing says, for BtrCheckFile and BtrListServerFiles.
void Collect(void* said, const char* text) { *static_cast<std::string*>(said) += text; }

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
  const std::string test = "server = " + TestServer();  // the test server's setting, a line to finish
  const struct {
    const char* what;
    std::string config;
    const char* reason;  // what BtrLastReason says of the Open
  } cases[] = {
      {"an unknown setting", test + "\ndatabase = d\nport = 5432\n", ":3: unknown setting \"port\""},
      {"no server there", "server = host=/nonexistent user=nobody password=" + secret + "\ndatabase = d\n",
       "the server cannot be reached"},
      {"a refused role", test + " user=nobody password=" + secret + " sslmode=disable\ndatabase = d\n",
       "the server refused the login"},
      {"a database the server lacks", test + " dbname=no_such_db\ndatabase = d\n", "the server has no such database"},
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
    EXPECT_EQ(BtrCheckFile(dir.file(kPatients).c_str(), Collect, &said), -1) << c.what;
    EXPECT_EQ(BtrListServerFiles(dir.path().c_str(), Collect, Collect, &said), -1) << c.what;
    EXPECT_FALSE(said.empty()) << c.what;
    EXPECT_EQ(said.find(secret.substr(0, 7)), std::string::npos) << c.what << ": " << said;
  }

  // The same server under its own authority's certificate serves the
  // files, its settings in any case, after a byte order mark, with comments
  // of their own.
  TempDir dir;
  std::ofstream(dir.file(RECMAN_SERVER_CONFIG_NAME)) << "\xEF\xBB\xBF; written on Windows\r\nServer = " << tls
                                                 << "\r\n# the shared database\r\nDATABASE = " << database_
                                                 << "\r\nTimeout = 20\r\n";
  BtrFile f(kLen);
  ASSERT_EQ(f.Open(dir.file(kPatients)), 0) << "over TLS: " << BtrLastReason();
  EXPECT_EQ(f.Insert(MakeRecord(kLen, {{0, Number(7)}})), 0);
  EXPECT_EQ(f.Walk(0), std::vector<std::string>{Number(7)});
}

// A layout image in the catalogue with a byte too many: the file is no
// record file of this engine, for Open and for the check alike.
TEST_F(ServerTest, CheckReportsALayoutImageOfTheWrongLength) {
  Sql{TestServer()}("UPDATE recman.files SET layout = layout || '\\x00'::bytea "
                     "WHERE database = convert_to($1, 'UTF8') AND name = convert_to($2, 'UTF8')",
                     {database_, kPatients});
  BtrFile f(kLen);
  EXPECT_EQ(f.Open(a_->file(kPatients)), B_NOT_A_BTRIEVE_FILE);
  std::string said;
  EXPECT_EQ(BtrCheckFile(a_->file(kPatients).c_str(), Collect, &said), -1);
  EXPECT_NE(said.find("not a record file of this engine"), std::string::npos) << said;
}

// A record file made on the server leaves its placeholder in the
// directory, so that whatever looks there first finds it. Without the
// configuration that names the server, the placeholder is neither read as
// a record file nor replaced by an empty one.
TEST_F(ServerTest, PlaceholdersStandForTheServersFilesAndNeverBecomeEmptyFiles) {
  ASSERT_EQ(BtrIsPlaceholder(a_->file(kPatients).c_str()), 1);
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
