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

// FtpPort: a listening socket announced with PORT from the control
// connection's local address; kInvalidSocket when it cannot be made. A
// refused PORT is logged and the socket still returned.
platform::Socket FtpPort(FtpConn& c, platform::Socket sock);

// FtpGetFile: runs `command` (a complete line such as "RETR name") and
// receives its data into `localPath`. Passive mode follows the PASV
// setting. `type` is 'A', 'I' or 'L'. With c.resume.bResume set the
// download continues the partial file at c.resume.path with REST.
int FtpGetFile(FtpConn& c, platform::Socket sock, const std::string& command,
               const std::string& localPath, char type);
int FtpGetFilePassive(FtpConn& c, platform::Socket sock, const std::string& command,
                      const std::string& localPath, char type);

// FtpPutFile: runs `command` ("STOR name" or "APPE name") and sends the
// local file. A 532 reply gets one ACCT and one retry; the account comes
// from the session or from the "Account Password" prompt.
int FtpPutFile(FtpConn& c, platform::Socket sock, const std::string& command,
               const std::string& localPath, char type);

// The port of a PASV reply ("227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"):
// false when the fifth or sixth piece is missing.
bool ParsePasvPort(const std::string& reply, uint16_t* port);

}  // namespace tarn
