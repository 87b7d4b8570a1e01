// almanor: the Tarn Scheduling Application.
//
// With a display whose desktop has a system tray it is a tray icon with its
// dialogs; without one (cron, systemd, ssh) the same scheduler runs
// headless. The decision comes before any Qt object exists, so that a
// missing display never aborts the program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scheduler/cli/almanor_cli.h"

#ifdef ALMANOR_WITH_QT
#include "scheduler/app/main_frame.h"
#endif

namespace {

#ifdef ALMANOR_WITH_QT
bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// A tray needs a real display; "offscreen" and "minimal" have none.
bool HasDisplay() {
  if (Set("QT_QPA_PLATFORM")) {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (std::strncmp(qpa, "offscreen", 9) == 0 || std::strncmp(qpa, "minimal", 7) == 0)
      return false;
  }
  return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

int Tray(int& argc, char** argv, const std::string& listFile) {
  // A display that cannot be reached would end the program in Qt's start;
  // "offscreen" after the real platform turns that into "no tray".
  bool fallback = !Set("QT_QPA_PLATFORM");
  if (fallback)
    setenv("QT_QPA_PLATFORM", Set("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen", 1);
  int rc = sched_app::RunTray(argc, argv, listFile);
  if (fallback) unsetenv("QT_QPA_PLATFORM");  // the clients started later choose their own
  return rc;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  sched::Options opt;
  std::string error;
  if (sched::ParseOptions(args, &opt, &error) != 0) {
    std::fprintf(stderr, "almanor: %s\nTry 'almanor --help'.\n", error.c_str());
    return 2;
  }
  switch (opt.mode) {
    case sched::Mode::kHeadless: return sched::RunHeadless(opt, stderr);
    case sched::Mode::kDefault: break;
    default: return sched::RunCommand(opt, stdout, stderr);
  }
#ifdef ALMANOR_WITH_QT
  if (HasDisplay()) {
    int rc = Tray(argc, argv, opt.listFile);
    if (rc >= 0) return rc;
  }
#endif
  return sched::RunHeadless(opt, stderr);
}
