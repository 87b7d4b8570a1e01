#include "client/session/connection_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/process.h"

namespace tarn {

ConnLog::~ConnLog() {
  if (file_) std::fclose(file_);
}

bool ConnLog::Create(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  // The transcript names hosts and users: the file is the user's alone.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    ::close(fd);
    return false;
  }
  return true;
}

void ConnLog::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mu_);
  if (file_) {
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
  }
  if (mirror_) {
    // A terminal wants plain line ends, and the transcript's reply lines
    // (each kept with its own CR LF, then one more) would stand apart.
    std::string shown;
    shown.reserve(text.size());
    for (char ch : text) {
      if (ch == '\r') continue;
      if (ch == '\n' && mirrorAtLineStart_) continue;
      shown += ch;
      mirrorAtLineStart_ = ch == '\n';
    }
    std::fwrite(shown.data(), 1, shown.size(), mirror_);
    std::fflush(mirror_);
  }
}

BannerFacts CurrentBannerFacts() {
  BannerFacts facts;
  facts.now = static_cast<int64_t>(std::time(nullptr));
  facts.os = platform::KernelNameRelease();
  for (const auto& path :
       platform::LoadedLibraries({"libssl", "libcrypto", "libsqlite3", "libQt6Core"})) {
    BannerFacts::Library lib;
    lib.path = path;
    if (platform::FileStat(path, &lib.size, &lib.mtime)) facts.libraries.push_back(lib);
  }
  return facts;
}

std::string ConnectionLogBanner(const BannerFacts& facts, const platform::Locale& locale) {
  std::tm now = platform::LocalTime(facts.now);
  std::string out =
      "\r\n************************************************\r\n"
      "--->          Ostravel Software          <---\r\n"
      "************************************************\r\n\r\n"
      "Tarn File Transfer Connection Log (created " +
      locale.FormatLongDate(now) + " at " + locale.FormatTime(now) + ")\r\n\r\n";
  out += "OS: " + facts.os + "\r\n";
  for (const auto& lib : facts.libraries) {
    std::tm t = platform::LocalTime(lib.mtime);
    char date[48];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", t.tm_mon + 1, t.tm_mday,
                  t.tm_year + 1900);
    out += "DLL: " + lib.path + " " + date + " " + std::to_string(lib.size) + "\r\n";
  }
  return out;
}

bool CreateConnectionLog(ConnLog* log, const std::string& dir, const BannerFacts& facts,
                         const platform::Locale& locale) {
  if (!log->Create(platform::PathJoin(dir, "Tarn.log"))) return false;
  log->Write(ConnectionLogBanner(facts, locale));
  return true;
}

}  // namespace tarn
