#include "client/shell/host_tree_model.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <cctype>

#include "client/session/session_store.h"

namespace tarn::shell {

using listing::kNoNode;
using listing::NodeId;

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

HostTreeModel::HostTreeModel(QObject* parent) : QAbstractItemModel(parent) {
  quickIcon_ = QIcon(":/tarn/icons/quick-connect.svg");
  hostsIcon_ = QIcon(":/tarn/icons/hosts.svg");
  sessionIcon_ = QIcon(":/tarn/icons/session.svg");
  serverIcon_ = QIcon(":/tarn/icons/session-connected.svg");
}

void HostTreeModel::SetIconProvider(std::function<QIcon(uint32_t, bool)> provider) {
  icons_ = std::move(provider);
}

void HostTreeModel::ShowSessions(const std::vector<std::string>& sessions) {
  beginResetModel();
  connected_ = false;
  tree_.Clear();
  sessions_ = sessions;
  std::stable_sort(sessions_.begin(), sessions_.end(), LessIgnoringCase);
  endResetModel();
}

void HostTreeModel::ShowTree(listing::HostTree tree) {
  beginResetModel();
  connected_ = true;
  tree_ = std::move(tree);
  endResetModel();
}

const std::vector<NodeId>& HostTreeModel::SiblingsOf(NodeId parent) const {
  return parent == kNoNode ? tree_.TopLevel() : tree_.Children(parent);
}

int HostTreeModel::RowOf(NodeId id) const {
  const auto& sib = SiblingsOf(tree_.Parent(id));
  auto it = std::find(sib.begin(), sib.end(), id);
  return it == sib.end() ? -1 : static_cast<int>(it - sib.begin());
}

QModelIndex HostTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0) return {};
  if (!connected_) {
    if (!parent.isValid()) {
      if (row > 1) return {};
      return createIndex(row, 0, row == 0 ? kIdQuickConnect : kIdFtpHosts);
    }
    if (parent.internalId() != kIdFtpHosts) return {};
    size_t shown = std::max<size_t>(sessions_.size(), 1);
    if (static_cast<size_t>(row) >= shown) return {};
    return createIndex(row, 0, kIdFirstSession + static_cast<quintptr>(row));
  }
  NodeId p = parent.isValid() ? static_cast<NodeId>(parent.internalId()) : kNoNode;
  if (p != kNoNode && !tree_.IsLive(p)) return {};
  const auto& sib = SiblingsOf(p);
  if (static_cast<size_t>(row) >= sib.size()) return {};
  return createIndex(row, 0, static_cast<quintptr>(sib[static_cast<size_t>(row)]));
}

QModelIndex HostTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  if (!connected_) {
    if (child.internalId() >= kIdFirstSession) return createIndex(1, 0, kIdFtpHosts);
    return {};
  }
  NodeId id = static_cast<NodeId>(child.internalId());
  if (!tree_.IsLive(id)) return {};
  NodeId p = tree_.Parent(id);
  if (p == kNoNode) return {};
  int row = RowOf(p);
  return row < 0 ? QModelIndex() : createIndex(row, 0, static_cast<quintptr>(p));
}

int HostTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  if (!connected_) {
    if (!parent.isValid()) return 2;
    if (parent.internalId() == kIdFtpHosts) return static_cast<int>(std::max<size_t>(sessions_.size(), 1));
    return 0;
  }
  if (!parent.isValid()) return static_cast<int>(tree_.TopLevel().size());
  NodeId id = static_cast<NodeId>(parent.internalId());
  return tree_.IsLive(id) ? static_cast<int>(tree_.Children(id).size()) : 0;
}

int HostTreeModel::columnCount(const QModelIndex&) const { return 1; }

HostTreeModel::ItemKind HostTreeModel::KindOf(const QModelIndex& index) {
  if (!index.isValid()) return ItemKind::kNone;
  return static_cast<ItemKind>(index.data(kKindRole).toInt());
}

NodeId HostTreeModel::NodeOf(const QModelIndex& index) {
  if (!index.isValid()) return kNoNode;
  QVariant v = index.data(kNodeRole);
  return v.isValid() ? static_cast<NodeId>(v.toUInt()) : kNoNode;
}

QIcon HostTreeModel::IconOf(uint32_t role, bool selected) const {
  if (icons_) return icons_(role, selected);
  QStyle* style = QApplication::style();
  return style->standardIcon(selected ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon);
}

QVariant HostTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (!connected_) {
    quintptr id = index.internalId();
    ItemKind kind = id == kIdQuickConnect ? ItemKind::kQuickConnect
                    : id == kIdFtpHosts   ? ItemKind::kFtpHosts
                    : sessions_.empty()   ? ItemKind::kPlaceholder
                                          : ItemKind::kSession;
    switch (role) {
      case Qt::DisplayRole:
        switch (kind) {
          case ItemKind::kQuickConnect: return QString(kQuickConnectText);
          case ItemKind::kFtpHosts: return QString(kFtpHostsText);
          case ItemKind::kPlaceholder: return QString(kNoSessionsText);
          default: return QString::fromStdString(sessions_[id - kIdFirstSession]);
        }
      case Qt::DecorationRole:
        switch (kind) {
          case ItemKind::kQuickConnect: return quickIcon_;
          case ItemKind::kFtpHosts: return hostsIcon_;
          case ItemKind::kSession: return sessionIcon_;
          default: return {};
        }
      case Qt::ToolTipRole:
        if (kind == ItemKind::kSession) return QString("Double-click to connect");
        if (kind == ItemKind::kQuickConnect) return QString("Connect to a host without a stored session");
        return {};
      case kKindRole: return static_cast<int>(kind);
      default: return {};
    }
  }
  NodeId id = static_cast<NodeId>(index.internalId());
  if (!tree_.IsLive(id)) return {};
  switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(tree_.Text(id));
    case Qt::DecorationRole:
      // The session's own node (the top level) shows the server.
      if (tree_.Parent(id) == kNoNode && id == tree_.RootNode()) return serverIcon_;
      return IconOf(tree_.Image(id), false);
    case Qt::ToolTipRole: return QString::fromStdString(tree_.Record(id).path);
    case kKindRole: return static_cast<int>(ItemKind::kDirectory);
    case kNodeRole: return static_cast<uint>(id);
    case kPathRole: return QString::fromStdString(tree_.Record(id).path);
    default: return {};
  }
}

Qt::ItemFlags HostTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (KindOf(index) == ItemKind::kPlaceholder) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QModelIndex HostTreeModel::IndexOfNode(NodeId id) const {
  if (!connected_ || !tree_.IsLive(id)) return {};
  int row = RowOf(id);
  return row < 0 ? QModelIndex() : createIndex(row, 0, static_cast<quintptr>(id));
}

QModelIndex HostTreeModel::IndexOfSession(const std::string& name) const {
  if (connected_) return {};
  for (size_t i = 0; i < sessions_.size(); ++i)
    if (sessions_[i] == name) return createIndex(static_cast<int>(i), 0, kIdFirstSession + i);
  return {};
}

}  // namespace tarn::shell
