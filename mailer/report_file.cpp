#include "mailer/report_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "mailer/messages.h"

namespace mailer {

namespace {

// Applies the line rule to one piece of the file that ends after "\n" (or at
// the end of the file): skip leading CR/LF, cut at the next CR or LF.
std::string LineOf(const std::string& data, size_t begin, size_t end) {
  while (begin < end && (data[begin] == '\r' || data[begin] == '\n')) ++begin;
  size_t cut = begin;
  while (cut < end && data[cut] != '\r' && data[cut] != '\n') ++cut;
  return data.substr(begin, cut - begin);
}

}  // namespace

Report ReadReport(const std::string& path) {
  Report report;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    report.status = ReportStatus::kOpenFailed;
    report.error = FileErrorText(errno, path);
    return report;
  }
  // A directory opens on Linux but is not a report.
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    report.status = ReportStatus::kOpenFailed;
    report.error = FileErrorText(EISDIR, path);
    return report;
  }

  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      data.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // The lines before the error are still mailed; only whole lines count.
      report.status = ReportStatus::kReadFailed;
      report.error = FileErrorText(errno, path);
      const size_t lastBreak = data.rfind('\n');
      data.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    }
    break;
  }
  close(fd);

  size_t begin = 0;
  while (begin < data.size()) {
    size_t end = data.find('\n', begin);
    end = end == std::string::npos ? data.size() : end + 1;
    std::string line = LineOf(data, begin, end);
    if (line.size() > kMaxLineLength) {
      report.status = ReportStatus::kLineTooLong;
      report.error = LineTooLongText(path, report.lines.size() + 1, kMaxLineLength);
      report.lines.clear();
      return report;
    }
    report.lines.push_back(std::move(line));
    begin = end;
  }
  return report;
}

}  // namespace mailer
