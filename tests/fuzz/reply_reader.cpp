// The FTP reply reader under fuzz: the bytes after one option byte are
// what the server sends on the control connection, then it closes.
//   bit 0  DebugLog on (the transcript is formatted)
//   bit 1  the banner said "(EXOS": lines end at CR
//   bit 2  a VM host (ABOR without the Telnet byte)
//   bit 3  every line is captured (pCapture)
//   bits 4-5  0: replies one after another; 1: a NOOP, then replies;
//             2: the abort sequence, then replies; 3: SYST and the host
//             type it shows, then replies
//   bits 6-7  the SystemCode the PWD texts are read for: 1, 3, 13, 16
// Every reply also goes through the readers of reply texts: the directory
// of a PWD or MKD reply, the size of a 150 reply.
// Each call must take at least one byte or report the connection gone, so
// the reading ends within as many calls as there are bytes.
#include <cstring>
#include <string>

#include "client/engine/control.h"
#include "client/engine/ftp_conn.h"
#include "client/engine/logon.h"
#include "client/engine/transfer.h"
#include "client/session/app_state.h"
#include "platform/net.h"
#include "tests/fuzz/fed_socket.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/support/scripted_ui.h"

TARN_FUZZ_TARGET(reply_reader) {
  using namespace tarn;
  fuzz::Input in(data, size);
  const uint8_t options = in.Byte();
  const std::string_view wire = in.Rest();
  if (wire.size() > fuzz::kMaxFedBytes) return 0;
  fuzz::FedSocket peer(wire);
  FUZZ_CHECK(peer.ok());

  AppState app;
  app.settings.bDebugLog = in.Bit(options, 0);
  platform::Net net;
  testing::ScriptedUi ui;
  FtpConn c;
  c.app = &app;
  c.net = &net;
  c.ui = &ui;
  c.iReplyTimeout = 20000;
  c.bExosCR = in.Bit(options, 1);
  if (in.Bit(options, 2)) c.HostFamily = HOST_VM;
  std::string capture;
  if (in.Bit(options, 3)) c.pCapture = &capture;
  const platform::Socket s = peer.Reader();
  c.sockControl = s;
  const int opening = (options >> 4) & 3;

  for (size_t calls = 0;; ++calls) {
    FUZZ_CHECK(calls <= wire.size() + 1);
    int rc;
    if (calls == 0 && opening == 1) {
      rc = FtpCommandLine(c, s, "NOOP");
    } else if (calls == 0 && opening == 2) {
      c.bAbort = 1;  // what a cancel leaves behind
      FtpAbort(c, s);
      rc = c.bAbort ? kReplyAborted : c.iReplyCode / 100;
    } else if (calls == 0 && opening == 3) {
      FtpDetectHost(c, s);
      rc = c.bAbort ? kReplyAborted : c.iReplyCode / 100;
      const int32_t type = c.ServerType;
      FUZZ_CHECK(type == SERVER_UNIX || type == SERVER_MICROSOFT || type == SERVER_MVS ||
                 type == SERVER_VM || type == SERVER_VSE || type == SERVER_NETWARE);
    } else {
      rc = FtpGetReply(c, s);
    }
    static constexpr int kSystemCodes[] = {1, 3, 13, 16};
    const int systemCode = kSystemCodes[options >> 6];
    const std::string text = c.cReply;
    FUZZ_CHECK(ParsePwdReply(systemCode, text, 100).size() <= 100);
    FUZZ_CHECK(DirectoryFromPwd(systemCode, text).size() <= 180);
    c.llExpected = 0;
    FtpParseSize(c);
    FUZZ_CHECK(c.llExpected >= 0);
    FUZZ_CHECK(rc >= kReplyNone && rc <= kReplyAborted);
    FUZZ_CHECK(std::memchr(c.cReply, '\0', sizeof c.cReply) != nullptr);
    FUZZ_CHECK(c.iBusy == 0);
    if (rc >= kReplyPreliminary && rc <= kReplyPermanent) FUZZ_CHECK(c.iReplyCode / 100 == rc);
    FUZZ_CHECK(!FailureText(c).empty());
    // The server's side is closed, never slow: no wait may run out.
    FUZZ_CHECK(c.lastError != WsErrorText(platform::WSAETIMEDOUT));
    if (c.pCapture) FUZZ_CHECK(wire.substr(0, capture.size()) == capture);
    if (rc == kReplyAborted) break;
  }
  // Every byte the server sent was read, and the transcript has them all
  // (an abort leaves its flag set, which ends the reading at once).
  if (c.pCapture && opening != 2) FUZZ_CHECK(capture == wire);
  return 0;
}
