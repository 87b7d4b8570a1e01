#include "scheduler/app/help.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QUrl>
#include <QWhatsThis>
#include <QWidget>

namespace sched_app {

QString ManualPath() {
  // The client's manual (client/shell/help/manual.html): installed in
  // <prefix>/share/tarn/help/, or copied beside the programs in a build tree.
  const QString dir = QCoreApplication::applicationDirPath();
  for (const QString& candidate :
       {dir + "/help/manual.html", dir + "/../share/tarn/help/manual.html"}) {
    QFileInfo f(candidate);
    if (f.isFile()) return f.canonicalFilePath();
  }
  return QString();
}

void OpenManual(QWidget* parent) {
  QString path = ManualPath();
  if (path.isEmpty()) {
    QMessageBox::information(parent, QStringLiteral("Almanor"),
                             QStringLiteral("The Tarn manual is not installed."));
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString TopicText(int topic) {
  switch (topic) {
    case 2001:
      return QStringLiteral("Recurring Transfer\n\nRuns the schedule again and again: every day, "
                            "every week or every 28 days, as chosen in the list beside it.");
    case 2002:
      return QStringLiteral("Add Schedule\n\nPlans a new run of a schedule file: choose the file, "
                            "the start date and time, and whether it recurs.");
    case 2003:
      return QStringLiteral("Edit Schedule\n\nChanges the selected schedule. A restricted run "
                            "that is under way is then treated as not started.");
    case 2004:
      return QStringLiteral("Delete Schedule\n\nRemoves the selected schedule at once, without "
                            "a question. The schedule file itself stays.");
    case 2005:
      return QStringLiteral("Close\n\nSaves the changed schedules and closes this window. The "
                            "scheduler goes on running in the system tray.");
    case 2006:
      return QStringLiteral("Restrict Transfer Time\n\nStops the run at the end date and time if "
                            "it has not finished by then.");
    case 2007:
      return QStringLiteral("Schedules\n\nEvery planned run: the schedule file's name, the next "
                            "start, the stop time of a restricted run and how often it recurs. "
                            "Double-click a schedule to edit it.");
    case 2008:
      return QStringLiteral("Frequency\n\nHow often a recurring schedule runs. \"Every Month\" "
                            "means every 28 days, on the same weekday.");
    case 2009:
      return QStringLiteral("Select T-File\n\nChooses the schedule file (.tsc) that tarn runs. "
                            "Schedule files are saved from tarn's transfer queue.");
    case 2010:
      return QStringLiteral("Cancel\n\nCloses this window without adding or changing the "
                            "schedule.");
    case 2011:
      return QStringLiteral("Start date and time\n\nWhen tarn is started for this schedule. A "
                            "start missed by more than ten minutes is asked about.");
    case 3003:
      return QStringLiteral("End date and time\n\nWhen a restricted run is stopped.");
    case 3004:
      return QStringLiteral("E-mail notification\n\nMails the run's log to the receiver after "
                            "the run, through the SMTP host you name.");
    default: return QString();
  }
}

namespace {

class ContextHelp : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ContextMenu) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;
    // The click reaches a control's inner part (a list's viewport, a
    // picker's edit field); the topic is the control's.
    while (w->whatsThis().isEmpty() && w->parentWidget() && !w->isWindow())
      w = w->parentWidget();
    if (w->whatsThis().isEmpty()) return false;
    QPoint global = static_cast<QContextMenuEvent*>(event)->globalPos();
    QMenu menu(w);
    QAction* what = menu.addAction(QStringLiteral("What's This?"));
    QAction* help = menu.addAction(QStringLiteral("&Help"));
    QAction* chosen = menu.exec(global);
    if (chosen == what) QWhatsThis::showText(global, w->whatsThis(), w);
    if (chosen == help) OpenManual(w->window());
    return true;
  }
};

}  // namespace

void AttachTopic(QWidget* control, int topic) {
  control->setWhatsThis(TopicText(topic));
  // One filter per dialog, owned by it. (ContextHelp has no meta-object of
  // its own, so findChild would take any child for one.)
  QWidget* dialog = control->window();
  ContextHelp* filter = nullptr;
  for (QObject* child : dialog->children())
    if ((filter = dynamic_cast<ContextHelp*>(child))) break;
  if (!filter) filter = new ContextHelp(dialog);
  control->installEventFilter(filter);
  // Inner parts take the right click before the control sees it: a list's
  // viewport, a picker's or a combo box's edit field.
  for (QWidget* part : control->findChildren<QWidget*>()) part->installEventFilter(filter);
}

void InstallF1Help(QWidget* dialog) {
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), dialog);
  QObject::connect(f1, &QShortcut::activated, dialog, [dialog] {
    QWidget* w = dialog->focusWidget();
    if (w && !w->whatsThis().isEmpty())
      QWhatsThis::showText(w->mapToGlobal(QPoint(w->width() / 2, w->height())), w->whatsThis(), w);
    else
      OpenManual(dialog);
  });
}

}  // namespace sched_app
