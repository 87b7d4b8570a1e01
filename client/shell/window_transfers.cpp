#include "client/shell/window_transfers.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "client/shell/command_states.h"
#include "client/shell/host_list_cells.h"
#include "client/shell/host_list_pane.h"
#include "client/shell/host_tree_model.h"
#include "client/shell/main_window.h"
#include "client/shell/pc_panes.h"

namespace tarn::shell {

namespace {

QIcon Bundled(const char* name) { return QIcon(QStringLiteral(":/tarn/icons/%1.svg").arg(name)); }

int64_t ListedBytes(const listing::RemoteEntry& e) {
  switch (e.sizeForm) {
    case listing::SizeForm::kExact:
    case listing::SizeForm::kExactOrZero:
    case listing::SizeForm::kApprox:
    case listing::SizeForm::kUpperBound: return static_cast<int64_t>(e.Size());
    default: return -1;
  }
}

// The whole row under a list entry, for the drop highlight.
QRect RowRect(QAbstractItemView* view, const QModelIndex& index) {
  QRect r = view->visualRect(index);
  r.setLeft(0);
  r.setWidth(view->viewport()->width());
  return r;
}

QAction* Find(QMenu* menu, const char* text) {
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8(text)) return a;
  return nullptr;
}

}  // namespace

WindowTransfers::WindowTransfers(MainWindow& window, ShellContext& ctx, Dialogs& dialogs)
    : QObject(&window), window_(window), ctx_(ctx) {
  hostCommands_ = std::make_unique<HostCommands>(ctx, dialogs, &window);
  hostCommands_->SetRunner([this](ConnWorker::Op op, bool refresh, std::function<void(int)> done) {
    return window_.session().RunHostCommand(std::move(op), refresh, std::move(done));
  });
  transfers_ = std::make_unique<TransferCommands>(ctx, dialogs, window.session(), &window);
  transfers_->SetHooks(Hooks());
  transfers_->AttachViews(window.hostTree(), window.hostList(), window.pcPanes()->treeView(),
                          window.pcPanes()->listView());
  BuildActions();

  window.hostPane()->viewport()->installEventFilter(this);
  window.pcPanes()->listView()->viewport()->installEventFilter(this);
  window.pcPanes()->treeView()->viewport()->installEventFilter(this);
  connect(&window.session(), &HostSession::stateChanged, this, &WindowTransfers::UpdateStates);
  connect(window.hostPane()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &WindowTransfers::UpdateStates);
  connect(&window.hostPane()->listModel(), &QAbstractItemModel::modelReset, this,
          &WindowTransfers::UpdateStates);
  connect(window.pcPanes(), &PcPanes::listSelectionChanged, this, &WindowTransfers::UpdateStates);
  connect(window.pcPanes(), &PcPanes::folderChanged, this, &WindowTransfers::UpdateStates);
  connect(transfers_.get(), &TransferCommands::transferDone, this, &WindowTransfers::UpdateStates);
  UpdateStates();
}

WindowTransfers::~WindowTransfers() = default;

// --- Actions -------------------------------------------------------------------------------

