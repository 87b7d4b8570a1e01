// The command line of an unattended run, and the run log's path. (The
// window title the scheduler posts its stop message to is
// platform::ScheduledSessionTitle, shared with the scheduler.)
//
//   tarn -/var/q/night.tsc -mail.example.org:25 -ops@example.org -admin@example.org
//
// The scheduler passes each value as an argument of its own, so paths with
// blanks or hyphens arrive whole; the single-string form (every value
// introduced by "-" in one text) still parses by the original rules.
#pragma once

#include <string>
#include <vector>

namespace tarn {

struct RunCommandLine {
  std::string scheduleFile;   // token 1; "" when the command line names none
  std::string smtpHost;       // tokens 2 to 4, handed to the mailer unchanged
  std::string sender;
  std::string receiver;
  int tokens = 0;             // how many of the four were present

  // All four present: the run writes a log and has it mailed.
  bool Logging() const { return tokens >= 4; }
  bool operator==(const RunCommandLine&) const = default;
};

// ParseRunCommandLine: the single-string form. The text is split at every
// "-" (a run of "-" is one separator, leading ones are skipped, empty
// pieces do not count); one trailing blank is removed from each of the
// first four pieces; the rest is ignored.
//   "-/q/night.tsc -mail -me -you"  -> "/q/night.tsc", "mail", "me", "you"
// A value can therefore hold no "-".
RunCommandLine ParseRunCommandLine(const std::string& text);

// ParseRunArguments: the arguments after the program name. When each
// argument begins with "-" (or is a lone "-" followed by its value), each
// argument is one value, whole: its leading "-" run and one trailing blank
// removed. A single argument holding " -" is the single-string form passed
// as one text; so is any other shape (the arguments joined by blanks).
RunCommandLine ParseRunArguments(const std::vector<std::string>& args);

// The run log beside the schedule file: the file name's extension replaced
// by "log", or ".log" appended when the name has none.
//   /var/q/night.tsc -> /var/q/night.log      /var/q/night -> /var/q/night.log
// Only a "." in the file name counts: "/var/q.d/night" gives
// "/var/q.d/night.log", never a file in another folder.
std::string RunLogPath(const std::string& scheduleFile);

}  // namespace tarn
