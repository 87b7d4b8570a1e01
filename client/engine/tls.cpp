#include "client/engine/tls.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "client/engine/control.h"
#include "client/engine/messages.h"
#include "client/session/host_record.h"
#include "platform/paths.h"

namespace tarn {

using platform::kInvalidSocket;
using platform::NetResult;
using platform::Socket;

namespace {

// The name this module gives in its error reports.
constexpr const char* kModule = "tls.cpp";

// TLS 1.3 has no weak suites; the weak strengths offer its weakest one.
constexpr const char* kWeakTls13Suites = "TLS_AES_128_GCM_SHA256";

// A close waits this long at most for the peer's close_notify or end of
// stream: a server that never answers must not hold the connection for the
// full reply time-out after every transfer.
constexpr int kCloseWaitMs = 10000;
// Reading a data connection to its end stops after this much: a peer that
// keeps sending after close_notify is not waited for.
constexpr size_t kDrainLimit = 1u << 20;

// One row of the certificate rules: the SSLxxx bit that accepts the
// failure, the log line ("Accepted" or "Rejected" goes into %s) and the text
// the person sees when it is rejected.
struct CertRule {
  uint32_t bit;
  const char* logLine;
  const char* rejected;
};

constexpr CertRule kNotYetValid = {kSslFuture, "\r\n%s --> Server Certificate not yet valid\r\n",
                                   "Handshake failure: Server Certificate is not yet valid."};
constexpr CertRule kExpired = {kSslExpired, "\r\n%s --> Server Certificate has expired\r\n",
                               "Handshake failure: Server Certificate has expired."};
constexpr CertRule kSelfSigned = {kSslSelf, "\r\n%s --> Server Certificate is Self Signed\r\n",
                                  "Handshake failure: Server Certificate is Self Signed."};
constexpr CertRule kRevoked = {kSslInvalid, "\r\n%s --> Server Certificate has been revoked\r\n",
                               "Handshake failure: Server Certificate has been revoked."};
constexpr CertRule kInvalidCa = {kSslInvalid, "\r\n%s --> Certificate Authority not valid\r\n",
                                 "Handshake failure: Certificate Authority is not valid."};
constexpr CertRule kOther = {kSslInvalid, "\r\n%s --> Server Certificate is not valid\r\n",
                             "Handshake failure: Server Certificate is not valid."};

// The rule of a verification error. A host name that does not match the
// certificate is one of the "other" failures.
const CertRule& RuleFor(int error) {
  switch (error) {
    case X509_V_ERR_CERT_NOT_YET_VALID: return kNotYetValid;
    case X509_V_ERR_CERT_HAS_EXPIRED: return kExpired;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return kSelfSigned;
    case X509_V_ERR_CERT_REVOKED: return kRevoked;
    case X509_V_ERR_INVALID_CA: return kInvalidCa;
    default: return kOther;
  }
}

bool IsAddressLiteral(const std::string& name) {
  unsigned char buf[16];
  return inet_pton(AF_INET, name.c_str(), buf) == 1 || inet_pton(AF_INET6, name.c_str(), buf) == 1;
}

bool FileExists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// The wait of a close: the reply time-out, but never more than kCloseWaitMs.
int CloseWait(int replyTimeoutMs) {
  return replyTimeoutMs > 0 && replyTimeoutMs < kCloseWaitMs ? replyTimeoutMs : kCloseWaitMs;
}

}  // namespace

const char* TlsCipherList(int strength) {
  switch (strength) {
    case 0: return "aNULL:eNULL:NULL";
    // The export and single-DES suites these strengths once named are gone
    // from the library; what is left at the bottom are 128-bit CBC suites
    // with SHA-1, without forward secrecy for "Weak", any SHA-1 suite for
    // "Medium".
    case 1: return "kRSA+AES128+SHA1:kRSA+CAMELLIA128+SHA1:!IDEA:!RC5";
    case 2: return "SHA1:!aNULL:!eNULL:!PSK:!SRP:!IDEA:!RC5";
    case 3: return "MEDIUM:HIGH:!IDEA:!RC5";
    default: return nullptr;
  }
}

void TlsReport(FtpConn& c, const char* text, int line) {
  const char* file = nullptr;
  const char* func = nullptr;
  const char* data = nullptr;
  int errLine = 0, flags = 0;
  unsigned long e;
  while ((e = ERR_get_error_all(&file, &errLine, &func, &data, &flags)) != 0) {
    const char* reason = ERR_reason_error_string(e);
    std::string block = "\r\n-- *** Error! *** --\r\n";
    block += Format("%s.  Reason reported: %s\r\n", text, reason ? reason : "Unknown");
    block += Format("File: %s\r\n", kModule);
    block += Format("Line %d\r\n", line);
    if (const char* lib = ERR_lib_error_string(e)) block += Format("Library: %s\r\n", lib);
    if (func && *func) block += Format("Function: %s\r\n", func);
    LogWrite(c, block);
  }
}

// ---- The layer's state ------------------------------------------------------------

struct TlsLayer::State {
  State(FtpConn& c, TlsOptions options);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // One socket under a TLS object: the BIO's view of it.
  struct Link {
    FtpConn* conn = nullptr;
    platform::Socket sock = platform::kInvalidSocket;
    platform::NetResult last;  // the last failed socket call
    bool eof = false;          // the peer closed the TCP stream
    int timeoutMs = 0;         // 0 = the connection's iReplyTimeout
  };

