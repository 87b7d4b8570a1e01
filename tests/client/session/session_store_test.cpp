#include "client/session/session_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/client/session/registry_fixture.h"
#include "tests/support/scripted_ui.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using platform::REG_BINARY;
using platform::REG_SZ;

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

class SessionStoreTest : public testing::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    store_ = std::make_unique<SessionStore>(*reg_, ui_, scrambler_);
  }
  void TearDown() override {
    store_.reset();
    RegistryTest::TearDown();
  }

  static std::string SessionPath(const std::string& name) {
    return std::string(kSessionsKey) + "\\" + name;
  }
  static std::string HostIndexPath() { return std::string(kSessionsKey) + "\\HostIndex"; }

  // A session with every group on.
  static HostRecord FullRecord(PasswordScrambler& scrambler) {
    HostRecord rec;
    InitNewSession(&rec, "Home", "ftp.example.org");
    SetField(rec.cFTPPort, "2121");
    SetField(rec.cConnectFlag, "X");
    SetField(rec.cConnectVia, "Office line");
    SetField(rec.cDefaultTransfer, "Binary");
    SetField(rec.cProxy, "X");
    SetField(rec.cProxyAddress, "proxy.lan");
    SetField(rec.cProxyPort, "8021");
    SetField(rec.cUserFlag, "S");
    SetField(rec.cUserName, "jo");
    SetField(rec.cPasswordFlag, "S");
    SetField(rec.cHostDir, "/pub");
    SetField(rec.cLocalDir, "/home/jo/ftp");
    SetField(rec.cPassword, scrambler.Scramble("hunter2"));
    SetField(rec.cAccount, scrambler.Scramble("acct9"));
    rec.iFirewallUse = 1;
    SetField(rec.cFirewallHost, "fw.lan");
    SetField(rec.cFirewallUser, "fwuser");
    SetField(rec.cFirewallPass, "fwpass");
    rec.iFirewallType = 3;
    rec.iFirewallPort = 1021;
    rec.uSecurity = kSslUse | (1u << kSslTypeShift) | (3u << kSslStrengthShift) | kSslExpired |
                    kSslSelf;
    SetField(rec.cCertFile, "/home/jo/client.pem");
    SetField(rec.cCertPassword, "certpw");
    return rec;
  }

  testing::ScriptedUi ui_;
  PasswordScrambler scrambler_{1700000000};
  std::unique_ptr<SessionStore> store_;
};

// ---------------------------------------------------------------------------
// Saving

