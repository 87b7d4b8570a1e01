// The scheduler's dialogs on the offscreen platform: the rules they apply
// and what they hand back. Message boxes and nested dialogs are replaced
// through the dialogs' hooks.
#include <QAbstractItemModelTester>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/registry.h"
#include "scheduler/app/add_dialog.h"
#include "scheduler/app/main_frame.h"
#include "scheduler/app/schedules_dialog.h"
#include "scheduler/app/small_dialogs.h"
#include "scheduler/model/engine.h"
#include "scheduler/model/messages.h"
#include "tests/scheduler/scheduler_fixture.h"

using namespace sched;
using namespace sched_app;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    file_ = dir_->filePath("almanor.tsl").toStdString();
    // The single-instance lock and the endpoints live in a folder of the
    // test's own.
    qputenv("XDG_RUNTIME_DIR", dir_->path().toLocal8Bit());
  }

  // ---- the tray program ----------------------------------------------------------

  void trayStartsItsTimerOnlyWithSchedulesAndPausesIt() {
    CSchedule list(file_);
    sched_test::RecordingNotice notice;
    QVERIFY(list.Save(notice));  // empty
    {
      MainFrame frame(file_);
      QCOMPARE(int(frame.Start()), int(MainFrame::StartResult::kRunning));
      QVERIFY(!frame.TimerActive());
      QCOMPARE(frame.Tray()->toolTip(), QString(kStr1002Ready));
      MainFrame second(file_);
      QCOMPARE(int(second.Start()), int(MainFrame::StartResult::kSecondCopy));
      frame.TogglePause();
      QVERIFY(!frame.TimerActive());
    }
    AddEntry(list, "/q/night.tsc", false);
    QVERIFY(list.Save(notice));
    MainFrame frame(file_);
    QCOMPARE(int(frame.Start()), int(MainFrame::StartResult::kRunning));
    QCOMPARE(frame.Live().Count(), size_t{1});
    QVERIFY(frame.TimerActive());
    QStringList texts;
    for (QAction* a : frame.Menu()->actions())
      if (!a->isSeparator()) texts << a->text();
    QCOMPARE(texts, QStringList({"About Tarn Scheduling Application", "&Schedule Transfer",
                                 "Pause Tarn Scheduling Application", "&Exit"}));
    QCOMPARE(frame.Menu()->defaultAction()->text(), QString("&Schedule Transfer"));

    frame.TogglePause();
    QVERIFY(frame.Paused());
    QVERIFY(!frame.TimerActive());
    QCOMPARE(frame.Tray()->toolTip(), QString(kStr1013Paused));
    emit frame.Menu()->aboutToShow();
    QCOMPARE(frame.Menu()->actions().at(2)->text(),
             QString("Continue Tarn Scheduling Application"));
    frame.TogglePause();
    QVERIFY(frame.TimerActive());
    QCOMPARE(frame.Tray()->toolTip(), QString(kStr1002Ready));
    emit frame.Menu()->aboutToShow();
    QCOMPARE(frame.Menu()->actions().at(2)->text(), QString("Pause Tarn Scheduling Application"));
  }

  void trayHandOverOpensTheListWithTheFilePreset() {
    qputenv("TARN_CONFIG_DIR", dir_->path().toLocal8Bit());
    MainFrame frame(file_);
    QCOMPARE(int(frame.Start()), int(MainFrame::StartResult::kRunning));
    QStringList seen;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* add = qobject_cast<AddDialog*>(modal)) {
        seen << "add " + QString::fromStdString(add->Data().queueFile);
        frame.HandOver();  // a second hand-over while the list is open is ignored
        add->reject();
      } else if (auto* list = qobject_cast<SchedulesDialog*>(modal)) {
        seen << "list";
        list->reject();
      }
    });
    poll.start();
    frame.HandOver();  // no value in the registry: nothing opens
    QCOMPARE(seen, QStringList());

    std::string error;
    auto reg = platform::OpenSqliteRegistry(dir_->filePath("registry.sqlite").toStdString(), &error);
    QVERIFY2(reg != nullptr, error.c_str());
    platform::RegKey key;
    QCOMPARE(int(reg->CreateKey("Software\\Ostravel\\Tarn\\Application", &key)),
             int(platform::RegStatus::kOk));
    QCOMPARE(int(reg->WriteString(key, "CurrentQueueFile", "/q/handed.tsc")),
             int(platform::RegStatus::kOk));
    frame.HandOver();
    poll.stop();
    QCOMPARE(seen, QStringList({"add /q/handed.tsc", "list"}));
    QVERIFY(frame.TimerActive() == !frame.Live().Empty());
    qunsetenv("TARN_CONFIG_DIR");
  }

  // ---- Email Notification ----------------------------------------------------

  void emailChecksInOrderAndSelectsTheOffendingField() {
    struct Case {
      const char *host, *sender, *receiver;
      int field;  // 0 host, 1 sender, 2 receiver, -1 accepted
    } cases[] = {
        {"abc", "ab@cd", "x", 0},
        {"mail", "ab@cd", "x", 1},
        {"mail", "ops@example.org", "ab@.cd.ef", 2},
        {"mail", "ops@example.org", "ab.c@de.fg", -1},
    };
    for (const auto& c : cases) {
      EmailDialog dlg(c.host, c.sender, c.receiver);
      QObject::disconnect(&dlg, &EmailDialog::refused, nullptr, nullptr);
      QSignalSpy refused(&dlg, &EmailDialog::refused);
      dlg.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dlg));
      dlg.accept();
      QLineEdit* edits[] = {dlg.HostEdit(), dlg.SenderEdit(), dlg.ReceiverEdit()};
      if (c.field < 0) {
        QCOMPARE(refused.count(), 0);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        continue;
      }
      QCOMPARE(refused.count(), 1);
      QCOMPARE(refused.at(0).at(0).toString(),
               QString(c.field == 0 ? "Please specify a valid SMTP host name"
                                    : "Please specify a valid email address"));
      QVERIFY(dlg.isVisible());
      QCOMPARE(edits[c.field]->selectedText(), edits[c.field]->text());
    }
  }

  // ---- Overdue Schedule ----------------------------------------------------------

  void overdueEndsOnlyWithItsButtons() {
    OverdueDialog dlg("A one-time transfer (night, ...) did not run ...");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    dlg.close();
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.Button(kRunNow)->isDefault());
    QTest::mouseClick(dlg.Button(kSkipSchedule), Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), kSkipSchedule);
  }

  // ---- Add Scheduled Transfer -----------------------------------------------------

  void addEnablesOkOnceAFileIsChosen() {
    AddDialog dlg(AddDialog::NewEditorData(""), false);
    QVERIFY(!dlg.OkButton()->isEnabled());
    dlg.chooseFile = [] { return QString(); };
    QTest::mouseClick(dlg.SelectFile(), Qt::LeftButton);
    QVERIFY(!dlg.OkButton()->isEnabled());
    const QString path = "/home/ops/queues/nightly/run/night.tsc";
    dlg.chooseFile = [&] { return path; };
    QTest::mouseClick(dlg.SelectFile(), Qt::LeftButton);
    QVERIFY(dlg.OkButton()->isEnabled());
    QCOMPARE(dlg.Data().queueFile, path.toStdString());
    QVERIFY(dlg.findChild<QLabel*>() != nullptr);
    bool shown = false;
    for (QLabel* l : dlg.findChildren<QLabel*>())
      shown |= l->text() == "/home/ops/queues/.../night.tsc";
    QVERIFY(shown);

    AddDialog edit(AddDialog::NewEditorData(""), true);
    QVERIFY(edit.OkButton()->isEnabled());
  }

  void addPickersAndTheirLimits() {
    AddDialog dlg(AddDialog::NewEditorData("/q/night.tsc"), false);
    QCOMPARE(dlg.StartDate()->minimumDate(), QDate::currentDate());
    QCOMPARE(dlg.StartDate()->maximumDate(), QDate(2037, 11, 23));
    QCOMPARE(dlg.EndDate()->maximumDate(), QDate(2037, 11, 23));
    QVERIFY(!dlg.EndDate()->isEnabled());
    QVERIFY(!dlg.EndTime()->isEnabled());
    QVERIFY(!dlg.Frequency()->isEnabled());
    QCOMPARE(dlg.Frequency()->currentIndex(), -1);
    QCOMPARE(dlg.Data().frequency, 0);

    dlg.Restrict()->setChecked(true);
    QVERIFY(dlg.EndDate()->isEnabled());
    QVERIFY(dlg.EndTime()->isEnabled());
    dlg.Recurring()->setChecked(true);
    QVERIFY(dlg.Frequency()->isEnabled());
    QCOMPARE(dlg.Data().frequency, 1);
    dlg.Frequency()->setCurrentIndex(2);
    QCOMPARE(dlg.Data().frequency, 3);

    QDate later = QDate::currentDate().addDays(5);
    dlg.StartDate()->setDate(later);
    QCOMPARE(dlg.EndDate()->minimumDate(), later);
    QCOMPARE(dlg.EndDate()->date(), later);
    dlg.StartTime()->setTime(QTime(22, 0, 0));
    QCOMPARE(dlg.EndTime()->minimumTime(), QTime(22, 0, 0));
    // An overnight window: on the next day an earlier clock time is later.
    dlg.EndDate()->setDate(later.addDays(1));
    dlg.EndTime()->setTime(QTime(2, 0, 0));
    QCOMPARE(dlg.EndTime()->time(), QTime(2, 0, 0));
    EditorData d = dlg.Data();
    CScheduleEntry e;
    QVERIFY(EntryFromEditor(d, &e));
    QCOMPARE(e.m_timeStop - e.m_timeStart, int64_t{4 * 3600});
  }

  void addNotifyAsksForTheValues() {
    AddDialog dlg(AddDialog::NewEditorData("/q/night.tsc"), false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.askEmail = [](std::string*, std::string*, std::string*) { return false; };
    QTest::mouseClick(dlg.Notify(), Qt::LeftButton);
    QVERIFY(!dlg.Notify()->isChecked());
    QVERIFY(!dlg.Data().notify);

    dlg.askEmail = [](std::string* h, std::string* s, std::string* r) {
      *h = "mail.example.org", *s = "ops@example.org", *r = "admin@example.org";
      return true;
    };
    QTest::mouseClick(dlg.Notify(), Qt::LeftButton);
    QVERIFY(dlg.Notify()->isChecked());
    EditorData d = dlg.Data();
    QVERIFY(d.notify);
    QCOMPARE(d.smtpHost, std::string("mail.example.org"));
    // Clearing the box keeps the values for the next time it is ticked.
    QTest::mouseClick(dlg.Notify(), Qt::LeftButton);
    d = dlg.Data();
    QVERIFY(!d.notify);
    QCOMPARE(d.receiver, std::string("admin@example.org"));
    // Cancel on the next ask forgets them.
    dlg.askEmail = [](std::string*, std::string*, std::string*) { return false; };
    QTest::mouseClick(dlg.Notify(), Qt::LeftButton);
    QCOMPARE(dlg.Data().smtpHost, std::string());
  }

  // ---- Scheduled Transfers -----------------------------------------------------------

  void schedulesListRowsAndButtons() {
    CSchedule list(file_);
    AddEntry(list, "/q/night.tsc", true);
    AddEntry(list, "/q/day.run.tsc", false);
    sched_test::RecordingNotice notice;
    SchedulesDialog dlg(list, "", notice);
    QAbstractItemModelTester tester(dlg.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(dlg.Model()->rowCount(), 2);
    QStringList headers;
    for (int c = 0; c < 7; ++c) headers << dlg.Model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Name", "StartDate", "StartTime", "Rest.", "StopDate",
                                   "StopTime", "Freq"}));
    QCOMPARE(dlg.Model()->index(1, 0).data().toString(), QString("day"));
    QCOMPARE(dlg.Model()->index(1, 3).data().toString(), QString(""));
    QCOMPARE(dlg.Model()->index(0, 3).data().toString(), QString("Y"));
    QCOMPARE(dlg.Model()->index(0, 6).data().toString(), QString("Daily"));
    QVERIFY(!dlg.EditButton()->isEnabled());
    QVERIFY(!dlg.DeleteButton()->isEnabled());
    dlg.View()->setCurrentIndex(dlg.Model()->index(1, 0));
    QVERIFY(dlg.EditButton()->isEnabled());
    QTest::mouseClick(dlg.DeleteButton(), Qt::LeftButton);
    QCOMPARE(list.Count(), 1u);
    QVERIFY(dlg.Modified());
  }

  void schedulesEscapeAsksAndNoKeepsTheFile() {
    CSchedule list(file_);
    AddEntry(list, "/q/night.tsc", true);
    sched_test::RecordingNotice notice;
    QVERIFY(list.Save(notice));
    std::string before = sched_test::ReadFile(file_);
    SchedulesDialog dlg(list, "", notice);
    dlg.runEditor = [](EditorData* d, bool) {
      d->queueFile = "/q/added.tsc";
      return true;
    };
    int asked = 0;
    dlg.askSave = [&] {
      ++asked;
      return int(asked == 1 ? QMessageBox::Cancel : QMessageBox::No);
    };
    dlg.show();
    dlg.AddSchedule("");
    QCOMPARE(list.Count(), 2u);
    QVERIFY(dlg.isVisible());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QCOMPARE(asked, 1);
    QVERIFY(dlg.isVisible());  // Cancel keeps it open
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QCOMPARE(asked, 2);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.Closed());
    QCOMPARE(sched_test::ReadFile(file_), before);
  }

  void schedulesCloseSavesAndEditReturnsToWaiting() {
    CSchedule list(file_);
    AddEntry(list, "/q/night.tsc", true);
    list.At(0).m_bRunning = 1;
    sched_test::RecordingNotice notice;
    SchedulesDialog dlg(list, "", notice);
    bool sawEditMode = false;
    dlg.runEditor = [&](EditorData* d, bool editMode) {
      sawEditMode = editMode;
      d->queueFile = "/q/edited.tsc";
      return true;
    };
    dlg.View()->setCurrentIndex(dlg.Model()->index(0, 0));
    dlg.EditSelected();
    QVERIFY(sawEditMode);
    QCOMPARE(list.At(0).m_bRunning, 0);
    QCOMPARE(list.At(0).m_strQueueFile, std::string("/q/edited.tsc"));
    dlg.accept();
    QVERIFY(dlg.Closed());
    CSchedule back(file_);
    QCOMPARE(int(back.Load(notice)), int(LoadResult::kOk));
    QCOMPARE(back.At(0).m_strQueueFile, std::string("/q/edited.tsc"));
    QCOMPARE(back.At(0).m_bRunning, 0);
  }

  void schedulesStaysOpenWhileTheEditorRunsAndCloseSaves() {
    // Hiding the list while the editor runs must not end its exec().
    CSchedule list(file_);
    sched_test::RecordingNotice notice;
    SchedulesDialog dlg(list, "", notice);
    dlg.runEditor = [](EditorData* d, bool) {
      d->queueFile = "/q/added.tsc";
      return true;
    };
    bool visibleAfter = false;
    QTimer::singleShot(0, &dlg, [&] {
      dlg.AddSchedule("");
      dlg.View()->setCurrentIndex(dlg.Model()->index(0, 0));
      dlg.EditSelected();
      QTimer::singleShot(0, &dlg, [&] {
        visibleAfter = dlg.isVisible();
        dlg.accept();
      });
    });
    dlg.exec();
    QVERIFY(visibleAfter);
    QVERIFY(dlg.Closed());
    CSchedule back(file_);
    QCOMPARE(int(back.Load(notice)), int(LoadResult::kOk));
    QCOMPARE(back.Count(), size_t{1});
  }

  void contextHelpMenuOnTheListAndTheButtons() {
    CSchedule list(file_);
    AddEntry(list, "/q/night.tsc", true);
    sched_test::RecordingNotice notice;
    SchedulesDialog dlg(list, "", notice);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    // A right click on the list's viewport or on a button opens the menu
    // with both entries; Escape closes it.
    for (QWidget* target : {dlg.View()->viewport(), static_cast<QWidget*>(dlg.EditButton())}) {
      QStringList entries;
      QTimer::singleShot(0, this, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
          for (QAction* a : menu->actions()) entries << a->text();
          menu->close();
        }
      });
      QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                              target->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(target, &event);
      QCOMPARE(entries, QStringList({"What's This?", "&Help"}));
    }
    QVERIFY(dlg.View()->whatsThis().startsWith("Schedules"));
  }

  void schedulesPresetOpensTheEditorWithTheFile() {
    CSchedule list(file_);
    sched_test::RecordingNotice notice;
    SchedulesDialog dlg(list, "/q/handed.tsc", notice);
    std::string seen;
    dlg.runEditor = [&](EditorData* d, bool) {
      seen = d->queueFile;
      return false;
    };
    dlg.show();
    QTRY_COMPARE(seen, std::string("/q/handed.tsc"));
    QCOMPARE(list.Count(), 0u);
    QVERIFY(!dlg.Modified());
  }

  void schedulesRefusesTheTwoHundredFiftySeventh() {
    CSchedule list(file_);
    for (int i = 0; i < 256; ++i) AddEntry(list, "/q/n.tsc", false);
    sched_test::RecordingNotice notice;
    SchedulesDialog dlg(list, "", notice);
    dlg.runEditor = [](EditorData* d, bool) {
      d->queueFile = "/q/one-more.tsc";
      return true;
    };
    dlg.AddSchedule("");
    QCOMPARE(list.Count(), 256u);
    QCOMPARE(notice.shown.size(), size_t{1});
    QVERIFY(!dlg.Modified());
  }

 private:
  static void AddEntry(CSchedule& list, const std::string& file, bool restricted) {
    CScheduleEntry e;
    e.m_strQueueFile = file;
    e.m_timeStart = 1900000000;
    e.m_timeStop = 1900005400;
    e.m_bRestrict = restricted;
    e.m_nFrequency = restricted ? kDaily : 0;
    e.m_bRecurring = restricted;
    sched_test::RecordingNotice notice;
    list.Add(e, notice);
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::string file_;
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
