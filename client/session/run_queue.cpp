#include "client/session/run_queue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "client/engine/commands.h"
#include "client/engine/conn_worker.h"
#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/logon.h"
#include "client/engine/tls.h"
#include "client/listing/listing_thread.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace tarn {

namespace {

using platform::kInvalidSocket;
using platform::Socket;

constexpr const char* kTransferAborted = "\r\nTransfer aborted\r\n";

void Log(RunLog* log, const std::string& text) {
  if (log) log->Write(text);
}

// The engine's Ui during a run: the composition root's, with the byte
// loops' progress turned into the status dialog's kilobytes.
class RunEngineUi final : public Ui {
 public:
  RunEngineUi(Ui& inner, RunStatus& status) : inner_(inner), status_(status) {}

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override {
    {
      std::lock_guard<std::mutex> lock(mu_);
      lastBox_ = text;
    }
    return inner_.MessageBox(text, caption, buttons, icon);
  }
  // The text of the last box shown, for the log's reason of a failure.
  std::string LastBox() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lastBox_;
  }
  void ForgetLastBox() {
    std::lock_guard<std::mutex> lock(mu_);
    lastBox_.clear();
  }
  void SetStatusText(int part, const std::string& text) override { inner_.SetStatusText(part, text); }
  bool PromptLogon(LogonPrompt* prompt) override { return inner_.PromptLogon(prompt); }
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override {
    return inner_.PromptText(caption, label, masked, value);
  }
  bool PromptDialUpPassword(const std::string& entry, const std::string& userName,
                            std::string* password) override {
    return inner_.PromptDialUpPassword(entry, userName, password);
  }
  void SetConnState(ConnState state, const std::string& sessionName) override {
    inner_.SetConnState(state, sessionName);
  }
  void SetTransferMode(TransferMode mode) override { inner_.SetTransferMode(mode); }
  void SetWaitCursor(bool on) override { inner_.SetWaitCursor(on); }
  bool TransferWindowOpen() const override { return true; }
  void SetTransferFields(const TransferFields& fields) override {
    status_.SetKBytes(fields.shownBytes / 1024);
  }

 private:
  Ui& inner_;
  RunStatus& status_;
  mutable std::mutex mu_;
  std::string lastBox_;
};

// Closes whatever sockets are left, without a word to the server: after a
// stop the server may be the reason the run had to stop.
void CloseSockets(FtpConn& c) {
  for (auto* s : {&c.sockData, &c.sockListen, &c.sockControl}) {
    const Socket sock = s->load();
    if (sock != kInvalidSocket) s->store(FtpCloseSocket(c, sock));
  }
  if (c.tls) c.tls->ShutdownAll();
  c.app->bConnected = 0;
}

// QUIT and close, the end of a session.
void Disconnect(FtpConn& c) {
  const Socket sock = c.sockControl;
  if (sock != kInvalidSocket) {
    FtpQuit(c, sock);
    c.sockControl = FtpCloseSocket(c, sock);
  }
  CloseSockets(c);
}

// The name a transfer command gives the server. VM files are named within
// their directory ("MAINT.191(PROFILE.EXEC)", as the window lists and
// queues them): the server is taken to the directory first and given the
// file's own name, as the window's transfers do. Every other name goes as
// it stands.
std::string CommandName(FtpConn& c, Socket sock, const std::string& remote) {
  if (c.HostFamily != HOST_VM) return remote;
  const size_t open = remote.find('(');
  if (open == std::string::npos || open == 0 || remote.back() != ')') return remote;
  const std::string dir = remote.substr(0, open);
  if (FtpCommand(c, sock, "CWD %s", dir.c_str()) != kReplyComplete) return remote;
  return remote.substr(open + 1, remote.size() - open - 2);
}

}  // namespace

void RunControl::Stop() {
  std::lock_guard<std::mutex> lock(mu_);
  stop_ = true;
  if (worker_) worker_->Cancel();
  cv_.notify_all();
}

void RunControl::Attach(ConnWorker* worker) {
  std::lock_guard<std::mutex> lock(mu_);
  worker_ = worker;
  if (worker_ && stop_) worker_->Cancel();
}

std::string DefaultMailer() {
  const std::string dir = platform::ProgramDirectory();
  if (dir.empty() || dir == ".") return "";
  return platform::PathJoin(dir, "courel");
}

