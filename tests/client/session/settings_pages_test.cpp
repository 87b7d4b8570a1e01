// The Settings pages without their windows: checks, mappings, names,
// extensions, and the first start's defaults.
#include "client/session/settings_pages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/session/session_store.h"
#include "tests/client/session/registry_fixture.h"
#include "tests/client/session/scripted_mount_table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ScriptedMountTable;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

class SettingsPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
  }
  // A session page that passes every check.
  static SessionPageValues GoodSession() {
    SessionPageValues v;
    v.sessionName = "Home";
    v.hostName = "127.0.0.1";
    v.port = "21";
    v.connectVia = kConnectAutoDetect;
    ChooseLogon(&v, LogonChoice::kSpecify);
    v.userName = "jo";
    v.savePasswords = true;
    v.password = "hunter2";
    return v;
  }
  static FirewallPageValues Firewall(int type, const std::string& user, const std::string& password) {
    FirewallPageValues f;
    SetUseFirewall(&f, true);
    f.type = type;
    f.host = "127.0.0.1";
    f.port = "2100";
    f.user = user;
    f.password = password;
    return f;
  }

  testing::TempDir tmp_{"tarn-settings"};
  std::string dir_ = tmp_.Path();
  ScriptedMountTable mounts_;
  PasswordScrambler scrambler_{1700000000};
};

// ---------------------------------------------------------------------------
// Session checks

TEST_F(SettingsPagesTest, SessionChecksInOrderWithTheirTextsAndFocus) {
  struct Case {
    const char* what;
    std::function<void(SessionPageValues*)> change;
    const char* title;     // "" = passes
    const char* textStart;
    SettingsField focus;
  } cases[] = {
      {"good", [](SessionPageValues*) {}, "", "", SettingsField::kNone},
      {"no host", [](SessionPageValues* v) { v->hostName.clear(); }, "Host Name/IP Address Not Entered",
       "You must enter a host name or IP address for the FTP host that you want\rto connect to.\r\r"
       "If you do not have this information, contact your systems administrator for\rassistance.",
       SettingsField::kHostName},
      {"no host beats no user", [](SessionPageValues* v) { v->hostName.clear(); v->userName.clear(); },
       "Host Name/IP Address Not Entered", "You must enter", SettingsField::kHostName},
      {"no user", [](SessionPageValues* v) { v->userName.clear(); }, "User Name Not Entered",
       "You have checked the 'Specify User Name' button but have not provided a\ruser name.\r\r"
       "Please specify a valid user name for the FTP host.",
       SettingsField::kUserName},
      {"no user beats no password", [](SessionPageValues* v) { v->userName.clear(); v->password.clear(); },
       "User Name Not Entered", "You have checked", SettingsField::kUserName},
      {"no password", [](SessionPageValues* v) { v->password.clear(); }, "Password Not Entered",
       "You have checked the 'Specify Password' button but have not provided a\rpassword.\r\r"
       "Please specify a valid password for the FTP host.",
       SettingsField::kPassword},
      {"no password, not saved", [](SessionPageValues* v) { v->password.clear(); v->savePasswords = false; },
       "", "", SettingsField::kNone},
      {"account never required", [](SessionPageValues* v) { v->account.clear(); }, "", "", SettingsField::kNone},
      {"anonymous needs no name", [](SessionPageValues* v) { ChooseLogon(v, LogonChoice::kAnonymous); v->userName.clear(); },
       "", "", SettingsField::kNone},
      {"prompt needs no name", [](SessionPageValues* v) { ChooseLogon(v, LogonChoice::kPrompt); v->userName.clear(); },
       "", "", SettingsField::kNone},
      {"missing local folder", [](SessionPageValues* v) { v->localDir = "/nonexistent/tarn/folder"; },
       "Invalid Initial Local Directory",
       "The initial local directory that you entered could not be\rfound on this PC.\r\r"
       "Verify that the directory you specify exists and is in the\rformat: C:\\directoryname",
       SettingsField::kLocalDir},
      {"relative local folder", [](SessionPageValues* v) { v->localDir = "tmp"; },
       "Invalid Initial Local Directory", "The initial", SettingsField::kLocalDir},
      {"existing local folder", [](SessionPageValues* v) { v->localDir = "/tmp"; }, "", "", SettingsField::kNone},
      {"port 65535", [](SessionPageValues* v) { v->port = "65535"; }, "", "", SettingsField::kNone},
      {"port 0", [](SessionPageValues* v) { v->port = "0"; }, "", "", SettingsField::kNone},
      {"empty port is 21", [](SessionPageValues* v) { v->port.clear(); }, "", "", SettingsField::kNone},
      {"port 65536", [](SessionPageValues* v) { v->port = "65536"; }, "Tarn",
       "Invalid port number, must be between 0 and 65,535", SettingsField::kPort},
      {"port 99999", [](SessionPageValues* v) { v->port = "99999"; }, "Tarn", "Invalid port number",
       SettingsField::kPort},
      // Limits the sheet's boxes keep; a command line can exceed them.
      {"port of six digits", [](SessionPageValues* v) { v->port = "000021"; }, "Tarn",
       "The FTP port can only hold digits (at most 5).", SettingsField::kPort},
      {"port with letters", [](SessionPageValues* v) { v->port = "2a"; }, "Tarn", "The FTP port",
       SettingsField::kPort},
      {"host of 260", [](SessionPageValues* v) { v->hostName = std::string(260, 'h'); }, "Tarn",
       "The host name can have at most 259 characters.", SettingsField::kHostName},
      {"password of 32", [](SessionPageValues* v) { v->password = std::string(32, 'p'); }, "Tarn",
       "The password can have at most 31 characters.", SettingsField::kPassword},
      {"password of 31", [](SessionPageValues* v) { v->password = std::string(31, 'p'); }, "", "",
       SettingsField::kNone},
      {"account of 32", [](SessionPageValues* v) { v->account = std::string(32, 'a'); }, "Tarn",
       "The account can have at most 31 characters.", SettingsField::kAccount},
      {"user with a line break", [](SessionPageValues* v) { v->userName = "jo\r\nDELE x"; }, "Tarn",
       "The user name cannot contain line breaks.", SettingsField::kUserName},
      {"long password never sent", [](SessionPageValues* v) { v->password = std::string(40, 'p'); v->savePasswords = false; },
       "", "", SettingsField::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SessionPageValues v = GoodSession();
    c.change(&v);
    CheckResult r = CheckSessionPage(v, mounts_);
    if (!*c.title) {
      EXPECT_FALSE(r.has_value()) << r->text;
      continue;
    }
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->title, c.title);
    EXPECT_EQ(r->text.substr(0, strlen(c.textStart)), c.textStart);
    EXPECT_EQ(r->icon, BoxIcon::kWarning);
    EXPECT_EQ(r->focus, c.focus);
  }
}