  bool Active(bool isControl) const;
  platform::NetResult Send(platform::Socket s, const void* data, size_t len, bool isControl);
  platform::NetResult Recv(platform::Socket s, void* buf, size_t len, int flags, bool isControl);
  bool HandshakeControl(platform::Socket s, const HostRecord& h, const std::string& peerName);
  bool DataProtected() const;
  bool HandshakeData(platform::Socket s);
  void EndData(platform::Socket s);
  void ShutdownAll();
  std::string Protocol() const;
  std::string Cipher() const;

  bool CreateContext();
  bool LoadClientCertificate();
  bool LoadTrustAnchors();
  void ApplyPeerChecks(SSL* ssl);
  BIO* NewBio(Link* link, platform::Socket s);
  void FreeData();
  // Drops every state without a byte on the wire (the socket may be gone).
  void Forget();
  platform::NetResult Failure(const Link& link, int fallback) const;

  static int BioWrite(BIO* b, const char* data, int len);
  static int BioRead(BIO* b, char* buf, int len);
  static long BioCtrl(BIO* b, int cmd, long num, void* ptr);
  static int VerifyCallback(int ok, X509_STORE_CTX* store);
  static int NewSessionCallback(SSL* ssl, SSL_SESSION* session);
  static int PasswordCallback(char* buf, int size, int rwflag, void* userdata);
  int Verify(int ok, X509_STORE_CTX* store);

  FtpConn& c_;
  TlsOptions options_;
  BIO_METHOD* bioMethod_ = nullptr;
  SSL_CTX* ctx_ = nullptr;
  SSL* control_ = nullptr;
  SSL* data_ = nullptr;
  SSL_SESSION* latest_ = nullptr;  // newest resumable session of this server
  Link controlLink_;
  Link dataLink_;
  // The session's settings, copied at the control handshake.
  uint32_t security_ = 0;
  std::string certFile_;
  std::string certPassword_;
  std::string peer_;
  std::string handshakeError_;  // set by a rejected certificate
  bool dataResumed_ = false;
};

TlsLayer::State::State(FtpConn& c, TlsOptions options) : c_(c), options_(std::move(options)) {
  bioMethod_ = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tarn net");
  if (bioMethod_) {
    BIO_meth_set_write(bioMethod_, BioWrite);
    BIO_meth_set_read(bioMethod_, BioRead);
    BIO_meth_set_ctrl(bioMethod_, BioCtrl);
  }
  controlLink_.conn = &c_;
  dataLink_.conn = &c_;
}

TlsLayer::State::~State() {
  Forget();
  if (bioMethod_) BIO_meth_free(bioMethod_);
}

// ---- The socket underneath ----------------------------------------------------

int TlsLayer::State::BioWrite(BIO* b, const char* data, int len) {
  auto* link = static_cast<Link*>(BIO_get_data(b));
  BIO_clear_retry_flags(b);
  if (len <= 0) return 0;
  const int limit = link->timeoutMs ? link->timeoutMs : link->conn->iReplyTimeout;
  NetResult r = link->conn->net->Send(link->sock, data, static_cast<size_t>(len), 0, limit);
  if (!r.ok()) {
    link->last = r;
    return -1;
  }
  return static_cast<int>(r.n);
}

int TlsLayer::State::BioRead(BIO* b, char* buf, int len) {
  auto* link = static_cast<Link*>(BIO_get_data(b));
  BIO_clear_retry_flags(b);
  if (len <= 0) return 0;
  const int limit = link->timeoutMs ? link->timeoutMs : link->conn->iReplyTimeout;
  NetResult r = link->conn->net->Recv(link->sock, buf, static_cast<size_t>(len), 0, limit);
  if (!r.ok()) {
    link->last = r;
    return -1;
  }
  if (r.n == 0) link->eof = true;
  return static_cast<int>(r.n);
}

long TlsLayer::State::BioCtrl(BIO* b, int cmd, long num, void* ptr) {
  (void)num;
  (void)ptr;
  auto* link = static_cast<Link*>(BIO_get_data(b));
  switch (cmd) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return link && link->eof ? 1 : 0;
    default: return 0;
  }
}

