// courel's command line under fuzz. The first byte picks the form: even,
// the rest is the single-string form; odd, the rest split at NUL bytes is
// the argument vector.
#include <string>
#include <vector>

#include "mailer/command_line.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"

TARN_FUZZ_TARGET(courel_command_line) {
  tarn::fuzz::Input in(data, size);
  const bool separate = in.Byte() & 1;
  const std::string_view rest = in.Rest();
  mailer::MailSettings settings;
  std::string error;
  bool ok;
  std::string joined;
  if (separate) {
    const std::vector<std::string> args = tarn::fuzz::SplitAtNul(rest);
    joined = mailer::JoinArguments(args);
    ok = mailer::ParseArguments(args, &settings, &error);
  } else {
    joined = std::string(rest);
    ok = mailer::ParseCommandLine(joined, &settings, &error);
  }
  if (!ok) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  // What is taken fits the original buffer, holds no line break, and names
  // a host whose port can be used.
  FUZZ_CHECK(joined.size() <= mailer::kMaxCommandLine);
  for (const std::string* value :
       {&settings.host, &settings.sender, &settings.receiver, &settings.reportPath}) {
    FUZZ_CHECK(value->find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(value->size() <= joined.size());
  }
  std::string name;
  uint16_t port = 0;
  FUZZ_CHECK(mailer::SplitHostPort(settings.host, &name, &port));
  FUZZ_CHECK(port != 0);
  return 0;
}
