// tarn: the FTP client's window.
//
//   tarn [--no-splash]
//   tarn -SCHEDULE.tsc [-SMTPHOST -SENDER -RECEIVER]
//   tarn --help | --version
//
// The process entry: it decides whether a window can be shown at all
// before Qt starts, gives the process a private temporary folder, builds
// the composition root (client_root.h), shows the window and the splash,
// and removes the temporary folder at the end.

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "client/shell/client_root.h"
#include "client/shell/display_check.h"
#include "client/shell/help_window.h"
#include "client/shell/open_argument.h"
#include "client/shell/queue_window.h"
#include "client/shell/splash.h"
#include "client/shell/unattended_main.h"
#include "platform/paths.h"

namespace {

constexpr const char* kUsage =
    "usage: tarn [--no-splash] [ftp://[USER@]HOST[:PORT][/PATH] | FILE.tsc]\n"
    "       tarn -SCHEDULE.tsc [-SMTPHOST -SENDER -RECEIVER]\n"
    "       tarn --help | --version\n"
    "\n"
    "The FTP and FTPS client's window. Sessions and settings live in\n"
    "$TARN_CONFIG_DIR (default ~/.config/tarn); the connection log Tarn.log is\n"
    "written in the current directory. Without a display, use tarn-cli.\n"
    "\n"
    "With a URL (ftp://, or ftpes:// and ftps:// for explicit TLS) the window\n"
    "connects to that host; with a schedule file it shows the file in the queue\n"
    "panel, to be run from the Queue menu.\n"
    "\n"
    "With a schedule file, tarn runs its transfers unattended (minimised, or\n"
    "without any window when there is no display), writes SCHEDULE.log and has\n"
    "it mailed when the three mail values follow. Exit status: 0 all transferred,\n"
    "1 a transfer or connection failed, 2 the file cannot be read, 3 stopped.\n"
    "\n"
    "Options:\n"
    "  --no-splash   start without the start-up picture\n"
    "  --version     the version\n"
    "  -h, --help    this text\n";

const char* GetEnv(const char* name) { return ::getenv(name); }

// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl-C in the terminal) end the
// program as Exit does: the handler only writes a byte that the GUI
// thread reads.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  char b = 1;
  ssize_t n = write(gSignalPipe[1], &b, 1);
  (void)n;
}

void CatchEndSignals() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

// A folder of this process's own for the listings' temporary files, so
// that two clients never share one and nothing stays behind.
std::string MakePrivateTempDir() {
  std::string pattern = platform::PathJoin(platform::TempDirectory(), "tarn-XXXXXX");
  std::string buf = pattern;
  if (mkdtemp(buf.data()) == nullptr) return "";
  setenv("TMPDIR", buf.c_str(), 1);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  // One plain argument is a person's: a host to connect to or a schedule
  // file for the queue panel. The unattended run's form begins with "-".
  const tarn::shell::OpenRequest open =
      tarn::shell::OpenRequestOf(tarn::shell::RunArgumentsOf(argc, argv));
  if (open.kind == tarn::shell::OpenRequest::Kind::kNone && tarn::shell::IsRunCommandLine(argc, argv))
    return tarn::shell::UnattendedMain(argc, argv);
  bool splash = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("tarn %s\n", TARN_VERSION);
      return 0;
    }
    if (a == "--no-splash") {
      splash = false;
      continue;
    }
    if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "tarn: unknown option %s (see --help)\n", a.c_str());
      return 2;
    }
    // The URL or schedule file opened below (or a word beside --help).
  }
  std::string noDisplay = tarn::shell::NoDisplayReason(&GetEnv);
  if (!noDisplay.empty()) {
    std::fprintf(stderr, "tarn: %s; for FTP without a window use tarn-cli (tarn-cli --help)\n",
                 noDisplay.c_str());
    return 1;
  }

  const std::string tempDir = MakePrivateTempDir();
  int rc = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName("tarn");
    QApplication::setApplicationVersion(TARN_VERSION);
    QApplication::setOrganizationName("Tarn");
    QApplication::setWindowIcon(QIcon(":/tarn/icons/tarn.svg"));

    tarn::shell::ClientRoot root;
    tarn::shell::ClientOptions options;
    std::string error;
    if (!root.Init(options, &error)) {
      std::fprintf(stderr, "tarn: %s\n", error.c_str());
      rc = 1;
    } else {
      QObject::connect(&root.window(), &tarn::shell::MainWindow::shutDownFinished, &app,
                       &QCoreApplication::quit, Qt::QueuedConnection);
      CatchEndSignals();
      std::unique_ptr<QSocketNotifier> ending;
      if (gSignalPipe[0] >= 0) {
        ending = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(ending.get(), &QSocketNotifier::activated, &root.window(), [&root] {
          char b;
          ssize_t n = read(gSignalPipe[0], &b, 1);
          (void)n;
          root.window().Shutdown();
        });
      }
      new tarn::shell::QueueWindow(root.store(), root.ui(), &root.window());  // the window owns it
      root.window().ShowWithSavedPlacement();
      std::unique_ptr<tarn::shell::Splash> picture;
      if (splash && !root.app().settings.bDisableSplash) {
        picture = std::make_unique<tarn::shell::Splash>();
        picture->Start();
      }
      tarn::shell::OpenAtStart(root.window(), root.ui(), open);
      rc = app.exec();
    }
  }
  if (!tempDir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(tempDir, ec);
  }
  return rc;
}
