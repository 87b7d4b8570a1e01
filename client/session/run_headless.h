// The unattended run without a display (cron, systemd, ssh): no window,
// the status dialog's lines on standard output, the engine's message boxes
// on standard error (answered as an absent person would: OK, No, Cancel),
// and the same log, mail and stop endpoint as the window's run.
//
//   $ tarn -/var/q/night.tsc -mail.example.org:25 -ops@example.org -admin@example.org
//   Connecting to session nightly...
//   Retrieving file...
//     /pub/a.txt to /srv/a.txt
//   Not connected
//   $ echo $?
//   0
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "client/session/app_state.h"
#include "client/session/run_queue.h"
#include "platform/registry.h"

namespace tarn {

// The Ui and RunStatus of a headless run: status lines to `out`, boxes to
// `err`, prompts refused. Any thread may call it.
class HeadlessRunUi final : public Ui, public RunStatus {
 public:
  HeadlessRunUi(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override;
  void SetStatusText(int part, const std::string& text) override { (void)part, (void)text; }
  bool PromptLogon(LogonPrompt* prompt) override;
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override;

  void SetStatus(const std::string& text) override;
  void SetDetail(const std::string& text) override;

 private:
  void Line(std::FILE* to, const std::string& text);

  std::mutex mu_;
  std::FILE* out_;
  std::FILE* err_;
};

struct HeadlessOptions {
  std::string mailer = DefaultMailer();
  RunClock clock = LocalTimeNow;
  int replyTimeoutMs = kDefaultReplyTimeoutMs;
};

// RunHeadless: loads line.scheduleFile and runs it (RunScheduledQueue).
// A stop arrives as WMU_TARN_STOP_MESSAGE at the endpoint titled
// platform::ScheduledSessionTitle(file), or as SIGTERM, SIGINT or SIGHUP;
// `control` may also be stopped from another thread. Call it before the
// program starts other threads: the three signals are blocked while it
// runs and taken by a thread of its own. Returns the run's RunExit; a file
// that cannot be read prints why on `err` and returns kRunUnreadableFile.
int RunHeadless(const RunCommandLine& line, platform::Registry& reg, AppState& app,
                std::FILE* out, std::FILE* err, RunControl& control,
                const HeadlessOptions& options = {});

}  // namespace tarn
