// The connection worker: order, results, cancelling and the keep-alive.
#include "client/engine/conn_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "client/engine/commands.h"
#include "client/engine/data.h"
#include "client/engine/transfer.h"
#include "client/listing/listing_thread.h"
#include "tests/support/engine_fixture.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr auto kLimit = std::chrono::seconds(30);

class ConnWorkerTest : public testing::EngineTest {
 protected:
  std::string Failures() { return ::testing::PrintToString(srv_.Failures()); }
};

// ---- Order and results ------------------------------------------------------

TEST_F(ConnWorkerTest, OpsRunInSubmissionOrderOnTheWorkerThread) {
  ConnWorker w(c_);
  std::vector<int> order;  // touched by the worker only
  std::vector<std::future<int>> results;
  std::vector<bool> onWorker;
  for (int i = 0; i < 20; ++i)
    results.push_back(w.Submit([&, i](FtpConn&) {
      order.push_back(i);
      onWorker.push_back(w.OnWorkerThread());
      return i % 7;
    }));
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(results[i].wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(results[i].get(), i % 7);
  }
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
  EXPECT_THAT(onWorker, ::testing::Each(true));
  EXPECT_FALSE(w.OnWorkerThread());
  EXPECT_TRUE(w.WaitIdle(30000));
  EXPECT_TRUE(w.Idle());
}

TEST_F(ConnWorkerTest, PostedCompletionsRunOnTheWorkerAfterTheirOp) {
  ConnWorker w(c_);
  std::promise<void> all;
  std::vector<std::string> seen;  // worker only
  w.Post([&](FtpConn&) { seen.push_back("op1"); return 2; },
         [&](int rc) { seen.push_back("done1:" + std::to_string(rc) + (w.OnWorkerThread() ? "w" : "x")); });
  w.Post([&](FtpConn&) { seen.push_back("op2"); return 5; }, {});
  w.Post([&](FtpConn&) { seen.push_back("op3"); return 6; },
         [&](int rc) {
           seen.push_back("done3:" + std::to_string(rc));
           all.set_value();
         });
  ASSERT_EQ(all.get_future().wait_for(kLimit), std::future_status::ready);
  EXPECT_THAT(seen, ElementsAre("op1", "done1:2w", "op2", "op3", "done3:6"));
}

TEST_F(ConnWorkerTest, ThrowingOpsReportClassZeroAndTheWorkerGoesOn) {
  ConnWorker w(c_);
  auto bad = w.Submit([](FtpConn&) -> int { throw std::runtime_error("disk on fire"); });
  auto odd = w.Submit([](FtpConn&) -> int { throw 42; });
  auto good = w.Submit([](FtpConn&) { return kReplyComplete; });
  EXPECT_EQ(bad.get(), kReplyNone);
  EXPECT_EQ(odd.get(), kReplyNone);
  EXPECT_EQ(good.get(), kReplyComplete);
  EXPECT_THAT(Log(), HasSubstr("Operation failed: disk on fire"));
}

// ---- Idle-only ops ----------------------------------------------------------

TEST_F(ConnWorkerTest, SubmitIfIdleIsRefusedWhileAnOpRunsOrWaits) {
  ConnWorker w(c_);
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::promise<void> started;
  auto first = w.Submit([&](FtpConn&) {
    started.set_value();
    gate.wait();
    return kReplyComplete;
  });
  started.get_future().wait();
  int ran = 0;
  EXPECT_FALSE(w.SubmitIfIdle([&](FtpConn&) { return ++ran; }));  // one runs
  auto second = w.Submit([](FtpConn&) { return kReplyIntermediate; });
  EXPECT_FALSE(w.SubmitIfIdle([&](FtpConn&) { return ++ran; }));  // one waits
  EXPECT_FALSE(w.Idle());
  release.set_value();
  EXPECT_EQ(first.get(), kReplyComplete);
  EXPECT_EQ(second.get(), kReplyIntermediate);
  ASSERT_TRUE(w.WaitIdle(30000));
  EXPECT_TRUE(w.SubmitIfIdle([&](FtpConn&) { return ++ran; }));
  ASSERT_TRUE(w.WaitIdle(30000));
  EXPECT_EQ(ran, 1);
}

// ---- Cancelling -------------------------------------------------------------

// The server takes STAT and never answers: only the cancel can end the op,
// since the reply time-out is far beyond the test's limit.
TEST_F(ConnWorkerTest, CancelEndsABlockedWaitAndLaterOpsRunNormally) {
  c_.iReplyTimeout = 600000;
  srv_.Expect("STAT").Hold();
  platform::Socket s = Connect();
  ConnWorker w(c_);
  auto stalled = w.Submit([s](FtpConn& c) { return FtpCommand(c, s, "STAT"); });
  auto after = w.Submit([](FtpConn& c) { return c.bAbort.load() ? kReplyAborted : kReplyComplete; });
  ASSERT_TRUE(srv_.WaitReceived(1));
  w.Cancel();
  ASSERT_EQ(stalled.wait_for(kLimit), std::future_status::ready);
  EXPECT_EQ(stalled.get(), kReplyAborted);
  // The op after the cancelled one starts with bAbort cleared.
  EXPECT_EQ(after.get(), kReplyComplete);
}

TEST_F(ConnWorkerTest, CancelWithNothingRunningLeavesTheNextOpAlone) {
  ConnWorker w(c_);
  w.Cancel();
  w.Cancel();
  EXPECT_EQ(w.Submit([](FtpConn& c) { return c.bAbort.load() ? kReplyAborted : kReplyComplete; }).get(), kReplyComplete);
}

