#include "client/shell/pc_panes.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QUrl>

#include <algorithm>
#include <memory>

#include "client/listing/columns.h"
#include "client/shell/icons.h"
#include "client/shell/pc_file_ops.h"

namespace tarn::shell {

namespace {

std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

// ---- Views -------------------------------------------------------------------

PcListView::PcListView(PcPanes& panes, QWidget* parent) : QTreeView(parent), panes_(panes) {}

void PcListView::keyPressEvent(QKeyEvent* event) {
  if (state() == QAbstractItemView::EditingState) return QTreeView::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_F2:
      panes_.RenameCurrent();
      return;
    case Qt::Key_Delete:
      panes_.DeleteSelected();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      panes_.OpenIndex(currentIndex());
      return;
    case Qt::Key_Backspace:
      panes_.GoUp();
      return;
    default:
      QTreeView::keyPressEvent(event);
  }
}

void PcListView::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(panes_.CreateListMenu());
  menu->exec(event->globalPos());
}

PcTreeView::PcTreeView(PcPanes& panes, QWidget* parent) : QTreeView(parent), panes_(panes) {}

void PcTreeView::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
  if (!at.isValid()) return;
  std::unique_ptr<QMenu> menu(panes_.CreateTreeMenu(at));
  menu->exec(event->globalPos());
}

// ---- Panes -------------------------------------------------------------------

PcPanes::PcPanes(ShellContext& ctx, Dialogs& dialogs, IconStore& icons, QWidget* viewParent,
                 QString home, QStringList volumes)
    : ctx_(ctx), dialogs_(dialogs), icons_(icons),
      treeModel_(icons, std::move(home), volumes),
      listModel_(ctx.app.locale), drives_(ctx.app.locale, icons), volumes_(std::move(volumes)) {
  const bool hidden = ctx_.app.settings.cHiddenFlag == "X";
  treeModel_.SetShowHidden(hidden);
  listModel_.SetShowHidden(hidden);
  ReadDrives();
  driveOrder_.setSourceModel(&drives_);
  driveOrder_.setSortRole(PcDriveModel::kSortRole);
  driveOrder_.setSortCaseSensitivity(Qt::CaseInsensitive);

  tree_ = new PcTreeView(*this, viewParent);
  tree_->setModel(&treeModel_);
  tree_->setHeaderHidden(true);
  tree_->setUniformRowHeights(true);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree_->expand(treeModel_.ComputerIndex());
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { OnTreeCurrentChanged(current); });

  list_ = new PcListView(*this, viewParent);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->header()->setSectionsClickable(true);
  list_->header()->setSortIndicatorShown(true);
  list_->header()->setStretchLastSection(false);
  connect(list_->header(), &QHeaderView::sectionClicked, this, &PcPanes::OnListHeaderClicked);
  connect(list_, &QAbstractItemView::doubleClicked, this, &PcPanes::OpenIndex);
  connect(&listModel_, &PcListModel::renameRequested, this, &PcPanes::OnRenameRequested);
  connect(&listModel_, &PcListModel::folderLoaded, this, [this] {
    SetListBusy(false);
    WidenListNameColumn();
  });

  OpenFolder(treeModel_.FilePath(treeModel_.HomeIndex()));
}

PcPanes::~PcPanes() {
  // The views may outlive the panes inside their parent: they must not
  // point at models that go now.
  if (tree_) tree_->setModel(nullptr);
  if (list_) list_->setModel(nullptr);
}

std::string PcPanes::Caption() const {
  const QWidget* top = list_ ? list_->window() : nullptr;
  if (top && top != list_ && !top->windowTitle().isEmpty()) return S(top->windowTitle());
  return ctx_.app.cTitle;
}

void PcPanes::ReadDrives() {
  if (volumes_.isEmpty()) {
    drives_.Refresh();
    return;
  }
  drives_.SetVolumes(volumes_);
}

void PcPanes::SetShowHidden(bool show) {
  treeModel_.SetShowHidden(show);
  listModel_.SetShowHidden(show);
}