bool RunQueueSession(FtpConn& c, const QueueGroup& group, RunLog* log, RunStatus& status,
                     const std::atomic<bool>& stop) {
  Log(log, "\r\n\r\nSession: " + group.sessionName);
  bool ok = true;
  for (const QEntry& e : group.entries) {
    if (stop) {
      Log(log, kTransferAborted);
      ok = false;
      break;
    }
    c.app->settings.bPassive = (e.iFlags & kQueuePassive) ? 1 : 0;
    const char type = (e.iFlags & kQueueAscii) ? 'A' : 'I';
    c.bAbort = 0;
    c.llExpected = 0;
    c.resume = ResumeInfo{};
    status.SetKBytes(0);
    const Socket sock = c.sockControl;
    int rc;
    if (DirectionOf(e.iFlags) == QueueDirection::kDownload) {
      const std::string detail = std::string(e.cRemoteFile) + " to " + e.cLocalFile;
      status.SetStatus("Retrieving file...");
      status.SetDetail(detail);
      Log(log, " -- Retreiving file " + detail);
      const std::string name = CommandName(c, sock, e.cRemoteFile);
      // A download cut after the server's last byte (which the server
      // confirms with 226) then fails instead of replacing the local file;
      // a server without SIZE leaves the check to the 150 reply's count.
      if (const int64_t size = FtpHostFileSize(c, sock, name, type)) c.llAnnounced = size;
      rc = FtpGetFile(c, sock, "RETR " + name, e.cLocalFile, type);
    } else {
      const bool upload = DirectionOf(e.iFlags) == QueueDirection::kUpload;
      const std::string detail = std::string(e.cLocalFile) + " to " + e.cRemoteFile;
      status.SetStatus(upload ? "Uploading file..." : "Appending File...");
      status.SetDetail(detail);
      Log(log, " -- Uploading file " + detail);
      const std::string name = CommandName(c, sock, e.cRemoteFile);
      rc = FtpPutFile(c, sock, (upload ? "STOR " : "APPE ") + name, e.cLocalFile, type);
    }
    if (rc != kReplyComplete) {
      Log(log, " -- Transfer failed");
      ok = false;
      break;
    }
    Log(log, " -- Success");
  }
  // A stop leaves the connection in no state for a QUIT: the run closes it.
  if (!stop) Disconnect(c);
  return ok;
}

// One run: owns the connection, its worker and the log for the run's life.
class QueueRunner {
 public:
  QueueRunner(const RunCommandLine& line, RunEnvironment& env, RunControl& control)
      : line_(line),
        env_(env),
        control_(control),
        engineUi_(*env.ui, *env.status),
        scrambler_(static_cast<int64_t>(std::time(nullptr))),
        store_(*env.reg, engineUi_, scrambler_),
        tls_(conn_) {
    if (line.Logging()) log_ = std::make_unique<RunLog>(RunLogPath(line.scheduleFile), env.clock);
    conn_.app = env.app;
    conn_.ui = &engineUi_;
    conn_.net = &net_;
    conn_.iReplyTimeout = env.replyTimeoutMs;
  }

  int Run(const TransferQueue& queue) {
    int result = kRunSucceeded;
    if (!env_.loadNotice.empty()) Log(log_.get(), " -- " + env_.loadNotice);
    {
      ConnWorker worker(conn_);
      control_.Attach(&worker);
      bool stopped = false;
      for (const QueueGroup& group : queue.Groups()) {
        if (control_.StopRequested()) {
          stopped = true;
          break;
        }
        if (!RunSession(worker, group)) {
          // A step that a stop cut short counts as stopped, not failed.
          stopped = control_.StopRequested();
          result = kRunFailed;
          break;
        }
      }
      if (stopped) {
        // Said once, whether the stop came between entries or cut one.
        if (log_ && log_->LastMessage() != kTransferAborted) log_->Write(kTransferAborted);
        result = kRunStopped;
      }
      // Nothing is left open, whatever ended the run.
      Await(worker, [](FtpConn& c) {
        CloseSockets(c);
        return kReplyComplete;
      }, false);
      control_.Attach(nullptr);
    }
    env_.status->SetStatus("Not connected");
    EndOfRun();
    return result;
  }

