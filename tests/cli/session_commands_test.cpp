// tarn-cli's session commands in process: what they store (the same as the
// Settings sheet), the checks they run, their usage errors.
#include "client/cli/session_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "client/session/session_store.h"
#include "client/session/settings_pages.h"
#include "tests/client/session/registry_fixture.h"
#include "tests/client/session/scripted_mount_table.h"
#include "tests/support/scripted_ui.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing::ScriptedMountTable;
using testing::ScriptedUi;

const std::string kHome = std::string(kSessionsKey) + "\\Home";

// Captures a stream the commands write to.
class Capture {
 public:
  Capture() : file_(std::tmpfile()) {}
  ~Capture() { std::fclose(file_); }
  std::FILE* get() { return file_; }
  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) s.append(buf, n);
    return s;
  }

 private:
  std::FILE* file_;
};

class SessionCommandsTest : public testing::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    std::filesystem::create_directories(dir_ + "/local");
    cert_ = dir_ + "/client.pem";
    std::ofstream(cert_) << "-----BEGIN CERTIFICATE-----\n";
  }

  // Runs "session ARGS" with the secrets given; true when it succeeded.
  bool Run(std::vector<std::string> args, std::map<std::string, std::string> secrets = {}) {
    out_ = std::make_unique<Capture>();
    err_ = std::make_unique<Capture>();
    cli::SessionCommandContext ctx;
    ctx.reg = reg_.get();
    ctx.ui = ui_.get();
    ctx.out = out_->get();
    ctx.err = err_->get();
    ctx.mounts = &mounts_;
    ctx.secret = [secrets](const char* name) -> std::optional<std::string> {
      auto it = secrets.find(name);
      if (it == secrets.end()) return std::nullopt;
      return it->second;
    };
    ctx.now = 1700000000;
    return cli::RunSessionCommand(args, ctx);
  }
  std::string Out() { return out_->Text(); }
  std::string Err() { return err_->Text(); }

  // Every value of a session key as name -> bytes, secrets unscrambled.
  static std::map<std::string, std::string> Values(platform::Registry& reg, const std::string& path) {
    std::map<std::string, std::string> out;
    platform::RegKey key;
    std::vector<platform::RegValue> values;
    if (reg.OpenKey(path, &key) != platform::RegStatus::kOk) return out;
    reg.EnumValues(key, &values);
    for (const auto& v : values) {
      std::string bytes(v.data.begin(), v.data.end());
      if (v.type == platform::REG_BINARY) bytes = "plain:" + UnscramblePassword(bytes);
      out[v.name] = bytes;
    }
    return out;
  }
  std::vector<std::string> Order(platform::Registry& reg, const std::string& path) {
    platform::RegKey key;
    std::vector<platform::RegValue> values;
    std::vector<std::string> names;
    if (reg.OpenKey(path, &key) == platform::RegStatus::kOk) reg.EnumValues(key, &values);
    for (const auto& v : values) names.push_back(v.name);
    return names;
  }

  std::unique_ptr<ScriptedUi> ui_ = std::make_unique<ScriptedUi>();
  ScriptedMountTable mounts_;
  std::string cert_;
  std::unique_ptr<Capture> out_, err_;
};

// ---------------------------------------------------------------------------
// What is stored