TEST_F(SettingsPagesTest, UncLocalDirectoryIsCheckedAmongTheNetworkMounts) {
  fs::create_directories(dir_ + "/share/In");
  mounts_.Add("fs1", {"drop"}, dir_ + "/share");
  SessionPageValues v = GoodSession();
  v.localDir = "\\\\FS1\\drop\\in";
  EXPECT_FALSE(CheckSessionPage(v, mounts_).has_value());
  v.localDir = "\\\\fs1\\drop\\out";
  ASSERT_TRUE(CheckSessionPage(v, mounts_).has_value());
  EXPECT_EQ(CheckSessionPage(v, mounts_)->title, "Invalid Initial Local Directory");
}

// ---------------------------------------------------------------------------
// Session page <-> record

TEST_F(SettingsPagesTest, AnonymousAndPromptSaveNoNameAndNoPasswords) {
  for (LogonChoice choice : {LogonChoice::kAnonymous, LogonChoice::kPrompt}) {
    SCOPED_TRACE(static_cast<int>(choice));
    SessionPageValues v = GoodSession();  // the boxes still hold jo, hunter2
    v.account = "acct";
    ChooseLogon(&v, choice);
    EXPECT_FALSE(v.savePasswords);
    EXPECT_FALSE(SessionEnabling(v).userName);
    HostRecord rec;
    SetField(rec.cPassword, "stale");
    SessionPageToRecord(v, scrambler_, &rec);
    EXPECT_STREQ(rec.cUserFlag, choice == LogonChoice::kAnonymous ? "A" : "P");
    EXPECT_STREQ(rec.cUserName, "");
    EXPECT_STREQ(rec.cPasswordFlag, "P");
    EXPECT_STREQ(rec.cPassword, "");
    EXPECT_STREQ(rec.cAccount, "");
  }
}

