// A tarn-cli child the test talks to while it runs: its standard error is
// read as it comes, so that a test can wait for a line (the "150" of a
// download) and then send a signal, as a person pressing Ctrl-C would.
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

class CliChild {
 public:
  // Starts `argv` with `extraEnv` added ("NAME=" removes NAME), in a
  // session of its own.
  CliChild(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
      std::string kv = *e;
      bool replaced = false;
      for (const auto& x : extraEnv)
        if (kv.compare(0, x.find('=') + 1, x.substr(0, x.find('=') + 1)) == 0) replaced = true;
      if (!replaced) envStore.push_back(kv);
    }
    for (const auto& x : extraEnv)
      if (x.back() != '=') envStore.push_back(x);
    std::vector<char*> env;
    for (auto& s : envStore) env.push_back(s.data());
    env.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    if (posix_spawn(&pid_, args[0], &fa, &attr, args.data(), env.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    close(in[0]);
    close(in[1]);  // no input: commands come on the command line
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    signal(SIGPIPE, SIG_IGN);
  }

  ~CliChild() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  CliChild(const CliChild&) = delete;
  CliChild& operator=(const CliChild&) = delete;

  bool Started() const { return pid_ > 0; }

  // Reads until standard error holds `text`, at most `ms`; true when it does.
  bool WaitForErr(const std::string& text, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (err.find(text) == std::string::npos) {
      if (!Pump(deadline)) return err.find(text) != std::string::npos;
    }
    return true;
  }

  void Signal(int sig) {
    if (pid_ > 0 && !exited_) kill(pid_, sig);
  }

  // Waits at most `ms` for the child to end; its exit status, 128 + signal,
  // or -1 when it is still running.
  int Wait(int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Pump(deadline)) {
    }
    if (pid_ <= 0) return -1;
    for (;;) {
      int status = 0;
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      // The pipes are closed but the child has not been reaped yet.
      poll(nullptr, 0, 10);
    }
  }

  std::string out, err;

 private:
  // Reads what is there within the deadline; false once both pipes are
  // closed or the deadline passed.
  bool Pump(std::chrono::steady_clock::time_point deadline) {
    if (out_ < 0 && err_ < 0) return false;
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count());
    if (left <= 0) return false;
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, left) <= 0) return std::chrono::steady_clock::now() < deadline;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? out : err).append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        (i == 0 ? out_ : err_) = -1;
      }
    }
    return out_ >= 0 || err_ >= 0;
  }

  pid_t pid_ = -1;
  bool exited_ = false;
  int out_ = -1;
  int err_ = -1;
};

}  // namespace tarn::testing
