// tarn-cli: a scripting console over the client's engine.
//
//   tarn-cli [options] COMMAND [ARGS...] [\; COMMAND ...]
//   tarn-cli [options] -f SCRIPT
//   tarn-cli [options] < SCRIPT
//
// The composition root: it owns the registry, the application state, the
// connection log and the person's console, and hands them to the console.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/cli/console.h"
#include "client/cli/console_ui.h"
#include "client/session/client_startup.h"
#include "client/session/connection_log.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

constexpr const char* kUsage =
    "usage: tarn-cli [options] COMMAND [ARGS...] [\\; COMMAND [ARGS...]]...\n"
    "       tarn-cli [options] -f SCRIPT      (one command per line; - reads standard input)\n"
    "       tarn-cli [options]                (commands from standard input)\n"
    "\n"
    "Options:\n"
    "  -v, --verbose       show the protocol transcript and status on standard error\n"
    "  --log FILE          write the connection log to FILE instead of ./Tarn.log\n"
    "  -f, --file FILE     read commands from FILE\n"
    "  --timeout SECONDS   longest wait for the server (default 65)\n"
    "  --keep-going        run every command even after one failed\n"
    "  --passive, --active data connections by PASV or PORT (default: the PASV setting)\n"
    "  --type ascii|binary|auto   transfer type (default: the session's)\n"
    "  --resume            get continues a partial local file\n"
    "  --no-progress       no progress display\n"
    "  --locale C          fixed number and date formats (for scripts and tests)\n"
    "\n"
    "TLS (for ftpes:// and stored sessions with SSLUse; they replace the stored values):\n"
    "  --tls-partial       encrypt commands only (PROT C); data connections in clear\n"
    "  --accept-expired    accept an expired server certificate\n"
    "  --accept-self-signed  accept a self-signed server certificate or chain\n"
    "  --accept-future     accept a server certificate that is not yet valid\n"
    "  --accept-invalid    accept any other certificate failure (unknown CA, wrong host name)\n"
    "  --cert FILE         client certificate and key (PEM); key password from TARN_CERT_PASSWORD\n"
    "  --cipher-strength N 0 no encryption, 1 weak, 2 medium, 3 strong (ftpes:// default 3)\n"
    "  --version           the version\n"
    "  -h, --help          this text\n"
    "\n"
    "Passwords come from the stored session, from TARN_PASSWORD, or from a prompt on\n"
    "the terminal. Settings live in $TARN_CONFIG_DIR (default ~/.config/tarn).\n"
    "The connection log Tarn.log in the current directory is replaced at every start;\n"
    "it holds the transcript (passwords masked) while the DebugLog setting is YES.\n"
    "The exit status is 0 only when every command succeeded.\n\n";

using tarn::cli::ConsoleOptions;

// Writes "tarn-cli: <text>" to standard error; returns false.
bool Refuse(const std::string& text) {
  std::fprintf(stderr, "tarn-cli: %s\n", text.c_str());
  return false;
}

// One option of the command line: its names, whether a value follows, and
// what it does to the options (false after saying why).
struct CliOption {
  const char* name;
  const char* alias;  // null: none
  bool takesValue;
  bool (*apply)(const std::string& value, ConsoleOptions* o);
};

