// Every text courel shows to a person, chosen here and nowhere else.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mailer {

// Command-line values that are missing, first missing one only.
inline constexpr char kNoHost[] = "No SMTP host specified";
inline constexpr char kNoSender[] = "No email account specified for sender";
inline constexpr char kNoReceiver[] = "No receiving email account specified";
inline constexpr char kNoReport[] = "No report file specified";

// Connection to the SMTP host could not be made (unknown host, refused, no
// route, time limit).
inline constexpr char kNoConnection[] = "Could not establish connection to server";

// The server dropped the connection, or a send failed, before a reply came.
inline constexpr char kConnectionClosed[] = "Connection closed by server";

// The subject every report mail carries.
inline constexpr char kReportSubject[] = "Testing e-mail connection";

// Text for an SMTP reply code: the table's text for a known code, else
// "%d: Not a valid error number for SMTP protocol".
std::string SmtpReplyText(int code);

// Text for a refused step, given the reply's code and its lines as received
// ("451-a", "451 b"): the table's text for a known code; for a well-formed
// code the table lacks (451, 452, 252, ...) the code and the server's own
// words ("451: a\nb"), control characters shown as "?" and cut at 1,000
// bytes; otherwise (a malformed code, or no words) SmtpReplyText(code).
std::string SmtpReplyText(int code, const std::vector<std::string>& lines);

// A reply that ran past the reader's limit without its last line.
inline constexpr char kReplyTooLong[] =
    "Reply from server too long; the connection was given up";

// "No reply from server within 65 seconds": the time limit, rounded up to
// whole seconds.
std::string NoReplyText(int timeoutMs);

// The command-line text is longer than `limit` characters.
std::string CommandLineTooLongText(size_t limit);
// A command-line value holds a CR or LF.
std::string LineBreakInValueText();
// "host:port" with a port that is not a number from 1 to 65535.
std::string BadPortText(const std::string& host);

// A report line longer than SMTP allows (`limit` characters without CR LF).
std::string LineTooLongText(const std::string& path, size_t lineNumber, size_t limit);

// A command that would exceed its buffer; `what` is the command word.
std::string CommandTooLongText(const std::string& what, size_t limit);

// The standard file-error message for an errno value and the file's path,
// for example "report.log was not found." for ENOENT.
std::string FileErrorText(int err, const std::string& path);

}  // namespace mailer
