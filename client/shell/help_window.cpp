#include "client/shell/help_window.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#ifndef TARN_VERSION
#define TARN_VERSION "0"
#endif

namespace tarn::shell {

QUrl ManualUrl(const QString& section) {
  QUrl url("qrc:/tarn/help/manual.html");
  if (!section.isEmpty()) url.setFragment(section);
  return url;
}

QString ProgramVersion() { return QStringLiteral(TARN_VERSION); }

QString AboutText() {
  return QStringLiteral(
             "<h3>Tarn File Transfer</h3>"
             "<p>Version %1</p>"
             "<p>An FTP and FTPS client for UNIX, Windows and NetWare servers and for "
             "MVS, VM and VSE mainframe hosts, with a transfer queue that runs on a "
             "schedule.</p>"
             "<p>Part of the Tarn suite: <b>tarn</b>, <b>tarn-cli</b>, <b>almanor</b> and "
             "<b>courel</b>.</p>"
             "<p>Licence: MIT License. The software is provided \"as is\", without warranty "
             "of any kind.</p>")
      .arg(ProgramVersion());
}

QString UpdateProgramText() {
  return QStringLiteral(
             "Tarn is updated with the rest of your system: install new versions with "
             "your system's package manager (for example apt on Debian).\n\n"
             "Installed version: %1")
      .arg(ProgramVersion());
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("Tarn Help");
  resize(820, 640);
  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(true);
  auto* back = new QPushButton("&Back", this);
  auto* contents = new QPushButton("&Contents", this);
  auto* closeButton = new QPushButton("Close", this);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(contents, &QPushButton::clicked, this, [this] { browser_->setSource(ManualUrl()); });
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
  back->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(contents);
  buttons->addStretch(1);
  buttons->addWidget(closeButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addLayout(buttons);
  new QShortcut(QKeySequence::Close, this, [this] { close(); });
  new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });
}

void HelpWindow::ShowSection(const QString& section) {
  browser_->setSource(ManualUrl(section));
  show();
  raise();
  activateWindow();
}

}  // namespace tarn::shell
