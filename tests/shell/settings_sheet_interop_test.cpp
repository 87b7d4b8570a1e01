// A session made in the Settings sheet with SSL/TLS on connects to the
// explicit-FTPS vsftpd of the test servers, whose certificate is self-signed:
// refused until the sheet's "Accept Self Signed Certificate" is ticked.
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QtTest>

#include <cstdlib>

#include "client/engine/control.h"
#include "client/engine/logon.h"
#include "client/engine/tls.h"
#include "client/shell/settings_security_page.h"
#include "tests/shell/settings_test_fixture.h"

using namespace tarn;
using namespace tarn::shell;
using namespace tarn::shell::settings_test;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

class SettingsSheetInteropTest : public QObject {
  Q_OBJECT
 private slots:
  void tlsSessionMadeInTheSheetConnects();
};

void SettingsSheetInteropTest::tlsSessionMadeInTheSheetConnects() {
  const std::string port = Env("TARN_TEST_VSFTPS_PORT");
  QVERIFY2(!port.empty(), "The test servers are not running: tools/test-servers start and source servers.env");
  for (bool acceptSelfSigned : {false, true}) {
    Fixture f;
    f.choosers.names = {"FTPS"};
    auto sheet = f.Open(SettingsMode::kNewSession, "127.0.0.1");
    QVERIFY(sheet);
    SessionSettingsPage* page = sheet->sessionPage();
    SpecifyUser(page, Env("TARN_TEST_FTP_USER").c_str(), Env("TARN_TEST_FTP_PASS").c_str());
    Field<QSpinBox>(page, SettingsField::kPort)->setValue(std::stoi(port));
    sheet->tabs()->setCurrentIndex(static_cast<int>(SettingsPage::kSecurity));
    SecuritySettingsPage* security = sheet->securityPage();
    security->useTls()->click();
    qobject_cast<QComboBox*>(security->FieldWidget(SettingsField::kCipherStrength))->setCurrentIndex(3);
    if (acceptSelfSigned) ButtonNamed(security, "Accept Self Signed Certificate")->click();
    sheet->accept();
    QCOMPARE(sheet->result(), int(QDialog::Accepted));

    HostRecord rec;
    QVERIFY(f.store->LoadSession("FTPS", &rec, nullptr));
    QVERIFY(rec.uSecurity & kSslUse);
    QCOMPARE(bool(rec.uSecurity & kSslSelf), acceptSelfSigned);

    // Connected as the window connects, with the program's trust anchors
    // only (none here): the certificate stands on the session's setting.
    AppState app;
    ScriptedUi ui;
    ::platform::Net net;
    FtpConn conn;
    conn.app = &app;
    conn.ui = &ui;
    conn.net = &net;
    TlsOptions options;
    options.caFile.clear();
    options.systemStore = false;
    TlsLayer tls(conn, options);
    conn.tls = &tls;
    ConnectContext cc;
    cc.conn = &conn;
    cc.replyTimeoutMs = 10000;
    QCOMPARE(RunConnect(cc, &rec), acceptSelfSigned);
    if (acceptSelfSigned) {
      QVERIFY(tls.DataProtected());
      FtpQuit(conn, conn.sockControl);
      conn.sockControl = FtpCloseSocket(conn, conn.sockControl);
    }
    conn.tls = nullptr;
  }
}

QTEST_MAIN(SettingsSheetInteropTest)
#include "settings_sheet_interop_test.moc"
