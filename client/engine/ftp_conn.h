// FtpConn: the connection context of the FTP engine, and the reply classes
// every engine call returns.
//
// Reply class of a command primitive:
//   1..5  first digit of the server's reply code
//   6     aborted, or the connection is gone
//   0     no valid reply (no socket, or the line had no code 100..599)
// Transfer functions return 2 (done), 5 (failed) or 6 (aborted).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "client/session/app_state.h"
#include "client/session/ui.h"
#include "platform/net.h"

namespace tarn {

enum ReplyClass : int {
  kReplyNone = 0,
  kReplyPreliminary = 1,
  kReplyComplete = 2,
  kReplyIntermediate = 3,
  kReplyTransient = 4,
  kReplyPermanent = 5,
  kReplyAborted = 6,
};

// The host-type values of a connection. Log-on settles them from the
// banner and the SYST reply; the listing code switches MVS connections
// between dataset names and UNIX paths. All of them change only through
// SetHostType (control.h).

// HostFamily values.
enum : int32_t { HOST_GENERIC = 0, HOST_MVS = 1, HOST_VM = 2, HOST_VSE = 4 };

// ServerType values.
enum : int32_t {
  SERVER_UNIX = 0,
  SERVER_MICROSOFT = 1,
  SERVER_MVS = 2,
  SERVER_VM = 3,
  SERVER_VSE = 4,
  SERVER_NETWARE = 5,
  SERVER_CESAR = 7,
};

// SystemCode values.
enum : int32_t {
  SYSTEM_DEFAULT = 1,        // also VSE with UNIX listings
  SYSTEM_DEVICE_PWD_A = 3,   // PWD replies device:[directory]
  SYSTEM_DEVICE_PWD_B = 4,
  SYSTEM_VSE_NATIVE = 5,
  SYSTEM_MVS = 13,           // switches between MVS and UNIX path styles
  SYSTEM_MS_DOS_STYLE = 15,  // Windows server listing in MS-DOS style
  SYSTEM_VM = 16,
  SYSTEM_NETWARE = 17,
};

// True for the system codes whose PWD replies name device:[directory]
// paths, where directory commands retry in VMS syntax.
inline bool HasDevicePaths(int32_t systemCode) {
  return systemCode == SYSTEM_DEVICE_PWD_A || systemCode == SYSTEM_DEVICE_PWD_B;
}

// AppState::iHostViewCode values: the column set log-on picks for the host
// view before the first listing chooses its own.
enum : int32_t { VIEW_UNIX = 3, VIEW_VSE = 4 };

// The four host-type values together, as SetHostType takes them.
struct HostType {
  int32_t family = HOST_GENERIC;   // FtpConn::HostFamily
  int32_t server = SERVER_UNIX;    // FtpConn::ServerType
  int32_t system = SYSTEM_DEFAULT; // FtpConn::SystemCode
  int32_t view = VIEW_UNIX;        // AppState::iHostViewCode
  bool operator==(const HostType&) const = default;
};

constexpr size_t kReplyBufferSize = 16384;
constexpr size_t kCommandCapacity = 260;
constexpr size_t kMaxCommandLength = 257;   // fits 260 bytes with CR LF and NUL
constexpr size_t kReplyLineCut = 4000;      // longer reply lines are cut here
constexpr size_t kReplyPeek = 82;           // bytes peeked per step of a line
constexpr int kDefaultReplyTimeoutMs = 65000;

class KeepAliveTimer;
struct HostRecord;

// The TLS side of the channel send and receive. Absent (null) until a
// session asks for TLS. Its calls come from the connection's worker (or the
// single thread that drives a connection without one), one at a time.
class TlsChannels {
 public:
  virtual ~TlsChannels() = default;
  // True when the channel of that kind currently goes through TLS.
  virtual bool Active(bool isControl) const = 0;
  // Sends all `len` bytes; n = -1 with a WinSock number on failure.
  virtual platform::NetResult Send(platform::Socket s, const void* data, size_t len,
                                   bool isControl) = 0;
  // Receives at most `len` bytes (with kPeek: at most kReplyPeek, left
  // unread); 0 when the peer closed.
  virtual platform::NetResult Recv(platform::Socket s, void* buf, size_t len, int flags,
                                   bool isControl) = 0;
  // The control handshake after AUTH was accepted, for session `h` on the
  // host `peerName` (the name the certificate must carry). False on
  // failure, with the text for the person in cReply.
  virtual bool HandshakeControl(platform::Socket s, const HostRecord& h,
                                const std::string& peerName) = 0;
  // True when data connections are protected (PROT P in force).
  virtual bool DataProtected() const = 0;
  // The handshake of a new data connection; false on failure.
  virtual bool HandshakeData(platform::Socket s) = 0;
  // TlsEndData: closes the data connection's TLS state after a transfer.
  virtual void EndData(platform::Socket s) = 0;
  // TlsShutdownAll: releases every TLS state.
  virtual void ShutdownAll() = 0;
};

// The resume state of the running download, held in memory; the store keeps
// it in the session's key between runs.
struct ResumeInfo {
  bool bResume = false;         // this download continues a partial file
  std::string path;             // local path of the partial file
  int64_t offset = 0;           // bytes already present (for display)
  std::string sourcePath;       // host path of the source
  int64_t sourceSize = 0;       // its size, 0 when not known
};

// The local side of the running download, opened before the transfer
// command goes out so that a folder that cannot be written is refused
// before the server sends a byte.
struct DownloadTarget {
  int fd = -1;             // open for writing; -1 when none is prepared
  std::string target;      // the path the caller asked for
  std::string written;     // the file the bytes go to (target, or a partial file beside it)
  bool created = false;    // `written` was made by this download
};

struct FtpConn {
  // Collaborators, set by the composition root and living longer than the
  // connection.
  AppState* app = nullptr;
  Ui* ui = nullptr;
  platform::Net* net = nullptr;
  KeepAliveTimer* keepAlive = nullptr;  // null: no keep-alive
  TlsChannels* tls = nullptr;           // null: no TLS

