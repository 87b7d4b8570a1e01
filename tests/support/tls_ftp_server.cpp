#include "tests/support/tls_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace tarn::testing {

namespace {

// Longest any single wait of the server may last: a client that never does
// what the script expects fails the test instead of hanging it.
constexpr int kStepTimeoutMs = 10000;

int Listener(uint16_t* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  listen(fd, 4);
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *port = ntohs(sa.sin_port);
  return fd;
}

// Accepts one connection within the step time limit; the socket blocks,
// with the same limit on every read and write.
int AcceptOne(int listenFd, const std::atomic<bool>& stop) {
  for (int waited = 0; !stop && waited < kStepTimeoutMs; waited += 50) {
    pollfd p{listenFd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return -1;
    timeval tv{kStepTimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
  }
  return -1;
}

bool SendRaw(int fd, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
    off += static_cast<size_t>(n);
  }
  return true;
}

bool SendTls(SSL* ssl, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    int n = SSL_write(ssl, bytes.data() + off, static_cast<int>(bytes.size() - off));
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

TlsFtpServer::TlsFtpServer(TlsServerConfig config) : config_(std::move(config)) {
  // The library writes to the sockets itself: a client that has closed must
  // end a write with an error, not end the test program.
  signal(SIGPIPE, SIG_IGN);
  ctx_ = SSL_CTX_new(TLS_server_method());
  SSL_CTX_set_min_proto_version(ctx_, TLS1_VERSION);
  if (config_.maxVersion) SSL_CTX_set_max_proto_version(ctx_, config_.maxVersion);
  if (config_.securityLevel >= 0) SSL_CTX_set_security_level(ctx_, config_.securityLevel);
  if (!config_.cipherList.empty()) SSL_CTX_set_cipher_list(ctx_, config_.cipherList.c_str());
  // Session resumption as vsftpd does it: a server-side cache and tickets.
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_SERVER);
  static const unsigned char kSessionContext[] = "tarn-test";
  SSL_CTX_set_session_id_context(ctx_, kSessionContext, sizeof kSessionContext - 1);

  BIO* b = BIO_new_mem_buf(config_.chainPem.data(), static_cast<int>(config_.chainPem.size()));
  if (X509* leaf = PEM_read_bio_X509(b, nullptr, nullptr, nullptr)) {
    SSL_CTX_use_certificate(ctx_, leaf);
    X509_free(leaf);
    while (X509* extra = PEM_read_bio_X509(b, nullptr, nullptr, nullptr))
      SSL_CTX_add_extra_chain_cert(ctx_, extra);  // the context owns it now
  }
  BIO_free(b);
  b = BIO_new_mem_buf(config_.keyPem.data(), static_cast<int>(config_.keyPem.size()));
  if (EVP_PKEY* key = PEM_read_bio_PrivateKey(b, nullptr, nullptr, nullptr)) {
    SSL_CTX_use_PrivateKey(ctx_, key);
    EVP_PKEY_free(key);
  }
  BIO_free(b);
  if (!config_.clientCaPem.empty()) {
    X509_STORE* store = SSL_CTX_get_cert_store(ctx_);
    b = BIO_new_mem_buf(config_.clientCaPem.data(), static_cast<int>(config_.clientCaPem.size()));
    while (X509* ca = PEM_read_bio_X509(b, nullptr, nullptr, nullptr)) {
      X509_STORE_add_cert(store, ca);
      X509_free(ca);
    }
    BIO_free(b);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
  }
  ERR_clear_error();
  listenFd_ = Listener(&port_);
}

TlsFtpServer::~TlsFtpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) close(listenFd_);
  SSL_CTX_free(ctx_);
}