void WindowTransfers::BuildActions() {
  struct Def {
    int id;
    const char* text;
    const char* icon;
    std::function<void()> run;
  };
  const Def defs[] = {
      {kCmdDownload, "&Download", "tb-download", [this] { transfers_->Download(); }},
      {kCmdUpload, "&Upload", "tb-upload", [this] { transfers_->Upload(); }},
      {kCmdAppend, kAppendText, "tb-append", [this] { transfers_->Append(); }},
      {kCmdBrowseFile, kBrowseText, "tb-browse", [this] { Browse(); }},
      {kCmdMvsOptions, "&MVS Options...", nullptr, [this] { hostCommands_->MvsOptions(); }},
      {kCmdVmOptions, "&VM Options...", nullptr, [this] { hostCommands_->VmOptions(); }},
      {kCmdPermissions, "Change File &Permissions...", nullptr, [this] { ChangePermissions(); }},
  };
  for (const Def& d : defs) {
    auto* a = new QAction(QString::fromUtf8(d.text), this);
    if (d.icon) a->setIcon(Bundled(d.icon));
    const char* tip = ToolTipOf(d.id);
    if (tip[0]) a->setToolTip(tip);
    connect(a, &QAction::triggered, this, d.run);
    actions_.insert(d.id, a);
  }
  copy_ = new QAction(kFtpCopyText, this);
  paste_ = new QAction(kFtpPasteText, this);

  // The Transfer menu: the transfers, then the modes, then the host's options.
  QMenu* transfer = nullptr;
  for (QAction* top : window_.menuBar()->actions())
    if (top->menu() && top->text() == "&Transfer") transfer = top->menu();
  QAction* firstMode = window_.action(kCmdModeAscii);
  if (transfer != nullptr) {
    for (int id : {kCmdDownload, kCmdUpload, kCmdAppend}) transfer->insertAction(firstMode, action(id));
    transfer->insertSeparator(firstMode);
    transfer->insertAction(firstMode, action(kCmdBrowseFile));
    transfer->insertSeparator(firstMode);
    transfer->addSeparator();
    for (int id : {kCmdMvsOptions, kCmdVmOptions, kCmdPermissions}) transfer->addAction(action(id));
  }
  // The tool bar: the transfer buttons before the mode buttons.
  if (QToolBar* bar = window_.toolBar()) {
    for (int id : {kCmdDownload, kCmdUpload, kCmdAppend, kCmdBrowseFile}) bar->insertAction(firstMode, action(id));
    bar->insertSeparator(firstMode);
  }
}

bool WindowTransfers::ConnectedIdle() const {
  const HostSession& s = window_.session();
  return s.conn() == WindowConn::kConnected && !s.listingRunning();
}

void WindowTransfers::UpdateStates() {
  const WindowFacts facts = window_.session().facts();
  const bool idle = ConnectedIdle();
  const std::vector<HostItem> host = HostSelection();
  const QStringList pc = window_.pcPanes()->SelectedPaths();
  bool onlyFiles = !host.empty();
  for (const HostItem& i : host) onlyFiles = onlyFiles && !i.isFolder && !i.isParent;
  const bool onePcFile = pc.size() == 1 && QFileInfo(pc.front()).isFile();

  auto set = [this](int id, bool enabled, bool visible = true) {
    QAction* a = action(id);
    a->setEnabled(enabled);
    a->setVisible(visible);
  };
  // The transfer buttons are hidden while no session is connected.
  set(kCmdDownload, StateOf(kCmdDownload, facts).enabled && CanCopyHost(host) && PcTreeFolder().has_value(),
      StateOf(kCmdDownload, facts).visible);
  set(kCmdUpload, StateOf(kCmdUpload, facts).enabled && !pc.isEmpty() && HostTreeFolder().has_value(),
      StateOf(kCmdUpload, facts).visible);
  set(kCmdAppend, StateOf(kCmdAppend, facts).enabled && onePcFile && host.size() == 1 && onlyFiles,
      StateOf(kCmdAppend, facts).visible);
  set(kCmdBrowseFile, idle && onlyFiles);
  set(kCmdMvsOptions, idle);
  set(kCmdVmOptions, idle);
  // The engine says when the host takes SITE CHMOD (a UNIX server, or UNIX
  // paths on an MVS host).
  set(kCmdPermissions, idle && window_.EngineAllows(kCmdPermissions));
}

// --- What the panes hold -------------------------------------------------------------------

HostItem WindowTransfers::ItemOfRow(int r) const {
  const HostListModel& m = window_.hostPane()->listModel();
  const HostRow row = m.Row(r);
  HostItem item;
  item.path = row.path;
  item.name = row.listedName;
  item.bytes = -1;
  item.isFolder = row.isDirectory;
  item.isParent = row.isParent;
  item.mvsKind = m.Facts().hostFamily == HOST_MVS ? row.kind : 0;
  item.recordLength = row.recordLength;
  if (!IsVseColumnSet(m.ColumnSet()) && static_cast<size_t>(r) < m.Rows().size()) {
    const listing::RemoteEntry& e = m.Rows()[static_cast<size_t>(r)];
    item.bytes = ListedBytes(e);
    item.modified = e.modified;
  }
  return item;
}

std::vector<HostItem> WindowTransfers::HostSelection() const {
  std::vector<HostItem> out;
  if (window_.session().conn() != WindowConn::kConnected) return out;
  for (int r : window_.hostPane()->SelectedRows()) out.push_back(ItemOfRow(r));
  return out;
}

