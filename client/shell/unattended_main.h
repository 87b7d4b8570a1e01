// The unattended form of the tarn program: a schedule file on the command
// line, as the scheduler and "&Transfer Current Queue" start it.
//
//   tarn -/var/q/night.tsc -mail.example.org:25 -ops@example.org -admin@example.org
//
// Whether a display can be used is decided before any QApplication
// exists: without one (cron, systemd, ssh) the run goes headless
// (RunHeadless: status lines on standard output); with one, the main
// window is minimised under the run's title and "Tarn Queue Status" shows
// the run. Either way the exit status is the run's RunExit: 0 all
// transferred, 1 a transfer or connection failed, 2 the schedule file
// cannot be read, 3 stopped.
#pragma once

#include <string>
#include <vector>

namespace tarn::shell {

// The arguments after the program name without tarn's own options and
// Qt's ("-platform offscreen", "-style fusion", ...), which a run never
// takes for its values.
std::vector<std::string> RunArgumentsOf(int argc, char** argv);

// True when the command line is a run's: after RunArgumentsOf, some
// argument begins with "-" (or holds " -", the single-string form), and
// none is "-h" or begins with "--" (the window's own options). A lone
// plain argument is no run: the window opens it.
bool IsRunCommandLine(int argc, char** argv);

// The run, from main(). Returns the process's exit status.
int UnattendedMain(int argc, char** argv);

}  // namespace tarn::shell