void PcPanes::SetListBusy(bool busy) {
  if (busy)
    list_->viewport()->setCursor(Qt::BusyCursor);
  else
    list_->viewport()->unsetCursor();
}

bool PcPanes::OpenFolder(const QString& path) {
  const QModelIndex node = treeModel_.IndexForPath(path);
  if (!node.isValid()) return false;
  for (QModelIndex p = node.parent(); p.isValid(); p = p.parent()) tree_->expand(p);
  if (tree_->currentIndex() == node)
    ShowFolderInList(treeModel_.FilePath(node));
  else
    tree_->setCurrentIndex(node);
  tree_->scrollTo(node);
  return true;
}

void PcPanes::ShowDriveLevel() {
  const QModelIndex computer = treeModel_.ComputerIndex();
  if (tree_->currentIndex() == computer)
    OnTreeCurrentChanged(computer);
  else
    tree_->setCurrentIndex(computer);
}

void PcPanes::OnTreeCurrentChanged(const QModelIndex& current) {
  if (treeModel_.KindOf(current) == PcTreeModel::NodeKind::kComputer) {
    driveLevel_ = true;
    SetListBusy(false);
    UseListModel(&driveOrder_);
    list_->setRootIndex(QModelIndex());
    WidenListNameColumn();
    emit folderChanged(QString());
    return;
  }
  const QString folder = treeModel_.FilePath(current);
  if (!folder.isEmpty()) ShowFolderInList(folder);
}

void PcPanes::ShowFolderInList(const QString& folder) {
  driveLevel_ = false;
  UseListModel(&listModel_);
  // A folder read before shows at once; one not yet read shows the busy
  // cursor until the file-system model has read it.
  const QModelIndex before = listModel_.Files().index(folder);
  SetListBusy(!before.isValid() || listModel_.Files().canFetchMore(before));
  list_->setRootIndex(listModel_.SetFolder(folder));
  list_->scrollToTop();
  emit folderChanged(listModel_.Folder());
}

void PcPanes::UseListModel(QAbstractItemModel* model) {
  if (list_->model() == model) return;
  QItemSelectionModel* old = list_->selectionModel();
  list_->setModel(model);
  delete old;
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit listSelectionChanged(); });
  SizeListColumns();
}

void PcPanes::SizeListColumns() {
  // At least the widths of the system's list, and as wide as a typical
  // cell in the fonts of this desktop.
  const QFontMetrics fm(list_->font());
  const QFontMetrics head(list_->header()->font());
  auto width = [&](int minimum, const QString& sample, const QString& title, int pad) {
    return std::max({minimum, fm.horizontalAdvance(sample) + pad, head.horizontalAdvance(title) + 30});
  };
  const QString date = LocalDateText(QDateTime(QDate(1999, 12, 31), QTime(12, 59)), ctx_.app.locale);
  QHeaderView* h = list_->header();
  if (driveLevel_) {
    h->resizeSection(0, width(130, QStringLiteral("Data (/media/user/Data)"), "Name", 31));
    h->resizeSection(1, width(130, QStringLiteral("Unknown Type"), "Type", 15));
    h->resizeSection(2, width(65, QStringLiteral("9,999GB"), "Total Size", 15));
    h->resizeSection(3, width(75, QStringLiteral("9,999GB"), "Free Space", 15));
    h->setSortIndicator(driveSort_.column, (driveSort_.Direction() > 0) != (driveSort_.column >= 2)
                                               ? Qt::AscendingOrder : Qt::DescendingOrder);
  } else {
    h->resizeSection(0, width(130, QStringLiteral("Dummy File Name"), "Name", 31));
    h->resizeSection(1, width(65, QStringLiteral("999,999KB"), "Size", 15));
    h->resizeSection(2, width(130, QStringLiteral("Tar archive (gzip-compressed)"), "Type", 15));
    h->resizeSection(3, width(130, date, "Modified", 15));
    const PcSortState& s = listModel_.SortState();
    h->setSortIndicator(s.column, (s.Direction() > 0) != (s.column == 1) ? Qt::AscendingOrder
                                                                         : Qt::DescendingOrder);
  }
}

