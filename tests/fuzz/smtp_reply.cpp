// The SMTP reply reader under fuzz: the input is everything the server
// says, sent at once on a loopback connection that the server then closes
// for sending (it goes on taking the client's commands). The whole
// conversation runs, each step reading its reply from what is left, until
// a step fails or QUIT is answered.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "mailer/smtp_session.h"
#include "platform/net.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

constexpr int kWaitMs = 20000;
constexpr size_t kMaxServerBytes = 256 * 1024;

// The listening socket, opened once per process and kept: every input
// connects to it.
int Listener(uint16_t* port) {
  static uint16_t bound = 0;
  static const int fd = [] {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
      return -1;
    bound = ntohs(sa.sin_port);
    return s;
  }();
  *port = bound;
  return fd;
}

// The server's side of one conversation: says everything, closes its
// sending side, then reads what the client sends until the client closes.
void Serve(int listener, std::string said) {
  pollfd p{listener, POLLIN, 0};
  if (poll(&p, 1, kWaitMs) != 1) return;
  const int s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (s < 0) return;
  size_t sent = 0;
  while (sent < said.size()) {
    const ssize_t n = send(s, said.data() + sent, said.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(s, SHUT_WR);
  char sink[4096];
  for (;;) {
    pollfd q{s, POLLIN, 0};
    if (poll(&q, 1, kWaitMs) != 1 || recv(s, sink, sizeof sink, 0) <= 0) break;
  }
  close(s);
}

// `failedBefore`: an earlier step failed, whose error the session keeps.
void CheckStep(const mailer::SmtpSession& session, bool ok, int expected, bool* failedBefore) {
  // A line is cut once 4,096 bytes wait without a line end; one receive
  // (at most 1,000 bytes) may have come on top.
  for (const std::string& line : session.LastReply().lines) FUZZ_CHECK(line.size() < 4096 + 1000);
  if (ok) {
    if (!*failedBefore) FUZZ_CHECK(session.Error() == mailer::SmtpError::kNone);
    if (expected) FUZZ_CHECK(session.LastReply().code == expected);
  } else {
    *failedBefore = true;
    FUZZ_CHECK(session.Error() != mailer::SmtpError::kNone);
    FUZZ_CHECK(!session.ErrorText().empty());
    // The server never stalls here: it has said all it will say.
    FUZZ_CHECK(session.Error() != mailer::SmtpError::kTimedOut);
  }
}

}  // namespace

TARN_FUZZ_TARGET(smtp_reply) {
  if (size > kMaxServerBytes) return 0;
  uint16_t port = 0;
  const int listener = Listener(&port);
  FUZZ_CHECK(listener >= 0);
  std::thread server(Serve, listener, std::string(reinterpret_cast<const char*>(data), size));
  {
    platform::Net net;
    mailer::SmtpSession session(net, "127.0.0.1:" + std::to_string(port), "me@example.org",
                                kWaitMs);
    bool failed = false;
    bool ok = session.Connect();
    CheckStep(session, ok, 250, &failed);
    if (ok) CheckStep(session, ok = session.MailFrom(), 250, &failed);
    if (ok) {
      // The receiver's refusal does not stop a run: go on to DATA.
      CheckStep(session, session.RcptTo("you@example.org"), 250, &failed);
      CheckStep(session, ok = session.Data(), 354, &failed);
    }
    if (ok) CheckStep(session, ok = session.SendHeader("Testing e-mail connection"), 0, &failed);
    if (ok) CheckStep(session, ok = session.SendLine(".hidden dot"), 0, &failed);
    if (ok) CheckStep(session, ok = session.EndData(), 250, &failed);
    if (ok) CheckStep(session, session.Quit(), 221, &failed);
  }
  server.join();
  return 0;
}
