#include "client/engine/transfer.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <strings.h>
#include <vector>

#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/messages.h"
#include "client/session/host_record.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tarn {

using platform::kInvalidSocket;
using platform::NetResult;
using platform::OpenFor;
using platform::Socket;

namespace {

// The box of a failed local file operation.
void SystemErrorBox(FtpConn& c, const char* operation, int err) {
  c.ui->MessageBox(msg::SystemErrorText(operation, strerror(err)),
                   c.app->cTitle, BoxButtons::kOk, BoxIcon::kWarning);
}

// "1,234.5" in the person's separators.
std::string FormatOneDecimal(const platform::Locale& loc, double v) {
  if (v < 0) v = 0;
  auto whole = static_cast<int64_t>(v);
  int tenth = static_cast<int>(std::lround((v - static_cast<double>(whole)) * 10));
  if (tenth == 10) {
    ++whole;
    tenth = 0;
  }
  return loc.FormatNumber(whole) + loc.decimalSep + std::to_string(tenth);
}

std::string Clock(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return Format("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
}

std::string KbText(const platform::Locale& loc, int64_t bytes) {
  if (bytes <= 0) return "";
  return loc.FormatNumber((bytes + 1023) / 1024) + "KB";
}

// Opens the partial file beside an existing regular file that a download
// replaces, so that the old content survives a failed download. Its name
// is fixed (PartialFileFor), so that a later resume finds it; a name too
// long for that gets a unique one. Returns the descriptor, -1 with errno.
int OpenPartialBeside(const std::string& target, unsigned mode, std::string* partial) {
  *partial = PartialFileFor(target);
  // Never through a link planted under that name.
  int fd = platform::OpenFile(*partial, OpenFor::kPrivateReplace);
  if (fd < 0 && errno == ENAMETOOLONG) {
    auto slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    std::string tmpl = platform::PathJoin(dir, ".tarn-XXXXXX");
    fd = platform::CreateUniqueFile(&tmpl);
    *partial = tmpl;
  }
  if (fd >= 0) platform::SetFileMode(fd, mode);
  return fd;
}

}  // namespace

std::string PartialFileFor(const std::string& target) {
  auto slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "." + base + ".tarn-part";
}

bool PrepareDownload(FtpConn& c, const std::string& localPath) {
  AbandonDownload(c);
  DownloadTarget d;
  d.target = localPath;
  int fd = -1;
  if (c.resume.bResume) {
    d.written = c.resume.path.empty() ? localPath : c.resume.path;
    fd = platform::OpenFile(d.written, OpenFor::kWrite);
  } else {
    const platform::FileInfo existing = platform::PathInfo(localPath);
    // A new file, a device and the listing's own temporary file take the
    // bytes directly; a file with content is replaced only when complete.
    if (existing.regular && existing.size > 0 && localPath != c.cTempFile) {
      fd = OpenPartialBeside(localPath, existing.mode, &d.written);
      d.created = fd >= 0;
    } else {
      d.written = localPath;
      fd = platform::OpenFile(localPath, OpenFor::kReplace, 0666);
      d.created = fd >= 0 && !existing.exists;
    }
  }
  if (fd < 0) {
    int err = errno;
    SystemErrorBox(c, "CreateFile", err);
    LogDebug(c, Format("Failed to create file %s (%u)%s\r\n", localPath.c_str(),
                       static_cast<unsigned>(err), "\r\n"));
    c.lastError = localPath + ": " + strerror(err);
    return false;
  }
  d.fd = fd;
  c.download = d;
  return true;
}

void AbandonDownload(FtpConn& c) {
  DownloadTarget d = std::move(c.download);
  c.download = DownloadTarget{};
  if (d.fd < 0) return;
  platform::CloseFile(d.fd);
  // Nothing came: a file this download made would only mislead.
  if (d.created) platform::RemoveFile(d.written);
}

void FtpParseSize(FtpConn& c) {
  std::string up = c.cReply;
  for (char& ch : up) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  auto pos = up.find(" BYTES");
  if (pos == std::string::npos) return;
  size_t end = pos;
  while (end > 0 && up[end - 1] == ' ') --end;
  size_t start = end;
  while (start > 0 && isdigit(static_cast<unsigned char>(up[start - 1]))) --start;
  if (start == end) return;
  long long size = strtoll(up.c_str() + start, nullptr, 10);
  if (size > 0) c.llExpected = c.llAnnounced = size;
}

void FtpProgress(FtpConn& c, int64_t bytes, int64_t startMs) {
  // Every loop comes here between two blocks: where a transfer is held
  // while the person decides whether to cancel it.
  c.ui->TransferPausePoint();
  const int64_t now = NowMs();
  const bool due = now - c.progressShownMs >= kProgressIntervalMs;
  if (!c.ui->TransferWindowOpen()) {
    if (due) {
      c.progressShownMs = now;
      c.ui->SetStatusText(kStatusOperation, msg::ListingBytesStatus(static_cast<long long>(bytes)));
    }
    return;
  }
  // The bar moves on every report; the texts only with FeedbackFlag, and
  // then on every second call.
  const bool feedback = !c.app->settings.cFeedbackFlag.empty();
  const bool textsDue = feedback && ++c.iProgressTick > 1;
  if (!due || (feedback && !textsDue)) return;
  c.progressShownMs = now;
  if (feedback) c.iProgressTick = 0;

  TransferFields f;
  f.bytes = bytes;
  f.shownBytes = bytes + (c.resume.bResume ? c.resume.offset : 0);
  f.expected = c.llExpected;
  f.seconds = static_cast<double>(now - startMs) / 1000.0;
  // Position in KB while the size fits the bar's range in KB (an unknown
  // size included), else in 65535ths of the size.
  int64_t pos = c.llExpected / 1024 < 65536
                    ? bytes / 1024
                    : static_cast<int64_t>(static_cast<double>(bytes) * 65535.0 /
                                           static_cast<double>(c.llExpected));
  f.barPos = static_cast<int>(pos > INT32_MAX ? INT32_MAX : pos);
  if (!feedback) {
    f.barOnly = true;
    c.ui->SetTransferFields(f);
    return;
  }
  const platform::Locale& loc = c.app->locale;
  f.received = KbText(loc, f.shownBytes);
  if (f.seconds >= 1.0) {
    double rate = static_cast<double>(bytes) / 1024.0 / f.seconds;
    f.rate = FormatOneDecimal(loc, rate < 0.1 ? 0.1 : rate) + " KB/Sec";
    if (c.llExpected <= 0 || bytes <= 0) {
      f.timeLeft = "  ";
    } else {
      double perSecond = static_cast<double>(bytes) / f.seconds;
      f.timeLeft = Clock(static_cast<int64_t>(static_cast<double>(c.llExpected - bytes) / perSecond));
    }
  }
  c.ui->SetTransferFields(f);
}

void FtpStatistics(FtpConn& c, const char* verb, int64_t bytes, double seconds) {
  long whole = static_cast<long>(seconds);
  if (whole < 1) whole = 1;
  LogDebug(c, Format("%sed %lld bytes in %ld seconds (%lld bytes/sec)\r\n", verb,
                     static_cast<long long>(bytes), whole, static_cast<long long>(bytes / whole)));
  if (!c.ui->TransferWindowOpen()) return;
  TransferFields f;
  f.done = true;
  f.bytes = bytes;
  f.shownBytes = bytes + (c.resume.bResume ? c.resume.offset : 0);
  f.expected = c.llExpected;
  f.seconds = seconds;
  f.received = KbText(c.app->locale, f.shownBytes);
  f.timeLabel = "Transfer Time: ";
  f.timeLeft = Clock(whole);
  double rate = static_cast<double>(bytes) / 1024.0 / (seconds < 0.001 ? 0.001 : seconds);
  f.rate = FormatOneDecimal(c.app->locale, rate < 0.1 ? 0.1 : rate) + " KB/Sec";
  c.ui->SetTransferFields(f);
}

int FtpRecvFile(FtpConn& c, Socket sockData, const std::string& localPath) {
  if (sockData == kInvalidSocket || !c.app->bConnected) {
    AbandonDownload(c);
    return 0;
  }
  if (c.tls && c.tls->DataProtected() && !c.tls->HandshakeData(sockData)) {
    LogWrite(c, "Error negotiating SSL data connection\r\n");
    c.lastError = msg::kDataTlsFailed;
    AbandonDownload(c);
    return 0;
  }
  BusyScope busy(c);
  const bool resume = c.resume.bResume;
  // The file was opened before the transfer command went out; a caller of
  // its own gets it opened here.
  if ((c.download.fd < 0 || c.download.target != localPath) && !PrepareDownload(c, localPath))
    return kReplyPermanent;
  const DownloadTarget target = std::move(c.download);
  c.download = DownloadTarget{};
  const int fd = target.fd;
  const std::string& written = target.written;
  const bool replacing = written != localPath;
  if (resume) {
    const int64_t end = platform::FileEnd(fd);
    c.resume.offset = end > 0 ? end : 0;
    c.resume.path = written;
  }

  std::vector<char> buf(kRecvBlock);
  const int64_t start = NowMs();
  c.iProgressTick = kProgressTickStart;
  c.progressShownMs = 0;
  int64_t total = 0;
  NetResult r = ChannelRecv(c, sockData, buf.data(), buf.size(), 0, false);
  while (r.n > 0 && !c.bAbort) {
    int err = 0;
    if (!platform::WriteFully(fd, buf.data(), static_cast<size_t>(r.n), &err)) {
      SystemErrorBox(c, "WriteFile", err);
      c.lastError = written + ": " + strerror(err);
      c.bAbort = 1;
      break;
    }
    total += r.n;
    if (resume && c.app->bResumeOK) platform::SyncFile(fd, true);
    FtpProgress(c, total, start);
    if (!c.bAbort) r = ChannelRecv(c, sockData, buf.data(), buf.size(), 0, false);
  }
  const double seconds = static_cast<double>(NowMs() - start) / 1000.0;
  const bool failed = c.bAbort || r.n < 0;
  c.llReceived = total;
  if (replacing && !failed) platform::SyncFile(fd, false);  // the new content is on disk before it replaces the old
  platform::CloseFile(fd);

  const bool regular = platform::PathInfo(written).regular;
  if (failed && c.app->bResumeOK) {
    LogWrite(c, "This site supports resume\r\n");
    LogWrite(c, Format("Download of %s interupted %s", written.c_str(), "\r\n") + "\r\n");
    c.resume.path = written;
  } else if (failed && regular) {
    platform::RemoveFile(written);
    LogWrite(c, "Partially downloaded file deleted\r\n");
  }
  if (replacing && !failed) {
    c.pendingTemp = written;
    c.pendingTarget = localPath;
  }

  if (r.n < 0) {
    FtpLogError(c, "Recv", r.error);
    return kReplyAborted;
  }
  FtpStatistics(c, "Receiv", total, seconds);
  return c.bAbort ? kReplyAborted : kReplyComplete;
}

void FinishDownload(FtpConn& c, bool confirmed) {
  if (c.pendingTemp.empty()) return;
  std::string temp = c.pendingTemp, target = c.pendingTarget;
  c.pendingTemp.clear();
  c.pendingTarget.clear();
  if (confirmed) {
    if (platform::RenameFile(temp, target)) return;
    SystemErrorBox(c, "MoveFile", errno);
    c.resume.path = temp;  // the complete file stays where it is
    return;
  }
  if (c.app->bResumeOK) {
    c.resume.path = temp;
    return;
  }
  platform::RemoveFile(temp);
  LogWrite(c, "Partially downloaded file deleted\r\n");
}

int FtpSendFile(FtpConn& c, Socket sockData, const std::string& localPath) {
  if (sockData == kInvalidSocket || !c.app->bConnected) return kReplyPermanent;
  if (c.tls && c.tls->DataProtected() && !c.tls->HandshakeData(sockData)) {
    LogWrite(c, "Error negotiating SSL data connection\r\n");
    return kReplyPermanent;
  }
  BusyScope busy(c);
  int fd = platform::OpenFile(localPath, OpenFor::kRead);
  if (fd < 0) {
    LogWrite(c, Format("Could not open file %s (%u)\r\n", localPath.c_str(),
                       static_cast<unsigned>(errno)));
    return kReplyPermanent;
  }
  const platform::FileInfo info = platform::OpenFileInfo(fd);
  const bool regular = info.regular;
  c.llExpected = regular ? info.size : 0;
  LogDebug(c, Format("Transferring %lld bytes\r\n", static_cast<long long>(c.llExpected)));
  const int64_t start = NowMs();
  c.iProgressTick = kProgressTickStart;
  c.progressShownMs = 0;

  int64_t total = 0;
  int status = kReplyComplete;
  int readError = 0;
  if (!(c.tls && c.tls->Active(false))) {
    // A plain data connection takes the file straight from the page cache.
    for (;;) {
      NetResult r = c.net->SendFile(sockData, fd, kSendBlock, c.iReplyTimeout);
      if (r.n == 0 || c.bAbort) break;
      if (!r.ok()) {
        if (r.timedOut) LogWrite(c, "Timer cancelled blocking call");
        if (r.error == platform::WSAEINTR) c.bAbort = 1;
        if (r.error == platform::WsaFromErrno(EIO)) {
          readError = EIO;  // the file could not be read, the connection is fine
        } else {
          FtpLogError(c, "Send", r.error);
          status = c.bAbort ? kReplyAborted : kReplyPermanent;
        }
        break;
      }
      total += r.n;
      FtpProgress(c, total, start);
    }
  } else {
    std::vector<char> buf(kSendBlock);
    for (;;) {
      const long n = platform::ReadSome(fd, buf.data(), buf.size());
      if (n < 0) {
        readError = errno;
        break;
      }
      if (n == 0 || c.bAbort) break;
      long sent = FtpSendAll(c, sockData, buf.data(), static_cast<size_t>(n), &status, false);
      if (sent > 0) total += sent;
      FtpProgress(c, total, start);
      if (status == kReplyPermanent || status == kReplyAborted || c.bAbort) break;
    }
  }
  platform::CloseFile(fd);
  const double seconds = static_cast<double>(NowMs() - start) / 1000.0;
  if (c.bAbort) status = kReplyAborted;
  if (readError) {
    // The server would store a cut file as if it were whole: this is a
    // failure, not the end of the file.
    LogWrite(c, Format("Could not read file %s (%u)\r\n", localPath.c_str(),
                       static_cast<unsigned>(readError)));
    c.lastError = localPath + ": " + strerror(readError);
    status = kReplyPermanent;
  } else if (status == kReplyComplete && regular && total < c.llExpected) {
    // The file shrank while it was sent: the server holds a cut copy.
    std::string text = msg::UploadIncompleteText(static_cast<long long>(total),
                                                 static_cast<long long>(c.llExpected), localPath);
    LogWrite(c, text + "\r\n");
    c.lastError = text;
    status = kReplyPermanent;
  }
  if (status == kReplyPermanent) {
    LogWrite(c, "Error on Transfer, aborted\r\n");
    return kReplyPermanent;
  }
  if (status == kReplyAborted) {
    LogWrite(c, "Transfer aborted by User\r\n");
    return kReplyAborted;
  }
  FtpStatistics(c, "Transmit", total, seconds);
  return kReplyComplete;
}

int FtpListToTemp(FtpConn& c, Socket sock, const std::string& command) {
  std::string error;
  std::string path = platform::UniqueTempFile(platform::TempDirectory(), "tarn", &error);
  if (path.empty()) {
    LogWrite(c, "Could not create a temporary file: " + error + "\r\n");
    return kReplyPermanent;
  }
  SetField(c.cTempFile, path);
  c.resume.bResume = false;
  return FtpGetFile(c, sock, command, path, 'A');
}

bool IsAsciiExtension(const std::string& name, const std::string& extensions) {
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 >= name.size()) return false;
  std::string ext = name.substr(dot + 1);
  size_t start = 0;
  while (start <= extensions.size()) {
    auto slash = extensions.find('/', start);
    std::string item = extensions.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!item.empty() && item.size() == ext.size() &&
        strncasecmp(item.c_str(), ext.c_str(), ext.size()) == 0)
      return true;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return false;
}

}  // namespace tarn
