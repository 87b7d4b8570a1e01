#include "client/shell/host_list_pane.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>
#include <memory>

#include "client/listing/listing_thread.h"
#include "client/shell/host_list_commands.h"
#include "client/shell/worker_bridge.h"

namespace tarn::shell {

HostListPane::HostListPane(ShellContext& ctx, Dialogs& dialogs, IconStore& icons, QWidget* parent)
    : QTreeView(parent), ctx_(ctx), dialogs_(dialogs), model_(ctx.app.locale, icons, this) {
  setModel(&model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  // Every row is one line high: the view never measures 100,000 rows.
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideRight);
  header()->setSectionsClickable(true);
  header()->setSectionsMovable(false);
  // Columns keep their widths; the room to their right stays empty rather
  // than pushing the last column (a date) to the far edge.
  header()->setStretchLastSection(false);
  header()->setSortIndicatorShown(false);
  connect(header(), &QHeaderView::sectionClicked, this, &HostListPane::OnHeaderClicked);
  connect(&model_, &HostListModel::RenameRequested, this, &HostListPane::OnRenameRequested);
  connect(this, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { OpenRow(index.row()); });
  ApplyColumnWidths();
}

bool HostListPane::Run(ConnWorker::Op op) {
  if (runner_) return runner_(std::move(op), true, {});
  ShellContext* ctx = &ctx_;
  PostToWorker(ctx_.worker, this, std::move(op), [ctx](int rc) {
    if (rc == kReplyComplete && ctx->refreshHostView) ctx->refreshHostView();
  });
  return true;
}

void HostListPane::ShowListing(listing::HostListing&& rows, const HostViewFacts& facts) {
  model_.SetListing(std::move(rows), facts);
  model_.SetEditable(connected_);
  if (!columnsSized_ || sizedFor_ != model_.ColumnSet()) ApplyColumnWidths();
  WidenNameColumn();
  ShowSortIndicator();
  if (model_.rowCount() > 0) {
    selectionModel()->setCurrentIndex(model_.index(0, 0), QItemSelectionModel::NoUpdate);
    scrollToTop();
  }
}

void HostListPane::ShowDisconnected() {
  SetConnected(false);
  model_.Clear();
  if (!columnsSized_ || sizedFor_ != model_.ColumnSet()) ApplyColumnWidths();
  header()->setSortIndicatorShown(false);
}

void HostListPane::SetConnected(bool connected) {
  connected_ = connected;
  model_.SetEditable(connected);
  if (!connected) header()->setSortIndicatorShown(false);
}

void HostListPane::SetBusy(bool busy) {
  if (busy)
    viewport()->setCursor(Qt::BusyCursor);
  else
    viewport()->unsetCursor();
}

void HostListPane::ApplyColumnWidths() {
  // Each column is as wide as its sample text, plus room for the icon in
  // the first and for the header's own text and sort mark.
  const QFontMetrics rows(font());
  const QFontMetrics head(header()->font());
  const auto& columns = model_.Columns().columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    const int pad = i == 0 ? listing::kFirstColumnPadding : listing::kColumnPadding;
    const QString sample = QString::fromUtf8(columns[i].sample.data(),
                                             static_cast<qsizetype>(columns[i].sample.size()));
    const QString title = QString::fromUtf8(columns[i].header.data(),
                                            static_cast<qsizetype>(columns[i].header.size()));
    const int width = std::max(rows.horizontalAdvance(sample) + pad,
                               head.horizontalAdvance(title) + 2 * listing::kColumnPadding);
    header()->resizeSection(static_cast<int>(i), width);
  }
  sizedFor_ = model_.ColumnSet();
  columnsSized_ = true;
}

void HostListPane::WidenNameColumn() {
  const int row = model_.WidestRow();
  if (row < 0) return;
  const QString name = model_.data(model_.index(row, 0), Qt::DisplayRole).toString();
  int width = fontMetrics().horizontalAdvance(name) + listing::kFirstColumnPadding;
  // A name of 250 characters must not push every other column out of sight.
  width = std::min(width, std::max(viewport()->width() * 3 / 5, 200));
  if (width > header()->sectionSize(0)) header()->resizeSection(0, width);
}