TEST_F(SettingsPagesTest, SavedSecretsAreScrambledAndShownPlainAgain) {
  SessionPageValues v = GoodSession();
  v.account = "acct9";
  HostRecord rec;
  SessionPageToRecord(v, scrambler_, &rec);
  EXPECT_STREQ(rec.cPasswordFlag, "S");
  EXPECT_EQ(strlen(rec.cPassword), 2 * strlen("hunter2") + 1);
  EXPECT_STRNE(rec.cPassword, "hunter2");
  EXPECT_EQ(UnscramblePassword(std::string(rec.cPassword)), "hunter2");
  SessionPages back = PagesFromRecord(rec, ConnectViaItems({}));
  EXPECT_EQ(back.session.password, "hunter2");
  EXPECT_EQ(back.session.account, "acct9");
  EXPECT_TRUE(back.session.savePasswords);

  // Specify without saving keeps the name and drops the secrets.
  v.savePasswords = false;
  SessionPageToRecord(v, scrambler_, &rec);
  EXPECT_STREQ(rec.cUserName, "jo");
  EXPECT_STREQ(rec.cPasswordFlag, "P");
  EXPECT_STREQ(rec.cPassword, "");
  EXPECT_STREQ(rec.cAccount, "");
}

TEST_F(SettingsPagesTest, SessionFieldsMapBothWays) {
  HostRecord rec;
  InitNewSession(&rec, "Home", "ftp.example.org");
  rec.cFTPPort[0] = '\0';
  SetField(rec.cConnectVia, "Office line");
  SetField(rec.cConnectFlag, "X");
  SetField(rec.cDefaultTransfer, "Bin");
  SetField(rec.cProxy, "X");
  SetField(rec.cProxyAddress, "proxy.lan");
  SetField(rec.cHostDir, "/pub");
  SetField(rec.cLocalDir, "/home/jo");

  // Without the dial-up entry the stored name falls back to "Auto Detect".
  SessionPages p = PagesFromRecord(rec, ConnectViaItems({}));
  EXPECT_EQ(p.session.port, "21");
  EXPECT_EQ(p.session.connectVia, "Auto Detect");
  EXPECT_EQ(p.session.transfer, DefaultTransfer::kBinary);
  EXPECT_EQ(p.session.logon, LogonChoice::kAnonymous);
  EXPECT_EQ(p.session.hostDir, "/pub");
  p = PagesFromRecord(rec, ConnectViaItems({"Office line"}));
  EXPECT_EQ(p.session.connectVia, "Office line");

  SessionPageToRecord(p.session, scrambler_, &rec);
  EXPECT_STREQ(rec.cFTPPort, "21");  // an empty box is saved as it was shown
  EXPECT_STREQ(rec.cConnectFlag, "X");
  EXPECT_STREQ(rec.cDefaultTransfer, "Binary");
  EXPECT_STREQ(rec.cProxy, "");  // the page has no proxy fields
  EXPECT_STREQ(rec.cProxyAddress, "");
  EXPECT_STREQ(rec.cLocalDir, "/home/jo");

  struct Via {
    const char* item;
    const char* flag;
  } vias[] = {{"Auto Detect", ""}, {"Network Connection", ""}, {"Office line", "X"}};
  for (const auto& via : vias) {
    SCOPED_TRACE(via.item);
    p.session.connectVia = via.item;
    SessionPageToRecord(p.session, scrambler_, &rec);
    EXPECT_STREQ(rec.cConnectVia, via.item);
    EXPECT_STREQ(rec.cConnectFlag, via.flag);
  }
  const char* stored[] = {"Detect", "Binary", "Ascii"};
  for (int i = 0; i < 3; ++i) {
    p.session.transfer = static_cast<DefaultTransfer>(i);
    SessionPageToRecord(p.session, scrambler_, &rec);
    EXPECT_STREQ(rec.cDefaultTransfer, stored[i]);
  }
  SetField(rec.cDefaultTransfer, "");
  EXPECT_EQ(PagesFromRecord(rec, {}).session.transfer, DefaultTransfer::kAscii);
}

