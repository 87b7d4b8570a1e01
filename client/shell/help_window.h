// The manual and the program's About and Update texts. The manual is HTML
// bundled into the programs as a Qt resource (client/shell/help/); any
// program linking tarnshell opens it with ManualUrl() in a QTextBrowser,
// as HelpWindow does.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace tarn::shell {

// The manual's location, at `section` (an anchor: "getting-started",
// "sessions", "mainframes", "ftps", "queue", "schedules", "keys"; empty for
// the contents).
QUrl ManualUrl(const QString& section = {});

// The About box's rich text: product, version, licence.
QString AboutText();
// The "Update Program" box's text: updates come with the package manager.
QString UpdateProgramText();
// The version of the suite (the build's project version).
QString ProgramVersion();

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Shows the window at `section` and raises it.
  void ShowSection(const QString& section);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_;
};

}  // namespace tarn::shell
