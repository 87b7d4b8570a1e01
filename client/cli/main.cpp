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
    "  -h, --help          this text\n"
    "\n"
    "Passwords come from the stored session, from TARN_PASSWORD, or from a prompt on\n"
    "the terminal. Settings live in $TARN_CONFIG_DIR (default ~/.config/tarn).\n"
    "The connection log Tarn.log in the current directory is replaced at every start;\n"
    "it holds the transcript (passwords masked) while the DebugLog setting is YES.\n"
    "The exit status is 0 only when every command succeeded.\n\n";

struct Options {
  bool verbose = false;
  bool keepGoing = false;
  std::string logFile;
  std::string scriptFile;
  int timeoutMs = tarn::kDefaultReplyTimeoutMs;
  int passive = -1;
  char type = 0;
  bool resume = false;
  bool progress = true;
  bool pinnedLocale = false;
  bool tlsPartial = false;
  uint32_t tlsAccept = 0;
  std::string certFile;
  int cipherStrength = -1;
  std::vector<std::vector<std::string>> commands;  // from the arguments
};

// Returns 0 to go on, else the exit status (1 for bad usage, -1 for help).
int ParseArgs(int argc, char** argv, Options* o) {
  std::vector<std::string> cur;
  bool inCommands = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (!inCommands && !a.empty() && a[0] == '-' && a != "-") {
      auto value = [&](std::string* into) {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "tarn-cli: %s needs a value\n", a.c_str());
          return false;
        }
        *into = argv[++i];
        return true;
      };
      if (a == "-v" || a == "--verbose") {
        o->verbose = true;
      } else if (a == "--keep-going") {
        o->keepGoing = true;
      } else if (a == "--passive") {
        o->passive = 1;
      } else if (a == "--active") {
        o->passive = 0;
      } else if (a == "--resume") {
        o->resume = true;
      } else if (a == "--locale") {
        std::string l;
        if (!value(&l)) return 1;
        if (l != "C") {
          std::fprintf(stderr, "tarn-cli: --locale takes C (the pinned formats)\n");
          return 1;
        }
        o->pinnedLocale = true;
      } else if (a == "--no-progress") {
        o->progress = false;
      } else if (a == "--tls-partial") {
        o->tlsPartial = true;
      } else if (a == "--accept-expired") {
        o->tlsAccept |= tarn::kSslExpired;
      } else if (a == "--accept-self-signed") {
        o->tlsAccept |= tarn::kSslSelf;
      } else if (a == "--accept-future") {
        o->tlsAccept |= tarn::kSslFuture;
      } else if (a == "--accept-invalid") {
        o->tlsAccept |= tarn::kSslInvalid;
      } else if (a == "--cert") {
        if (!value(&o->certFile)) return 1;
      } else if (a == "--cipher-strength") {
        std::string t;
        if (!value(&t)) return 1;
        if (t.size() != 1 || t[0] < '0' || t[0] > '3') {
          std::fprintf(stderr, "tarn-cli: --cipher-strength takes 0, 1, 2 or 3\n");
          return 1;
        }
        o->cipherStrength = t[0] - '0';
      } else if (a == "--type") {
        std::string t;
        if (!value(&t)) return 1;
        if (t == "ascii") o->type = 'A';
        else if (t == "binary") o->type = 'I';
        else if (t == "auto") o->type = 'X';
        else {
          std::fprintf(stderr, "tarn-cli: --type takes ascii, binary or auto\n");
          return 1;
        }
      } else if (a == "-h" || a == "--help") {
        return -1;
      } else if (a == "--log") {
        if (!value(&o->logFile)) return 1;
      } else if (a == "-f" || a == "--file") {
        if (!value(&o->scriptFile)) return 1;
      } else if (a == "--timeout") {
        std::string t;
        if (!value(&t)) return 1;
        char* end = nullptr;
        long s = std::strtol(t.c_str(), &end, 10);
        if (t.empty() || *end || s < 1 || s > 3600) {
          std::fprintf(stderr, "tarn-cli: --timeout takes 1 to 3600 seconds\n");
          return 1;
        }
        o->timeoutMs = static_cast<int>(s * 1000);
      } else {
        std::fprintf(stderr, "tarn-cli: unknown option %s (see --help)\n", a.c_str());
        return 1;
      }
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

}  // namespace

