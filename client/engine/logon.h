// Connecting a session: credentials, dial-up, the control connection, the
// log-on (directly or through one of four firewall schemes, optionally with
// TLS), host-type detection and the start directory.
#pragma once

#include <functional>
#include <string>

#include "client/engine/ftp_conn.h"
#include "client/session/host_record.h"

namespace tarn {

class SessionStore;
class DialUpOps;

// Password sent for anonymous log-on when no e-mail address is set.
inline constexpr const char* kAnonymousPlaceholder = "guest@example.com";

// FtpLogon: opens the control connection to the host (or the firewall) and
// logs on. Returns the control socket, or kInvalidSocket with the text for
// the person in cReply. Does not store the socket in FtpConn.
platform::Socket FtpLogon(FtpConn& c, HostRecord* pHost, uint16_t port);

// The USER and PASS of the first log-on step: the session's own, or what
// its firewall scheme sends to the firewall.
struct LogonUser {
  std::string user;
  std::string pass;
};
LogonUser FirstLogonUser(const HostRecord& h);

// FtpDetectHost: SYST and the adaptation of HostFamily, ServerType and
// SystemCode to the host.
void FtpDetectHost(FtpConn& c, platform::Socket sock);

// VseListingMode: the VSE step of SYST handling ("SITE UNIX OFF").
void VseListingMode(FtpConn& c, platform::Socket sock);

// ParsePwdReply: the directory of a PWD reply without double quotes, for
// hosts with device:[directory] paths. Writes nothing when the markers are
// missing. Returns the directory ("" when none).
std::string ParsePwdReply(int systemCode, const std::string& reply, size_t limit);

// The directory named by a PWD reply line ("257 \"/home/x\" is current"),
// quotes of data-set names removed. "" when the reply names none.
std::string DirectoryFromPwd(int systemCode, const std::string& reply);

// What connecting needs beyond the engine: the window's listing side.
struct ConnectHooks {
  std::function<void()> resetListing;                         // listing state back to empty
  std::function<bool(const std::string& dir)> processDirectory;  // go there; false on failure
  std::function<void(const std::string& dir)> startListing;   // list it
  std::function<void()> cancelUnattendedRun;                  // failure ends a scheduled run
};

struct ConnectContext {
  FtpConn* conn = nullptr;
  SessionStore* store = nullptr;   // zoom paths; may be null
  DialUpOps* dialUp = nullptr;     // may be null: no dial-up service
  ConnectHooks hooks;
  int replyTimeoutMs = kDefaultReplyTimeoutMs;  // bound of every wait
  // A session directory that cannot be entered: false (the window's way)
  // falls back to the log-on directory with the "Change In Startup
  // Directory" box; true fails the connect, logged off, as a script must
  // not go on in another directory than it named.
  bool startDirectoryRequired = false;
  std::string startDirectory;      // out: the directory connected to
};

// Where a connection starts, from the directory the PWD reply named and
// the session's own (HostDir, "" for none).
struct StartDirectory {
  std::string root;      // the root string of the host's paths ("/", "\\", "." or "")
  std::string start;     // the directory to go to first
  std::string fallback;  // where to go when the session's directory is refused
};
// StartDirectoryRule: the session's directory, else the PWD one (VSE: "\\"
// when PWD named none), without one pair of quotes, rooted when relative
// ("pub" on a UNIX host is "/pub"; "C:..." and "\\..." stay as they are).
// The root comes from the PWD directory's first slash on generic hosts,
// "." on VSE, "/" on L8-emulating hosts, and is "" on MVS and VM.
StartDirectory StartDirectoryRule(int32_t hostFamily, bool l8Emulated, const std::string& pwdDir,
                                  const std::string& sessionDir);

// ConnectThread's work, run on the caller's thread (an op of the
// connection's worker): returns true when the session is connected and its
// start directory handed on. On failure the window is back in its
// disconnected state, FtpConn holds no socket, and the box (or cReply /
// FailureText) says what failed.
bool RunConnect(ConnectContext& ctx, HostRecord* pHost);

}  // namespace tarn
