#include "client/shell/queue_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

#include "client/engine/transfer_batch.h"
#include "client/session/session_store.h"
#include "platform/ipc.h"
#include "platform/paths.h"

namespace tarn::shell {

namespace {

constexpr const char* kShortTitle = "Tarn";

QString Q(const std::string& s) { return QString::fromStdString(s); }

const std::string& Column(const QueueRow& row, int column) {
  switch (column) {
    case 0: return row.hostname;
    case 1: return row.direction;
    case 2: return row.localFile;
    case 3: return row.transferType;
    case 4: return row.passive;
    default: return row.remoteFile;
  }
}

int Index(QueueCommand c) { return static_cast<int>(c); }

}  // namespace

bool QueueCommandEnabled(QueueCommand command, bool fileOpen) {
  switch (command) {
    case QueueCommand::kLoad:
    case QueueCommand::kShow: return true;
    default: return fileOpen;
  }
}

namespace {

// The remote name as the run sends it, unchanged: an MVS data set goes in
// quotes, fully qualified, as the window sends it, so that the server's
// prefix of the day is not put before it.
std::string RunRemoteName(int32_t hostFamily, const std::string& name) {
  if (hostFamily != HOST_MVS || name.empty() || name[0] == '\'' || name[0] == '/') return name;
  return "'" + name + "'";
}

}  // namespace

bool QueueEntriesOf(const TransferBatch& batch, bool passive, std::vector<QEntry>* entries,
                    size_t* leftOut) {
  size_t skipped = 0;
  const TransferDirection dir = batch.direction();
  const int32_t family = batch.host().hostFamily;
  for (const TransferRow& row : batch.rows()) {
    // The run transfers single files by name; a folder would fail there.
    if (row.isFolder || row.state == RowState::kRefused) {
      ++skipped;
      continue;
    }
    int32_t flags = row.type == 'A' ? kQueueAscii : kQueueBinary;
    if (passive) flags |= kQueuePassive;
    QEntry e;
    bool ok;
    if (dir == TransferDirection::kDownload) {
      ok = MakeQEntry(RunRemoteName(family, row.from), row.to, flags | kQueueDownload, &e);
    } else {
      if (dir != TransferDirection::kAppend) flags |= kQueueUpload;
      ok = MakeQEntry(RunRemoteName(family, row.to), row.from, flags, &e);
    }
    if (!ok) return false;
    entries->push_back(e);
  }
  if (leftOut) *leftOut = skipped;
  return true;
}

// ---- QueueModel -------------------------------------------------------------

void QueueModel::SetQueue(const TransferQueue& queue) {
  beginResetModel();
  rows_ = QueueRows(queue);
  endResetModel();
}

void QueueModel::RemoveRows(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // From the bottom, so that the rows still to go keep their numbers.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    const int r = *it;
    if (r < 0 || r >= static_cast<int>(rows_.size())) continue;
    beginRemoveRows({}, r, r);
    rows_.erase(rows_.begin() + r);
    endRemoveRows();
  }
}

bool QueueModel::Rebuild(TransferQueue* queue) const { return RebuildQueueFromRows(rows_, queue); }

int QueueModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int QueueModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 6; }

QVariant QueueModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  return Q(Column(rows_[index.row()], index.column()));
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 6)
    return {};
  return QString(kQueueColumnTitles[section]);
}

Qt::ItemFlags QueueModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ---- QueueWindow ------------------------------------------------------------

QueueWindow::QueueWindow(SessionStore& store, Ui& ui, QMainWindow* window, QueueWindowHooks hooks)
    : QObject(window), store_(store), ui_(ui), window_(window), hooks_(std::move(hooks)) {
  setObjectName("queueWindow");
  BuildPanel();
  BuildMenu();
  window_->installEventFilter(this);
  UpdateCommands();
  SetShown(QString::fromStdString(ReadAppValue(kShowQueueWindowValue)).left(3).compare(
               "YES", Qt::CaseInsensitive) == 0);
}

QueueWindow::~QueueWindow() {
  if (window_) window_->removeEventFilter(this);
}

