// The whole of a courel run: command line, report file, SMTP session.
#pragma once

#include <string>
#include <vector>

#include "mailer/notice.h"
#include "mailer/smtp_session.h"
#include "platform/net.h"

namespace mailer {

// Process exit status of a run.
enum ExitStatus : int {
  kExitDelivered = 0,     // the server accepted the mail and answered QUIT with 221
  kExitNotDelivered = 1,  // report unreadable, no connection, or a step failed
  kExitUsage = 2,         // the command line is incomplete or unusable
};

// Runs the mailer for the arguments after the program name (see
// command_line.h, ParseArguments):
//   1. parse the four values; a problem is shown and ends the run;
//   2. read the report; if it cannot be opened (or a line is too long) the
//      reason is shown and no connection is made; a read error part-way is
//      shown and the lines before it are mailed;
//   3. connect (greeting, HELO), MAIL, RCPT (its result does not stop the
//      run: the DATA reply decides), DATA, the header block, each report
//      line, end of data, QUIT.
// A failed step, a report line that cannot be sent among them, shows the
// session's error text and ends without QUIT. Returns
// the exit status. Blocks the calling thread for the whole run.
int RunCourel(const std::vector<std::string>& args, platform::Net& net, Notice& notice,
              int timeoutMs = kReplyTimeoutMs);

// The same for the single-string form of the command line.
inline int RunCourel(const std::string& commandLine, platform::Net& net, Notice& notice,
                     int timeoutMs = kReplyTimeoutMs) {
  return RunCourel(std::vector<std::string>{commandLine}, net, notice, timeoutMs);
}

}  // namespace mailer
