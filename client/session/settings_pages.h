// The Settings sheet's rules without its windows: each page's values as a
// plain struct, the mapping between those values and a HostRecord (or the
// application settings), the checks a page must pass before it may be left,
// the session-name rules and the ASCII extension list.
//
// The sheet's pages and tarn-cli's session commands both go through here,
// so that a session made in either is stored byte for byte the same way:
//
//   SessionPages pages = PagesFromRecord(rec, ConnectViaItems(dialEntries));
//   ... the person (or the command line) changes pages ...
//   if (auto failed = RecordFromPages(pages, mounts, scrambler, &rec)) {
//     ShowCheckFailure(ui, failed->failure);   // and focus failed->failure.focus
//   } else {
//     store.SaveSession(rec);
//   }
//
// Everything here is Qt-free and touches no registry; the folder and file
// tests of the checks look at the file system (through MountTable for UNC
// paths). Any thread may call these functions.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/session/app_state.h"
#include "client/session/host_record.h"
#include "client/session/password.h"
#include "client/session/ui.h"

namespace tarn {

class MountTable;

// The program's titles: the short one captions most boxes, the long one
// the session-name dialog's.
inline constexpr const char* kProgramShortTitle = "Tarn";
inline constexpr const char* kProgramLongTitle = "Tarn File Transfer";

// The sheet's caption and its pages, in order.
inline constexpr const char* kSettingsCaption = "Tarn Settings";
enum class SettingsPage : int { kSession = 0, kFirewall = 1, kApplication = 2, kSecurity = 3 };
inline constexpr const char* kSettingsPageTitles[] = {
    "Session Settings", "Firewall Settings", "Application Settings", "Security Settings"};

// The fields a failed check sends the focus to.
enum class SettingsField {
  kNone,
  kSessionName,
  kHostName,
  kPort,
  kConnectVia,
  kDefaultTransfer,
  kUserName,
  kPassword,
  kAccount,
  kHostDir,
  kLocalDir,
  kFirewallType,
  kFirewallHost,
  kFirewallPort,
  kFirewallUser,
  kFirewallPassword,
  kSecurityType,
  kCipherStrength,
  kCertFile,
  kCertPassword,
};

// A failed check: the box to show and the field to focus.
struct CheckFailure {
  std::string title;
  std::string text;  // CR line breaks, as the box shows them
  BoxIcon icon = BoxIcon::kWarning;
  SettingsField focus = SettingsField::kNone;
};
using CheckResult = std::optional<CheckFailure>;

// Shows the failure's box (OK only).
void ShowCheckFailure(Ui& ui, const CheckFailure& failure);

// Box limits of the pages, in bytes of the stored text.
inline constexpr size_t kHostNameLimit = 259;
inline constexpr size_t kPortLimit = 5;
inline constexpr size_t kUserNameLimit = 259;
inline constexpr size_t kSecretLimit = 31;  // password, account, firewall and certificate passwords
inline constexpr size_t kDirectoryLimit = 259;
inline constexpr size_t kFirewallHostLimit = 79;
inline constexpr size_t kFirewallUserLimit = 29;
inline constexpr size_t kCertFileLimit = 259;
inline constexpr size_t kSessionNameLimit = 259;     // the name box
inline constexpr size_t kSessionNameMaxChars = 255;  // what a registry key name can hold
inline constexpr size_t kEmailAddressLimit = 259;

// ---------------------------------------------------------------------------
// Session Settings page

// The "Connect via:" items: "Auto Detect", "Network Connection", then the
// dial-up phone-book entries (none when the dial-up service is absent).
inline constexpr const char* kConnectAutoDetect = "Auto Detect";
inline constexpr const char* kConnectNetwork = "Network Connection";
std::vector<std::string> ConnectViaItems(const std::vector<std::string>& dialUpEntries);

// "Default Transfer:" items, stored as "Detect", "Binary", "Ascii".
enum class DefaultTransfer : int { kAuto = 0, kBinary = 1, kAscii = 2 };
inline constexpr const char* kDefaultTransferItems[] = {"Auto", "Binary", "Ascii"};

// The three log-on choices (UserFlag "A", "P", "S").
enum class LogonChoice : int { kAnonymous = 0, kPrompt = 1, kSpecify = 2 };

struct SessionPageValues {
  std::string sessionName;  // the "FTP Host:" selection
  std::string hostName;
  std::string port;         // digits; empty is shown and saved as "21"
  std::string connectVia;   // one of the "Connect via:" items
  DefaultTransfer transfer = DefaultTransfer::kAuto;
  LogonChoice logon = LogonChoice::kAnonymous;
  std::string userName;     // kept only with kSpecify
  bool savePasswords = false;  // "Save Password(s)"; only with kSpecify
  std::string password;     // plain, as shown in the masked box
  std::string account;      // plain
  std::string hostDir;
  std::string localDir;
};

// Which fields of the page are enabled while it is being edited ("&Edit"
// pressed): the name box with "Specify:", the password and account boxes
// with "Specify:" and "Save Password(s)".
struct SessionPageEnabling {
  bool userName = false;
  bool savePasswords = false;
  bool secrets = false;
};
SessionPageEnabling SessionEnabling(const SessionPageValues& v);

// Choosing Anonymous or Prompt clears "Save Password(s)".
void ChooseLogon(SessionPageValues* v, LogonChoice choice);

// The session checks, in order: the box limits (which the sheet's boxes
// never exceed; the command line may), the host name, the FTP port range,
// the user name, the password, the initial local directory.
CheckResult CheckSessionPage(const SessionPageValues& v, MountTable& mounts);

// ---------------------------------------------------------------------------
// Firewall Settings page

// The list's items in FirewallType order (host_record.h).
inline constexpr const char* kFirewallTypeItems[] = {"USER w/o Logon", "USER with Logon",
                                                     "Transparent", "SITE Hostname"};

struct FirewallPageValues {
  bool useFirewall = false;
  int type = -1;         // list index; -1 = nothing selected
  std::string host;
  std::string port = "21";  // the box's text
  std::string user;
  std::string password;  // plain
};

struct FirewallPageEnabling {
  bool type = false, host = false, port = false, user = false, password = false;
};
FirewallPageEnabling FirewallEnabling(const FirewallPageValues& v);

// The "Use Firewall" check box: on selects the first type when none is
// selected (and shows port 21 in an empty box); off empties every field.
void SetUseFirewall(FirewallPageValues* v, bool on);

// The "Invalid Selection" box of a list selection outside the four types.
CheckFailure InvalidFirewallSelection();

// The firewall checks, when "Use Firewall" is checked.
CheckResult CheckFirewallPage(const FirewallPageValues& v);

// ---------------------------------------------------------------------------
// Security Settings page

inline constexpr const char* kSecurityTypeItems[] = {"Max. Security (encrypt commands and data)",
                                                     "Partial Security (encrypt commands only)"};
inline constexpr const char* kCipherStrengthItems[] = {"No Encryption", "Weak (40 bit)",
                                                       "Medium (>= 56 bit)", "Strong (>= 128 bit)"};
// The certificate chooser.
inline constexpr const char* kCertFileDialogTitle = "Select Tarn SSL Certificate File";
inline constexpr const char* kCertFileFilter =
    "Certificate Files (*.pem)|*.pem|Test Files (*.txt)|*.txt|All Files|*.*|";

struct SecurityPageValues {
  bool useTls = false;
  int type = 0;      // -1 = nothing selected; 0 Max., 1 Partial
  int strength = 1;  // -1 = nothing selected; 0..3
  bool acceptExpired = false;
  bool acceptSelfSigned = false;
  bool acceptFuture = false;
  bool acceptInvalid = false;
  std::string certFile;
  std::string certPassword;  // plain
};

// Everything but the "Use SSL/TLS" box is enabled only while it is checked.
inline bool SecurityFieldsEnabled(const SecurityPageValues& v) { return v.useTls; }

// The security checks, when "Use SSL/TLS" is checked.
CheckResult CheckSecurityPage(const SecurityPageValues& v);

// ---------------------------------------------------------------------------
// The three session pages together

struct SessionPages {
  SessionPageValues session;
  FirewallPageValues firewall;
  SecurityPageValues security;
};

// The pages of a session record: secrets unscrambled for display, an empty
// port shown as 21, a "Connect via" name missing from `connectViaItems`
// shown as the "Auto..." item.
SessionPages PagesFromRecord(const HostRecord& rec, const std::vector<std::string>& connectViaItems);

// Each page into the record (after its check passed). The session page
// scrambles the password and account; every page writes only its fields.
void SessionPageToRecord(const SessionPageValues& v, PasswordScrambler& scrambler, HostRecord* rec);
void FirewallPageToRecord(const FirewallPageValues& v, HostRecord* rec);
void SecurityPageToRecord(const SecurityPageValues& v, HostRecord* rec);

// A failed page of RecordFromPages.
struct PageFailure {
  SettingsPage page = SettingsPage::kSession;
  CheckFailure failure;
};

// Runs the session, firewall and security checks in page order and, when
// all pass, writes the three pages into `rec` (which then holds what
// SaveSession stores). On a failure `rec` is left as it was.
std::optional<PageFailure> RecordFromPages(const SessionPages& pages, MountTable& mounts,
                                           PasswordScrambler& scrambler, HostRecord* rec);

// ---------------------------------------------------------------------------
// Session-name dialog

struct SessionNameDialogText {
  const char* title;
  const char* label;
};
SessionNameDialogText SessionNameDialog(bool renaming);

// The name checks, in order: empty, a backslash, characters a .reg file
// cannot carry (control characters, text that is not UTF-8), longer than a
// registry key name, the name of an existing subkey of Sessions ignoring
// letter case. `exists` answers for a name (SessionStore::SessionExists);
// HostIndex always counts as existing.
CheckResult CheckSessionName(const std::string& name,
                             const std::function<bool(const std::string&)>& exists);

// ---------------------------------------------------------------------------
// Application Settings page

// "Host File Names": index 0..3 <-> CapFlag "A", "C", "U", "L".
inline constexpr const char* kHostFileNameItems[] = {"Leave As Is", "Capitalized", "UPPER CASE",
                                                     "lower case"};
// The index of a CapFlag value (its first letter; anything else is "Leave
// As Is", as the host view treats it).
int CapFlagIndex(const std::string& capFlag);
std::string CapFlagFromIndex(int index);
// The host file name display rule: "A" as is, "U" upper case, "L" lower
// case, "C" the first character upper and the rest lower. ASCII letters
// only, so UTF-8 names stay valid.
std::string ApplyCapFlag(const std::string& capFlag, const std::string& name);

// The sorted "ASCII file extensions" list.
class ExtensionList {
 public:
  ExtensionList() = default;
  // The AsciiExtensions value: extensions joined by "/"; empty pieces are
  // skipped.
  static ExtensionList FromSetting(const std::string& joined);
  // Joined by "/", no leading or trailing "/".
  std::string ToSetting() const;

