// The Settings sheet's flows over a fresh registry: a failed check keeps
// the page with its box and focus, Cancel offers to delete a session made
// in the sheet, choosing another session saves the shown one, the
// application page's choices reach the settings and the window's hooks,
// and a session made in the sheet connects to the scripted server, directly
// and through a firewall.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>

#include "client/engine/conn_worker.h"
#include "client/engine/logon.h"
#include "client/listing/listing_thread.h"
#include "client/listing/type_names.h"
#include "client/session/session_store.h"
#include "client/shell/settings_app_page.h"
#include "client/shell/settings_firewall_page.h"
#include "client/shell/settings_security_page.h"
#include "client/shell/settings_sheet.h"
#include "client/shell/settings_session_page.h"
#include "platform/net.h"
#include "platform/registry.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/shell/settings_test_fixture.h"
#include "tests/support/scripted_ui.h"

using namespace tarn;
using namespace tarn::shell;
using tarn::testing::FakeFtpServer;
using tarn::testing::ScriptedUi;

using namespace tarn::shell::settings_test;

class SettingsSheetTest : public QObject {
  Q_OBJECT
 private slots:
  void leavingAPageWithAFailedCheckStays();
  void cancelOfANewSessionOffersToDeleteIt();
  void newSessionTakesAQuickConnectionsValues();
  void choosingAnotherSessionSavesTheShownOne();
  void applicationPageReachesSettingsAndHooks();
  void aSessionMadeInTheSheetConnects();
};

void SettingsSheetTest::leavingAPageWithAFailedCheckStays() {
  Fixture f;
  f.AddSession("Home", "127.0.0.1");
  auto sheet = f.Open(SettingsMode::kFirstSession, "");
  QVERIFY(sheet);
  SessionSettingsPage* page = sheet->sessionPage();
  auto* host = Field<QLineEdit>(page, SettingsField::kHostName);
  QVERIFY(!host->isEnabled());  // nothing is edited before "&Edit"
  page->button("edit")->click();
  host->clear();
  sheet->tabs()->setCurrentIndex(1);
  QCOMPARE(sheet->tabs()->currentIndex(), 0);
  QCOMPARE(f.ui.BoxCaptions().back(), std::string("Host Name/IP Address Not Entered"));
  QVERIFY(host->hasFocus());
  QCOMPARE(f.StoredHost("Home"), std::string("127.0.0.1"));

  // Fixed, the page may be left, and leaving it saved the session.
  host->setText("ftp.example.org");
  sheet->tabs()->setCurrentIndex(1);
  QCOMPARE(sheet->tabs()->currentIndex(), 1);
  QCOMPARE(f.StoredHost("Home"), std::string("ftp.example.org"));

  // "SITE Hostname" needs a password: neither another page nor OK is let
  // through.
  FirewallSettingsPage* fw = sheet->firewallPage();
  fw->useFirewall()->click();
  fw->typeBox()->setCurrentIndex(kFirewallSiteHostname);
  Field<QLineEdit>(fw, SettingsField::kFirewallHost)->setText("fw.example.org");
  Field<QLineEdit>(fw, SettingsField::kFirewallUser)->setText("fwu");
  const size_t boxes = f.ui.Boxes().size();
  sheet->tabs()->setCurrentIndex(2);
  sheet->accept();
  QCOMPARE(sheet->tabs()->currentIndex(), 1);
  QVERIFY(sheet->isVisible());
  QCOMPARE(f.ui.Boxes().size(), boxes + 2);
  QCOMPARE(f.ui.BoxTexts().back(), std::string("You need to specify a password for this type of firewall"));
  auto* pass = Field<QLineEdit>(fw, SettingsField::kFirewallPassword);
  QVERIFY(pass->hasFocus());

  pass->setText("fwpw");
  sheet->accept();
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  HostRecord rec;
  QVERIFY(f.store->LoadSession("Home", &rec, nullptr));
  QCOMPARE(rec.iFirewallType, int(kFirewallSiteHostname));
  QCOMPARE(std::string(rec.cFirewallPass), std::string("fwpw"));
}