// ---------------------------------------------------------------------------
// Firewall

TEST_F(SettingsPagesTest, FirewallChecksInOrder) {
  struct Case {
    const char* what;
    FirewallPageValues v;
    const char* text;  // "" = passes
    SettingsField focus;
  } cases[] = {
      {"USER w/o Logon needs only the host", Firewall(0, "", ""), "", SettingsField::kNone},
      {"Transparent with a user, no password", Firewall(2, "fw", ""), "", SettingsField::kNone},
      {"Transparent without a user", Firewall(2, "", "pw"), "You need to specify a user name for this type of firewall",
       SettingsField::kFirewallUser},
      {"SITE Hostname without a password", Firewall(3, "fw", ""),
       "You need to specify a password for this type of firewall", SettingsField::kFirewallPassword},
      {"SITE Hostname without a user", Firewall(3, "", ""), "You need to specify a user name for this type of firewall",
       SettingsField::kFirewallUser},
      {"USER with Logon complete", Firewall(1, "fw", "pw"), "", SettingsField::kNone},
      {"USER with Logon without a password", Firewall(1, "fw", ""),
       "You need to specify a password for this type of firewall", SettingsField::kFirewallPassword},
      {"type 4", Firewall(4, "fw", "pw"), "You have specified an invalid firewall type", SettingsField::kFirewallType},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    CheckResult r = CheckFirewallPage(c.v);
    if (!*c.text) {
      EXPECT_FALSE(r.has_value()) << r->text;
      continue;
    }
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->title, "Tarn");
    EXPECT_EQ(r->text, c.text);
    EXPECT_EQ(r->icon, BoxIcon::kWarning);
    EXPECT_EQ(r->focus, c.focus);
  }
}

TEST_F(SettingsPagesTest, FirewallPortAndTheFirstFailures) {
  struct Case {
    const char* port;
    bool passes;
  } ports[] = {{"65535", true}, {"0", true}, {"21", true}, {"65536", false},
               {"4294967317", false}, {"", false}, {"2x", false}, {"-1", false}};
  for (const auto& c : ports) {
    SCOPED_TRACE(c.port);
    FirewallPageValues f = Firewall(0, "", "");
    f.port = c.port;
    CheckResult r = CheckFirewallPage(f);
    EXPECT_EQ(!r.has_value(), c.passes);
    if (r) {
      EXPECT_EQ(r->text, "Invalid port number, must be between 0 and 65,535");
      EXPECT_EQ(r->focus, SettingsField::kFirewallPort);
    }
  }
  // The port comes first, then the type, then the host.
  FirewallPageValues f = Firewall(0, "", "");
  f.port = "70000";
  f.type = -1;
  f.host.clear();
  EXPECT_EQ(CheckFirewallPage(f)->focus, SettingsField::kFirewallPort);
  f.port = "21";
  EXPECT_EQ(CheckFirewallPage(f)->text,
            "You need to select a firewall type to continue, or uncheck the 'Use Firewall' box");
  f.type = 0;
  EXPECT_EQ(CheckFirewallPage(f)->text, "No Hostname or IP address for firewall specified");
  EXPECT_EQ(CheckFirewallPage(f)->focus, SettingsField::kFirewallHost);
  // Off, nothing is checked.
  f.useFirewall = false;
  EXPECT_FALSE(CheckFirewallPage(f).has_value());
}

