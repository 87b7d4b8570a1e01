// The drive level of the PC side: the mounted file systems, as the PC tree's
// "Computer" node and as a table for the PC list (Name, Type, Total Size,
// Free Space). GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStorageInfo>
#include <QString>

#include "platform/locale.h"

namespace tarn::shell {

class IconStore;

// The file systems a person can browse: mounted, ready, rooted at a
// folder, and not tiny pseudo mounts (under 1 MiB) or read-only images of
// packaged programs (squashfs). Sorted by mount point, "/" first.
QList<QStorageInfo> BrowsableVolumes();

// The name a volume shows: its label with the mount point, or the mount
// point alone ("Data (/media/jo/Data)", "/").
QString VolumeName(const QStorageInfo& volume);

class PcDriveModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName, kType, kTotal, kFree, kColumnCount };
  // The sort key of a cell: text columns their text, sizes the byte count.
  static constexpr int kSortRole = Qt::UserRole + 1;
  // The volume's mount point.
  static constexpr int kPathRole = Qt::UserRole + 2;

  PcDriveModel(const ::platform::Locale& locale, IconStore& icons, QObject* parent = nullptr);

  // Reads the volumes again (a model reset).
  void Refresh();
  // Shows the file systems of `paths`, each named by its path, instead of
  // the machine's mount points (tests).
  void SetVolumes(const QStringList& paths);
  QString PathAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const ::platform::Locale& locale_;
  IconStore& icons_;
  struct Volume {
    QString path;
    QStorageInfo info;
  };
  void Show(QList<Volume> volumes);
  QList<Volume> volumes_;
};

}  // namespace tarn::shell
