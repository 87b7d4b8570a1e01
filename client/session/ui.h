// Ui: the one way the client's Qt-free code reaches the person. The window
// implements it on the GUI thread (blocking for questions, queued for status
// and progress); unattended runs and tarn-cli implement it on a console or
// a log; tests script it. Any thread may call it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

enum class BoxIcon { kNone, kInformation, kWarning, kError, kQuestion, kApplication };
enum class BoxButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class BoxResult { kOk, kCancel, kYes, kNo };

// The parts of the status bar SetStatusText writes.
enum StatusPart : int {
  kStatusConnection = 0,  // the session connected to
  kStatusOperation = 1,   // what the connection is doing
};

// Window states the connect and listing code switch between.
enum class ConnState { kDisconnected, kConnecting, kConnected };

// Commands of the window whose enabled state the engine decides.
enum class UiCommand { kChangePermissions };

// Transfer modes of the window's mode menu.
enum class TransferMode { kAscii, kBinary, kAutoDetect };

// What the byte loops show of a running transfer: the transfer window's
// fields as texts, plus the numbers behind them for consoles that draw
// their own bar.
struct TransferFields {
  std::string received;    // "1,234KB"; "" for nothing yet
  std::string rate;        // "1,234.5 KB/Sec"; "" until a second has passed
  std::string timeLeft;    // "00:01:05"; "  " when the size is not known
  std::string timeLabel;   // "Transfer Time: " once the transfer is over
  int barPos = -1;         // progress bar position, -1 = unchanged
  int64_t bytes = 0;       // bytes of this transfer so far
  int64_t shownBytes = 0;  // bytes plus the resumed part
  int64_t expected = 0;    // expected size, 0 = unknown
  double seconds = 0;      // elapsed
  bool done = false;       // final statistics
  // Only barPos (and the counts) carry news: the texts above are empty
  // because FeedbackFlag is off, and the fields keep what they show.
  bool barOnly = false;
};

// The replace question before a transfer ("Confirm File Replace"): the
// existing file and the one that would replace it.
enum class ReplaceAnswer { kYes, kYesToAll, kNo, kCancel };
struct ReplaceQuestion {
  std::string name;          // the file, as the question names it
  std::string text;          // the whole question, ready to show
  std::string existingSize;  // "12,345 bytes", or "<size not available>"
  std::string existingDate;  // "12/19/2002 10:15 AM", or "<date/time not available>"
  std::string newSize;
  std::string newDate;
};

// The question of a partial download that is pending ("Resume Options").
enum class ResumeAnswer { kResume, kOverwrite, kCancel };

struct LogonPrompt {
  std::string sessionName;
  std::string userName;   // in: current value; out: what was typed
  std::string password;
  bool focusUser = false;  // caret in the user-name field (else password)
};

class Ui {
 public:
  virtual ~Ui() = default;

  // A message box; returns the button chosen. Without a person, the
  // implementation answers for them (Ok, No, Cancel) and logs the text.
  virtual BoxResult MessageBox(const std::string& text, const std::string& caption,
                               BoxButtons buttons, BoxIcon icon) = 0;

  // Status bar text of a StatusPart.
  virtual void SetStatusText(int part, const std::string& text) = 0;

  // The modal "Logon to FTP Host" dialog. False on Cancel. The dialog
  // itself refuses an empty user name or password.
  virtual bool PromptLogon(LogonPrompt* prompt) = 0;

  // A single-line question ("Account Password" and the like); false on
  // Cancel. `masked` hides what is typed.
  virtual bool PromptText(const std::string& caption, const std::string& label, bool masked,
                          std::string* value) = 0;

  // The "Dial-up Networking Logon" dialog: the entry, its stored user name
  // (read-only) and a masked password of up to 256 characters. False on
  // Cancel.
  virtual bool PromptDialUpPassword(const std::string& entry, const std::string& userName,
                                    std::string* password) {
    (void)userName;
    return PromptText("Dial-up Networking Logon", entry, true, password);
  }

  // The window's connection state, with the session name when connected.
  virtual void SetConnState(ConnState state, const std::string& sessionName) { (void)state; (void)sessionName; }
  virtual void EnableCommand(UiCommand command, bool enabled) { (void)command; (void)enabled; }
  virtual void SetTransferMode(TransferMode mode) { (void)mode; }
  virtual void SetZoomPaths(const std::vector<std::string>& paths) { (void)paths; }
  virtual void ShowLocalDirectory(const std::string& dir) { (void)dir; }
  virtual void SetWaitCursor(bool on) { (void)on; }
  // The window's disconnect command, posted: it runs after the command in
  // progress has ended. Asked for when a server certificate was rejected.
  virtual void PostDisconnect() {}

  // True while a transfer window (or a console's progress line) shows the
  // running transfer; the byte loops then fill its fields.
  virtual bool TransferWindowOpen() const { return false; }
  virtual void SetTransferFields(const TransferFields& fields) { (void)fields; }

  // "Confirm File Replace" with "&Yes", "Yes to &All", "&No" and "Cancel"
  // (and the system's "Default sound"). The default shows q.text in a
  // Yes/No/Cancel box, which offers no "Yes to &All".
  virtual ReplaceAnswer ConfirmReplace(const ReplaceQuestion& q) {
    switch (MessageBox(q.text, "Confirm File Replace", BoxButtons::kYesNoCancel, BoxIcon::kQuestion)) {
      case BoxResult::kYes: return ReplaceAnswer::kYes;
      case BoxResult::kNo: return ReplaceAnswer::kNo;
      default: return ReplaceAnswer::kCancel;
    }
  }

  // "Resume Options": `text` and the file name, with "Resume", "Overwrite"
  // and "Cancel". The default maps them on Yes, No and Cancel.
  virtual ResumeAnswer AskResumeOptions(const std::string& text, const std::string& fileName) {
    switch (MessageBox(text + "\r\n\r\n" + fileName, "Resume Options", BoxButtons::kYesNoCancel,
                       BoxIcon::kQuestion)) {
      case BoxResult::kYes: return ResumeAnswer::kResume;
      case BoxResult::kNo: return ResumeAnswer::kOverwrite;
      default: return ResumeAnswer::kCancel;
    }
  }

  // The byte loops call this between two blocks of a transfer, on the
  // worker thread. An implementation may hold the worker here while the
  // transfer must not go on (the transfer window's cancel question), and
  // returns when it may; with nothing holding it, it returns at once.
  virtual void TransferPausePoint() {}
};

}  // namespace tarn