TlsFtpServer& TlsFtpServer::Send(const std::string& bytes) {
  steps_.push_back({Step::kSend, bytes, {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::SendPieces(const std::vector<std::string>& pieces) {
  steps_.push_back({Step::kPieces, "", pieces});
  return *this;
}
TlsFtpServer& TlsFtpServer::Expect(const std::string& line) {
  steps_.push_back({Step::kExpect, line, {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::On(const std::string& line, const std::string& reply) {
  return Expect(line).Send(reply);
}
TlsFtpServer& TlsFtpServer::StartTls() {
  steps_.push_back({Step::kStartTls, "", {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::DrainUntilClosed() {
  steps_.push_back({Step::kDrain, "", {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::Pasv() {
  steps_.push_back({Step::kPasv, "", {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::DataAccept(bool tls) {
  steps_.push_back({Step::kDataAccept, "", {}, tls});
  return *this;
}
TlsFtpServer& TlsFtpServer::DataSend(const std::string& bytes) {
  steps_.push_back({Step::kDataSend, bytes, {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::DataRecv() {
  steps_.push_back({Step::kDataRecv, "", {}});
  return *this;
}
TlsFtpServer& TlsFtpServer::DataClose() {
  steps_.push_back({Step::kDataClose, "", {}});
  return *this;
}

void TlsFtpServer::Start() { thread_ = std::thread([this] { Run(); }); }

bool TlsFtpServer::Finish(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  bool ended = done_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done_; });
  if (!ended) failures_.push_back("script did not finish in time");
  lock.unlock();
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> relock(mu_);
  return failures_.empty();
}

std::vector<std::string> TlsFtpServer::Received() const {
  std::lock_guard<std::mutex> lock(mu_);
  return received_;
}
std::vector<std::string> TlsFtpServer::Failures() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failures_;
}
bool TlsFtpServer::HandshakeFailed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return handshakeFailed_;
}
std::string TlsFtpServer::ReceivedData() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dataIn_;
}
std::vector<bool> TlsFtpServer::DataResumed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dataResumed_;
}
bool TlsFtpServer::DataCloseNotify() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dataCloseNotify_;
}
std::string TlsFtpServer::ClientSubject() const {
  std::lock_guard<std::mutex> lock(mu_);
  return clientSubject_;
}
std::string TlsFtpServer::Version() const {
  std::lock_guard<std::mutex> lock(mu_);
  return version_;
}
std::string TlsFtpServer::CipherName() const {
  std::lock_guard<std::mutex> lock(mu_);
  return cipher_;
}

void TlsFtpServer::Fail(const std::string& why) {
  std::lock_guard<std::mutex> lock(mu_);
  failures_.push_back(why);
}

bool TlsFtpServer::SendControl(const std::string& bytes) {
  if (connFd_ < 0) return false;
  return conn_ ? SendTls(conn_, bytes) : SendRaw(connFd_, bytes);
}

bool TlsFtpServer::ReadLine(std::string* line) {
  for (;;) {
    auto lf = pending_.find('\n');
    if (lf != std::string::npos) {
      *line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      std::lock_guard<std::mutex> lock(mu_);
      received_.push_back(*line);
      return true;
    }
    if (stop_ || connFd_ < 0) return false;
    char buf[4096];
    int n = conn_ ? SSL_read(conn_, buf, sizeof buf) : static_cast<int>(recv(connFd_, buf, sizeof buf, 0));
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
  }
}

void TlsFtpServer::CloseData() {
  if (data_) {
    SSL_shutdown(data_);
    SSL_free(data_);
    data_ = nullptr;
  }
  if (dataFd_ >= 0) close(dataFd_);
  dataFd_ = -1;
}

bool TlsFtpServer::RunStep(const Step& step) {
  std::string line;
  switch (step.kind) {
    case Step::kSend:
      if (!SendControl(step.text)) Fail("send failed");
      return true;
    case Step::kPieces:
      for (const auto& piece : step.pieces) {
        if (!SendControl(piece)) Fail("send failed");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return true;
    case Step::kExpect:
      if (!ReadLine(&line))
        Fail("expected \"" + step.text + "\", got nothing");
      else if (line != step.text)
        Fail("expected \"" + step.text + "\", got \"" + line + "\"");
      return true;
    case Step::kStartTls: {
      conn_ = SSL_new(ctx_);
      SSL_set_fd(conn_, connFd_);
      if (SSL_accept(conn_) != 1) {
        std::lock_guard<std::mutex> lock(mu_);
        handshakeFailed_ = true;
        SSL_free(conn_);
        conn_ = nullptr;
        ERR_clear_error();
        return false;
      }
      std::lock_guard<std::mutex> lock(mu_);
      version_ = SSL_get_version(conn_);
      cipher_ = SSL_CIPHER_get_name(SSL_get_current_cipher(conn_));
      if (X509* peer = SSL_get1_peer_certificate(conn_)) {
        char name[256];
        X509_NAME_oneline(X509_get_subject_name(peer), name, sizeof name);
        clientSubject_ = name;
        X509_free(peer);
      }
      return true;
    }
    case Step::kDrain:
      while (ReadLine(&line)) {
      }
      return true;
    case Step::kPasv: {
      if (!ReadLine(&line) || line != "PASV") {
        Fail("expected \"PASV\", got \"" + line + "\"");
        return true;
      }
      uint16_t port = 0;
      dataListenFd_ = Listener(&port);
      SendControl("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                  std::to_string(port % 256) + ").\r\n");
      return true;
    }
    case Step::kDataAccept:
      dataFd_ = AcceptOne(dataListenFd_, stop_);
      close(dataListenFd_);
      dataListenFd_ = -1;
      if (dataFd_ < 0) {
        Fail("no data connection");
        return true;
      }
      if (step.flag) {
        data_ = SSL_new(ctx_);
        SSL_set_fd(data_, dataFd_);
        if (SSL_accept(data_) != 1) {
          Fail("data handshake failed");
          ERR_clear_error();
          SSL_free(data_);
          data_ = nullptr;
          return true;
        }
        std::lock_guard<std::mutex> lock(mu_);
        dataResumed_.push_back(SSL_session_reused(data_) == 1);
      }
      return true;
    case Step::kDataSend:
      // A client that closes the data connection early is aborting: the
      // rest of the bytes are simply not sent.
      if (dataFd_ >= 0 && !(data_ ? SendTls(data_, step.text) : SendRaw(dataFd_, step.text)))
        ERR_clear_error();
      return true;
    case Step::kDataRecv: {
      char buf[65536];
      for (;;) {
        int n = data_ ? SSL_read(data_, buf, sizeof buf)
                      : static_cast<int>(recv(dataFd_, buf, sizeof buf, 0));
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(mu_);
        dataIn_.append(buf, static_cast<size_t>(n));
      }
      std::lock_guard<std::mutex> lock(mu_);
      dataCloseNotify_ = data_ && (SSL_get_shutdown(data_) & SSL_RECEIVED_SHUTDOWN);
      ERR_clear_error();
      return true;
    }
    case Step::kDataClose:
      CloseData();
      return true;
  }
  return true;
}

void TlsFtpServer::Run() {
  connFd_ = AcceptOne(listenFd_, stop_);
  if (connFd_ < 0) {
    Fail("no connection");
  } else {
    for (const Step& step : steps_) {
      if (stop_ || !RunStep(step)) break;
    }
  }
  CloseData();
  if (dataListenFd_ >= 0) close(dataListenFd_);
  dataListenFd_ = -1;
  if (conn_) {
    SSL_shutdown(conn_);
    SSL_free(conn_);
    conn_ = nullptr;
  }
  if (connFd_ >= 0) close(connFd_);
  connFd_ = -1;
  ERR_clear_error();
  std::lock_guard<std::mutex> lock(mu_);
  done_ = true;
  done_cv_.notify_all();
}

}  // namespace tarn::testing
