#include "client/shell/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "client/session/dialup_ops.h"
#include "client/session/pc_directory.h"
#include "client/session/session_store.h"
#include "client/shell/help_window.h"
#include "client/shell/host_list_model.h"
#include "client/shell/host_list_pane.h"
#include "client/shell/pc_panes.h"
#include "client/shell/icons.h"
#include "client/shell/layout_rules.h"
#include "client/shell/pane_area.h"
#include "client/shell/settings_sheet.h"
#include "client/shell/window_transfers.h"

namespace tarn::shell {

using Kind = HostTreeModel::ItemKind;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QIcon Icon(const QString& name) { return QIcon(":/tarn/icons/" + name + ".svg"); }

}  // namespace

MainWindow::MainWindow(ShellContext& ctx, WindowUi& ui, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), ui_(ui) {
  setWindowTitle(kWindowTitle);
  setWindowIcon(Icon("tarn"));
  EnsureIconTheme();
  icons_ = std::make_unique<IconStore>();
  session_ = std::make_unique<HostSession>(ctx_, ui_, this);
  session_->treeModel().SetIconProvider([this](uint32_t role, bool selected) {
    auto r = static_cast<listing::IconRole>(role);
    if (selected && r == listing::kIconFolder) r = listing::kIconOpenFolder;
    return icons_->ForRole(r, session_->viewFacts().hostFamily == HOST_GENERIC);
  });
  ui_.SetSink(this);

  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildPanes();
  BuildStatusBar();

  session_->SetZoomTextProvider([this] { return zoomBox_->currentText().trimmed().toStdString(); });
  connect(session_.get(), &HostSession::stateChanged, this, &MainWindow::UpdateCommands);
  connect(session_.get(), &HostSession::zoomPathsChanged, this, &MainWindow::FillZoomBox);
  connect(session_.get(), &HostSession::selectNodeRequested, this, &MainWindow::OnSelectNodeRequested);
  connect(session_.get(), &HostSession::rowsCleared, this, [this] { hostPane_->ShowDisconnected(); });
  // A quick connection to keep: the new-session settings proposing its
  // host name, with the values it used. At the program's end no sheet
  // opens; the session is stored as it was used.
  // The sheet is modal: it opens from the event loop, not inside the
  // worker's completion that brought the window back to disconnected.
  connect(session_.get(), &HostSession::saveQuickConnectRequested, this, [this](const QString& host) {
    if (leaving_) {
      session_->SaveQuickConnection();
      return;
    }
    const HostRecord used = session_->quickConnectValues();
    QTimer::singleShot(0, this, [this, host, used] {
      OpenSettings(SettingsMode::kNewSession, host.toStdString(), &used);
    });
  });
  session_->SetRowsReceiver([this](ListingSnapshot& snap) {
    hostPane_->SetConnected(true);
    hostPane_->ShowListing(std::move(snap.rows), snap.facts);
  });

  // The panes' way back to the window.
  ctx_.refreshHostView = [this] { session_->RefreshHost(); };
  ctx_.openHostPath = [this](const std::string& path) { session_->OpenHostPath(path); };
  ctx_.openHostNode = [this](listing::NodeId node) {
    OnSelectNodeRequested(session_->treeModel().IndexOfNode(node));
    session_->SelectNode(node);
  };
  ctx_.refreshPcView = [this] {
    pcPanes_->SetShowHidden(ctx_.app.settings.cHiddenFlag == "X");
    RefreshPc();
  };

  transfers_ = new WindowTransfers(*this, ctx_, ui_.currentDialogs());
  // The transfer buttons the tool bar hides while disconnected stay in the
  // menu, greyed.
  for (QAction* top : menuBar()->actions()) {
    if (!top->menu()) continue;
    for (int id : {kCmdDownload, kCmdUpload, kCmdAppend}) {
      QAction* a = transfers_->action(id);
      if (!a || !top->menu()->actions().contains(a)) continue;
      top->menu()->insertAction(a, MenuItemFor(a));
      top->menu()->removeAction(a);
    }
  }
  session_->ShowSessions();
  hostTree_->expandAll();
  FillZoomBox();
  ui_.SetStatusText(kStatusConnection, kNotConnectedText);
  ui_.SetStatusText(kStatusOperation, kWindowTitle);
  OnTransferMode(TransferMode::kAutoDetect);
  UpdateCommands();
}

