// The TLS layer of the engine, over OpenSSL 3: the context of a session
// (cipher strength, client certificate, trust anchors), the acceptance rules
// for the server's certificate, the control and data handshakes with session
// reuse, the protected channel I/O and the orderly close of each connection.
//
// Sockets stay non-blocking. The layer reads and writes them through
// platform::Net, so every wait inside a TLS call is bounded by
// FtpConn::iReplyTimeout and a cancelled or timed-out wait ends the call
// with 10004, exactly as it ends a plain one.
#pragma once

#include <memory>
#include <string>

#include "client/engine/ftp_conn.h"

namespace tarn {

// Where trust anchors come from, and the protocol ceiling. The defaults are
// the program's; tests point them elsewhere.
struct TlsOptions {
  // Bundle of trusted CA certificates. A relative name is looked for in the
  // current directory and in the program's directory; every copy found is
  // loaded.
  std::string caFile = "ca-cert.pem";
  // Directory of hashed CA certificates; "" means the program's directory.
  std::string caDir;
  // The system's CA certificates as well, so that a publicly trusted
  // server verifies without a bundle of its own.
  bool systemStore = true;
  // Highest protocol version offered (OpenSSL's TLS1_2_VERSION, ...); 0 =
  // TLS 1.3.
  int maxVersion = 0;
};

// The cipher list offered at SSLStrength `strength` (0..3) for TLS 1.2 and
// older; null for any other value.
//   0  "aNULL:eNULL:NULL"  (unauthenticated or unencrypted suites only)
//   3  "MEDIUM:HIGH:!IDEA:!RC5"
const char* TlsCipherList(int strength);

// TlsReport: writes every error queued in the library to the connection log
// and empties the queue, one block per error:
//
//   -- *** Error! *** --
//   Handshake failure.  Reason reported: certificate verify failed
//   File: tls.cpp
//   Line 420
//   Library: SSL routines
//   Function: tls_post_process_server_certificate
//
// `line` identifies the call site. Writes nothing when no error is queued.
void TlsReport(FtpConn& c, const char* text, int line);

// TlsLayer: the TlsChannels of one FtpConn. The composition root owns it
// beside the connection and sets FtpConn::tls to it for sessions with
// SSLUse. Not thread-safe: the engine's busy rules keep its calls on one
// thread at a time.
class TlsLayer final : public TlsChannels {
 public:
  // `c` must outlive the layer; its net, app, ui, cReply and iReplyTimeout
  // are used.
  explicit TlsLayer(FtpConn& c, TlsOptions options = {});
  ~TlsLayer() override;
  TlsLayer(const TlsLayer&) = delete;
  TlsLayer& operator=(const TlsLayer&) = delete;

  bool Active(bool isControl) const override;
  platform::NetResult Send(platform::Socket s, const void* data, size_t len,
                           bool isControl) override;
  platform::NetResult Recv(platform::Socket s, void* buf, size_t len, int flags,
                           bool isControl) override;

  // TlsStartControl: builds the session's context and runs the handshake on
  // the control socket. Logs "SSL connection established using <cipher>" on
  // success. On failure the layer is torn down, the report is in the log and
  // cReply holds the text for the person (a certificate rule's text, or
  // "Handshake failure.  Most likely no common ciphers found.").
  bool HandshakeControl(platform::Socket s, const HostRecord& h,
                        const std::string& peerName) override;
  bool DataProtected() const override;
  // TlsStartData: the handshake of a data connection, resuming the latest
  // session of this server. True at once when data stays clear. On failure
  // the person sees "Handshake failure on data socket"; only the data
  // connection's TLS state is dropped, the control connection stays usable.
  bool HandshakeData(platform::Socket s) override;
  // TlsEndData: sends close_notify, then reads the data connection to its end
  // before the caller closes it, so that a server strict about TLS closes
  // confirms an upload and no unread record makes the close a reset. After
  // an abort the state is dropped without a word.
  void EndData(platform::Socket s) override;
  // TlsShutdownAll: closes the control connection's TLS (close_notify) and
  // releases the context, the sessions and the data state.
  void ShutdownAll() override;

  // The control connection's protocol ("TLSv1.3") and cipher; "" without one.
  std::string Protocol() const;
  std::string Cipher() const;
  // True when the last data handshake resumed an earlier session.
  bool DataResumed() const;

 private:
  // The OpenSSL objects and the session's settings; OpenSSL stays out of
  // this header's includers.
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace tarn
