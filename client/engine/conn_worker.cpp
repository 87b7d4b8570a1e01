#include "client/engine/conn_worker.h"

#include <chrono>
#include <exception>
#include <string>

#include "client/engine/control.h"
#include "client/engine/keepalive.h"

namespace tarn {

ConnWorker::ConnWorker(FtpConn& conn) : conn_(conn) {
  // A cancel that finds no wait to wake must still end the wait that
  // begins a moment later; the Net checks bAbort before each wait.
  if (conn_.net) conn_.net->SetAbortFlag(&conn_.bAbort);
  thread_ = std::thread([this] { Run(); });
  if (conn_.keepAlive) {
    conn_.keepAlive->SetCallback([this] {
      // The timer is one-shot: when the worker is busy, the op's own
      // commands re-arm it; when it was refused for any other reason, arm
      // it again so that the keep-alive does not fall silent.
      if (!SubmitIfIdle(&ConnWorker::KeepAliveOp)) RearmKeepAlive(conn_);
    });
  }
}

ConnWorker::~ConnWorker() {
  // First the timer: after SetCallback returns, no callback of ours runs.
  if (conn_.keepAlive) conn_.keepAlive->SetCallback({});
  CancelAll();
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (conn_.net) conn_.net->SetAbortFlag(nullptr);
}

bool ConnWorker::Enqueue(Item& item, bool onlyIfIdle) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (stop_) return false;
    if (onlyIfIdle && (running_ || !queue_.empty())) return false;
    queue_.push_back(std::move(item));
  }
  cv_.notify_all();
  return true;
}

std::future<int> ConnWorker::Submit(Op op) {
  Item item;
  item.op = std::move(op);
  item.promise = std::make_unique<std::promise<int>>();
  std::future<int> result = item.promise->get_future();
  // A refused item is left with us: answer its future here.
  if (!Enqueue(item, false)) item.promise->set_value(kReplyAborted);
  return result;
}

void ConnWorker::Post(Op op, Done done) {
  Item item;
  item.op = std::move(op);
  item.done = std::move(done);
  if (!Enqueue(item, false) && item.done) item.done(kReplyAborted);
}

bool ConnWorker::SubmitIfIdle(Op op) {
  Item item;
  item.op = std::move(op);
  return Enqueue(item, true);
}

void ConnWorker::Cancel() {
  // Under the lock, so that the flag and the wake-up reach the op that
  // runs now and never one that starts after this call returned.
  std::lock_guard<std::mutex> lock(mu_);
  if (!running_) return;
  conn_.bAbort = 1;
  if (conn_.net) conn_.net->CancelBlockingCall();
}

void ConnWorker::CancelAll() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (Item& item : queue_) {
      if (item.dropped) continue;
      item.dropped = true;
      item.op = nullptr;
      if (item.promise) {
        item.promise->set_value(kReplyAborted);
        item.promise.reset();
      }
    }
  }
  Cancel();
  cv_.notify_all();
}

bool ConnWorker::Idle() const {
  std::lock_guard<std::mutex> lock(mu_);
  return !running_ && queue_.empty();
}

bool ConnWorker::WaitIdle(int ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return idleCv_.wait_for(lock, std::chrono::milliseconds(ms),
                          [this] { return !running_ && queue_.empty(); });
}

bool ConnWorker::OnWorkerThread() const {
  std::lock_guard<std::mutex> lock(mu_);
  return std::this_thread::get_id() == workerId_;
}

int ConnWorker::KeepAliveOp(FtpConn& c) {
  StopKeepAlive(c);
  int rc = kReplyNone;
  const platform::Socket sock = c.sockControl;
  if (c.app && c.app->bConnected && c.iBusy == 0 && sock != platform::kInvalidSocket) {
    LogWrite(c, "NOOP\r\n");
    if (FtpSendRaw(c, sock, "NOOP") >= 0) rc = FtpGetReply(c, sock);
  }
  RearmKeepAlive(c);
  return rc;
}

int ConnWorker::RunGuarded(const Op& op) {
  try {
    return op ? op(conn_) : kReplyNone;
  } catch (const std::exception& e) {
    LogWrite(conn_, std::string("Operation failed: ") + e.what() + "\r\n");
  } catch (...) {
    LogWrite(conn_, "Operation failed: unknown error\r\n");
  }
  return kReplyNone;
}

void ConnWorker::Complete(Item& item, int result) {
  try {
    if (item.promise) item.promise->set_value(result);
    if (item.done) item.done(result);
  } catch (const std::exception& e) {
    LogWrite(conn_, std::string("Operation completion failed: ") + e.what() + "\r\n");
  } catch (...) {
    LogWrite(conn_, "Operation completion failed: unknown error\r\n");
  }
}

void ConnWorker::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  workerId_ = std::this_thread::get_id();
  for (;;) {
    cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) break;  // stop_ and nothing left
    Item item = std::move(queue_.front());
    queue_.pop_front();
    running_ = true;
    if (!item.dropped) {
      // Each op starts clean: a cancel meant for the op before it, or a
      // wake-up no wait took, must not end this one.
      conn_.bAbort = 0;
      if (conn_.net) conn_.net->ClearCancel();
    }
    lock.unlock();
    const int result = item.dropped ? kReplyAborted : RunGuarded(item.op);
    Complete(item, result);
    item = Item{};  // the op's captures go before the worker reports idle
    lock.lock();
    running_ = false;
    idleCv_.notify_all();
  }
}

}  // namespace tarn
