// Running programs from tests: the suite's own programs end to end, and
// the servers some tests start themselves.
//
//   ChildProcess: a child the test talks to while it runs. Its standard
//   output and error are read as they come (or go to a file), so that a
//   test can wait for a line and then send a signal, as a person pressing
//   Ctrl-C would. Every wait is bounded and ends on the event itself (the
//   output's arrival, the child's end), never after a fixed sleep.
//
//   RunProgram: runs a program to its end: argument vector and input in,
//   exit status and both output streams out.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace tarn::testing {

class ChildProcess {
 public:
  struct Options {
    // Added to the test's environment; "NAME=" removes NAME.
    std::vector<std::string> env;
    // Written to the child's standard input, which then closes.
    std::string input;
    // Standard input is /dev/null, open for reading and writing (servers
    // that write their early errors to descriptor 0), instead of a pipe.
    bool nullInput = false;
    // A session of its own (setsid), so that a signal to the test's
    // process group never reaches it.
    bool ownSession = true;
    // When set, standard output and error go to this file (made or
    // emptied) instead of being read by the test.
    std::string outputFile;
    // A descriptor the child gets as its descriptor 3: a listening socket
    // the test bound to port 0 and keeps, for a server that serves on it.
    int passedSocket = -1;
  };

  // Starts `argv[0]` (a path) with `argv`. Started() tells whether it ran.
  ChildProcess(const std::vector<std::string>& argv, const Options& options) {
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
      const std::string kv = *e;
      bool replaced = false;
      for (const auto& x : options.env)
        if (kv.compare(0, x.find('=') + 1, x.substr(0, x.find('=') + 1)) == 0) replaced = true;
      if (!replaced) envStore.push_back(kv);
    }
    for (const auto& x : options.env)
      if (x.back() != '=') envStore.push_back(x);
    std::vector<char*> env;
    for (auto& s : envStore) env.push_back(s.data());
    env.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const bool toFile = !options.outputFile.empty();
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) || (!toFile && (pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)))) {
      startError_ = std::string("cannot make pipes: ") + strerror(errno);
      CloseAll({in[0], in[1], out[0], out[1], err[0], err[1]});
      return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (options.nullInput)
      posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDWR, 0);
    else
      posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    if (toFile) {
      posix_spawn_file_actions_addopen(&fa, 1, options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      posix_spawn_file_actions_adddup2(&fa, 1, 2);
    } else {
      posix_spawn_file_actions_adddup2(&fa, out[1], 1);
      posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    }
    if (options.passedSocket >= 0) posix_spawn_file_actions_adddup2(&fa, options.passedSocket, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (options.ownSession) posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    const int rc = posix_spawn(&pid_, args[0], &fa, &attr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    CloseAll({in[0], out[1], err[1]});
    out_ = out[0];
    err_ = err[0];
    if (rc != 0) {
      pid_ = -1;
      startError_ = std::string("cannot start: ") + strerror(rc);
      CloseAll({in[1]});
      return;
    }
    // A child that ends before it read its input must not end the test.
    signal(SIGPIPE, SIG_IGN);
    if (!options.input.empty()) {
      ssize_t w = write(in[1], options.input.data(), options.input.size());
      (void)w;
    }
    close(in[1]);
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
  }

  // The same with only `env` added to the environment.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env)
      : ChildProcess(argv, WithEnv(env)) {}

  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    CloseAll({out_, err_, pidFd_});
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Why the child did not start ("" when it did).
  const std::string& StartError() const { return startError_; }

  // Reads until standard error holds `text`, at most `ms`; true when it does.
  bool WaitForErr(const std::string& text, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (err.find(text) == std::string::npos) {
      if (!Pump(deadline)) return err.find(text) != std::string::npos;
    }
    return true;
  }

  void Signal(int sig) {
    if (pid_ > 0 && !reaped_) kill(pid_, sig);
  }

  // Waits at most `ms` for the child to end, reading its output meanwhile;
  // its exit status, 128 + the signal that ended it, or -1 while it runs.
  int Wait(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Pump(deadline)) {
    }
    if (pid_ <= 0) return -1;
    if (reaped_) return status_;
    for (;;) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return status_;
      }
      const int left = LeftMs(deadline);
      if (left <= 0 || pidFd_ < 0) return -1;
      // The pid descriptor becomes readable when the child ends.
      pollfd p{pidFd_, POLLIN, 0};
      poll(&p, 1, left);
    }
  }

  // True while the child runs.
  bool Running() { return Started() && Wait(0) == -1; }

  // SIGTERM, then SIGKILL after `graceMs`; the exit status (128 + the
  // signal when one ended it).
  int Stop(int graceMs = 5000) {
    if (!Started()) return -1;
    if (!reaped_) Signal(SIGTERM);
    int status = Wait(graceMs);
    if (status == -1) {
      Signal(SIGKILL);
      status = Wait(60000);
    }
    return status;
  }

  std::string out, err;  // what the child wrote so far (pipes only)

 private:
  using Clock = std::chrono::steady_clock;

  static Options WithEnv(const std::vector<std::string>& env) {
    Options o;
    o.env = env;
    return o;
  }

  static int LeftMs(Clock::time_point deadline) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
  }

  static void CloseAll(std::initializer_list<int> fds) {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }

  // Reads what comes within the deadline; false once both pipes are closed
  // or the deadline passed.
  bool Pump(Clock::time_point deadline) {
    if (out_ < 0 && err_ < 0) return false;
    const int left = LeftMs(deadline);
    if (left <= 0) return false;
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, left) <= 0) return Clock::now() < deadline;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
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
  int pidFd_ = -1;
  bool reaped_ = false;
  int status_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string startError_;
};

struct ProgramResult {
  int status = -1;  // exit status; 128 + signal when killed; -1 when not started
  std::string out;
  std::string err;
};

// Runs `argv` to its end with `extraEnv` ("NAME=" removes NAME) and `input`
// on its standard input, in a session of its own; it is killed after
// `timeoutMs`.
inline ProgramResult RunProgram(const std::vector<std::string>& argv,
                                const std::vector<std::string>& extraEnv = {},
                                const std::string& input = "", int timeoutMs = 60000) {
  ChildProcess::Options options;
  options.env = extraEnv;
  options.input = input;
  ChildProcess child(argv, options);
  ProgramResult result;
  if (!child.Started()) {
    result.err = child.StartError();
    return result;
  }
  result.status = child.Wait(timeoutMs);
  if (result.status == -1) {
    child.Signal(SIGKILL);
    result.status = child.Wait(60000);
    child.err += "\n[killed after time limit]";
  }
  result.out = child.out;
  result.err = child.err;
  return result;
}

}  // namespace tarn::testing