constexpr CliOption kOptionTable[] = {
    {"--verbose", "-v", false, [](const std::string&, ConsoleOptions* o) { return o->verbose = true; }},
    {"--keep-going", nullptr, false,
     [](const std::string&, ConsoleOptions* o) { return o->keepGoing = true; }},
    {"--passive", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->passive = 1;
       return true;
     }},
    {"--active", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->passive = 0;
       return true;
     }},
    {"--resume", nullptr, false, [](const std::string&, ConsoleOptions* o) { return o->resume = true; }},
    {"--locale", nullptr, true, [](const std::string& v, ConsoleOptions* o) {
       if (v != "C") return Refuse("--locale takes C (the pinned formats)");
       return o->pinnedLocale = true;
     }},
    {"--no-progress", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->progress = false;
       return true;
     }},
    {"--tls-partial", nullptr, false,
     [](const std::string&, ConsoleOptions* o) { return o->tlsPartial = true; }},
    {"--accept-expired", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->tlsAccept |= tarn::kSslExpired;
       return true;
     }},
    {"--accept-self-signed", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->tlsAccept |= tarn::kSslSelf;
       return true;
     }},
    {"--accept-future", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->tlsAccept |= tarn::kSslFuture;
       return true;
     }},
    {"--accept-invalid", nullptr, false, [](const std::string&, ConsoleOptions* o) {
       o->tlsAccept |= tarn::kSslInvalid;
       return true;
     }},
    {"--cert", nullptr, true, [](const std::string& v, ConsoleOptions* o) {
       o->certFile = v;
       return true;
     }},
    {"--cipher-strength", nullptr, true, [](const std::string& v, ConsoleOptions* o) {
       if (v.size() != 1 || v[0] < '0' || v[0] > '3') return Refuse("--cipher-strength takes 0, 1, 2 or 3");
       o->cipherStrength = v[0] - '0';
       return true;
     }},
    {"--type", nullptr, true, [](const std::string& v, ConsoleOptions* o) {
       if (v == "ascii") o->type = 'A';
       else if (v == "binary") o->type = 'I';
       else if (v == "auto") o->type = 'X';
       else return Refuse("--type takes ascii, binary or auto");
       return true;
     }},
    {"--log", nullptr, true, [](const std::string& v, ConsoleOptions* o) {
       o->logFile = v;
       return true;
     }},
    {"--file", "-f", true, [](const std::string& v, ConsoleOptions* o) {
       o->scriptFile = v;
       return true;
     }},
    {"--timeout", nullptr, true, [](const std::string& v, ConsoleOptions* o) {
       char* end = nullptr;
       long s = std::strtol(v.c_str(), &end, 10);
       if (v.empty() || *end || s < 1 || s > 3600) return Refuse("--timeout takes 1 to 3600 seconds");
       o->replyTimeoutMs = static_cast<int>(s * 1000);
       return true;
     }},
};

const CliOption* FindOption(const std::string& word) {
  for (const CliOption& option : kOptionTable)
    if (word == option.name || (option.alias && word == option.alias)) return &option;
  return nullptr;
}

// Returns 0 to go on, else the exit status (1 for bad usage, -1 for help, -2 for the version).
// Options come first; the first other word starts the commands, which
// "\;" (an argument of its own) separates.
int ParseArgs(int argc, char** argv, ConsoleOptions* o) {
  std::vector<std::string> cur;
  bool inCommands = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!inCommands && !a.empty() && a[0] == '-' && a != "-") {
      if (a == "-h" || a == "--help") return -1;
      if (a == "--version") return -2;
      const CliOption* option = FindOption(a);
      if (!option) {
        Refuse("unknown option " + a + " (see --help)");
        return 1;
      }
      std::string value;
      if (option->takesValue) {
        if (i + 1 >= argc) {
          Refuse(a + " needs a value");
          return 1;
        }
        value = argv[++i];
      }
      if (!option->apply(value, o)) return 1;
      continue;
    }
    inCommands = true;
    if (a == ";") {
      if (!cur.empty()) o->commands.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(a);
    }
  }
  if (!cur.empty()) o->commands.push_back(cur);
  return 0;
}

// The settings registry in the settings directory; null after saying why.
std::unique_ptr<platform::Registry> OpenSettings() {
  std::string configDir = platform::ConfigDirectory();
  if (!platform::MakeDirectories(configDir, 0700)) {
    Refuse("cannot create the settings directory " + configDir);
    return nullptr;
  }
  std::string error;
  auto reg = platform::OpenSqliteRegistry(platform::PathJoin(configDir, "registry.sqlite"), &error);
  if (!reg) Refuse(error);
  return reg;
}

