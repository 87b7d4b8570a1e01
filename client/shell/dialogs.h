// Dialogs: every modal question the window asks, behind one interface so
// that tests can answer them. QtDialogs shows real dialogs. All calls are
// made on the GUI thread (WindowUi carries workers' questions there).
#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "client/session/ui.h"

namespace tarn {
struct HostRecord;
}

namespace tarn::shell {

struct ShellContext;
enum class SettingsMode : int;

// What the Quick Connect dialog asks: the address (the session's name as
// well), the port and, optionally, a user name and password (empty user:
// anonymous).
struct QuickConnectInput {
  std::string address;
  std::string port = "21";
  std::string userName;
  std::string password;
  bool tls = false;  // explicit TLS (AUTH TLS) at the strongest ciphers: ftpes:// URLs
};

inline constexpr const char* kQuickConnectAddressMissing = "IP address not entered";

// The check of the Quick Connect dialog's OK: "" when the input may be
// used, else the warning to show. Blanks around the address do not count.
std::string CheckQuickConnect(const QuickConnectInput& in);

// A message text of the engine ("\r" or "\r\n" between lines) as the
// lines a Qt dialog shows.
QString DialogText(const std::string& text);

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual BoxResult Box(const std::string& text, const std::string& caption, BoxButtons buttons,
                        BoxIcon icon) = 0;
  virtual bool Logon(LogonPrompt* prompt) = 0;
  virtual bool Text(const std::string& caption, const std::string& label, bool masked,
                    std::string* value) = 0;
  // The "Quick Connect" dialog; false on Cancel.
  virtual bool QuickConnect(QuickConnectInput* input) = 0;
  // The "Custom FTP Command" box; false on Cancel.
  virtual bool CustomCommand(std::string* command) = 0;
  // The "Results of custom FTP command" box.
  virtual void CommandResults(const std::string& text) = 0;
  // The "Create New Folder" box, proposing `*name`; false on Cancel.
  virtual bool NewFolderName(std::string* name) = 0;
  // The "Dial-up Networking Logon" dialog; false on Cancel.
  virtual bool DialUpPassword(const std::string& entry, const std::string& userName,
                              std::string* password) {
    (void)userName;
    return Text("Dial-up Networking Logon", entry, true, password);
  }
  // The Settings sheet (settings_sheet.h ShowSettings); true after OK.
  // `prefill` (may be null) holds the values a new session (mode 2)
  // starts with. Without a sheet (test doubles) nothing opens.
  virtual bool Settings(ShellContext& ctx, SettingsMode mode, const std::string& name,
                        const std::vector<std::string>& zoomPaths, const HostRecord* prefill) {
    (void)ctx;
    (void)mode;
    (void)name;
    (void)zoomPaths;
    (void)prefill;
    return false;
  }
};

class QtDialogs : public Dialogs {
 public:
  // `title` captions the boxes that have no caption of their own.
  QtDialogs(QWidget* owner, std::string title) : owner_(owner), title_(std::move(title)) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  BoxResult Box(const std::string& text, const std::string& caption, BoxButtons buttons,
                BoxIcon icon) override;
  bool Logon(LogonPrompt* prompt) override;
  bool Text(const std::string& caption, const std::string& label, bool masked,
            std::string* value) override;
  bool QuickConnect(QuickConnectInput* input) override;
  bool CustomCommand(std::string* command) override;
  void CommandResults(const std::string& text) override;
  bool NewFolderName(std::string* name) override;
  bool DialUpPassword(const std::string& entry, const std::string& userName,
                      std::string* password) override;
  bool Settings(ShellContext& ctx, SettingsMode mode, const std::string& name,
                const std::vector<std::string>& zoomPaths, const HostRecord* prefill) override;

 private:
  QWidget* owner_;
  std::string title_;
};

}  // namespace tarn::shell
