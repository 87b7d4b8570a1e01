#include "client/cli/console_ui.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <termios.h>
#include <unistd.h>

namespace tarn::cli {

namespace {

// Box texts use CR (and CR LF) as line breaks; a console wants LF.
std::string ConsoleText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string FormatAmount(double bytes) {
  char text[32];
  if (!(bytes >= 0)) bytes = 0;
  // The unit steps up once the one-decimal figure would reach 1000.
  if (bytes < 1000) std::snprintf(text, sizeof text, "%.0f B", bytes);
  else if (bytes < 999950) std::snprintf(text, sizeof text, "%.1f KB", bytes / 1e3);
  else if (bytes < 999950000) std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else std::snprintf(text, sizeof text, "%.2f GB", bytes / 1e9);
  return text;
}

ConsoleUi::ConsoleUi(std::FILE* err, std::FILE* tty, bool verbose)
    : err_(err), tty_(tty), verbose_(verbose) {}

BoxResult ConsoleUi::MessageBox(const std::string& text, const std::string& caption,
                                BoxButtons buttons, BoxIcon) {
  lastBox_ = ConsoleText(text);
  ++boxCount_;
  if (buttons == BoxButtons::kOk) {
    std::fprintf(err_, "%s: %s\n", caption.c_str(), lastBox_.c_str());
    return BoxResult::kOk;
  }
  std::string answer;
  std::string question = caption + ": " + lastBox_ + " [y/N] ";
  if (AskLine(question, false, &answer) && !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y'))
    return BoxResult::kYes;
  if (!tty_) std::fprintf(err_, "%s: %s (answered No)\n", caption.c_str(), lastBox_.c_str());
  return buttons == BoxButtons::kOkCancel ? BoxResult::kCancel : BoxResult::kNo;
}

void ConsoleUi::SetStatusText(int, const std::string& text) {
  if (verbose_ && text != " " && !text.empty()) std::fprintf(err_, "-- %s\n", text.c_str());
}

bool ConsoleUi::AskLine(const std::string& question, bool masked, std::string* answer) {
  if (!tty_) return false;
  int fd = fileno(tty_);
  std::fputs(question.c_str(), tty_);
  std::fflush(tty_);
  termios old{};
  bool restore = false;
  if (masked && tcgetattr(fd, &old) == 0) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    restore = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
  }
  char buf[512];
  bool ok = std::fgets(buf, sizeof buf, tty_) != nullptr;
  if (restore) {
    tcsetattr(fd, TCSAFLUSH, &old);
    std::fputs("\n", tty_);
  }
  if (!ok) return false;
  std::string s = buf;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  *answer = s;
  return true;
}

std::optional<std::string> EnvironmentSecret(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

bool ConsoleUi::PromptLogon(LogonPrompt* p) {
  const std::optional<std::string> envPassword = EnvironmentSecret(kPasswordVariable);
  if (p->focusUser || p->userName.empty()) {
    std::string user;
    if (!AskLine("User name for " + p->sessionName + ": ", false, &user)) {
      if (p->userName.empty()) {
        std::fprintf(err_, "%s\n", "User name not entered");
        return false;
      }
    } else {
      p->userName = user;
    }
    if (p->userName.empty()) {
      std::fprintf(err_, "%s\n", "User name not entered");
      return false;
    }
  }
  if (envPassword) {
    p->password = *envPassword;
    return true;
  }
  std::string pass;
  if (!AskLine("Password for " + p->userName + "@" + p->sessionName + ": ", true, &pass) ||
      pass.empty()) {
    std::fprintf(err_, "%s\n", "Password not entered");
    return false;
  }
  p->password = pass;
  return true;
}

bool ConsoleUi::PromptText(const std::string& caption, const std::string& label, bool masked,
                           std::string* value) {
  std::string answer;
  if (!AskLine(caption + " - " + label + ": ", masked, &answer)) return false;
  *value = answer;
  return true;
}

void ConsoleUi::BeginTransfer() {
  inTransfer_ = true;
  barDrawn_ = false;
  lastLine_ = -1;
}

void ConsoleUi::EndTransfer() {
  if (barDrawn_) std::fputc('\n', err_);
  inTransfer_ = false;
  barDrawn_ = false;
}

void ConsoleUi::SetTransferFields(const TransferFields& f) {
  const std::string amount = FormatAmount(static_cast<double>(f.shownBytes));
  const std::string rate =
      FormatAmount(f.seconds > 0 ? static_cast<double>(f.bytes) / f.seconds : 0) + "/s";
  const bool known = f.expected > 0;
  const double fraction = known ? std::min(1.0, static_cast<double>(f.bytes) / static_cast<double>(f.expected)) : 0;
  std::string eta = f.done ? "done in " + f.timeLeft : (f.timeLeft == "  " || f.timeLeft.empty() ? "" : "ETA " + f.timeLeft);
  if (isatty(fileno(err_))) {
    char bar[31];
    int filled = known ? static_cast<int>(fraction * 30) : 0;
    for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
    bar[30] = 0;
    if (known)
      std::fprintf(err_, "\r%3d%% [%s] %10s %12s %-16s", static_cast<int>(fraction * 100), bar,
                   amount.c_str(), rate.c_str(), eta.c_str());
    else
      std::fprintf(err_, "\r%10s %12s %-16s", amount.c_str(), rate.c_str(), eta.c_str());
    std::fflush(err_);
    barDrawn_ = true;
    return;
  }
  if (!f.done && lastLine_ >= 0 && f.seconds - lastLine_ < 1.0) return;
  lastLine_ = f.seconds;
  std::fprintf(err_, "%s %s, %s%s%s\n", f.done ? "transferred" : "progress", amount.c_str(),
               rate.c_str(), eta.empty() ? "" : ", ", eta.c_str());
}

}  // namespace tarn::cli