TEST_F(SessionStoreTest, SaveWritesEveryValueInOrderWithItsType) {
  HostRecord rec = FullRecord(scrambler_);
  store_->SaveSession(rec);
  const std::string path = SessionPath("Home");

  EXPECT_THAT(ValueNames(path),
              ElementsAre("HostName", "FTPPort", "ConnectFlag", "ConnectVia", "DefaultTransfer",
                          "Proxy", "ProxyAddress", "ProxyPort", "InitHostDir", "InitLocalDir",
                          "UserFlag", "UserName", "PasswordFlag", "RandomInitData", "RandomSeed",
                          "Firewalluse", "Firewallhost", "Firewalluser", "CryptoKeys",
                          "Firewalltype", "Firewallport", "SSLUse", "SSLCryptoSeed",
                          "SSLCertfile", "SSLExpired", "SSLInvalid", "SSLFuture", "SSLSelf",
                          "SSLStrength", "SSLType"));

  const struct {
    const char* name;
    std::string bytes;
  } kText[] = {
      {"HostName", Sz("ftp.example.org")}, {"FTPPort", Sz("2121")},
      {"ConnectFlag", Sz("X")},            {"ConnectVia", Sz("Office line")},
      {"DefaultTransfer", Sz("Binary")},   {"Proxy", Sz("X")},
      {"ProxyAddress", Sz("proxy.lan")},   {"ProxyPort", Sz("8021")},
      {"InitHostDir", Sz("/pub")},         {"InitLocalDir", Sz("/home/jo/ftp")},
      {"UserFlag", Sz("S")},               {"UserName", Sz("jo")},
      {"PasswordFlag", Sz("S")},           {"Firewalluse", Sz("YES")},
      {"Firewallhost", Sz("fw.lan")},      {"Firewalluser", Sz("fwuser")},
      {"Firewalltype", Sz("3")},           {"Firewallport", Sz("1021")},
      {"SSLUse", Sz("YES")},               {"SSLCertfile", Sz("/home/jo/client.pem")},
      {"SSLExpired", Sz("YES")},           {"SSLInvalid", Sz("NO")},
      {"SSLFuture", Sz("NO")},             {"SSLSelf", Sz("YES")},
      {"SSLStrength", Sz("3")},            {"SSLType", Sz("1")},
  };
  for (const auto& t : kText) {
    SCOPED_TRACE(t.name);
    platform::RegType type = platform::REG_NONE;
    EXPECT_EQ(Raw(path, t.name, &type), t.bytes);
    EXPECT_EQ(type, REG_SZ);
  }

  // The log-on secrets go out as held (scrambled); the firewall and
  // certificate passwords are scrambled on the way. None carries a NUL.
  platform::RegType type = platform::REG_NONE;
  EXPECT_EQ(Raw(path, "RandomInitData", &type), std::string(rec.cPassword));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Raw(path, "RandomSeed", &type), std::string(rec.cAccount));
  EXPECT_EQ(type, REG_BINARY);
  const struct {
    const char* name;
    const char* plain;
  } kScrambled[] = {{"CryptoKeys", "fwpass"}, {"SSLCryptoSeed", "certpw"}};
  for (const auto& s : kScrambled) {
    SCOPED_TRACE(s.name);
    std::string stored = Raw(path, s.name, &type);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(stored.size(), 2 * std::strlen(s.plain) + 1);
    EXPECT_EQ(UnscramblePassword(stored), s.plain);
  }
  // The record keeps the plain text.
  EXPECT_STREQ(rec.cFirewallPass, "fwpass");
  EXPECT_STREQ(rec.cCertPassword, "certpw");
}

TEST_F(SessionStoreTest, GroupsThatAreOffWriteOnlyTheirSwitch) {
  HostRecord rec;
  InitNewSession(&rec, "Plain", "h");
  store_->SaveSession(rec);
  auto names = ValueNames(SessionPath("Plain"));
  ASSERT_EQ(names.size(), 17u);
  EXPECT_EQ(names[15], "Firewalluse");
  EXPECT_EQ(names[16], "SSLUse");
  EXPECT_EQ(Raw(SessionPath("Plain"), "Firewalluse"), Sz("NO"));
  EXPECT_EQ(Raw(SessionPath("Plain"), "SSLUse"), Sz("NO"));
  platform::RegType type = platform::REG_NONE;
  EXPECT_EQ(Raw(SessionPath("Plain"), "RandomInitData", &type), "");
  EXPECT_EQ(type, REG_BINARY);
}

TEST_F(SessionStoreTest, FirewallOffLeavesOldValuesThatLoadIgnores) {
  HostRecord rec = FullRecord(scrambler_);
  store_->SaveSession(rec);
  rec.iFirewallUse = 0;
  store_->SaveSession(rec);
  const std::string path = SessionPath("Home");
  EXPECT_EQ(Raw(path, "Firewalluse"), Sz("NO"));
  EXPECT_EQ(Raw(path, "Firewallhost"), Sz("fw.lan"));
  EXPECT_EQ(Raw(path, "Firewalluser"), Sz("fwuser"));
  EXPECT_NE(Raw(path, "CryptoKeys"), "<absent>");

  HostRecord loaded = FullRecord(scrambler_);  // stale values to be cleared
  ASSERT_TRUE(store_->LoadSession("Home", &loaded, nullptr));
  EXPECT_EQ(loaded.iFirewallUse, 0);
  EXPECT_STREQ(loaded.cFirewallHost, "");
  EXPECT_STREQ(loaded.cFirewallUser, "");
  EXPECT_STREQ(loaded.cFirewallPass, "");
  EXPECT_EQ(loaded.iFirewallPort, 21);
  EXPECT_EQ(loaded.iFirewallType, 0);
}

// ---------------------------------------------------------------------------
// Loading

