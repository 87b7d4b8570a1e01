#include "client/shell/icons.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace tarn::shell {

namespace {

// A theme icon, or `fallback` when the theme has none.
QIcon Themed(const QString& name, const QIcon& fallback) {
  return QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : fallback;
}

}  // namespace

void EnsureIconTheme() {
  const QString current = QIcon::themeName();
  if (!current.isEmpty() && current != QLatin1String("hicolor")) return;
  QStringList paths = QIcon::themeSearchPaths();
  QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts);
  if (dataDirs.isEmpty()) dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
  if (dataHome.isEmpty()) dataHome = QDir::homePath() + QStringLiteral("/.local/share");
  dataDirs.prepend(dataHome);
  for (const QString& dir : dataDirs) {
    const QString icons = dir + QStringLiteral("/icons");
    if (!paths.contains(icons) && QFileInfo(icons).isDir()) paths << icons;
  }
  QIcon::setThemeSearchPaths(paths);
  static const char* const kThemes[] = {"Adwaita", "breeze", "gnome", "oxygen", "Tango",
                                        "elementary"};
  for (const char* theme : kThemes) {
    for (const QString& dir : paths) {
      if (QFileInfo::exists(dir + u'/' + QLatin1String(theme) + QStringLiteral("/index.theme"))) {
        QIcon::setThemeName(QLatin1String(theme));
        return;
      }
    }
  }
}

QIcon IconStore::Bundled(const QString& name) {
  const QString path = QStringLiteral(":/tarn/icons/") + name + QStringLiteral(".svg");
  return QFileInfo::exists(path) ? QIcon(path) : QIcon();
}

IconStore::IconStore()
    : file_(Bundled(QStringLiteral("file"))),
      folder_(Bundled(QStringLiteral("folder"))),
      openFolder_(Bundled(QStringLiteral("folder-open"))),
      filteredFolder_(Bundled(QStringLiteral("folder-filtered"))),
      dataset_(Bundled(QStringLiteral("dataset"))),
      vsam_(Bundled(QStringLiteral("vsam"))),
      migrated_(Bundled(QStringLiteral("migrated"))),
      loadModule_(Bundled(QStringLiteral("load-module"))),
      memberVariable_(Bundled(QStringLiteral("member-variable"))),
      memberFixed_(Bundled(QStringLiteral("member-fixed"))),
      vseEntry_(Bundled(QStringLiteral("vse-entry"))) {
  EnsureIconTheme();
  themeFolder_ = Themed(QStringLiteral("folder"), folder_);
  themeOpenFolder_ = Themed(QStringLiteral("folder-open"), openFolder_);
  home_ = Themed(QStringLiteral("user-home"), Bundled(QStringLiteral("home")));
  computer_ = Themed(QStringLiteral("computer"), Bundled(QStringLiteral("computer")));
  drive_ = Themed(QStringLiteral("drive-harddisk"), Bundled(QStringLiteral("drive")));
}

QIcon IconStore::ForRole(listing::IconRole role, bool genericHost) const {
  switch (role) {
    case listing::kIconFolder: return genericHost ? themeFolder_ : folder_;
    case listing::kIconOpenFolder: return genericHost ? themeOpenFolder_ : openFolder_;
    case listing::kIconFilteredFolder: return filteredFolder_;
    case listing::kIconDataset: return dataset_;
    case listing::kIconVsam: return vsam_;
    case listing::kIconMigrated: return migrated_;
    case listing::kIconLoadModule: return loadModule_;
    case listing::kIconMemberVariable: return memberVariable_;
    case listing::kIconMemberFixed: return memberFixed_;
    case listing::kIconVsePlain: return vseEntry_;
    case listing::kIconByName: break;
  }
  return file_;
}

QIcon IconStore::ForFileName(const QString& name) {
  const QMimeType type = mime_.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  const QString key = type.name();
  auto it = byMimeType_.constFind(key);
  if (it != byMimeType_.constEnd()) return *it;
  QIcon icon = Themed(type.iconName(), Themed(type.genericIconName(), file_));
  byMimeType_.insert(key, icon);
  return icon;
}

}  // namespace tarn::shell