void QueueWindow::BuildPanel() {
  dock_ = new QDockWidget(kQueuePanelTitle, window_);
  dock_->setObjectName("queuePanel");
  dock_->setFeatures(QDockWidget::DockWidgetClosable);
  dock_->setAllowedAreas(Qt::BottomDockWidgetArea);
  view_ = new QTreeView(dock_);
  view_->setObjectName("queueList");
  view_->setModel(&model_);
  view_->setRootIsDecorated(false);
  view_->setUniformRowHeights(true);
  view_->setAllColumnsShowFocus(true);
  view_->setSortingEnabled(false);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setTextElideMode(Qt::ElideMiddle);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  QHeaderView* header = view_->header();
  header->setSectionsMovable(false);
  header->setStretchLastSection(true);
  for (int c = 0; c < 5; ++c)
    header->resizeSection(c, header->fontMetrics().horizontalAdvance(kQueueColumnTitles[c]) +
                                 kQueueColumnMargin);
  connect(view_, &QWidget::customContextMenuRequested, this, &QueueWindow::ShowContextMenu);
  auto* del = new QShortcut(QKeySequence::Delete, view_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(del, &QShortcut::activated, this, &QueueWindow::DeleteSelected);
  dock_->setWidget(view_);
  window_->addDockWidget(Qt::BottomDockWidgetArea, dock_);
  dock_->hide();
  // The panel's own close button hides it as the menu command does.
  connect(dock_->toggleViewAction(), &QAction::toggled, this, [this](bool on) {
    if (on != shown_) SetShown(on);
  });
}

void QueueWindow::BuildMenu() {
  menu_ = new QMenu(kQueueMenuText, window_);
  menu_->setObjectName("queueMenu");
  auto add = [this](QueueCommand c, const char* text, std::function<void()> run) {
    QAction* a = menu_->addAction(text);
    actions_[Index(c)] = a;
    connect(a, &QAction::triggered, this, std::move(run));
  };
  add(QueueCommand::kLoad, "&Load Queue File...", [this] { LoadQueueFileCommand(); });
  add(QueueCommand::kSave, "&Save Queue File", [this] { SaveQueueFileCommand(); });
  add(QueueCommand::kSaveAs, "Save Queue File &As...", [this] { SaveQueueFileAsCommand(); });
  add(QueueCommand::kClose, "&Close Queue File", [this] { CloseQueueFileCommand(); });
  menu_->addSeparator();
  add(QueueCommand::kShow, kShowQueueText, [this] { SetShown(!shown_); });
  menu_->addSeparator();
  add(QueueCommand::kTransfer, "&Transfer Current Queue", [this] { TransferCurrentQueueCommand(); });
  add(QueueCommand::kSchedule, "&Schedule Current Queue", [this] { ScheduleCurrentQueueCommand(); });

  QMenuBar* bar = window_->menuBar();
  QAction* before = nullptr;
  for (QAction* a : bar->actions())
    if (a->text() == "&Help") before = a;
  bar->insertMenu(before, menu_);
}

QAction* QueueWindow::action(QueueCommand command) const { return actions_[Index(command)]; }

void QueueWindow::UpdateCommands() {
  for (int c = 0; c < 7; ++c)
    actions_[c]->setEnabled(QueueCommandEnabled(static_cast<QueueCommand>(c), fileOpen_));
  actions_[Index(QueueCommand::kShow)]->setText(shown_ ? kHideQueueText : kShowQueueText);
  const QString name = path_.empty() ? QString() : QFileInfo(Q(path_)).fileName();
  dock_->setWindowTitle(name.isEmpty() ? QString(kQueuePanelTitle)
                                       : QString(kQueuePanelTitle) + " - " + name);
}

void QueueWindow::SetFile(const std::string& path, bool open) {
  path_ = path;
  fileOpen_ = open;
  UpdateCommands();
  emit fileChanged();
}

void QueueWindow::ShowLoaded(const std::string& path, const TransferQueue& queue) {
  model_.SetQueue(queue);
  changed_ = false;
  SetFile(path, true);
}

// ---- Files ------------------------------------------------------------------

std::string QueueWindow::ReadAppValue(const char* name) const {
  auto key = store_.OpenApplicationKey("", false);
  char buf[kQueueTextCapacity + 1] = {};
  if (!key || !store_.ReadValue(*key, name, buf, sizeof buf)) return "";
  return buf;
}

bool QueueWindow::Choose(bool forOpen, std::string* path) {
  const std::string dir = ReadAppValue(kQueueDirectoryValue);
  bool chosen = false;
  if (hooks_.choose) {
    chosen = hooks_.choose(forOpen, dir, path);
  } else {
    QFileDialog dialog(window_, forOpen ? kOpenScheduleTitle : kSaveScheduleTitle, Q(dir),
                       kScheduleFilter);
    dialog.setAcceptMode(forOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(forOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(kScheduleSuffix);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      *path = dialog.selectedFiles().front().toStdString();
      chosen = true;
    }
  }
  if (!chosen || path->empty()) return false;
  const size_t slash = path->rfind('/');
  if (slash != std::string::npos)
    if (auto key = store_.OpenApplicationKey("", true))
      store_.WriteString(*key, kQueueDirectoryValue, slash == 0 ? "/" : path->substr(0, slash));
  return true;
}

void QueueWindow::ShowFailure(const std::string& text) {
  ui_.MessageBox(text, kShortTitle, BoxButtons::kOk, BoxIcon::kWarning);
}

bool QueueWindow::LoadQueueFileCommand() {
  AskSaveChanges();
  const std::string previous = path_;
  std::string path;
  TransferQueue queue;
  const QueueLoadResult r =
      LoadQueueFile(&path, &queue, ui_, [this](std::string* p) { return Choose(true, p); });
  const std::string notice = QueueLoadNotice(path, r);
  if (r.ok()) {
    ShowLoaded(path, queue);
    if (!notice.empty()) ui_.MessageBox(notice, kShortTitle, BoxButtons::kOk, BoxIcon::kInformation);
    return true;
  }
  // A file that cannot be read says why; a cancel and a refused header
  // (already told) do not.
  if (r.status != QueueLoadStatus::kNoFile && r.status != QueueLoadStatus::kNotScheduleFile)
    ShowFailure(notice);
  TransferQueue before;
  if (!previous.empty() && ReadQueueFile(previous, &before).ok()) {
    ShowLoaded(previous, before);
  } else {
    model_.SetQueue(TransferQueue{});
    changed_ = false;
    SetFile("", false);
  }
  return false;
}

bool QueueWindow::SaveTo(std::string* path) {
  std::string target = *path;
  if (target.empty() && !Choose(false, &target)) return false;
  TransferQueue queue;
  if (!model_.Rebuild(&queue)) {
    ShowFailure(kAddQEntryError);
    return false;
  }
  std::string error;
  if (!SaveQueueFile(target, queue, &error)) {
    ShowFailure("The schedule file " + target + " could not be saved:\n" + error);
    return false;
  }
  *path = target;
  model_.SetQueue(queue);
  changed_ = false;
  SetFile(target, true);
  return true;
}

bool QueueWindow::SaveQueueFileCommand() {
  if (path_.empty()) return false;
  return SaveTo(&path_);
}

bool QueueWindow::SaveQueueFileAsCommand() {
  if (path_.empty()) return false;
  std::string target;
  if (!Choose(false, &target)) return false;
  return SaveTo(&target);
}

void QueueWindow::CloseQueueFileCommand() {
  AskSaveChanges();
  model_.SetQueue(TransferQueue{});
  changed_ = false;
  SetFile("", false);
}

void QueueWindow::AskSaveChanges() {
  if (!changed_) return;
  if (ui_.MessageBox(kChangedQueueQuestion, kShortTitle, BoxButtons::kYesNo, BoxIcon::kQuestion) ==
      BoxResult::kYes) {
    std::string target = path_;
    SaveTo(&target);
  }
}

void QueueWindow::Leave() {
  if (left_) return;
  left_ = true;
  AskSaveChanges();
  if (auto key = store_.OpenApplicationKey("", true))
    store_.WriteString(*key, kShowQueueWindowValue, shown_ ? "YES" : "NO");
}

bool QueueWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Close) Leave();
  return QObject::eventFilter(watched, event);
}