// As the window's start-up: stored passwords of an older release are
// converted before anything reads a session, and the connection log
// ("Tarn.log" here, or the --log file) starts with its banner; the
// application settings follow. A Tarn.log that cannot be made leaves the
// run without a log, as in the window; a --log file the person named is
// reported (false).
bool StartUp(platform::Registry& reg, tarn::cli::ConsoleUi& ui, const ConsoleOptions& opt,
             tarn::AppState* app, tarn::ConnLog* log) {
  if (!tarn::StartClient(reg, log, opt.logFile, tarn::CurrentBannerFacts(), app->locale) &&
      !opt.logFile.empty())
    return Refuse("cannot create the log file " + opt.logFile);
  {
    tarn::PasswordScrambler scrambler(static_cast<int64_t>(std::time(nullptr)));
    tarn::SessionStore store(reg, ui, scrambler);
    store.LoadAppSettings(&app->settings);
  }
  if (opt.verbose) {
    log->SetMirror(stderr);
    app->settings.bDebugLog = true;
  }
  if (opt.passive >= 0) app->settings.bPassive = opt.passive;
  return true;
}

// Ctrl-C cancels the running command (the server gets ABOR); a second
// one ends the program. The signal is taken by a thread of its own, so
// no handler touches shared state; SIGINT is blocked in every thread.
void TakeCtrlC(tarn::cli::Console& console) {
  std::thread([&console] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    int count = 0;
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      if (++count > 1) _exit(130);
      std::fputs("\ntarn-cli: cancelling (Ctrl-C again to quit)\n", stderr);
      console.Abort();
    }
  }).detach();
}

// Runs the commands of the command line, else those of the script (one a
// line; "-" or none: standard input), stopping at the first that fails
// unless --keep-going. The exit status.
int RunCommands(tarn::cli::Console& console, const ConsoleOptions& opt) {
  bool allOk = true;
  auto run = [&](const std::vector<std::string>& words) {
    bool ok = console.Run(words);
    std::fflush(stdout);
    allOk = allOk && ok;
    return ok || opt.keepGoing;
  };

  if (!opt.commands.empty()) {
    for (const auto& words : opt.commands)
      if (!run(words)) break;
    return allOk ? 0 : 1;
  }
  std::ifstream file;
  std::istream* in = &std::cin;
  if (!opt.scriptFile.empty() && opt.scriptFile != "-") {
    file.open(opt.scriptFile);
    if (!file) {
      Refuse(opt.scriptFile + " cannot be opened");
      return 1;
    }
    in = &file;
  } else if (opt.scriptFile.empty() && isatty(0)) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  std::string line;
  while (std::getline(*in, line)) {
    auto words = tarn::cli::SplitWords(line);
    if (words.empty()) continue;
    if (!run(words)) break;
  }
  return allOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // SIGINT is taken by the thread TakeCtrlC starts; every thread inherits
  // the mask set here.
  sigset_t sigint;
  sigemptyset(&sigint);
  sigaddset(&sigint, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sigint, nullptr);
  ConsoleOptions opt;
  int rc = ParseArgs(argc, argv, &opt);
  if (rc == -1) {
    std::fputs(kUsage, stdout);
    std::fputs(tarn::cli::Console::Help().c_str(), stdout);
    return 0;
  }
  if (rc == -2) {
    std::printf("tarn-cli %s\n", TARN_VERSION);
    return 0;
  }
  if (rc != 0) return rc;

  auto reg = OpenSettings();
  if (!reg) return 1;
  std::FILE* tty = std::fopen("/dev/tty", "r+");
  tarn::cli::ConsoleUi ui(stderr, tty, opt.verbose);
  tarn::AppState app;
  tarn::ConnLog log;
  app.log = &log;
  app.locale = opt.pinnedLocale ? platform::PinnedLocale() : platform::UserLocale();
  if (!StartUp(*reg, ui, opt, &app, &log)) return 1;

  ui.SetShowProgress(opt.progress);
  tarn::cli::Console console(*reg, app, ui, stdout, stderr, opt);
  TakeCtrlC(console);
  rc = RunCommands(console, opt);
  console.Shutdown();
  if (tty) std::fclose(tty);
  return rc;
}
