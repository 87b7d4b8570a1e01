// Starting and stopping the programs the mailer tests run: aiosmtpd and the
// built courel binary.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace mailer_test {

// Starts `argv` (argv[0] a path) with the current environment minus the
// variables named in `unset`; standard output and error go to `outputPath`.
// Returns the pid, or -1.
pid_t StartChild(const std::vector<std::string>& argv, const std::vector<std::string>& unset,
                 const std::string& outputPath);

// Waits up to `timeoutMs` for the child to end; its exit status, or -1 when
// it is still running (then it is left alone) or ended by a signal.
int WaitChild(pid_t pid, int timeoutMs);

// True while the child runs (reaps it when it has ended).
bool ChildRunning(pid_t pid);

// SIGTERM, then SIGKILL after 5 s; reaps the child.
void StopChild(pid_t pid);

// Whole content of a file ("" when unreadable).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// A fresh directory under $TMPDIR or /tmp, removed with everything in it
// when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace mailer_test