BIO* TlsLayer::State::NewBio(Link* link, Socket s) {
  if (!bioMethod_) return nullptr;
  BIO* b = BIO_new(bioMethod_);
  if (!b) return nullptr;
  link->sock = s;
  link->last = NetResult{};
  link->eof = false;
  link->timeoutMs = 0;
  BIO_set_data(b, link);
  BIO_set_init(b, 1);
  return b;
}

// A failed TLS call as a socket result: the socket's own error when one
// caused it, else `fallback` (the TLS stream itself is broken).
NetResult TlsLayer::State::Failure(const Link& link, int fallback) const {
  if (!link.last.ok()) return link.last;
  return NetResult{-1, fallback, false};
}

// ---- Context ------------------------------------------------------------------

bool TlsLayer::State::CreateContext() {
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (!ctx_) {
    TlsReport(c_, "Unable to generate SSL context (Control)", __LINE__);
    SetField(c_.cReply, "Unable to generate SSL context (Control)");
    return false;
  }
  const int strength = static_cast<int>((security_ & kSslStrengthMask) >> kSslStrengthShift);
  // Whatever the system's configuration says, every version from TLS 1.0
  // up is offered; the security level decides what is acceptable.
  SSL_CTX_set_min_proto_version(ctx_, TLS1_VERSION);
  int maxVersion = options_.maxVersion;
  bool listOk = SSL_CTX_set_cipher_list(ctx_, TlsCipherList(strength)) == 1;
  if (strength < 3) {
    // The weak strengths need suites the default security level forbids.
    SSL_CTX_set_security_level(ctx_, 0);
    if (strength == 0) {
      // TLS 1.3 has no unencrypted or unauthenticated suites.
      maxVersion = TLS1_2_VERSION;
    } else {
      listOk = listOk && SSL_CTX_set_ciphersuites(ctx_, kWeakTls13Suites) == 1;
    }
  }
  if (maxVersion) SSL_CTX_set_max_proto_version(ctx_, maxVersion);
  if (!listOk) {
    TlsReport(c_, "Unable to load cipher list", __LINE__);
    SetField(c_.cReply, "Unable to load cipher list");
    return false;
  }
  // Servers that end a data connection without close_notify are common; the
  // server's final reply on the protected control connection tells whether
  // the transfer was whole.
  SSL_CTX_set_options(ctx_, SSL_OP_ALL | SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_read_ahead(ctx_, 1);

  if (!certFile_.empty() && !LoadClientCertificate()) return false;
  if (!LoadTrustAnchors()) return false;
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, VerifyCallback);

  // Sessions are kept here, not in the library's cache: the newest one is
  // what the next data connection resumes.
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_cache_size(ctx_, 5);
  SSL_CTX_set_timeout(ctx_, 43200);
  SSL_CTX_sess_set_new_cb(ctx_, NewSessionCallback);
  return true;
}

