// WindowUi: the engine's Ui for the window. Any thread may call it; what it
// shows appears on the GUI thread:
//   - message boxes and prompts: called directly on the GUI thread; from a
//     worker they block that worker only (a blocking queued call) until the
//     person answers;
//   - status texts: queued and coalesced, at most one screen update per
//     kStatusIntervalMs whatever the rate of calls;
//   - window states (connected, zoom paths, wait cursor...): queued, in
//     the order they were made.
// Once Leave() was called (shutdown), questions from workers get their
// safe answer at once without a dialog, so a worker never waits for a
// window that is going away.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "client/session/ui.h"
#include "client/shell/dialogs.h"

namespace tarn::shell {

// The window side of WindowUi's queued calls. GUI thread only.
class UiSink {
 public:
  virtual ~UiSink() = default;
  virtual void OnStatus(int part, const QString& text) = 0;
  virtual void OnConnState(ConnState state, const std::string& sessionName) = 0;
  virtual void OnEnableCommand(UiCommand command, bool enabled) = 0;
  virtual void OnTransferMode(TransferMode mode) = 0;
  virtual void OnZoomPaths(const std::vector<std::string>& paths) = 0;
  virtual void OnShowLocalDirectory(const std::string& dir) = 0;
  virtual void OnWaitCursor(bool on) = 0;
  virtual void OnPostDisconnect() = 0;
};

class WindowUi : public QObject, public Ui {
  Q_OBJECT
 public:
  static constexpr int kStatusIntervalMs = 50;

  // Made on the GUI thread; `dialogs` must outlive it.
  explicit WindowUi(Dialogs& dialogs, QObject* parent = nullptr);
  ~WindowUi() override;

  // The receiver of the queued calls (GUI thread; may be null: dropped).
  void SetSink(UiSink* sink) { sink_ = sink; }
  void SetDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
  Dialogs& dialogs() { return *dialogs_; }
  // Dialogs that ask whichever dialogs the ui holds at the time of each
  // call: for the window's parts, made once, so that a later SetDialogs
  // (tests answering the questions) reaches them too.
  Dialogs& currentDialogs() { return current_; }

  // Shutdown began: workers' questions get their safe answer.
  void Leave() { leaving_ = true; }

  // Screen updates of the status bar so far (for the coalescing's
  // measurement).
  int statusUpdates() const { return statusUpdates_; }
  // Shows pending status texts now (GUI thread).
  void FlushStatus();

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override;
  void SetStatusText(int part, const std::string& text) override;
  bool PromptLogon(LogonPrompt* prompt) override;
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override;
  bool PromptDialUpPassword(const std::string& entry, const std::string& userName,
                            std::string* password) override;
  void SetConnState(ConnState state, const std::string& sessionName) override;
  void EnableCommand(UiCommand command, bool enabled) override;
  void SetTransferMode(TransferMode mode) override;
  void SetZoomPaths(const std::vector<std::string>& paths) override;
  void ShowLocalDirectory(const std::string& dir) override;
  void SetWaitCursor(bool on) override;
  void PostDisconnect() override;

 private:
  bool OnGuiThread() const;
  // Runs `f` on the GUI thread and waits for it (directly when already
  // there). False when it could not run (leaving, or no event loop).
  bool RunBlocking(const std::function<void()>& f);
  // Queues `f` for the GUI thread, dropped when the window ui is gone.
  void Queue(std::function<void()> f);
  void ScheduleStatusFlush();

  // Forwards every question to *ui.dialogs_.
  class CurrentDialogs final : public Dialogs {
   public:
    explicit CurrentDialogs(WindowUi& ui) : ui_(ui) {}
    BoxResult Box(const std::string& text, const std::string& caption, BoxButtons buttons,
                  BoxIcon icon) override {
      return ui_.dialogs_->Box(text, caption, buttons, icon);
    }
    bool Logon(LogonPrompt* prompt) override { return ui_.dialogs_->Logon(prompt); }
    bool Text(const std::string& caption, const std::string& label, bool masked,
              std::string* value) override {
      return ui_.dialogs_->Text(caption, label, masked, value);
    }
    bool QuickConnect(QuickConnectInput* input) override { return ui_.dialogs_->QuickConnect(input); }
    bool CustomCommand(std::string* command) override { return ui_.dialogs_->CustomCommand(command); }
    void CommandResults(const std::string& text) override { ui_.dialogs_->CommandResults(text); }
    bool NewFolderName(std::string* name) override { return ui_.dialogs_->NewFolderName(name); }
    bool DialUpPassword(const std::string& entry, const std::string& userName,
                        std::string* password) override {
      return ui_.dialogs_->DialUpPassword(entry, userName, password);
    }
    bool Settings(ShellContext& ctx, SettingsMode mode, const std::string& name,
                  const std::vector<std::string>& zoomPaths, const HostRecord* prefill) override {
      return ui_.dialogs_->Settings(ctx, mode, name, zoomPaths, prefill);
    }

   private:
    WindowUi& ui_;
  };

  Dialogs* dialogs_;
  CurrentDialogs current_{*this};
  UiSink* sink_ = nullptr;
  std::atomic<bool> leaving_{false};

  std::mutex statusMu_;
  std::string pending_[2];
  bool dirty_[2] = {false, false};
  bool flushQueued_ = false;   // a flush is scheduled (under statusMu_)
  QTimer statusTimer_;
  QElapsedTimer lastFlush_;
  int statusUpdates_ = 0;
};

}  // namespace tarn::shell
