// The pictures of the panes: the program's own icons for the mainframe
// rows (drawn as SVG and bundled as resources, ":/tarn/icons/..."), and the
// desktop icon theme's icons for generic files by their MIME type, with
// the bundled ones standing in where no theme is installed.
#pragma once

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

#include "client/listing/listing_model.h"

namespace tarn::shell {

// Points QIcon::fromTheme at the desktop's icon themes when the platform
// names none (bare X servers, the offscreen platform): the XDG data
// folders' "icons" are searched, and the first installed of a few common
// themes is used. A theme the platform chose is left alone. GUI thread.
void EnsureIconTheme();

// Owned by the GUI thread; every call is cheap after the first for a
// given MIME type.
class IconStore {
 public:
  IconStore();

  // The icon of a row's image role. `genericHost`: folders of generic
  // hosts take the desktop's folder icon, as local folders do; mainframe
  // containers keep the program's own. kIconByName has no icon of its own
  // (use ForFileName) and gives the plain file icon.
  QIcon ForRole(listing::IconRole role, bool genericHost) const;

  // The icon of a file by its name alone (the extension's MIME type; no
  // disk access): the theme's icon of the type, of its generic type, or
  // the bundled file icon. Cached per MIME type.
  QIcon ForFileName(const QString& name);

  // A bundled icon by file name ("folder", "drive", ...); null when there
  // is no such picture.
  static QIcon Bundled(const QString& name);

  // The PC tree's own nodes: the home folder, the computer, a drive.
  QIcon Home() const { return home_; }
  QIcon Computer() const { return computer_; }
  QIcon Drive() const { return drive_; }
  QIcon Folder() const { return themeFolder_; }

 private:
  QMimeDatabase mime_;
  QHash<QString, QIcon> byMimeType_;
  QIcon file_;
  QIcon folder_, openFolder_, filteredFolder_;
  QIcon themeFolder_, themeOpenFolder_;
  QIcon dataset_, vsam_, migrated_, loadModule_, memberVariable_, memberFixed_, vseEntry_;
  QIcon home_, computer_, drive_;
};

}  // namespace tarn::shell
