// The engine against vsftpd and pyftpdlib through the fault proxy: the
// control or the data connection dropped, reset, stalled, cut at a byte or
// slowed, during the log-on, a listing, a download and an upload. Every
// fault ends within the reply time-out (2 s here) as a failure with a
// text for the person; a cut download leaves the file it was replacing
// alone, keeps an exact prefix for the resume, and the resume gives the
// host file byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "client/engine/commands.h"
#include "client/engine/conn_worker.h"
#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/logon.h"
#include "client/engine/transfer.h"
#include "client/session/app_state.h"
#include "client/session/connection_log.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::Not;
using ::testing::StartsWith;
using testing::Channel;
using testing::Cue;
using testing::FaultProxy;
using testing::ServerEnv;
using Clock = std::chrono::steady_clock;

constexpr int kReplyTimeoutMs = 2000;
// Far beyond any fault's end: an op still running then hangs.
constexpr auto kHang = std::chrono::seconds(40);
constexpr size_t kFileSize = 16 << 20;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& ch : s) ch = static_cast<char>(gen());
  return s;
}

// One of the real servers: where its files live, seen from the host and
// from this machine.
struct Server {
  const char* name;
  uint16_t port;
  HostRecord session;
  std::string localRoot;   // the session's "/" on this machine
  std::string remoteDir;   // a writable directory, seen from the session
};

std::vector<Server> Servers() {
  HostRecord vs = testing::VsftpdUserSession();
  HostRecord py = testing::VsftpdUserSession("secret");
  SetField(py.cFTPPort, ServerEnv("TARN_TEST_PYFTPD_PORT"));
  SetField(py.cUserName, "user");
  return {
      {"vsftpd", static_cast<uint16_t>(std::stoi(ServerEnv("TARN_TEST_VSFTPD_PORT"))), vs,
       ServerEnv("TARN_TEST_FTP_HOME"), "/upload"},
      {"pyftpdlib", static_cast<uint16_t>(std::stoi(ServerEnv("TARN_TEST_PYFTPD_PORT"))), py,
       ServerEnv("TARN_TEST_PYFTPD_ROOT") + "/user", ""},
  };
}

// A client of its own for each case: program state, log, Ui, connection
// and its worker, as a composition root makes them.
struct Client {
  explicit Client(const std::string& logPath) {
    log.Create(logPath);
    app.log = &log;
    app.settings.bDebugLog = true;
    app.settings.bPassive = 1;
    conn.app = &app;
    conn.ui = &ui;
    conn.net = &net;
    conn.iReplyTimeout = kReplyTimeoutMs;
    worker = std::make_unique<ConnWorker>(conn);
  }
  ~Client() {
    worker.reset();
    if (conn.sockControl != platform::kInvalidSocket) net.Close(conn.sockControl);
  }
  // Log-on through the proxy at `port`.
  bool Connect(HostRecord session, uint16_t port, const std::string& dir) {
    SetField(session.cFTPPort, std::to_string(port));
    SetField(session.cHostDir, dir);
    auto done = worker->Submit([&](FtpConn& c) {
      ConnectContext ctx;
      ctx.conn = &c;
      ctx.replyTimeoutMs = kReplyTimeoutMs;
      ctx.hooks.processDirectory = [&](const std::string& d) {
        return d.empty() || FtpCwd(c, c.sockControl, d) == kReplyComplete;
      };
      return RunConnect(ctx, &session) ? 1 : 0;
    });
    return done.wait_for(kHang) == std::future_status::ready && done.get() == 1;
  }
  // Runs `op` on the worker; false when it did not end in time.
  bool Run(ConnWorker::Op op, int* rc, double* seconds) {
    const auto start = Clock::now();
    auto done = worker->Submit(std::move(op));
    if (done.wait_for(kHang) != std::future_status::ready) return false;
    *rc = done.get();
    *seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return true;
  }

  AppState app;
  ConnLog log;
  testing::ScriptedUi ui;
  platform::Net net;
  FtpConn conn;
  std::unique_ptr<ConnWorker> worker;
};

class FaultProxyEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::NeedServers()) GTEST_FAIL();
    char tmpl[] = "/tmp/tarn-faulteng-XXXXXX";
    dir_ = mkdtemp(tmpl);
    tag_ = "fault" + std::to_string(getpid());
    data_ = RandomBytes(kFileSize, 17);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& f : serverFiles_) std::filesystem::remove(f, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Local(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
  std::string tag_;
  std::string data_;
  std::vector<std::string> serverFiles_;
};

// ---- The table ----------------------------------------------------------------------

enum class Step { kLogon, kList, kGet, kPut };

struct FaultCase {
  const char* name;
  Step step;
  Channel channel;
  Cue cue;
  bool passive = true;
};

// Reply classes a failed step may end with: 6 (aborted, connection
// gone), 5 (failed), 4 (the server's own 426 for a cut transfer), -1 (no
// data connection), 0 (the transfer command got no valid reply).
const std::set<int> kFailed = {-1, 0, 4, 5, 6};

// A preliminary reply is cued by its first digit: vsftpd says "150",
// pyftpdlib "125" when the data connection is open already.
const FaultCase kCases[] = {
    // Log-on.
    {"banner dropped", Step::kLogon, Channel::kControl, Cue::Drop().OnLine("220")},
    {"reply to USER stalls", Step::kLogon, Channel::kControl, Cue::Stall().OnLine("331")},
    {"reply to PASS reset", Step::kLogon, Channel::kControl, Cue::Reset().OnLine("230")},
    {"PASS never reaches the server", Step::kLogon, Channel::kControl, Cue::Drop().FromClient().OnLine("PASS")},
    {"dropped after the log-on, at SYST's reply", Step::kLogon, Channel::kControl, Cue::Drop().OnLine("215")},
    {"reset at PWD's reply", Step::kLogon, Channel::kControl, Cue::Reset().OnLine("257")},
    {"dropped at the start directory's reply", Step::kLogon, Channel::kControl, Cue::Drop().OnLine("250")},
    // Listings.
    {"listing data reset", Step::kList, Channel::kData, Cue::Reset().After(10)},
    {"listing data stalls", Step::kList, Channel::kData, Cue::Stall()},
    {"control dropped at the listing's 1xx", Step::kList, Channel::kControl, Cue::Drop().OnLine("1")},
    {"listing's final reply stalls", Step::kList, Channel::kControl, Cue::Stall().OnLine("226")},
    // Downloads.
    {"download cut at 1 MB", Step::kGet, Channel::kData, Cue::CutAt(1 << 20)},
    {"download reset at 1 MB", Step::kGet, Channel::kData, Cue::Reset().After(1 << 20)},
    {"download stalls at 1 MB", Step::kGet, Channel::kData, Cue::Stall().After(1 << 20)},
    {"download data dropped at once", Step::kGet, Channel::kData, Cue::Drop()},
    {"download cut at 1 MB, active mode", Step::kGet, Channel::kData, Cue::CutAt(1 << 20), false},
    {"download stalls, active mode", Step::kGet, Channel::kData, Cue::Stall().After(1 << 20), false},
    {"control dropped at the download's 1xx", Step::kGet, Channel::kControl, Cue::Drop().OnLine("1")},
    {"1xx cut at byte 10", Step::kGet, Channel::kControl, Cue::CutAt(10).OnLine("1")},
    {"download's final reply stalls", Step::kGet, Channel::kControl, Cue::Stall().OnLine("226")},
    {"download's final reply reset", Step::kGet, Channel::kControl, Cue::Reset().OnLine("226")},
    {"RETR never reaches the server", Step::kGet, Channel::kControl, Cue::Drop().FromClient().OnLine("RETR")},
    // Uploads.
    {"upload cut at 1 MB", Step::kPut, Channel::kData, Cue::CutAt(1 << 20).FromClient()},
    {"upload reset at 1 MB", Step::kPut, Channel::kData, Cue::Reset().FromClient().After(1 << 20)},
    {"upload stalls at 1 MB", Step::kPut, Channel::kData, Cue::Stall().FromClient().After(1 << 20)},
    {"upload cut, active mode", Step::kPut, Channel::kData, Cue::CutAt(1 << 20).FromClient(), false},
    {"control dropped at the upload's 1xx", Step::kPut, Channel::kControl, Cue::Drop().OnLine("1")},
    {"upload's final reply stalls", Step::kPut, Channel::kControl, Cue::Stall().OnLine("226")},
};

TEST_F(FaultProxyEngineTest, EveryFaultEndsInTimeAsAFailureWithItsTextAndLosesNothing) {
  for (const Server& server : Servers()) {
    const std::string remote = tag_ + "-src.bin";
    Write(server.localRoot + server.remoteDir + "/" + remote, data_);
    serverFiles_.push_back(server.localRoot + server.remoteDir + "/" + remote);
    int n = 0;
    for (const FaultCase& tc : kCases) {
      SCOPED_TRACE(std::string(server.name) + ": " + tc.name + " (" + tc.cue.Describe() + ")");
      FaultProxy proxy(server.port);
      Client client(Local("conn.log"));
      client.app.settings.bPassive = tc.passive ? 1 : 0;
      const std::string local = Local("f" + std::to_string(++n) + ".bin");
      const std::string old = "the old content of " + local;
      Write(local, old);
      const std::string upName = tag_ + "-up" + std::to_string(n) + ".bin";
      serverFiles_.push_back(server.localRoot + server.remoteDir + "/" + upName);

      int rc = 0;
      double seconds = 0;
      std::string text;
      if (tc.step == Step::kLogon) {
        proxy.SetCue(Channel::kControl, 1, tc.cue);
        EXPECT_FALSE(client.Connect(server.session, proxy.Port(), server.remoteDir));
        EXPECT_EQ(client.conn.sockControl.load(), platform::kInvalidSocket);
        EXPECT_EQ(client.app.bConnected, 0);
        ASSERT_FALSE(client.ui.Boxes().empty());
        EXPECT_EQ(client.ui.Boxes().back().caption, "Error connecting to host");
        text = client.ui.Boxes().back().text;
        std::cout << "[ measured ] " << server.name << ", " << tc.name << ": " << text << "\n";
      } else {
        ASSERT_TRUE(client.Connect(server.session, proxy.Port(), server.remoteDir)) << Read(Local("conn.log"));
        const int number = tc.channel == Channel::kData ? proxy.Connections(Channel::kData) + 1 : 1;
        proxy.SetCue(tc.channel, number, tc.cue);
        ConnWorker::Op op;
        if (tc.step == Step::kList) {
          op = [](FtpConn& c) {
            const int r = FtpListToTemp(c, c.sockControl, "LIST");
            unlink(c.cTempFile);
            return r;
          };
        } else if (tc.step == Step::kGet) {
          op = [&](FtpConn& c) { return FtpGetFile(c, c.sockControl, "RETR " + remote, local, 'I'); };
        } else {
          Write(Local("up.bin"), data_);
          op = [&](FtpConn& c) { return FtpPutFile(c, c.sockControl, "STOR " + upName, Local("up.bin"), 'I'); };
        }
        ASSERT_TRUE(client.Run(op, &rc, &seconds)) << "the step hangs";
        EXPECT_TRUE(kFailed.count(rc)) << "class " << rc;
        text = FailureText(client.conn);
        std::cout << "[ measured ] " << server.name << ", " << tc.name << ": class " << rc << " after "
                  << seconds << " s: " << text << "\n";
      }
      EXPECT_GE(proxy.Fired(), 1) << "the fault never came";
      // What the person is told names the failure, never a success.
      EXPECT_FALSE(text.empty());
      EXPECT_NE(text.rfind('2', 0), 0u) << text;
      // Nor the shut-down of a connection already gone instead of its cause.
      EXPECT_THAT(text, Not(StartsWith("ShutDown")));

      if (tc.step == Step::kGet) {
        // The file it would have replaced is untouched; what came is an
        // exact prefix of the host file, and the resume completes it.
        EXPECT_TRUE(Read(local) == old) << "the old file was replaced";
        const std::string partial = PartialFileFor(local);
        const bool kept = std::filesystem::exists(partial);
        if (kept) {
          const std::string have = Read(partial);
          EXPECT_LE(have.size(), data_.size());
          EXPECT_TRUE(data_.compare(0, have.size(), have) == 0) << "the partial file is not a prefix";
        }
        proxy.ClearCues();
        Client again(Local("conn2.log"));
        again.app.settings.bPassive = tc.passive ? 1 : 0;
        ASSERT_TRUE(again.Connect(server.session, proxy.Port(), server.remoteDir));
        again.conn.resume.bResume = kept;
        again.conn.resume.path = kept ? partial : "";
        again.conn.resume.sourceSize = static_cast<int64_t>(data_.size());
        ASSERT_TRUE(again.Run([&](FtpConn& c) { return FtpGetFile(c, c.sockControl, "RETR " + remote, local, 'I'); },
                              &rc, &seconds));
        EXPECT_EQ(rc, kReplyComplete) << FailureText(again.conn);
        EXPECT_TRUE(Read(local) == data_) << "the resumed file differs from the host file";
        EXPECT_FALSE(std::filesystem::exists(partial));
      }
    }
  }
}

// A connection that is only slow is no fault: segments a few milliseconds
// apart on either connection never trip the time-out, and the file comes
// whole.
TEST_F(FaultProxyEngineTest, SlowSegmentsAreNoFailure) {
  for (const Server& server : Servers()) {
    const std::string remote = tag_ + "-slow.bin";
    const std::string data = data_.substr(0, 64 << 10);
    Write(server.localRoot + server.remoteDir + "/" + remote, data);
    serverFiles_.push_back(server.localRoot + server.remoteDir + "/" + remote);
    for (Channel channel : {Channel::kControl, Channel::kData}) {
      SCOPED_TRACE(std::string(server.name) + (channel == Channel::kData ? ": data" : ": control"));
      FaultProxy proxy(server.port);
      // Control: every reply a few bytes at a time.
      if (channel == Channel::kControl) proxy.SetCueAll(channel, Cue::Delay(5, 7));
      Client client(Local("slow.log"));
      ASSERT_TRUE(client.Connect(server.session, proxy.Port(), server.remoteDir)) << Read(Local("slow.log"));
      if (channel == Channel::kData) proxy.SetCueAll(channel, Cue::Delay(20, 4096));
      int rc = 0;
      double seconds = 0;
      ASSERT_TRUE(client.Run([&](FtpConn& c) { return FtpGetFile(c, c.sockControl, "RETR " + remote, Local("slow.bin"), 'I'); },
                             &rc, &seconds));
      EXPECT_EQ(rc, kReplyComplete) << FailureText(client.conn);
      EXPECT_TRUE(Read(Local("slow.bin")) == data);
      EXPECT_GE(proxy.Fired(), 1);
    }
  }
}

}  // namespace
}  // namespace tarn
