// Showing a browsed host file: the desktop's program for its type, or,
// where the desktop has none, the program's own read-only text viewer.
// GUI thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>

class QPlainTextEdit;

namespace tarn::shell {

inline constexpr const char* kBrowseViewerSuffix = " - Tarn Browse";

// Opens files with the desktop's programs. Behind an interface so that
// tests never start a real program.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  // Hands `path` to the program the desktop has for its type; when there
  // is none (or it cannot be started), `noProgram` runs instead, maybe
  // later, on the GUI thread.
  virtual void Open(const QString& path, std::function<void()> noProgram) = 0;
};

// The desktop's way: the type from Qt's MIME database, `xdg-mime query
// default` for its program (asked without waiting), then Qt's desktop
// services; a desktop without xdg-mime goes to the services at once, whose
// refusal means no program.
class DesktopOpener : public FileOpener {
 public:
  void Open(const QString& path, std::function<void()> noProgram) override;
};

// The read-only viewer of one browsed file: "<title> - Tarn Browse". Files
// beyond kViewerLimit bytes show their first kViewerLimit bytes and say so.
class BrowseViewer : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr qint64 kViewerLimit = 16 * 1024 * 1024;

  // Reads `path` now; `owner` (may be null) gives the size (its own less
  // 60 pixels each way) and the icon. Deletes itself when closed.
  BrowseViewer(const QString& path, const QString& title, QWidget* owner);
  QString Text() const;

 private:
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace tarn::shell
