// tarn-cli against a scripted server that misbehaves: what the person is
// told, what is kept, and what never reaches the terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/cli/cli_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_ftp_server.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::FakeFtpServer;
using testing::AnonymousLogon;
using testing::ProgramResult;

class CliFaultTest : public testing::CliFixture {
 protected:
  ProgramResult Cli(std::vector<std::string> args) { return RunCli(std::move(args)); }
  std::string Url(const FakeFtpServer& srv, const std::string& path = "") const {
    return "ftp://127.0.0.1:" + std::to_string(srv.Port()) + path;
  }
  static std::string Failures(const FakeFtpServer& srv) {
    return ::testing::PrintToString(srv.Failures());
  }
  static bool SentStartingWith(const FakeFtpServer& srv, const std::string& prefix) {
    for (const auto& line : srv.Received())
      if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }
};

// ---- Secrets and the terminal ------------------------------------------------------

TEST_F(CliFaultTest, QuotedPasswordsAreMaskedInTheTranscriptAndTheLog) {
  FakeFtpServer srv;
  AnonymousLogon(srv)
      .On("pass Secret1", "230 ok\r\n")
      .On("PaSs Secret2", "230 ok\r\n")
      .On("acct Secret3", "202 ok\r\n")
      .On("quit", "221 bye\r\n");
  srv.Start();
  auto r = Cli({"-v", "--log", Path("t.log"), "open", Url(srv), ";", "quote", "pass", "Secret1", ";",
                "quote", "PaSs", "Secret2", ";", "quote", "acct", "Secret3"});
  EXPECT_TRUE(srv.Finish()) << Failures(srv);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string log = Read(Path("t.log"));
  for (const std::string& text : {r.err, log}) {
    EXPECT_THAT(text, Not(HasSubstr("Secret")));
    EXPECT_THAT(text, HasSubstr("PASS xxxxxx"));
    EXPECT_THAT(text, HasSubstr("ACCT xxxxxx"));
  }
}

TEST_F(CliFaultTest, ListingsWithNulAndEscapeSequencesAreShownEscaped) {
  static const char kListing[] =
      "-rw-r--r--    1 0  0   16 Dec 07 21:49 red\x1b[31mname\r\n"
      "-rw-r--r--    1 0  0   16 Dec 07 21:49 nul\0byte\r\n"
      "-rw-r--r--    1 0  0   16 Dec 07 21:49 last\r\n";
  const std::string data(kListing, sizeof kListing - 1);  // the NUL included
  FakeFtpServer srv;
  AnonymousLogon(srv);
  for (int i = 0; i < 2; ++i) {
    srv.On("PWD", "257 \"/srv\" is current\r\n");
    if (i == 0) srv.On("TYPE A", "200 ok\r\n");
    srv.Pasv().On("LIST", "150 Here comes the directory listing.\r\n").DataOpen().DataSend(data).DataClose()
        .Send("226 Directory send OK.\r\n");
  }
  srv.On("quit", "221 bye\r\n");
  srv.Start();
  auto r = Cli({"--locale", "C", "open", Url(srv), ";", "ls", "--raw", ";", "ls"});
  EXPECT_TRUE(srv.Finish()) << Failures(srv);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, Not(HasSubstr("\x1b")));
  EXPECT_EQ(r.out.find('\0'), std::string::npos);
  // The raw text goes on after the NUL.
  EXPECT_THAT(r.out, HasSubstr("red\\x1b[31mname\n"));
  EXPECT_THAT(r.out, HasSubstr("nul\\0byte\n-rw-r--r--    1 0  0   16 Dec 07 21:49 last\n"));
  EXPECT_THAT(r.out, HasSubstr("red\\x1b[31mname "));  // the parsed row
}

// ---- What failed is said -------------------------------------------------------------

TEST_F(CliFaultTest, FailuresNameTheirCauseInsteadOfAStaleReply) {
  {
    SCOPED_TRACE("the data connection is refused");
    FakeFtpServer srv;
    // A PASV port nobody listens on: one the test holds bound, not listening.
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len), 0);
    const int port = ntohs(sa.sin_port);
    AnonymousLogon(srv).On("TYPE I", "200 ok\r\n").Expect("PASV")
        .Send("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
              std::to_string(port % 256) + ").\r\n")
        .On("quit", "221 bye\r\n");
    srv.Start();
    auto r = Cli({"--passive", "--type", "binary", "open", Url(srv), ";", "get", "f", Path("f")});
    close(fd);
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Can't make the data connection (PASV): connect PASV: connection refused"));
    EXPECT_THAT(r.err, Not(HasSubstr("227")));
  }
  {
    SCOPED_TRACE("fewer bytes than announced");
    FakeFtpServer srv;
    AnonymousLogon(srv).On("TYPE I", "200 ok\r\n").Pasv().On("RETR f", "150 Opening (1000 bytes).\r\n")
        .DataOpen().DataSend("short").DataClose().Send("226 Transfer complete.\r\n").On("quit", "221 bye\r\n");
    srv.Start();
    auto r = Cli({"--passive", "--type", "binary", "open", Url(srv), ";", "get", "f", Path("f")});
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Transfer incomplete: 5 of 1000 bytes received (partial file kept: " + Path("f") + ")"));
    EXPECT_THAT(r.err, Not(HasSubstr("226")));
  }
  {
    SCOPED_TRACE("the server closes before its banner");
    FakeFtpServer srv;
    srv.Close();
    srv.Start();
    auto r = Cli({"open", Url(srv)});
    srv.Finish();
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Error connecting to host: Connection closed by server"));
  }
}