TEST_F(SessionCommandsTest, AddStoresExactlyWhatTheSheetStores) {
  ASSERT_TRUE(Run({"add", "Home", "--host", "127.0.0.1", "--port", "2121", "--user", "jo", "--save-password",
                   "--account", "--host-dir", "/pub", "--local-dir", dir_ + "/local", "--transfer", "binary",
                   "--connect-via", "network", "--firewall", "1", "--fw-host", "127.0.0.1", "--fw-port", "2100",
                   "--fw-user", "fwu", "--tls", "partial", "--cipher-strength", "2", "--accept-self-signed",
                   "--accept-expired", "--cert", cert_},
                  {{"TARN_PASSWORD", "hunter2"}, {"TARN_ACCOUNT", "acct9"}, {"TARN_FW_PASSWORD", "fwpw"},
                   {"TARN_CERT_PASSWORD", "certpw"}}))
      << Err();
  EXPECT_EQ(ui_->Boxes().size(), 0u);
  EXPECT_EQ(ui_->Prompts().size(), 0u);

  // The sheet: "&New" with the name, then every page filled in.
  std::string error;
  auto sheetRegistry = platform::OpenSqliteRegistry(dir_ + "/sheet.sqlite", &error);
  ASSERT_NE(sheetRegistry, nullptr) << error;
  platform::Registry& other = *sheetRegistry;
  ScriptedUi sheetUi;
  PasswordScrambler scrambler(42);
  SessionStore sheet(other, sheetUi, scrambler);
  HostRecord rec;
  sheet.CreateSession("Home", "", {}, &rec);
  SessionPages p = PagesFromRecord(rec, ConnectViaItems({}));
  p.session.hostName = "127.0.0.1";
  p.session.port = "2121";
  p.session.connectVia = "Network Connection";
  p.session.transfer = DefaultTransfer::kBinary;
  ChooseLogon(&p.session, LogonChoice::kSpecify);
  p.session.userName = "jo";
  p.session.savePasswords = true;
  p.session.password = "hunter2";
  p.session.account = "acct9";
  p.session.hostDir = "/pub";
  p.session.localDir = dir_ + "/local";
  SetUseFirewall(&p.firewall, true);
  p.firewall.type = 1;
  p.firewall.host = "127.0.0.1";
  p.firewall.port = "2100";
  p.firewall.user = "fwu";
  p.firewall.password = "fwpw";
  p.security.useTls = true;
  p.security.type = 1;
  p.security.strength = 2;
  p.security.acceptSelfSigned = p.security.acceptExpired = true;
  p.security.certFile = cert_;
  p.security.certPassword = "certpw";
  ASSERT_FALSE(RecordFromPages(p, mounts_, scrambler, &rec).has_value());
  sheet.SaveSession(rec);

  EXPECT_EQ(Values(*reg_, kHome), Values(other, kHome));
  EXPECT_EQ(Order(*reg_, kHome), Order(other, kHome));
  EXPECT_EQ(Values(*reg_, std::string(kSessionsKey) + "\\HostIndex"),
            Values(other, std::string(kSessionsKey) + "\\HostIndex"));
  EXPECT_TRUE(KeyExists(kHome + "\\ZoomPaths"));
  EXPECT_EQ(Raw(kHome, "SSLType"), std::string("1\0", 2));
  EXPECT_EQ(Raw(kHome, "PasswordFlag"), std::string("S\0", 2));
}

TEST_F(SessionCommandsTest, AddDefaultsAreThoseOfANewSession) {
  ASSERT_TRUE(Run({"add", "Anon", "--host", "127.0.0.1"})) << Err();
  HostRecord rec;
  PasswordScrambler scrambler(1);
  SessionStore store(*reg_, *ui_, scrambler);
  ASSERT_TRUE(store.LoadSession("Anon", &rec, nullptr));
  EXPECT_STREQ(rec.cFTPPort, "21");
  EXPECT_STREQ(rec.cUserFlag, "A");
  EXPECT_STREQ(rec.cUserName, "");
  EXPECT_STREQ(rec.cPasswordFlag, "P");
  EXPECT_STREQ(rec.cConnectVia, "Auto Detect");
  EXPECT_STREQ(rec.cDefaultTransfer, "Detect");
  EXPECT_EQ(rec.iFirewallUse, 0);
  EXPECT_EQ(rec.uSecurity, 1u << kSslStrengthShift);
  EXPECT_EQ(Raw(kSessionsKey + std::string("\\Anon"), "RandomInitData"), "");

  // --tls on its own takes the strong suites.
  ASSERT_TRUE(Run({"add", "Secure", "--host", "127.0.0.1", "--tls", "max"})) << Err();
  ASSERT_TRUE(store.LoadSession("Secure", &rec, nullptr));
  EXPECT_EQ(rec.uSecurity, kSslUse | (3u << kSslStrengthShift));
  EXPECT_THAT(store.SessionList(), ElementsAre("Anon", "Secure"));
}

