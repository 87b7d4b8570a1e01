// The session list after a .reg import: the file writes session keys, the
// store brings HostIndex in step so that every imported session is listed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/session/session_store.h"
#include "platform/reg_file.h"
#include "tests/client/session/registry_fixture.h"
#include "tests/support/scripted_ui.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string SessionKey(const std::string& name) {
  return "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\" + name + "]\r\n";
}

// A session key with one value, as the Windows editor writes it.
std::string Session(const std::string& name) {
  return SessionKey(name) + "\"HostName\"=\"ftp.example.org\"\r\n\r\n";
}

std::string LongName() {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "\xc3\xa9";
  return name;
}

class SessionImportTest : public testing::RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    store_ = std::make_unique<SessionStore>(*reg_, ui_, scrambler_);
  }
  void TearDown() override {
    store_.reset();
    RegistryTest::TearDown();
  }

  // Imports `text` as tarn-cli's "reg import" does and returns HostIndex.
  std::vector<std::string> Import(const std::string& text) {
    const std::vector<std::string> before = store_->ListedSessions();
    platform::RegImportReport report;
    std::string error;
    EXPECT_TRUE(platform::ImportRegText(*reg_, text, &report, &error)) << error;
    store_->AddImportedSessions(before, report.keyPaths, report.deletedKeyPaths);
    return store_->SessionList();
  }

  testing::ScriptedUi ui_;
  PasswordScrambler scrambler_{1700000000};
  std::unique_ptr<SessionStore> store_;
};

TEST_F(SessionImportTest, ImportedSessionsJoinTheListOnceInImportOrder) {
  struct Case {
    const char* label;
    std::vector<std::string> listed;  // HostIndex before the import
    std::vector<std::string> keys;    // session keys without a list entry
    std::string file;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"into an empty store, not sorted", {}, {}, Session("Zed") + Session("Alpha"), {"Zed", "Alpha"}},
      {"beside listed sessions", {"Local"}, {}, Session("New"), {"Local", "New"}},
      // The key keeps its first spelling, and a zoom-path key names its
      // session.
      {"named again in another case",
       {"Local"},
       {},
       Session("Zed") + SessionKey("ZED\\ZoomPaths") + Session("local"),
       {"Local", "Zed"}},
      // The list the host tree would rebuild from the keys is kept first.
      {"over a missing list", {}, {"Old"}, Session("New"), {"Old", "New"}},
      {"deleted session leaves the list",
       {"Gone", "Kept"},
       {"Gone", "Kept"},
       "[-HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\Gone]\r\n",
       {"Kept"}},
      {"deleted zoom paths leave the session",
       {"Kept"},
       {"Kept"},
       "[-HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\Kept\\ZoomPaths]\r\n" +
           Session("New"),
       {"Kept", "New"}},
      {"deleted and made again",
       {"Gone", "Kept"},
       {"Gone", "Kept"},
       "[-HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\Gone]\r\n" + Session("Gone"),
       {"Gone", "Kept"}},
      {"every session deleted",
       {"A", "B"},
       {"A", "B"},
       "[-HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions]\r\n" + Session("C"),
       {"C"}},
      // A backup of the whole tree brings its own HostIndex, whose values
      // overwrite the old ones from Host0 on: no session may drop out.
      {"a backup with its own list",
       {"Local", "Other"},
       {"Local", "Other"},
       Session("B") + SessionKey("HostIndex") + "\"Host0\"=\"B\"\r\n\"Host1\"=\"A\"\r\n\r\n" +
           Session("A"),
       {"Local", "Other", "B", "A"}},
      // 200 letters make a key name but 400 bytes, more than a record holds.
      {"a name no session record can hold", {}, {}, Session(LongName()), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    reg_->DeleteKey("Software");
    for (const auto& name : c.keys) Key(std::string(kSessionsKey) + "\\" + name);
    if (!c.listed.empty()) store_->SaveSessionList(c.listed);
    EXPECT_THAT(Import(kHeader + c.file), ElementsAreArray(c.after));
    EXPECT_THAT(store_->RebuildSessionList(), ElementsAreArray(c.after));
  }
}

TEST_F(SessionImportTest, ImportWithoutSessionsLeavesTheListAlone) {
  Key(std::string(kSessionsKey) + "\\Old");
  Import(kHeader + "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Application]\r\n"
                   "\"DebugLog\"=\"NO\"\r\n");
  // Nothing was written to the list: it is still missing, to be rebuilt.
  EXPECT_FALSE(KeyExists(std::string(kSessionsKey) + "\\HostIndex"));
  EXPECT_THAT(store_->RebuildSessionList(), ElementsAre("Old"));
}

}  // namespace
}  // namespace tarn
