// The headless unattended run against vsftpd and pyftpdlib through the
// fault proxy: the control or the data connection dropped, reset, stalled
// or cut during the log-on, the session's first listing, a download or an
// upload. Every run ends by itself (never hangs) as a failed run, its log
// says where it stopped and why, the entries after the failure are never
// tried, the file a download would have replaced is untouched, and the
// built courel still mails the log to aiosmtpd. The same holds for a
// download onto a full disk or into a folder that cannot be written (small
// tmpfs mounts: root only).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <chrono>
#include <filesystem>
#include <future>
#include <iostream>
#include <random>
#include <thread>

#include "client/engine/transfer.h"
#include "client/session/queue_file.h"
#include "client/session/run_headless.h"
#include "client/session/run_queue.h"
#include "client/session/session_store.h"
#include "platform/registry.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing::Channel;
using testing::Cue;
using testing::FaultProxy;
using testing::ReadFile;
using testing::ServerEnv;
using testing::WriteFile;

const std::string kMaildir = testing::SmtpMaildir();
constexpr int kReplyTimeoutMs = 1500;
// Far beyond any fault's end (a time-out, then the QUIT's): a run still
// going then hangs.
constexpr auto kHang = std::chrono::seconds(60);
constexpr size_t kFileSize = 1 << 20;
// Uploads are larger: the client must still be sending when its data
// connection breaks, or the kernel's buffers hide the fault from it.
constexpr size_t kUploadSize = 16 << 20;

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& ch : s) ch = static_cast<char>(gen());
  return s;
}

