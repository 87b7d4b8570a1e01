#include "client/engine/keepalive.h"

namespace tarn {

KeepAliveTimer::KeepAliveTimer(std::function<void()> onDue) : onDue_(std::move(onDue)) {}

KeepAliveTimer::~KeepAliveTimer() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    quit_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void KeepAliveTimer::SetCallback(std::function<void()> onDue) {
  std::unique_lock<std::mutex> lock(mu_);
  if (std::this_thread::get_id() != thread_.get_id())
    cv_.wait(lock, [this] { return !inCallback_; });
  onDue_ = std::move(onDue);
}

void KeepAliveTimer::Arm(int64_t ms) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    interval_ = ms;
    armed_ = true;
    // The thread starts with the first arming, so that a connection that
    // never uses keep-alive costs nothing.
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  cv_.notify_all();
}

void KeepAliveTimer::Stop() {
  std::lock_guard<std::mutex> lock(mu_);
  armed_ = false;
  interval_ = 0;
  cv_.notify_all();
}

bool KeepAliveTimer::Armed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return armed_;
}

int64_t KeepAliveTimer::Interval() const {
  std::lock_guard<std::mutex> lock(mu_);
  return interval_;
}

void KeepAliveTimer::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  while (!quit_) {
    if (!armed_) {
      cv_.wait(lock);
      continue;
    }
    if (cv_.wait_until(lock, due_) == std::cv_status::timeout && armed_ && !quit_ &&
        std::chrono::steady_clock::now() >= due_) {
      armed_ = false;  // one shot: the callback's own traffic re-arms it
      auto cb = onDue_;
      inCallback_ = true;
      lock.unlock();
      if (cb) cb();
      lock.lock();
      inCallback_ = false;
      cv_.notify_all();
    }
  }
}

}  // namespace tarn