int main(int argc, char** argv) {
  // SIGINT is taken by the thread started below; every thread inherits the
  // mask set here.
  sigset_t sigint;
  sigemptyset(&sigint);
  sigaddset(&sigint, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sigint, nullptr);
  Options opt;
  int rc = ParseArgs(argc, argv, &opt);
  if (rc == -1) {
    std::fputs(kUsage, stdout);
    std::fputs(tarn::cli::Console::Help().c_str(), stdout);
    return 0;
  }
  if (rc != 0) return rc;

  platform::Locale locale = opt.pinnedLocale ? platform::PinnedLocale() : platform::UserLocale();
  std::string configDir = platform::ConfigDirectory();
  if (!platform::MakeDirectories(configDir, 0700)) {
    std::fprintf(stderr, "tarn-cli: cannot create the settings directory %s\n", configDir.c_str());
    return 1;
  }
  std::string error;
  auto reg = platform::OpenSqliteRegistry(platform::PathJoin(configDir, "registry.sqlite"), &error);
  if (!reg) {
    std::fprintf(stderr, "tarn-cli: %s\n", error.c_str());
    return 1;
  }

  std::FILE* tty = std::fopen("/dev/tty", "r+");
  tarn::cli::ConsoleUi ui(stderr, tty, opt.verbose);
  tarn::AppState app;
  tarn::ConnLog log;
  app.log = &log;
  app.locale = locale;

  // As the window's start-up: stored passwords of an older release are
  // converted before anything reads a session, and the connection log
  // ("Tarn.log" here, or the --log file) starts with its banner; the
  // application settings follow. A Tarn.log that cannot be made leaves the
  // run without a log, as in the window; a --log file the person named is
  // reported.
  if (!tarn::StartClient(*reg, &log, opt.logFile, tarn::CurrentBannerFacts(), locale) &&
      !opt.logFile.empty()) {
    std::fprintf(stderr, "tarn-cli: cannot create the log file %s\n", opt.logFile.c_str());
    return 1;
  }
  {
    tarn::PasswordScrambler scrambler(static_cast<int64_t>(std::time(nullptr)));
    tarn::SessionStore store(*reg, ui, scrambler);
    store.LoadAppSettings(&app.settings);
  }
  if (opt.verbose) {
    log.SetMirror(stderr);
    app.settings.bDebugLog = true;
  }

  tarn::cli::ConsoleOptions copt;
  copt.verbose = opt.verbose;
  copt.replyTimeoutMs = opt.timeoutMs;
  copt.type = opt.type;
  copt.resume = opt.resume;
  copt.tlsPartial = opt.tlsPartial;
  copt.tlsAccept = opt.tlsAccept;
  copt.certFile = opt.certFile;
  copt.cipherStrength = opt.cipherStrength;
  if (opt.passive >= 0) app.settings.bPassive = opt.passive;
  ui.SetShowProgress(opt.progress);
  tarn::cli::Console console(*reg, app, ui, stdout, stderr, copt);

  // Ctrl-C cancels the running command (the server gets ABOR); a second
  // one ends the program. The signal is taken by a thread of its own, so
  // no handler touches shared state.
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
  } else {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (!opt.scriptFile.empty() && opt.scriptFile != "-") {
      file.open(opt.scriptFile);
      if (!file) {
        std::fprintf(stderr, "tarn-cli: %s cannot be opened\n", opt.scriptFile.c_str());
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
  }
  console.Shutdown();
  if (tty) std::fclose(tty);
  return allOk ? 0 : 1;
}
