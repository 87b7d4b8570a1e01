#include "mailer/smtp_session.h"

#include <cctype>
#include <utility>

#include "mailer/command_line.h"
#include "mailer/messages.h"
#include "mailer/report_file.h"

namespace mailer {

namespace {

// A line "250-text" announces more lines; "250 text", "250" or anything not
// shaped like a reply line ends the reply, so a confused server cannot keep
// the reader waiting.
bool IsContinuation(const std::string& line) {
  return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == '-';
}

// The code is the decimal number at the start of the first three characters
// ("250 OK" -> 250, "2x0" -> 2, "hello" -> 0).
int CodeOf(const std::string& line) {
  int code = 0;
  for (size_t i = 0; i < 3 && i < line.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) break;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

// Longest reply line kept whole; a longer one is taken as it stands, so an
// endless line cannot grow the buffer without bound.
constexpr size_t kMaxReplyLine = 4096;

}  // namespace

SmtpSession::SmtpSession(platform::Net& net, std::string host, std::string sender, int timeoutMs)
    : net_(net), host_(std::move(host)), sender_(std::move(sender)), timeoutMs_(timeoutMs) {}

SmtpSession::~SmtpSession() {
  if (socket_ != platform::kInvalidSocket) net_.Close(socket_);
}

bool SmtpSession::Fail(SmtpError error, std::string text) {
  error_ = error;
  errorText_ = std::move(text);
  return false;
}

bool SmtpSession::Connect() {
  std::string name;
  uint16_t port = 0;
  uint32_t addr = 0;
  if (!SplitHostPort(host_, &name, &port) || name.empty() || !net_.Resolve(name, &addr).ok())
    return Fail(SmtpError::kNoConnection, kNoConnection);
  int error = 0;
  socket_ = net_.OpenTcp(&error);
  if (socket_ == platform::kInvalidSocket) return Fail(SmtpError::kNoConnection, kNoConnection);
  if (!net_.Connect(socket_, platform::Ipv4{addr, port}, timeoutMs_).ok())
    return Fail(SmtpError::kNoConnection, kNoConnection);
  if (!Expect(220)) return false;
  return Command("HELO ", sender_, "\r\n", kMaxCommand, 250);
}

bool SmtpSession::MailFrom() {
  return Command("MAIL From:<", sender_, ">\r\n", kMaxAddressCommand, 250);
}

bool SmtpSession::RcptTo(const std::string& receiver) {
  recipients_.push_back(receiver);
  return Command("RCPT TO:<", receiver, ">\r\n", kMaxAddressCommand, 250);
}

bool SmtpSession::Data() { return Command("DATA\r\n", "", "", kMaxCommand, 354); }

bool SmtpSession::SendHeader(const std::string& subject) {
  const std::string to = recipients_.empty() ? std::string() : recipients_[0];
  return SendLine("From: " + sender_ + "\r\nTo: " + to + "\r\nSubject: " + subject +
                  "\r\nX-Priority: 3" + "\r\nX-MailPriority: Normal" +
                  "\r\nX-Mailer: Mervo ver. 1.02\r\n");
}

bool SmtpSession::SendLine(const std::string& text) {
  if (text.size() > kMaxLineLength)
    return Fail(SmtpError::kRefusedLocally, CommandTooLongText("Message line", kMaxLineLength));
  std::string wire;
  wire.reserve(text.size() + 3);
  if (!text.empty() && text[0] == '.') wire += '.';
  wire += text;
  wire += "\r\n";
  return SendAll(wire);
}

bool SmtpSession::EndData() { return Command(".\r\n", "", "", kMaxCommand, 250); }

bool SmtpSession::Quit() { return Command("QUIT \r\n", "", "", kMaxCommand, 221); }

bool SmtpSession::Command(const std::string& verb, const std::string& argument,
                          const std::string& tail, size_t limit, int expected) {
  if (argument.find_first_of("\r\n") != std::string::npos)
    return Fail(SmtpError::kRefusedLocally, LineBreakInValueText());
  const std::string line = verb + argument + tail;
  if (line.size() > limit) {
    const std::string word = verb.substr(0, verb.find_first_of(" \r"));
    return Fail(SmtpError::kRefusedLocally, CommandTooLongText(word, limit));
  }
  if (!SendAll(line)) return false;
  return Expect(expected);
}

bool SmtpSession::SendAll(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const platform::NetResult r =
        net_.Send(socket_, bytes.data() + sent, bytes.size() - sent, 0, timeoutMs_);
    if (!r.ok()) {
      if (r.timedOut) return Fail(SmtpError::kTimedOut, NoReplyText(timeoutMs_));
      return Fail(SmtpError::kConnectionLost, kConnectionClosed);
    }
    sent += static_cast<size_t>(r.n);
  }
  return true;
}

bool SmtpSession::Expect(int expected) {
  if (!ReadReply()) return false;
  if (reply_.code != expected)
    return Fail(SmtpError::kUnexpectedReply, SmtpReplyText(reply_.code, reply_.lines));
  return true;
}

bool SmtpSession::ReadReply() {
  reply_ = SmtpReply{};
  size_t bytes = 0;
  for (;;) {
    const size_t lf = pending_.find('\n');
    if (lf != std::string::npos || pending_.size() >= kMaxReplyLine) {
      const size_t take = lf != std::string::npos ? lf + 1 : pending_.size();
      std::string line = pending_.substr(0, lf != std::string::npos ? lf : take);
      pending_.erase(0, take);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      bytes += take;
      if (bytes > kMaxReplyBytes) return Fail(SmtpError::kReplyTooLong, kReplyTooLong);
      const bool more = IsContinuation(line);
      reply_.lines.push_back(std::move(line));
      if (!more) {
        reply_.code = CodeOf(reply_.lines.back());
        return true;
      }
      continue;
    }
    char buf[1000];
    const platform::NetResult r = net_.Recv(socket_, buf, sizeof buf, 0, timeoutMs_);
    if (r.ok() && r.n > 0) {
      pending_.append(buf, static_cast<size_t>(r.n));
      continue;
    }
    if (!r.ok() && r.timedOut) return Fail(SmtpError::kTimedOut, NoReplyText(timeoutMs_));
    if (r.ok() && !pending_.empty()) {
      // "221 Bye" and then the close, without CR LF: the text is the last line.
      pending_ += '\n';
      continue;
    }
    return Fail(SmtpError::kConnectionLost, kConnectionClosed);
  }
}

}  // namespace mailer
