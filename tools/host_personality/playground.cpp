// tarn-playground: a mainframe-like (or NetWare, or Windows) FTP host on
// loopback to try the client against.
//
//   tarn-playground --personality mvs|vm|vse|netware|windows [--port N]
//                   [--user NAME] [--password TEXT] [--unix-listings]
//                   [--unix-style] [--quiet]
//
// Any user may log on (with any password unless --password is given); the
// host's files belong to --user (USER1). --unix-listings makes the VSE host
// refuse SITE UNIX OFF; --unix-style starts the Windows host in UNIX
// listing style. Every command and reply is printed unless --quiet. Runs
// until interrupted.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "tools/host_personality/host_personality.h"

namespace {

constexpr const char* kUsage =
    "usage: tarn-playground --personality mvs|vm|vse|netware|windows [--port N] [--user NAME]\n"
    "                       [--password TEXT] [--unix-listings] [--unix-style] [--quiet]\n";

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "tarn-playground: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tarn::testing::PersonalityOptions options;
  options.port = 2150;
  bool personalityGiven = false, quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--personality" && hasValue) {
      if (!tarn::testing::PersonalityFromName(argv[++i], &options.personality))
        return Usage("unknown personality");
      personalityGiven = true;
    } else if (a == "--port" && hasValue) {
      char* end = nullptr;
      const long port = std::strtol(argv[++i], &end, 10);
      if (*end || port < 0 || port > 65535) return Usage("the port is 0 to 65535");
      options.port = static_cast<uint16_t>(port);
    } else if (a == "--user" && hasValue) {
      options.user = argv[++i];
    } else if (a == "--password" && hasValue) {
      options.password = argv[++i];
    } else if (a == "--unix-listings") {
      options.vseAcceptsUnixOff = false;
    } else if (a == "--unix-style") {
      options.windowsStartsInDosStyle = false;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      return Usage(("unknown argument " + a).c_str());
    }
  }
  if (!personalityGiven) return Usage("--personality is needed");

  // SIGINT and SIGTERM end the run; they are waited for below, so every
  // thread starts with them blocked.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  tarn::testing::HostPersonality host(options);
  std::mutex out;
  if (!quiet)
    host.SetTrace([&out](const std::string& line) {
      std::lock_guard<std::mutex> lock(out);
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    });
  std::string error;
  if (!host.Start(&error)) {
    std::fprintf(stderr, "tarn-playground: %s\n", error.c_str());
    return 1;
  }
  std::printf("tarn-playground: %s host on 127.0.0.1:%u, files of %s%s; Ctrl-C ends it\n",
              tarn::testing::PersonalityName(options.personality), host.Port(), options.user.c_str(),
              options.password.empty() ? ", any password" : "");
  std::printf("  try: TARN_PASSWORD=x build/bin/tarn-cli open ftp://%s@127.0.0.1:%u \\; ls\n",
              options.user.c_str(), host.Port());
  std::fflush(stdout);
  int sig = 0;
  sigwait(&stop, &sig);
  host.Stop();
  return 0;
}
