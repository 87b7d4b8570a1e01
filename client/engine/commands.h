// The short remote file commands: directories, deletes, renames, the
// keep-alive NOOP and the person's custom command. Each returns a reply
// class. CWD, MKD and RMD fall back to the X-commands of older servers
// (on 500) and retry in VMS directory syntax on hosts with device:[dir]
// paths (on other 5xx codes).
#pragma once

#include <string>

#include "client/engine/ftp_conn.h"

namespace tarn {

// Longest reply text kept by the custom command's capture.
constexpr size_t kCaptureLimit = 163840;

int FtpCwd(FtpConn& c, platform::Socket sock, const std::string& dir);
int FtpCdup(FtpConn& c, platform::Socket sock);
int FtpPwd(FtpConn& c, platform::Socket sock);
// MKD and RMD show "Error creating folder" / "Error deleting folder" with
// the server's text and return 5 on refusal, else 2.
int FtpMkd(FtpConn& c, platform::Socket sock, const std::string& path);
int FtpRmd(FtpConn& c, platform::Socket sock, const std::string& path);
int FtpDele(FtpConn& c, platform::Socket sock, const std::string& name);
// RNFR then RNTO; true when RNTO gave class 2. On MVS data-set hosts both
// names are sent fully qualified in single quotes with `mvsPrefix`.
bool FtpRename(FtpConn& c, platform::Socket sock, const std::string& oldName,
               const std::string& newName, const std::string& mvsPrefix = "");
int FtpNoop(FtpConn& c, platform::Socket sock);

// The host file's size in bytes for a binary download (TYPE first when the
// connection is in another type), 0 when the server gives none. A download
// that announces it (c.llAnnounced) fails when it ends short, even when the
// server confirms the cut transfer with 226. ASCII sizes change with the
// line ends: 0 without asking.
int64_t FtpHostFileSize(FtpConn& c, platform::Socket sock, const std::string& remote, char type);
// The custom command: the text as typed (LIST and NLST fetch a listing into
// a temporary file, as the listing code does). Every reply line is appended
// to `*capture`, cut at kCaptureLimit. A 5xx shows "Error Sending QUOTE
// command" and returns 5.
int FtpQuote(FtpConn& c, platform::Socket sock, const std::string& text, std::string* capture);

// The keep-alive's work when the idle timer fires: NOOP when connected and
// idle, never while another command or a transfer runs. A connection served
// by a ConnWorker gets ConnWorker::KeepAliveOp instead, submitted only when
// the worker is idle; this one is for callers that run no worker.
void KeepAliveDue(FtpConn& c);

// ToVmsDirName: ".." -> "[-]", name -> "[.name]" on hosts of system code 3
// and 4, when shorter than `limit`; the name unchanged otherwise.
std::string ToVmsDirName(int systemCode, const std::string& name, size_t limit = 95);

}  // namespace tarn