TEST_F(SessionCommandsTest, EditChangesOnlyWhatItIsToldAndSecretsStayUnlessAsked) {
  ASSERT_TRUE(Run({"add", "Home", "--host", "127.0.0.1", "--user", "jo", "--save-password", "--firewall", "3",
                   "--fw-host", "127.0.0.1", "--fw-user", "fwu"},
                  {{"TARN_PASSWORD", "first"}, {"TARN_FW_PASSWORD", "fwfirst"}}))
      << Err();
  // TARN_PASSWORD set for other commands does not replace a saved password.
  ASSERT_TRUE(Run({"edit", "home", "--port", "990"}, {{"TARN_PASSWORD", "other"}})) << Err();
  EXPECT_EQ(Raw(kHome, "FTPPort"), std::string("990\0", 4));
  EXPECT_EQ(UnscramblePassword(Raw(kHome, "RandomInitData")), "first");
  EXPECT_EQ(UnscramblePassword(Raw(kHome, "CryptoKeys")), "fwfirst");
  EXPECT_EQ(Raw(kHome, "UserName"), std::string("jo\0", 3));

  ASSERT_TRUE(Run({"edit", "Home", "--save-password", "--fw-password"},
                  {{"TARN_PASSWORD", "second"}, {"TARN_FW_PASSWORD", "fwsecond"}}))
      << Err();
  EXPECT_EQ(UnscramblePassword(Raw(kHome, "RandomInitData")), "second");
  EXPECT_EQ(UnscramblePassword(Raw(kHome, "CryptoKeys")), "fwsecond");

  // Anonymous: no name and no secrets, whatever was saved before.
  ASSERT_TRUE(Run({"edit", "Home", "--anonymous", "--firewall", "off"})) << Err();
  EXPECT_EQ(Raw(kHome, "UserFlag"), std::string("A\0", 2));
  EXPECT_EQ(Raw(kHome, "UserName"), std::string("\0", 1));
  EXPECT_EQ(Raw(kHome, "PasswordFlag"), std::string("P\0", 2));
  EXPECT_EQ(Raw(kHome, "RandomInitData"), "");
  EXPECT_EQ(Raw(kHome, "Firewalluse"), std::string("NO\0", 3));
  EXPECT_EQ(Raw(kHome, "FTPPort"), std::string("990\0", 4));
}

TEST_F(SessionCommandsTest, SecretsArePromptedForWhenTheEnvironmentHasNone) {
  ui_->AnswerText(std::string("typed"));
  ASSERT_TRUE(Run({"add", "Home", "--host", "127.0.0.1", "--user", "jo", "--save-password"})) << Err();
  auto prompts = ui_->Prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_TRUE(prompts[0].masked);
  EXPECT_EQ(prompts[0].label, "Password for jo@127.0.0.1");
  EXPECT_EQ(UnscramblePassword(Raw(kHome, "RandomInitData")), "typed");
}

// ---------------------------------------------------------------------------
// Checks: the sheet's texts, nothing stored