MainWindow::~MainWindow() {
  // The transfer commands end before the panes and the session they use.
  delete transfers_;
  transfers_ = nullptr;
  ui_.SetSink(nullptr);
  ctx_.refreshHostView = nullptr;
  ctx_.openHostPath = nullptr;
  ctx_.openHostNode = nullptr;
  ctx_.refreshPcView = nullptr;
}

// --- Building ------------------------------------------------------------------

QAction* MainWindow::Add(int id, const QString& text, const QString& icon, const QKeySequence& key) {
  auto* a = new QAction(text, this);
  if (!icon.isEmpty()) a->setIcon(Icon(icon));
  if (!key.isEmpty()) a->setShortcut(key);
  const char* tip = ToolTipOf(id);
  if (tip[0]) a->setToolTip(tip);
  actions_.insert(id, a);
  return a;
}

void MainWindow::BuildActions() {
  connect(Add(kCmdConnect, "&Connect", "tb-connect"), &QAction::triggered, this,
          &MainWindow::ConnectSelected);
  connect(Add(kCmdDisconnect, "Disco&nnect", "tb-disconnect"), &QAction::triggered, this,
          [this] { session_->Disconnect(); });
  connect(Add(kCmdCancel, "C&ancel", "tb-cancel", QKeySequence(Qt::CTRL | Qt::Key_Period)),
          &QAction::triggered, this, [this] { session_->Cancel(); });
  connect(Add(kCmdZoomPath, "&Zoom Path", "tb-zoom"), &QAction::triggered, this,
          &MainWindow::OnZoomEnter);
  connect(Add(kCmdUpOneLevel, "&Up One Level", "tb-up"), &QAction::triggered, this,
          [this] { session_->UpOneLevel(); });
  connect(Add(kCmdRefreshPc, "&Refresh PC View", "tb-refresh-pc"), &QAction::triggered, this,
          &MainWindow::RefreshPc);
  connect(Add(kCmdRefreshHost, "Refresh &Host View", "tb-refresh-host"), &QAction::triggered, this,
          [this] { session_->RefreshHost(); });
  connect(Add(kCmdSettings, "&Settings...", "tb-settings"), &QAction::triggered, this,
          [this] { OpenSettings(); });
  connect(Add(kCmdCustomCommand, "Send &Custom Command..."), &QAction::triggered, this,
          [this] { session_->SendCustomCommand(); });
  connect(Add(kCmdAbout, "&About"), &QAction::triggered, this, &MainWindow::ShowAbout);
  connect(Add(kCmdHelp, "&Help", {}, QKeySequence::HelpContents), &QAction::triggered, this,
          [this] { ShowHelp(); });
  connect(Add(kCmdUpdateProgram, "&Update Program..."), &QAction::triggered, this,
          &MainWindow::ShowUpdateProgram);
  connect(Add(kCmdExit, "E&xit", {}, QKeySequence(Qt::CTRL | Qt::Key_Q)), &QAction::triggered, this,
          [this] { close(); });

  modes_ = new QActionGroup(this);
  modes_->setExclusive(true);
  struct Mode { int id; const char* text; const char* icon; TransferMode mode; };
  for (const Mode& m : {Mode{kCmdModeAscii, "ASCII/&EBCDIC", "tb-ascii", TransferMode::kAscii},
                        Mode{kCmdModeBinary, "&Binary", "tb-binary", TransferMode::kBinary},
                        Mode{kCmdModeAuto, "&Auto Detect", "tb-auto", TransferMode::kAutoDetect}}) {
    QAction* a = Add(m.id, m.text, m.icon);
    a->setCheckable(true);
    modes_->addAction(a);
    TransferMode mode = m.mode;
    connect(a, &QAction::triggered, this, [this, mode] { session_->SetTransferMode(mode); });
  }

  // Keys of the panes that are not menu items.
  auto* refresh = new QAction(this);
  refresh->setShortcut(QKeySequence::Refresh);
  refresh->setShortcutContext(Qt::WindowShortcut);
  connect(refresh, &QAction::triggered, this, [this] {
    QWidget* f = QApplication::focusWidget();
    const bool pcSide = f && (f == pcTree_ || f == pcList_ || pcTree_->isAncestorOf(f) ||
                              pcList_->isAncestorOf(f));
    if (pcSide || session_->conn() != WindowConn::kConnected)
      RefreshPc();
    else
      session_->RefreshHost();
  });
  addAction(refresh);
  auto* toZoom = new QAction(this);
  toZoom->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(toZoom, &QAction::triggered, this, [this] {
    zoomBox_->setFocus();
    zoomBox_->lineEdit()->selectAll();
  });
  addAction(toZoom);
}

