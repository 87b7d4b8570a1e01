// HostListPane: the host list, a tree view without branches over
// HostListModel, with the person's commands on its rows: in-place rename,
// Delete with its confirmation, a new folder in a directory entry, removal
// of a directory entry, and opening a directory. Every remote command runs
// on the connection's worker; the pane never waits for it.
//
// Keys: F2 renames, Del deletes, Enter opens a directory, Backspace goes up
// one level. Header clicks on the first four columns sort, only while
// connected. GUI thread only.
#pragma once

#include <QTreeView>

#include <functional>
#include <vector>

#include "client/engine/conn_worker.h"
#include "client/shell/dialogs.h"
#include "client/shell/host_list_model.h"
#include "client/shell/shell_context.h"

class QMenu;

namespace tarn::shell {

class IconStore;

// The texts of the pane's context menu.
inline constexpr const char* kDeleteFolderText = "&Delete Folder";
inline constexpr const char* kCreateFolderText = "Create &New Folder";
inline constexpr const char* kRenameText = "&Rename";
inline constexpr const char* kDeleteText = "&Delete";

class HostListPane : public QTreeView {
  Q_OBJECT

 public:
  // Runs a remote command of the pane: `op` on the worker, then `done` on
  // the GUI thread with its result; `refresh` asks for the directory to be
  // listed again after a success. False when it cannot start now (the
  // connection is busy).
  using CommandRunner = std::function<bool(ConnWorker::Op op, bool refresh,
                                           std::function<void(int)> done)>;

  // Everything must outlive the pane. Until SetCommandRunner, commands go
  // straight to ctx.worker and a success calls ctx.refreshHostView.
  HostListPane(ShellContext& ctx, Dialogs& dialogs, IconStore& icons, QWidget* parent = nullptr);

  HostListModel& listModel() { return model_; }
  void SetCommandRunner(CommandRunner runner) { runner_ = std::move(runner); }

  // A finished listing (the rows moved out of the snapshot). The column
  // widths follow the column set when it changes; the first column widens
  // to the widest name.
  void ShowListing(listing::HostListing&& rows, const HostViewFacts& facts);
  // Disconnected: no rows, the generic columns, no renaming or sorting.
  void ShowDisconnected();
  void SetConnected(bool connected);
  bool Connected() const { return connected_; }
  // The busy cursor over the list while a listing runs.
  void SetBusy(bool busy);

  // --- Commands (menu, keys, tests) -----------------------------------------
  // Rows selected, in view order.
  std::vector<int> SelectedRows() const;
  // F2: in-place editing of the one selected row's name.
  void RenameCurrent();
  // Del: the selected files, after the confirmation. Ignored while a
  // directory or the parent entry is selected (directories go by "&Delete
  // Folder").
  void DeleteSelected();
  // "Create &New Folder" on directory row `row`: asks for the name.
  void CreateFolderIn(int row);
  // "&Delete Folder" on directory row `row`.
  void DeleteFolder(int row);
  // A double click or Enter: a directory row asks the frame to list it.
  void OpenRow(int row);
  // An in-place edit is open.
  bool Editing() const { return state() == QAbstractItemView::EditingState; }

  // The context menu for a click on `clickedRow` (-1: empty space) with the
  // current selection; the caller owns it. Empty when not connected.
  QMenu* CreateContextMenu(int clickedRow);

 signals:
  // A directory row was opened; the frame selects its tree node or lists
  // the path.
  void directoryActivated(const tarn::shell::HostRow& row);
  // Backspace: the frame goes up one level.
  void upRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OnRenameRequested(int row, const QString& newName);
  void OnHeaderClicked(int section);
  void ApplyColumnWidths();
  void WidenNameColumn();
  void ShowSortIndicator();
  bool Run(ConnWorker::Op op);

  ShellContext& ctx_;
  Dialogs& dialogs_;
  HostListModel model_;
  CommandRunner runner_;
  bool connected_ = false;
  bool columnsSized_ = false;
  listing::ColumnSetId sizedFor_ = listing::ColumnSetId::kGenericUnix;
};

}  // namespace tarn::shell
