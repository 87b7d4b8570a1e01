// The transfer queue in the window: the queue panel docked under the panes
// (six columns, one row per entry, no sorting), the "&Queue" menu, the
// schedule file's open and save dialogs, the changed-queue question, and
// the hand-overs: a second client started on the file at once, or the
// scheduler given the file.
//
// The panel's rows are the queue as the person sees it. Every save first
// rebuilds the queue from them (RebuildQueueFromRows), so the order on the
// screen is the order that runs. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QDeadlineTimer>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

#include "client/session/queue.h"
#include "client/session/queue_file.h"
#include "client/session/ui.h"
#include "platform/process.h"

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;
class QTimer;
class QTreeView;

namespace tarn {
class SessionStore;
class TransferBatch;
}  // namespace tarn

namespace tarn::shell {

inline constexpr const char* kQueuePanelTitle = "Transfer Queue";
inline constexpr const char* kQueueMenuText = "&Queue";
inline constexpr const char* kOpenScheduleTitle = "Open Tarn Schedule File";
inline constexpr const char* kSaveScheduleTitle = "Save Tarn Schedule File";
inline constexpr const char* kScheduleFilter = "Tarn schedule files (*.tsc)";
inline constexpr const char* kScheduleSuffix = "tsc";
inline constexpr const char* kDeleteQueueEntryText = "Delete Queue Entry";
inline constexpr const char* kCancelMenuText = "Cancel menu";
inline constexpr const char* kShowQueueText = "Show Queue &Window";
inline constexpr const char* kHideQueueText = "Hide Queue &Window";
inline constexpr const char* kChangedQueueQuestion =
    "You have made changes to your transfer queue, which is needed if you want\r\n"
    "to schedule files for transfer.  Would you like to save your changes?";
inline constexpr const char* kAddQEntryError = "Error adding QEntry in function 'CmdFtpAddToQueue'";
// Application values.
inline constexpr const char* kQueueDirectoryValue = "Queue Directory";
inline constexpr const char* kShowQueueWindowValue = "Show Queue Window";
// The panel's height when it first shows, in pixels.
inline constexpr int kQueuePanelHeight = 130;
// The first five columns are as wide as their titles plus this.
inline constexpr int kQueueColumnMargin = 50;
// The tray scheduler's endpoint title, and how long a freshly started
// scheduler is given to open it before the hand-over is posted again.
inline constexpr const char* kSchedulerTitle = "Almanor";
inline constexpr int kSchedulerStartWaitMs = 15000;

enum class QueueCommand { kLoad, kSave, kSaveAs, kClose, kShow, kTransfer, kSchedule };

// Whether a command of the "&Queue" menu is enabled: Load and Show always;
// the others exactly while a schedule file is open (the last load or save
// succeeded, and no Close came since).
bool QueueCommandEnabled(QueueCommand command, bool fileOpen);

// The entries "&Add to Queue" makes of a transfer window's rows: one per
// file row, bit 1 for a download and bit 0 for an upload (an append has
// neither), bit 3 for type 'A' else bit 2, bit 4 when `passive`. Folder
// rows and rows refused by the window are left out and counted in
// *leftOut (may be null). MVS data set names are stored quoted, fully
// qualified, since the run sends them as they stand. False when a name
// does not fit an entry.
bool QueueEntriesOf(const TransferBatch& batch, bool passive, std::vector<QEntry>* entries,
                    size_t* leftOut);

// The panel's rows: the six column texts of QueueRow, one row per entry.
class QueueModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit QueueModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  // The rows of `queue`, groups in order and each group's entries in order.
  void SetQueue(const TransferQueue& queue);
  // Removes the rows at `rows` (any order, repeats ignored).
  void RemoveRows(std::vector<int> rows);
  const std::vector<QueueRow>& rows() const { return rows_; }
  // RebuildQueueFromWindow: the queue the rows make, top to bottom. False
  // when an entry cannot be made (a text too long).
  bool Rebuild(TransferQueue* queue) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  std::vector<QueueRow> rows_;
};