TEST_F(SettingsPagesTest, FirewallEnablingAndMapping) {
  FirewallPageValues f;
  f.port.clear();
  SetUseFirewall(&f, true);
  EXPECT_EQ(f.type, 0);  // the first type is chosen
  EXPECT_EQ(f.port, "21");
  struct Case {
    int type;
    bool user, password;
  } enabling[] = {{0, false, false}, {1, true, true}, {2, true, false}, {3, true, true}};
  for (const auto& c : enabling) {
    SCOPED_TRACE(c.type);
    f.type = c.type;
    FirewallPageEnabling e = FirewallEnabling(f);
    EXPECT_TRUE(e.type && e.host && e.port);
    EXPECT_EQ(e.user, c.user);
    EXPECT_EQ(e.password, c.password);
  }

  HostRecord rec;
  FirewallPageToRecord(Firewall(2, "fwuser", "typed before"), &rec);
  EXPECT_EQ(rec.iFirewallUse, 1);
  EXPECT_EQ(rec.iFirewallType, 2);
  EXPECT_EQ(rec.iFirewallPort, 2100);
  EXPECT_STREQ(rec.cFirewallHost, "127.0.0.1");
  EXPECT_STREQ(rec.cFirewallUser, "fwuser");
  EXPECT_STREQ(rec.cFirewallPass, "");  // Transparent sends no firewall password
  SessionPages shown = PagesFromRecord(rec, {});
  EXPECT_TRUE(shown.firewall.useFirewall);
  EXPECT_EQ(shown.firewall.port, "2100");

  FirewallPageValues off = Firewall(1, "fw", "pw");
  SetUseFirewall(&off, false);
  EXPECT_EQ(off.host, "");
  EXPECT_EQ(off.type, -1);
  EXPECT_FALSE(FirewallEnabling(off).host);
  FirewallPageToRecord(off, &rec);
  EXPECT_EQ(rec.iFirewallUse, 0);
  EXPECT_EQ(rec.iFirewallPort, 21);
  EXPECT_EQ(rec.iFirewallType, 0);
  EXPECT_STREQ(rec.cFirewallHost, "");
  EXPECT_STREQ(rec.cFirewallUser, "");
  EXPECT_EQ(InvalidFirewallSelection().text, "Invalid Selection");
  EXPECT_EQ(InvalidFirewallSelection().icon, BoxIcon::kInformation);
}

// ---------------------------------------------------------------------------
// Security

TEST_F(SettingsPagesTest, SecurityChecks) {
  std::string cert = dir_ + "/client.pem";
  std::ofstream(cert) << "-----BEGIN CERTIFICATE-----\n";
  struct Case {
    const char* what;
    int type, strength;
    std::string file;
    const char* title;  // "" = passes
    const char* text;
    SettingsField focus;
  } cases[] = {
      {"good", 0, 3, "", "", "", SettingsField::kNone},
      {"with a certificate", 1, 0, cert, "", "", SettingsField::kNone},
      {"no type", -1, 3, "", "No option selected", "Please select a security option from the list.",
       SettingsField::kSecurityType},
      {"type 2", 2, 3, "", "No option selected", "Please select a security option from the list.",
       SettingsField::kSecurityType},
      {"no strength", 0, -1, "", "No cipher selected", "Please select a cipher strength from the list.",
       SettingsField::kCipherStrength},
      {"no type beats no strength", -1, -1, "", "No option selected", "Please select a security option from the list.",
       SettingsField::kSecurityType},
      {"missing certificate", 0, 3, dir_ + "/absent.pem", "File not found",
       "Please select a valid client certificate file.", SettingsField::kCertFile},
      {"a folder is no certificate", 0, 3, dir_, "File not found", "Please select a valid client certificate file.",
       SettingsField::kCertFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SecurityPageValues t;
    t.useTls = true;
    t.type = c.type;
    t.strength = c.strength;
    t.certFile = c.file;
    CheckResult r = CheckSecurityPage(t);
    if (!*c.title) {
      EXPECT_FALSE(r.has_value()) << r->text;
      continue;
    }
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->title, c.title);
    EXPECT_EQ(r->text, c.text);
    EXPECT_EQ(r->icon, BoxIcon::kInformation);
    EXPECT_EQ(r->focus, c.focus);
    t.useTls = false;  // off, nothing is checked
    EXPECT_FALSE(CheckSecurityPage(t).has_value());
  }
}

