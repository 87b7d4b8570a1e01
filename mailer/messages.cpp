#include "mailer/messages.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

namespace mailer {

namespace {

// Replaces the "%1" of a file-error form with the path.
std::string WithPath(const char* form, const std::string& path) {
  std::string text = form;
  const size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

}  // namespace

namespace {

// The reply table; null for a code it lacks.
const char* TableText(int code) {
  switch (code) {
    case 211: return "System status or system help reply";
    case 214: return "Help Message";
    case 220: return "Service is ready";
    case 221: return "Service closing transmission channel";
    case 250: return "Requested mail action okay, completed";
    case 251: return "User not local: will forward to forward path";
    case 354: return "Start mail input; end with <CRLF>.<CRLF>";
    case 421: return "Service not available; closing transmission channel";
    case 450: return "Requested mail action not taken: mailbox unavailable (busy)";
    case 500: return "Syntax error; command unrecognized";
    case 501: return "Syntax error in parameters or arguments";
    case 502: return "Command not implemented";
    case 503: return "Bad sequence of commands";
    case 504: return "Command parameter not implemented";
    case 550: return "Requested action not taken: mailbox unavailable (not found or no access)";
    case 551: return "User not local; please try forward path";
    case 552: return "Requested mail action aborted; exceeded storage allocation limit";
    case 553:
      return "Requested mail action not taken; mailbox name not allowed (incorrect mailbox "
             "syntax)";
    case 554: return "Transaction failed";
  }
  return nullptr;
}

// A code as SMTP defines them: 2 to 5, then 0 to 5, then any digit.
bool WellFormedCode(int code) { return code >= 200 && code <= 599 && (code / 10) % 10 <= 5; }

// Most of a server's words that a message shows.
constexpr size_t kMaxServerText = 1000;

// The words of the reply lines without their "451-" or "451 " prefix, one
// line each; bytes that would steer a terminal become "?".
std::string ServerWords(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    size_t from = 0;
    if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
        std::isdigit(static_cast<unsigned char>(line[1])) &&
        std::isdigit(static_cast<unsigned char>(line[2])))
      from = line.size() > 3 && (line[3] == ' ' || line[3] == '-') ? 4 : 3;
    while (from < line.size() && line[from] == ' ') ++from;
    std::string words;
    for (size_t i = from; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      words += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
    }
    while (!words.empty() && words.back() == ' ') words.pop_back();
    if (words.empty()) continue;
    if (!text.empty()) text += '\n';
    text += words;
    if (text.size() > kMaxServerText) {
      text.resize(kMaxServerText);
      text += "...";
      break;
    }
  }
  return text;
}

}  // namespace

std::string SmtpReplyText(int code) {
  if (const char* text = TableText(code)) return text;
  char text[80];
  std::snprintf(text, sizeof text, "%d: Not a valid error number for SMTP protocol", code);
  return text;
}

std::string SmtpReplyText(int code, const std::vector<std::string>& lines) {
  if (TableText(code) || !WellFormedCode(code)) return SmtpReplyText(code);
  const std::string words = ServerWords(lines);
  if (words.empty()) return SmtpReplyText(code);
  return std::to_string(code) + ": " + words;
}

std::string NoReplyText(int timeoutMs) {
  const int seconds = (timeoutMs + 999) / 1000;
  return "No reply from server within " + std::to_string(seconds) +
         (seconds == 1 ? " second" : " seconds");
}

std::string CommandLineTooLongText(size_t limit) {
  return "The command line is longer than " + std::to_string(limit) +
         " characters; nothing was sent";
}

std::string LineBreakInValueText() {
  return "A command-line value contains a line break; nothing was sent";
}

std::string BadPortText(const std::string& host) {
  return "Invalid port in SMTP host \"" + host + "\" (use host or host:port, port 1 to 65535)";
}

std::string LineTooLongText(const std::string& path, size_t lineNumber, size_t limit) {
  return "Line " + std::to_string(lineNumber) + " of " + path + " is longer than " +
         std::to_string(limit) + " characters; the report was not sent";
}

std::string CommandTooLongText(const std::string& what, size_t limit) {
  return what + " command longer than " + std::to_string(limit) + " characters refused";
}

std::string FileErrorText(int err, const std::string& path) {
  switch (err) {
    case ENOENT: return WithPath("%1 was not found.", path);
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return WithPath("%1 contains an invalid path.", path);
    case EACCES:
    case EPERM:
    case EISDIR: return WithPath("Access to %1 was denied.", path);
    case EMFILE:
    case ENFILE:
      return WithPath("%1 could not be opened because there are too many open files.", path);
    case EIO: return WithPath("A hardware I/O error was reported while accessing %1.", path);
  }
  return WithPath("An unexpected error occurred while accessing %1.", path);
}

}  // namespace mailer