  std::atomic<int32_t> HostFamily{HOST_GENERIC};
  std::atomic<int32_t> ServerType{SERVER_UNIX};
  int64_t llExpected = 0;        // expected size of the current transfer
  int32_t iProgressTick = 0;
  char cReply[kReplyBufferSize] = {};  // last reply line (its code in iReplyCode)
  int32_t iReplyTimeout = kDefaultReplyTimeoutMs;  // bound of every wait, ms
  std::atomic<int32_t> bAbort{0};
  char cTypeNow = 0;             // TYPE last sent: 'A', 'I', 'L'; 0 after connect
  std::atomic<int32_t> iBusy{0};
  std::atomic<int32_t> SystemCode{SYSTEM_DEFAULT};
  std::atomic<int32_t> iReplyCode{0};
  int32_t iReplyDepth = 0;
  std::atomic<platform::Socket> sockControl{platform::kInvalidSocket};
  std::atomic<platform::Socket> sockData{platform::kInvalidSocket};
  std::atomic<platform::Socket> sockListen{platform::kInvalidSocket};
  platform::Ipv4 saServer;       // control peer
  platform::Ipv4 saData;         // data peer: saServer with port 20, then PASV's
  platform::Ipv4 saLocal;        // local end of the control connection
  char cTempFile[260] = {};
  std::string* pCapture = nullptr;  // when set, every reply line is appended
  char cConnAccount[260] = {};
  int32_t bL8Emulated = 0;
  int32_t bExosCR = 0;           // banner said "(EXOS": lines end at CR
  char cRootDir[4] = {};         // root string of the host's paths
  ResumeInfo resume;             // set by the caller of a resumable download
  // Reads the stored resume state of the session in use into `*info`, for
  // a resumed download whose partial file is not known in memory; false
  // when there is none. Set by the composition root; may be empty.
  std::function<bool(ResumeInfo* info)> reloadResume;
  // Exact size the server announced for the running download: the count
  // of the 150 reply, or SIZE's answer set by the caller; 0 = not known.
  // A binary download that ends short of it has failed.
  int64_t llAnnounced = 0;
  int64_t llReceived = 0;        // bytes the last download received
  // What failed last when it was no server reply (a socket error, a local
  // file, a cut transfer), for the person; every reply read clears it.
  std::string lastError;
  // Keep-alive interval in ms instead of KeepAliveTime's minutes; 0 = the
  // setting. For tests and the scripting console.
  int64_t iKeepAliveMs = 0;
  DownloadTarget download;
  int64_t progressShownMs = 0;   // when the person last saw progress
  // A download that replaces an existing file is received into a temporary
  // file beside it; the rename waits for the server's final reply.
  std::string pendingTemp;
  std::string pendingTarget;
};

}  // namespace tarn
