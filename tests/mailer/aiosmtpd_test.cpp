// Delivery to a real SMTP server: Debian's aiosmtpd on loopback, storing
// each message in a Maildir (with LF line ends and its own X-Peer,
// X-MailFrom and X-RcptTo headers added after ours).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mailer/courel_run.h"
#include "mailer/report_file.h"
#include "tests/mailer/aiosmtpd_server.h"

namespace mailer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using mailer_test::AiosmtpdServer;
using mailer_test::MaskPeer;

constexpr char kStoredHeader[] =
    "From: me@example.org\n"
    "To: you@example.org\n"
    "Subject: Testing e-mail connection\n"
    "X-Priority: 3\n"
    "X-MailPriority: Normal\n"
    "X-Mailer: Mervo ver. 1.02\n"
    "X-Peer: *\n"
    "X-MailFrom: me@example.org\n"
    "X-RcptTo: you@example.org\n"
    "\n";

class RecordingNotice : public Notice {
 public:
  void Show(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

class AiosmtpdDeliveryTest : public ::testing::Test {
 protected:
  // One server for the suite; each test takes the messages it caused.
  static void SetUpTestSuite() {
    server_ = new AiosmtpdServer;
    if (!server_->Start(&startError_)) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    // A missing server is a failure: CI installs python3-aiosmtpd.
    ASSERT_NE(server_, nullptr) << "aiosmtpd is needed for these tests: " << startError_;
    server_->TakeMessages();
  }

  int Deliver(const std::string& report) {
    const std::string path = dir_.File("report.log");
    tarn::testing::WriteFile(path, report);
    return RunCourel("-" + server_->host() + " -me@example.org -you@example.org -" + path, net_,
                     notice_, 10000);
  }

  static AiosmtpdServer* server_;
  static std::string startError_;
  tarn::testing::TempDir dir_{mailer_test::kCourelDirPrefix, mailer_test::kCourelDirBase};
  platform::Net net_;
  RecordingNotice notice_;
};

AiosmtpdServer* AiosmtpdDeliveryTest::server_ = nullptr;
std::string AiosmtpdDeliveryTest::startError_;

TEST_F(AiosmtpdDeliveryTest, DeliversTheReportWithItsHeaders) {
  const std::string longest = "." + std::string(kMaxLineLength - 1, 'x');
  struct Case {
    const char* name;
    std::string report;
    std::string body;  // as stored
  };
  const Case cases[] = {
      {"run log", "\r\n-->  05/14/2024, 03:00:01 Connecting\r\n-->  05/14/2024, 03:00:02 Done\r\n",
       "\n-->  05/14/2024, 03:00:01 Connecting\n-->  05/14/2024, 03:00:02 Done\n"},
      {"empty report: headers only", "", ""},
      // Without doubling, the "." line would end the mail there.
      {"a line of . survives", "before\r\n.\r\nafter\r\n..two\r\n", "before\n.\nafter\n..two\n"},
      {"CR LF alone is an empty line", "a\r\n\r\n\r\nb", "a\n\n\nb\n"},
      {"longest line, dot doubled", longest + "\r\n", longest + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Deliver(c.report), kExitDelivered);
    EXPECT_THAT(notice_.shown, IsEmpty());
    const std::vector<std::string> messages = server_->TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(MaskPeer(messages[0]), kStoredHeader + c.body);
    notice_.shown.clear();
  }
}

// aiosmtpd answers a malformed receiver with 501; the run goes on to DATA,
// whose 503 is what the person is told.
TEST_F(AiosmtpdDeliveryTest, RefusedReceiverEndsAtData) {
  const std::string path = dir_.File("report.log");
  tarn::testing::WriteFile(path, "text\r\n");
  EXPECT_EQ(RunCourel("-" + server_->host() + " -me@example.org -you<x@example.org -" + path,
                      net_, notice_, 10000),
            kExitNotDelivered);
  EXPECT_THAT(notice_.shown, ElementsAre("Bad sequence of commands"));
  EXPECT_THAT(server_->TakeMessages(), IsEmpty());
}

}  // namespace
}  // namespace mailer
