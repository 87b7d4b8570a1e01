// PcTreeModel: the PC tree. Two top-level nodes, the home folder first and
// "Computer" (the drive level) second; below "Computer" each mounted file
// system; below the home folder and each file system their folders.
//
// The folders come from Qt's QFileSystemModel, one per top folder (created
// when first needed), so that a folder shown under the home folder and
// again under "/" is two nodes of two models and every change a model
// reports maps to exactly one place here. Each node's internal id names an
// entry that keeps a persistent index into its model; the entries are
// kept for the life of the model (one per folder seen). GUI thread only.
#pragma once

#include <QAbstractItemModel>
#include <QDir>
#include <QFileSystemModel>
#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QString>

#include <memory>
#include <vector>

#include "client/shell/pc_list_model.h"

namespace tarn::shell {

class IconStore;

class PcTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum class NodeKind { kNone, kHome, kComputer, kVolume, kFolder };

  // `home` is the home folder's path; `volumes` the mount points below
  // "Computer" (empty: the machine's browsable volumes).
  explicit PcTreeModel(IconStore& icons, QString home = QDir::homePath(),
                       QStringList volumes = {}, QObject* parent = nullptr);
  ~PcTreeModel() override;

  // Hidden folders shown or not (HiddenFlag "X").
  void SetShowHidden(bool show);
  bool ShowHidden() const { return showHidden_; }
  // Reads every folder and the volumes again (a model reset).
  void Refresh();

  NodeKind KindOf(const QModelIndex& index) const;
  // The folder a node shows; "" for "Computer" and invalid indexes.
  QString FilePath(const QModelIndex& index) const;
  QModelIndex HomeIndex() const { return index(0, 0); }
  QModelIndex ComputerIndex() const { return index(1, 0); }
  // The node of `path` below the top folder that holds it most closely
  // (the home folder before "/" for a path inside it); invalid when no top
  // folder holds it. Creates the nodes along the way.
  QModelIndex IndexForPath(const QString& path);

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // A top folder: the home folder (anchor 0) or a mount point.
  struct Anchor {
    QString path;
    QString label;
    QIcon icon;
    std::unique_ptr<QFileSystemModel> model;  // null until first needed
    QPersistentModelIndex root;               // the folder's own index in `model`
    std::vector<bool> forwarding;             // begin... sent for the pending end...
  };
  struct Entry {
    int anchor = 0;
    QPersistentModelIndex source;
  };

  void BuildAnchors();
  QFileSystemModel* EnsureModel(int anchor) const;
  void Connect(int anchor);
  quintptr IdFor(int anchor, const QModelIndex& source) const;
  QModelIndex AnchorIndex(int anchor) const;
  // The proxy index of a source index of `anchor`; invalid when it lies
  // outside the anchor's folder.
  QModelIndex FromSource(int anchor, const QModelIndex& source) const;
  const Entry* EntryOf(const QModelIndex& index) const;
  QDir::Filters Filters() const;

  IconStore& icons_;
  QString home_;
  QStringList fixedVolumes_;
  bool showHidden_ = false;
  mutable PcIconProvider iconProvider_;  // outlives the anchors' models
  mutable std::vector<Anchor> anchors_;
  mutable std::vector<Entry> entries_;
  mutable QHash<const void*, quintptr> ids_;  // source node -> entry id
};

}  // namespace tarn::shell