TEST_F(ConnWorkerTest, CancelAllDropsQueuedOpsWithAborted) {
  c_.iReplyTimeout = 600000;
  srv_.Expect("STAT").Hold();
  platform::Socket s = Connect();
  ConnWorker w(c_);
  auto stalled = w.Submit([s](FtpConn& c) { return FtpCommand(c, s, "STAT"); });
  bool droppedRan = false;
  auto dropped = w.Submit([&](FtpConn&) {
    droppedRan = true;
    return 2;
  });
  std::promise<int> doneResult;
  std::promise<bool> doneOnWorker;
  w.Post([&](FtpConn&) {
    droppedRan = true;
    return 2;
  }, [&](int rc) {
    doneOnWorker.set_value(w.OnWorkerThread());
    doneResult.set_value(rc);
  });
  ASSERT_TRUE(srv_.WaitReceived(1));
  w.CancelAll();
  EXPECT_EQ(dropped.get(), kReplyAborted);
  EXPECT_EQ(stalled.get(), kReplyAborted);
  EXPECT_EQ(doneResult.get_future().get(), kReplyAborted);
  EXPECT_TRUE(doneOnWorker.get_future().get());
  ASSERT_TRUE(w.WaitIdle(30000));
  EXPECT_FALSE(droppedRan);
  // The worker still takes new work.
  EXPECT_EQ(w.Submit([](FtpConn&) { return kReplyComplete; }).get(), kReplyComplete);
}

TEST_F(ConnWorkerTest, DestroyingTheWorkerCancelsTheRunningOp) {
  c_.iReplyTimeout = 600000;
  srv_.Expect("STAT").Hold();
  platform::Socket s = Connect();
  std::future<int> stalled, queued;
  {
    ConnWorker w(c_);
    stalled = w.Submit([s](FtpConn& c) { return FtpCommand(c, s, "STAT"); });
    queued = w.Submit([](FtpConn&) { return 2; });
    ASSERT_TRUE(srv_.WaitReceived(1));
  }
  EXPECT_EQ(stalled.get(), kReplyAborted);
  EXPECT_EQ(queued.get(), kReplyAborted);
}

// ---- Keep-alive --------------------------------------------------------------

// The keep-alive falls due many times while a slow LIST or download runs; the
// server fails the script if anything comes on the control connection
// before the transfer's reply. Once idle, the NOOP does come.
TEST_F(ConnWorkerTest, KeepAliveNeverComesBetweenACommandAndItsReply) {
  struct Case {
    const char* name;
    bool listing;
  } cases[] = {{"a long LIST", true}, {"a long download", false}};
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    testing::FakeFtpServer srv;
    srv.SetQuietDuringData(true);
    std::string data;
    for (int i = 0; i < 40; ++i) data += "-rw-r--r--    1 0  0   16 Dec 07 21:49 file" + std::to_string(i) + "\r\n";
    srv.Pasv()
        .On(tc.listing ? "LIST" : "RETR f", "150 Here it comes.\r\n")
        .DataOpen()
        .DataSend(data, 64, 10)  // about 40 pieces, 10 ms apart
        .DataClose()
        .Send("226 Transfer complete.\r\n")
        .On("NOOP", "200 NOOP ok.\r\n")
        .DrainUntilClosed();
    srv.Start();
    app_.bConnected = 1;
    app_.settings.bPassive = 1;
    app_.settings.bKeepAlive = 1;
    c_.iKeepAliveMs = 5;
    c_.cTypeNow = tc.listing ? 'A' : 'I';
    // The connect runs here, outside any op: a wake-up the previous case's
    // worker left when it ended (its keep-alive still running) must not
    // cancel it, as an op's start forgets it on the worker.
    net_.ClearCancel();
    c_.bAbort = 0;
    c_.sockControl = FtpOpenSocket(c_, "127.0.0.1", srv.Port());
    const platform::Socket s = c_.sockControl;
    {
      ConnWorker w(c_);
      const std::string local = dir_ + "/f";
      auto done = w.Submit([&](FtpConn& c) {
        return tc.listing ? FtpListToTemp(c, s, "LIST") : FtpGetFile(c, s, "RETR f", local, 'I');
      });
      ASSERT_EQ(done.wait_for(kLimit), std::future_status::ready);
      EXPECT_EQ(done.get(), kReplyComplete) << Log();
      if (tc.listing) unlink(c_.cTempFile);
      // The keep-alive of the idle connection.
      ASSERT_TRUE(srv.WaitReceived(3)) << ::testing::PrintToString(srv.Received());
      EXPECT_EQ(srv.Received()[2], "NOOP");
    }
    net_.Close(s);
    c_.sockControl = platform::kInvalidSocket;
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    keepAlive_.Stop();
  }
}

// ---- The listing op ------------------------------------------------------------

// A refused directory change ends the listing too: a disconnect waiting for
// the listing-finished event must not wait out its bound.
TEST_F(ConnWorkerTest, ListingFinishedIsSetWhenTheDirectoryCannotBeEntered) {
  srv_.On("CWD /secret", "550 Failed to change directory.\r\n")
      .On("CWD /secret", "550 Failed to change directory.\r\n");
  Connect();
  app_.bConnected = 1;
  listing::ListingContext ctx;
  listing::PathStateFromConn(c_, &ctx.path);
  listing::ListingRequest req;
  req.directory = "/secret";
  ConnWorker w(c_);
  auto done = w.Submit([&](FtpConn& c) {
    return listing::RunListing(c, &ctx, req, listing::DateParts{2026, 12, 7, 12, 0, 0});
  });
  EXPECT_EQ(done.get(), 1);
  EXPECT_TRUE(ctx.WaitFinished(0));
  EXPECT_EQ(app_.iOpState, kOpIdle);
}

}  // namespace
}  // namespace tarn