TEST_F(SettingsPagesTest, SecurityBitsMapBothWays) {
  SecurityPageValues t;
  t.useTls = true;
  t.type = 1;
  t.strength = 2;
  t.acceptExpired = t.acceptInvalid = true;
  t.certFile = "/etc/tarn/client.pem";
  t.certPassword = "certpw";
  HostRecord rec;
  SecurityPageToRecord(t, &rec);
  EXPECT_EQ(rec.uSecurity, kSslUse | (1u << kSslTypeShift) | (2u << kSslStrengthShift) | kSslExpired | kSslInvalid);
  EXPECT_STREQ(rec.cCertPassword, "certpw");
  SecurityPageValues back = PagesFromRecord(rec, {}).security;
  EXPECT_TRUE(back.useTls && back.acceptExpired && back.acceptInvalid);
  EXPECT_FALSE(back.acceptSelfSigned || back.acceptFuture);
  EXPECT_EQ(back.type, 1);
  EXPECT_EQ(back.strength, 2);
  EXPECT_EQ(back.certFile, "/etc/tarn/client.pem");

  // Off: the cleared state a session without SSLUse loads as.
  t.useTls = false;
  SecurityPageToRecord(t, &rec);
  EXPECT_EQ(rec.uSecurity, 1u << kSslStrengthShift);
  EXPECT_STREQ(rec.cCertFile, "");
  EXPECT_STREQ(rec.cCertPassword, "");
}

TEST_F(SettingsPagesTest, AFailedPageLeavesTheRecordAlone) {
  HostRecord rec;
  InitNewSession(&rec, "Home", "before");
  SessionPages p = PagesFromRecord(rec, ConnectViaItems({}));
  p.session.hostName = "after";
  p.firewall = Firewall(3, "fw", "");
  p.security.useTls = true;
  p.security.strength = -1;
  auto failed = RecordFromPages(p, mounts_, scrambler_, &rec);
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->page, SettingsPage::kFirewall);
  EXPECT_STREQ(rec.cHostName, "before");

  p.firewall.password = "fwpw";
  failed = RecordFromPages(p, mounts_, scrambler_, &rec);
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->page, SettingsPage::kSecurity);

  p.security.strength = 3;
  EXPECT_FALSE(RecordFromPages(p, mounts_, scrambler_, &rec).has_value());
  EXPECT_STREQ(rec.cHostName, "after");
  EXPECT_STREQ(rec.cFirewallPass, "fwpw");
  EXPECT_EQ(rec.SslStrength(), 3);
}

// ---------------------------------------------------------------------------
// Session names

TEST(SessionName, Rules) {
  auto exists = [](const std::string& name) { return name == "Home" || name == "HOME"; };
  struct Case {
    std::string name;
    const char* text;  // "" = accepted
    BoxIcon icon;
  } cases[] = {
      {"Work", "", BoxIcon::kNone},
      {"", "Please type a name for the session", BoxIcon::kInformation},
      {"Home", "Session Name already exists", BoxIcon::kWarning},
      {"hOmE", "Session Name already exists", BoxIcon::kWarning},  // the store answers ignoring case
      {"hostindex", "Session Name already exists", BoxIcon::kWarning},
      {"Office\\Main", "A session name cannot contain a backslash (\\).", BoxIcon::kInformation},
      {"Two\nLines", "A session name cannot contain line breaks", BoxIcon::kInformation},
      {"Tab\there", "A session name cannot contain line breaks", BoxIcon::kInformation},
      {"Latin1 \xe9", "A session name cannot contain line breaks", BoxIcon::kInformation},
      {"Caf\xc3\xa9 [main] / 2", "", BoxIcon::kNone},
      {std::string(255, 'n'), "", BoxIcon::kNone},
      {std::string(256, 'n'), "A session name can have at most 255 characters.", BoxIcon::kInformation},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CheckResult r = CheckSessionName(c.name, [&](const std::string& n) {
      // "Home" exists; the store compares ignoring case.
      std::string upper = n;
      for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
      return exists(upper);
    });
    if (!*c.text) {
      EXPECT_FALSE(r.has_value()) << r->text;
      continue;
    }
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->title, "Tarn File Transfer");
    EXPECT_THAT(r->text, ::testing::StartsWith(c.text));
    EXPECT_EQ(r->icon, c.icon);
    EXPECT_EQ(r->focus, SettingsField::kSessionName);
  }
  EXPECT_STREQ(SessionNameDialog(false).title, "New Session");
  EXPECT_STREQ(SessionNameDialog(true).label, "Enter new name for session:");
}