void SettingsSheetTest::cancelOfANewSessionOffersToDeleteIt() {
  struct Case {
    const char* name;
    BoxResult answer;
    bool confirmFirst;  // OK once before the Cancel
    bool kept;
  } cases[] = {
      {"deleted on Yes", BoxResult::kYes, false, false},
      {"kept on No", BoxResult::kNo, false, true},
      {"confirmed with OK", BoxResult::kYes, true, true},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.AddSession("Old", "old.example.org");
    f.choosers.names = {"Example"};
    auto sheet = f.Open(SettingsMode::kNewSession, "ftp.example.org");
    QVERIFY2(sheet, c.name);
    QCOMPARE(sheet->shownSession(), std::string("Example"));
    auto* host = Field<QLineEdit>(sheet->sessionPage(), SettingsField::kHostName);
    QCOMPARE(host->text(), QString("ftp.example.org"));
    QVERIFY(host->isEnabled());
    if (c.confirmFirst) {
      sheet->accept();
      sheet = f.Open(SettingsMode::kSelectSession, "Example");
      QVERIFY(sheet);
    }
    f.ui.AnswerBoxes({c.answer});
    sheet->reject();
    const bool asked = !f.ui.BoxCaptions().empty() && f.ui.BoxCaptions().back() == "Confirm Delete";
    QVERIFY2(asked == !c.confirmFirst, c.name);
    QVERIFY2(f.store->SessionExists("Example") == c.kept, c.name);
    std::vector<std::string> list = {"Old"};
    if (c.kept) list.push_back("Example");
    QVERIFY2(f.store->SessionList() == list, c.name);
  }
}

void SettingsSheetTest::newSessionTakesAQuickConnectionsValues() {
  Fixture f;
  HostRecord used;
  InitNewSession(&used, "127.0.0.1", "127.0.0.1");
  used.iQuickConnect = 1;
  SetField(used.cFTPPort, "2121");
  SetField(used.cUserFlag, "S");
  SetField(used.cUserName, "USER1");
  SetField(used.cPasswordFlag, "S");
  SetField(used.cPassword, f.scrambler.Scramble("pw"));
  SetField(used.cHostDir, "/pub");
  used.uSecurity = kSslUse | (3u << kSslStrengthShift);
  f.choosers.names = {"My host"};
  auto sheet = f.Open(SettingsMode::kNewSession, "127.0.0.1", &used);
  QVERIFY(sheet);
  QCOMPARE(f.choosers.proposed, std::vector<std::string>{"127.0.0.1"});
  SessionSettingsPage* page = sheet->sessionPage();
  QVERIFY(page->editing());
  QCOMPARE(Field<QLineEdit>(page, SettingsField::kHostName)->text(), QString("127.0.0.1"));
  QCOMPARE(Field<QSpinBox>(page, SettingsField::kPort)->value(), 2121);
  QCOMPARE(Field<QLineEdit>(page, SettingsField::kUserName)->text(), QString("USER1"));
  QCOMPARE(Field<QLineEdit>(page, SettingsField::kHostDir)->text(), QString("/pub"));
  // The password waits in its box; only "Save Password(s)" would keep it.
  QCOMPARE(Field<QLineEdit>(page, SettingsField::kPassword)->text(), QString("pw"));
  QVERIFY(!ButtonNamed(page, "Save Password(s)")->isChecked());
  QVERIFY(sheet->securityPage()->Values().useTls);
  QCOMPARE(sheet->securityPage()->Values().strength, 3);

  sheet->accept();
  HostRecord rec;
  QVERIFY(f.store->LoadSession("My host", &rec, nullptr));
  QCOMPARE(std::string(rec.cHostName), std::string("127.0.0.1"));
  QCOMPARE(std::string(rec.cFTPPort), std::string("2121"));
  QCOMPARE(std::string(rec.cUserName), std::string("USER1"));
  QCOMPARE(std::string(rec.cPasswordFlag), std::string("P"));
  QCOMPARE(std::string(rec.cPassword), std::string());
  QCOMPARE(std::string(rec.cHostDir), std::string("/pub"));
  QVERIFY(rec.uSecurity & kSslUse);
  QCOMPARE(f.store->SessionList(), std::vector<std::string>{"My host"});
}

