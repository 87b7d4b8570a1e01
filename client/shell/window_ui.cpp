#include "client/shell/window_ui.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

namespace tarn::shell {

WindowUi::WindowUi(Dialogs& dialogs, QObject* parent) : QObject(parent), dialogs_(&dialogs) {
  statusTimer_.setSingleShot(true);
  connect(&statusTimer_, &QTimer::timeout, this, &WindowUi::FlushStatus);
  lastFlush_.start();
}

WindowUi::~WindowUi() = default;

bool WindowUi::OnGuiThread() const { return QThread::currentThread() == thread(); }

bool WindowUi::RunBlocking(const std::function<void()>& f) {
  if (OnGuiThread()) {
    f();
    return true;
  }
  if (leaving_) return false;
  // The worker waits here until the GUI thread has run `f`; the GUI thread
  // itself never waits for a worker while it might be needed here (its
  // shutdown waits spin the event loop).
  return QMetaObject::invokeMethod(
      this, [this, &f] { if (!leaving_) f(); }, Qt::BlockingQueuedConnection);
}

void WindowUi::Queue(std::function<void()> f) {
  QPointer<WindowUi> self(this);
  QMetaObject::invokeMethod(
      this, [self, f = std::move(f)] { if (self) f(); }, Qt::QueuedConnection);
}

BoxResult WindowUi::MessageBox(const std::string& text, const std::string& caption,
                               BoxButtons buttons, BoxIcon icon) {
  // The safe answer when nobody can be asked.
  BoxResult result = buttons == BoxButtons::kOk     ? BoxResult::kOk
                     : buttons == BoxButtons::kYesNo ? BoxResult::kNo
                                                     : BoxResult::kCancel;
  RunBlocking([&] {
    FlushStatus();
    result = dialogs_->Box(text, caption, buttons, icon);
  });
  return result;
}

bool WindowUi::PromptLogon(LogonPrompt* prompt) {
  bool ok = false;
  RunBlocking([&] { ok = dialogs_->Logon(prompt); });
  return ok;
}

bool WindowUi::PromptText(const std::string& caption, const std::string& label, bool masked,
                          std::string* value) {
  bool ok = false;
  RunBlocking([&] { ok = dialogs_->Text(caption, label, masked, value); });
  return ok;
}

bool WindowUi::PromptDialUpPassword(const std::string& entry, const std::string& userName,
                                    std::string* password) {
  bool ok = false;
  RunBlocking([&] { ok = dialogs_->DialUpPassword(entry, userName, password); });
  return ok;
}

void WindowUi::SetStatusText(int part, const std::string& text) {
  if (part < 0 || part > 1) return;
  {
    std::lock_guard<std::mutex> lock(statusMu_);
    pending_[part] = text;
    dirty_[part] = true;
    if (flushQueued_) return;
    flushQueued_ = true;
  }
  if (OnGuiThread()) {
    ScheduleStatusFlush();
  } else {
    QPointer<WindowUi> self(this);
    QMetaObject::invokeMethod(
        this, [self] { if (self) self->ScheduleStatusFlush(); }, Qt::QueuedConnection);
  }
}

void WindowUi::ScheduleStatusFlush() {
  qint64 since = lastFlush_.elapsed();
  if (since >= kStatusIntervalMs) {
    FlushStatus();
  } else if (!statusTimer_.isActive()) {
    statusTimer_.start(static_cast<int>(kStatusIntervalMs - since));
  }
}

void WindowUi::FlushStatus() {
  std::string texts[2];
  bool dirty[2];
  {
    std::lock_guard<std::mutex> lock(statusMu_);
    for (int i = 0; i < 2; ++i) {
      texts[i] = pending_[i];
      dirty[i] = dirty_[i];
      dirty_[i] = false;
    }
    flushQueued_ = false;
  }
  statusTimer_.stop();
  if (!dirty[0] && !dirty[1]) return;
  lastFlush_.restart();
  ++statusUpdates_;
  for (int i = 0; i < 2; ++i)
    if (dirty[i] && sink_) sink_->OnStatus(i, QString::fromStdString(texts[i]));
}

void WindowUi::SetConnState(ConnState state, const std::string& sessionName) {
  Queue([this, state, sessionName] {
    FlushStatus();
    if (sink_) sink_->OnConnState(state, sessionName);
  });
}

void WindowUi::EnableCommand(UiCommand command, bool enabled) {
  Queue([this, command, enabled] { if (sink_) sink_->OnEnableCommand(command, enabled); });
}

void WindowUi::SetTransferMode(TransferMode mode) {
  Queue([this, mode] { if (sink_) sink_->OnTransferMode(mode); });
}

void WindowUi::SetZoomPaths(const std::vector<std::string>& paths) {
  Queue([this, paths] { if (sink_) sink_->OnZoomPaths(paths); });
}

void WindowUi::ShowLocalDirectory(const std::string& dir) {
  Queue([this, dir] { if (sink_) sink_->OnShowLocalDirectory(dir); });
}

void WindowUi::SetWaitCursor(bool on) {
  Queue([this, on] { if (sink_) sink_->OnWaitCursor(on); });
}

void WindowUi::PostDisconnect() {
  Queue([this] { if (sink_) sink_->OnPostDisconnect(); });
}

}  // namespace tarn::shell