class SessionNameStoreTest : public testing::RegistryTest {};

TEST_F(SessionNameStoreTest, ANameDifferingOnlyInCaseFromAStoredOneIsRefused) {
  testing::ScriptedUi ui;
  PasswordScrambler scrambler(1);
  SessionStore store(*reg_, ui, scrambler);
  HostRecord rec;
  store.CreateSession("Mainframe", "127.0.0.1", {}, &rec);
  auto exists = [&](const std::string& n) { return store.SessionExists(n); };
  ASSERT_TRUE(CheckSessionName("MAINFRAME", exists).has_value());
  EXPECT_EQ(CheckSessionName("MAINFRAME", exists)->text, "Session Name already exists");
  EXPECT_FALSE(CheckSessionName("Mainframe 2", exists).has_value());
}

// ---------------------------------------------------------------------------
// Extension list and host file names

TEST(ExtensionList, AddTakesTheTextBeforeTheFirstDot) {
  ExtensionList list = ExtensionList::FromSetting("TXT/C/HTM");
  struct Case {
    const char* typed;
    const char* key;
  } keys[] = {{"HTML.OLD", "HTML"}, {".txt", "txt"}, {"..log", "log"}, {"a.b.c", "a"},
              {" csv ", "csv"},     {"", ""},        {"...", ""},       {".", ""}};
  for (const auto& c : keys) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(ExtensionList::Key(c.typed), c.key);
  }
  EXPECT_EQ(list.Add("HTML.OLD"), 2);
  EXPECT_THAT(list.Items(), ElementsAre("C", "HTM", "HTML", "TXT"));
  // An equal item, in any case, is selected instead of added twice.
  EXPECT_EQ(list.Add(".txt"), 3);
  EXPECT_EQ(list.Add("..."), -1);
  EXPECT_EQ(list.Add("a/b"), -1);  // "/" separates the stored list
  EXPECT_EQ(list.Add("bat"), 0);
  EXPECT_THAT(list.Items(), ElementsAre("bat", "C", "HTM", "HTML", "TXT"));
  EXPECT_EQ(list.ToSetting(), "bat/C/HTM/HTML/TXT");
}

TEST(ExtensionList, RemoveOnlyAnExistingItem) {
  ExtensionList list = ExtensionList::FromSetting("/TXT//C/");
  EXPECT_THAT(list.Items(), ElementsAre("C", "TXT"));
  EXPECT_FALSE(list.CanRemove("htm"));
  EXPECT_FALSE(list.Remove("htm"));
  EXPECT_TRUE(list.CanRemove("txt.bak"));
  EXPECT_TRUE(list.Remove("txt.bak"));
  EXPECT_TRUE(list.Remove("c"));
  EXPECT_EQ(list.ToSetting(), "");
  EXPECT_EQ(ExtensionList::FromSetting("").Items().size(), 0u);
}