TEST_F(SessionStoreTest, LoadReturnsWhatWasSaved) {
  HostRecord rec = FullRecord(scrambler_);
  store_->SaveSession(rec);
  HostRecord loaded;
  AppState app;
  ASSERT_TRUE(store_->LoadSession("Home", &loaded, &app));
  EXPECT_EQ(std::memcmp(&loaded, &rec, sizeof rec), 0);
  EXPECT_EQ(UnscramblePassword(std::string(loaded.cPassword)), "hunter2");
  EXPECT_THAT(ui_.Boxes(), IsEmpty());
}

TEST_F(SessionStoreTest, LoadOfMissingSessionOrTheListKeyFails) {
  SetString(HostIndexPath(), "Host0", "x");
  HostRecord rec;
  SetField(rec.cSessionName, "before");
  for (const char* name : {"Nope", "HostIndex", "hostindex", ""}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(store_->LoadSession(name, &rec, nullptr));
    EXPECT_STREQ(rec.cSessionName, "before");
  }
}

TEST_F(SessionStoreTest, LoadReadsTheSwitchSpellings) {
  const struct {
    const char* firewallUse;  // nullptr = absent
    const char* sslUse;
    int32_t wantFirewall;
    bool wantSsl;
  } kCases[] = {
      {"YES", "YES", 1, true}, {"yes", "yes", 0, false}, {"NO", "NO", 0, false},
      {"Y", "Yes", 0, false},  {"", "", 0, false},       {nullptr, nullptr, 0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.firewallUse ? c.firewallUse : "(absent)") + " / " +
                 (c.sslUse ? c.sslUse : "(absent)"));
    reg_->DeleteKey(SessionPath("S"));
    const std::string path = SessionPath("S");
    SetString(path, "HostName", "h");
    if (c.firewallUse) SetString(path, "Firewalluse", c.firewallUse);
    SetString(path, "Firewallhost", "fw");
    if (c.sslUse) SetString(path, "SSLUse", c.sslUse);
    SetString(path, "SSLCertfile", "/c.pem");
    SetBinary(path, "SSLCryptoSeed", scrambler_.Scramble("pw"));
    SetString(path, "SSLSelf", "YES");

    HostRecord rec = FullRecord(scrambler_);
    ASSERT_TRUE(store_->LoadSession("S", &rec, nullptr));
    EXPECT_EQ(rec.iFirewallUse, c.wantFirewall);
    EXPECT_STREQ(rec.cFirewallHost, c.wantFirewall ? "fw" : "");
    if (c.wantSsl) {
      EXPECT_EQ(rec.uSecurity & 0x1ffu, kSslUse | kSslSelf | (3u << kSslStrengthShift) |
                                            (1u << kSslTypeShift));
      EXPECT_STREQ(rec.cCertFile, "/c.pem");
      EXPECT_STREQ(rec.cCertPassword, "pw");
    } else {
      // Off: every TLS bit clear but strength 1, certificate fields empty.
      EXPECT_EQ(rec.uSecurity & 0x1ffu, 1u << kSslStrengthShift);
      EXPECT_STREQ(rec.cCertFile, "");
      EXPECT_STREQ(rec.cCertPassword, "");
    }
  }
}

TEST_F(SessionStoreTest, LoadReadsNumbersAndFlags) {
  const struct {
    const char* type;
    const char* strength;
    const char* expired;
    uint32_t want;  // bits 1..5 of uSecurity
  } kCases[] = {
      {"1", "2", "YES", (1u << kSslTypeShift) | (2u << kSslStrengthShift) | kSslExpired},
      {"5", "7", "yes", (1u << kSslTypeShift) | (3u << kSslStrengthShift)},  // two bits kept
      {"x", "0", "NO", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.type) + "/" + c.strength + "/" + c.expired);
    const std::string path = SessionPath("N");
    SetString(path, "SSLUse", "YES");
    SetString(path, "SSLType", c.type);
    SetString(path, "SSLStrength", c.strength);
    SetString(path, "SSLExpired", c.expired);
    SetString(path, "Firewalluse", "YES");
    SetString(path, "Firewallport", "990");
    SetString(path, "Firewalltype", "2");
    HostRecord rec;
    ASSERT_TRUE(store_->LoadSession("N", &rec, nullptr));
    EXPECT_EQ(rec.uSecurity & 0x3eu, c.want);
    EXPECT_EQ(rec.iFirewallPort, 990);
    EXPECT_EQ(rec.iFirewallType, 2);
  }
}