QAction* MainWindow::MenuItemFor(QAction* a) {
  auto* item = new QAction(a->icon(), a->text(), this);
  auto sync = [a, item] {
    // A hidden action reads as disabled.
    item->setEnabled(a->isEnabled());
    item->setText(a->text());
    item->setIcon(a->icon());
    // The pressed look of a button (Connect while connecting) is no check
    // mark in a menu.
  };
  connect(a, &QAction::changed, item, sync);
  connect(item, &QAction::triggered, a, [a] {
    if (a->isEnabled()) a->trigger();
  });
  sync();
  menuItems_.insert(a, item);
  return item;
}

void MainWindow::BuildMenus() {
  QMenu* session = menuBar()->addMenu("&Session");
  session->addAction(MenuItemFor(action(kCmdConnect)));
  session->addAction(MenuItemFor(action(kCmdDisconnect)));
  session->addAction(action(kCmdCancel));
  session->addSeparator();
  session->addAction(action(kCmdCustomCommand));
  session->addAction(action(kCmdSettings));
  session->addSeparator();
  session->addAction(action(kCmdExit));

  QMenu* view = menuBar()->addMenu("&View");
  view->addAction(action(kCmdZoomPath));
  view->addAction(action(kCmdUpOneLevel));
  view->addSeparator();
  view->addAction(action(kCmdRefreshPc));
  view->addAction(action(kCmdRefreshHost));

  QMenu* transfer = menuBar()->addMenu("&Transfer");
  transfer->addAction(action(kCmdModeAscii));
  transfer->addAction(action(kCmdModeBinary));
  transfer->addAction(action(kCmdModeAuto));

  QMenu* help = menuBar()->addMenu("&Help");
  help->addAction(action(kCmdHelp));
  help->addAction(action(kCmdUpdateProgram));
  help->addSeparator();
  help->addAction(action(kCmdAbout));
}

