// Every text the engine shows to a person (boxes, their captions, the
// status bar) or leaves as the reason of a failure (FtpConn::lastError),
// chosen here and nowhere else. The connection log's own lines stay where
// they are written.
#pragma once

#include <string>

namespace tarn::msg {

// ---- Status bar, operation part ----------------------------------------------
inline constexpr char kStatusIdle[] = " ";
inline constexpr char kStatusConnecting[] = "Connecting...";
inline constexpr char kStatusNotConnected[] = "Not Connected";
inline constexpr char kStatusLoggingInAtFirewall[] = "Logging in at firewall...";
inline constexpr char kStatusSendingUserName[] = "Sending UserName...";
inline constexpr char kStatusSendingSite[] = "Sending 'SITE' command...";
inline constexpr char kStatusDeterminingHostType[] = "Determining Host Type...";
inline constexpr char kStatusStartingTls[] = "Starting TLS Authorization...";
inline constexpr char kStatusStartingSsl[] = "Starting SSL Authorization...";
inline constexpr char kStatusInitializingSsl[] = "Initializing SSL structures...";
inline constexpr char kStatusNegotiatingProtection[] = "Negotiating Protection Level...";

// "Changing host directory to /pub".
inline std::string ChangingDirectoryStatus(const std::string& dir) {
  return "Changing host directory to " + dir;
}

// Status bar, connection part: "Connected to FTP host Home", cut to the
// part's 63 characters.
inline std::string ConnectedStatus(const std::string& sessionName) {
  std::string text = "Connected to FTP host " + sessionName;
  if (text.size() > 63) text.resize(63);
  return text;
}

// ---- Connecting --------------------------------------------------------------
inline constexpr char kConnectErrorCaption[] = "Error connecting to host";
inline constexpr char kNoFirewallHost[] = "FireWall Host name not specified. Can not Connect.";

// "Connection to ftp.example.org failed": the control connection could not
// be made; the socket's error follows it after ": " in the box.
inline std::string ConnectionFailedText(const std::string& host) {
  return "Connection to " + host + " failed";
}
inline constexpr char kConnectionFailedPrefix[] = "Connection to ";

// The session's own directory cannot be entered and the connect must not
// go on elsewhere (a script named it).
inline std::string StartDirectoryRefusedText(const std::string& dir, const std::string& why) {
  return "Can't change to the start directory " + dir + ": " + why;
}
inline constexpr char kStartDirectoryFallback[] =
    "Tarn will connect to the default host directory path instead.";
inline constexpr char kStartDirectoryFallbackCaption[] = "Change In Startup Directory";

inline constexpr char kVseListingsMissing[] =
    "This site does not have support for VSE style directory listings!\n\n"
    "Switching to use UNIX style file listings";
inline constexpr char kVseListingsMissingCaption[] = "VSE type listings not supported";

// ---- TLS -------------------------------------------------------------------
inline constexpr char kAuthRefused[] =
    "The server did not understand our AUTH command.\r\n"
    "Possibly the server does not understand the SSL protocol.";
inline constexpr char kPbszRefused[] =
    "Error setting protection buffer (PBSZ).\r\n"
    "Possibly the server does not understand the SSL protocol.";
inline constexpr char kClearDataRefused[] =
    "Server does not support clear data channel communication.\r\n"
    "Try using encrypted data channel.";
inline constexpr char kProtectedDataRefused[] =
    "Server does not support encrypted data channel communication.\r\n"
    "Try using clear data channel.";
inline constexpr char kDataHandshakeFailed[] = "Handshake failure on data socket";
inline constexpr char kDataTlsFailed[] = "Error negotiating SSL data connection";

// ---- Commands ----------------------------------------------------------------
inline constexpr char kCreateFolderError[] = "Error creating folder";
inline constexpr char kDeleteFolderError[] = "Error deleting folder";
inline constexpr char kRenameError[] = "Error renaming file";
inline constexpr char kQuoteError[] = "Error Sending QUOTE command";

// ---- Why a command failed (FtpConn::lastError) -------------------------------
inline constexpr char kCommandInProgress[] = "Command already in progress";
inline constexpr char kLineBreakInCommand[] = "Command holds a line break, not sent";
inline constexpr char kNotConnected[] = "Not connected";
inline constexpr char kCommandNotSent[] = "Command not sent";
inline constexpr char kConnectionClosed[] = "Connection closed by server";
inline constexpr char kNoReply[] = "No reply from server";

// "Command too long (300 characters), not sent".
inline std::string CommandTooLongText(size_t length) {
  return "Command too long (" + std::to_string(length) + " characters), not sent";
}

// The host name resolves to no address.
inline std::string NoHostEntryText(const std::string& host) {
  return "Can't get \"" + host + "\" host entry";
}

// ---- Transfers -----------------------------------------------------------------
// The box of a failed local file operation:
// "Error in WriteFile.\r\nProbable cause: No space left on device".
inline std::string SystemErrorText(const std::string& operation, const std::string& cause) {
  return "Error in " + operation + ".\r\nProbable cause: " + cause;
}

// Status bar while a listing arrives without the transfer window.
inline std::string ListingBytesStatus(long long bytes) {
  return "Retrieving Directory List .. " + std::to_string(bytes) + " bytes received";
}

inline constexpr char kAbortedByUser[] = "Transfer aborted by User";

// A download that ended short of the size the server announced.
inline std::string DownloadIncompleteText(long long have, long long announced) {
  return "Transfer incomplete: " + std::to_string(have) + " of " + std::to_string(announced) +
         " bytes received";
}

// An upload whose file shrank while it was sent.
inline std::string UploadIncompleteText(long long sent, long long size, const std::string& path) {
  return "Upload incomplete: " + std::to_string(sent) + " of " + std::to_string(size) + " bytes of " +
         path + " sent";
}

// A partial file that holds more than the host file: nothing to resume.
inline std::string ResumeTooLargeText(const std::string& path, long long size, long long hostSize) {
  return path + " is larger (" + std::to_string(size) + " bytes) than the host file (" +
         std::to_string(hostSize) + " bytes) and cannot be resumed";
}

// The question when a session connects with an interrupted download.
inline std::string ResumeDownloadQuestion(const std::string& path) {
  return "Would you like to resume downloading " + path;
}
inline constexpr char kResumeCaption[] = "Resume";

inline std::string DeleteFailedText(const std::string& path, const std::string& why) {
  return "Failed to delete file '" + path + "' - " + why;
}

// ---- Uploads -------------------------------------------------------------------
inline constexpr char kAccountCaption[] = "Account Password";
inline constexpr char kAccountLabel[] = "Enter Write Access Password:";
inline constexpr char kAccountEmpty[] = "Please type a valid password";

}  // namespace tarn::msg