// ---- The panel ----------------------------------------------------------------

void QueueWindow::SetShown(bool shown) {
  const bool first = shown && !shown_ && dock_->isHidden();
  shown_ = shown;
  dock_->setVisible(shown);
  // A maximised main window keeps its size: the panes give up the height.
  if (first) window_->resizeDocks({dock_}, {kQueuePanelHeight}, Qt::Vertical);
  UpdateCommands();
}

void QueueWindow::ShowContextMenu(const QPoint& pos) {
  QMenu menu(view_);
  QAction* del = menu.addAction(kDeleteQueueEntryText);
  del->setEnabled(view_->selectionModel()->hasSelection());
  menu.addSeparator();
  menu.addAction(kCancelMenuText);
  if (menu.exec(view_->viewport()->mapToGlobal(pos)) == del) DeleteSelected();
}

void QueueWindow::DeleteSelected() {
  std::vector<int> rows;
  for (const QModelIndex& i : view_->selectionModel()->selectedRows()) rows.push_back(i.row());
  if (rows.empty()) return;
  model_.RemoveRows(rows);
  changed_ = true;
}

// ---- Adding -----------------------------------------------------------------------

bool QueueWindow::AddEntries(const std::string& sessionName, const std::vector<QEntry>& entries) {
  if (sessionName.empty()) {
    // The run connects by the stored session's name: a quick connection has none.
    ShowFailure("Only the transfers of a stored session can be queued. Save the settings of this "
                "connection as a session first.");
    return false;
  }
  if (entries.empty()) return false;
  TransferQueue before;
  if (!model_.Rebuild(&before)) {
    ShowFailure(kAddQEntryError);
    return false;
  }
  TransferQueue after = before;
  for (const QEntry& e : entries) {
    if (!after.AddToQueue(sessionName, e)) {
      ShowFailure(kAddQEntryError);
      return false;
    }
  }
  model_.SetQueue(after);
  std::string target = path_;
  if (SaveTo(&target)) return true;
  // Nothing of the queue is lost: it is what it was before the add.
  model_.SetQueue(before);
  return false;
}