void MainWindow::BuildToolBar() {
  toolBar_ = addToolBar("Tool Bar");
  toolBar_->setObjectName("toolbar");
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(22, 22));
  auto* label = new QLabel("ZoomPath:", toolBar_);
  label->setContentsMargins(6, 0, 4, 0);
  toolBar_->addWidget(label);
  zoomBox_ = new QComboBox(toolBar_);
  zoomBox_->setObjectName("zoomPath");
  zoomBox_->setEditable(true);
  zoomBox_->setInsertPolicy(QComboBox::NoInsert);
  zoomBox_->setMinimumWidth(280);
  zoomBox_->setMaxVisibleItems(20);
  zoomBox_->setToolTip("Host path or filter to go to (Enter); Ctrl+L");
  zoomBox_->lineEdit()->setMaxLength(259);
  zoomBox_->installEventFilter(this);
  zoomBox_->lineEdit()->installEventFilter(this);
  zoomBox_->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(zoomBox_->lineEdit(), &QLineEdit::returnPressed, this, &MainWindow::OnZoomEnter);
  connect(zoomBox_, qOverload<int>(&QComboBox::activated), this, [this](int) {
    if (session_->conn() == WindowConn::kConnected) OnZoomEnter();
  });
  connect(zoomBox_->lineEdit(), &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    std::unique_ptr<QMenu> menu(zoomBox_->lineEdit()->createStandardContextMenu());
    menu->addSeparator();
    QAction* del = menu->addAction("&Delete Zoom Path");
    del->setEnabled(session_->zoomPaths().CanDeleteTop() &&
                    zoomBox_->currentText() == Q(session_->zoomPaths().items().front().path));
    if (menu->exec(zoomBox_->lineEdit()->mapToGlobal(p)) == del) session_->DeleteTopZoomPath();
  });
  toolBar_->addWidget(zoomBox_);
  toolBar_->addSeparator();
  for (int id : {kCmdConnect, kCmdDisconnect, kCmdCancel}) toolBar_->addAction(action(id));
  toolBar_->addSeparator();
  for (int id : {kCmdZoomPath, kCmdUpOneLevel}) toolBar_->addAction(action(id));
  toolBar_->addSeparator();
  for (int id : {kCmdRefreshPc, kCmdRefreshHost}) toolBar_->addAction(action(id));
  toolBar_->addAction(action(kCmdSettings));
  toolBar_->addSeparator();
  for (int id : {kCmdModeAscii, kCmdModeBinary, kCmdModeAuto}) toolBar_->addAction(action(id));
  // A tip shown clears the status bar's second part, as the system's tips do.
  for (QAction* a : toolBar_->actions())
    connect(a, &QAction::hovered, this, [this] { if (status_[1]) status_[1]->clear(); });
}

void MainWindow::BuildPanes() {
  hostTree_ = new QTreeView;
  hostTree_->setObjectName("hostTree");
  hostTree_->setModel(&session_->treeModel());
  hostTree_->setHeaderHidden(true);
  hostTree_->setUniformRowHeights(true);
  hostTree_->setContextMenuPolicy(Qt::CustomContextMenu);
  hostTree_->installEventFilter(this);
  connect(hostTree_, &QTreeView::doubleClicked, this, &MainWindow::OnHostTreeActivated);
  connect(hostTree_, &QTreeView::customContextMenuRequested, this, &MainWindow::OnHostTreeContextMenu);
  connect(hostTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { OnHostTreeSelection(current); });
  connect(&session_->treeModel(), &QAbstractItemModel::modelReset, this, [this] {
    hostTree_->expandAll();
  });

  hostPane_ = new HostListPane(ctx_, ui_.currentDialogs(), *icons_);
  hostPane_->setObjectName("hostList");
  hostPane_->SetCommandRunner([this](ConnWorker::Op op, bool refresh, std::function<void(int)> done) {
    return session_->RunHostCommand(std::move(op), refresh, std::move(done));
  });
  hostPane_->ShowDisconnected();
  connect(hostPane_, &HostListPane::directoryActivated, this, [this](const HostRow& row) {
    if (row.isParent)
      session_->UpOneLevel();
    else
      session_->OpenHostPath(row.path);
  });
  connect(hostPane_, &HostListPane::upRequested, this, [this] { session_->UpOneLevel(); });
  hostListModel_ = &hostPane_->listModel();
  hostList_ = hostPane_;

  pcPanes_ = std::make_unique<PcPanes>(ctx_, ui_.currentDialogs(), *icons_);
  pcPanes_->SetSessionNameProvider([this] { return session_->sessionName(); });
  pcPanes_->SetShowHidden(ctx_.app.settings.cHiddenFlag == "X");
  pcTree_ = pcPanes_->treeView();
  pcList_ = pcPanes_->listView();
  pcTree_->setObjectName("pcTree");
  pcList_->setObjectName("pcList");

  panes_ = new PaneArea(hostTree_, hostList_, pcTree_, pcList_, this);
  setCentralWidget(panes_);
  setTabOrder(hostTree_, hostList_);
  setTabOrder(hostList_, pcTree_);
  setTabOrder(pcTree_, pcList_);
}

