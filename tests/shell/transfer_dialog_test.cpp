// The transfer window against the scripted server: its list model's
// contract, the replace question answered through the real dialog, the
// window closing itself after the last file, a cancel answered No, and
// the "Add to Queue" button handing the rows back untransferred.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "client/shell/transfer_dialog.h"
#include "client/shell/transfer_questions.h"
#include "client/shell/transfer_rows_model.h"
#include "tests/shell/transfer_test_context.h"

using namespace tarn;
using namespace tarn::shell;
using tarn::testing::FakeFtpServer;

namespace {

constexpr int kLimitMs = 20000;

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Serve(FakeFtpServer& srv, const std::string& path, const std::string& data, size_t chunk = 0,
           int delayMs = 0) {
  srv.Pasv()
      .On("RETR " + path, "150 Opening BINARY mode (" + std::to_string(data.size()) + " bytes).\r\n")
      .DataOpen()
      .DataSend(data, chunk, delayMs)
      .DataClose()
      .Send("226 Transfer complete.\r\n");
}

// Answers every modal dialog of kind T that comes up by pressing the button
// `pick` chooses; counts them.
template <class T>
class Answerer : public QObject {
 public:
  explicit Answerer(std::function<QAbstractButton*(T*)> pick) : pick_(std::move(pick)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
      if (d == nullptr || d == last_) return;
      last_ = d;
      ++count;
      if (QAbstractButton* b = pick_(d)) b->click();
    });
    timer_.start(5);
  }
  int count = 0;

 private:
  std::function<QAbstractButton*(T*)> pick_;
  QTimer timer_;
  QPointer<T> last_;
};

QAbstractButton* Named(QDialog* d, const char* name) { return d->findChild<QPushButton*>(name); }

struct Window {
  tarn::testing::TransferTestContext t;
  FakeFtpServer srv;
  std::unique_ptr<TransferDialog> dialog;

  Window() { t.conn.cTypeNow = 'I'; }
  // A download window of `names` ("a.bin" from "/d/a.bin") into the test's folder.
  void Open(std::initializer_list<const char*> names) {
    QVERIFY(t.ConnectTo(srv, "/d"));
    BatchHost host;
    host.destination = t.dir.path().toStdString();
    auto batch = std::make_unique<TransferBatch>(TransferDirection::kDownload, host,
                                                 TransferMode::kAutoDetect, t.app.settings, t.app.locale);
    for (const char* n : names) batch->AddDownload(std::string("/d/") + n, n, 5, 0, false);
    dialog = std::make_unique<TransferDialog>(*t.ctx, std::move(batch), "", nullptr);
    dialog->show();
  }
};

}  // namespace

class TransferDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void rowsModelContract();
  void replaceQuestionNoThenYesToAll();
  void closesItselfAfterTheLastFile();
  void lastFileLeavesItsFinalFigures();
  void cancelAnsweredNoLeavesTheTransferRunning();
  void addToQueueButton();
};

void TransferDialogTest::rowsModelContract() {
  ::platform::Locale locale = ::platform::PinnedLocale();
  TransferRowsModel model(locale);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  TransferRow a, b;
  a.from = "/d/a";
  a.to = "/tmp/a";
  a.sizeKb = 2;
  a.bytes = 2000;
  b = a;
  b.from = "/d/b";
  model.SetRows({a});
  model.InsertRow(0, b);
  model.InsertRow(9, b);  // past the end: appended
  QCOMPARE(model.rowCount(), 3);
  QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QString("/d/b"));
  QCOMPARE(model.data(model.index(1, TransferRowsModel::kSize), Qt::DisplayRole).toString(), QString("2KB"));
  a.state = RowState::kDone;
  model.SetRow(1, a);
  QVERIFY(!model.flags(model.index(1, TransferRowsModel::kTo)).testFlag(Qt::ItemIsEditable));
  model.SetEditable(true);
  QSignalSpy renames(&model, &TransferRowsModel::renameRequested);
  QVERIFY(model.setData(model.index(1, TransferRowsModel::kTo), "/tmp/new", Qt::EditRole));
  QCOMPARE(renames.count(), 1);
  QCOMPARE(model.rows()[1].to, std::string("/tmp/a"));  // the window renames, not the model
  model.RemoveRow(0);
  model.RemoveRow(7);
  QCOMPARE(model.rowCount(), 2);
}

