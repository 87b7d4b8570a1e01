#include "client/engine/commands.h"

#include "client/engine/control.h"
#include "client/engine/messages.h"
#include "client/engine/transfer.h"
#include "platform/files.h"

namespace tarn {

using platform::Socket;

namespace {

int ClassOfLastReply(const FtpConn& c) {
  int code = c.iReplyCode;
  return code >= 100 && code <= 599 ? code / 100 : kReplyNone;
}

// "VERB arg"; on a 5xx either the X-form (code 500: not recognised) or the
// same verb with the argument in VMS directory syntax.
int WithFallback(FtpConn& c, Socket sock, const char* verb, const std::string& arg) {
  int rc = FtpCommand(c, sock, "%s %s", verb, arg.c_str());
  if (rc != kReplyPermanent) return ClassOfLastReply(c);
  if (c.iReplyCode == 500)
    FtpCommand(c, sock, "X%s %s", verb, arg.c_str());
  else
    FtpCommand(c, sock, "%s %s", verb, ToVmsDirName(c.SystemCode, arg).c_str());
  return ClassOfLastReply(c);
}

}  // namespace

std::string ToVmsDirName(int systemCode, const std::string& name, size_t limit) {
  if (!HasDevicePaths(systemCode)) return name;
  std::string vms = name == ".." ? "[-]" : "[." + name + "]";
  return vms.size() < limit ? vms : name;
}

int FtpCwd(FtpConn& c, Socket sock, const std::string& dir) {
  std::string target = dir;
  if (c.HostFamily == HOST_VSE && target == "/") target = "\\";
  c.ui->SetStatusText(kStatusOperation, msg::ChangingDirectoryStatus(target));
  return WithFallback(c, sock, "CWD", target);
}

int FtpCdup(FtpConn& c, Socket sock) {
  FtpCommand(c, sock, "CDUP");
  return ClassOfLastReply(c);
}

int FtpPwd(FtpConn& c, Socket sock) {
  int rc = FtpCommand(c, sock, "PWD");
  if (rc == kReplyPermanent && c.iReplyCode == 500) FtpCommand(c, sock, "XPWD");
  return ClassOfLastReply(c);
}

int FtpMkd(FtpConn& c, Socket sock, const std::string& path) {
  if (WithFallback(c, sock, "MKD", path) == kReplyPermanent) {
    c.ui->MessageBox(c.cReply, msg::kCreateFolderError, BoxButtons::kOk, BoxIcon::kInformation);
    return kReplyPermanent;
  }
  return kReplyComplete;
}

int FtpRmd(FtpConn& c, Socket sock, const std::string& path) {
  if (WithFallback(c, sock, "RMD", path) == kReplyPermanent) {
    c.ui->MessageBox(c.cReply, msg::kDeleteFolderError, BoxButtons::kOk, BoxIcon::kInformation);
    return kReplyPermanent;
  }
  return kReplyComplete;
}

int64_t FtpHostFileSize(FtpConn& c, Socket sock, const std::string& remote, char type) {
  if (type == 'A') return 0;
  if (c.cTypeNow != type) {
    FtpCommand(c, sock, "TYPE %c", type);
    c.cTypeNow = type;
  }
  if (FtpCommand(c, sock, "SIZE %s", remote.c_str()) != kReplyComplete) return 0;
  const long long size = std::atoll(c.cReply + 3);
  return size > 0 ? size : 0;
}

int FtpDele(FtpConn& c, Socket sock, const std::string& name) {
  FtpCommand(c, sock, "DELE %s", name.c_str());
  return ClassOfLastReply(c);
}

bool FtpRename(FtpConn& c, Socket sock, const std::string& oldName, const std::string& newName,
               const std::string& mvsPrefix) {
  std::string from = oldName, to = newName;
  if (c.HostFamily == HOST_MVS) {
    from = "'" + mvsPrefix + oldName + "'";
    to = "'" + mvsPrefix + newName + "'";
  }
  bool ok = FtpCommand(c, sock, "RNFR %s", from.c_str()) == kReplyIntermediate &&
            FtpCommand(c, sock, "RNTO %s", to.c_str()) == kReplyComplete;
  if (!ok) c.ui->MessageBox(c.cReply, msg::kRenameError, BoxButtons::kOk, BoxIcon::kInformation);
  return ok;
}

int FtpNoop(FtpConn& c, Socket sock) { return FtpCommand(c, sock, "NOOP"); }

int FtpQuote(FtpConn& c, Socket sock, const std::string& text, std::string* capture) {
  std::string captured;
  c.pCapture = &captured;
  int rc;
  if (text.compare(0, 4, "LIST") == 0 || text.compare(0, 4, "NLST") == 0) {
    c.bAbort = 0;
    rc = FtpListToTemp(c, sock, text);
    if (c.cTempFile[0]) platform::RemoveFile(c.cTempFile);
  } else {
    rc = FtpCommandLine(c, sock, text);
  }
  c.pCapture = nullptr;
  if (captured.size() > kCaptureLimit) captured.resize(kCaptureLimit);
  if (capture) *capture = captured;
  if (ClassOfLastReply(c) == kReplyPermanent) {
    c.ui->MessageBox(c.cReply, msg::kQuoteError, BoxButtons::kOk, BoxIcon::kInformation);
    return kReplyPermanent;
  }
  return rc;
}

void KeepAliveDue(FtpConn& c) {
  StopKeepAlive(c);
  Socket sock = c.sockControl;
  if (c.app->bConnected && c.iBusy == 0 && sock != platform::kInvalidSocket) {
    LogWrite(c, "NOOP\r\n");
    FtpSendRaw(c, sock, "NOOP");
    FtpGetReply(c, sock);
  }
  RearmKeepAlive(c);
}

}  // namespace tarn