void MainWindow::BuildStatusBar() {
  status_[0] = new QLabel(this);
  status_[0]->setObjectName("status0");
  status_[0]->setMinimumWidth(300);
  status_[0]->setMaximumWidth(300);
  status_[1] = new QLabel(this);
  status_[1]->setObjectName("status1");
  statusBar()->addWidget(status_[0]);
  statusBar()->addWidget(status_[1], 1);
}

// --- State --------------------------------------------------------------------------

void MainWindow::UpdateCommands() {
  WindowFacts f = session_->facts();
  QModelIndex cur = hostTree_ ? hostTree_->currentIndex() : QModelIndex();
  f.sessionSelected = HostTreeModel::KindOf(cur) == Kind::kSession;
  // What the engine allowed belonged to the connection that ended.
  if (f.conn == WindowConn::kDisconnected) engineAllows_.clear();
  for (auto it = actions_.begin(); it != actions_.end(); ++it) {
    CommandState s = StateOf(it.key(), f);
    const auto engine = engineAllows_.constFind(it.key());
    it.value()->setEnabled(s.enabled && (engine == engineAllows_.cend() || engine.value()));
    it.value()->setVisible(s.visible);
  }
  // Connecting: the Connect button stays, pressed.
  QAction* c = action(kCmdConnect);
  c->setCheckable(f.conn == WindowConn::kConnecting);
  c->setChecked(f.conn == WindowConn::kConnecting);
  const bool busy = f.listingRunning || f.conn == WindowConn::kConnecting;
  if (!waitCursor_) {
    hostPane_->SetBusy(busy);
    if (busy)
      hostTree_->viewport()->setCursor(Qt::BusyCursor);
    else
      hostTree_->viewport()->unsetCursor();
  }
  zoomBox_->setEnabled(f.conn != WindowConn::kDisconnecting);
}

QString MainWindow::statusText(int part) const {
  return part >= 0 && part < 2 && status_[part] ? status_[part]->text() : QString();
}

void MainWindow::OnStatus(int part, const QString& text) {
  if (part >= 0 && part < 2 && status_[part]) status_[part]->setText(text.trimmed().isEmpty() ? QString() : text);
}

void MainWindow::OnConnState(ConnState, const std::string&) { UpdateCommands(); }

void MainWindow::OnEnableCommand(UiCommand command, bool enabled) {
  const int id = CommandOfUi(command);
  if (id == 0) return;
  engineAllows_.insert(id, enabled);
  // The action is shared by the menu and the tool bar; whichever part of
  // the window made it brings its state up to date.
  UpdateCommands();
  if (transfers_) transfers_->UpdateStates();
}

void MainWindow::OnTransferMode(TransferMode mode) {
  int id = mode == TransferMode::kAscii ? kCmdModeAscii
           : mode == TransferMode::kBinary ? kCmdModeBinary
                                           : kCmdModeAuto;
  action(id)->setChecked(true);
  session_->SetTransferMode(mode);
}

void MainWindow::OnZoomPaths(const std::vector<std::string>& paths) { session_->OnZoomPaths(paths); }

void MainWindow::OnShowLocalDirectory(const std::string& dir) {
  if (dir.empty()) return;
  std::string local = dir;
  if (IsUncPath(dir)) {
    // A session made on Windows: its share is looked for among the
    // network file systems mounted here.
    std::unique_ptr<MountTable> system;
    MountTable* mounts = mounts_.get();
    if (!mounts) mounts = (system = SystemMountTable()).get();
    const PcDirectoryResult found = FindInitialPcDirectory(dir, *mounts);
    if (found.message != kPcDirectoryFound) {
      ShowPcDirectoryMessage(ui_, found.message);
      return;
    }
    local = found.path;
  } else if (!QFileInfo(Q(local)).isDir()) {
    // Checked when it was saved, gone since.
    ShowPcDirectoryMessage(ui_, kPcDirectoryPathNotFound);
    return;
  }
  pcPanes_->OpenFolder(Q(local));
}