// What the queue window reaches outside itself; tests give their own.
struct QueueWindowHooks {
  // The open (forOpen) or save dialog, starting in `dir`; fills `*path`
  // and returns true, or false on Cancel. Empty: the Qt file dialogs.
  std::function<bool(bool forOpen, const std::string& dir, std::string* path)> choose;
  // Starts a program (platform::StartProgram when empty).
  std::function<int(const std::vector<std::string>& argv, platform::StartHint hint,
                    std::string* error)>
      start;
  // Where tarn and almanor are ("" = platform::ProgramDirectory()).
  std::string programDir;
};

class QueueWindow : public QObject {
  Q_OBJECT
 public:
  // Docks the panel at the bottom of `window`, puts the "&Queue" menu into
  // its menu bar (before "&Help" when there is one) and shows the panel
  // when `Show Queue Window` says "YES". `store` and `ui` must outlive it;
  // it is a child of `window`.
  QueueWindow(SessionStore& store, Ui& ui, QMainWindow* window, QueueWindowHooks hooks = {});
  ~QueueWindow() override;

  QueueModel& model() { return model_; }
  QTreeView* view() const { return view_; }
  QDockWidget* dock() const { return dock_; }
  QMenu* menu() const { return menu_; }
  QAction* action(QueueCommand command) const;
  const std::string& path() const { return path_; }
  bool changed() const { return changed_; }
  bool fileOpen() const { return fileOpen_; }
  bool shown() const { return shown_; }

  // The queue of an unattended run, loaded before the window existed.
  void ShowLoaded(const std::string& path, const TransferQueue& queue);

  // ---- The menu's commands ------------------------------------------------
  // After the changed-queue question: the open dialog; a failed or
  // cancelled choice reloads the file that was open before.
  bool LoadQueueFileCommand();
  bool SaveQueueFileCommand();
  // A new name for the open file; Cancel keeps the old one.
  bool SaveQueueFileAsCommand();
  void CloseQueueFileCommand();
  void SetShown(bool shown);
  // A second client runs the file now, minimised, without taking the focus.
  bool TransferCurrentQueueCommand();
  // The file becomes `CurrentQueueFile`, the scheduler is started and told.
  bool ScheduleCurrentQueueCommand();

  // "Delete Queue Entry": every selected row.
  void DeleteSelected();

  // "&Add to Queue": appends `entries` under `sessionName` and saves the
  // queue at once (asking for a name when no file is open). A failed or
  // cancelled save leaves the queue as it was before the add. True when
  // the entries were saved.
  bool AddEntries(const std::string& sessionName, const std::vector<QEntry>& entries);
  // The same for the rows of a transfer window (QueueEntriesOf).
  bool AddBatch(const std::string& sessionName, const TransferBatch& batch, bool passive);

  // The changed-queue question; Yes saves (asking for a name when none).
  void AskSaveChanges();
  // The window closes: the question, then `Show Queue Window` is written.
  // Once only.
  void Leave();

 signals:
  // The queue was saved, loaded or closed (the path may have changed).
  void fileChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPanel();
  void BuildMenu();
  void UpdateCommands();
  void ShowContextMenu(const QPoint& pos);
  // Writes the rows to `path` (asking for a name when empty); `*path` then
  // holds the file saved. A failure is shown. True on success.
  bool SaveTo(std::string* path);
  bool Choose(bool forOpen, std::string* path);
  void ShowFailure(const std::string& text);
  void SetFile(const std::string& path, bool open);
  void PostToFreshScheduler();
  std::string ProgramPath(const char* name) const;
  std::string ReadAppValue(const char* name) const;

  SessionStore& store_;
  Ui& ui_;
  QMainWindow* window_;
  QueueWindowHooks hooks_;
  QueueModel model_;
  QDockWidget* dock_ = nullptr;
  QTreeView* view_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* actions_[7] = {};
  QTimer* schedulerWait_ = nullptr;
  QDeadlineTimer schedulerDeadline_;
  std::string path_;        // the schedule file; "" = none named
  bool fileOpen_ = false;   // the last load or save succeeded
  bool changed_ = false;    // rows deleted since the last save
  bool shown_ = false;
  bool left_ = false;
};

// The queue window of the main window that holds `widget`, or null.
QueueWindow* QueueWindowOf(QWidget* widget);

}  // namespace tarn::shell
