// One SMTP conversation over a platform::Net socket: the greeting and HELO,
// MAIL, RCPT, DATA, the message lines, the end of data and QUIT.
//
//   S: 220 mail.example.org ready          C: HELO me@example.org
//   S: 250 mail.example.org                C: MAIL From:<me@example.org>
//   S: 250 OK                              C: RCPT TO:<you@example.org>
//   S: 250 OK                              C: DATA
//   S: 354 go ahead                        C: From: me@example.org ... .
//   S: 250 OK                              C: QUIT
//   S: 221 Bye
//
// Each step waits for one reply, read to its last line ("250-a", "250-b",
// "250 c" is one reply with code 250), and succeeds only on its exact
// expected code. On failure ErrorText() holds the text to show: the reply
// table's text, or the server's own words for a code the table lacks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/net.h"

namespace mailer {

// Time limit of each wait (connect, send, every receive), as the watchdog
// of the client's blocking calls.
inline constexpr int kReplyTimeoutMs = 65000;

// Longest command, CR LF included: 512 for MAIL and RCPT, 1,000 otherwise.
inline constexpr size_t kMaxAddressCommand = 512;
inline constexpr size_t kMaxCommand = 1000;

// A reply that runs past this many bytes without its last line is not a
// reply: the peer is sending garbage, so the connection is given up (the
// client's FTP reader draws the same line).
inline constexpr size_t kMaxReplyBytes = 8u << 20;

// One server reply.
struct SmtpReply {
  int code = 0;                     // from the last line; 0 when none arrived
  std::vector<std::string> lines;   // every line, without CR LF
};

// What made the last step fail.
enum class SmtpError {
  kNone,
  kNoConnection,     // host unknown, refused or unreachable
  kUnexpectedReply,  // a reply other than the expected code
  kConnectionLost,   // closed, reset or failed send before the reply
  kTimedOut,         // no reply within the time limit
  kRefusedLocally,   // the command or line is too long or holds CR/LF
  kReplyTooLong,     // a reply ran past kMaxReplyBytes without its last line
};

// Holds one connection; the destructor closes it. Used by one thread.
class SmtpSession {
 public:
  // `host` is "name" or "name:port" (port 25 when absent); `sender` goes into
  // HELO, MAIL and the From header. `net` must outlive the session.
  SmtpSession(platform::Net& net, std::string host, std::string sender,
              int timeoutMs = kReplyTimeoutMs);
  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Connects, awaits the 220 greeting, sends "HELO %s\r\n" with the sender
  // and awaits 250.
  bool Connect();
  // "MAIL From:<%s>\r\n" with the sender; 250.
  bool MailFrom();
  // Adds `receiver` to the recipients, then "RCPT TO:<%s>\r\n"; 250.
  bool RcptTo(const std::string& receiver);
  // "DATA\r\n"; 354.
  bool Data();
  // The header block through SendLine (whose CR LF ends the headers):
  // From, To (first recipient), Subject, X-Priority, X-MailPriority, X-Mailer.
  bool SendHeader(const std::string& subject);
  // `text` and CR LF, with a leading "." doubled so that a line of "." does
  // not end the message. Refuses text over 998 characters.
  bool SendLine(const std::string& text);
  // ".\r\n"; 250.
  bool EndData();
  // "QUIT \r\n"; 221.
  bool Quit();

  const std::string& ErrorText() const { return errorText_; }
  SmtpError Error() const { return error_; }
  const SmtpReply& LastReply() const { return reply_; }
  const std::vector<std::string>& Recipients() const { return recipients_; }

 private:
  // Sends "<verb><argument><tail>" and awaits `expected`. `limit` bounds
  // the whole line.
  bool Command(const std::string& verb, const std::string& argument, const std::string& tail,
               size_t limit, int expected);
  bool SendAll(const std::string& bytes);
  // Reads one reply into reply_; false when the connection ends or the
  // time limit passes first, or the reply outgrows kMaxReplyBytes.
  bool ReadReply();
  bool Expect(int expected);
  bool Fail(SmtpError error, std::string text);

  platform::Net& net_;
  std::string host_;
  std::string sender_;
  int timeoutMs_;
  platform::Socket socket_ = platform::kInvalidSocket;
  std::vector<std::string> recipients_;  // every RCPT address; [0] is the To header
  std::string pending_;                  // received bytes not yet part of a reply
  SmtpReply reply_;
  SmtpError error_ = SmtpError::kNone;
  std::string errorText_;
};

}  // namespace mailer