void TransferDialogTest::replaceQuestionNoThenYesToAll() {
  {
    // Both files exist: the first declined with "&No", the second replaced.
    Window w;
    Write(w.t.Local("a.bin"), "old-a");
    Write(w.t.Local("b.bin"), "old-b");
    Serve(w.srv, "/d/b.bin", "new-b");
    int asked = 0;
    Answerer<ReplaceDialog> answer([&asked](ReplaceDialog* d) {
      return Named(d, ++asked == 1 ? ReplaceDialog::kNo : ReplaceDialog::kYes);
    });
    w.Open({"a.bin", "b.bin"});
    QSignalSpy ended(w.dialog.get(), &TransferDialog::batchEnded);
    w.dialog->startButton()->click();
    QVERIFY(ended.wait(kLimitMs));
    QVERIFY(w.srv.Finish());
    QCOMPARE(answer.count, 2);
    QCOMPARE(Read(w.t.Local("a.bin")), std::string("old-a"));
    QCOMPARE(Read(w.t.Local("b.bin")), std::string("new-b"));
    QCOMPARE(w.dialog->rowsModel().rows()[0].state, RowState::kSkipped);
    QCOMPARE(w.dialog->rowsModel().rows()[1].state, RowState::kDone);
    QCOMPARE(w.dialog->cancelButton()->text(), QString("&Close"));
    QVERIFY(w.dialog->cancelButton()->isEnabled());
  }
  {
    // "Yes to &All" on the first question: no second question.
    Window w;
    Write(w.t.Local("a.bin"), "old-a");
    Write(w.t.Local("b.bin"), "old-b");
    Serve(w.srv, "/d/a.bin", "new-a");
    Serve(w.srv, "/d/b.bin", "new-b");
    Answerer<ReplaceDialog> answer([](ReplaceDialog* d) { return Named(d, ReplaceDialog::kYesToAll); });
    w.Open({"a.bin", "b.bin"});
    QSignalSpy ended(w.dialog.get(), &TransferDialog::batchEnded);
    w.dialog->startButton()->click();
    QVERIFY(ended.wait(kLimitMs));
    QVERIFY(w.srv.Finish());
    QCOMPARE(answer.count, 1);
    QCOMPARE(Read(w.t.Local("a.bin")) + Read(w.t.Local("b.bin")), std::string("new-anew-b"));
  }
  {
    // Every row declined: nothing is transferred and the window offers
    // "&Close" at once.
    Window w;
    Write(w.t.Local("a.bin"), "old-a");
    Write(w.t.Local("b.bin"), "old-b");
    Answerer<ReplaceDialog> answer([](ReplaceDialog* d) { return Named(d, ReplaceDialog::kNo); });
    w.Open({"a.bin", "b.bin"});
    QSignalSpy confirmed(w.dialog.get(), &TransferDialog::confirmEnded);
    w.dialog->startButton()->click();
    QVERIFY(confirmed.wait(kLimitMs));
    QCOMPARE(confirmed.takeFirst().at(0).toInt(), kConfirmAllSkipped);
    QVERIFY(w.srv.Finish());  // no RETR went out
    QCOMPARE(answer.count, 2);
    QCOMPARE(Read(w.t.Local("a.bin")) + Read(w.t.Local("b.bin")), std::string("old-aold-b"));
    QCOMPARE(w.dialog->cancelButton()->text(), QString("&Close"));
    QVERIFY(w.dialog->cancelButton()->isEnabled());
    QVERIFY(!w.dialog->startButton()->isEnabled());
  }
}

void TransferDialogTest::closesItselfAfterTheLastFile() {
  Window w;
  w.t.app.settings.cAutoStart = "X";
  Serve(w.srv, "/d/a.bin", "alpha");
  w.Open({"a.bin"});
  QCOMPARE(w.dialog->windowTitle(), QString("Tarn File Download [Auto Start]"));
  w.dialog->closeCheck()->setChecked(true);
  QVERIFY(w.t.app.settings.bCloseXferDialog);  // saved at once
  QSignalSpy finished(w.dialog.get(), &QDialog::finished);
  QVERIFY(finished.wait(kLimitMs));  // started by itself, then closed by itself
  QVERIFY(w.srv.Finish());
  QCOMPARE(Read(w.t.Local("a.bin")), std::string("alpha"));
  QVERIFY(!w.dialog->isVisible());
  AppSettings stored;
  w.t.store->LoadAppSettings(&stored);
  QVERIFY(stored.bCloseXferDialog);
}

