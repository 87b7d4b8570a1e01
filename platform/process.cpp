#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

int StartProgram(const std::vector<std::string>& argv, StartHint hint, std::string* error,
                 ChildStdio stdio) {
  if (argv.empty()) {
    if (error) *error = "no program named";
    return -1;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; e && *e; ++e)
    if (strncmp(*e, "TARN_START_HINT=", 16) != 0) envStore.emplace_back(*e);
  switch (hint) {
    case StartHint::kNormal: break;
    case StartHint::kMinimised: envStore.push_back("TARN_START_HINT=minimised"); break;
    case StartHint::kNoActivate: envStore.push_back("TARN_START_HINT=noactivate"); break;
    case StartHint::kMinimisedNoActivate:
      envStore.push_back("TARN_START_HINT=minimised,noactivate");
      break;
  }
  std::vector<char*> env;
  for (auto& e : envStore) env.push_back(e.data());
  env.push_back(nullptr);

  // A child that nobody waits for must not stay a zombie: the intermediate
  // child spawns it and exits at once, so init adopts it. Its pid comes back
  // through a pipe.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    if (error) *error = strerror(errno);
    return -1;
  }
  pid_t mid = fork();
  if (mid < 0) {
    if (error) *error = strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (mid == 0) {
    close(fds[0]);
    pid_t pid = -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdio == ChildStdio::kNull)
      for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&fa, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    // The child starts as a fresh program would: no signal blocked and
    // every signal at its default action. A caller that blocks SIGTERM to
    // take it on a thread of its own (a headless run) must not hand that
    // mask on, or the child could not be stopped.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    int rc = posix_spawnp(&pid, args[0], &fa, &attr, args.data(), env.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid = -rc - 1;
    ssize_t w = write(fds[1], &pid, sizeof pid);
    (void)w;
    _exit(0);
  }
  close(fds[1]);
  pid_t child = -1;
  ssize_t r = read(fds[0], &child, sizeof child);
  close(fds[0]);
  int status = 0;
  waitpid(mid, &status, 0);
  if (r != sizeof child || child < 0) {
    if (error) *error = "cannot start " + argv[0] + (r == sizeof child ? std::string(": ") + strerror(-child - 1) : "");
    return -1;
  }
  return child;
}

std::string KernelNameRelease() {
  utsname u{};
  if (uname(&u) != 0) return "Linux";
  return std::string(u.sysname) + " " + u.release;
}

std::vector<std::string> LoadedLibraries(const std::vector<std::string>& prefixes) {
  std::vector<std::string> found(prefixes.size());
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    auto slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string path = line.substr(slash);
    auto base = path.substr(path.rfind('/') + 1);
    for (size_t i = 0; i < prefixes.size(); ++i) {
      if (found[i].empty() && base.compare(0, prefixes[i].size(), prefixes[i]) == 0 &&
          base.find(".so") != std::string::npos)
        found[i] = path;
    }
  }
  std::vector<std::string> out;
  for (auto& f : found)
    if (!f.empty()) out.push_back(f);
  return out;
}

}  // namespace platform