void MainWindow::SetMountTable(std::unique_ptr<MountTable> mounts) { mounts_ = std::move(mounts); }

void MainWindow::OnWaitCursor(bool on) {
  waitCursor_ += on ? 1 : -1;
  if (waitCursor_ < 0) waitCursor_ = 0;
  if (waitCursor_) {
    hostPane_->SetBusy(true);
    hostTree_->viewport()->setCursor(Qt::BusyCursor);
  } else {
    UpdateCommands();
  }
}

void MainWindow::OnPostDisconnect() { session_->Disconnect(); }

void MainWindow::FillZoomBox() {
  const QString typed = zoomBox_->currentText();
  QSignalBlocker block(zoomBox_);
  zoomBox_->clear();
  for (const ZoomItem& item : session_->zoomPaths().items())
    zoomBox_->addItem(item.history ? QIcon() : Icon("tb-zoom"), Q(item.path), item.history ? 1 : 0);
  if (zoomBox_->count() > 0) zoomBox_->setCurrentIndex(0);
  (void)typed;
}

// --- Commands -------------------------------------------------------------------------

void MainWindow::ConnectSelected() {
  QModelIndex cur = hostTree_->currentIndex();
  switch (HostTreeModel::KindOf(cur)) {
    case Kind::kSession: session_->Connect(cur.data().toString().toStdString()); break;
    case Kind::kQuickConnect: QuickConnectDialog(); break;
    default:
      ui_.MessageBox("Select an FTP host session in the host tree first, or use Quick Connect.",
                     kWindowTitle, BoxButtons::kOk, BoxIcon::kInformation);
  }
}

void MainWindow::QuickConnectDialog() {
  if (session_->conn() != WindowConn::kDisconnected) return;
  QuickConnectInput in;
  if (ui_.dialogs().QuickConnect(&in)) session_->QuickConnect(in);
}

void MainWindow::OnZoomEnter() {
  const std::string text = zoomBox_->currentText().toStdString();
  if (session_->conn() == WindowConn::kConnected) {
    session_->GoToPath(text);
    return;
  }
  // Not connected, the text names a PC folder.
  QString path = zoomBox_->currentText().trimmed();
  if (!path.isEmpty() && path != kDefaultHostPath) pcPanes_->OpenFolder(path);
}

void MainWindow::OnHostTreeActivated(const QModelIndex& index) {
  switch (HostTreeModel::KindOf(index)) {
    case Kind::kSession: session_->Connect(index.data().toString().toStdString()); break;
    case Kind::kQuickConnect: QuickConnectDialog(); break;
    default: break;
  }
}

void MainWindow::OnHostTreeSelection(const QModelIndex& current) {
  UpdateCommands();
  if (selectingByProgram_ || session_->conn() != WindowConn::kConnected) return;
  if (HostTreeModel::KindOf(current) != Kind::kDirectory) return;
  listing::NodeId node = HostTreeModel::NodeOf(current);
  // The session's own node lists nothing.
  if (session_->treeModel().tree().IsLive(node) &&
      session_->treeModel().tree().Parent(node) == listing::kNoNode)
    return;
  if (!session_->SelectNode(node)) {
    // Busy: the tree keeps the directory on show.
    OnSelectNodeRequested(session_->treeModel().IndexOfNode(session_->selectedNode()));
  }
}

void MainWindow::OnSelectNodeRequested(const QModelIndex& index) {
  selectingByProgram_ = true;
  if (index.isValid()) {
    hostTree_->setCurrentIndex(index);
    hostTree_->scrollTo(index);
  }
  selectingByProgram_ = false;
}

