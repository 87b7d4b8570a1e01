#include "client/shell/pc_drive_model.h"

#include <QFileInfo>

#include <algorithm>

#include "client/shell/icons.h"
#include "client/shell/pc_drive_text.h"

namespace tarn::shell {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

QList<QStorageInfo> BrowsableVolumes() {
  QList<QStorageInfo> out;
  for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
    if (!v.isValid() || !v.isReady()) continue;
    if (v.bytesTotal() < (qint64{1} << 20)) continue;
    if (v.fileSystemType() == "squashfs") continue;
    if (!QFileInfo(v.rootPath()).isDir()) continue;
    out.push_back(v);
  }
  std::sort(out.begin(), out.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
    return a.rootPath() < b.rootPath();
  });
  return out;
}

QString VolumeName(const QStorageInfo& v) {
  const QString root = v.rootPath();
  const QString label = v.displayName();
  if (label.isEmpty() || label == root) return root;
  return label + QStringLiteral(" (") + root + u')';
}

PcDriveModel::PcDriveModel(const ::platform::Locale& locale, IconStore& icons, QObject* parent)
    : QAbstractTableModel(parent), locale_(locale), icons_(icons) {}

void PcDriveModel::Refresh() {
  QList<Volume> volumes;
  for (const QStorageInfo& v : BrowsableVolumes()) volumes.push_back({v.rootPath(), v});
  Show(std::move(volumes));
}

void PcDriveModel::SetVolumes(const QStringList& paths) {
  QList<Volume> volumes;
  for (const QString& p : paths) volumes.push_back({p, QStorageInfo(p)});
  Show(std::move(volumes));
}

void PcDriveModel::Show(QList<Volume> volumes) {
  beginResetModel();
  volumes_ = std::move(volumes);
  endResetModel();
}

QString PcDriveModel::PathAt(int row) const {
  return row >= 0 && row < volumes_.size() ? volumes_[row].path : QString();
}

int PcDriveModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(volumes_.size());
}

int PcDriveModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant PcDriveModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= volumes_.size()) return QVariant();
  const QStorageInfo& v = volumes_[index.row()].info;
  const QString& path = volumes_[index.row()].path;
  const std::string type = v.fileSystemType().toStdString();
  // A failed size query reports -1 (or 0 for a volume that went away): the
  // cell stays empty.
  const qint64 total = v.bytesTotal(), free = v.bytesAvailable();
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kName: return path == v.rootPath() ? VolumeName(v) : path;
        case kType: return Q(DriveTypeText(type));
        case kTotal: return total > 0 ? Q(DriveSizeText(static_cast<uint64_t>(total), locale_)) : QString();
        case kFree: return free >= 0 && total > 0 ? Q(DriveSizeText(static_cast<uint64_t>(free), locale_)) : QString();
      }
      return QVariant();
    case kSortRole:
      switch (index.column()) {
        case kName: return path;
        case kType: return Q(DriveTypeText(type));
        case kTotal: return total;
        case kFree: return free;
      }
      return QVariant();
    case kPathRole:
      return path;
    case Qt::ToolTipRole:
      return index.column() == kName ? path + QStringLiteral("  ") + QString::fromUtf8(v.device())
                                     : QVariant();
    case Qt::DecorationRole:
      return index.column() == kName ? QVariant(icons_.Drive()) : QVariant();
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(
          (index.column() >= kTotal ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    default:
      return QVariant();
  }
}

QVariant PcDriveModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return QVariant();
  if (role == Qt::DisplayRole) {
    static const char* const kHeaders[] = {"Name", "Type", "Total Size", "Free Space"};
    return QString::fromLatin1(kHeaders[section]);
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment((section >= kTotal ? Qt::AlignRight : Qt::AlignLeft) |
                                             Qt::AlignVCenter));
  return QVariant();
}

Qt::ItemFlags PcDriveModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace tarn::shell
