// The registry store of sessions and application settings:
//
//   Software\Ostravel\Tarn\Sessions\<name>            one session's values
//   Software\Ostravel\Tarn\Sessions\<name>\ZoomPaths  Zoom0, Zoom1, ...
//   Software\Ostravel\Tarn\Sessions\HostIndex         Host0, Host1, ...
//   Software\Ostravel\Tarn\Application                application settings
//
// All calls may come from any thread; the registry serialises them.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "client/session/app_state.h"
#include "client/session/host_record.h"
#include "client/session/password.h"
#include "client/session/ui.h"
#include "platform/registry.h"

namespace tarn {

inline constexpr const char* kSessionsKey = "Software\\Ostravel\\Tarn\\Sessions";
inline constexpr const char* kApplicationKey = "Software\\Ostravel\\Tarn\\Application";
inline constexpr const char* kNoSessionsText = "No FTP Host sessions are defined";

// The resume state of an interrupted download (ResumeFileName, ...).
struct ResumeState {
  char cResumeFileName[260] = {};
  char cResumeSourceFileSize[260] = {};
  char cResumeSourcePath[260] = {};
  char cResIsDownLoadDone[6] = {};
  char cResFileCreateDate[18] = {};
  char cResTransferType[7] = {};
};

// The main window's state at the last interactive exit (WindowMaxFlag and
// the main* rectangle values).
struct WindowPlacement {
  enum class State { kNormal, kMaximised, kMinimised };
  State state = State::kNormal;
  bool hasRect = false;  // all four rectangle values were present
  int left = 0, top = 0, width = 0, height = 0;
};

// The application settings of a fresh installation: the defaults of the
// first start, with passive data connections allowed, because active mode
// fails behind the address translation that nearly every network has.
AppSettings FreshInstallSettings();

class SessionStore {
 public:
  // `ui` shows the "Buffer too small" box; `scrambler` scrambles secrets on
  // save. Both must outlive the store.
  SessionStore(platform::Registry& reg, Ui& ui, PasswordScrambler& scrambler)
      : reg_(reg), ui_(ui), scrambler_(scrambler) {}

  // OpenSessionsKey / OpenApplicationKey: the key, or its subkey `name`.
  std::optional<platform::RegKey> OpenSessionsKey(const std::string& name, bool create);
  std::optional<platform::RegKey> OpenApplicationKey(const std::string& name, bool create);

  // ReadValue: at most `capacity` bytes into `buffer`. A larger value shows
  // "Buffer needs to be at least %ld bytes long" under "Buffer too small"
  // and leaves the buffer as it was. False when absent or too large.
  bool ReadValue(const platform::RegKey& key, const std::string& name, char* buffer,
                 uint32_t capacity);
  void WriteString(const platform::RegKey& key, const std::string& name, const std::string& text);

  // LoadSession: false when the session key does not exist.
  bool LoadSession(const std::string& name, HostRecord* rec, AppState* app);
  void SaveSession(const HostRecord& rec);

  // LoadAppSettings: a store without application settings (no Application
  // key, or one holding no values) is a first start: it gets
  // FreshInstallSettings(), written at once, so that later writes of single
  // values (window placement, the conversion marker) leave them in place.
  void LoadAppSettings(AppSettings* settings);
  void SaveAppSettings(const AppSettings& settings);
  void SaveCloseXferDialog(bool close);

  int CountSessions();
  // HostIndex names in index order.
  std::vector<std::string> SessionList();
  // SaveSessionList: rewrites HostIndex from the items of the host tree or
  // the session box; a lone placeholder item writes nothing.
  void SaveSessionList(const std::vector<std::string>& items);
  // Rebuilds an empty HostIndex from the session keys (never HostIndex
  // itself). Returns the list afterwards.
  std::vector<std::string> RebuildSessionList();
  // The list RebuildSessionList would return, without writing anything.
  std::vector<std::string> ListedSessions();

  // Brings HostIndex in step with a .reg import, which writes session keys
  // but knows nothing of the list. `before` is ListedSessions() from before
  // the import; `keyPaths` and `deletedPaths` are the keys the import made
  // or opened and deleted (full paths in any letter case, as in
  // RegImportReport). The list becomes `before`, then the names of a
  // HostIndex the file itself brought, then each imported session in the
  // order imported: every name once, spelled as its key is, only names of
  // existing session keys that fit a session record; a session the import
  // deleted leaves the list. Writes HostIndex only when the list changes.
  void AddImportedSessions(const std::vector<std::string>& before,
                           const std::vector<std::string>& keyPaths,
                           const std::vector<std::string>& deletedPaths);

  std::vector<std::string> LoadZoomPaths(const std::string& sessionName);
  void SaveZoomPaths(const std::string& sessionName, const std::vector<std::string>& paths);

  // Resume state in the key of the session in use. Load sets
  // app->bNoResumeInfo when the key cannot be opened.
  void SaveResumeState(const std::string& sessionName, const ResumeState& state);
  bool LoadResumeState(const std::string& sessionName, ResumeState* state, AppState* app);

  void SetQueueFileForScheduler(const std::string& path);

  // WindowMaxFlag "TRUE", "ICON" or "FALSE"; a normal window also writes
  // its rectangle. Load reads the flag ignoring letter case; false when the
  // Application key is absent.
  void SaveWindowPlacement(const WindowPlacement& placement);
  bool LoadWindowPlacement(WindowPlacement* placement);

  // True when a session key of that name exists (HostIndex counts, in any
  // letter case).
  bool SessionExists(const std::string& name);

  // Session operations of the settings dialog and the host pane. Names are
  // checked by the caller. Each keeps HostIndex in step.
  void CreateSession(const std::string& name, const std::string& hostName,
                     const std::vector<std::string>& zoomPaths, HostRecord* rec);
  // Moves the session with its zoom paths to the new name.
  bool RenameSession(const std::string& oldName, const std::string& newName);
  // Asks "Confirm Delete"; true when the session was deleted.
  bool DeleteSession(const std::string& name);

 private:
  // The value's bytes (a REG_SZ without its NUL) when they fit `capacity`
  // with a terminator; otherwise the "Buffer too small" box and false.
  bool ReadBytes(const platform::RegKey& key, const std::string& name, uint32_t capacity,
                 std::string* bytes);
  // A scrambled secret: empty when absent or unreadable, so that one
  // session's secret never stays behind in a record loaded for another.
  template <size_t N>
  void ReadSecret(const platform::RegKey& key, const std::string& name, char (&field)[N],
                  bool unscramble);
  std::string ScrambledCopy(const char* plain);
  void LoadFirewallGroup(const platform::RegKey& key, HostRecord* rec);
  void LoadSslGroup(const platform::RegKey& key, HostRecord* rec);
  void SaveFirewallGroup(const platform::RegKey& key, const HostRecord& rec);
  void SaveSslGroup(const platform::RegKey& key, const HostRecord& rec);
  std::vector<std::string> ReadNumbered(const platform::RegKey& key, const std::string& prefix);
  // Subkeys of Sessions except HostIndex, in registry order.
  std::vector<std::string> SessionKeyNames();

  platform::Registry& reg_;
  Ui& ui_;
  PasswordScrambler& scrambler_;
  std::mutex scramblerMu_;  // the scrambler is not thread-safe
};

}  // namespace tarn
