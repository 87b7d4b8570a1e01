// The run log of an unattended run: every message is written behind a time
// stamp, and the file is flushed after each write so that the log of a run
// that dies still holds its steps.
//
//   \r\n-->  11/14/2023, 22:13:20\r\n\r\nSession: nightly
//   \r\n-->  11/14/2023, 22:13:21 -- Retreiving file /pub/a.txt to /home/u/a.txt
//   \r\n-->  11/14/2023, 22:13:21 -- Success
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace tarn {

// The local time now; tests pass a pinned clock.
using RunClock = std::function<std::tm()>;
std::tm LocalTimeNow();

// "\r\n-->  %02d/%02d/%04d, %02d:%02d:%02d": month, day, year, hour,
// minute, second.
std::string RunLogStamp(const std::tm& t);

class RunLog {
 public:
  // No file is touched until the first write.
  explicit RunLog(std::string path, RunClock clock = LocalTimeNow);
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // WriteRunLog: the stamp, then `message`, then a flush. The first write
  // creates the file, replacing an older log. When it cannot be created
  // nothing is logged, now or later, and the run goes on. Any thread may
  // write.
  void Write(const std::string& message);

  // Creates the file when no write has yet, so that a run that logged
  // nothing still leaves a (empty) report to mail.
  void EnsureCreated();

  // Closes the file (later writes are dropped).
  void Close();

  // The message of the last write ("" before the first).
  std::string LastMessage() const;

  const std::string& Path() const { return path_; }
  // True once creating the file failed.
  bool Failed() const;

 private:
  // Creates the file on first use; false when it cannot be. Holds mu_.
  bool OpenLocked();

  mutable std::mutex mu_;
  std::string path_;
  RunClock clock_;
  std::FILE* file_ = nullptr;
  bool tried_ = false;
  bool failed_ = false;
  bool closed_ = false;
  std::string last_;
};

}  // namespace tarn
