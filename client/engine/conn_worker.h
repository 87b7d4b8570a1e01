// ConnWorker: the one thread that talks to the server of an FtpConn.
//
// Every engine operation of a connection (connect, listing, transfer,
// remote command, keep-alive NOOP, QUIT) runs as an Op on this thread, one
// after the other in the order submitted. Nothing else touches the control
// socket, so no command can come between another command and its reply.
//
//   GUI / console thread                     worker thread
//   --------------------                     -------------
//   Post(connect, done) ------------------>  RunConnect(...)   -> done(rc)
//   Submit(list).get() ------------------->  RunListing(...)   -> future
//   Cancel() --- bAbort = 1, wake the wait -> the running op ends with 6
//   keep-alive timer --- SubmitIfIdle ----->  NOOP (only when idle)
//
// The busy count and AppState.iOpState keep their meaning inside the ops:
// they still refuse what the system refuses (a second listing while one
// runs, a command while connecting); the worker only sees to it that the
// ops themselves never overlap.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "client/engine/ftp_conn.h"

namespace tarn {

class ConnWorker {
 public:
  // An operation: runs on the worker thread with the connection to itself
  // and returns a reply class (1..6, 0 for no valid reply) or a transfer
  // class (2 done, 5 failed, 6 aborted). Its captures must outlive it.
  using Op = std::function<int(FtpConn&)>;
  // A completion: runs on the worker thread right after its op, with the
  // op's result (or kReplyAborted for an op dropped by CancelAll).
  using Done = std::function<void(int result)>;

  // Starts the worker thread for `conn`, which must outlive the worker.
  // When conn.keepAlive is set, its timer is pointed at SubmitIfIdle (a
  // NOOP op), so the timer's own thread never touches the socket.
  explicit ConnWorker(FtpConn& conn);
  // CancelAll(), then waits for the running op to end and joins the thread.
  // Must not be called from the worker thread (from an op or a Done).
  ~ConnWorker();
  ConnWorker(const ConnWorker&) = delete;
  ConnWorker& operator=(const ConnWorker&) = delete;

  // Queues `op` behind everything already queued; its result arrives
  // through the future. Any thread may call it; the worker thread itself
  // may queue, but must never wait on the future (it would wait forever).
  // After destruction began, the future holds kReplyAborted at once.
  std::future<int> Submit(Op op);

  // Queues `op` like Submit; `done` (may be empty) runs on the worker
  // thread after the op, in submission order. After destruction began,
  // `done` runs at once on the caller's thread with kReplyAborted.
  void Post(Op op, Done done);

  // Queues `op` only when nothing runs and nothing waits, for work that
  // must never delay or split another (the keep-alive). Returns false, and
  // drops `op`, otherwise.
  bool SubmitIfIdle(Op op);

  // Cancels the running op: sets bAbort and wakes the wait it is blocked
  // in, from any thread at any moment (a signal-handling thread, the GUI
  // thread, an op's own Ui callback). The op ends as its code ends an
  // abort: transfers with 6, commands with 6 or the class of the reply that
  // still came. Queued ops are not touched: each op starts with bAbort
  // cleared and runs normally unless cancelled itself. Does nothing while
  // no op runs.
  void Cancel();

  // Cancel(), and drops every queued op without running it: its future
  // gets kReplyAborted at once, its Done runs on the worker thread with
  // kReplyAborted (in order, before any op queued later).
  void CancelAll();

  // True when no op runs (its Done included) and none is queued.
  bool Idle() const;

  // Waits up to `ms` for Idle(); true when it became idle. Not from the
  // worker thread.
  bool WaitIdle(int ms) const;

  // True on the worker thread (inside an op or a Done).
  bool OnWorkerThread() const;

  // The op the keep-alive timer submits: NOOP and its reply when connected.
  static int KeepAliveOp(FtpConn& c);

 private:
  struct Item {
    Op op;
    Done done;
    std::unique_ptr<std::promise<int>> promise;
    bool dropped = false;
  };

  void Run();
  // Runs the op with every exception caught (class 0 and a log line).
  int RunGuarded(const Op& op);
  // Hands the result to the future or the completion; exceptions of a
  // completion are caught and logged too.
  void Complete(Item& item, int result);
  // Queues `item` (moved from) unless refused; false leaves it with the caller.
  bool Enqueue(Item& item, bool onlyIfIdle);

  FtpConn& conn_;
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;      // queue changed or stop
  mutable std::condition_variable idleCv_;  // an op ended
  std::deque<Item> queue_;
  bool running_ = false;  // an op (or its Done) is on the worker now
  bool stop_ = false;     // destruction began: nothing more is queued
  std::thread thread_;
  std::thread::id workerId_;  // set by the worker thread when it starts
};

}  // namespace tarn