TEST_F(SessionCommandsTest, FailedChecksShowTheSheetsMessagesAndStoreNothing) {
  struct Case {
    std::vector<std::string> args;
    const char* caption;
    const char* textStart;
  } cases[] = {
      {{"add", "Home"}, "Host Name/IP Address Not Entered", "You must enter a host name"},
      {{"add", "Home", "--host", "h", "--user", "jo", "--save-password"}, "Password Not Entered",
       "You have checked the 'Specify Password' button"},
      {{"add", "Home", "--host", "h", "--user", ""}, "User Name Not Entered", "You have checked"},
      {{"add", "Home", "--host", "h", "--port", "65536"}, "Tarn", "Invalid port number, must be between 0 and 65,535"},
      {{"add", "Home", "--host", "h", "--local-dir", "/nonexistent/folder"}, "Invalid Initial Local Directory",
       "The initial local directory"},
      {{"add", "Home", "--host", "h", "--local-dir", "\\\\fs1\\share"}, "Invalid Initial Local Directory",
       "The initial local directory"},
      {{"add", "Home", "--host", "h", "--firewall", "3", "--fw-host", "f", "--fw-user", "u"}, "Tarn",
       "You need to specify a password for this type of firewall"},
      {{"add", "Home", "--host", "h", "--firewall", "1", "--fw-host", "f"}, "Tarn",
       "You need to specify a user name for this type of firewall"},
      {{"add", "Home", "--host", "h", "--firewall", "0", "--fw-port", "65536"}, "Tarn",
       "Invalid port number, must be between 0 and 65,535"},
      {{"add", "Home", "--host", "h", "--firewall", "0"}, "Tarn", "No Hostname or IP address for firewall specified"},
      {{"add", "Home", "--host", "h", "--firewall", "7", "--fw-host", "f"}, "Tarn",
       "You have specified an invalid firewall type"},
      {{"add", "Home", "--host", "h", "--tls", "max", "--cert", "/nonexistent.pem"}, "File not found",
       "Please select a valid client certificate file."},
      {{"add", "Home", "--host", "h", "--user", "jo", "--save-password", "--account"}, "Tarn",
       "The account can have at most 31 characters."},
      {{"add", "Office\\Main", "--host", "h"}, "Tarn File Transfer", "A session name cannot contain a backslash"},
      {{"add", "", "--host", "h"}, "Tarn File Transfer", "Please type a name for the session"},
      {{"add", "HostIndex", "--host", "h"}, "Tarn File Transfer", "Session Name already exists"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    ui_ = std::make_unique<ScriptedUi>();
    EXPECT_FALSE(Run(c.args, {{"TARN_ACCOUNT", std::string(32, 'a')}}));
    auto boxes = ui_->Boxes();
    ASSERT_EQ(boxes.size(), 1u) << Err();
    EXPECT_EQ(boxes[0].caption, c.caption);
    EXPECT_THAT(boxes[0].text, StartsWith(c.textStart));
    EXPECT_FALSE(KeyExists(kHome));
    EXPECT_FALSE(KeyExists(std::string(kSessionsKey) + "\\HostIndex"));
  }
  // "Transparent" with a user and no firewall password passes.
  ui_ = std::make_unique<ScriptedUi>();
  EXPECT_TRUE(Run({"add", "Home", "--host", "h", "--firewall", "2", "--fw-host", "f", "--fw-user", "u"})) << Err();
  EXPECT_EQ(ui_->Prompts().size(), 0u);  // nothing to ask for
}

TEST_F(SessionCommandsTest, ANameDifferingOnlyInCaseIsRefused) {
  ASSERT_TRUE(Run({"add", "Home", "--host", "h"}));
  EXPECT_FALSE(Run({"add", "HOME", "--host", "other"}));
  EXPECT_FALSE(Run({"add", "Other", "--host", "h"}) && Run({"rename", "Other", "hOmE"}));
  ASSERT_EQ(ui_->Boxes().size(), 2u);
  EXPECT_EQ(ui_->Boxes()[0].text, "Session Name already exists");
  EXPECT_EQ(ui_->Boxes()[1].text, "Session Name already exists");
  EXPECT_EQ(Raw(kHome, "HostName"), std::string("h\0", 2));
  EXPECT_TRUE(KeyExists(std::string(kSessionsKey) + "\\Other"));
}

TEST_F(SessionCommandsTest, UsageErrors) {
  ASSERT_TRUE(Run({"add", "Home", "--host", "h"}));
  struct Case {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{"add", "X", "--host", "h", "--password", "secret"}, "unknown option --password"},
      {{"add", "X", "--host"}, "--host needs a value"},
      {{"add", "X", "Y", "--host", "h"}, "usage: session add NAME"},
      {{"add", "X", "--host", "h", "--save-password"}, "--save-password needs a user name"},
      {{"add", "X", "--host", "h", "--fw-host", "f"}, "need a firewall"},
      {{"add", "X", "--host", "h", "--firewall", "2", "--fw-host", "f", "--fw-password"}, "uses no firewall password"},
      {{"add", "X", "--host", "h", "--firewall", "0", "--fw-user", "u"}, "uses no firewall user"},
      {{"add", "X", "--host", "h", "--firewall", "two"}, "--firewall takes 0, 1, 2, 3 or off"},
      {{"add", "X", "--host", "h", "--cipher-strength", "3"}, "need TLS"},
      {{"add", "X", "--host", "h", "--tls", "max", "--cipher-strength", "4"}, "--cipher-strength takes 0, 1, 2 or 3"},
      {{"add", "X", "--host", "h", "--connect-via", "Modem"}, "--connect-via takes auto or network"},
      {{"add", "X", "--host", "h", "--anonymous=yes"}, "--anonymous takes no value"},
      {{"show", "Home", "--port", "1"}, "takes no options"},
      {{"rename", "Home"}, "usage: session rename OLD NEW"},
      {{"frobnicate"}, "unknown command"},
      {{"add", "X", "--host", "h", "--yes"}, "--yes is an option of session rm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_FALSE(Run(c.args));
    EXPECT_THAT(Err(), HasSubstr(c.err));
    EXPECT_FALSE(KeyExists(std::string(kSessionsKey) + "\\X"));
  }
  EXPECT_EQ(ui_->Boxes().size(), 0u);
  EXPECT_TRUE(Run({"--help"}));
  EXPECT_THAT(Out(), HasSubstr("session add NAME --host H"));
}

// ---------------------------------------------------------------------------
// Rename, rm, show

TEST_F(SessionCommandsTest, RenameAndRemoveKeepTheListInStep) {
  ASSERT_TRUE(Run({"add", "Home", "--host", "h"}));
  ASSERT_TRUE(Run({"add", "Work", "--host", "w"}));
  ASSERT_TRUE(Run({"rename", "home", "Cottage"})) << Err();
  PasswordScrambler scrambler(1);
  SessionStore store(*reg_, *ui_, scrambler);
  EXPECT_THAT(store.SessionList(), ElementsAre("Work", "Cottage"));
  EXPECT_FALSE(KeyExists(kHome));

  // Nobody to answer the question: the session stays.
  EXPECT_FALSE(Run({"rm", "Work"}));
  EXPECT_THAT(Err(), HasSubstr("--yes"));
  EXPECT_EQ(ui_->Boxes().back().caption, "Confirm Delete");
  EXPECT_TRUE(KeyExists(std::string(kSessionsKey) + "\\Work"));
  ASSERT_TRUE(Run({"rm", "Work", "--yes"})) << Err();
  EXPECT_FALSE(KeyExists(std::string(kSessionsKey) + "\\Work"));
  EXPECT_THAT(store.SessionList(), ElementsAre("Cottage"));

  const size_t before = ui_->Boxes().size();
  EXPECT_FALSE(Run({"rm", "Work", "--yes"}));
  EXPECT_FALSE(Run({"edit", "Work", "--port", "1"}));
  ASSERT_EQ(ui_->Boxes().size(), before + 2);
  EXPECT_EQ(ui_->Boxes().back().caption, "Work");
  EXPECT_EQ(ui_->Boxes().back().text, "Session not found");
}

TEST_F(SessionCommandsTest, ShowListsEverythingButTheSecrets) {
  ASSERT_TRUE(Run({"add", "Home", "--host", "127.0.0.1", "--user", "jo", "--save-password", "--firewall", "1",
                   "--fw-host", "fw", "--fw-user", "fwu", "--tls", "max", "--accept-invalid", "--cert", cert_},
                  {{"TARN_PASSWORD", "hunter2"}, {"TARN_FW_PASSWORD", "fwsecret"}, {"TARN_CERT_PASSWORD", "c3rt"}}));
  ASSERT_TRUE(Run({"show", "Home"}));
  const std::string out = Out();
  auto shown = [](const std::string& label, const std::string& value) {
    std::string padded = label + ":";
    padded.resize(std::max<size_t>(padded.size(), 33), ' ');
    return padded + " " + value + "\n";
  };
  EXPECT_THAT(out, StartsWith(shown("Session", "Home") + shown("Host name", "127.0.0.1") + shown("FTP port", "21")));
  EXPECT_THAT(out, HasSubstr(shown("Log on", "User jo") + shown("Password", "saved") + shown("Account", "none")));
  EXPECT_THAT(out, HasSubstr(shown("Firewall", "USER with Logon") + shown("Firewall host", "fw")));
  EXPECT_THAT(out, HasSubstr(shown("Firewall password", "saved")));
  EXPECT_THAT(out, HasSubstr(shown("TLS", "Max. Security (encrypt commands and data)") +
                             shown("Cipher strength", "Strong (>= 128 bit)")));
  EXPECT_THAT(out, HasSubstr(shown("Accept invalid certificate", "yes")));
  EXPECT_THAT(out, HasSubstr(shown("Certificate file", cert_) + shown("Certificate password", "saved")));
  for (const char* secret : {"hunter2", "fwsecret", "c3rt"}) EXPECT_THAT(out, Not(HasSubstr(secret)));
  EXPECT_THAT(out, Not(HasSubstr(Raw(kHome, "RandomInitData"))));
}

}  // namespace
}  // namespace tarn