// The mail that carries `marker`, once aiosmtpd has stored it ("" when none
// came within the limit).
std::string MailWith(const std::string& marker) {
  for (int i = 0; i < 3000; ++i) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(std::string(kMaildir) + "/new", ec)) {
      const std::string text = ReadFile(e.path());
      if (text.find(marker) != std::string::npos) return text;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

struct Server {
  const char* name;
  uint16_t port;
  HostRecord session;
  std::string localRoot;  // the session's "/" on this machine
  std::string remoteDir;  // a writable directory, seen from the session
};

Server Vsftpd() {
  return {"vsftpd", static_cast<uint16_t>(std::stoi(ServerEnv("TARN_TEST_VSFTPD_PORT"))),
          testing::VsftpdUserSession(), ServerEnv("TARN_TEST_FTP_HOME"), "/upload"};
}
Server Pyftpdlib() {
  HostRecord py = testing::VsftpdUserSession("secret");
  SetField(py.cFTPPort, ServerEnv("TARN_TEST_PYFTPD_PORT"));
  SetField(py.cUserName, "user");
  return {"pyftpdlib", static_cast<uint16_t>(std::stoi(ServerEnv("TARN_TEST_PYFTPD_PORT"))), py,
          ServerEnv("TARN_TEST_PYFTPD_ROOT") + "/user", ""};
}

enum class Entry { kGet, kPut };

struct RunFault {
  const char* name;
  Channel channel;
  // The connection of `channel` the cue is for. Data connection 1 is the
  // session's first listing, 2 the first entry's transfer.
  int number;
  Cue cue;
  Entry entry;
  // How the log's last message starts.
  const char* logged;
  bool passive = true;
};

constexpr char kConnectionFailed[] = " -- Connection failed: ";
constexpr char kTransferFailed[] = " -- Transfer failed";

// A reply that also ends the first listing is cued by its second line of
// the kind (the listing's 1xx and 226 come first).
const RunFault kFaults[] = {
    // The log-on.
    {"banner dropped", Channel::kControl, 1, Cue::Drop().OnLine("220"), Entry::kGet, kConnectionFailed},
    {"reply to USER stalls", Channel::kControl, 1, Cue::Stall().OnLine("331"), Entry::kGet, kConnectionFailed},
    {"reply to PASS reset", Channel::kControl, 1, Cue::Reset().OnLine("230"), Entry::kGet, kConnectionFailed},
    {"PASS cut at byte 3", Channel::kControl, 1, Cue::CutAt(3).FromClient().OnLine("PASS"), Entry::kGet,
     kConnectionFailed},
    // The transfers.
    {"RETR never reaches the server", Channel::kControl, 1, Cue::Drop().FromClient().OnLine("RETR"),
     Entry::kGet, kTransferFailed},
    {"reply to RETR stalls", Channel::kControl, 1, Cue::Stall().FromClient().OnLine("RETR"), Entry::kGet,
     kTransferFailed},
    {"download's 1xx cut at byte 10", Channel::kControl, 1, Cue::CutAt(10).OnLine("1", 2), Entry::kGet,
     kTransferFailed},
    {"download's final reply stalls", Channel::kControl, 1, Cue::Stall().OnLine("226", 2), Entry::kGet,
     kTransferFailed},
    {"download's data cut at 256 KB", Channel::kData, 2, Cue::CutAt(256 << 10), Entry::kGet, kTransferFailed},
    {"download's data stalls at 64 KB", Channel::kData, 2, Cue::Stall().After(64 << 10), Entry::kGet,
     kTransferFailed},
    {"download's data reset, active mode", Channel::kData, 2, Cue::Reset().After(64 << 10), Entry::kGet,
     kTransferFailed, false},
    {"STOR dropped", Channel::kControl, 1, Cue::Drop().FromClient().OnLine("STOR"), Entry::kPut,
     kTransferFailed},
    {"upload's data reset at 256 KB", Channel::kData, 2, Cue::Reset().FromClient().After(256 << 10),
     Entry::kPut, kTransferFailed},
    {"upload's data stalls at 64 KB", Channel::kData, 2, Cue::Stall().FromClient().After(64 << 10),
     Entry::kPut, kTransferFailed},
    {"upload's final reply stalls", Channel::kControl, 1, Cue::Stall().OnLine("226", 2), Entry::kPut,
     kTransferFailed},
};

class RunFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::NeedServers()) GTEST_FAIL();
    ASSERT_FALSE(dir_.empty());
    std::string error;
    reg_ = platform::OpenSqliteRegistry(tmp_.File("registry.sqlite"), &error);
    ASSERT_NE(reg_, nullptr) << error;
    tag_ = "runfault" + std::to_string(getpid());
    data_ = RandomBytes(kFileSize, 29);
  }
  void TearDown() override {
    reg_.reset();
    std::error_code ec;
    for (const auto& f : serverFiles_) std::filesystem::remove(f, ec);
  }

  // The session `name` on the server, reached through the proxy at `port`.
  void SaveSession(const Server& server, const std::string& name, uint16_t port) {
    testing::ScriptedUi ui;
    PasswordScrambler scrambler(1700000000);
    SessionStore store(*reg_, ui, scrambler);
    HostRecord h = server.session;
    SetField(h.cSessionName, name);
    SetField(h.cFTPPort, std::to_string(port));
    store.SaveSession(h);
  }

  // A schedule file named `name` holding `q`, whose run log is mailed to
  // aiosmtpd.
  RunCommandLine MailedScheduleFile(const TransferQueue& q, const std::string& name) {
    RunCommandLine line;
    line.scheduleFile = tmp_.File(name);
    line.smtpHost = "127.0.0.1:" + ServerEnv("TARN_TEST_SMTP_PORT");
    line.sender = "ops@example.org";
    line.receiver = "admin@example.org";
    line.tokens = 4;
    std::string error;
    EXPECT_TRUE(SaveQueueFile(line.scheduleFile, q, &error)) << error;
    return line;
  }

  // The headless run of `line` on a thread of its own, so that a hang is a
  // failure instead of a stuck test; what it wrote to standard output and
  // standard error.
  struct HeadlessRun {
    int rc = 0;
    std::string out, err;
  };
  HeadlessRun RunLine(const RunCommandLine& line, int replyTimeoutMs) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    AppState app;
    RunControl control;
    HeadlessOptions options;
    options.mailer = COUREL_PATH;
    options.replyTimeoutMs = replyTimeoutMs;
    auto run = std::async(std::launch::async,
                          [&] { return RunHeadless(line, *reg_, app, out, err, control, options); });
    if (run.wait_for(kHang) != std::future_status::ready) {
      ADD_FAILURE() << "the run hangs";
      control.Stop();
    }
    HeadlessRun result;
    result.rc = run.get();
    for (std::FILE* f : {out, err}) {
      std::rewind(f);
      std::string& text = f == out ? result.out : result.err;
      for (int ch; (ch = std::fgetc(f)) != EOF;) text += static_cast<char>(ch);
      std::fclose(f);
    }
    return result;
  }

  void RunEveryFault(const Server& server);

  testing::TempDir tmp_{"tarn-runfault"};
  std::string dir_ = tmp_.Path();
  std::unique_ptr<platform::Registry> reg_;
  std::string tag_;
  std::string data_;
  std::vector<std::string> serverFiles_;
};

