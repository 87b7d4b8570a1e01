#include "client/session/run_command_line.h"

namespace tarn {

namespace {

void DropOneTrailingBlank(std::string* s) {
  if (!s->empty() && s->back() == ' ') s->pop_back();
}

RunCommandLine FromValues(std::vector<std::string> values) {
  RunCommandLine line;
  std::string* const slots[] = {&line.scheduleFile, &line.smtpHost, &line.sender, &line.receiver};
  for (size_t i = 0; i < values.size() && i < 4; ++i) {
    DropOneTrailingBlank(&values[i]);
    *slots[i] = std::move(values[i]);
    ++line.tokens;
  }
  return line;
}

}  // namespace

RunCommandLine ParseRunCommandLine(const std::string& text) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pieces.size() < 4) {
    pos = text.find_first_not_of('-', pos);
    if (pos == std::string::npos) break;
    size_t end = text.find('-', pos);
    if (end == std::string::npos) end = text.size();
    pieces.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return FromValues(std::move(pieces));
}

RunCommandLine ParseRunArguments(const std::vector<std::string>& args) {
  std::string joined;
  for (size_t i = 0; i < args.size(); ++i) joined += (i ? " " : "") + args[i];
  if (args.empty()) return RunCommandLine{};
  if (args.size() == 1 && args[0].find(" -") != std::string::npos)
    return ParseRunCommandLine(joined);

  std::vector<std::string> values;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.empty() || a[0] != '-') return ParseRunCommandLine(joined);
    const size_t start = a.find_first_not_of('-');
    if (start != std::string::npos) {
      values.push_back(a.substr(start));
    } else if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
      // "-" then the value, as a shell user may type it.
      values.push_back(args[++i]);
    }
  }
  return FromValues(std::move(values));
}

std::string RunLogPath(const std::string& scheduleFile) {
  const size_t slash = scheduleFile.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = scheduleFile.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return scheduleFile + ".log";
  return scheduleFile.substr(0, dot + 1) + "log";
}

}  // namespace tarn
