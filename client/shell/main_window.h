// MainWindow: the client's window: menu, tool bar with the zoom-path box,
// the four panes and the two-part status bar. It builds the widgets and
// forwards every command to HostSession (the host side) or to the PC
// panes; it holds no protocol logic. GUI thread only.
#pragma once

#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QTreeView>

#include <memory>

#include "client/shell/command_states.h"
#include "client/shell/host_session.h"
#include "client/shell/shell_context.h"
#include "client/shell/window_ui.h"

class QAction;
class QActionGroup;
class QToolBar;

namespace tarn {
class MountTable;
}

namespace tarn::shell {

enum class SettingsMode : int;
class HelpWindow;
class HostListModel;
class HostListPane;
class PcPanes;
class IconStore;
class PaneArea;
class WindowTransfers;

inline constexpr const char* kWindowTitle = "Tarn File Transfer";

class MainWindow : public QMainWindow, public UiSink {
  Q_OBJECT
 public:
  // `ctx` and `ui` must outlive the window. The window makes itself the
  // sink of `ui`.
  MainWindow(ShellContext& ctx, WindowUi& ui, QWidget* parent = nullptr);
  ~MainWindow() override;

  HostSession& session() { return *session_; }
  QAction* action(int command) const { return actions_.value(command); }
  // The menu's item for an action the tool bar hides in some states (the
  // action itself where the menu holds it directly).
  QAction* menuItem(QAction* a) const { return menuItems_.value(a, a); }
  QComboBox* zoomBox() const { return zoomBox_; }
  QTreeView* hostTree() const { return hostTree_; }
  QAbstractItemView* hostList() const { return hostList_; }
  PaneArea* panes() const { return panes_; }
  QString statusText(int part) const;
  QToolBar* toolBar() const { return toolBar_; }
  HostListModel* hostListModel() const { return hostListModel_; }
  HostListPane* hostPane() const { return hostPane_; }
  PcPanes* pcPanes() const { return pcPanes_.get(); }
  WindowTransfers* transfers() const { return transfers_; }
  // Whether the engine allows `command` on this connection (Ui::EnableCommand;
  // false until it said so, and again once disconnected). The command's
  // own state rules apply on top.
  bool EngineAllows(int command) const { return engineAllows_.value(command, false); }

  // Applies the saved placement of the window "main" and shows it.
  void ShowWithSavedPlacement();
  // Saves the placement (unless never shown).
  void SavePlacement();
  // Ends the program in order: connection ended (a running listing gets
  // `waitMs`), placement and session list saved, then the window closes.
  void Shutdown(int waitMs = 5000);
  bool shutDown() const { return closed_; }
  // The mount table a UNC initial PC directory is looked up in (tests
  // script it; by default the system's, read at each connect).
  void SetMountTable(std::unique_ptr<MountTable> mounts);

  // UiSink.
  void OnStatus(int part, const QString& text) override;
  void OnConnState(ConnState state, const std::string& sessionName) override;
  void OnEnableCommand(UiCommand command, bool enabled) override;
  void OnTransferMode(TransferMode mode) override;
  void OnZoomPaths(const std::vector<std::string>& paths) override;
  void OnShowLocalDirectory(const std::string& dir) override;
  void OnWaitCursor(bool on) override;
  void OnPostDisconnect() override;

  // Commands (the menu, the tool bar and the panes call these).
  void ConnectSelected();
  void QuickConnectDialog();
  void ShowHelp(const QString& section = {});
  void ShowAbout();
  void ShowUpdateProgram();
  void RefreshPc();
  // "&Settings...": the session in use, else the one selected in the
  // tree, else the first.
  void OpenSettings();
  // The Settings sheet in `mode` (settings_sheet.h); the host tree shows
  // the sessions again afterwards. `prefill`: a new session's values.
  void OpenSettings(SettingsMode mode, const std::string& name, const HostRecord* prefill = nullptr);

 signals:
  // Shutdown is complete and the window closed: the program may end.
  void shutDownFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildPanes();
  void BuildStatusBar();
  QAction* Add(int id, const QString& text, const QString& icon = {}, const QKeySequence& key = {});
  // A menu item standing for `a`: always shown, greyed while `a` is
  // disabled or hidden, triggering `a`.
  QAction* MenuItemFor(QAction* a);
  void UpdateCommands();
  void FillZoomBox();
  void OnZoomEnter();
  void OnHostTreeActivated(const QModelIndex& index);
  void OnHostTreeSelection(const QModelIndex& current);
  void OnHostTreeContextMenu(const QPoint& pos);
  void OnSelectNodeRequested(const QModelIndex& index);
  void SaveSessionList();
  void FitDefaultSize();

  ShellContext& ctx_;
  WindowUi& ui_;
  std::unique_ptr<HostSession> session_;
  std::unique_ptr<IconStore> icons_;
  std::unique_ptr<MountTable> mounts_;
  QHash<int, QAction*> actions_;
  QHash<int, bool> engineAllows_;
  QHash<QAction*, QAction*> menuItems_;  // tool-bar action -> its menu item  // command id -> the engine's last word
  QActionGroup* modes_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QComboBox* zoomBox_ = nullptr;
  QLabel* status_[2] = {nullptr, nullptr};
  QTreeView* hostTree_ = nullptr;
  QAbstractItemView* hostList_ = nullptr;
  HostListModel* hostListModel_ = nullptr;
  HostListPane* hostPane_ = nullptr;
  std::unique_ptr<PcPanes> pcPanes_;
  QTreeView* pcTree_ = nullptr;
  QTreeView* pcList_ = nullptr;
  PaneArea* panes_ = nullptr;
  WindowTransfers* transfers_ = nullptr;
  HelpWindow* help_ = nullptr;
  bool selectingByProgram_ = false;
  bool shown_ = false;
  bool leaving_ = false;
  bool closed_ = false;
  int waitCursor_ = 0;
};

}  // namespace tarn::shell
