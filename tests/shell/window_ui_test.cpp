// The window's Ui across threads: a worker's question is asked on the GUI
// thread and blocks only that worker; status texts from a busy worker are
// coalesced, the last one always shown; state calls keep their order.
#include <QtTest>

#include <atomic>
#include <thread>

#include "client/shell/window_ui.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

class GuiDialogs : public Dialogs {
 public:
  std::atomic<int> boxes{0};
  std::atomic<bool> onGuiThread{true};
  BoxResult answer = BoxResult::kYes;
  BoxResult Box(const std::string&, const std::string&, BoxButtons, BoxIcon) override {
    ++boxes;
    if (QThread::currentThread() != qApp->thread()) onGuiThread = false;
    return answer;
  }
  bool Logon(LogonPrompt* p) override {
    if (QThread::currentThread() != qApp->thread()) onGuiThread = false;
    p->userName = "typed";
    return true;
  }
  bool Text(const std::string&, const std::string&, bool, std::string*) override { return false; }
  bool QuickConnect(QuickConnectInput*) override { return false; }
  bool CustomCommand(std::string*) override { return false; }
  void CommandResults(const std::string&) override {}
  bool NewFolderName(std::string*) override { return false; }
};

class Sink : public UiSink {
 public:
  QStringList status[2];
  std::vector<ConnState> states;
  std::vector<std::vector<std::string>> zooms;
  void OnStatus(int part, const QString& text) override { status[part] << text; }
  void OnConnState(ConnState s, const std::string&) override { states.push_back(s); }
  void OnEnableCommand(UiCommand, bool) override {}
  void OnTransferMode(TransferMode) override {}
  void OnZoomPaths(const std::vector<std::string>& p) override { zooms.push_back(p); }
  void OnShowLocalDirectory(const std::string&) override {}
  void OnWaitCursor(bool) override {}
  void OnPostDisconnect() override {}
};

}  // namespace

class WindowUiTest : public QObject {
  Q_OBJECT
 private slots:
  void workerQuestionIsAskedOnTheGuiThread();
  void leavingAnswersWithoutAsking();
  void statusIsCoalescedAndTheLastTextShown();
  void statesArriveInOrder();
};

void WindowUiTest::workerQuestionIsAskedOnTheGuiThread() {
  GuiDialogs dialogs;
  WindowUi ui(dialogs);
  std::atomic<int> answer{-1};
  std::atomic<bool> promptOk{false};
  std::string user;
  std::thread worker([&] {
    answer = static_cast<int>(ui.MessageBox("Replace?", "Tarn", BoxButtons::kYesNo, BoxIcon::kQuestion));
    LogonPrompt p;
    promptOk = ui.PromptLogon(&p);
    user = p.userName;
  });
  // The GUI thread stays free while the worker waits for its answer.
  QTRY_COMPARE_WITH_TIMEOUT(answer.load(), static_cast<int>(BoxResult::kYes), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(promptOk.load(), 10000);
  worker.join();
  QCOMPARE(user, std::string("typed"));
  QVERIFY(dialogs.onGuiThread);
  // From the GUI thread itself the dialog is called directly.
  dialogs.answer = BoxResult::kNo;
  QCOMPARE(ui.MessageBox("Again?", "Tarn", BoxButtons::kYesNo, BoxIcon::kQuestion), BoxResult::kNo);
}

void WindowUiTest::leavingAnswersWithoutAsking() {
  GuiDialogs dialogs;
  WindowUi ui(dialogs);
  ui.Leave();
  BoxResult yesNo = BoxResult::kYes, okCancel = BoxResult::kOk;
  bool prompt = true;
  std::thread worker([&] {
    yesNo = ui.MessageBox("Resume?", "Tarn", BoxButtons::kYesNo, BoxIcon::kQuestion);
    okCancel = ui.MessageBox("Go on?", "Tarn", BoxButtons::kOkCancel, BoxIcon::kQuestion);
    LogonPrompt p;
    prompt = ui.PromptLogon(&p);
  });
  // No event loop runs here: the worker must not wait for one.
  worker.join();
  QCOMPARE(yesNo, BoxResult::kNo);
  QCOMPARE(okCancel, BoxResult::kCancel);
  QVERIFY(!prompt);
  QCOMPARE(dialogs.boxes.load(), 0);
}

void WindowUiTest::statusIsCoalescedAndTheLastTextShown() {
  GuiDialogs dialogs;
  WindowUi ui(dialogs);
  Sink sink;
  ui.SetSink(&sink);
  QElapsedTimer clock;
  clock.start();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 20000; ++i) ui.SetStatusText(1, "Received " + std::to_string(i));
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
  worker.join();
  QTRY_COMPARE_WITH_TIMEOUT(sink.status[1].isEmpty() ? QString() : sink.status[1].back(),
                            QString("Received 19999"), 5000);
  const qint64 elapsed = clock.elapsed();
  // One screen update per interval at most (plus the first and the last).
  QVERIFY2(ui.statusUpdates() <= elapsed / WindowUi::kStatusIntervalMs + 2,
           qPrintable(QString("%1 updates in %2 ms").arg(ui.statusUpdates()).arg(elapsed)));
  QCOMPARE(sink.status[0].size(), 0);
  ui.SetSink(nullptr);
}

void WindowUiTest::statesArriveInOrder() {
  GuiDialogs dialogs;
  WindowUi ui(dialogs);
  Sink sink;
  ui.SetSink(&sink);
  std::thread worker([&] {
    ui.SetConnState(ConnState::kConnecting, "s");
    ui.SetZoomPaths({"/a"});
    ui.SetConnState(ConnState::kConnected, "s");
  });
  worker.join();
  QTRY_COMPARE(sink.states.size(), size_t{2});
  QCOMPARE(sink.states[0], ConnState::kConnecting);
  QCOMPARE(sink.states[1], ConnState::kConnected);
  QCOMPARE(sink.zooms.size(), size_t{1});
  ui.SetSink(nullptr);
}

QTEST_MAIN(WindowUiTest)
#include "window_ui_test.moc"
