// The connection log: "Tarn.log", replaced at every start, with a banner,
// then the control-connection transcript while DebugLog is on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/locale.h"

namespace tarn {

// A thread-safe append-only text sink. Writes reach the file at once (the
// log must survive a crash); an optional mirror stream (tarn-cli -v) gets
// the same text with LF line ends and without empty lines.
class ConnLog {
 public:
  ConnLog() = default;
  ~ConnLog();
  ConnLog(const ConnLog&) = delete;
  ConnLog& operator=(const ConnLog&) = delete;

  // Creates (replacing) the file. False when it cannot be created.
  bool Create(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  void SetMirror(std::FILE* mirror) { mirror_ = mirror; }

  // LogWrite: appends the bytes as they are. Nothing happens without a file
  // or mirror.
  void Write(const std::string& text);

 private:
  std::mutex mu_;
  std::FILE* file_ = nullptr;
  std::FILE* mirror_ = nullptr;
  bool mirrorAtLineStart_ = true;
};

// What the banner says about the machine; gathered by the caller so that
// tests can pin it.
struct BannerFacts {
  int64_t now = 0;                 // seconds since 1970
  std::string os;                  // "Linux 6.1.0-18-amd64"
  struct Library {
    std::string path;
    int64_t mtime = 0;
    int64_t size = 0;
  };
  std::vector<Library> libraries;
};

// The facts of this process: the time, the kernel, and the OpenSSL, SQLite
// and Qt libraries it has loaded.
BannerFacts CurrentBannerFacts();

// The banner text, CR LF line ends.
std::string ConnectionLogBanner(const BannerFacts& facts, const platform::Locale& locale);

// CreateConnectionLog: creates "Tarn.log" in `dir` and writes the banner
// whatever DebugLog says. False (and no log) when the file cannot be made.
bool CreateConnectionLog(ConnLog* log, const std::string& dir, const BannerFacts& facts,
                         const platform::Locale& locale);

}  // namespace tarn