TEST_F(SessionStoreTest, LoadSetsLastDownloadDoneFromTheResumeFlag) {
  const struct {
    const char* value;  // nullptr = absent
    int want;
  } kCases[] = {{"FALSE", 0}, {"TRUE", 1}, {"false", 1}, {"", 1}, {nullptr, 1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value ? c.value : "(absent)");
    reg_->DeleteKey(SessionPath("R"));
    SetString(SessionPath("R"), "HostName", "h");
    if (c.value) SetString(SessionPath("R"), "ResIsDownLoadDone", c.value);
    AppState app;
    app.bLastDownloadDone = 1 - c.want;
    HostRecord rec;
    ASSERT_TRUE(store_->LoadSession("R", &rec, &app));
    EXPECT_EQ(app.bLastDownloadDone.load(), c.want);
  }
}

TEST_F(SessionStoreTest, OversizedValueShowsBufferBoxAndKeepsTheField) {
  const std::string path = SessionPath("Long");
  SetString(path, "HostName", "new.example.org");
  SetString(path, "UserName", std::string(300, 'u'));
  HostRecord rec;
  SetField(rec.cUserName, "olduser");
  ASSERT_TRUE(store_->LoadSession("Long", &rec, nullptr));

  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Buffer needs to be at least 301 bytes long");
  EXPECT_EQ(boxes[0].caption, "Buffer too small");
  EXPECT_EQ(boxes[0].buttons, BoxButtons::kOk);
  EXPECT_EQ(boxes[0].icon, BoxIcon::kWarning);
  EXPECT_STREQ(rec.cUserName, "olduser");
  EXPECT_STREQ(rec.cHostName, "new.example.org");
}

TEST_F(SessionStoreTest, ReadValueTakesAValueThatFillsTheBufferExactly) {
  const std::string path = SessionPath("Fit");
  SetString(path, "FTPPort", "65535");  // 6 bytes with the NUL
  SetString(path, "ProxyPort", "123456");
  HostRecord rec;
  SetField(rec.cProxyPort, "21");
  ASSERT_TRUE(store_->LoadSession("Fit", &rec, nullptr));
  EXPECT_STREQ(rec.cFTPPort, "65535");
  EXPECT_STREQ(rec.cProxyPort, "21");
  EXPECT_THAT(ui_.BoxTexts(), ElementsAre("Buffer needs to be at least 7 bytes long"));
}

// Plain fields keep their text when absent, but a secret must never stay
// behind from the session shown before: it would go to another host.
TEST_F(SessionStoreTest, AbsentSecretsLoadEmpty) {
  SetString(SessionPath("Bare"), "HostName", "h");
  SetString(SessionPath("Bare"), "Firewalluse", "YES");
  HostRecord rec = FullRecord(scrambler_);
  ASSERT_TRUE(store_->LoadSession("Bare", &rec, nullptr));
  EXPECT_STREQ(rec.cPassword, "");
  EXPECT_STREQ(rec.cAccount, "");
  EXPECT_STREQ(rec.cFirewallPass, "");
  EXPECT_STREQ(rec.cUserName, "jo");  // plain field: as it was
}

// A password scrambled by a release that let a byte wrap to NUL comes back
// whole: the record gets a NUL-free scrambled form of the same text.
TEST_F(SessionStoreTest, StoredSecretWithNulIsReadWhole) {
  // "\xff" + "ab" shifted by k = 1: the first byte wrapped to 0.
  SetBinary(SessionPath("Old"), "RandomInitData", std::string("\0#b#c#!", 7));
  SetString(SessionPath("Old"), "Firewalluse", "YES");
  SetBinary(SessionPath("Old"), "CryptoKeys", std::string("\0#b#c#!", 7));
  HostRecord rec;
  ASSERT_TRUE(store_->LoadSession("Old", &rec, nullptr));
  EXPECT_EQ(std::strlen(rec.cPassword), 7u);
  EXPECT_EQ(UnscramblePassword(std::string(rec.cPassword)), "\xff" "ab");
  EXPECT_STREQ(rec.cFirewallPass, "\xff" "ab");
}

// ---------------------------------------------------------------------------
// New, rename, delete