 private:
  // Runs `op` on the worker and waits for it. A stop cancels it; if it has
  // not ended after kRunWindDownSeconds its sockets are shut, which ends
  // any wait. Returns the op's result (kReplyAborted when dropped).
  int Await(ConnWorker& worker, ConnWorker::Op op, bool stoppable = true) {
    struct Wait {
      bool done = false;
      int result = kReplyAborted;
    } wait;
    worker.Post(std::move(op), [this, &wait](int rc) {
      std::lock_guard<std::mutex> inner(control_.mu_);
      wait.done = true;
      wait.result = rc;
      control_.cv_.notify_all();
    });
    std::unique_lock<std::mutex> lock(control_.mu_);
    control_.cv_.wait(lock, [&] { return wait.done || (stoppable && control_.StopRequested()); });
    if (wait.done) return wait.result;

    lock.unlock();
    worker.CancelAll();
    lock.lock();
    for (int n = kRunWindDownSeconds; n >= 1 && !wait.done; --n) {
      char text[64];
      std::snprintf(text, sizeof text, "Aborting, please wait...   %d", n);
      lock.unlock();
      env_.status->SetStatus(text);
      lock.lock();
      control_.cv_.wait_for(lock, std::chrono::seconds(1), [&] { return wait.done; });
    }
    if (!wait.done) {
      // The op would not end by itself: shut its sockets under it. Closing
      // is left to the worker, which still holds them.
      for (auto* s : {&conn_.sockData, &conn_.sockListen, &conn_.sockControl}) {
        const Socket sock = s->load();
        if (sock != kInvalidSocket) net_.Shutdown(sock, platform::ShutdownHow::kBoth);
      }
      net_.CancelBlockingCall();
      control_.cv_.wait(lock, [&] { return wait.done; });
    }
    return wait.result;
  }

  // Connect, first listing, transfers, QUIT. False when the run must end.
  bool RunSession(ConnWorker& worker, const QueueGroup& group) {
    RunStatus& status = *env_.status;
    status.SetStatus("Connecting...");
    HostRecord host{};
    status.SetStatus("Connecting to session " + group.sessionName + "...");
    status.SetDetail("");
    if (!store_.LoadSession(group.sessionName, &host, env_.app)) {
      Log(log_.get(), "\r\n\r\nSession: " + group.sessionName);
      Log(log_.get(), " -- Connection failed: no stored session is named \"" + group.sessionName + "\"");
      return false;
    }
    conn_.tls = (host.uSecurity & kSslUse) ? &tls_ : nullptr;

    std::string reason;
    const int connected = Await(worker, [&](FtpConn& c) {
      c.cReply[0] = '\0';
      engineUi_.ForgetLastBox();
      ConnectContext ctx;
      ctx.conn = &c;
      ctx.store = &store_;
      ctx.replyTimeoutMs = env_.replyTimeoutMs;
      ctx.hooks.resetListing = [&] { listing::ResetListing(c, &listing_); };
      ctx.hooks.processDirectory = [&](const std::string& dir) {
        listing::PathStateFromConn(c, &listing_.path);
        return listing::ProcessCurrentDirectory(c, &listing_, dir);
      };
      // The session's first listing, as after a person's connect; the run
      // goes on when it is done, whatever it found.
      ctx.hooks.startListing = [&](const std::string& dir) {
        listing::RunListing(c, &listing_, listing::FirstListingRequest(listing_.path, dir),
                            listing::PartsFromTm(LocalTimeNow()));
      };
      if (RunConnect(ctx, &host)) return kReplyComplete;
      // What the person would have read in the connect's box.
      reason = engineUi_.LastBox();
      if (reason.empty()) reason = c.cReply;
      return kReplyPermanent;
    });
    if (connected != kReplyComplete) {
      Log(log_.get(), "\r\n\r\nSession: " + group.sessionName);
      if (control_.StopRequested()) return false;  // "Transfer aborted" follows
      while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
      Log(log_.get(), " -- Connection failed" + (reason.empty() ? std::string() : ": " + reason));
      return false;
    }

    const int transferred = Await(worker, [&](FtpConn& c) {
      return RunQueueSession(c, group, log_.get(), *env_.status, control_.stop_) ? kReplyComplete
                                                                                : kReplyPermanent;
    });
    return transferred == kReplyComplete;
  }

  // The log closed, the mailer started with the four values.
  void EndOfRun() {
    if (!log_) return;
    // A run that logged nothing still mails a report, empty as it is.
    log_->EnsureCreated();
    log_->Close();
    if (env_.mailer.empty()) return;
    std::string error;
    if (platform::StartProgram({env_.mailer, "-" + line_.smtpHost, "-" + line_.sender,
                                "-" + line_.receiver, "-" + log_->Path()},
                               platform::StartHint::kNormal, &error) < 0)
      env_.status->SetStatus("The report mailer could not be started: " + error);
  }

  const RunCommandLine& line_;
  RunEnvironment& env_;
  RunControl& control_;
  RunEngineUi engineUi_;
  PasswordScrambler scrambler_;
  SessionStore store_;
  platform::Net net_;
  FtpConn conn_;
  TlsLayer tls_;
  listing::ListingContext listing_;
  std::unique_ptr<RunLog> log_;
};

int RunScheduledQueue(const RunCommandLine& line, const TransferQueue& queue, RunEnvironment& env,
                      RunControl& control) {
  QueueRunner runner(line, env, control);
  return runner.Run(queue);
}

}  // namespace tarn