std::optional<HostPlace> WindowTransfers::PlaceOfNode(const QModelIndex& index) const {
  if (HostTreeModel::KindOf(index) != HostTreeModel::ItemKind::kDirectory) return std::nullopt;
  const listing::NodeId node = HostTreeModel::NodeOf(index);
  const listing::HostTree& tree = window_.session().treeModel().tree();
  // The session's own node names no directory.
  if (!tree.IsLive(node) || node == tree.FirstTopLevel()) return std::nullopt;
  const listing::TreeNode& rec = tree.Record(node);
  return HostPlace{rec.path, rec.kind, node == window_.session().selectedNode()};
}

std::optional<HostPlace> WindowTransfers::HostTreeFolder() const {
  if (!ConnectedIdle()) return std::nullopt;
  const listing::NodeId node = window_.session().selectedNode();
  const listing::HostTree& tree = window_.session().treeModel().tree();
  if (node == listing::kNoNode || !tree.IsLive(node)) return std::nullopt;
  const listing::TreeNode& rec = tree.Record(node);
  return HostPlace{rec.path, rec.kind, true};
}

std::optional<PcPlace> WindowTransfers::PcTreeFolder() const {
  const QString folder = window_.pcPanes()->CurrentFolder();
  if (folder.isEmpty()) return std::nullopt;
  return PcPlace{folder, true};
}

PaneHooks WindowTransfers::Hooks() {
  PaneHooks h;
  h.hostSelection = [this] { return HostSelection(); };
  h.pcSelection = [this] { return window_.pcPanes()->SelectedPaths(); };
  h.hostTreeFolder = [this] { return HostTreeFolder(); };
  h.pcTreeFolder = [this] { return PcTreeFolder(); };
  h.hostSelectedFile = [this]() -> std::optional<HostItem> {
    const std::vector<HostItem> sel = HostSelection();
    if (sel.size() != 1 || sel[0].isFolder || sel[0].isParent) return std::nullopt;
    return sel[0];
  };
  h.hostDropAt = [this](QAbstractItemView* view, QPoint pos,
                        bool several) -> std::optional<DropTarget<HostPlace>> {
    if (!ConnectedIdle()) return std::nullopt;
    const QModelIndex at = view->indexAt(pos);
    if (view == window_.hostTree()) {
      std::optional<HostPlace> place = PlaceOfNode(at);
      if (!place) return std::nullopt;
      return DropTarget<HostPlace>{*place, view->visualRect(at)};
    }
    std::optional<HostPlace> shown = HostTreeFolder();
    if (!at.isValid()) {
      if (!shown) return std::nullopt;
      return DropTarget<HostPlace>{*shown, QRect()};  // the directory on display
    }
    const HostItem item = ItemOfRow(at.row());
    if (item.isParent) return std::nullopt;
    if (item.isFolder) return DropTarget<HostPlace>{HostPlace{item.path, item.mvsKind, false}, RowRect(view, at)};
    if (several || !shown) return std::nullopt;
    return DropTarget<HostPlace>{*shown, QRect()};
  };
  h.pcDropAt = [this](QAbstractItemView* view, QPoint pos, bool several) -> std::optional<DropTarget<PcPlace>> {
    PcPanes& pcs = *window_.pcPanes();
    const QModelIndex at = view->indexAt(pos);
    if (view == pcs.treeView()) {
      const auto kind = pcs.treeModel().KindOf(at);
      const QString path = pcs.treeModel().FilePath(at);
      // Only folders of the file system take files.
      if (kind == PcTreeModel::NodeKind::kNone || kind == PcTreeModel::NodeKind::kComputer ||
          path.isEmpty() || !QFileInfo(path).isDir())
        return std::nullopt;
      return DropTarget<PcPlace>{PcPlace{path, path == pcs.CurrentFolder()}, view->visualRect(at)};
    }
    if (pcs.AtDriveLevel()) return std::nullopt;
    std::optional<PcPlace> shown = PcTreeFolder();
    if (!shown) return std::nullopt;
    if (!at.isValid()) return DropTarget<PcPlace>{*shown, QRect()};
    if (pcs.listModel().IsFolder(at))
      return DropTarget<PcPlace>{PcPlace{pcs.listModel().FilePath(at), false}, RowRect(view, at)};
    if (several) return std::nullopt;
    return DropTarget<PcPlace>{*shown, QRect()};
  };
  return h;
}