// The client certificate and its private key, both from the session's PEM
// file; an encrypted key is opened with the session's password.
bool TlsLayer::State::LoadClientCertificate() {
  SSL_CTX_set_default_passwd_cb(ctx_, PasswordCallback);
  SSL_CTX_set_default_passwd_cb_userdata(ctx_, this);
  if (SSL_CTX_use_certificate_chain_file(ctx_, certFile_.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx_, certFile_.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(ctx_) != 1) {
    TlsReport(c_, "Unable to load specified certificate file", __LINE__);
    SetField(c_.cReply, "Unable to load specified certificate file");
    return false;
  }
  return true;
}

// "ca-cert.pem" from the current directory and from the program's, the
// program's directory as a hashed CA directory, and the system's store. A
// missing bundle is no error; one that is there but cannot be read is.
bool TlsLayer::State::LoadTrustAnchors() {
  const std::string programDir = platform::ProgramDirectory();
  std::vector<std::string> files;
  if (!options_.caFile.empty()) {
    if (FileExists(options_.caFile)) files.push_back(options_.caFile);
    if (options_.caFile[0] != '/') {
      std::string besideProgram = platform::PathJoin(programDir, options_.caFile);
      if (FileExists(besideProgram) && besideProgram != options_.caFile) files.push_back(besideProgram);
    }
  }
  const std::string dir = options_.caDir.empty() ? programDir : options_.caDir;
  bool ok = SSL_CTX_load_verify_dir(ctx_, dir.c_str()) == 1;
  for (const auto& f : files) ok = ok && SSL_CTX_load_verify_file(ctx_, f.c_str()) == 1;
  if (!ok) {
    TlsReport(c_, "Error setting CA verification file location", __LINE__);
    SetField(c_.cReply, "Error setting CA verification file location");
    return false;
  }
  if (options_.systemStore) {
    SSL_CTX_set_default_verify_paths(ctx_);
    ERR_clear_error();  // a machine without a store is not an error
  }
  return true;
}

// The certificate must name the host connected to: DNS names through the
// host-name check (and SNI), address literals through the address check.
void TlsLayer::State::ApplyPeerChecks(SSL* ssl) {
  if (peer_.empty()) return;
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (IsAddressLiteral(peer_)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, peer_.c_str());
  } else {
    X509_VERIFY_PARAM_set1_host(param, peer_.c_str(), 0);
    SSL_set_tlsext_host_name(ssl, peer_.c_str());
  }
}

// ---- Callbacks ------------------------------------------------------------------

int TlsLayer::State::PasswordCallback(char* buf, int size, int rwflag, void* userdata) {
  (void)rwflag;
  auto* self = static_cast<State*>(userdata);
  if (!self || size <= 0) return 0;
  int n = std::min(static_cast<int>(self->certPassword_.size()), size - 1);
  std::memcpy(buf, self->certPassword_.data(), static_cast<size_t>(n));
  buf[n] = '\0';
  return n;
}

int TlsLayer::State::NewSessionCallback(SSL* ssl, SSL_SESSION* session) {
  auto* self = static_cast<State*>(SSL_get_app_data(ssl));
  if (!self || !SSL_SESSION_is_resumable(session)) return 0;
  // A TLS 1.3 ticket may be good for one resumption only, so the newest one,
  // from whichever connection it came, is the one to use next.
  if (self->latest_) SSL_SESSION_free(self->latest_);
  self->latest_ = session;
  return 1;  // the reference is kept
}

int TlsLayer::State::VerifyCallback(int ok, X509_STORE_CTX* store) {
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* self = ssl ? static_cast<State*>(SSL_get_app_data(ssl)) : nullptr;
  if (!self) return ok;
  return self->Verify(ok, store);
}

// Called for every certificate of the chain with the library's verdict, and
// again for every failure it finds.
int TlsLayer::State::Verify(int ok, X509_STORE_CTX* store) {
  char subject[256] = "";
  char issuer[256] = "";
  if (X509* cert = X509_STORE_CTX_get_current_cert(store)) {
    X509_NAME_oneline(X509_get_subject_name(cert), subject, sizeof subject);
    X509_NAME_oneline(X509_get_issuer_name(cert), issuer, sizeof issuer);
  }
  LogWrite(c_, Format("current_cert subject:   %s\r\n", subject));
  LogWrite(c_, Format("current_cert issuer:    %s\r\n", issuer));
  if (ok) return 1;
  const CertRule& rule = RuleFor(X509_STORE_CTX_get_error(store));
  const bool accept = (security_ & rule.bit) != 0;
  LogWrite(c_, Format(rule.logLine, accept ? "Accepted" : "Rejected"));
  if (accept) return 1;
  handshakeError_ = rule.rejected;
  c_.ui->PostDisconnect();
  return 0;
}

// ---- Handshakes -------------------------------------------------------------------

