// The tray program: the hidden frame that owns the tray icon, the live
// schedule list, the 30-second timer and the messages from the client.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <string>

#include "platform/ipc.h"
#include "scheduler/app/box_notice.h"
#include "scheduler/model/engine.h"

namespace sched_app {

// The client started and stopped for real; a schedule the client could not
// be started or stopped for (beyond its capacities) is named in a box.
class TrayActions : public sched::SystemActions {
 public:
  explicit TrayActions(sched::Notice& notice) : notice_(notice) {}
  void Refused(const sched::CScheduleEntry& e, const std::string& why) override {
    notice_.Show("\"" + e.DisplayName() + "\" was not started or stopped. " + why,
                 sched::NoticeIcon::kExclamation);
  }

 private:
  sched::Notice& notice_;
};

class MainFrame : public QObject, private sched::OverdueAsker {
  Q_OBJECT
 public:
  // `listFile`: the schedule list file ("" for the user's own).
  explicit MainFrame(std::string listFile = "");
  ~MainFrame() override;

  enum class StartResult { kRunning, kSecondCopy, kNoListFile };
  // Takes the single-instance lock (asking a headless scheduler that holds
  // it to step aside), shows the tray icon, loads the live list and starts
  // the timer when the list holds a schedule.
  StartResult Start();

  bool Paused() const { return paused_; }
  bool TimerActive() const { return timer_.isActive(); }
  sched::CSchedule& Live() { return *live_; }
  QMenu* Menu() { return &menu_; }
  QSystemTrayIcon* Tray() { return &tray_; }

  void About();
  void OpenSchedules();
  void TogglePause();
  void HandOver();
  void OnTimer();

 private:
  int AskOverdue(const sched::CScheduleEntry& entry, const std::string& text) override;
  void OnMessages();
  void ReloadIfChanged();
  void RestartTimerIfReady();
  void UpdateTray();

  QSystemTrayIcon tray_;
  QMenu menu_;
  QAction* pause_ = nullptr;
  QTimer timer_;
  std::string listFile_;
  std::unique_ptr<sched::CSchedule> live_;
  std::string preset_;
  bool paused_ = false;
  bool dialogOpen_ = false;
  bool openAfterTick_ = false;
  std::unique_ptr<platform::InstanceLock> lock_;
  std::unique_ptr<platform::IpcEndpoint> endpoint_;
  std::unique_ptr<QSocketNotifier> notifier_;
  BoxNotice notice_;
  sched::SystemClock clock_;
  TrayActions actions_{notice_};
  sched::ScheduleEngine engine_;
};

// Runs the tray form. Returns the exit status, or -1 when the desktop has
// no system tray (the QApplication is gone again then, and the caller goes
// headless).
int RunTray(int& argc, char** argv, const std::string& listFile);

}  // namespace sched_app
