#include "client/session/run_log.h"

#include <fcntl.h>
#include <unistd.h>

namespace tarn {

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return t;
}

std::string RunLogStamp(const std::tm& t) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "\r\n-->  %02d/%02d/%04d, %02d:%02d:%02d", t.tm_mon + 1,
                t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return stamp;
}

RunLog::RunLog(std::string path, RunClock clock) : path_(std::move(path)), clock_(std::move(clock)) {}

RunLog::~RunLog() { Close(); }

bool RunLog::OpenLocked() {
  if (closed_) return false;
  if (!tried_) {
    tried_ = true;
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd >= 0) {
      file_ = ::fdopen(fd, "wb");
      if (!file_) ::close(fd);
    }
    failed_ = file_ == nullptr;
  }
  return file_ != nullptr;
}

void RunLog::Write(const std::string& message) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!OpenLocked()) return;
  const std::string text = RunLogStamp(clock_()) + message;
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
  last_ = message;
}

void RunLog::EnsureCreated() {
  std::lock_guard<std::mutex> lock(mu_);
  OpenLocked();
}

std::string RunLog::LastMessage() const {
  std::lock_guard<std::mutex> lock(mu_);
  return last_;
}

void RunLog::Close() {
  std::lock_guard<std::mutex> lock(mu_);
  closed_ = true;
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool RunLog::Failed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failed_;
}

}  // namespace tarn
