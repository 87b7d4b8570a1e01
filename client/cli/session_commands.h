// tarn-cli's session commands: stored sessions made, changed, renamed,
// deleted and shown without a desktop (a server that runs schedules from
// cron), through the same page values, checks and record mapping as the
// Settings sheet, so that both store a session the same way.
//
//   tarn-cli session add NAME --host H [OPTIONS]
//   tarn-cli session edit NAME [OPTIONS]
//   tarn-cli session rename OLD NEW
//   tarn-cli session rm NAME [--yes]
//   tarn-cli session show NAME
//
// Secrets never come from the command line: TARN_PASSWORD, TARN_ACCOUNT,
// TARN_FW_PASSWORD and TARN_CERT_PASSWORD, else a prompt on the terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/session/pc_directory.h"
#include "client/session/ui.h"
#include "platform/registry.h"

namespace tarn::cli {

// What the commands use; everything belongs to the caller.
struct SessionCommandContext {
  platform::Registry* reg = nullptr;
  Ui* ui = nullptr;            // failed checks as boxes, the delete question, prompts
  std::FILE* out = nullptr;    // "session show"
  std::FILE* err = nullptr;    // usage errors
  MountTable* mounts = nullptr;  // UNC initial local directories
  // A secret from the environment; nullopt when unset or empty.
  std::function<std::optional<std::string>(const char* name)> secret;
  std::vector<std::string> dialUpEntries;  // the "Connect via" phone-book entries
  int64_t now = 0;                         // seeds the password scrambler
};

// Runs "session ARGS..." (`args` without the word "session"); true when the
// command succeeded. A failed check shows its box (on standard error for
// tarn-cli) and stores nothing.
bool RunSessionCommand(const std::vector<std::string>& args, SessionCommandContext& ctx);

// The same over the process's environment, the system's mount table and no
// dial-up service.
bool RunSessionCommand(const std::vector<std::string>& args, platform::Registry& reg, Ui& ui,
                       std::FILE* out, std::FILE* err);

// The help text of the session commands.
std::string SessionHelp();

}  // namespace tarn::cli
