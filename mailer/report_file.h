// The report file, read completely into lines before the mailer touches the
// network.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mailer {

// Longest report line SMTP carries: 1,000 bytes with its CR LF (a doubled
// leading dot not counted). Longer lines are refused, never cut.
inline constexpr size_t kMaxLineLength = 998;

enum class ReportStatus {
  kOk,
  kOpenFailed,   // nothing read; `error` holds the file-error text
  kReadFailed,   // `lines` holds what was read before the error; `error` says why
  kLineTooLong,  // nothing to send; `error` names the line
};

struct Report {
  ReportStatus status = ReportStatus::kOk;
  std::vector<std::string> lines;  // without line ends
  std::string error;
};

// Reads `path` line by line. A line ends after "\n" or at the end of the
// file; its leading CR and LF are skipped and it is cut at the next CR or LF,
// so "a\r\n\r\nb" gives "a", "", "b". Not thread-bound; the result is the
// caller's.
Report ReadReport(const std::string& path);

}  // namespace mailer
