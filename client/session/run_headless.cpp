#include "client/session/run_headless.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "client/session/queue_file.h"
#include "platform/ipc.h"

namespace tarn {

void HeadlessRunUi::Line(std::FILE* to, const std::string& text) {
  std::string shown;
  for (char ch : text)
    if (ch != '\r') shown += ch;
  std::lock_guard<std::mutex> lock(mu_);
  std::fprintf(to, "%s\n", shown.c_str());
  std::fflush(to);
}

BoxResult HeadlessRunUi::MessageBox(const std::string& text, const std::string& caption,
                                    BoxButtons buttons, BoxIcon icon) {
  (void)icon;
  Line(err_, caption.empty() ? text : caption + ": " + text);
  switch (buttons) {
    case BoxButtons::kOk: return BoxResult::kOk;
    case BoxButtons::kYesNo: return BoxResult::kNo;
    default: return BoxResult::kCancel;
  }
}

bool HeadlessRunUi::PromptLogon(LogonPrompt* prompt) {
  Line(err_, "Logon to FTP Host " + prompt->sessionName +
                 ": no one is here to type the password; store it in the session");
  return false;
}

bool HeadlessRunUi::PromptText(const std::string& caption, const std::string& label, bool masked,
                               std::string* value) {
  (void)masked, (void)value;
  Line(err_, caption + ": " + label + " (no one is here to answer)");
  return false;
}

void HeadlessRunUi::SetStatus(const std::string& text) { Line(out_, text); }

void HeadlessRunUi::SetDetail(const std::string& text) {
  if (!text.empty()) Line(out_, "  " + text);
}

namespace {

// Takes the stop requests of a headless run: the scheduler's message at the
// run's endpoint and the termination signals, on a thread of its own.
class StopListener {
 public:
  StopListener(const std::string& title, RunControl& control, HeadlessRunUi& ui, std::FILE* err)
      : control_(control), ui_(ui) {
    sigemptyset(&signals_);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals_, sig);
    pthread_sigmask(SIG_BLOCK, &signals_, &oldMask_);
    sigFd_ = signalfd(-1, &signals_, SFD_CLOEXEC | SFD_NONBLOCK);
    quitFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::string error;
    endpoint_ = platform::IpcEndpoint::Open(title, &error);
    if (!endpoint_)
      std::fprintf(err, "warning: the scheduler cannot stop this run (%s)\n", error.c_str());
    thread_ = std::thread([this] { Run(); });
  }

  ~StopListener() {
    const uint64_t one = 1;
    if (quitFd_ >= 0 && ::write(quitFd_, &one, sizeof one) < 0) {
      // Nothing more can be done: the thread ends with the process.
    }
    if (thread_.joinable()) thread_.join();
    endpoint_.reset();
    if (sigFd_ >= 0) ::close(sigFd_);
    if (quitFd_ >= 0) ::close(quitFd_);
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
  }

  StopListener(const StopListener&) = delete;
  StopListener& operator=(const StopListener&) = delete;

 private:
  void Stop(const std::string& why) {
    if (!control_.StopRequested()) ui_.SetStatus("Stopping: " + why);
    control_.Stop();
  }

  void Run() {
    for (;;) {
      pollfd fds[3] = {{quitFd_, POLLIN, 0},
                       {sigFd_, POLLIN, 0},
                       {endpoint_ ? endpoint_->Fd() : -1, POLLIN, 0}};
      if (::poll(fds, 3, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      if (fds[1].revents & POLLIN) {
        signalfd_siginfo info{};
        while (::read(sigFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
          Stop(strsignal(static_cast<int>(info.ssi_signo)));
      }
      if (fds[2].revents & POLLIN) {
        platform::IpcMessage msg;
        while (endpoint_->TryReceive(&msg))
          if (msg.name == platform::kTarnStopMessage) Stop("the scheduler's stop message");
      }
      if (fds[2].revents & (POLLERR | POLLHUP | POLLNVAL)) endpoint_.reset();
    }
  }

  RunControl& control_;
  HeadlessRunUi& ui_;
  sigset_t signals_{};
  sigset_t oldMask_{};
  int sigFd_ = -1;
  int quitFd_ = -1;
  std::unique_ptr<platform::IpcEndpoint> endpoint_;
  std::thread thread_;
};

}  // namespace

int RunHeadless(const RunCommandLine& line, platform::Registry& reg, AppState& app,
                std::FILE* out, std::FILE* err, RunControl& control,
                const HeadlessOptions& options) {
  TransferQueue queue;
  const QueueLoadResult load = ReadQueueFile(line.scheduleFile, &queue);
  const std::string notice = QueueLoadNotice(line.scheduleFile, load);
  if (!load.ok()) {
    std::fprintf(err, "%s\n", notice.c_str());
    return kRunUnreadableFile;
  }
  if (!notice.empty()) std::fprintf(err, "warning: %s\n", notice.c_str());

  HeadlessRunUi ui(out, err);
  StopListener listener(platform::ScheduledSessionTitle(line.scheduleFile), control, ui, err);
  RunEnvironment env;
  env.reg = &reg;
  env.app = &app;
  env.ui = &ui;
  env.status = &ui;
  env.clock = options.clock;
  env.mailer = options.mailer;
  env.loadNotice = notice;
  env.replyTimeoutMs = options.replyTimeoutMs;
  return RunScheduledQueue(line, queue, env, control);
}

}  // namespace tarn
