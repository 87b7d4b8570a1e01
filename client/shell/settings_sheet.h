// The Settings sheet ("Tarn Settings"): the Session, Firewall, Application
// and Security pages over one session record and the application
// settings, with OK and Cancel only. The rules live in settings_pages.h and
// the store in session_store.h; the sheet runs the flows between them:
//
//   - the session shown is edited after "&Edit" (or "&New"); choosing
//     another session saves it through the checks first, and a failed
//     check keeps it on show;
//   - leaving a page runs its check; a failure shows its box, focuses its
//     field and keeps the page;
//   - OK saves the session and the application settings; Cancel offers to
//     delete the sessions made since the sheet opened; closing rewrites
//     HostIndex from the session list.
//
// Message boxes go through the context's Ui; the name, folder and file
// choosers through SettingsChoosers, so that tests can answer them. GUI
// thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "client/session/host_record.h"
#include "client/session/password.h"
#include "client/session/pc_directory.h"
#include "client/session/settings_pages.h"
#include "client/shell/shell_context.h"

class QTabWidget;

namespace tarn::shell {

class ApplicationSettingsPage;
class FirewallSettingsPage;
class SecuritySettingsPage;
class SessionSettingsPage;

// ShowSettings' modes: 0 shows the first session, 1 the session named,
// 2 starts "&New" with the name suggested (as the host name, too).
enum class SettingsMode : int { kFirstSession = 0, kSelectSession = 1, kNewSession = 2 };

// The questions of the sheet that are not message boxes.
class SettingsChoosers {
 public:
  virtual ~SettingsChoosers() = default;
  // The session-name dialog; true with `*name` set on OK.
  virtual bool SessionName(QWidget* owner, Ui& ui, bool renaming,
                           const std::function<bool(const std::string&)>& exists,
                           std::string* name) = 0;
  // The folder chooser of the initial local directory; "" on Cancel.
  virtual std::string Folder(QWidget* owner, const std::string& start) = 0;
  // The certificate file chooser; "" on Cancel.
  virtual std::string CertFile(QWidget* owner, const std::string& current) = 0;
};

// The real dialogs.
class QtSettingsChoosers : public SettingsChoosers {
 public:
  bool SessionName(QWidget* owner, Ui& ui, bool renaming,
                   const std::function<bool(const std::string&)>& exists, std::string* name) override;
  std::string Folder(QWidget* owner, const std::string& start) override;
  std::string CertFile(QWidget* owner, const std::string& current) override;
};

// A file dialog filter of the form "Name|pattern|Name|pattern|" as Qt's
// "Name (pattern);;..." ("*.*" matches every file, as it did there).
QString QtFileFilter(const std::string& filter);

class SettingsSheet : public QDialog {
  Q_OBJECT
 public:
  // `ctx` and `choosers` must outlive the sheet.
  SettingsSheet(ShellContext& ctx, SettingsChoosers& choosers, QWidget* parent = nullptr);
  ~SettingsSheet() override;

  // Fills the pages and acts on the mode. `zoomPaths` become a new
  // session's zoom paths. In mode 2 `prefill` (may be null) gives the new
  // session's values (a quick connection's): host, port, log-on, TLS and
  // initial host directory are shown for editing, the password in its box
  // with "Save Password(s)" off, so that nothing secret is stored unless
  // the person asks. False when mode 2's name dialog was cancelled (the
  // sheet is then not to be shown).
  bool Start(SettingsMode mode, const std::string& name,
             const std::vector<std::string>& zoomPaths = {}, const HostRecord* prefill = nullptr);

  // What the window must do after OK (AppPageToSettings' answer).
  const AppPageEffects& effects() const { return effects_; }
  // The session on show; "" when there is none.
  std::string shownSession() const;

  // Tests reach the pages and choose the mount table of the UNC check.
  QTabWidget* tabs() const { return tabs_; }
  SessionSettingsPage* sessionPage() const { return session_; }
  FirewallSettingsPage* firewallPage() const { return firewall_; }
  ApplicationSettingsPage* applicationPage() const { return app_; }
  SecuritySettingsPage* securityPage() const { return security_; }
  void SetMountTable(std::unique_ptr<MountTable> mounts) { mounts_ = std::move(mounts); }

  void accept() override;
  void reject() override;

 private:
  using Page = SettingsPage;

  // Shows the index-th session of the list; false (with "Session not
  // found") when it cannot be loaded, the pages then keep what they show.
  bool ShowSession(int index);
  void ShowNoSession();
  bool haveSession() const { return shownIndex_ >= 0; }

  // The page's check (nullopt: passed; pages without a session pass).
  CheckResult CheckPage(Page page);
  // Writes a checked page into the record in memory.
  void WritePage(Page page);
  // Leaving a page: check, then write; the Session page also saves.
  CheckResult LeavePage(Page page);
  // Every session page checked and the record saved when anything
  // changed; on a failure that page is shown with its box.
  bool SaveShown();
  void ShowFailure(Page page, const CheckFailure& failure);
  void GoToPage(Page page);

  void OnPageChanged(int index);
  void OnSessionChosen(int index);
  void OnEdit();
  void OnDelete();
  bool OnNew(const std::string& suggestion, const HostRecord* prefill = nullptr);
  void OnRename();
  void OnLocalFolder();
  void OnCertFile();

  bool NameExists(const std::string& name);
  PasswordScrambler& scrambler();

  ShellContext& ctx_;
  SettingsChoosers& choosers_;
  std::unique_ptr<MountTable> mounts_;
  std::unique_ptr<PasswordScrambler> ownScrambler_;  // when the context has none
  std::vector<std::string> viaItems_;
  std::vector<std::string> zoomPaths_;

  QTabWidget* tabs_;
  SessionSettingsPage* session_;
  FirewallSettingsPage* firewall_;
  ApplicationSettingsPage* app_;
  SecuritySettingsPage* security_;

  HostRecord rec_;             // the session on show, as it is to be saved
  SessionPages shown_;         // the pages as loaded or last saved
  int shownIndex_ = -1;        // its place in the list; -1: none
  Page page_ = Page::kSession; // the page on show
  bool reverting_ = false;     // the sheet itself changes the page
  std::set<std::string> newSessions_;  // made since the sheet opened, not yet confirmed
  AppPageEffects effects_;
};

// ShowSettings(mode, name): runs the sheet modally over `parent` and, after
// OK, acts on the application settings: the host name rule reaches the
// connection's listing, the keep-alive restarts with its new interval
// while connected, and the PC and host views are refreshed through the
// context's hooks when their rules changed. True after OK. The caller
// fills the host tree again either way (sessions may have been made,
// renamed or deleted before a Cancel).
bool ShowSettings(QWidget* parent, ShellContext& ctx, SettingsMode mode, const std::string& name,
                  const std::vector<std::string>& zoomPaths = {}, const HostRecord* prefill = nullptr);

// The part of ShowSettings after OK, for callers with a sheet of their own.
// `guard` (may be null) ends the host refresh when it is gone.
void ApplySettingsEffects(ShellContext& ctx, const AppPageEffects& effects, QObject* guard);

}  // namespace tarn::shell
