// courel: mails a report file to one receiver over SMTP and ends.
//
//   courel -HOST[:PORT] -SENDER -RECEIVER -REPORTFILE
//
// Failures are shown in a message box when there is a display, otherwise on
// standard error and in the system log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mailer/command_line.h"
#include "mailer/courel_run.h"
#include "mailer/notice.h"
#include "platform/net.h"

#ifdef COUREL_WITH_QT
#include "mailer/message_box.h"
#endif

namespace {

constexpr char kUsage[] =
    "Usage: courel -HOST[:PORT] -SENDER -RECEIVER -REPORTFILE\n"
    "\n"
    "Mails REPORTFILE, line by line, from SENDER to RECEIVER through the SMTP\n"
    "server HOST (port 25 unless PORT is given), with the subject\n"
    "\"Testing e-mail connection\".\n"
    "\n"
    "Each value is introduced by \"-\"; the values may also come as one\n"
    "argument (\"-HOST -SENDER -RECEIVER -REPORTFILE\"). A value cannot contain\n"
    "\"-\": it would split there and shift the values after it. The command line\n"
    "may hold at most 259 characters.\n"
    "\n"
    "Problems are shown in a message box when a display is available, otherwise\n"
    "on standard error and in the system log.\n"
    "\n"
    "Exit status: 0 when the server accepted the mail, 1 when it was not\n"
    "delivered, 2 when the command line is incomplete or unusable.\n"
    "\n"
    "Options (alone on the command line):\n"
    "  --help      this text\n"
    "  --version   the version\n";

#ifdef COUREL_WITH_QT
bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// A person can see a box only on a real display; "offscreen" and "minimal"
// would leave the box waiting for nobody.
bool HasDisplay() {
  if (Set("QT_QPA_PLATFORM")) {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    return std::strncmp(qpa, "offscreen", 9) != 0 && std::strncmp(qpa, "minimal", 7) != 0;
  }
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("courel %s\n", TARN_VERSION);
    return 0;
  }
  platform::Net net;
#ifdef COUREL_WITH_QT
  if (HasDisplay()) {
    mailer::MessageBoxNotice box(argc, argv);
    return mailer::RunCourel(args, net, box);
  }
#endif
  mailer::ConsoleNotice console;
  return mailer::RunCourel(args, net, console);
}
