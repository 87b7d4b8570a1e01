// The data connection of a transfer: the representation type, active mode
// (PORT: the client listens) or passive mode (PASV: the client connects to
// the control peer), the restart offset of a resumed download, the transfer
// command, and the shut-down with the server's final reply.
//
// Results of the transfer calls:
//   2     the server confirmed the transfer (other reply classes as they came)
//   5     local failure        6  aborted
//   0     nothing was attempted (no control socket, busy, no listener)
//   -1    the passive data connection could not be made
#pragma once

#include <string>

#include "client/engine/ftp_conn.h"

namespace tarn {

// FtpPort: a listening socket bound to the control connection's local
// address and announced with PORT; kInvalidSocket when it cannot be made.
// A refused PORT is logged and the socket still returned. Only the control
// peer's data connection is accepted on it; any other is refused and
// logged.
platform::Socket FtpPort(FtpConn& c, platform::Socket sock);

// FtpGetFile: runs `command` (a complete line such as "RETR name") and
// receives its data into `localPath`. Passive mode follows the PASV
// setting. `type` is 'A', 'I' or 'L'. Runs on the connection's worker.
//
// The local file is opened before anything is sent: one that cannot be
// made ends the download with 5 before RETR. With c.resume.bResume set the
// download continues the partial file at c.resume.path (reloaded through
// c.reloadResume when empty; without one the download starts afresh) with
// REST; a refused REST, or a binary partial file larger than
// c.resume.sourceSize, ends it with 5 and the reason in cReply. A binary
// download that ends short of the announced size (c.llAnnounced, set by
// the caller from SIZE, or the 150 reply's count) is failed (5): the file
// it would replace stays, the bytes are kept as the partial file when the
// server takes restarts. A cancel closes the data connection, then sends
// ABOR and reads its replies.
int FtpGetFile(FtpConn& c, platform::Socket sock, const std::string& command,
               const std::string& localPath, char type);
int FtpGetFilePassive(FtpConn& c, platform::Socket sock, const std::string& command,
                      const std::string& localPath, char type);

// FtpPutFile: runs `command` ("STOR name" or "APPE name") and sends the
// local file. A 532 reply gets one ACCT and one retry; the account comes
// from the session or from the "Account Password" prompt. A file that
// shrinks while it is sent fails the upload (5). A cancelled upload closes
// the data connection without ABOR and reads the server's reply to it.
int FtpPutFile(FtpConn& c, platform::Socket sock, const std::string& command,
               const std::string& localPath, char type);

// The port of a PASV reply ("227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"):
// each piece read from its first digit ("(127,0,0,1,195, 80)" is port
// 50000); false when the fifth or sixth piece is missing, holds no digit or
// is above 255.
bool ParsePasvPort(const std::string& reply, uint16_t* port);

}  // namespace tarn
