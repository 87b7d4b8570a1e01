// KeepAliveTimer: the idle timer behind keep-alive commands. Every control
// primitive stops it on entry and re-arms it on exit, so it only fires
// after a whole interval without traffic. When it fires, its callback runs
// on the timer's own thread; the callback decides what to send.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tarn {

class KeepAliveTimer {
 public:
  explicit KeepAliveTimer(std::function<void()> onDue = {});
  ~KeepAliveTimer();
  KeepAliveTimer(const KeepAliveTimer&) = delete;
  KeepAliveTimer& operator=(const KeepAliveTimer&) = delete;

  // Replaces the callback. Waits for a callback that is running on the
  // timer's thread to return (unless called from that callback), so that
  // after it returns the old callback's captures are no longer used.
  void SetCallback(std::function<void()> onDue);
  // Arms (or re-arms) the timer to fire once after `ms` milliseconds.
  void Arm(int64_t ms);
  void Stop();
  bool Armed() const;
  // Interval of the last Arm, in ms (0 when stopped).
  int64_t Interval() const;

 private:
  void Run();

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::function<void()> onDue_;
  std::chrono::steady_clock::time_point due_{};
  int64_t interval_ = 0;
  bool armed_ = false;
  bool quit_ = false;
  bool inCallback_ = false;  // the callback runs on thread_ now
  std::thread thread_;
};

}  // namespace tarn
