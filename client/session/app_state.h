// AppState: the client's program-wide state, owned by each program's
// composition root and passed to whatever needs it. The application
// settings of the registry's Application key sit here under the names the
// rest of the client uses; the words shared between threads are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/locale.h"

namespace tarn {

class ConnLog;

struct AppSettings {
  std::string cAsciiExtensions = "TXT/C/CPP/BAT/CGI/HTM/HTML/SHTML";
  std::string cEmailAddress;         // anonymous password
  std::string cCapFlag = "A";        // host name case: A, C, U, L
  std::string cHiddenFlag;           // "X": show hidden PC files
  std::string cAutoStart;            // "X": start transfers on paste/drop
  std::string cFeedbackFlag = "X";   // "X": maximum transfer feedback
  std::string cConfirmDisconnectRas; // "X": never offer a dial-up hang-up
  bool bDisableSplash = false;       // DisableSplash "YES"
  bool bCloseXferDialog = false;     // CloseXferDialog "YES"
  bool bDebugLog = true;             // DebugLog "YES"
  int32_t bKeepAlive = 0;            // KeepAlive
  int32_t iKeepAliveTime = 0;        // KeepAliveTime, minutes
  int32_t bPassive = 0;              // PASV
};

// AppState::iOpState values: what the connection is doing for the window.
enum OpState : int { kOpIdle = 0, kOpConnecting = 1, kOpListing = 2 };

struct AppState {
  std::string cTitle = "Tarn";       // message-box caption
  AppSettings settings;
  ConnLog* log = nullptr;            // connection log; null when none
  platform::Locale locale;           // the person's number and date formats

  std::atomic<int> bConnected{0};    // log-on succeeded
  std::atomic<int> bResumeOK{0};     // the server took a restart marker
  std::atomic<int> iOpState{kOpIdle};  // an OpState
  std::atomic<int> iHostViewCode{3}; // column set of the host view
  std::atomic<int> bLastDownloadDone{1};  // from ResIsDownLoadDone
  std::atomic<int> bNoResumeInfo{0};      // resume state could not be read
};

}  // namespace tarn