// --- Commands --------------------------------------------------------------------------------

void WindowTransfers::Browse() {
  std::vector<listing::BrowseRow> files;
  for (const HostItem& i : HostSelection())
    if (!i.isFolder && !i.isParent) files.push_back({i.path, i.name});
  hostCommands_->Browse(files, window_.session().transferMode());
}

void WindowTransfers::ChangePermissions() {
  HostListPane* pane = window_.hostPane();
  const HostListModel& m = pane->listModel();
  std::vector<listing::PermissionRow> rows;
  rows.reserve(static_cast<size_t>(m.rowCount()));
  for (int r = 0; r < m.rowCount(); ++r) {
    const HostRow row = m.Row(r);
    rows.push_back({row.name, pane->selectionModel()->isRowSelected(r, QModelIndex()), row.isParent});
  }
  // The rows taken are deselected, as they are handed over.
  pane->clearSelection();
  hostCommands_->ChangePermissions(rows);
}

void WindowTransfers::AddHostTreeEntries(QMenu* menu, const QModelIndex& node) {
  std::optional<HostPlace> place = PlaceOfNode(node);
  if (!place) return;
  const bool can = ConnectedIdle() && CanPaste(transfers_->clipboard(), true, 0);
  QAction* paste = menu->addAction(kFtpPasteText, this, [this, p = *place] { transfers_->PasteToHost(p); });
  paste->setEnabled(can);
  QAction* queue = menu->addAction(kAddToQueueText, this, [this, p = *place] { transfers_->QueueToHost(p); });
  queue->setEnabled(can && transfers_->CanQueue());
}

// --- Context menus -------------------------------------------------------------------------------

bool WindowTransfers::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ContextMenu) return QObject::eventFilter(watched, event);
  const QPoint global = static_cast<QContextMenuEvent*>(event)->globalPos();
  std::unique_ptr<QMenu> menu;
  if (watched == window_.hostPane()->viewport()) {
    if (!window_.hostPane()->Connected()) return false;
    menu.reset(CreateHostListMenu(global));
  } else if (watched == window_.pcPanes()->listView()->viewport()) {
    menu.reset(CreatePcListMenu(global));
  } else if (watched == window_.pcPanes()->treeView()->viewport()) {
    menu.reset(CreatePcTreeMenu(global));
  } else {
    return false;
  }
  if (menu) menu->exec(global);
  return true;
}

QMenu* WindowTransfers::CreateHostListMenu(const QPoint& global) {
  HostListPane* pane = window_.hostPane();
  const QModelIndex at = pane->indexAt(pane->viewport()->mapFromGlobal(global));
  const int clicked = at.isValid() ? at.row() : -1;
  std::unique_ptr<QMenu> menu(pane->CreateContextMenu(clicked));
  QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().front();
  const std::vector<HostItem> sel = HostSelection();
  const bool idle = ConnectedIdle();

  QAction* copy = new QAction(kFtpCopyText, menu.get());
  copy->setEnabled(idle && CanCopyHost(sel));
  connect(copy, &QAction::triggered, transfers_.get(), &TransferCommands::CopyHost);
  // Paste goes into the directory entry clicked, else the directory on display.
  std::optional<HostPlace> target = HostTreeFolder();
  bool onParent = false;
  if (clicked >= 0) {
    const HostItem item = ItemOfRow(clicked);
    onParent = item.isParent;
    if (item.isFolder && !item.isParent) target = HostPlace{item.path, item.mvsKind, false};
  }
  const bool canPaste = idle && target && !onParent &&
                        CanPaste(transfers_->clipboard(), true, static_cast<int>(sel.size()));
  QAction* paste = new QAction(kFtpPasteText, menu.get());
  paste->setEnabled(canPaste);
  QAction* queue = new QAction(kAddToQueueText, menu.get());
  queue->setEnabled(canPaste && transfers_->CanQueue());
  if (target) {
    connect(paste, &QAction::triggered, this, [this, p = *target] { transfers_->PasteToHost(p); });
    connect(queue, &QAction::triggered, this, [this, p = *target] { transfers_->QueueToHost(p); });
  }
  menu->insertAction(first, copy);
  menu->insertAction(first, paste);
  menu->insertAction(first, queue);
  menu->insertSeparator(first);

  QAction* rename = Find(menu.get(), kRenameText);
  QAction* browse = new QAction(kBrowseText, menu.get());
  bool files = !sel.empty();
  for (const HostItem& i : sel) files = files && !i.isFolder && !i.isParent;
  browse->setEnabled(idle && files);
  connect(browse, &QAction::triggered, this, &WindowTransfers::Browse);
  QAction* recall = new QAction(kRecallText, menu.get());
  const bool migrated = sel.size() == 1 && window_.session().viewFacts().hostFamily == HOST_MVS &&
                        sel[0].mvsKind == listing::kKindMigrated;
  recall->setEnabled(idle && migrated);
  connect(recall, &QAction::triggered, this, [this, path = migrated ? sel[0].path : std::string()] {
    hostCommands_->Recall(path);
  });
  menu->insertAction(rename, browse);
  menu->insertAction(rename, recall);
  menu->insertSeparator(rename);
  return menu.release();
}