bool TlsLayer::State::HandshakeControl(Socket s, const HostRecord& h, const std::string& peerName) {
  // A previous connection's state: its socket is gone, so nothing is sent.
  Forget();
  if (RAND_status() != 1) RAND_poll();
  handshakeError_.clear();
  security_ = h.uSecurity;
  certFile_ = h.cCertFile;
  certPassword_ = h.cCertPassword;
  peer_ = peerName;
  if (!CreateContext()) {
    Forget();
    return false;
  }
  control_ = SSL_new(ctx_);
  BIO* bio = control_ ? NewBio(&controlLink_, s) : nullptr;
  if (!bio) {
    TlsReport(c_, "Unable to generate SSL structure for control socket", __LINE__);
    SetField(c_.cReply, "Unable to generate SSL structure for control socket");
    Forget();
    return false;
  }
  SSL_set_bio(control_, bio, bio);
  SSL_set_app_data(control_, this);
  ApplyPeerChecks(control_);
  ERR_clear_error();
  if (SSL_connect(control_) == 1) {
    LogWrite(c_, Format("SSL connection established using %s\r\n\r\n",
                        SSL_CIPHER_get_name(SSL_get_current_cipher(control_))));
    return true;
  }
  TlsReport(c_, "Handshake failure", __LINE__);
  std::string text = handshakeError_.empty()
                         ? "Handshake failure.  Most likely no common ciphers found."
                         : handshakeError_;
  // The handshake broke off: there is no TLS stream to close politely.
  Forget();
  SetField(c_.cReply, text);
  return false;
}

bool TlsLayer::State::DataProtected() const {
  return control_ && (security_ & kSslUse) && ((security_ & kSslTypeMask) >> kSslTypeShift) == 0;
}

bool TlsLayer::State::HandshakeData(Socket s) {
  if (!DataProtected()) return true;
  FreeData();
  dataResumed_ = false;
  data_ = SSL_new(ctx_);
  BIO* bio = data_ ? NewBio(&dataLink_, s) : nullptr;
  if (!bio) {
    TlsReport(c_, "Unable to generate SSL structure for data socket", __LINE__);
    FreeData();
    return false;
  }
  SSL_set_bio(data_, bio, bio);
  SSL_set_app_data(data_, this);
  ApplyPeerChecks(data_);
  // The first data connection resumes the control connection's session,
  // later ones the newest ticket any connection brought. Servers that insist
  // on reuse (vsftpd's require_ssl_reuse) refuse anything else.
  SSL_SESSION* resume = latest_ ? latest_ : SSL_get_session(control_);
  if (resume && SSL_SESSION_is_resumable(resume)) SSL_set_session(data_, resume);
  ERR_clear_error();
  if (SSL_connect(data_) != 1) {
    c_.ui->MessageBox(msg::kDataHandshakeFailed, c_.app->cTitle, BoxButtons::kOk,
                      BoxIcon::kInformation);
    TlsReport(c_, "Handshake failure", __LINE__);
    FreeData();
    return false;
  }
  dataResumed_ = SSL_session_reused(data_) == 1;
  return true;
}

void TlsLayer::State::EndData(Socket s) {
  (void)s;
  if (!data_) return;
  if (!c_.bAbort) {
    dataLink_.timeoutMs = CloseWait(c_.iReplyTimeout);
    ERR_clear_error();
    if (SSL_shutdown(data_) == 0) {
      // close_notify is out; the end of the TCP stream follows it for
      // servers that wait for that instead. Then everything the server still
      // sends (its close_notify, TLS 1.3 tickets) is read, so that closing
      // the socket cannot turn into a reset that drops queued bytes.
      c_.net->Shutdown(dataLink_.sock, platform::ShutdownHow::kSend);
      char buf[16384];
      size_t drained = 0;
      while (drained < kDrainLimit) {
        int n = SSL_read(data_, buf, sizeof buf);
        if (n <= 0) break;
        drained += static_cast<size_t>(n);
      }
    }
  }
  FreeData();
}

void TlsLayer::State::FreeData() {
  if (data_) SSL_free(data_);
  data_ = nullptr;
  dataLink_.sock = kInvalidSocket;
  ERR_clear_error();  // nothing of the data connection may reach the control's calls
}

void TlsLayer::State::ShutdownAll() {
  FreeData();
  if (control_) {
    controlLink_.timeoutMs = CloseWait(c_.iReplyTimeout);
    ERR_clear_error();
    if (SSL_shutdown(control_) == 0) {
      c_.net->Shutdown(controlLink_.sock, platform::ShutdownHow::kSend);
      SSL_shutdown(control_);
    }
  }
  if (ctx_) SSL_CTX_flush_sessions(ctx_, static_cast<long>(time(nullptr)));
  Forget();
}

