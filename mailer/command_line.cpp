#include "mailer/command_line.h"

#include "mailer/messages.h"

namespace mailer {

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) text += ' ';
    text += args[i];
  }
  return text;
}

bool ParseCommandLine(const std::string& text, MailSettings* out, std::string* error) {
  if (text.size() > kMaxCommandLine) {
    *error = CommandLineTooLongText(kMaxCommandLine);
    return false;
  }
  if (text.find_first_of("\r\n") != std::string::npos) {
    *error = LineBreakInValueText();
    return false;
  }

  std::string* const slots[] = {&out->host, &out->sender, &out->receiver, &out->reportPath};
  const char* const missing[] = {kNoHost, kNoSender, kNoReceiver, kNoReport};
  size_t pos = 0;
  for (size_t i = 0; i < 4; ++i) {
    pos = text.find_first_not_of('-', pos);
    if (pos == std::string::npos) {
      *error = missing[i];
      return false;
    }
    size_t end = text.find('-', pos);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(pos, end - pos);
    if (!piece.empty() && piece.back() == ' ') piece.pop_back();  // one blank only
    *slots[i] = std::move(piece);
    pos = end;
  }

  std::string name;
  uint16_t port = 0;
  if (!SplitHostPort(out->host, &name, &port)) {
    *error = BadPortText(out->host);
    return false;
  }
  return true;
}

bool ParseArguments(const std::vector<std::string>& args, MailSettings* out, std::string* error) {
  bool separate = args.size() >= 2;
  for (const auto& a : args) separate = separate && !a.empty() && a[0] == '-';
  const std::string joined = JoinArguments(args);
  if (!separate) return ParseCommandLine(joined, out, error);
  if (joined.size() > kMaxCommandLine) {
    *error = CommandLineTooLongText(kMaxCommandLine);
    return false;
  }
  if (joined.find_first_of("\r\n") != std::string::npos) {
    *error = LineBreakInValueText();
    return false;
  }
  std::string* const slots[] = {&out->host, &out->sender, &out->receiver, &out->reportPath};
  const char* const missing[] = {kNoHost, kNoSender, kNoReceiver, kNoReport};
  for (size_t i = 0; i < 4; ++i) {
    std::string piece;
    if (i < args.size()) {
      size_t start = args[i].find_first_not_of('-');
      if (start != std::string::npos) piece = args[i].substr(start);
      if (!piece.empty() && piece.back() == ' ') piece.pop_back();  // one blank only
    }
    if (piece.empty()) {
      *error = missing[i];
      return false;
    }
    *slots[i] = std::move(piece);
  }
  std::string name;
  uint16_t port = 0;
  if (!SplitHostPort(out->host, &name, &port)) {
    *error = BadPortText(out->host);
    return false;
  }
  return true;
}

bool SplitHostPort(const std::string& host, std::string* name, uint16_t* port) {
  const size_t colon = host.rfind(':');
  if (colon == std::string::npos) {
    *name = host;
    *port = kDefaultSmtpPort;
    return true;
  }
  const std::string digits = host.substr(colon + 1);
  if (colon == 0 || digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long value = std::stoul(digits);
  if (value < 1 || value > 65535) return false;
  *name = host.substr(0, colon);
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace mailer
