// PcPanes: the PC side of the window, the PC tree and the PC list, on Qt's
// own file-system model. The tree holds the home folder and "Computer"
// with the mounted file systems; selecting a folder shows it in the list,
// selecting "Computer" shows the drive level (the mounted file systems with
// their type, total size and free space).
//
// The list's commands: F2 renames, Del deletes files (after the question;
// nothing while a folder is selected), Enter or a double click opens a
// folder, or a file with its program, Backspace goes up; its context menu
// offers Open, Rename, Delete, Create New Folder and Refresh. GUI thread
// only.
#pragma once

#include <QObject>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTreeView>

#include <functional>
#include <string>

#include "client/shell/dialogs.h"
#include "client/shell/pc_drive_model.h"
#include "client/shell/pc_list_model.h"
#include "client/shell/pc_sort_rules.h"
#include "client/shell/pc_tree_model.h"
#include "client/shell/shell_context.h"

class QMenu;

namespace tarn::shell {

class IconStore;
class PcPanes;

inline constexpr const char* kPcOpenText = "&Open";
inline constexpr const char* kPcRenameText = "&Rename";
inline constexpr const char* kPcDeleteText = "&Delete";
inline constexpr const char* kPcNewFolderText = "Create &New Folder";
inline constexpr const char* kPcRefreshText = "Re&fresh";

// The two views; their keys and context menus go to the panes.
class PcListView : public QTreeView {
  Q_OBJECT
 public:
  PcListView(PcPanes& panes, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  PcPanes& panes_;
};

class PcTreeView : public QTreeView {
  Q_OBJECT
 public:
  PcTreeView(PcPanes& panes, QWidget* parent);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  PcPanes& panes_;
};

class PcPanes : public QObject {
  Q_OBJECT

 public:
  // Everything must outlive the panes. The views are made with `viewParent`
  // (the frame puts them into its splitters). `home` and `volumes` as for
  // PcTreeModel (tests pass their own). The list starts in the home folder.
  PcPanes(ShellContext& ctx, Dialogs& dialogs, IconStore& icons, QWidget* viewParent = nullptr,
          QString home = QDir::homePath(), QStringList volumes = {});
  ~PcPanes() override;

  QTreeView* treeView() { return tree_; }
  QTreeView* listView() { return list_; }
  PcTreeModel& treeModel() { return treeModel_; }
  PcListModel& listModel() { return listModel_; }
  PcDriveModel& driveModel() { return drives_; }

  // The session whose saved resume state a deleted file may clear (the
  // one connected, or last connected).
  void SetSessionNameProvider(std::function<std::string()> provider) { sessionName_ = std::move(provider); }
  // Hidden files and folders shown or not (HiddenFlag "X").
  void SetShowHidden(bool show);

  // Shows `path` in the tree (its node selected, the nodes above it
  // opened) and in the list. False when no top folder holds the path.
  bool OpenFolder(const QString& path);
  // Selects "Computer": the list shows the mounted file systems.
  void ShowDriveLevel();
  bool AtDriveLevel() const { return driveLevel_; }
  // The folder on show in the list; "" at the drive level.
  QString CurrentFolder() const { return driveLevel_ ? QString() : listModel_.Folder(); }
  // "Refresh PC View": the tree, the list and the drives read again.
  void Refresh();

  // --- The list's commands ---------------------------------------------------
  QStringList SelectedPaths() const;
  // Del: nothing at the drive level or while a folder is selected;
  // otherwise the question, then each file deleted.
  void DeleteSelected();
  // F2 with exactly one item selected.
  void RenameCurrent();
  // "Create &New Folder" in the folder on show (or `inFolder`).
  void CreateFolder(const QString& inFolder = QString());
  // Enter, a double click: a folder or drive opens, a file starts its
  // program.
  void OpenIndex(const QModelIndex& index);
  // Backspace: the folder above, or "Computer" above a file system.
  void GoUp();
  // The list's context menu for the current selection; the caller owns it.
  QMenu* CreateListMenu();
  QMenu* CreateTreeMenu(const QModelIndex& node);

 signals:
  // The list shows another folder ("" for the drive level).
  void folderChanged(const QString& folder);
  // The list's selection changed (the tool bar's transfer buttons).
  void listSelectionChanged();

 private:
  void OnTreeCurrentChanged(const QModelIndex& current);
  void ShowFolderInList(const QString& folder);
  void UseListModel(QAbstractItemModel* model);
  void SizeListColumns();
  void WidenListNameColumn();
  void OnListHeaderClicked(int section);
  void OnRenameRequested(const QString& path, const QString& newName);
  std::string Caption() const;
  void SetListBusy(bool busy);
  void ReadDrives();

  ShellContext& ctx_;
  Dialogs& dialogs_;
  IconStore& icons_;
  PcTreeModel treeModel_;
  PcListModel listModel_;
  PcDriveModel drives_;
  QSortFilterProxyModel driveOrder_;
  PcSortState driveSort_;
  PcTreeView* tree_ = nullptr;
  PcListView* list_ = nullptr;
  bool driveLevel_ = false;
  std::function<std::string()> sessionName_;
  QStringList volumes_;  // the file systems given instead of the machine's
};

}  // namespace tarn::shell
