#include "client/shell/unattended_run.h"

#include <QCloseEvent>
#include <QMetaObject>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>

#include <algorithm>
#include <cstdio>

#include "client/session/run_headless.h"
#include "client/shell/queue_status_dialog.h"
#include "platform/ipc.h"

namespace tarn::shell {

UnattendedRun::UnattendedRun(RunCommandLine line, TransferQueue queue, platform::Registry& reg,
                             AppState& app, std::string loadNotice, UnattendedOptions options)
    : line_(std::move(line)),
      queue_(std::move(queue)),
      reg_(reg),
      app_(app),
      loadNotice_(std::move(loadNotice)),
      options_(std::move(options)),
      title_(platform::ScheduledSessionTitle(line_.scheduleFile)) {}

UnattendedRun::~UnattendedRun() {
  if (mainWindow_) mainWindow_->removeEventFilter(this);
  control_.Stop();
  if (thread_.joinable()) thread_.join();
}

void UnattendedRun::Start(QWidget* mainWindow) {
  mainWindow_ = mainWindow;
  if (mainWindow_) {
    mainWindow_->setWindowTitle(QString::fromStdString(title_));
    // The size it has when a person restores it (no placement is applied
    // or saved in a run).
    if (!mainWindow_->isVisible()) {
      const QRect area = mainWindow_->screen() ? mainWindow_->screen()->availableGeometry()
                                               : QRect(0, 0, 1280, 800);
      mainWindow_->resize(std::min(1280, area.width() * 9 / 10), std::min(860, area.height() * 9 / 10));
    }
    mainWindow_->showMinimized();
    // Closing the main window during the run is a Cancel.
    mainWindow_->installEventFilter(this);
  }
  std::string error;
  endpoint_ = platform::IpcEndpoint::Open(title_, &error);
  if (endpoint_) {
    notifier_ = std::make_unique<QSocketNotifier>(endpoint_->Fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &UnattendedRun::OnMessages);
  } else {
    std::fprintf(stderr, "tarn: warning: the scheduler cannot stop this run (%s)\n", error.c_str());
  }

  // A window of its own, so that it shows while the main window is minimised.
  dialog_ = std::make_unique<QueueStatusDialog>();
  connect(dialog_.get(), &QueueStatusDialog::cancelRequested, this, &UnattendedRun::Stop);
  dialog_->show();

  // Nobody is at the keyboard: the engine's boxes are answered as an
  // absent person would and written to standard error.
  engineUi_ = std::make_unique<HeadlessRunUi>(stdout, stderr);
  env_.reg = &reg_;
  env_.app = &app_;
  env_.ui = engineUi_.get();
  env_.status = dialog_.get();
  env_.clock = options_.clock;
  env_.mailer = options_.mailer;
  env_.loadNotice = loadNotice_;
  env_.replyTimeoutMs = options_.replyTimeoutMs;
  thread_ = std::thread([this] {
    const int rc = RunScheduledQueue(line_, queue_, env_, control_);
    QMetaObject::invokeMethod(this, [this, rc] { OnEnded(rc); }, Qt::QueuedConnection);
  });
}

void UnattendedRun::Stop() {
  if (ended_) return;
  if (dialog_) dialog_->ShowStopping();
  control_.Stop();
}

void UnattendedRun::OnMessages() {
  platform::IpcMessage msg;
  while (endpoint_ && endpoint_->TryReceive(&msg))
    if (msg.name == platform::kTarnStopMessage) Stop();
}

void UnattendedRun::OnEnded(int exitCode) {
  if (thread_.joinable()) thread_.join();
  ended_ = true;
  notifier_.reset();
  endpoint_.reset();
  if (dialog_) dialog_->hide();
  if (mainWindow_) mainWindow_->removeEventFilter(this);
  emit finished(exitCode);
}

bool UnattendedRun::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mainWindow_ && event->type() == QEvent::Close && !ended_) {
    event->ignore();
    Stop();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tarn::shell
