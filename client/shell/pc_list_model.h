// PcListModel: the PC list inside a folder, Qt's QFileSystemModel behind a
// proxy that carries the list's own rules: the columns "Name", "Size",
// "Type" and "Modified", sizes and dates in the person's locale, the sort
// rules of the four columns with a direction per column, and renames that
// go through the program's own checks. GUI thread only.
#pragma once

#include <QCollator>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <QSortFilterProxyModel>

#include <memory>

#include "client/shell/pc_sort_rules.h"
#include "platform/locale.h"

namespace tarn::shell {

// The icons and type names of local files: a file takes the theme's icon
// and the description of its name's MIME type (by the extension: nothing
// is read, so a pipe or a slow network file never stalls the window, which
// asks for changed files on the GUI thread), as host files do; folders
// keep the desktop's folder icons. The file-system model asks from its
// gatherer thread too, so the cache is locked.
class PcIconProvider : public QFileIconProvider {
 public:
  using QFileIconProvider::icon;
  QIcon icon(const QFileInfo& info) const override;
  QString type(const QFileInfo& info) const override;

 private:
  mutable QMutex mu_;
  mutable QHash<QString, QIcon> byType_;
  QMimeDatabase mime_;
};

class PcListModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  enum Column { kName, kSize, kType, kModified, kColumnCount };

  explicit PcListModel(const ::platform::Locale& locale, QObject* parent = nullptr);
  ~PcListModel() override;

  // Shows `folder`: returns the index the view takes as its root.
  QModelIndex SetFolder(const QString& folder);
  QString Folder() const { return folder_; }
  QModelIndex RootIndex() const;
  // Hidden files shown or not (HiddenFlag "X").
  void SetShowHidden(bool show);
  // Reads the folder again from the disk.
  void Refresh();

  // A click on header `column`: it becomes the sort column, its direction
  // flips, and the rows sort again.
  bool SortByHeader(int column);
  const PcSortState& SortState() const { return sort_; }

  QFileInfo FileInfo(const QModelIndex& index) const;
  QString FilePath(const QModelIndex& index) const;
  bool IsFolder(const QModelIndex& index) const;
  // The order of two names: numbers by value, text by the person's
  // collation without regard to case.
  int NameOrder(const QString& a, const QString& b) const;
  QFileSystemModel& Files() { return *files_; }

  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // An edit of the name column renames nothing itself: it asks
  // (renameRequested), and the file-system model shows the new name once
  // the file is renamed.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void renameRequested(const QString& path, const QString& newName);
  // The folder on show has been read (the busy cursor ends).
  void folderLoaded(const QString& folder);

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
  // Only the folder on show, its children and the folders above it: the
  // list never sorts or offers a row of another folder.
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  void MakeSource();
  QDir::Filters Filters() const;

  const ::platform::Locale& locale_;
  PcIconProvider icons_;  // outlives files_
  std::unique_ptr<QFileSystemModel> files_;
  QString folder_;
  QPersistentModelIndex folderIndex_;  // folder_ in files_
  bool showHidden_ = false;
  PcSortState sort_;
  QCollator collator_;
};

// The date text of a local file's last write in `locale`: short date, a
// blank, the time without seconds.
QString LocalDateText(const QDateTime& when, const ::platform::Locale& locale);

}  // namespace tarn::shell
