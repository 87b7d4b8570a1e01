// UnattendedRun: a schedule file run with a display. The main window is
// minimised and titled "Tarn Scheduled Session - night", so that the
// scheduler finds the run by that title; the "Tarn Queue Status" dialog
// shows what the run does and offers Cancel; an endpoint under the title
// takes the scheduler's WMU_TARN_STOP_MESSAGE, which stops the run as
// Cancel does (the operation in progress gets five seconds to end, then
// its sockets are shut).
//
// The run itself (RunScheduledQueue: connect and first listing of each
// session, the transfers, the log, the mail) runs on a thread of its own;
// the GUI thread only shows what it reports. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>
#include <thread>

#include "client/session/app_state.h"
#include "client/session/queue.h"
#include "client/session/run_queue.h"
#include "platform/registry.h"

class QSocketNotifier;
class QWidget;

namespace platform {
class IpcEndpoint;
}

namespace tarn {
class HeadlessRunUi;
}

namespace tarn::shell {

class QueueStatusDialog;

struct UnattendedOptions {
  std::string mailer = DefaultMailer();
  RunClock clock = LocalTimeNow;
  int replyTimeoutMs = kDefaultReplyTimeoutMs;
};

class UnattendedRun : public QObject {
  Q_OBJECT
 public:
  // `reg` and `app` must outlive the run. `loadNotice` is said first in the
  // log (a schedule file with a cut last record).
  UnattendedRun(RunCommandLine line, TransferQueue queue, platform::Registry& reg, AppState& app,
                std::string loadNotice = "", UnattendedOptions options = {});
  // Stops a run still going and waits for its thread.
  ~UnattendedRun() override;

  // Titles and minimises `mainWindow` (may be null), opens the stop
  // endpoint, shows the status dialog and starts the run.
  void Start(QWidget* mainWindow);
  // Cancel: the run winds down and then ends with kRunStopped.
  void Stop();

  bool running() const { return thread_.joinable() && !ended_; }
  QueueStatusDialog* dialog() const { return dialog_.get(); }
  const std::string& title() const { return title_; }

 signals:
  // The run is over; `exitCode` is its RunExit. The dialog is closed.
  void finished(int exitCode);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnMessages();
  void OnEnded(int exitCode);

  RunCommandLine line_;
  TransferQueue queue_;
  platform::Registry& reg_;
  AppState& app_;
  std::string loadNotice_;
  UnattendedOptions options_;
  std::string title_;
  QPointer<QWidget> mainWindow_;
  std::unique_ptr<QueueStatusDialog> dialog_;
  std::unique_ptr<HeadlessRunUi> engineUi_;
  std::unique_ptr<platform::IpcEndpoint> endpoint_;
  std::unique_ptr<QSocketNotifier> notifier_;
  RunControl control_;
  RunEnvironment env_;
  std::thread thread_;
  bool ended_ = false;
};

}  // namespace tarn::shell