void MainWindow::OnHostTreeContextMenu(const QPoint& pos) {
  QModelIndex index = hostTree_->indexAt(pos);
  Kind kind = HostTreeModel::KindOf(index);
  QMenu menu(this);
  const bool connected = session_->conn() == WindowConn::kConnected;
  if (!connected) {
    if (kind == Kind::kQuickConnect) {
      menu.addAction("&Specify IP Address...", this, &MainWindow::QuickConnectDialog);
    } else if (kind == Kind::kSession) {
      const std::string name = index.data().toString().toStdString();
      menu.addAction("&Connect", this, [this, name] { session_->Connect(name); });
      menu.addAction("&Settings...", this,
                     [this, name] { OpenSettings(SettingsMode::kSelectSession, name); });
      menu.addAction("&Delete", this, [this, name] { session_->DeleteSession(name); });
    } else if (kind == Kind::kFtpHosts || kind == Kind::kPlaceholder) {
      menu.addAction("Define New", this, [this] { OpenSettings(SettingsMode::kNewSession, ""); });
    } else {
      return;
    }
  } else if (kind == Kind::kDirectory) {
    listing::NodeId node = HostTreeModel::NodeOf(index);
    const listing::HostTree& t = session_->treeModel().tree();
    if (t.Parent(node) == listing::kNoNode) {
      menu.addAction(action(kCmdDisconnect));
    } else {
      QAction* clear = menu.addAction("C&lear Branch", this, [this, node] { session_->ClearBranch(node); });
      clear->setEnabled(t.Parent(node) == session_->selectedNode());
      menu.addAction("Create &New Folder", this, [this, node] { session_->CreateFolder(node); });
      menu.addAction("&Delete Folder", this, [this, node] { session_->DeleteFolder(node); });
      if (transfers_) transfers_->AddHostTreeEntries(&menu, index);
      for (QAction* a : menu.actions()) a->setEnabled(a->isEnabled() && !session_->listingRunning());
    }
  } else {
    return;
  }
  menu.exec(hostTree_->viewport()->mapToGlobal(pos));
}

void MainWindow::RefreshPc() { pcPanes_->Refresh(); }

void MainWindow::OpenSettings() {
  std::string name;
  const QModelIndex current = hostTree_->currentIndex();
  if (session_->conn() != WindowConn::kDisconnected && !session_->quickConnection())
    name = session_->sessionName();
  else if (session_->conn() == WindowConn::kDisconnected && HostTreeModel::KindOf(current) == Kind::kSession)
    name = current.data().toString().toStdString();
  OpenSettings(name.empty() ? SettingsMode::kFirstSession : SettingsMode::kSelectSession, name);
}

void MainWindow::OpenSettings(SettingsMode mode, const std::string& name, const HostRecord* prefill) {
  ui_.dialogs().Settings(ctx_, mode, name, session_->zoomPaths().SavedPaths(), prefill);
  // Sessions may have been made, renamed or deleted, with OK or not.
  if (session_->conn() == WindowConn::kDisconnected) session_->ShowSessions();
}

void MainWindow::ShowHelp(const QString& section) {
  if (!help_) {
    help_ = new HelpWindow(this);
    // Opened first over the window, not wherever the screen puts it.
    help_->move(frameGeometry().center() - help_->rect().center());
  }
  help_->ShowSection(section);
}

void MainWindow::ShowAbout() {
  QMessageBox box(this);
  box.setWindowTitle("About Tarn");
  box.setIconPixmap(Icon("tarn").pixmap(64, 64));
  box.setTextFormat(Qt::RichText);
  box.setText(AboutText());
  box.exec();
}

void MainWindow::ShowUpdateProgram() {
  QMessageBox::information(this, "Update Program", UpdateProgramText());
}