bool QueueWindow::AddBatch(const std::string& sessionName, const TransferBatch& batch, bool passive) {
  std::vector<QEntry> entries;
  size_t leftOut = 0;
  if (!QueueEntriesOf(batch, passive, &entries, &leftOut)) {
    ShowFailure(kAddQEntryError);
    return false;
  }
  const bool added = AddEntries(sessionName, entries);
  if (leftOut > 0)
    ui_.MessageBox(std::to_string(leftOut) +
                       (leftOut == 1 ? " folder or refused file was" : " folders or refused files were") +
                       " not queued: the queue transfers single files.",
                   kShortTitle, BoxButtons::kOk, BoxIcon::kInformation);
  return added;
}

// ---- Hand-overs ---------------------------------------------------------------------

std::string QueueWindow::ProgramPath(const char* name) const {
  const std::string dir = hooks_.programDir.empty() ? platform::ProgramDirectory() : hooks_.programDir;
  if (dir.empty() || dir == ".") return name;
  return platform::PathJoin(dir, name);
}

namespace {

int Start(const QueueWindowHooks& hooks, const std::vector<std::string>& argv,
          platform::StartHint hint, std::string* error) {
  if (hooks.start) return hooks.start(argv, hint, error);
  // Started programs outlive the window: they never hold its streams.
  return platform::StartProgram(argv, hint, error, platform::ChildStdio::kNull);
}

}  // namespace

bool QueueWindow::TransferCurrentQueueCommand() {
  if (path_.empty()) return false;
  // The run reads the file, not the panel: rows deleted since the last save
  // would otherwise still run.
  AskSaveChanges();
  std::string error;
  const std::string program = ProgramPath("tarn");
  if (Start(hooks_, {program, "-" + path_}, platform::StartHint::kMinimisedNoActivate, &error) < 0) {
    ShowFailure(program + " could not be started: " + error);
    return false;
  }
  return true;
}

bool QueueWindow::ScheduleCurrentQueueCommand() {
  if (path_.empty()) return false;
  AskSaveChanges();
  store_.SetQueueFileForScheduler(path_);
  const bool running = platform::Exists(kSchedulerTitle);
  std::string error;
  const std::string program = ProgramPath("almanor");
  const bool started = Start(hooks_, {program}, platform::StartHint::kNormal, &error) >= 0;
  if (!started) ShowFailure(program + " could not be started: " + error);
  platform::Broadcast(platform::kScheduleTransferMessage, 0, 0);
  // A scheduler that was not running yet has no endpoint for the broadcast:
  // it is told again once it has one.
  if (started && !running) PostToFreshScheduler();
  return started;
}

void QueueWindow::PostToFreshScheduler() {
  if (!schedulerWait_) {
    schedulerWait_ = new QTimer(this);
    schedulerWait_->setInterval(100);
    connect(schedulerWait_, &QTimer::timeout, this, [this] {
      const bool there = platform::Exists(kSchedulerTitle);
      if (there) platform::Post(kSchedulerTitle, platform::kScheduleTransferMessage, 0, 0);
      if (there || schedulerDeadline_.hasExpired()) schedulerWait_->stop();
    });
  }
  schedulerDeadline_.setRemainingTime(kSchedulerStartWaitMs);
  schedulerWait_->start();
}

QueueWindow* QueueWindowOf(QWidget* widget) {
  for (QObject* o = widget; o; o = o->parent())
    if (auto* q = o->findChild<QueueWindow*>(QString(), Qt::FindDirectChildrenOnly)) return q;
  return nullptr;
}

}  // namespace tarn::shell