TEST_F(SessionStoreTest, CreateWritesDefaultsListAndZoomPaths) {
  store_->SaveSessionList({"Alpha"});
  HostRecord rec = FullRecord(scrambler_);  // what the dialog showed before
  store_->CreateSession("Beta", "ftp.beta.org", {"/pub", "/incoming"}, &rec);

  EXPECT_STREQ(rec.cSessionName, "Beta");
  EXPECT_STREQ(rec.cHostName, "ftp.beta.org");
  EXPECT_STREQ(rec.cAccount, "");
  EXPECT_STREQ(rec.cConnectFlag, "");
  const std::string path = SessionPath("Beta");
  const struct {
    const char* name;
    const char* text;
  } kDefaults[] = {{"HostName", "ftp.beta.org"}, {"FTPPort", "21"},
                   {"ConnectFlag", ""},          {"ConnectVia", "Auto Detect"},
                   {"DefaultTransfer", "Detect"}, {"Proxy", ""},
                   {"UserFlag", "A"},            {"UserName", ""},
                   {"PasswordFlag", "P"},        {"Firewalluse", "NO"},
                   {"SSLUse", "NO"}};
  for (const auto& d : kDefaults) {
    SCOPED_TRACE(d.name);
    EXPECT_EQ(Raw(path, d.name), Sz(d.text));
  }
  EXPECT_EQ(Raw(path, "RandomSeed"), "");
  EXPECT_THAT(store_->SessionList(), ElementsAre("Alpha", "Beta"));
  EXPECT_THAT(store_->LoadZoomPaths("Beta"), ElementsAre("/pub", "/incoming"));

  HostRecord loaded;
  ASSERT_TRUE(store_->LoadSession("Beta", &loaded, nullptr));
  EXPECT_EQ(loaded.iFirewallPort, 21);
  EXPECT_EQ(loaded.SslStrength(), 1);
}