void TlsLayer::State::Forget() {
  if (latest_) SSL_SESSION_free(latest_);
  latest_ = nullptr;
  FreeData();
  if (control_) SSL_free(control_);
  control_ = nullptr;
  controlLink_.sock = kInvalidSocket;
  if (ctx_) SSL_CTX_free(ctx_);
  ctx_ = nullptr;
  ERR_clear_error();
  security_ = 0;
  certFile_.clear();
  if (!certPassword_.empty()) OPENSSL_cleanse(certPassword_.data(), certPassword_.size());
  certPassword_.clear();
  peer_.clear();
}

// ---- Channel I/O ------------------------------------------------------------------

bool TlsLayer::State::Active(bool isControl) const { return isControl ? control_ != nullptr : data_ != nullptr; }

NetResult TlsLayer::State::Send(Socket s, const void* data, size_t len, bool isControl) {
  (void)s;
  SSL* ssl = isControl ? control_ : data_;
  Link& link = isControl ? controlLink_ : dataLink_;
  if (!ssl || len == 0) return NetResult{};
  link.last = NetResult{};
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < len) {
    ERR_clear_error();
    int chunk = static_cast<int>(std::min<size_t>(len - sent, INT_MAX));
    int n = SSL_write(ssl, p + sent, chunk);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    int err = SSL_get_error(ssl, n);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) continue;
    if (n == 0) {
      TlsReport(c_, "SSL write error, connection was closed by host", __LINE__);
      return Failure(link, platform::WSAECONNRESET);
    }
    TlsReport(c_, "SSL write error", __LINE__);
    return Failure(link, platform::WSAECONNABORTED);
  }
  return NetResult{static_cast<long>(sent), 0, false};
}

NetResult TlsLayer::State::Recv(Socket s, void* buf, size_t len, int flags, bool isControl) {
  (void)s;
  SSL* ssl = isControl ? control_ : data_;
  Link& link = isControl ? controlLink_ : dataLink_;
  if (!ssl) return NetResult{};
  link.last = NetResult{};
  const bool peek = (flags & platform::kPeek) != 0;
  // The reply reader peeks a line's worth at a time; the buffered plaintext
  // stays for the receive that follows.
  const size_t most = peek ? std::min(len, kReplyPeek) : std::min<size_t>(len, INT_MAX);
  for (;;) {
    ERR_clear_error();
    int n = peek ? SSL_peek(ssl, buf, static_cast<int>(most)) : SSL_read(ssl, buf, static_cast<int>(most));
    if (n > 0) return NetResult{n, 0, false};
    int err = SSL_get_error(ssl, n);
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) continue;
    if (err == SSL_ERROR_ZERO_RETURN || (err == SSL_ERROR_SYSCALL && link.eof && link.last.ok())) {
      TlsReport(c_, "Connection was closed by host", __LINE__);
      return NetResult{};
    }
    ERR_clear_error();
    return Failure(link, platform::WSAECONNABORTED);
  }
}

std::string TlsLayer::State::Protocol() const { return control_ ? SSL_get_version(control_) : ""; }

std::string TlsLayer::State::Cipher() const {
  if (!control_) return "";
  const SSL_CIPHER* cipher = SSL_get_current_cipher(control_);
  return cipher ? SSL_CIPHER_get_name(cipher) : "";
}

// ---- The layer ----------------------------------------------------------------------

TlsLayer::TlsLayer(FtpConn& c, TlsOptions options)
    : s_(std::make_unique<State>(c, std::move(options))) {}
TlsLayer::~TlsLayer() = default;

bool TlsLayer::Active(bool isControl) const { return s_->Active(isControl); }
NetResult TlsLayer::Send(Socket s, const void* data, size_t len, bool isControl) {
  return s_->Send(s, data, len, isControl);
}
NetResult TlsLayer::Recv(Socket s, void* buf, size_t len, int flags, bool isControl) {
  return s_->Recv(s, buf, len, flags, isControl);
}
bool TlsLayer::HandshakeControl(Socket s, const HostRecord& h, const std::string& peerName) {
  return s_->HandshakeControl(s, h, peerName);
}
bool TlsLayer::DataProtected() const { return s_->DataProtected(); }
bool TlsLayer::HandshakeData(Socket s) { return s_->HandshakeData(s); }
void TlsLayer::EndData(Socket s) { s_->EndData(s); }
void TlsLayer::ShutdownAll() { s_->ShutdownAll(); }
std::string TlsLayer::Protocol() const { return s_->Protocol(); }
std::string TlsLayer::Cipher() const { return s_->Cipher(); }
bool TlsLayer::DataResumed() const { return s_->dataResumed_; }

}  // namespace tarn