void RunFaultTest::RunEveryFault(const Server& server) {
  const std::string remoteName = tag_ + "-src.bin";
  const std::string remote = server.remoteDir + "/" + remoteName;
  WriteFile(server.localRoot + remote, data_);
  serverFiles_.push_back(server.localRoot + remote);
  WriteFile(tmp_.File("up.bin"), RandomBytes(kUploadSize, 31));

  // Each run's mail is looked for at the end: the mailer of one run sends
  // while the next runs.
  struct Sent {
    std::string trace;
    std::string marker;
    std::string lastMessage;
  };
  std::vector<Sent> sent;
  int n = 0;
  for (const RunFault& tc : kFaults) {
    ++n;
    const std::string trace = std::string(server.name) + ": " + tc.name + " (" + tc.cue.Describe() + ")";
    SCOPED_TRACE(trace);
    FaultProxy proxy(server.port);
    proxy.SetCue(tc.channel, tc.number, tc.cue);
    // No name is the start of another's ("... case 1." and "... case 12.").
    const std::string session = server.name + std::string(" ") + tag_ + " case " + std::to_string(n) + ".";
    SaveSession(server, session, proxy.Port());

    const std::string local = tmp_.File("get" + std::to_string(n) + ".bin");
    const std::string old = "the old content of " + local;
    WriteFile(local, old);
    const std::string upName = tag_ + "-up" + std::to_string(n) + ".bin";
    serverFiles_.push_back(server.localRoot + server.remoteDir + "/" + upName);
    const std::string never = tag_ + "-never" + std::to_string(n) + ".bin";
    const int32_t mode = kQueueBinary | (tc.passive ? kQueuePassive : 0);
    TransferQueue q;
    QEntry e;
    if (tc.entry == Entry::kGet)
      ASSERT_TRUE(MakeQEntry(remote, local, kQueueDownload | mode, &e));
    else
      ASSERT_TRUE(MakeQEntry(server.remoteDir + "/" + upName, tmp_.File("up.bin"), kQueueUpload | mode, &e));
    ASSERT_TRUE(q.AddToQueue(session, e));
    // Never tried: the failure before it ends the run.
    ASSERT_TRUE(MakeQEntry(server.remoteDir + "/" + never, tmp_.File("up.bin"), kQueueUpload | mode, &e));
    ASSERT_TRUE(q.AddToQueue(session, e));
    const RunCommandLine line = MailedScheduleFile(q, "night" + std::to_string(n) + ".tsc");
    const auto start = std::chrono::steady_clock::now();
    const HeadlessRun run = RunLine(line, kReplyTimeoutMs);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int rc = run.rc;
    const std::string& outText = run.out;
    const std::string& errText = run.err;

    std::string said;
    for (const std::string& l : proxy.Lines(testing::Flow::kFromServer)) said += "\n  " + l;
    EXPECT_EQ(rc, kRunFailed) << errText << "the server said:" << said;
    EXPECT_GE(proxy.Fired(), 1) << "the fault never came";
    // The status lines end as the run does.
    EXPECT_THAT(outText, EndsWith("Not connected\n"));

    const std::string log = ReadFile(RunLogPath(line.scheduleFile));
    EXPECT_THAT(log, HasSubstr("\r\n\r\nSession: " + session));
    const size_t last = log.rfind("\r\n-->  ");
    ASSERT_NE(last, std::string::npos) << log;
    // "\r\n-->  MM/DD/YYYY, hh:mm:ss" is 27 bytes.
    const std::string lastMessage = log.substr(std::min(log.size(), last + 27));
    EXPECT_THAT(lastMessage, StartsWith(tc.logged)) << log;
    if (std::string(tc.logged) == kConnectionFailed) {
      EXPECT_GT(lastMessage.size(), std::string(kConnectionFailed).size()) << "no reason given";
    }
    EXPECT_THAT(log, Not(HasSubstr(never)));
    EXPECT_FALSE(std::filesystem::exists(server.localRoot + server.remoteDir + "/" + never));
    std::cout << "[ measured ] " << trace << ": " << seconds << " s, logged \"" << lastMessage << "\"\n";

    if (tc.entry == Entry::kGet) {
      EXPECT_TRUE(ReadFile(local) == old) << "the old file was replaced";
      const std::string partial = PartialFileFor(local);
      if (std::filesystem::exists(partial)) {
        const std::string have = ReadFile(partial);
        EXPECT_TRUE(have.size() <= data_.size() && data_.compare(0, have.size(), have) == 0)
            << "the partial file is not a prefix of the host file";
      }
    }
    sent.push_back({trace, "Session: " + session, lastMessage});
  }

  for (const Sent& s : sent) {
    SCOPED_TRACE(s.trace);
    const std::string mail = MailWith(s.marker);
    ASSERT_FALSE(mail.empty()) << "no mail arrived in " << kMaildir;
    EXPECT_THAT(mail, HasSubstr("X-RcptTo: admin@example.org"));
    // The log's last message made it into the mail (its first line: a
    // mail's lines may be folded).
    EXPECT_THAT(mail, HasSubstr(s.lastMessage.substr(0, s.lastMessage.find('\r'))));
  }
}