TEST_F(SessionStoreTest, ListKeyNameCountsAsExistingInAnyCase) {
  for (const char* name : {"HostIndex", "HOSTINDEX", "hostindex"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(store_->SessionExists(name));
  }
  HostRecord rec;
  InitNewSession(&rec, "Alpha", "a");
  store_->SaveSession(rec);
  EXPECT_TRUE(store_->SessionExists("ALPHA"));
  EXPECT_FALSE(store_->SessionExists("Alph"));

  // Nor can a record named so be saved over the list.
  InitNewSession(&rec, "hostindex", "x");
  store_->SaveSession(rec);
  EXPECT_EQ(Raw(HostIndexPath(), "HostName"), "<absent>");
}

TEST_F(SessionStoreTest, RenameMovesValuesZoomPathsAndResumeState) {
  HostRecord rec = FullRecord(scrambler_);
  rec.iFirewallUse = 0;  // its old values stay aside in the key
  store_->SaveSession(FullRecord(scrambler_));
  store_->SaveSession(rec);
  store_->SaveZoomPaths("Home", {"/a", "/b"});
  ResumeState resume;
  SetField(resume.cResumeFileName, "/tmp/big.iso");
  SetField(resume.cResIsDownLoadDone, "FALSE");
  store_->SaveResumeState("Home", resume);
  store_->SaveSessionList({"Alpha", "Home", "Zulu"});
  std::string password = Raw(SessionPath("Home"), "RandomInitData");

  ASSERT_TRUE(store_->RenameSession("Home", "Cabin"));

  EXPECT_FALSE(KeyExists(SessionPath("Home")));
  EXPECT_FALSE(KeyExists(SessionPath("Home") + "\\ZoomPaths"));
  EXPECT_THAT(store_->SessionList(), ElementsAre("Alpha", "Zulu", "Cabin"));
  EXPECT_THAT(store_->LoadZoomPaths("Cabin"), ElementsAre("/a", "/b"));
  EXPECT_EQ(Raw(SessionPath("Cabin"), "RandomInitData"), password);
  EXPECT_EQ(Raw(SessionPath("Cabin"), "Firewallhost"), Sz("fw.lan"));
  EXPECT_EQ(Raw(SessionPath("Cabin"), "ResumeFileName"), Sz("/tmp/big.iso"));
  HostRecord loaded;
  ASSERT_TRUE(store_->LoadSession("Cabin", &loaded, nullptr));
  EXPECT_STREQ(loaded.cSessionName, "Cabin");
  EXPECT_STREQ(loaded.cCertPassword, "certpw");
}

TEST_F(SessionStoreTest, RenameNeverLandsOnAnExistingKey) {
  HostRecord rec;
  InitNewSession(&rec, "Home", "h");
  store_->SaveSession(rec);
  InitNewSession(&rec, "Work", "w");
  store_->SaveSession(rec);
  store_->SaveSessionList({"Home", "Work"});
  for (const char* target : {"Work", "WORK", "HOME", "HostIndex", ""}) {
    SCOPED_TRACE(target);
    EXPECT_FALSE(store_->RenameSession("Home", target));
  }
  EXPECT_EQ(Raw(SessionPath("Home"), "HostName"), Sz("h"));
  EXPECT_EQ(Raw(SessionPath("Work"), "HostName"), Sz("w"));
  EXPECT_THAT(store_->SessionList(), ElementsAre("Home", "Work"));
  EXPECT_FALSE(store_->RenameSession("Nope", "Other"));
  EXPECT_FALSE(KeyExists(SessionPath("Other")));
}

TEST_F(SessionStoreTest, DeleteAsksThenRemovesKeyZoomPathsAndListEntry) {
  HostRecord rec;
  for (const char* name : {"Alpha", "Beta"}) {
    InitNewSession(&rec, name, "h");
    store_->SaveSession(rec);
  }
  store_->SaveZoomPaths("Beta", {"/x"});
  store_->SaveSessionList({"Alpha", "Beta"});

  ui_.AnswerBoxes({BoxResult::kNo, BoxResult::kYes});
  EXPECT_FALSE(store_->DeleteSession("Beta"));
  EXPECT_TRUE(KeyExists(SessionPath("Beta")));
  EXPECT_TRUE(store_->DeleteSession("Beta"));

  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text,
            "This command will permanently delete the connection settings for\rFTP host "
            "'Beta'.\r\rDo you want to continue?");
  EXPECT_EQ(boxes[1].caption, "Confirm Delete");
  EXPECT_EQ(boxes[1].buttons, BoxButtons::kYesNo);
  EXPECT_EQ(boxes[1].icon, BoxIcon::kApplication);
  EXPECT_FALSE(KeyExists(SessionPath("Beta")));
  EXPECT_FALSE(KeyExists(SessionPath("Beta") + "\\ZoomPaths"));
  EXPECT_THAT(store_->SessionList(), ElementsAre("Alpha"));
}

TEST_F(SessionStoreTest, DeletingTheLastSessionWritesAnEmptyList) {
  HostRecord rec;
  InitNewSession(&rec, "Only", "h");
  store_->SaveSession(rec);
  store_->SaveSessionList({"Only"});
  ui_.AnswerBoxes({BoxResult::kYes});
  ASSERT_TRUE(store_->DeleteSession("Only"));
  EXPECT_TRUE(KeyExists(HostIndexPath()));
  EXPECT_EQ(store_->CountSessions(), 0);
}

// ---------------------------------------------------------------------------
// Session list