void SettingsSheetTest::choosingAnotherSessionSavesTheShownOne() {
  Fixture f;
  f.AddSession("A", "a.example.org");
  f.AddSession("B", "b.example.org");
  auto sheet = f.Open(SettingsMode::kSelectSession, "a");
  QVERIFY(sheet);
  SessionSettingsPage* page = sheet->sessionPage();
  QCOMPARE(sheet->shownSession(), std::string("A"));
  page->button("edit")->click();
  Field<QLineEdit>(page, SettingsField::kHostName)->setText("changed.example.org");
  emit page->sessionBox()->activated(1);
  QCOMPARE(f.StoredHost("A"), std::string("changed.example.org"));
  QCOMPARE(sheet->shownSession(), std::string("B"));
  QVERIFY(!page->editing());

  // A failed check keeps B on show, editable, and stores nothing.
  page->button("edit")->click();
  Field<QLineEdit>(page, SettingsField::kHostName)->clear();
  emit page->sessionBox()->activated(0);
  QCOMPARE(sheet->shownSession(), std::string("B"));
  QCOMPARE(page->sessionBox()->currentIndex(), 1);
  QVERIFY(page->editing());
  QCOMPARE(f.ui.BoxCaptions().back(), std::string("Host Name/IP Address Not Entered"));
  QCOMPARE(f.StoredHost("B"), std::string("b.example.org"));

  // Firewall changes without "&Edit" go along when another session is
  // chosen, too.
  Field<QLineEdit>(page, SettingsField::kHostName)->setText("b.example.org");
  emit page->sessionBox()->activated(0);
  QCOMPARE(sheet->shownSession(), std::string("A"));
  sheet->firewallPage()->useFirewall()->click();
  Field<QLineEdit>(sheet->firewallPage(), SettingsField::kFirewallHost)->setText("fw.example.org");
  emit page->sessionBox()->activated(1);
  HostRecord a;
  QVERIFY(f.store->LoadSession("A", &a, nullptr));
  QCOMPARE(a.iFirewallUse, 1);
  QCOMPARE(std::string(a.cFirewallHost), std::string("fw.example.org"));
}

void SettingsSheetTest::applicationPageReachesSettingsAndHooks() {
  Fixture f;
  int pcRefreshes = 0;
  f.ctx->refreshPcView = [&] { ++pcRefreshes; };
  auto sheet = f.Open(SettingsMode::kFirstSession, "");
  QVERIFY(sheet);
  ApplicationSettingsPage* page = sheet->applicationPage();
  page->extensionEdit()->setText("HTML.OLD");
  QVERIFY(page->removeButton()->isEnabled());  // HTML is in the default list
  page->extensionEdit()->setText(".log");
  QVERIFY(!page->removeButton()->isEnabled());
  page->addButton()->click();
  QCOMPARE(page->extensionEdit()->text(), QString());
  QCOMPARE(page->extensionList()->currentItem()->text(), QString("log"));
  ButtonNamed(page, "Show PC files marked as 'hidden'")->click();
  page->keepAlive()->click();
  page->interval()->setValue(5);
  sheet->accept();
  QCOMPARE(sheet->effects().keepAliveRestartMs, int64_t(5 * 60000));
  ApplySettingsEffects(*f.ctx, sheet->effects(), nullptr);
  QCOMPARE(pcRefreshes, 1);

  AppSettings stored;
  f.store->LoadAppSettings(&stored);
  QCOMPARE(stored.cAsciiExtensions, std::string("BAT/C/CGI/CPP/HTM/HTML/log/SHTML/TXT"));
  QCOMPARE(stored.cHiddenFlag, std::string("X"));
  QCOMPARE(stored.iKeepAliveTime, 5);
}