  const std::vector<std::string>& Items() const { return items_; }

  // What "&Add" and "&Remove" take from the edit text: the text up to its
  // first "." with leading dots skipped and surrounding blanks dropped
  // (".txt" -> "txt", "HTML.OLD" -> "HTML").
  static std::string Key(const std::string& editText);

  // Index of the item equal to `key` ignoring letter case (the extensions
  // are compared that way when files are transferred), or -1.
  int Find(const std::string& key) const;

  // "&Add": adds the key unless an equal item exists. Returns the index of
  // the item to select, or -1 when the text gives no extension.
  int Add(const std::string& editText);
  // "&Remove" is enabled only while this is true.
  bool CanRemove(const std::string& editText) const { return Find(Key(editText)) >= 0; }
  bool Remove(const std::string& editText);

 private:
  void Sort();
  std::vector<std::string> items_;
};

struct AppPageValues {
  std::string emailAddress;
  int hostFileNames = 0;  // index of kHostFileNameItems
  bool showHidden = false;
  bool autoStart = false;
  bool maxFeedback = true;
  bool connectionLog = true;
  bool disableSplash = false;
  bool keepAlive = false;
  int keepAliveMinutes = 0;  // the "Interval:" box, enabled with "Keep Alive"
  bool allowPasv = false;
  bool dontCloseDialUp = false;
  ExtensionList extensions;
};

AppPageValues AppPageFromSettings(const AppSettings& s);

// What the window must do after the page was stored.
struct AppPageEffects {
  bool refreshPcView = false;    // the hidden-files choice changed
  bool refreshHostView = false;  // the host file name rule changed
  // The keep-alive interval to restart the timer with when connected
  // (minutes x 60000); 0 = leave the timer alone.
  int64_t keepAliveRestartMs = 0;
};

// Stores the page into the settings (SaveAppSettings writes them): "Keep
// Alive" off stores 0 and 0, the extension list joined by "/".
AppPageEffects AppPageToSettings(const AppPageValues& v, AppSettings* s);

}  // namespace tarn
