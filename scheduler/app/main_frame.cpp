#include "scheduler/app/main_frame.h"

#include <time.h>

#include <QApplication>
#include <QCursor>
#include <QFont>

#include "scheduler/app/icons.h"
#include "scheduler/app/schedules_dialog.h"
#include "scheduler/app/small_dialogs.h"
#include "scheduler/cli/almanor_cli.h"
#include "scheduler/model/messages.h"

namespace sched_app {

MainFrame::MainFrame(std::string listFile)
    : listFile_(listFile.empty() ? sched::DefaultListFile() : std::move(listFile)),
      engine_(clock_, actions_, *this) {
  auto* about = menu_.addAction(QStringLiteral("About Tarn Scheduling Application"));
  auto* schedule = menu_.addAction(QStringLiteral("&Schedule Transfer"));
  pause_ = menu_.addAction(QStringLiteral("Pause Tarn Scheduling Application"));
  menu_.addSeparator();
  auto* exit = menu_.addAction(QStringLiteral("&Exit"));
  // The default item, shown bold, is what a double-click on the icon does.
  QFont bold = schedule->font();
  bold.setBold(true);
  schedule->setFont(bold);
  menu_.setDefaultAction(schedule);
  connect(about, &QAction::triggered, this, &MainFrame::About);
  connect(schedule, &QAction::triggered, this, &MainFrame::OpenSchedules);
  connect(pause_, &QAction::triggered, this, &MainFrame::TogglePause);
  connect(exit, &QAction::triggered, qApp, &QApplication::quit);
  connect(&menu_, &QMenu::aboutToShow, this, [this] {
    pause_->setText(paused_ ? QStringLiteral("Continue Tarn Scheduling Application")
                            : QStringLiteral("Pause Tarn Scheduling Application"));
  });
  tray_.setContextMenu(&menu_);
  connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick) OpenSchedules();
  });
  timer_.setInterval(sched::kTimerPeriodMs);
  connect(&timer_, &QTimer::timeout, this, &MainFrame::OnTimer);
}

MainFrame::~MainFrame() { tray_.hide(); }

MainFrame::StartResult MainFrame::Start() {
  bool held = false;
  std::string error;
  lock_ = platform::InstanceLock::Acquire(sched::kInstanceLock, &held, &error);
  if (!lock_ && held && platform::Exists(sched::kHeadlessTitle)) {
    // A headless scheduler keeps the schedules while no tray runs; the tray
    // form takes them over from it.
    platform::Post(sched::kHeadlessTitle, sched::kYieldMessage, 0, 0);
    for (int i = 0; i < 100 && !lock_; ++i) {
      struct timespec ts{0, 100 * 1000 * 1000};
      nanosleep(&ts, nullptr);
      lock_ = platform::InstanceLock::Acquire(sched::kInstanceLock, &held, &error);
    }
  }
  if (!lock_) return StartResult::kSecondCopy;

  endpoint_ = platform::IpcEndpoint::Open(sched::kTrayTitle, &error);
  if (endpoint_) {
    notifier_ = std::make_unique<QSocketNotifier>(endpoint_->Fd(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &MainFrame::OnMessages);
  }
  UpdateTray();
  tray_.show();

  live_ = std::make_unique<sched::CSchedule>(listFile_);
  if (live_->Load(notice_) == sched::LoadResult::kOpenFailed) {
    notice_.Show(sched::kStr1014NoListFile, sched::NoticeIcon::kExclamation);
    return StartResult::kNoListFile;
  }
  RestartTimerIfReady();
  return StartResult::kRunning;
}

void MainFrame::UpdateTray() {
  tray_.setIcon(paused_ ? PausedIcon() : ReadyIcon());
  tray_.setToolTip(QString::fromLatin1(paused_ ? sched::kStr1013Paused : sched::kStr1002Ready));
}

void MainFrame::RestartTimerIfReady() {
  if (!paused_ && !dialogOpen_ && !live_->Empty() && !timer_.isActive()) timer_.start();
}

void MainFrame::About() {
  AboutDialog dlg;
  dlg.exec();
}

void MainFrame::TogglePause() {
  paused_ = !paused_;
  if (paused_)
    timer_.stop();
  else
    RestartTimerIfReady();
  UpdateTray();
}

void MainFrame::OpenSchedules() {
  if (dialogOpen_) return;
  if (engine_.InTick()) {
    // An overdue question is open inside a tick, which still walks the live
    // list; the dialog opens once the tick is done.
    openAfterTick_ = true;
    return;
  }
  dialogOpen_ = true;
  sched::CSchedule copy(live_->FileName());
  copy.Load(notice_);
  std::string preset = preset_;
  preset_.clear();
  timer_.stop();
  SchedulesDialog dlg(copy, preset, notice_);
  dlg.exec();
  if (dlg.Closed() && dlg.Modified()) {
    auto fresh = std::make_unique<sched::CSchedule>(live_->FileName());
    if (fresh->Load(notice_) == sched::LoadResult::kOpenFailed) {
      qApp->quit();
      return;
    }
    live_ = std::move(fresh);
  }
  dialogOpen_ = false;
  RestartTimerIfReady();
}

void MainFrame::HandOver() {
  std::string file;
  if (!sched::ReadCurrentQueueFile(&file)) return;
  if (dialogOpen_) return;  // a hand-over while the list is open is ignored
  preset_ = file;
  OpenSchedules();
}

void MainFrame::ReloadIfChanged() {
  if (engine_.InTick() || dialogOpen_ || !live_->FileChanged()) return;
  live_->Load(notice_);
}

void MainFrame::OnTimer() {
  ReloadIfChanged();
  engine_.Tick(*live_, notice_);
  if (openAfterTick_ && !engine_.InTick()) {
    openAfterTick_ = false;
    OpenSchedules();
  }
}

void MainFrame::OnMessages() {
  platform::IpcMessage msg;
  while (endpoint_ && endpoint_->TryReceive(&msg)) {
    if (msg.name == platform::kScheduleTransferMessage) {
      HandOver();
    } else if (msg.name == platform::kScheduleChangedMessage) {
      ReloadIfChanged();
      RestartTimerIfReady();
    }
  }
}

int MainFrame::AskOverdue(const sched::CScheduleEntry&, const std::string& text) {
  OverdueDialog dlg(QString::fromStdString(text));
  return dlg.exec();
}

int RunTray(int& argc, char** argv, const std::string& listFile) {
  int status = -1;
  {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("almanor"));
    app.setQuitOnLastWindowClosed(false);
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return -1;
    app.setWindowIcon(ReadyIcon());
    MainFrame frame(listFile);
    switch (frame.Start()) {
      case MainFrame::StartResult::kSecondCopy: return 0;  // one copy runs; this one ends
      case MainFrame::StartResult::kNoListFile: return 1;
      case MainFrame::StartResult::kRunning: break;
    }
    status = app.exec();
  }
  return status;
}

}  // namespace sched_app