// Files that arrive faster than the window shows them: the figures of the
// last one are what stays (its size, "Transfer Time: ", a full bar), never
// cleared by a row start that overtook them on the way to the window.
void TransferDialogTest::lastFileLeavesItsFinalFigures() {
  Window w;
  Serve(w.srv, "/d/a.bin", "alpha");
  Serve(w.srv, "/d/b.bin", "bravo");
  Serve(w.srv, "/d/c.bin", std::string(3000, 'c'));
  w.Open({"a.bin", "b.bin", "c.bin"});
  QSignalSpy ended(w.dialog.get(), &TransferDialog::batchEnded);
  w.dialog->startButton()->click();
  QVERIFY(ended.wait(kLimitMs));
  QVERIFY(w.srv.Finish());
  QCOMPARE(w.dialog->receivedText()->text(), QString("3KB"));
  QCOMPARE(w.dialog->timeLabel()->text(), QString("Transfer Time: "));
  QCOMPARE(w.dialog->progress()->value(), w.dialog->progress()->maximum());
}

void TransferDialogTest::cancelAnsweredNoLeavesTheTransferRunning() {
  Window w;
  const std::string data(256 * 1024, 'x');
  Serve(w.srv, "/d/big.bin", data, 8192, 5);
  Answerer<QMessageBox> answer([](QMessageBox* box) {
    return box->text().startsWith("The file transfer has not completed.") ? box->button(QMessageBox::No)
                                                                          : nullptr;
  });
  w.Open({"big.bin"});
  QSignalSpy ended(w.dialog.get(), &TransferDialog::batchEnded);
  // The person presses Cancel as soon as the file is under way.
  connect(w.dialog.get(), &TransferDialog::rowStarted, w.dialog.get(), [&w] { w.dialog->cancelButton()->click(); },
          Qt::QueuedConnection);
  w.dialog->startButton()->click();
  QVERIFY(ended.wait(kLimitMs));
  QVERIFY(w.srv.Finish());
  QCOMPARE(answer.count, 1);
  QVERIFY(!w.dialog->batch().paused());
  QCOMPARE(Read(w.t.Local("big.bin")).size(), data.size());
  QCOMPARE(w.dialog->rowsModel().rows()[0].state, RowState::kDone);
}

void TransferDialogTest::addToQueueButton() {
  {
    // Nothing would take the rows: no button.
    Window w;
    w.Open({"a.txt"});
    QVERIFY(w.dialog->queueButton()->isHidden());
  }
  {
    // A host with L8 emulation: the button is there but does nothing.
    Window w;
    w.Open({"a.txt"});
    w.dialog->OfferQueue(false);
    QVERIFY(!w.dialog->queueButton()->isHidden());
    QVERIFY(!w.dialog->queueButton()->isEnabled());
    w.dialog->AddToQueue();
    QVERIFY(w.dialog->isVisible());
  }
  {
    // The window ends with kDialogQueued; the rows, edits included, are
    // the caller's and nothing was started.
    Window w;
    w.Open({"a.txt", "b.bin", "c.txt"});
    w.dialog->OfferQueue(true);
    QVERIFY(w.dialog->queueButton()->isEnabled());
    QCOMPARE(w.dialog->queueButton()->toolTip(), QString("Add the selected files to the\nqueue for later transfer"));
    w.dialog->DeleteRow(2);
    w.dialog->ToggleRow(0);
    QTimer::singleShot(0, w.dialog->queueButton(), &QPushButton::click);
    QCOMPARE(w.dialog->Run(), kDialogQueued);
    QVERIFY(!w.dialog->running());
    const std::vector<TransferRow>& rows = w.dialog->batch().rows();
    QCOMPARE(rows.size(), size_t{2});
    QCOMPARE(rows[0].type, 'I');
    QVERIFY(rows[0].state == RowState::kWaiting && rows[1].state == RowState::kWaiting);
  }
  {
    // Start takes it away for good.
    Window w;
    Serve(w.srv, "/d/a.bin", "alpha");
    w.Open({"a.bin"});
    w.dialog->OfferQueue(true);
    QSignalSpy ended(w.dialog.get(), &TransferDialog::batchEnded);
    w.dialog->startButton()->click();
    QVERIFY(!w.dialog->queueButton()->isEnabled());
    QVERIFY(ended.wait(kLimitMs));
    QVERIFY(w.srv.Finish());
    QVERIFY(!w.dialog->queueButton()->isEnabled());
    w.dialog->AddToQueue();
    QVERIFY(w.dialog->isVisible());
  }
}

QTEST_MAIN(TransferDialogTest)
#include "transfer_dialog_test.moc"