void PcPanes::WidenListNameColumn() {
  // The longest name by its characters, measured once: a folder of
  // 100,000 files costs one pass over the names, not 100,000 measurements.
  QAbstractItemModel* m = list_->model();
  const QModelIndex root = list_->rootIndex();
  QString longest;
  for (int r = 0, n = m->rowCount(root); r < n; ++r) {
    const QString name = m->index(r, 0, root).data().toString();
    if (name.size() > longest.size()) longest = name;
  }
  if (longest.isEmpty()) return;
  int width = list_->fontMetrics().horizontalAdvance(longest) + listing::kFirstColumnPadding;
  width = std::min(width, std::max(list_->viewport()->width() * 3 / 5, 200));
  if (width > list_->header()->sectionSize(0)) list_->header()->resizeSection(0, width);
}

void PcPanes::OnListHeaderClicked(int section) {
  if (driveLevel_) {
    if (!driveSort_.Click(section)) return;
    // Names and types A to Z, sizes the larger first, at direction +1.
    const bool ascending = (driveSort_.Direction() > 0) != (section >= 2);
    driveOrder_.sort(section, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  } else if (!listModel_.SortByHeader(section)) {
    return;
  }
  const bool sizes = driveLevel_ ? section >= 2 : section == 1;
  const int direction = driveLevel_ ? driveSort_.Direction() : listModel_.SortState().Direction();
  list_->header()->setSortIndicator(section, (direction > 0) != sizes ? Qt::AscendingOrder
                                                                      : Qt::DescendingOrder);
}

void PcPanes::Refresh() {
  const QString folder = CurrentFolder();
  const bool drives = driveLevel_;
  treeModel_.Refresh();
  tree_->expand(treeModel_.ComputerIndex());
  ReadDrives();
  listModel_.Refresh();
  if (drives || !OpenFolder(folder)) {
    if (drives) ShowDriveLevel();
    else OpenFolder(treeModel_.FilePath(treeModel_.HomeIndex()));
  }
}

QStringList PcPanes::SelectedPaths() const {
  QStringList out;
  if (driveLevel_ || !list_->selectionModel()) return out;
  QModelIndexList rows = list_->selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  for (const QModelIndex& i : rows) out << listModel_.FilePath(i);
  return out;
}

void PcPanes::DeleteSelected() {
  if (driveLevel_) return;
  const QModelIndexList rows = list_->selectionModel()->selectedRows(0);
  if (rows.isEmpty()) return;
  // A selection with a folder in it is not deleted at all.
  for (const QModelIndex& i : rows)
    if (listModel_.IsFolder(i)) return;
  if (dialogs_.Box(PcDeleteQuestion(static_cast<size_t>(rows.size())), Caption(),
                   BoxButtons::kOkCancel, BoxIcon::kQuestion) != BoxResult::kOk)
    return;
  const std::string session = sessionName_ ? sessionName_() : std::string();
  std::vector<QPersistentModelIndex> keep(rows.begin(), rows.end());
  for (const QPersistentModelIndex& i : keep) {
    if (!i.isValid()) continue;
    const std::string path = S(listModel_.FilePath(i));
    std::string error;
    if (DeleteLocalFile(path, &error)) {
      ClearResumeStateOf(ctx_.store, ctx_.app, session, path);
      continue;
    }
    dialogs_.Box(PcDeleteFailedText(path, error), Caption(), BoxButtons::kOk, BoxIcon::kInformation);
    list_->selectionModel()->select(i, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  }
}

void PcPanes::RenameCurrent() {
  if (driveLevel_) return;
  const QModelIndexList rows = list_->selectionModel()->selectedRows(0);
  if (rows.size() != 1) return;
  list_->setCurrentIndex(rows.front());
  list_->edit(rows.front());
}

void PcPanes::OnRenameRequested(const QString& path, const QString& newName) {
  const QFileInfo info(path);
  std::string error;
  if (RenameLocalFile(S(info.absolutePath()), S(info.fileName()), S(newName), &error)) return;
  dialogs_.Box("Failed to rename file '" + S(path) + "' - " + error, Caption(), BoxButtons::kOk,
               BoxIcon::kInformation);
}

void PcPanes::CreateFolder(const QString& inFolder) {
  const QString folder = inFolder.isEmpty() ? CurrentFolder() : inFolder;
  if (folder.isEmpty()) return;
  std::string name = "New Folder";
  if (!dialogs_.NewFolderName(&name)) return;
  std::string error;
  if (!CreateLocalFolder(S(folder), name, &error))
    dialogs_.Box("Failed to create folder '" + name + "' - " + error, Caption(), BoxButtons::kOk,
                 BoxIcon::kInformation);
}

void PcPanes::OpenIndex(const QModelIndex& index) {
  if (!index.isValid()) return;
  if (driveLevel_) {
    OpenFolder(index.data(PcDriveModel::kPathRole).toString());
    return;
  }
  const QString path = listModel_.FilePath(index);
  if (listModel_.IsFolder(index)) {
    OpenFolder(path);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    dialogs_.Box("No program could be started to open '" + S(path) + "'.", Caption(),
                 BoxButtons::kOk, BoxIcon::kInformation);
}

void PcPanes::GoUp() {
  const QModelIndex node = tree_->currentIndex();
  switch (treeModel_.KindOf(node)) {
    case PcTreeModel::NodeKind::kFolder:
    case PcTreeModel::NodeKind::kVolume:
      tree_->setCurrentIndex(node.parent());
      break;
    case PcTreeModel::NodeKind::kHome: {
      // Above the home folder is its parent folder on its file system.
      QDir up(treeModel_.FilePath(node));
      if (up.cdUp()) OpenFolder(up.absolutePath());
      break;
    }
    default:
      break;
  }
}

QMenu* PcPanes::CreateListMenu() {
  auto* menu = new QMenu(list_);
  const QModelIndexList rows =
      list_->selectionModel() ? list_->selectionModel()->selectedRows(0) : QModelIndexList();
  bool folder = false;
  if (!driveLevel_)
    for (const QModelIndex& i : rows) folder = folder || listModel_.IsFolder(i);
  const QModelIndex current = rows.size() == 1 ? rows.front() : QModelIndex();

  QAction* open = menu->addAction(QString::fromUtf8(kPcOpenText));
  open->setEnabled(current.isValid());
  connect(open, &QAction::triggered, this, [this, current] { OpenIndex(current); });
  menu->addSeparator();
  QAction* rename = menu->addAction(QString::fromUtf8(kPcRenameText));
  rename->setShortcut(QKeySequence(Qt::Key_F2));
  rename->setEnabled(!driveLevel_ && rows.size() == 1);
  connect(rename, &QAction::triggered, this, &PcPanes::RenameCurrent);
  QAction* remove = menu->addAction(QString::fromUtf8(kPcDeleteText));
  remove->setShortcut(QKeySequence(QKeySequence::Delete));
  remove->setEnabled(!driveLevel_ && !rows.isEmpty() && !folder);
  connect(remove, &QAction::triggered, this, &PcPanes::DeleteSelected);
  menu->addSeparator();
  QAction* create = menu->addAction(QString::fromUtf8(kPcNewFolderText));
  create->setEnabled(!driveLevel_);
  connect(create, &QAction::triggered, this, [this] { CreateFolder(); });
  QAction* refresh = menu->addAction(QString::fromUtf8(kPcRefreshText));
  refresh->setShortcut(QKeySequence(QKeySequence::Refresh));
  connect(refresh, &QAction::triggered, this, &PcPanes::Refresh);
  return menu;
}

QMenu* PcPanes::CreateTreeMenu(const QModelIndex& node) {
  auto* menu = new QMenu(tree_);
  const QString folder = treeModel_.FilePath(node);
  QAction* create = menu->addAction(QString::fromUtf8(kPcNewFolderText));
  create->setEnabled(!folder.isEmpty());
  connect(create, &QAction::triggered, this, [this, folder] { CreateFolder(folder); });
  QAction* refresh = menu->addAction(QString::fromUtf8(kPcRefreshText));
  connect(refresh, &QAction::triggered, this, &PcPanes::Refresh);
  return menu;
}

}  // namespace tarn::shell