void HostListPane::ShowSortIndicator() {
  const auto& s = model_.SortState();
  if (!connected_ || s.column < 0 || s.column > 3) {
    header()->setSortIndicatorShown(false);
    return;
  }
  // Direction +1 is A to Z, the larger first, the older first: the arrow
  // shows which way the values run.
  const bool ascending = (s.direction[s.column] > 0) != (s.column == 1);
  header()->setSortIndicator(s.column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  header()->setSortIndicatorShown(true);
}

void HostListPane::OnHeaderClicked(int section) {
  if (!connected_) return;
  if (!model_.SortByHeader(section)) {
    ShowSortIndicator();  // a click on a later column leaves the order (and the arrow)
    return;
  }
  ShowSortIndicator();
  if (currentIndex().isValid()) scrollTo(currentIndex());
  // The next listing of this connection sorts its names the same way.
  const listing::SortState s = model_.SortState();
  listing::ListingContext* listing = &ctx_.listing;
  PostToWorker(
      ctx_.worker, nullptr,
      [listing, s](FtpConn&) {
        std::copy(std::begin(s.direction), std::end(s.direction), std::begin(listing->sort.direction));
        return static_cast<int>(kReplyComplete);
      },
      {});
}

std::vector<int> HostListPane::SelectedRows() const {
  std::vector<int> rows;
  if (!selectionModel()) return rows;
  for (const QModelIndex& i : selectionModel()->selectedRows(0)) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void HostListPane::RenameCurrent() {
  const std::vector<int> rows = SelectedRows();
  if (!connected_ || rows.size() != 1 || model_.IsParentRow(rows[0])) return;
  const QModelIndex index = model_.index(rows[0], 0);
  setCurrentIndex(index);
  edit(index);
}

void HostListPane::OnRenameRequested(int row, const QString& newName) {
  if (!connected_) return;
  const HostRow r = model_.Row(row);
  const RenameNames names = RenameNamesFor(r, newName.toStdString(), model_.Facts().hostFamily);
  listing::ListingContext* listing = &ctx_.listing;
  const std::string dir = model_.Facts().currentDir;
  if (!Run([listing, dir, names](FtpConn& c) { return RenameOp(c, *listing, dir, names); }))
    QApplication::beep();
}

void HostListPane::DeleteSelected() {
  const std::vector<int> rows = SelectedRows();
  if (!connected_ || rows.empty()) return;
  for (int r : rows)
    if (model_.IsDirectoryRow(r) || model_.IsParentRow(r)) return;
  const int32_t family = model_.Facts().hostFamily;
  std::vector<DeleteItem> items;
  for (int r : rows) {
    const HostRow row = model_.Row(r);
    items.push_back({DeleteArgumentFor(row, family), row.name});
  }
  if (dialogs_.Box(DeleteQuestion(items.size(), items.front().shownName),
                   DeleteCaption(items.size()), BoxButtons::kYesNo,
                   BoxIcon::kQuestion) != BoxResult::kYes)
    return;
  listing::ListingContext* listing = &ctx_.listing;
  const std::string dir = model_.Facts().currentDir;
  if (!Run([listing, dir, items](FtpConn& c) { return DeleteOp(c, *listing, dir, items); }))
    QApplication::beep();
}

void HostListPane::CreateFolderIn(int row) {
  if (!connected_ || !model_.IsDirectoryRow(row) || model_.IsParentRow(row)) return;
  std::string name = "New Folder";
  if (!dialogs_.NewFolderName(&name)) return;
  const HostViewFacts& f = model_.Facts();
  const std::string argument = NewFolderArgumentFor(model_.Row(row), name, f.hostFamily, f.rootString);
  listing::ListingContext* listing = &ctx_.listing;
  const std::string dir = f.currentDir;
  if (!Run([listing, dir, argument](FtpConn& c) { return MakeFolderOp(c, *listing, dir, argument); }))
    QApplication::beep();
}

void HostListPane::DeleteFolder(int row) {
  if (!connected_ || !model_.IsDirectoryRow(row) || model_.IsParentRow(row)) return;
  const std::string argument = RemoveFolderArgumentFor(model_.Row(row), model_.Facts().hostFamily);
  listing::ListingContext* listing = &ctx_.listing;
  const std::string dir = model_.Facts().currentDir;
  if (!Run([listing, dir, argument](FtpConn& c) { return RemoveFolderOp(c, *listing, dir, argument); }))
    QApplication::beep();
}

void HostListPane::OpenRow(int row) {
  if (!connected_ || !model_.IsDirectoryRow(row)) return;
  emit directoryActivated(model_.Row(row));
}

QMenu* HostListPane::CreateContextMenu(int clickedRow) {
  auto* menu = new QMenu(this);
  if (!connected_) return menu;
  const std::vector<int> rows = SelectedRows();
  bool parentSelected = false, directorySelected = false;
  for (int r : rows) {
    parentSelected = parentSelected || model_.IsParentRow(r);
    directorySelected = directorySelected || model_.IsDirectoryRow(r);
  }
  const bool onParent = model_.IsParentRow(clickedRow);
  const bool onDirectory = model_.IsDirectoryRow(clickedRow) && !onParent;

  QAction* deleteFolder = menu->addAction(QString::fromUtf8(kDeleteFolderText));
  deleteFolder->setEnabled(onDirectory);
  connect(deleteFolder, &QAction::triggered, this, [this, clickedRow] { DeleteFolder(clickedRow); });
  QAction* createFolder = menu->addAction(QString::fromUtf8(kCreateFolderText));
  createFolder->setEnabled(onDirectory);
  connect(createFolder, &QAction::triggered, this, [this, clickedRow] { CreateFolderIn(clickedRow); });
  menu->addSeparator();
  QAction* rename = menu->addAction(QString::fromUtf8(kRenameText));
  rename->setShortcut(QKeySequence(Qt::Key_F2));
  rename->setEnabled(rows.size() == 1 && !parentSelected && !onParent);
  connect(rename, &QAction::triggered, this, &HostListPane::RenameCurrent);
  QAction* remove = menu->addAction(QString::fromUtf8(kDeleteText));
  remove->setShortcut(QKeySequence(QKeySequence::Delete));
  remove->setEnabled(!rows.empty() && !parentSelected && !directorySelected && !onParent);
  connect(remove, &QAction::triggered, this, &HostListPane::DeleteSelected);
  return menu;
}

void HostListPane::contextMenuEvent(QContextMenuEvent* event) {
  if (!connected_) return;
  const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
  std::unique_ptr<QMenu> menu(CreateContextMenu(at.isValid() ? at.row() : -1));
  menu->exec(event->globalPos());
}

void HostListPane::keyPressEvent(QKeyEvent* event) {
  if (state() == QAbstractItemView::EditingState) return QTreeView::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_F2:
      RenameCurrent();
      return;
    case Qt::Key_Delete:
      DeleteSelected();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (currentIndex().isValid()) OpenRow(currentIndex().row());
      return;
    case Qt::Key_Backspace:
      if (connected_) emit upRequested();
      return;
    default:
      QTreeView::keyPressEvent(event);
  }
}

}  // namespace tarn::shell