TEST_F(RunFaultTest, VsftpdEveryFaultEndsTheRunLoggedAndMailed) { RunEveryFault(Vsftpd()); }
TEST_F(RunFaultTest, PyftpdlibEveryFaultEndsTheRunLoggedAndMailed) { RunEveryFault(Pyftpdlib()); }

// Without a fault the same run through the proxy succeeds, and opens the
// data connections the table counts on: the first listing's, then one per
// entry.
TEST_F(RunFaultTest, ThroughTheProxyWithoutAFaultTheRunSucceeds) {
  for (const Server& server : {Vsftpd(), Pyftpdlib()}) {
    SCOPED_TRACE(server.name);
    const std::string remote = server.remoteDir + "/" + tag_ + "-clean.bin";
    WriteFile(server.localRoot + remote, data_);
    serverFiles_.push_back(server.localRoot + remote);
    FaultProxy proxy(server.port);
    const std::string session = server.name + std::string(" ") + tag_ + " clean";
    SaveSession(server, session, proxy.Port());
    TransferQueue q;
    QEntry e;
    ASSERT_TRUE(MakeQEntry(remote, tmp_.File("clean.bin"), kQueueDownload | kQueueBinary | kQueuePassive, &e));
    ASSERT_TRUE(q.AddToQueue(session, e));
    RunCommandLine line;
    line.scheduleFile = tmp_.File(std::string(server.name) + ".tsc");
    std::string error;
    ASSERT_TRUE(SaveQueueFile(line.scheduleFile, q, &error)) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    AppState app;
    RunControl control;
    HeadlessOptions options;
    options.mailer = "";
    options.replyTimeoutMs = kReplyTimeoutMs;
    EXPECT_EQ(RunHeadless(line, *reg_, app, out, err, control, options), kRunSucceeded);
    std::fclose(out);
    std::fclose(err);
    EXPECT_TRUE(ReadFile(tmp_.File("clean.bin")) == data_);
    EXPECT_EQ(proxy.Connections(Channel::kData), 2);
  }
}

// A download onto a full disk, or into a read-only folder, over a file that
// is there already: the run fails with the system's reason on its error
// stream, the old file keeps every byte, and the log is mailed.
TEST_F(RunFaultTest, FullDiskOrReadOnlyFolderFailsTheDownloadAndKeepsTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root (tmpfs mounts)";
  const Server server = Vsftpd();
  const std::string remote = server.remoteDir + "/" + tag_ + "-disk.bin";
  WriteFile(server.localRoot + remote, data_);
  serverFiles_.push_back(server.localRoot + remote);
  struct Case {
    const char* name;
    bool readOnly;
    const char* reason;
  } cases[] = {
      {"full disk", false, "No space left on device"},
      {"read-only folder", true, "Read-only file system"},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    const std::string folder = tmp_.File(tc.readOnly ? "ro" : "full");
    std::filesystem::create_directories(folder);
    // Room for the old file and a little more, never for the host file.
    ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k"), 0) << strerror(errno);
    struct Unmount {
      std::string path;
      ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{folder};
    const std::string local = folder + "/disk.bin";
    const std::string old = RandomBytes(100 << 10, 41);
    WriteFile(local, old);
    ASSERT_EQ(ReadFile(local), old);
    if (tc.readOnly) {
      ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, "size=256k"), 0)
          << strerror(errno);
    }

    const std::string session = std::string("disk ") + tag_ + " " + tc.name + ".";
    SaveSession(server, session, server.port);
    TransferQueue q;
    QEntry e;
    ASSERT_TRUE(MakeQEntry(remote, local, kQueueDownload | kQueueBinary | kQueuePassive, &e));
    ASSERT_TRUE(q.AddToQueue(session, e));
    const RunCommandLine line = MailedScheduleFile(q, std::string(tc.readOnly ? "ro" : "full") + ".tsc");
    const HeadlessRun run = RunLine(line, 20000);
    const int rc = run.rc;
    const std::string& errText = run.err;

    EXPECT_EQ(rc, kRunFailed) << errText;
    EXPECT_THAT(errText, HasSubstr(tc.reason));
    std::cout << "[ measured ] " << tc.name << ": " << errText;
    EXPECT_TRUE(ReadFile(local) == old) << "the old file lost bytes";
    const std::string log = ReadFile(RunLogPath(line.scheduleFile));
    EXPECT_THAT(log, EndsWith(kTransferFailed)) << log;
    const std::string mail = MailWith("Session: " + session);
    ASSERT_FALSE(mail.empty()) << "no mail arrived in " << kMaildir;
    EXPECT_THAT(mail, HasSubstr(kTransferFailed));
  }
}

}  // namespace
}  // namespace tarn
