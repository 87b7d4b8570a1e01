#include "client/shell/browse_viewer.h"

#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStringDecoder>
#include <QUrl>

#include <memory>

namespace tarn::shell {

namespace {

void OpenWithServices(const QString& path, const std::function<void()>& noProgram) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)) && noProgram) noProgram();
}

}  // namespace

void DesktopOpener::Open(const QString& path, std::function<void()> noProgram) {
  const QString query = QStandardPaths::findExecutable("xdg-mime");
  if (query.isEmpty()) {
    OpenWithServices(path, noProgram);
    return;
  }
  const QString mime = QMimeDatabase().mimeTypeForFile(path).name();
  auto* proc = new QProcess;
  auto once = std::make_shared<std::function<void()>>(std::move(noProgram));
  QObject::connect(proc, &QProcess::finished, proc, [proc, path, once](int code, QProcess::ExitStatus st) {
    const bool hasProgram =
        st == QProcess::NormalExit && code == 0 && !proc->readAllStandardOutput().trimmed().isEmpty();
    proc->deleteLater();
    if (hasProgram) OpenWithServices(path, *once);
    else if (*once) (*once)();
  });
  QObject::connect(proc, &QProcess::errorOccurred, proc, [proc, path, once](QProcess::ProcessError e) {
    if (e != QProcess::FailedToStart) return;  // the others end in finished()
    proc->deleteLater();
    OpenWithServices(path, *once);
  });
  proc->start(query, {"query", "default", mime});
}

BrowseViewer::BrowseViewer(const QString& path, const QString& title, QWidget* owner)
    : QMainWindow(owner, Qt::Window) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(title + kBrowseViewerSuffix);
  if (owner != nullptr) {
    setWindowIcon(owner->windowIcon());
    const QRect r = owner->geometry();
    setGeometry(r.adjusted(30, 30, -30, -30));
    resize(qMax(300, r.width() - 60), qMax(200, r.height() - 60));
  } else {
    resize(800, 600);
  }
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setCentralWidget(text_);

  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    statusBar()->showMessage(f.errorString());
    return;
  }
  const QByteArray bytes = f.read(kViewerLimit);
  // UTF-8 when the bytes are; otherwise each byte as Latin-1, so no file
  // shows as a run of replacement characters.
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString shown = utf8(bytes);
  if (utf8.hasError()) shown = QString::fromLatin1(bytes);
  text_->setPlainText(shown);
  if (f.size() > kViewerLimit)
    statusBar()->showMessage(QString("Only the first %1 MB of %2 bytes are shown.")
                                 .arg(kViewerLimit / (1024 * 1024))
                                 .arg(f.size()));
}

QString BrowseViewer::Text() const { return text_->toPlainText(); }

}  // namespace tarn::shell
