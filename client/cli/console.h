// The command interpreter of tarn-cli: one command (a word vector) at a
// time over the engine, the session store and the registry. Results go to
// `out`, failures to `err` with the system's own text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "client/cli/console_ui.h"
#include "client/engine/ftp_conn.h"
#include "client/engine/keepalive.h"
#include "client/session/app_state.h"
#include "client/session/dialup_ops.h"
#include "client/session/host_record.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "platform/net.h"
#include "platform/registry.h"

namespace tarn::cli {

struct ConsoleOptions {
  bool verbose = false;
  int replyTimeoutMs = kDefaultReplyTimeoutMs;
};

class Console {
 public:
  // Everything here belongs to the composition root and outlives the
  // console.
  Console(platform::Registry& reg, AppState& app, ConsoleUi& ui, std::FILE* out, std::FILE* err,
          const ConsoleOptions& options);
  ~Console();

  // Runs one command; true when it succeeded.
  bool Run(const std::vector<std::string>& words);

  // Logs off when still connected.
  void Shutdown();

  bool Connected() const { return conn_.sockControl != platform::kInvalidSocket; }

  static std::string Help();

 private:
  bool Open(const std::vector<std::string>& args);
  bool Close();
  bool Pwd();
  bool Quote(const std::vector<std::string>& args);
  bool Reg(const std::vector<std::string>& args);
  bool Sessions();
  bool NeedConnection();
  bool Fail(const std::string& text);

  platform::Registry& reg_;
  AppState& app_;
  ConsoleUi& ui_;
  std::FILE* out_;
  std::FILE* err_;
  ConsoleOptions options_;
  platform::Net net_;
  KeepAliveTimer keepAlive_;
  PasswordScrambler scrambler_;
  SessionStore store_;
  std::unique_ptr<platform::DialUp> dialService_;
  DialUpOps dialUp_;
  FtpConn conn_;
  HostRecord host_;
};

// Splits a script line into words: blanks separate, double quotes group,
// a backslash escapes the next character; '#' at a word's start comments
// out the rest of the line.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace tarn::cli
