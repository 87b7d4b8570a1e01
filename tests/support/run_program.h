// Runs a program of the suite as a child process for end-to-end tests:
// argument vector in, exit status and both output streams out. The child
// gets `extraEnv` on top of the test's environment and `input` on its
// standard input; it is killed after `timeoutMs`.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace tarn::testing {

struct ProgramResult {
  int status = -1;  // exit status; 128 + signal when killed; -1 when not started
  std::string out;
  std::string err;
};

inline ProgramResult RunProgram(const std::vector<std::string>& argv,
                                const std::vector<std::string>& extraEnv = {},
                                const std::string& input = "", int timeoutMs = 60000) {
  ProgramResult result;
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    bool replaced = false;
    for (const auto& x : extraEnv)
      if (kv.compare(0, x.find('=') + 1, x.substr(0, x.find('=') + 1)) == 0) replaced = true;
    if (!replaced) envStore.push_back(kv);
  }
  for (const auto& x : extraEnv)
    if (x.back() != '=') envStore.push_back(x);  // "NAME=" removes NAME
  std::vector<char*> env;
  for (auto& s : envStore) env.push_back(s.data());
  env.push_back(nullptr);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return result;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err[1], 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &fa, &attr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (rc != 0) {
    close(in[1]);
    close(out[0]);
    close(err[0]);
    result.err = std::string("cannot start: ") + strerror(rc);
    return result;
  }
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty()) {
    ssize_t w = write(in[1], input.data(), input.size());
    (void)w;
  }
  close(in[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true, killed = false;
  while (outOpen || errOpen) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    poll(fds, 2, left);
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0)
        (i == 0 ? result.out : result.err).append(buf, static_cast<size_t>(n));
      else
        (i == 0 ? outOpen : errOpen) = false;
    }
  }
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  if (killed) result.err += "\n[killed after time limit]";
  return result;
}

}  // namespace tarn::testing
