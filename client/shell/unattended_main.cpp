#include "client/shell/unattended_main.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QSocketNotifier>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "client/session/client_startup.h"
#include "client/session/password.h"
#include "client/session/queue_file.h"
#include "client/session/run_command_line.h"
#include "client/session/run_headless.h"
#include "client/session/session_store.h"
#include "client/shell/client_root.h"
#include "client/shell/display_check.h"
#include "client/shell/queue_window.h"
#include "client/shell/unattended_run.h"
#include "platform/paths.h"

namespace tarn::shell {

namespace {

// Qt's own options that take a value, and those that stand alone.
constexpr const char* kQtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger", "style",
    "stylesheet", "session", "display", "geometry", "qwindowgeometry", "qwindowicon", "icon",
    "qwindowtitle", "title", "name", "visual", "ncols", "cmap"};
constexpr const char* kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// "-platform" or "--platform": the option's name, else "".
std::string QtOptionName(const std::string& arg) {
  const size_t dashes = arg.rfind("--", 0) == 0 ? 2 : arg.rfind('-', 0) == 0 ? 1 : 0;
  return dashes ? arg.substr(dashes) : "";
}

const char* GetEnv(const char* name) { return ::getenv(name); }

// SIGTERM, SIGINT and SIGHUP stop a windowed run as Cancel does: the
// handler writes a byte that the GUI thread reads.
int gStopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  char b = 1;
  ssize_t n = write(gStopPipe[1], &b, 1);
  (void)n;
}

// A folder of the run's own for the listings' temporary files.
std::string MakePrivateTempDir() {
  std::string buf = platform::PathJoin(platform::TempDirectory(), "tarn-XXXXXX");
  if (mkdtemp(buf.data()) == nullptr) return "";
  setenv("TMPDIR", buf.c_str(), 1);
  return buf;
}

int Headless(const RunCommandLine& line) {
  const std::string configDir = platform::ConfigDirectory();
  std::string error;
  if (!platform::MakeDirectories(configDir, 0700)) {
    std::fprintf(stderr, "tarn: cannot create the settings directory %s\n", configDir.c_str());
    return kRunFailed;
  }
  auto reg = platform::OpenSqliteRegistry(platform::PathJoin(configDir, "registry.sqlite"), &error);
  if (!reg) {
    std::fprintf(stderr, "tarn: %s\n", error.c_str());
    return kRunFailed;
  }
  AppState app;
  app.cTitle = "Tarn";
  app.locale = platform::UserLocale();
  ConnLog log;
  StartClient(*reg, &log, "", CurrentBannerFacts(), app.locale);
  app.log = &log;
  {
    HeadlessRunUi ui(stdout, stderr);
    PasswordScrambler scrambler(static_cast<int64_t>(std::time(nullptr)));
    SessionStore store(*reg, ui, scrambler);
    store.LoadAppSettings(&app.settings);
  }
  RunControl control;
  return RunHeadless(line, *reg, app, stdout, stderr, control);
}

int Windowed(int argc, char** argv) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName("tarn");
  QApplication::setOrganizationName("Tarn");
  QApplication::setWindowIcon(QIcon(":/tarn/icons/tarn.svg"));
  // Qt has taken its own options out of argv by now.
  RunCommandLine line = ParseRunArguments(RunArgumentsOf(argc, argv));

  ClientRoot root;
  std::string error;
  if (!root.Init(ClientOptions{}, &error)) {
    std::fprintf(stderr, "tarn: %s\n", error.c_str());
    return kRunFailed;
  }
  std::string path = line.scheduleFile;
  TransferQueue queue;
  const QueueLoadResult load = LoadQueueFile(&path, &queue, root.ui(), [&root](std::string* p) {
    *p = QFileDialog::getOpenFileName(&root.window(), kOpenScheduleTitle, {}, kScheduleFilter)
             .toStdString();
    return !p->empty();
  });
  const std::string notice = QueueLoadNotice(path, load);
  auto* queueWindow = new QueueWindow(root.store(), root.ui(), &root.window());
  if (!load.ok()) {
    // Nothing to run: the client goes on as a person would start it.
    if (load.status != QueueLoadStatus::kNoFile) std::fprintf(stderr, "tarn: %s\n", notice.c_str());
    root.window().ShowWithSavedPlacement();
    return qapp.exec();
  }
  line.scheduleFile = path;
  queueWindow->ShowLoaded(path, queue);
  UnattendedRun run(line, queue, root.context().registry, root.app(), notice);
  QObject::connect(&run, &UnattendedRun::finished, &qapp, [](int rc) { QApplication::exit(rc); });
  std::unique_ptr<QSocketNotifier> stopping;
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gStopPipe) == 0) {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
    stopping = std::make_unique<QSocketNotifier>(gStopPipe[0], QSocketNotifier::Read);
    QObject::connect(stopping.get(), &QSocketNotifier::activated, &run, [&run] {
      char b;
      ssize_t n = read(gStopPipe[0], &b, 1);
      (void)n;
      run.Stop();
    });
  }
  run.Start(&root.window());
  return qapp.exec();
}

}  // namespace

std::vector<std::string> RunArgumentsOf(int argc, char** argv) {
  std::vector<std::string> out;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--no-splash") continue;
    const std::string name = QtOptionName(a);
    bool qt = false;
    for (const char* o : kQtFlagOptions) qt = qt || name == o;
    if (qt) continue;
    for (const char* o : kQtValueOptions) qt = qt || name == o;
    if (qt) {
      ++i;  // and its value
      continue;
    }
    out.push_back(a);
  }
  return out;
}

bool IsRunCommandLine(int argc, char** argv) {
  // A run's values are introduced by "-" (or come as one text holding
  // " -"); "--" begins the window's own options and "-h" asks for help,
  // which are the window's to answer, as is a lone plain argument (a file
  // or URL to open).
  bool run = false;
  for (const std::string& a : RunArgumentsOf(argc, argv)) {
    if (a == "-h" || a.rfind("--", 0) == 0) return false;
    if (a.rfind('-', 0) == 0 || a.find(" -") != std::string::npos) run = true;
  }
  return run;
}

int UnattendedMain(int argc, char** argv) {
  const RunCommandLine line = ParseRunArguments(RunArgumentsOf(argc, argv));
  if (line.scheduleFile.empty()) {
    std::fprintf(stderr, "tarn: no schedule file on the command line (see --help)\n");
    return kRunUnreadableFile;
  }
  const std::string tempDir = MakePrivateTempDir();
  // Qt ends the process when its platform cannot connect: without a
  // display the run never starts Qt at all.
  const int rc = NoDisplayReason(&GetEnv).empty() ? Windowed(argc, argv) : Headless(line);
  if (!tempDir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(tempDir, ec);
  }
  return rc;
}

}  // namespace tarn::shell