void SettingsSheetTest::aSessionMadeInTheSheetConnects() {
  // Each firewall scheme as the sheet stores it; the session's own port
  // is 2121 behind a firewall (the transparent one names it).
  struct Case {
    const char* name;
    int firewallType;  // -1: direct
    const char* fwUser;
    const char* fwPassword;
    std::vector<std::pair<std::string, std::string>> logon;  // line, reply
  } cases[] = {
      {"direct", -1, "", "", {{"USER jo", "331 password\r\n"}, {"PASS pw", "230 in\r\n"}}},
      {"USER w/o Logon",
       kFirewallUserNoLogon, "", "",
       {{"USER jo@127.0.0.1", "331 password\r\n"}, {"PASS pw", "230 in\r\n"}}},
      {"USER with Logon",
       kFirewallUserWithLogon, "fwu", "fwpw",
       {{"USER fwu", "331 password\r\n"},
        {"PASS fwpw", "230 firewall\r\n"},
        {"USER jo@127.0.0.1", "331 password\r\n"},
        {"PASS pw", "230 in\r\n"}}},
      // A user and no firewall password is all this scheme needs.
      {"Transparent",
       kFirewallTransparent, "fwu", "",
       {{"USER fwu@127.0.0.1:2121", "331 password\r\n"}, {"PASS pw", "230 in\r\n"}}},
      {"SITE Hostname",
       kFirewallSiteHostname, "fwu", "fwpw",
       {{"USER fwu", "331 password\r\n"},
        {"PASS fwpw", "230 firewall\r\n"},
        {"USER site 127.0.0.1", "331 password\r\n"},
        {"PASS pw", "230 in\r\n"}}},
  };
  for (const Case& c : cases) {
    FakeFtpServer srv;
    srv.Send("220 ready\r\n");
    for (const auto& [line, reply] : c.logon) srv.On(line, reply);
    srv.On("REST 100", "350 ok\r\n")
        .On("REST 0", "350 ok\r\n")
        .On("SYST", "215 UNIX Type: L8\r\n")
        .On("PWD", "257 \"/home/jo\" is current\r\n");

    Fixture f;
    f.choosers.names = {"Made"};
    auto sheet = f.Open(SettingsMode::kNewSession, "127.0.0.1");
    QVERIFY2(sheet, c.name);
    SessionSettingsPage* page = sheet->sessionPage();
    SpecifyUser(page, "jo", "pw");
    // Direct, the server's port; through the firewall, the firewall's.
    const bool firewall = c.firewallType >= 0;
    Field<QSpinBox>(page, SettingsField::kPort)->setValue(firewall ? 2121 : srv.Port());
    if (firewall) {
      sheet->tabs()->setCurrentIndex(1);
      FirewallSettingsPage* fw = sheet->firewallPage();
      fw->useFirewall()->click();
      fw->typeBox()->setCurrentIndex(c.firewallType);
      Field<QLineEdit>(fw, SettingsField::kFirewallHost)->setText("127.0.0.1");
      Field<QLineEdit>(fw, SettingsField::kFirewallPort)->setText(QString::number(srv.Port()));
      if (auto* user = Field<QLineEdit>(fw, SettingsField::kFirewallUser); user->isEnabled())
        user->setText(c.fwUser);
      if (auto* pw = Field<QLineEdit>(fw, SettingsField::kFirewallPassword); pw->isEnabled())
        pw->setText(c.fwPassword);
    }
    sheet->accept();
    QVERIFY2(sheet->result() == QDialog::Accepted, c.name);

    // Connected as a window connects: a connection of its own.
    HostRecord rec;
    QVERIFY2(f.store->LoadSession("Made", &rec, nullptr), c.name);
    AppState app;
    ScriptedUi ui;
    ::platform::Net net;
    FtpConn conn;
    conn.app = &app;
    conn.ui = &ui;
    conn.net = &net;
    ConnectContext cc;
    cc.conn = &conn;
    cc.replyTimeoutMs = 5000;
    srv.Start();
    QVERIFY2(RunConnect(cc, &rec), c.name);
    QVERIFY2(srv.Finish(), c.name);
    net.Close(conn.sockControl);
  }
}

QTEST_MAIN(SettingsSheetTest)
#include "settings_sheet_test.moc"