TEST_F(SessionStoreTest, SaveSessionListSkipsALonePlaceholder) {
  const struct {
    std::vector<std::string> items;
    std::vector<std::string> want;
  } kCases[] = {
      {{kNoSessionsText}, {}},
      {{}, {}},
      {{"b", "a"}, {"b", "a"}},
      {{kNoSessionsText, "a"}, {kNoSessionsText, "a"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.items.empty() ? "(none)" : c.items[0]);
    store_->SaveSessionList({"x0", "x1", "x2"});  // an older, longer list
    store_->SaveSessionList(c.items);
    EXPECT_TRUE(KeyExists(HostIndexPath()));
    EXPECT_EQ(store_->SessionList(), c.want);
    EXPECT_EQ(store_->CountSessions(), static_cast<int>(c.want.size()));
  }
  EXPECT_THAT(ValueNames(HostIndexPath()), ElementsAre("Host0", "Host1"));
}

TEST_F(SessionStoreTest, RebuildListsSessionKeysButNotTheListKey) {
  for (const char* name : {"zeta", "Alpha", "beta"}) SetString(SessionPath(name), "HostName", "h");
  Key(HostIndexPath());  // present but empty, as after deleting it by hand

  EXPECT_THAT(store_->RebuildSessionList(), ElementsAre("Alpha", "beta", "zeta"));
  EXPECT_EQ(Raw(HostIndexPath(), "Host0"), Sz("Alpha"));
  EXPECT_EQ(Raw(HostIndexPath(), "Host2"), Sz("zeta"));

  // A list that has names is left alone.
  SetString(SessionPath("new"), "HostName", "h");
  EXPECT_THAT(store_->RebuildSessionList(), ElementsAre("Alpha", "beta", "zeta"));
}

TEST_F(SessionStoreTest, RebuildWithoutSessionsWritesNothing) {
  EXPECT_THAT(store_->RebuildSessionList(), IsEmpty());
  EXPECT_FALSE(KeyExists(kSessionsKey));
}

// ---------------------------------------------------------------------------
// Zoom paths and resume state

TEST_F(SessionStoreTest, ZoomPathsAreReplacedWhole) {
  SetString(SessionPath("Z"), "HostName", "h");
  store_->SaveZoomPaths("Z", {"/1", "/2", "/3"});
  store_->SaveZoomPaths("Z", {"/only"});
  EXPECT_THAT(ValueNames(SessionPath("Z") + "\\ZoomPaths"), ElementsAre("Zoom0"));
  EXPECT_THAT(store_->LoadZoomPaths("Z"), ElementsAre("/only"));

  store_->SaveZoomPaths("Missing", {"/x"});
  EXPECT_FALSE(KeyExists(SessionPath("Missing")));
}

TEST_F(SessionStoreTest, ResumeStateRoundTripsAndFlagsAMissingSession) {
  SetString(SessionPath("R"), "HostName", "h");
  ResumeState out;
  SetField(out.cResumeFileName, "/home/jo/big.iso");
  SetField(out.cResumeSourceFileSize, "734003200");
  SetField(out.cResumeSourcePath, "/pub/big.iso");
  SetField(out.cResIsDownLoadDone, "FALSE");
  SetField(out.cResFileCreateDate, "12/07/2026 21:43");
  SetField(out.cResTransferType, "Binary");
  store_->SaveResumeState("R", out);
  EXPECT_EQ(Raw(SessionPath("R"), "ResIsDownLoadDone"), Sz("FALSE"));

  AppState app;
  app.bNoResumeInfo = 1;
  ResumeState in;
  ASSERT_TRUE(store_->LoadResumeState("R", &in, &app));
  EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
  EXPECT_EQ(app.bNoResumeInfo.load(), 0);

  store_->SaveResumeState("Gone", out);
  EXPECT_FALSE(KeyExists(SessionPath("Gone")));
  EXPECT_FALSE(store_->LoadResumeState("Gone", &in, &app));
  EXPECT_EQ(app.bNoResumeInfo.load(), 1);
}

// ---------------------------------------------------------------------------
// Application settings

TEST_F(SessionStoreTest, FirstStartDefaultsTurnTheLogOn) {
  AppSettings s;
  s.bDebugLog = false;
  s.cCapFlag = "U";
  store_->LoadAppSettings(&s);
  EXPECT_TRUE(s.bDebugLog);
  EXPECT_EQ(s.cCapFlag, "A");
  EXPECT_EQ(s.cFeedbackFlag, "X");
  EXPECT_EQ(s.cAsciiExtensions, "TXT/C/CPP/BAT/CGI/HTM/HTML/SHTML");
  // The defaults are written at once (see settings_pages_test.cpp).
  EXPECT_EQ(Raw(kApplicationKey, "DebugLog"), Sz("YES"));
}

TEST_F(SessionStoreTest, AbsentValuesReadEmptyButExtensionsGetTheirDefault) {
  SetString(kApplicationKey, "EmailAddress", "jo@example.org");
  AppSettings s;
  store_->LoadAppSettings(&s);
  EXPECT_EQ(s.cEmailAddress, "jo@example.org");
  EXPECT_FALSE(s.bDebugLog);
  EXPECT_EQ(s.cCapFlag, "");
  EXPECT_EQ(s.cFeedbackFlag, "");
  EXPECT_EQ(s.bKeepAlive, 0);
  EXPECT_EQ(s.cAsciiExtensions, "TXT/C/CPP/BAT/CGI/HTM/HTML/SHTML");
  EXPECT_EQ(Raw(kApplicationKey, "AsciiExtensions"), Sz("TXT/C/CPP/BAT/CGI/HTM/HTML/SHTML"));
}

TEST_F(SessionStoreTest, SettingsSaveInOrderAndLoadBack) {
  AppSettings s;
  s.cEmailAddress = "jo@example.org";
  s.cCapFlag = "L";
  s.cHiddenFlag = "X";
  s.cAutoStart = "";
  s.cFeedbackFlag = "X";
  s.cAsciiExtensions = "TXT/LOG";
  s.cConfirmDisconnectRas = "X";
  s.bDebugLog = false;
  s.bDisableSplash = true;
  s.bKeepAlive = 1;
  s.iKeepAliveTime = 5;
  s.bPassive = 1;
  store_->SaveAppSettings(s);
  store_->SaveCloseXferDialog(true);

  EXPECT_THAT(ValueNames(kApplicationKey),
              ElementsAre("EmailAddress", "CapFlag", "HiddenFlag", "AutoStart", "FeedbackFlag",
                          "AsciiExtensions", "ConfirmDisconnectRas", "DebugLog", "DisableSplash",
                          "KeepAlive", "KeepAliveTime", "PASV", "CloseXferDialog"));
  EXPECT_EQ(Raw(kApplicationKey, "DebugLog"), Sz("NO"));
  EXPECT_EQ(Raw(kApplicationKey, "DisableSplash"), Sz("YES"));
  EXPECT_EQ(Raw(kApplicationKey, "KeepAliveTime"), Sz("5"));
  EXPECT_EQ(Raw(kApplicationKey, "CloseXferDialog"), Sz("YES"));

  AppSettings in;
  store_->LoadAppSettings(&in);
  EXPECT_EQ(in.cEmailAddress, s.cEmailAddress);
  EXPECT_EQ(in.cCapFlag, "L");
  EXPECT_EQ(in.cAsciiExtensions, "TXT/LOG");
  EXPECT_EQ(in.cConfirmDisconnectRas, "X");
  EXPECT_FALSE(in.bDebugLog);
  EXPECT_TRUE(in.bDisableSplash);
  EXPECT_TRUE(in.bCloseXferDialog);
  EXPECT_EQ(in.iKeepAliveTime, 5);
  EXPECT_EQ(in.bPassive, 1);
}

// A list too long to read is reported but never overwritten by the default.
TEST_F(SessionStoreTest, OverlongExtensionListIsNotReplaced) {
  std::string longList(5000, 'A');
  SetString(kApplicationKey, "AsciiExtensions", longList);
  AppSettings s;
  store_->LoadAppSettings(&s);
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Buffer too small"));
  EXPECT_EQ(s.cAsciiExtensions, "TXT/C/CPP/BAT/CGI/HTM/HTML/SHTML");
  EXPECT_EQ(Raw(kApplicationKey, "AsciiExtensions"), Sz(longList));
}

TEST_F(SessionStoreTest, WindowPlacementRoundTrips) {
  WindowPlacement p;
  EXPECT_FALSE(store_->LoadWindowPlacement(&p));
  p.left = 10;
  p.top = 20;
  p.width = 800;
  p.height = 600;
  store_->SaveWindowPlacement(p);
  EXPECT_EQ(Raw(kApplicationKey, "WindowMaxFlag"), Sz("FALSE"));
  EXPECT_EQ(Raw(kApplicationKey, "mainWindowWidth"), Sz("800"));
  WindowPlacement in;
  ASSERT_TRUE(store_->LoadWindowPlacement(&in));
  EXPECT_EQ(in.state, WindowPlacement::State::kNormal);
  EXPECT_TRUE(in.hasRect);
  EXPECT_EQ(in.height, 600);

  SetString(kApplicationKey, "WindowMaxFlag", "icon");
  ASSERT_TRUE(store_->LoadWindowPlacement(&in));
  EXPECT_EQ(in.state, WindowPlacement::State::kMinimised);
}

}  // namespace
}  // namespace tarn
