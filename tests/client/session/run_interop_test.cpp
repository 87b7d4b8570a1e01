// The unattended run against the real servers: vsftpd's local user for the
// transfers, aiosmtpd taking the report that the built courel mails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "client/session/queue_file.h"
#include "client/session/run_headless.h"
#include "client/session/run_queue.h"
#include "client/session/session_store.h"
#include "platform/paths.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::ScriptedUi;
using testing::ServerEnv;

const std::string kMaildir = testing::SmtpMaildir();

class RunInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::NeedServers()) GTEST_FAIL();
    ASSERT_FALSE(dir_.empty());
    std::string error;
    reg_ = platform::OpenSqliteRegistry(dir_ + "/registry.sqlite", &error);
    ASSERT_NE(reg_, nullptr) << error;
    // Names of this process only: two builds may run these tests at once.
    tag_ = "run" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    session_ = "vsftpd " + tag_;
    schedule_ = dir_ + "/night.tsc";
    ScriptedUi ui;
    PasswordScrambler scrambler(1700000000);
    SessionStore store(*reg_, ui, scrambler);
    HostRecord h = testing::VsftpdUserSession();
    SetField(h.cSessionName, session_);
    store.SaveSession(h);
  }
  void TearDown() override {
    reg_.reset();
    std::error_code ec;
    for (const auto& name : remoteNames_)
      std::filesystem::remove(ServerEnv("TARN_TEST_FTP_HOME") + "/upload/" + name, ec);
  }

  std::string Remote(const std::string& name) {
    remoteNames_.push_back(tag_ + "-" + name);
    return "/upload/" + tag_ + "-" + name;
  }
  std::string Local(const std::string& name, const std::string& content = "") {
    const std::string path = dir_ + "/" + name;
    if (!content.empty()) std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  void Add(TransferQueue* q, const std::string& session, const std::string& remote,
           const std::string& local, int32_t flags) {
    QEntry e;
    ASSERT_TRUE(MakeQEntry(remote, local, flags, &e));
    ASSERT_TRUE(q->AddToQueue(session, e));
  }
  RunCommandLine Line() const {
    RunCommandLine l;
    l.scheduleFile = schedule_;
    l.smtpHost = "127.0.0.1:" + ServerEnv("TARN_TEST_SMTP_PORT");
    l.sender = "ops@example.org";
    l.receiver = "admin@example.org";
    l.tokens = 4;
    return l;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // The mail that carries `marker`, once aiosmtpd has stored it.
  static std::string MailWith(const std::string& marker) {
    for (int i = 0; i < 2000; ++i) {
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(std::string(kMaildir) + "/new", ec)) {
        const std::string text = Read(e.path());
        if (text.find(marker) != std::string::npos) return text;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
  }
  // The log's messages, each with its stamp checked.
  static std::vector<std::string> Messages(const std::string& log) {
    static const std::regex stamp("^\r\n-->  [01][0-9]/[0-3][0-9]/20[0-9][0-9], [0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < log.size()) {
      std::smatch m;
      const std::string rest = log.substr(pos);
      if (!std::regex_search(rest, m, stamp)) {
        ADD_FAILURE() << "no stamp at offset " << pos << ": " << rest;
        break;
      }
      const size_t next = log.find("\r\n-->  ", pos + m.length());
      out.push_back(log.substr(pos + m.length(), next == std::string::npos ? std::string::npos
                                                                            : next - pos - m.length()));
      pos = next == std::string::npos ? log.size() : next;
    }
    return out;
  }

  testing::TempDir tmp_{"tarn-runi"};
  std::string dir_ = tmp_.Path();
  std::unique_ptr<platform::Registry> reg_;
  std::string tag_;
  std::string session_;
  std::string schedule_;
  std::vector<std::string> remoteNames_;
  AppState app_;
};

TEST_F(RunInteropTest, EveryEntryTransferredLoggedAndMailed) {
  const std::string text = "line one\nline two\n";
  const std::string more = "appended\n";
  const std::string up = Remote("notes.txt");
  TransferQueue q;
  Add(&q, session_, up, Local("notes.txt", text), kQueueUpload | kQueueAscii | kQueuePassive);
  Add(&q, session_, up, Local("back.txt"), kQueueDownload | kQueueBinary);
  Add(&q, session_, up, Local("more.txt", more), kQueueBinary | kQueuePassive);
  Add(&q, session_, up, Local("again.txt"), kQueueDownload | kQueueBinary | kQueuePassive);
  std::string error;
  ASSERT_TRUE(SaveQueueFile(schedule_, q, &error)) << error;

  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  RunControl control;
  HeadlessOptions options;
  options.mailer = COUREL_PATH;
  options.replyTimeoutMs = 20000;
  const int rc = RunHeadless(Line(), *reg_, app_, out, err, control, options);
  std::rewind(err);
  char errText[2048] = {};
  std::fread(errText, 1, sizeof errText - 1, err);
  EXPECT_EQ(rc, kRunSucceeded) << errText;
  std::fclose(out);
  std::fclose(err);

  EXPECT_EQ(Read(Local("back.txt")), text);
  EXPECT_EQ(Read(Local("again.txt")), text + more);
  const std::string log = Read(RunLogPath(schedule_));
  EXPECT_EQ(Messages(log), (std::vector<std::string>{
                               "\r\n\r\nSession: " + session_,
                               " -- Uploading file " + Local("notes.txt") + " to " + up,
                               " -- Success",
                               " -- Retreiving file " + up + " to " + Local("back.txt"),
                               " -- Success",
                               " -- Uploading file " + Local("more.txt") + " to " + up,
                               " -- Success",
                               " -- Retreiving file " + up + " to " + Local("again.txt"),
                               " -- Success",
                           }));

  const std::string mail = MailWith("Session: " + session_);
  ASSERT_FALSE(mail.empty()) << "no mail arrived in " << kMaildir;
  EXPECT_THAT(mail, HasSubstr("X-RcptTo: admin@example.org"));
  EXPECT_THAT(mail, HasSubstr(" -- Retreiving file " + up + " to " + Local("again.txt")));
}

TEST_F(RunInteropTest, FailedTransferEndsTheRunAndTheMailStillGoes) {
  const std::string up = Remote("first.bin");
  const std::string missing = Remote("missing.bin");
  TransferQueue q;
  Add(&q, session_, up, Local("first.bin", std::string(100000, 'x')), kQueueUpload | kQueueBinary);
  Add(&q, session_, missing, Local("missing.bin"), kQueueDownload | kQueueBinary | kQueuePassive);
  Add(&q, session_, Remote("never.bin"), Local("first.bin"), kQueueUpload | kQueueBinary);
  Add(&q, "second " + tag_, Remote("second.bin"), Local("first.bin"), kQueueUpload | kQueueBinary);

  ScriptedUi ui;
  class Status : public RunStatus {
    void SetStatus(const std::string&) override {}
    void SetDetail(const std::string&) override {}
  } status;
  RunEnvironment env;
  env.reg = reg_.get();
  env.app = &app_;
  env.ui = &ui;
  env.status = &status;
  env.mailer = COUREL_PATH;
  env.replyTimeoutMs = 20000;
  RunControl control;
  EXPECT_EQ(RunScheduledQueue(Line(), q, env, control), kRunFailed);

  const std::string log = Read(RunLogPath(schedule_));
  EXPECT_THAT(log, EndsWith(" -- Transfer failed"));
  EXPECT_EQ(Messages(log).size(), 5u) << log;  // session, upload, success, download, failed
  EXPECT_THAT(log, Not(HasSubstr("never.bin")));
  EXPECT_THAT(log, Not(HasSubstr("second " + tag_)));
  EXPECT_FALSE(std::filesystem::exists(ServerEnv("TARN_TEST_FTP_HOME") + "/upload/" + tag_ + "-never.bin"));

  const std::string mail = MailWith("Session: " + session_);
  ASSERT_FALSE(mail.empty()) << "no mail arrived in " << kMaildir;
  EXPECT_THAT(mail, HasSubstr(" -- Transfer failed"));
}

}  // namespace
}  // namespace tarn
