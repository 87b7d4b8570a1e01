#include "client/shell/pc_list_model.h"

#include <QDateTime>

#include "client/listing/text_rules.h"
#include "client/shell/icons.h"

namespace tarn::shell {

QString LocalDateText(const QDateTime& when, const ::platform::Locale& locale) {
  if (!when.isValid()) return QString();
  const std::tm t = ::platform::LocalTime(when.toSecsSinceEpoch());
  return QString::fromStdString(locale.FormatShortDate(t) + " " + locale.FormatTime(t));
}

QIcon PcIconProvider::icon(const QFileInfo& info) const {
  if (info.isDir()) return QFileIconProvider::icon(info);
  const QMimeType type = mime_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
  QMutexLocker lock(&mu_);
  auto it = byType_.constFind(type.name());
  if (it != byType_.constEnd()) return *it;
  QIcon icon;
  if (QIcon::hasThemeIcon(type.iconName()))
    icon = QIcon::fromTheme(type.iconName());
  else if (QIcon::hasThemeIcon(type.genericIconName()))
    icon = QIcon::fromTheme(type.genericIconName());
  else
    icon = IconStore::Bundled(QStringLiteral("file"));
  byType_.insert(type.name(), icon);
  return icon;
}

QString PcIconProvider::type(const QFileInfo& info) const {
  if (info.isDir()) return QFileIconProvider::type(info);
  const QMimeType type = mime_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
  if (!type.isDefault()) return type.comment();
  // As host files without a known type: "bin File", or "File".
  const QString ext = info.suffix();
  return ext.isEmpty() ? QStringLiteral("File") : ext + QStringLiteral(" File");
}

PcListModel::PcListModel(const ::platform::Locale& locale, QObject* parent)
    : QSortFilterProxyModel(parent), locale_(locale) {
  // Letters without regard to case; numbers are compared by CompareNatural.
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  setDynamicSortFilter(true);
  MakeSource();
}

PcListModel::~PcListModel() {
  // The proxy lets go of the source before the source goes.
  setSourceModel(nullptr);
}

QDir::Filters PcListModel::Filters() const {
  // Folders and files; devices, pipes, sockets and broken links cannot be
  // copied and are left out.
  QDir::Filters f = QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot;
  if (showHidden_) f |= QDir::Hidden;
  return f;
}

void PcListModel::MakeSource() {
  auto files = std::make_unique<QFileSystemModel>();
  files->setFilter(Filters());
  files->setReadOnly(true);
  files->setIconProvider(&icons_);
  // The rows' own names: no resolution of links into their targets' names.
  files->setResolveSymlinks(false);
  connect(files.get(), &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    if (QDir::cleanPath(path) == folder_) emit folderLoaded(folder_);
  });
  if (!folder_.isEmpty()) folderIndex_ = files->setRootPath(folder_);
  // The filter reads files_ while the proxy takes the new model.
  files_ = std::move(files);
  setSourceModel(files_.get());
  sort(sort_.column, Qt::AscendingOrder);
}

QModelIndex PcListModel::SetFolder(const QString& folder) {
  folder_ = QDir::cleanPath(folder);
  folderIndex_ = files_->setRootPath(folder_);
  invalidateFilter();
  return mapFromSource(folderIndex_);
}

bool PcListModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (folder_.isEmpty()) return false;
  if (sourceParent == folderIndex_) return true;
  // The folder itself and the folders above it lead the view to it.
  const QString path = files_->filePath(files_->index(sourceRow, 0, sourceParent));
  if (path == folder_) return true;
  const QString prefix = path.endsWith(u'/') ? path : path + u'/';
  return folder_.startsWith(prefix);
}

QModelIndex PcListModel::RootIndex() const {
  return folder_.isEmpty() ? QModelIndex() : mapFromSource(files_->index(folder_));
}

void PcListModel::SetShowHidden(bool show) {
  if (show == showHidden_) return;
  showHidden_ = show;
  files_->setFilter(Filters());
}

void PcListModel::Refresh() {
  // A new file-system model reads the folder anew; the old one goes after
  // the proxy has let go of it.
  std::unique_ptr<QFileSystemModel> old = std::move(files_);
  MakeSource();
}

