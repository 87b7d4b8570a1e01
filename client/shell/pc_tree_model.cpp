#include "client/shell/pc_tree_model.h"

#include <QFileInfo>

#include "client/shell/icons.h"
#include "client/shell/pc_drive_model.h"

namespace tarn::shell {

namespace {

constexpr quintptr kComputerId = 1;
constexpr quintptr kFirstEntryId = 2;

// True when `path` is `folder` or lies inside it.
bool Holds(const QString& folder, const QString& path) {
  if (path == folder) return true;
  const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
  return path.startsWith(prefix);
}

}  // namespace

PcTreeModel::PcTreeModel(IconStore& icons, QString home, QStringList volumes, QObject* parent)
    : QAbstractItemModel(parent), icons_(icons), home_(std::move(home)),
      fixedVolumes_(std::move(volumes)) {
  BuildAnchors();
}

PcTreeModel::~PcTreeModel() = default;

void PcTreeModel::BuildAnchors() {
  anchors_.clear();
  entries_.clear();
  ids_.clear();
  Anchor home;
  home.path = QDir::cleanPath(home_);
  home.label = QStringLiteral("Home");
  home.icon = icons_.Home();
  anchors_.push_back(std::move(home));
  if (!fixedVolumes_.isEmpty()) {
    for (const QString& v : fixedVolumes_) {
      Anchor a;
      a.path = QDir::cleanPath(v);
      a.label = a.path;
      a.icon = icons_.Drive();
      anchors_.push_back(std::move(a));
    }
    return;
  }
  for (const QStorageInfo& v : BrowsableVolumes()) {
    Anchor a;
    a.path = QDir::cleanPath(v.rootPath());
    a.label = VolumeName(v);
    a.icon = icons_.Drive();
    anchors_.push_back(std::move(a));
  }
}

QDir::Filters PcTreeModel::Filters() const {
  QDir::Filters f = QDir::AllDirs | QDir::NoDotAndDotDot;
  if (showHidden_) f |= QDir::Hidden;
  return f;
}

void PcTreeModel::SetShowHidden(bool show) {
  if (show == showHidden_) return;
  showHidden_ = show;
  // Each model announces what its new filter hides or shows.
  for (Anchor& a : anchors_)
    if (a.model) a.model->setFilter(Filters());
}

void PcTreeModel::Refresh() {
  beginResetModel();
  BuildAnchors();
  endResetModel();
}

QFileSystemModel* PcTreeModel::EnsureModel(int anchor) const {
  Anchor& a = anchors_[static_cast<size_t>(anchor)];
  if (a.model) return a.model.get();
  a.model = std::make_unique<QFileSystemModel>();
  a.model->setFilter(Filters());
  a.model->setReadOnly(true);
  a.model->setIconProvider(&iconProvider_);
  a.model->setRootPath(a.path);
  a.root = a.model->index(a.path);
  // Connected only now: what the model did while being set up happened
  // before this node reported any child.
  const_cast<PcTreeModel*>(this)->Connect(anchor);
  return a.model.get();
}

void PcTreeModel::Connect(int anchor) {
  QFileSystemModel* m = anchors_[static_cast<size_t>(anchor)].model.get();
  auto begin = [this, anchor](const QModelIndex& parent, auto&& start) {
    Anchor& a = anchors_[static_cast<size_t>(anchor)];
    const QModelIndex p = FromSource(anchor, parent);
    a.forwarding.push_back(p.isValid());
    if (p.isValid()) start(p);
  };
  auto end = [this, anchor](auto&& finish) {
    Anchor& a = anchors_[static_cast<size_t>(anchor)];
    if (a.forwarding.empty()) return;
    const bool forwarded = a.forwarding.back();
    a.forwarding.pop_back();
    if (forwarded) finish();
  };
  connect(m, &QAbstractItemModel::rowsAboutToBeInserted, this,
          [this, begin](const QModelIndex& parent, int first, int last) {
            begin(parent, [&](const QModelIndex& p) { beginInsertRows(p, first, last); });
          });
  connect(m, &QAbstractItemModel::rowsInserted, this,
          [this, end] { end([this] { endInsertRows(); }); });
  connect(m, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this, begin](const QModelIndex& parent, int first, int last) {
            begin(parent, [&](const QModelIndex& p) { beginRemoveRows(p, first, last); });
          });
  connect(m, &QAbstractItemModel::rowsRemoved, this,
          [this, end] { end([this] { endRemoveRows(); }); });
  // A move (the file-system model sorts by layout changes and renames by
  // removing and inserting, but may move) is passed on as a layout change.
  connect(m, &QAbstractItemModel::rowsAboutToBeMoved, this, [this] { emit layoutAboutToBeChanged(); });
  connect(m, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] { emit layoutAboutToBeChanged(); });
  auto relayout = [this, anchor] {
    // The entries' persistent indexes already moved with their model.
    const QModelIndexList mine = persistentIndexList();
    for (const QModelIndex& p : mine) {
      if (p.internalId() < kFirstEntryId) continue;
      const Entry& e = entries_[p.internalId() - kFirstEntryId];
      if (e.anchor != anchor || e.source == anchors_[static_cast<size_t>(anchor)].root) continue;
      changePersistentIndex(p, e.source.isValid() ? createIndex(e.source.row(), 0, p.internalId())
                                                  : QModelIndex());
    }
    emit layoutChanged();
  };
  connect(m, &QAbstractItemModel::rowsMoved, this, relayout);
  connect(m, &QAbstractItemModel::layoutChanged, this, relayout);
  connect(m, &QAbstractItemModel::dataChanged, this,
          [this, anchor](const QModelIndex& topLeft, const QModelIndex& bottomRight,
                         const QList<int>& roles) {
            if (topLeft.column() > 0) return;
            for (int r = topLeft.row(); r <= bottomRight.row(); ++r) {
              const QModelIndex p = FromSource(anchor, topLeft.siblingAtRow(r));
              if (p.isValid()) emit dataChanged(p, p, roles);
            }
          });
  connect(m, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
  connect(m, &QAbstractItemModel::modelReset, this, [this] { endResetModel(); });
}

