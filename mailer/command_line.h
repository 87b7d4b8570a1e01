// courel's command line: four values, each introduced by "-", in the order
// SMTP host, sender, receiver, report file.
//
//   -mail.example.org -me@example.org -you@example.org -/var/tmp/queue.log
//
// On Linux the values arrive as separate arguments, each whole: a report
// path such as "/var/tmp/my-queue.log" keeps its hyphen. The single-string
// form ("-host -me -you -file" as one argument, as a Windows caller writes
// it) still goes through the splitting rules below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mailer {

// The joined command line keeps to the 260-byte buffer of the original
// program: at most 259 characters. Longer text is refused, never cut.
inline constexpr size_t kMaxCommandLine = 259;

inline constexpr uint16_t kDefaultSmtpPort = 25;

// The four values, kept for the whole run.
struct MailSettings {
  std::string host;        // "name" or "name:port"
  std::string sender;
  std::string receiver;
  std::string reportPath;

  bool operator==(const MailSettings&) const = default;
};

// Joins the arguments after the program name with one blank each, which is
// the single-string form those arguments stand for:
//   {"-a", "-b c", "-d"} -> "-a -b c -d"
std::string JoinArguments(const std::vector<std::string>& args);

// Splits `text` at "-" (a run of "-" is one split, leading "-" skipped), takes
// the first four pieces and drops one trailing blank from each:
//   "-host -me@x -you@x -r.log"  -> host "host", sender "me@x", ...
//   "-my-host -me -you -r.log"   -> host "my", sender "host", receiver "me"
// A value can therefore not contain "-". Pieces after the fourth are ignored.
// On failure returns false and sets `*error` to the text to show: the message
// for the first missing value, or one for text that is too long, holds a line
// break, or gives a host with a bad port.
bool ParseCommandLine(const std::string& text, MailSettings* out, std::string* error);

// ParseArguments: the arguments after the program name. Two or more
// arguments that each begin with "-" are the separate form: each value is
// its argument without the leading "-" run and without one trailing blank.
// Anything else is joined (JoinArguments) and split by ParseCommandLine.
// Errors as ParseCommandLine's.
bool ParseArguments(const std::vector<std::string>& args, MailSettings* out, std::string* error);

// Splits "name:port" at its last ":"; a host without ":" gets port 25.
// False when the port is not a number from 1 to 65535 or nothing stands
// before the ":".
bool SplitHostPort(const std::string& host, std::string* name, uint16_t* port);

}  // namespace mailer
