// HostTreeModel: the host tree as a Qt model. Disconnected, it shows the
// "Quick Connect" branch and the "FTP Hosts" branch with the stored
// sessions (sorted, or the placeholder when there are none); connected, it
// shows a copy of the worker's directory tree (HostTree), whose node ids
// are the model's internal ids. GUI thread only.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include <functional>
#include <string>
#include <vector>

#include "client/listing/host_tree.h"

namespace tarn::shell {

inline constexpr const char* kQuickConnectText = "Quick Connect";
inline constexpr const char* kFtpHostsText = "FTP Hosts";

class HostTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum class ItemKind { kNone, kQuickConnect, kFtpHosts, kSession, kPlaceholder, kDirectory };
  enum Roles {
    kKindRole = Qt::UserRole + 1,  // ItemKind as int
    kNodeRole,                     // connected: the NodeId
    kPathRole,                     // connected: the node's host path
  };

  explicit HostTreeModel(QObject* parent = nullptr);

  // Disconnected: the two branches, the sessions sorted by name (ignoring
  // case); an empty list shows the placeholder.
  void ShowSessions(const std::vector<std::string>& sessions);
  // Connected: the directory tree. Node ids stay the worker's.
  void ShowTree(listing::HostTree tree);

  bool connectedMode() const { return connected_; }
  const listing::HostTree& tree() const { return tree_; }
  // The sessions as shown (sorted), without the placeholder.
  const std::vector<std::string>& sessions() const { return sessions_; }

  QModelIndex IndexOfNode(listing::NodeId id) const;
  QModelIndex QuickConnectIndex() const { return index(0, 0); }
  QModelIndex FtpHostsIndex() const { return index(1, 0); }
  QModelIndex IndexOfSession(const std::string& name) const;
  static ItemKind KindOf(const QModelIndex& index);
  static listing::NodeId NodeOf(const QModelIndex& index);

  // Icons by image role of a node; the window sets it (default: the
  // style's folder icons).
  void SetIconProvider(std::function<QIcon(uint32_t role, bool selected)> provider);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // Internal ids of the disconnected items.
  static constexpr quintptr kIdQuickConnect = 1;
  static constexpr quintptr kIdFtpHosts = 2;
  static constexpr quintptr kIdFirstSession = 16;

  QIcon IconOf(uint32_t role, bool selected) const;
  const std::vector<listing::NodeId>& SiblingsOf(listing::NodeId parent) const;
  int RowOf(listing::NodeId id) const;

  bool connected_ = false;
  std::vector<std::string> sessions_;
  listing::HostTree tree_;
  std::function<QIcon(uint32_t, bool)> icons_;
  QIcon quickIcon_, hostsIcon_, sessionIcon_, serverIcon_;
};

}  // namespace tarn::shell