quintptr PcTreeModel::IdFor(int anchor, const QModelIndex& source) const {
  const void* key = source.internalPointer();
  auto it = ids_.constFind(key);
  if (it != ids_.constEnd()) {
    Entry& e = entries_[*it - kFirstEntryId];
    // A node freed and another made at the same address: the entry's index
    // died with the old node, so the entry is free to name the new one.
    if (e.anchor != anchor || e.source != source) e = Entry{anchor, QPersistentModelIndex(source)};
    return *it;
  }
  entries_.push_back(Entry{anchor, QPersistentModelIndex(source)});
  const quintptr id = entries_.size() - 1 + kFirstEntryId;
  ids_.insert(key, id);
  return id;
}

QModelIndex PcTreeModel::AnchorIndex(int anchor) const {
  EnsureModel(anchor);
  const Anchor& a = anchors_[static_cast<size_t>(anchor)];
  return createIndex(anchor == 0 ? 0 : anchor - 1, 0, IdFor(anchor, a.root));
}

QModelIndex PcTreeModel::FromSource(int anchor, const QModelIndex& source) const {
  if (!source.isValid()) return QModelIndex();
  const Anchor& a = anchors_[static_cast<size_t>(anchor)];
  const QModelIndex s = source.siblingAtColumn(0);
  if (s == a.root) return AnchorIndex(anchor);
  for (QModelIndex p = s.parent(); p.isValid(); p = p.parent())
    if (p == a.root) return createIndex(s.row(), 0, IdFor(anchor, s));
  return QModelIndex();
}

const PcTreeModel::Entry* PcTreeModel::EntryOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this || index.internalId() < kFirstEntryId) return nullptr;
  const size_t i = index.internalId() - kFirstEntryId;
  return i < entries_.size() ? &entries_[i] : nullptr;
}

PcTreeModel::NodeKind PcTreeModel::KindOf(const QModelIndex& index) const {
  if (!index.isValid()) return NodeKind::kNone;
  if (index.internalId() == kComputerId) return NodeKind::kComputer;
  const Entry* e = EntryOf(index);
  if (!e) return NodeKind::kNone;
  if (e->source == anchors_[static_cast<size_t>(e->anchor)].root)
    return e->anchor == 0 ? NodeKind::kHome : NodeKind::kVolume;
  return NodeKind::kFolder;
}

QString PcTreeModel::FilePath(const QModelIndex& index) const {
  const Entry* e = EntryOf(index);
  if (!e || !e->source.isValid()) return QString();
  const Anchor& a = anchors_[static_cast<size_t>(e->anchor)];
  if (e->source == a.root) return a.path;
  return a.model->filePath(e->source);
}

