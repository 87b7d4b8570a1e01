// A scripted FTP server that speaks TLS, for the tests of the TLS layer. Like
// FakeFtpServer it runs a list of steps on one control connection and
// records every line the client sends; StartTls() turns the control
// connection into a TLS server end after "234", and data connections can be
// protected, resumed and closed the way real servers do it.
//
//   TlsFtpServer srv(config);
//   srv.Send("220 ready\r\n").On("AUTH TLS", "234 go\r\n").StartTls()
//      .On("PBSZ 0", "200 ok\r\n");
//   srv.Start();
//   ...
//   EXPECT_TRUE(srv.Finish());
//
// The end of the script closes the control connection (with close_notify
// when it is protected).
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn::testing {

struct TlsServerConfig {
  std::string chainPem;      // the server's certificate chain, leaf first
  std::string keyPem;        // its private key
  int maxVersion = 0;        // highest version accepted; 0 = TLS 1.3
  std::string cipherList;    // TLS 1.2 suites; "" = the library's default
  int securityLevel = -1;    // -1 = the library's default
  std::string clientCaPem;   // when set, a client certificate signed by it is required
};

class TlsFtpServer {
 public:
  explicit TlsFtpServer(TlsServerConfig config);
  ~TlsFtpServer();
  TlsFtpServer(const TlsFtpServer&) = delete;
  TlsFtpServer& operator=(const TlsFtpServer&) = delete;

  uint16_t Port() const { return port_; }

  // ---- Control connection (protected once StartTls has run) ----
  TlsFtpServer& Send(const std::string& bytes);
  // Sends each piece as a TLS record of its own (or a TCP segment before
  // StartTls), with a short pause between them.
  TlsFtpServer& SendPieces(const std::vector<std::string>& pieces);
  TlsFtpServer& Expect(const std::string& line);
  TlsFtpServer& On(const std::string& line, const std::string& reply);
  // The server end of the handshake. A failed handshake is recorded (see
  // HandshakeFailed) and ends the script.
  TlsFtpServer& StartTls();
  // Reads (and records) lines until the client closes.
  TlsFtpServer& DrainUntilClosed();

  // ---- Data connections ----
  // Expects "PASV" and answers 227 with a new listener.
  TlsFtpServer& Pasv();
  // Accepts the data connection; with `tls` runs the handshake (recording
  // whether it resumed a session). A failed handshake is a script failure.
  TlsFtpServer& DataAccept(bool tls);
  TlsFtpServer& DataSend(const std::string& bytes);
  // Reads the data connection to its end: close_notify, or the TCP end.
  TlsFtpServer& DataRecv();
  // Closes the data connection, with close_notify when it is protected.
  TlsFtpServer& DataClose();

  void Start();
  // Waits (up to `timeoutMs`) for the script to end; true when every step
  // matched.
  bool Finish(int timeoutMs = 15000);

  std::vector<std::string> Received() const;
  std::vector<std::string> Failures() const;
  bool HandshakeFailed() const;
  std::string ReceivedData() const;
  // One entry per protected data connection: did it resume a session?
  std::vector<bool> DataResumed() const;
  // Did the last DataRecv end with the client's close_notify?
  bool DataCloseNotify() const;
  // Subject of the client's certificate ("/CN=..."), "" when it sent none.
  std::string ClientSubject() const;
  // Protocol and cipher of the control connection.
  std::string Version() const;
  std::string CipherName() const;

 private:
  struct Step {
    enum Kind { kSend, kPieces, kExpect, kStartTls, kDrain, kPasv, kDataAccept, kDataSend, kDataRecv, kDataClose } kind;
    std::string text;
    std::vector<std::string> pieces;
    bool flag = false;
  };

  void Run();
  bool RunStep(const Step& step);
  bool ReadLine(std::string* line);
  bool SendControl(const std::string& bytes);
  void Fail(const std::string& why);
  void CloseData();

  TlsServerConfig config_;
  SSL_CTX* ctx_ = nullptr;
  int listenFd_ = -1;
  int connFd_ = -1;
  SSL* conn_ = nullptr;
  int dataListenFd_ = -1;
  int dataFd_ = -1;
  SSL* data_ = nullptr;
  uint16_t port_ = 0;
  std::vector<Step> steps_;
  std::string pending_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mu_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::vector<std::string> received_;
  std::vector<std::string> failures_;
  bool handshakeFailed_ = false;
  std::string dataIn_;
  std::vector<bool> dataResumed_;
  bool dataCloseNotify_ = false;
  std::string clientSubject_;
  std::string version_;
  std::string cipher_;
};

}  // namespace tarn::testing
