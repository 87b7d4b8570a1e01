// A scripted FTP server on loopback for protocol tests. The script is a list
// of steps run in order on one accepted control connection: expect an exact
// command line, send chosen bytes (whole, or split over segments), stay
// silent until the test releases it, close. Every line the client sends is
// recorded, so a test can compare the whole transcript. It listens on a
// port the system chose and keeps that socket, so runs never collide.
//
//   FakeFtpServer srv;
//   srv.Send("220 ready\r\n").Expect("USER anonymous").Send("331 pass\r\n");
//   srv.Start();
//   ... connect to 127.0.0.1:srv.Port() ...
//   EXPECT_TRUE(srv.Finish());   // script ran to its end, no mismatch
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn::testing {

class FakeFtpServer {
 public:
  FakeFtpServer();
  ~FakeFtpServer();
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  uint16_t Port() const { return port_; }

  // Sends bytes in one write.
  FakeFtpServer& Send(const std::string& bytes);
  // Sends bytes as segments of the given sizes (the rest as one more), with
  // `delayMs` between them so that they arrive as separate segments (the
  // pause shapes the input; no test's outcome waits on it).
  FakeFtpServer& SendSplit(const std::string& bytes, const std::vector<size_t>& sizes,
                           int delayMs);
  // Reads one line (up to LF, CR LF removed) and checks it is `line`.
  FakeFtpServer& Expect(const std::string& line);
  // Reads one line and checks it starts with `prefix`.
  FakeFtpServer& ExpectPrefix(const std::string& prefix);
  // Expect(line) followed by Send(reply).
  FakeFtpServer& On(const std::string& line, const std::string& reply);
  // Stays silent, reading nothing, until the test calls Release() or the
  // client closes the connection: a server that never answers, for as long
  // as the test needs (at most the step limit of 10 s). The bytes the
  // client sends meanwhile wait for the next step.
  FakeFtpServer& Hold();
  // Ends the Hold step that runs or comes next.
  void Release();
  // Closes the control connection.
  FakeFtpServer& Close();
  // Keeps reading (and recording) until the client closes.
  FakeFtpServer& DrainUntilClosed();

  // ---- Data connections ----
  // Expects "PASV", listens on a new loopback port and sends `reply` with
  // "{hp}" replaced by "127,0,0,1,p1,p2".
  FakeFtpServer& Pasv(const std::string& reply = "227 Entering Passive Mode ({hp}).\r\n");
  // Expects a "PORT h1,h2,h3,h4,p1,p2" line, keeps its address, sends `reply`.
  FakeFtpServer& ExpectPort(const std::string& reply = "200 PORT command successful.\r\n");
  // Opens the data connection: accepts on the PASV listener, or connects to
  // the PORT address.
  FakeFtpServer& DataOpen();
  // Sends bytes on the data connection, in chunks of `chunk` bytes (all at
  // once when 0) with `delayMs` between them.
  FakeFtpServer& DataSend(const std::string& bytes, size_t chunk = 0, int delayMs = 0);
  // Reads the data connection until the client closes it.
  FakeFtpServer& DataRecv();
  FakeFtpServer& DataClose();
  // Waits until the client closes the data connection (as vsftpd notices a
  // cancel only when its send fails); a failure when it stays open.
  FakeFtpServer& DataAwaitClose();
  // Active mode: connects to the PORT address from the loopback address
  // `source` (say 127.0.0.2) and expects the client to refuse that
  // connection by closing it; a failure when it is kept.
  FakeFtpServer& ForeignDataConnection(const std::string& source);
  // Active mode: a connection to the PORT port at `address` must fail,
  // since the client listens only on its control connection's address.
  FakeFtpServer& ExpectNoListenerAt(const std::string& address);
  // Bytes read by DataRecv.
  std::string ReceivedData() const;

  // Starts serving the script on a thread (one connection).
  void Start();
  // Waits (up to `timeoutMs`) for the script to end, closes the connection,
  // and returns true when every step matched.
  bool Finish(int timeoutMs = 10000);

  // Any byte on the control connection while a data step runs is a
  // failure: no command (a keep-alive NOOP, say) may come between a
  // transfer command and its reply. Off by default, for aborts send ABOR.
  void SetQuietDuringData(bool on) { quietDuringData_ = on; }

  std::vector<std::string> Received() const;  // lines from the client
  // Waits up to `timeoutMs` until at least `count` lines came from the
  // client; true when they did. Lets a test act while the script stalls.
  bool WaitReceived(size_t count, int timeoutMs = 10000) const;
  std::vector<std::string> Failures() const;  // mismatches, in order

 private:
  struct Step {
    enum Kind {
      kSend, kSplit, kExpect, kExpectPrefix, kHold, kClose, kDrain,
      kPasv, kPort, kDataOpen, kDataSend, kDataRecv, kDataClose,
      kDataAwaitClose, kForeignData, kNoListener
    } kind;
    std::string text;
    std::vector<size_t> sizes;
    int ms = 0;
  };

  void Run();
  bool ReadLine(std::string* line);
  void Fail(const std::string& why);
  void SendAll(const std::string& bytes);

  void RunDataStep(const Step& step);
  // The Hold step: until Release(), the client's close, stop_ or the limit.
  void HoldSilent();
  // With quietDuringData_: fails when the client sent on the control
  // connection.
  void CheckControlQuiet(const char* during);
  // Connects to the PORT address from `source` (0: any); -1 on failure.
  int ConnectToPort(uint32_t address, uint32_t source);

  int listenFd_ = -1;
  int dataListenFd_ = -1;
  int dataFd_ = -1;
  uint32_t portAddr_ = 0;
  uint16_t portPort_ = 0;
  std::string dataIn_;
  int connFd_ = -1;
  uint16_t port_ = 0;
  std::vector<Step> steps_;
  std::string pending_;          // received bytes not yet split into lines
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mu_;
  std::condition_variable done_cv_;
  mutable std::condition_variable received_cv_;
  bool done_ = false;
  int wakeFd_ = -1;  // eventfd: Release() and the end of the script wake a Hold
  std::vector<std::string> received_;
  bool quietDuringData_ = false;
  std::vector<std::string> failures_;
};

}  // namespace tarn::testing