TEST(HostFileNames, CapFlagRule) {
  struct Case {
    const char* flag;
    int index;
    const char* shown;
  } cases[] = {{"A", 0, "ReadMe.TXT"}, {"C", 1, "Readme.txt"}, {"U", 2, "README.TXT"},
               {"L", 3, "readme.txt"}, {"", 0, "ReadMe.TXT"},  {"Upper", 2, "README.TXT"},
               {"x", 0, "ReadMe.TXT"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    EXPECT_EQ(CapFlagIndex(c.flag), c.index);
    EXPECT_EQ(ApplyCapFlag(c.flag, "ReadMe.TXT"), c.shown);
  }
  EXPECT_EQ(ApplyCapFlag("U", "caf\xc3\xa9"), "CAF\xc3\xa9");  // UTF-8 stays valid
  EXPECT_EQ(ApplyCapFlag("C", ""), "");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(CapFlagIndex(CapFlagFromIndex(i)), i);
}

// ---------------------------------------------------------------------------
// Application page

TEST(AppPage, StoresEveryFieldAndSaysWhatToRefresh) {
  AppSettings s = FreshInstallSettings();
  AppPageValues v = AppPageFromSettings(s);
  EXPECT_TRUE(v.allowPasv);
  EXPECT_TRUE(v.maxFeedback);
  EXPECT_TRUE(v.connectionLog);
  EXPECT_THAT(v.extensions.Items(), ElementsAre("BAT", "C", "CGI", "CPP", "HTM", "HTML", "SHTML", "TXT"));

  v.emailAddress = "jo@example.org";
  v.hostFileNames = 3;
  v.showHidden = true;
  v.keepAlive = true;
  v.keepAliveMinutes = 5;
  v.dontCloseDialUp = true;
  v.extensions.Remove("SHTML");
  AppPageEffects fx = AppPageToSettings(v, &s);
  EXPECT_TRUE(fx.refreshPcView);
  EXPECT_TRUE(fx.refreshHostView);
  EXPECT_EQ(fx.keepAliveRestartMs, 300000);
  EXPECT_EQ(s.cCapFlag, "L");
  EXPECT_EQ(s.cHiddenFlag, "X");
  EXPECT_EQ(s.cConfirmDisconnectRas, "X");
  EXPECT_EQ(s.bKeepAlive, 1);
  EXPECT_EQ(s.iKeepAliveTime, 5);
  EXPECT_EQ(s.cAsciiExtensions, "BAT/C/CGI/CPP/HTM/HTML/TXT");

  // Unchanged rules refresh nothing; keep-alive off stores 0 and 0.
  v.keepAlive = false;
  fx = AppPageToSettings(v, &s);
  EXPECT_FALSE(fx.refreshPcView || fx.refreshHostView);
  EXPECT_EQ(fx.keepAliveRestartMs, 0);
  EXPECT_EQ(s.bKeepAlive, 0);
  EXPECT_EQ(s.iKeepAliveTime, 0);
  v.keepAlive = true;
  v.keepAliveMinutes = 0;
  EXPECT_EQ(AppPageToSettings(v, &s).keepAliveRestartMs, 0);
}

// ---------------------------------------------------------------------------
// First start

class FirstStartTest : public testing::RegistryTest {
 protected:
  AppSettings Load() {
    testing::ScriptedUi ui;
    PasswordScrambler scrambler(1);
    SessionStore store(*reg_, ui, scrambler);
    AppSettings s;
    s.bPassive = 7;
    store.LoadAppSettings(&s);
    return s;
  }
};

TEST_F(FirstStartTest, ANewStoreGetsTheDefaultsOfAFreshInstallationWritten) {
  AppSettings s = Load();
  EXPECT_EQ(s.bPassive, 1);
  EXPECT_TRUE(s.bDebugLog);
  const std::string app = kApplicationKey;
  EXPECT_EQ(Raw(app, "PASV"), Sz("1"));
  EXPECT_EQ(Raw(app, "DebugLog"), Sz("YES"));
  EXPECT_EQ(Raw(app, "FeedbackFlag"), Sz("X"));
  EXPECT_EQ(Raw(app, "CapFlag"), Sz("A"));
  // A later single write (the window placement at exit) keeps them.
  SetString(app, "WindowMaxFlag", "FALSE");
  s = Load();
  EXPECT_EQ(s.bPassive, 1);
  EXPECT_EQ(s.cFeedbackFlag, "X");
}

TEST_F(FirstStartTest, AnExistingStoreKeepsItsValues) {
  SetString(kApplicationKey, "PASV", "0");
  SetString(kApplicationKey, "DebugLog", "NO");
  AppSettings s = Load();
  EXPECT_EQ(s.bPassive, 0);
  EXPECT_FALSE(s.bDebugLog);
  EXPECT_EQ(Raw(kApplicationKey, "PASV"), Sz("0"));
  EXPECT_EQ(Raw(kApplicationKey, "FeedbackFlag"), "<absent>");
}

TEST_F(FirstStartTest, TheConversionMarkerAloneIsStillAFirstStart) {
  // The password conversion makes Application\PwdConverted before any
  // setting was ever written.
  Key(std::string(kApplicationKey) + "\\PwdConverted");
  EXPECT_EQ(Load().bPassive, 1);
  EXPECT_EQ(Raw(kApplicationKey, "PASV"), Sz("1"));
  EXPECT_TRUE(KeyExists(std::string(kApplicationKey) + "\\PwdConverted"));
}

}  // namespace
}  // namespace tarn
