// WindowTransfers: the main window's transfer and host-option commands,
// put onto the window from outside: "&Download", "&Upload", "&Append to
// Hostfile", "&Browse File", "&MVS Options...", "&VM Options...", "Change
// File &Permissions..." in the menu and the tool bar; "FTP &Copy", "FTP
// &Paste", "&Add to Queue", "&Browse File" and "Re&call" in the panes'
// context menus; drag
// and drop between the panes (and from the desktop onto the host side).
// It reads the panes through their public faces and forwards to
// TransferCommands and HostCommands. GUI thread only; made after the
// window's panes exist and ended before them.
#pragma once

#include <QHash>
#include <QModelIndex>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

#include "client/shell/host_commands.h"
#include "client/shell/transfer_commands.h"

class QAction;
class QMenu;

namespace tarn::shell {

class MainWindow;

inline constexpr const char* kRecallText = "Re&call";
inline constexpr const char* kBrowseText = "&Browse File";

class WindowTransfers : public QObject {
  Q_OBJECT
 public:
  WindowTransfers(MainWindow& window, ShellContext& ctx, Dialogs& dialogs);
  ~WindowTransfers() override;

  TransferCommands& transfers() { return *transfers_; }
  HostCommands& hostCommands() { return *hostCommands_; }
  // The actions by command id (102, 103, 105, 40066, 40067, 40070, 40075).
  QAction* action(int command) const { return actions_.value(command); }

  // The host tree's context menu on a directory node: "FTP &Paste" and
  // "&Add to Queue". The window calls this while it builds that menu.
  void AddHostTreeEntries(QMenu* menu, const QModelIndex& node);

  // The panes' context menus at a point of the screen, before they are
  // shown (the caller owns them; tests look into them).
  QMenu* CreateHostListMenu(const QPoint& globalPos);
  QMenu* CreatePcListMenu(const QPoint& globalPos);
  QMenu* CreatePcTreeMenu(const QPoint& globalPos);  // null off the tree's items

  // What the panes hold, as the commands take it (tests too).
  std::vector<HostItem> HostSelection() const;
  std::optional<HostPlace> HostTreeFolder() const;
  std::optional<PcPlace> PcTreeFolder() const;

  // Brings the commands' enabled and shown states up to date.
  void UpdateStates();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildActions();
  PaneHooks Hooks();
  HostItem ItemOfRow(int row) const;
  std::optional<HostPlace> PlaceOfNode(const QModelIndex& node) const;
  void Browse();
  void ChangePermissions();
  bool ConnectedIdle() const;

  MainWindow& window_;
  ShellContext& ctx_;
  std::unique_ptr<HostCommands> hostCommands_;
  std::unique_ptr<TransferCommands> transfers_;
  QHash<int, QAction*> actions_;
  QAction* copy_ = nullptr;
  QAction* paste_ = nullptr;
};

}  // namespace tarn::shell
