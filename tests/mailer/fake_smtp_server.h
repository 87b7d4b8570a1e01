// A one-connection SMTP server on 127.0.0.1, run by a thread, that answers
// with chosen bytes and records every byte the client sends.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "tests/support/refusing_port.h"

namespace mailer_test {

// Script entries with a meaning of their own.
// Close the connection: as a whole entry instead of answering, or at the
// end of an entry after sending the rest of it.
inline const std::string kCloseNow = "<close>";
inline const std::string kNoAnswer = "<none>";   // answer nothing; wait until the client goes
// Inside an entry: send what came before, pause briefly, then go on, so
// that a reply reaches the client in several segments.
inline const std::string kPause = "<pause>";

class FakeSmtpServer {
 public:
  // script[0] is sent when the client connects (the greeting); each later
  // entry answers one command line. After an answer starting "354" to
  // "DATA", the message lines are taken without answers up to ".", which
  // gets the next entry. When the script runs out, lines go unanswered.
  explicit FakeSmtpServer(std::vector<std::string> script);
  ~FakeSmtpServer();

  uint16_t port() const { return port_; }
  // "127.0.0.1:PORT", as courel's host value.
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  // Every byte the client sent. Waits (up to 10 s) for the client to close.
  std::string Received();
  // True when a client connected at all.
  bool Connected();

 private:
  void Serve();
  bool Answer(platform::Socket s, const std::string& entry);

  platform::Net net_;
  std::vector<std::string> script_;
  platform::Socket listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  std::thread thread_;
  std::string received_;
  bool connected_ = false;
};

// A loopback port that refuses connections (tests/support).
using tarn::testing::RefusingPort;

}  // namespace mailer_test