QModelIndex PcTreeModel::IndexForPath(const QString& rawPath) {
  const QString path = QDir::cleanPath(rawPath);
  int best = -1;
  for (size_t i = 0; i < anchors_.size(); ++i) {
    if (!Holds(anchors_[i].path, path)) continue;
    if (best < 0 || anchors_[i].path.size() > anchors_[static_cast<size_t>(best)].path.size())
      best = static_cast<int>(i);
  }
  // The home folder wins for anything inside it, however deep its mount.
  if (!anchors_.empty() && Holds(anchors_[0].path, path)) best = 0;
  if (best < 0) return QModelIndex();
  QFileSystemModel* m = EnsureModel(best);
  const QModelIndex s = m->index(path);
  return FromSource(best, s);
}

QModelIndex PcTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0) return QModelIndex();
  if (!parent.isValid()) {
    if (row == 0 && !anchors_.empty()) return AnchorIndex(0);
    if (row == 1) return createIndex(1, 0, kComputerId);
    return QModelIndex();
  }
  if (parent.model() != this) return QModelIndex();
  if (parent.internalId() == kComputerId) {
    const int anchor = row + 1;
    return static_cast<size_t>(anchor) < anchors_.size() ? AnchorIndex(anchor) : QModelIndex();
  }
  const Entry* e = EntryOf(parent);
  if (!e || !e->source.isValid()) return QModelIndex();
  QFileSystemModel* m = EnsureModel(e->anchor);
  const QModelIndex child = m->index(row, 0, e->source);
  if (!child.isValid()) return QModelIndex();
  return createIndex(row, 0, IdFor(e->anchor, child));
}

QModelIndex PcTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == kComputerId) return QModelIndex();
  const Entry* e = EntryOf(child);
  if (!e || !e->source.isValid()) return QModelIndex();
  const Anchor& a = anchors_[static_cast<size_t>(e->anchor)];
  if (e->source == a.root)
    return e->anchor == 0 ? QModelIndex() : createIndex(1, 0, kComputerId);
  const QModelIndex p = e->source.parent();
  if (p == a.root) return AnchorIndex(e->anchor);
  return createIndex(p.row(), 0, IdFor(e->anchor, p));
}

int PcTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return anchors_.empty() ? 0 : 2;
  if (parent.column() > 0 || parent.model() != this) return 0;
  if (parent.internalId() == kComputerId) return static_cast<int>(anchors_.size()) - 1;
  const Entry* e = EntryOf(parent);
  if (!e || !e->source.isValid()) return 0;
  return EnsureModel(e->anchor)->rowCount(e->source);
}

int PcTreeModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() && parent.column() > 0 ? 0 : 1;
}

bool PcTreeModel::hasChildren(const QModelIndex& parent) const {
  if (!parent.isValid()) return !anchors_.empty();
  if (parent.column() > 0 || parent.model() != this) return false;
  if (parent.internalId() == kComputerId) return anchors_.size() > 1;
  const Entry* e = EntryOf(parent);
  if (!e || !e->source.isValid()) return false;
  return EnsureModel(e->anchor)->hasChildren(e->source);
}

bool PcTreeModel::canFetchMore(const QModelIndex& parent) const {
  const Entry* e = EntryOf(parent);
  if (!e || !e->source.isValid()) return false;
  return EnsureModel(e->anchor)->canFetchMore(e->source);
}

void PcTreeModel::fetchMore(const QModelIndex& parent) {
  const Entry* e = EntryOf(parent);
  if (!e || !e->source.isValid()) return;
  const QModelIndex source = e->source;
  EnsureModel(e->anchor)->fetchMore(source);
}

QVariant PcTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.model() != this) return QVariant();
  if (index.internalId() == kComputerId) {
    if (role == Qt::DisplayRole) return QStringLiteral("Computer");
    if (role == Qt::DecorationRole) return icons_.Computer();
    return QVariant();
  }
  const Entry* e = EntryOf(index);
  if (!e || !e->source.isValid()) return QVariant();
  const Anchor& a = anchors_[static_cast<size_t>(e->anchor)];
  if (e->source == a.root) {
    if (role == Qt::DisplayRole) return a.label;
    if (role == Qt::DecorationRole) return a.icon;
    if (role == Qt::ToolTipRole) return a.path;
    return QVariant();
  }
  if (role == Qt::EditRole) role = Qt::DisplayRole;
  return a.model->data(e->source, role);
}

Qt::ItemFlags PcTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace tarn::shell