// --- Keys ----------------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == zoomBox_ || watched == zoomBox_->lineEdit()) {
    if (key->key() == Qt::Key_Escape) {
      // Escape keeps (or restores) the box's choice and stays in it.
      QSignalBlocker block(zoomBox_);
      zoomBox_->setCurrentIndex(std::max(0, zoomBox_->currentIndex()));
      if (zoomBox_->currentIndex() >= 0) zoomBox_->setEditText(zoomBox_->itemText(zoomBox_->currentIndex()));
      zoomBox_->setFocus();
      return true;
    }
    if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ShiftModifier)) {
      session_->DeleteTopZoomPath();
      return true;
    }
    return false;
  }
  if (watched == hostTree_) {
    QModelIndex cur = hostTree_->currentIndex();
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (session_->conn() != WindowConn::kConnected) {
          OnHostTreeActivated(cur);
          return true;
        }
        return false;
      case Qt::Key_Backspace:
        if (session_->conn() == WindowConn::kConnected) session_->UpOneLevel();
        return true;
      case Qt::Key_Delete:
        if (HostTreeModel::KindOf(cur) == Kind::kSession)
          session_->DeleteSession(cur.data().toString().toStdString());
        else if (HostTreeModel::KindOf(cur) == Kind::kDirectory)
          session_->DeleteFolder(HostTreeModel::NodeOf(cur));
        return true;
      default: return false;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Placement and shutdown -------------------------------------------------------------------

void MainWindow::ShowWithSavedPlacement() {
  WindowPlacement p;
  if (ctx_.store.LoadWindowPlacement(&p)) {
    if (p.state == WindowPlacement::State::kMaximised) {
      showMaximized();
    } else if (p.state == WindowPlacement::State::kMinimised) {
      showMinimized();
    } else {
      FitDefaultSize();
      if (p.hasRect && p.width > 0 && p.height > 0) {
        QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 800);
        ScreenRect r = PlaceOnScreen({p.left, p.top, p.width, p.height},
                                     {area.x(), area.y(), area.width(), area.height()});
        setGeometry(r.x, r.y, r.width, r.height);
      }
      show();
    }
  } else {
    FitDefaultSize();
    show();
  }
  shown_ = true;
}

void MainWindow::FitDefaultSize() {
  // A first start fills most of the screen, centred.
  if (!screen()) return;
  QRect area = screen()->availableGeometry();
  QSize size(std::min(1280, area.width() * 9 / 10), std::min(860, area.height() * 9 / 10));
  if (area.width() <= 1280) size = QSize(area.width(), area.height());
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, area));
}

void MainWindow::SavePlacement() {
  if (!shown_) return;
  WindowPlacement p;
  if (isMaximized()) {
    p.state = WindowPlacement::State::kMaximised;
  } else if (isMinimized()) {
    p.state = WindowPlacement::State::kMinimised;
  } else {
    p.state = WindowPlacement::State::kNormal;
    QRect r = geometry();
    p.hasRect = true;
    p.left = r.x();
    p.top = r.y();
    p.width = r.width();
    p.height = r.height();
  }
  ctx_.store.SaveWindowPlacement(p);
}

void MainWindow::SaveSessionList() {
  std::vector<std::string> names = session_->treeModel().sessions();
  if (names.empty()) return;
  // Sessions another program added meanwhile stay listed.
  for (const std::string& n : ctx_.store.SessionList())
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  std::vector<std::string> existing;
  for (const std::string& n : names)
    if (ctx_.store.SessionExists(n)) existing.push_back(n);
  if (!existing.empty()) ctx_.store.SaveSessionList(existing);
}

void MainWindow::Shutdown(int waitMs) {
  if (leaving_) return;
  leaving_ = true;
  // A dial-up line the last connection left up is offered for hang-up.
  if (session_->conn() == WindowConn::kDisconnected && ctx_.dialUp && ctx_.dialUp->Available())
    ctx_.dialUp->OfferHangUp();
  SavePlacement();
  session_->Shutdown(waitMs, [this] {
    ui_.Leave();
    SaveSessionList();
    closed_ = true;
    if (help_) help_->close();
    close();
    emit shutDownFinished();
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  event->ignore();
  Shutdown();
}

}  // namespace tarn::shell
