// The command interpreter of tarn-cli: one command (a word vector) at a
// time over the engine, the session store and the registry. Results go to
// `out`, failures to `err` with the system's own text.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/cli/console_ui.h"
#include "client/engine/conn_worker.h"
#include "client/engine/ftp_conn.h"
#include "client/engine/keepalive.h"
#include "client/engine/tls.h"
#include "client/listing/listing_thread.h"
#include "client/listing/type_names.h"
#include "client/session/app_state.h"
#include "client/session/dialup_ops.h"
#include "client/session/host_record.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "platform/net.h"
#include "platform/registry.h"

namespace tarn::cli {

// The options of tarn-cli's command line. The console reads the ones that
// shape a command (verbose to cipherStrength); main() the ones that shape
// the run.
struct ConsoleOptions {
  bool verbose = false;
  int replyTimeoutMs = kDefaultReplyTimeoutMs;
  int passive = -1;   // 1 --passive, 0 --active, -1 the PASV setting (main sets it)
  char type = 0;      // 'A', 'I', 'X' (auto); 0 = the session's default
  bool resume = false;
  // TLS settings of the command line. For a TLS session they replace the
  // stored values they name; the rest stay as stored.
  bool tlsPartial = false;      // --tls-partial: PROT C, data in clear
  uint32_t tlsAccept = 0;       // --accept-*: kSslExpired, kSslSelf, kSslFuture, kSslInvalid
  std::string certFile;         // --cert FILE (password from TARN_CERT_PASSWORD)
  int cipherStrength = -1;      // --cipher-strength 0..3; -1 = the session's

  bool keepGoing = false;       // --keep-going: every command runs after a failure
  std::string logFile;          // --log FILE instead of ./Tarn.log
  std::string scriptFile;       // -f FILE; "-" standard input
  bool progress = true;         // --no-progress
  bool pinnedLocale = false;    // --locale C
  std::vector<std::vector<std::string>> commands;  // from the arguments
};

class Console {
 public:
  // Everything here belongs to the composition root and outlives the
  // console.
  Console(platform::Registry& reg, AppState& app, ConsoleUi& ui, std::FILE* out, std::FILE* err,
          const ConsoleOptions& options);
  ~Console();

  // Runs one command; true when it succeeded. Commands that talk to the
  // server run whole as one op of the connection's worker while the caller
  // waits, so the keep-alive never comes between their commands.
  bool Run(const std::vector<std::string>& words);

  // Logs off when still connected.
  void Shutdown();

  // Cancel of a running command (Ctrl-C): the worker's Cancel, so the loops
  // see bAbort and a blocked wait ends at once. Any thread may call it; a
  // command that starts afterwards runs normally.
  void Abort();

  bool Connected() const { return conn_.sockControl != platform::kInvalidSocket; }

  static std::string Help();

 private:
  bool Open(const std::vector<std::string>& args);
  // The TLS options of the command line applied to host_; false (with the
  // message written) when a value does not fit.
  bool ApplyTlsOptions();
  bool Close();
  bool Pwd();
  bool Quote(const std::vector<std::string>& args);
  bool Reg(const std::vector<std::string>& args);
  bool Sessions();
  // File transfers and remote file commands (transfer_commands.cpp).
  bool List(const std::vector<std::string>& args);
  bool Cd(const std::vector<std::string>& args);
  bool Get(const std::vector<std::string>& args);
  bool Put(const std::vector<std::string>& args, bool append);
  bool Simple(const std::string& cmd, const std::vector<std::string>& args);
  // On a server whose SYST said MVS: a typed path beginning with "/" goes
  // to UNIX paths, one in single quotes back to dataset names.
  void SwitchPathStyleFor(const std::string& typed);
  // The transfer type of a file: --type, else the session's default mode.
  char TypeFor(const std::string& name, char forced) const;
  // Reads "--resume", "--type X", "--passive"/"--active" out of `args`.
  bool TakeFlags(std::vector<std::string>* args, char* type, bool* resume);
  void SaveResume(const std::string& local, const std::string& remote, int64_t size, bool done, char type);
  bool NeedConnection();
  // Writes `text` (made safe for the terminal) to err; returns false.
  bool Fail(const std::string& text);
  // Runs `body` as one op on the worker and waits for it.
  bool OnWorker(const std::function<bool()>& body);
  // The resume state stored for the session in use, as the engine keeps it
  // in memory; false for quick connections and when there is none.
  bool StoredResume(ResumeInfo* info, bool* done);
  // The partial file `get --resume` continues for `remote` into `local`:
  // the partial file kept beside `local`, the stored one of this download,
  // else `local` itself. "" when there is none.
  std::string PartialToResume(const std::string& remote, const std::string& local);

  platform::Registry& reg_;
  AppState& app_;
  ConsoleUi& ui_;
  std::FILE* out_;
  std::FILE* err_;
  ConsoleOptions options_;
  platform::Net net_;
  KeepAliveTimer keepAlive_;
  PasswordScrambler scrambler_;
  SessionStore store_;
  std::unique_ptr<platform::DialUp> dialService_;
  DialUpOps dialUp_;
  FtpConn conn_;
  TlsLayer tls_;  // conn_.tls for sessions with SSLUse
  HostRecord host_;
  listing::MimeTypeNames typeNames_;
  listing::ListingContext listing_;
  // Last, so that it goes first: no op outlives what it uses.
  std::unique_ptr<ConnWorker> worker_;
};

// Text from the server or the file system made safe for a terminal: NUL
// as "\0", other control bytes (C1 controls in UTF-8 too) as "\xHH", so
// that no escape sequence reaches the terminal. Line feeds and tabs stay
// when `keepLines`.
std::string TerminalSafe(std::string_view text, bool keepLines = false);

// Splits a script line into words: blanks separate, double quotes group,
// a backslash escapes the next character; '#' at a word's start comments
// out the rest of the line.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace tarn::cli