TEST_F(CliFaultTest, UrlDirectoryThatCannotBeEnteredFailsTheOpen) {
  Write(Path("up.txt"), "data");
  FakeFtpServer srv;
  srv.Send("220 fake\r\n").On("USER anonymous", "331 pass\r\n").ExpectPrefix("PASS ").Send("230 in\r\n")
      .On("REST 100", "350 ok\r\n").On("REST 0", "350 ok\r\n").On("SYST", "215 UNIX Type: L8\r\n")
      .On("PWD", "257 \"/srv\" is current\r\n")
      .On("CWD /missing/dir", "550 Failed to change directory.\r\n")
      .On("CWD /missing/dir", "550 Failed to change directory.\r\n")
      .On("quit", "221 bye\r\n")
      .DrainUntilClosed();
  srv.Start();
  auto r = Cli({"open", Url(srv, "/missing/dir"), ";", "put", Path("up.txt")});
  EXPECT_TRUE(srv.Finish()) << Failures(srv);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Can't change to the start directory /missing/dir: 550 Failed to change directory."));
  EXPECT_FALSE(SentStartingWith(srv, "STOR"));
}

// ---- The local side ----------------------------------------------------------------------

TEST_F(CliFaultTest, GetIntoAFolderThatCannotBeWrittenSendsNoRetr) {
  Write(Path("plain"), "a file, not a folder");
  FakeFtpServer srv;
  AnonymousLogon(srv).On("TYPE I", "200 ok\r\n").On("quit", "221 bye\r\n").DrainUntilClosed();
  srv.Start();
  auto r = Cli({"--type", "binary", "open", Url(srv), ";", "get", "f", Path("plain") + "/f"});
  srv.Finish();
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Error in CreateFile."));
  EXPECT_FALSE(SentStartingWith(srv, "RETR"));
}

// ---- Resume --------------------------------------------------------------------------------

TEST_F(CliFaultTest, ResumeContinuesTheKeptPartialFileNeverTheOldOne) {
  Write(Path("f"), "the old content, longer than the host file");
  Write(Path(".f.tarn-part"), "new-");
  FakeFtpServer srv;
  AnonymousLogon(srv).On("TYPE I", "200 ok\r\n").On("SIZE f", "213 8\r\n").Pasv().On("REST 4", "350 ok\r\n")
      .On("RETR f", "150 ok\r\n").DataOpen().DataSend("tail").DataClose().Send("226 done\r\n")
      .On("quit", "221 bye\r\n");
  srv.Start();
  auto r = Cli({"--passive", "--type", "binary", "open", Url(srv), ";", "get", "--resume", "f", Path("f")});
  EXPECT_TRUE(srv.Finish()) << Failures(srv);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read(Path("f")), "new-tail");
  EXPECT_FALSE(std::filesystem::exists(Path(".f.tarn-part")));
}

TEST_F(CliFaultTest, ResumeOfALocalFileLargerThanTheHostFileIsRefused) {
  Write(Path("f"), "0123456789");
  FakeFtpServer srv;
  AnonymousLogon(srv).On("TYPE I", "200 ok\r\n").On("SIZE f", "213 5\r\n").On("quit", "221 bye\r\n");
  srv.Start();
  auto r = Cli({"--passive", "--type", "binary", "open", Url(srv), ";", "get", "--resume", "f", Path("f")});
  EXPECT_TRUE(srv.Finish()) << Failures(srv);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr(Path("f") + " is larger (10 bytes) than the host file (5 bytes) and cannot be resumed"));
  EXPECT_EQ(Read(Path("f")), "0123456789");
  EXPECT_FALSE(SentStartingWith(srv, "RETR"));
  for (const auto& line : srv.Received()) EXPECT_NE(line, "REST 10");
}

// ---- Ctrl-C ----------------------------------------------------------------------------------

// The server answers ABOR only once the data connection is gone, as vsftpd
// does; the reply time-out is far beyond the test's limit, so only closing
// the data connection first ends the download in time.
TEST_F(CliFaultTest, CtrlCEndsAStalledDownload) {
  FakeFtpServer srv;
  AnonymousLogon(srv).On("TYPE I", "200 ok\r\n").Pasv()
      .On("RETR big", "150 Opening BINARY mode data connection for big (64000000 bytes).\r\n")
      .DataOpen()
      .DataSend(std::string(64000000, 'b'), 8192, 5)
      .DataAwaitClose()
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("426 Failure writing network stream.\r\n225 No transfer to ABOR.\r\n")
      .On("quit", "221 bye\r\n");
  srv.Start();
  testing::ChildProcess child({TARN_CLI_PATH, "-v", "--timeout", "600", "--passive", "--type", "binary",
                           "open", Url(srv), ";", "get", "big", Path("big")},
                          Env());
  ASSERT_TRUE(child.Started());
  ASSERT_TRUE(child.WaitForErr("150 Opening BINARY", 30000)) << child.err;
  // Bytes have come (a progress line about once a second): some are kept.
  ASSERT_TRUE(child.WaitForErr("progress", 30000)) << child.err;
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(60000), 1) << child.err;
  EXPECT_TRUE(srv.Finish()) << Failures(srv);
  EXPECT_THAT(child.err, HasSubstr("tarn-cli: cancelling"));
  EXPECT_THAT(child.err, HasSubstr("Transfer aborted (partial file kept: " + Path("big") + ")"));
}

}  // namespace
}  // namespace tarn