bool PcListModel::SortByHeader(int column) {
  if (!sort_.Click(column)) return false;
  // The rules carry the direction themselves; Qt always sorts "ascending",
  // and a second click on the same column sorts the rows again.
  if (sortColumn() == column)
    invalidate();
  else
    sort(column, Qt::AscendingOrder);
  return true;
}

QFileInfo PcListModel::FileInfo(const QModelIndex& index) const {
  return files_->fileInfo(mapToSource(index.siblingAtColumn(0)));
}

QString PcListModel::FilePath(const QModelIndex& index) const {
  return files_->filePath(mapToSource(index.siblingAtColumn(0)));
}

bool PcListModel::IsFolder(const QModelIndex& index) const {
  return files_->isDir(mapToSource(index.siblingAtColumn(0)));
}

QVariant PcListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return QVariant();
  const QModelIndex source = mapToSource(index);
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kSize:
          if (files_->isDir(source)) return QString();
          return QString::fromStdString(listing::SizeText(
              static_cast<uint64_t>(files_->size(source)), listing::SizeForm::kExactOrZero, locale_));
        case kType: {
          QString type = files_->type(source);
          if (!type.isEmpty()) type[0] = type[0].toUpper();
          return type;
        }
        case kModified:
          return LocalDateText(files_->lastModified(source), locale_);
        default:
          break;
      }
      break;
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(
          (index.column() == kSize || index.column() == kModified ? Qt::AlignRight : Qt::AlignLeft) |
          Qt::AlignVCenter));
    case Qt::EditRole:
      return index.column() == kName ? files_->fileName(source) : QVariant();
    default:
      break;
  }
  return QSortFilterProxyModel::data(index, role);
}

QVariant PcListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
    return QSortFilterProxyModel::headerData(section, orientation, role);
  if (role == Qt::DisplayRole) {
    static const char* const kHeaders[] = {"Name", "Size", "Type", "Modified"};
    return QString::fromLatin1(kHeaders[section]);
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment(
        (section == kSize || section == kModified ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
  return QVariant();
}

Qt::ItemFlags PcListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QSortFilterProxyModel::flags(index);
  f &= ~(Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
  if (index.isValid() && index.column() == kName) f |= Qt::ItemIsEditable;
  return f;
}

bool PcListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != kName) return false;
  const QString name = value.toString();
  if (name.isEmpty() || name == files_->fileName(mapToSource(index))) return false;
  emit renameRequested(FilePath(index), name);
  return false;
}

int PcListModel::NameOrder(const QString& a, const QString& b) const {
  auto view = [](const QString& s) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
  };
  return CompareNatural(view(a), view(b), [this](std::u16string_view x, std::u16string_view y) {
    return collator_.compare(QStringView(x.data(), static_cast<qsizetype>(x.size())),
                             QStringView(y.data(), static_cast<qsizetype>(y.size())));
  });
}

bool PcListModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QFileInfo a = files_->fileInfo(left.siblingAtColumn(0));
  const QFileInfo b = files_->fileInfo(right.siblingAtColumn(0));
  PcSortKey ka, kb;
  ka.isFolder = files_->isDir(left.siblingAtColumn(0));
  kb.isFolder = files_->isDir(right.siblingAtColumn(0));
  ka.size = ka.isFolder ? 0 : static_cast<uint64_t>(std::max<qint64>(a.size(), 0));
  kb.size = kb.isFolder ? 0 : static_cast<uint64_t>(std::max<qint64>(b.size(), 0));
  ka.modified = files_->lastModified(left.siblingAtColumn(0)).toSecsSinceEpoch();
  kb.modified = files_->lastModified(right.siblingAtColumn(0)).toSecsSinceEpoch();
  auto names = [&] { return NameOrder(a.fileName(), b.fileName()); };
  auto types = [&] {
    return collator_.compare(files_->type(left.siblingAtColumn(0)), files_->type(right.siblingAtColumn(0)));
  };
  const int column = sortColumn() >= 0 && sortColumn() < 4 ? sortColumn() : 0;
  return ComparePcItems(ka, kb, column, names, types) * sort_.direction[column] < 0;
}

}  // namespace tarn::shell