QMenu* WindowTransfers::CreatePcListMenu(const QPoint& global) {
  PcPanes& pcs = *window_.pcPanes();
  QAbstractItemView* list = pcs.listView();
  const QModelIndex at = list->indexAt(list->viewport()->mapFromGlobal(global));
  std::unique_ptr<QMenu> menu(pcs.CreateListMenu());
  QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().front();
  const QStringList sel = pcs.SelectedPaths();
  QAction* copy = new QAction(kFtpCopyText, menu.get());
  copy->setEnabled(!sel.isEmpty() && !pcs.AtDriveLevel());
  connect(copy, &QAction::triggered, transfers_.get(), &TransferCommands::CopyPc);
  std::optional<PcPlace> target = PcTreeFolder();
  if (at.isValid() && !pcs.AtDriveLevel() && pcs.listModel().IsFolder(at))
    target = PcPlace{pcs.listModel().FilePath(at), false};
  const bool canPaste = ConnectedIdle() && target && !pcs.AtDriveLevel() &&
                        CanPaste(transfers_->clipboard(), false, static_cast<int>(sel.size()));
  QAction* paste = new QAction(kFtpPasteText, menu.get());
  paste->setEnabled(canPaste);
  QAction* queue = new QAction(kAddToQueueText, menu.get());
  queue->setEnabled(canPaste && transfers_->CanQueue());
  if (target) {
    connect(paste, &QAction::triggered, this, [this, p = *target] { transfers_->PasteToPc(p); });
    connect(queue, &QAction::triggered, this, [this, p = *target] { transfers_->QueueToPc(p); });
  }
  menu->insertAction(first, copy);
  menu->insertAction(first, paste);
  menu->insertAction(first, queue);
  menu->insertSeparator(first);
  return menu.release();
}

QMenu* WindowTransfers::CreatePcTreeMenu(const QPoint& global) {
  PcPanes& pcs = *window_.pcPanes();
  QAbstractItemView* tree = pcs.treeView();
  const QModelIndex at = tree->indexAt(tree->viewport()->mapFromGlobal(global));
  if (!at.isValid()) return nullptr;
  std::unique_ptr<QMenu> menu(pcs.CreateTreeMenu(at));
  QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().front();
  const QString path = pcs.treeModel().FilePath(at);
  const bool canPaste = ConnectedIdle() && !path.isEmpty() && QFileInfo(path).isDir() &&
                        CanPaste(transfers_->clipboard(), false, 0);
  const PcPlace place{path, path == window_.pcPanes()->CurrentFolder()};
  QAction* paste = new QAction(kFtpPasteText, menu.get());
  paste->setEnabled(canPaste);
  connect(paste, &QAction::triggered, this, [this, place] { transfers_->PasteToPc(place); });
  QAction* queue = new QAction(kAddToQueueText, menu.get());
  queue->setEnabled(canPaste && transfers_->CanQueue());
  connect(queue, &QAction::triggered, this, [this, place] { transfers_->QueueToPc(place); });
  menu->insertAction(first, paste);
  menu->insertAction(first, queue);
  menu->insertSeparator(first);
  return menu.release();
}

}  // namespace tarn::shell
