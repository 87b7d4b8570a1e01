// The byte loops of a transfer over an open data connection, with progress,
// statistics, the partial file of an interrupted download, listings fetched
// into a temporary file, and the ASCII-or-binary choice of automatic mode.
//
// No character conversion happens here: ASCII transfers rely on the
// server's conversion under "TYPE A"; bytes are stored and sent as they are.
#pragma once

#include <cstdint>
#include <string>

#include "client/engine/ftp_conn.h"
#include "platform/clock.h"

namespace tarn {

// Block sizes of the byte loops. Large blocks keep the system-call count
// per gigabyte low; progress is throttled separately.
constexpr size_t kRecvBlock = 512 * 1024;
constexpr size_t kSendBlock = 512 * 1024;
// Longest time between two progress reports is unbounded; shortest 50 ms.
constexpr int64_t kProgressIntervalMs = 50;
// The progress tick a byte loop starts with: its first report shows the
// texts as well as the bar (later ones every second report).
constexpr int32_t kProgressTickStart = 2;

// FtpRecvFile: receives until the server closes the data connection and
// writes the bytes to `localPath`. Returns 2 (done), 5 (the local file could
// not be created), 6 (aborted, receive or write error), 0 (not connected or
// the data handshake failed).
//
// A download that would replace an existing regular file goes to a
// partial file beside it, renamed over the old file only when complete,
// so that a failed download never destroys the file it was replacing. On
// abort the partial file stays when the server takes restarts (bResumeOK),
// and c.resume.path then names it; otherwise it is deleted. The local file
// is the one PrepareDownload opened for `localPath`, else it is opened here.
// c.llReceived holds the bytes received. The bytes are stored as they come,
// in either transfer type.
int FtpRecvFile(FtpConn& c, platform::Socket sockData, const std::string& localPath);

// PartialFileFor: the partial file beside `target` that a download
// replacing it writes ("dir/.name.tarn-part"), where a resume finds it.
std::string PartialFileFor(const std::string& target);

// PrepareDownload: opens the local file of the next download into
// c.download before the transfer command goes out: the resume's partial
// file (c.resume.path, else `localPath`), a partial file beside an existing
// file with content, or `localPath` itself. False after the "CreateFile"
// box and its log line.
bool PrepareDownload(FtpConn& c, const std::string& localPath);

// AbandonDownload: closes a prepared download that will not run; a file
// it made is removed again.
void AbandonDownload(FtpConn& c);

// Ends a download received into a temporary file: renamed over the file it
// replaces when the server `confirmed` the transfer; otherwise kept as the
// partial file when the server takes restarts, else deleted.
void FinishDownload(FtpConn& c, bool confirmed);

// FtpSendFile: sends the local file as it is, in either transfer type.
// Returns 2, 5 or 6.
int FtpSendFile(FtpConn& c, platform::Socket sockData, const std::string& localPath);

// FtpParseSize: the size in a 150 reply ("... (1234 bytes)."), stored in
// c.llExpected when greater than 0.
void FtpParseSize(FtpConn& c);

// FtpProgress: the progress of a running transfer, at most every 50 ms.
void FtpProgress(FtpConn& c, int64_t bytes, int64_t startMs);

// FtpStatistics: the closing figures ("Receiv" or "Transmit").
void FtpStatistics(FtpConn& c, const char* verb, int64_t bytes, double seconds);

// FtpListToTemp: fetches a listing command into a new temporary file named
// in c.cTempFile; returns the transfer result.
int FtpListToTemp(FtpConn& c, platform::Socket sock, const std::string& command);

// IsAsciiExtension: true when the name's extension (text after the last
// '.', not empty) is one of the '/'-separated `extensions`, ignoring case.
bool IsAsciiExtension(const std::string& name, const std::string& extensions);

// Milliseconds of the steady clock, for start times (platform/clock.h).
using platform::NowMs;

}  // namespace tarn
