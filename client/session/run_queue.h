// The unattended run of a schedule file: each session of the queue in
// turn is connected (log-on and first listing, as a person's connect),
// its entries transferred, and the session closed; every step goes into the
// run log with a stamp; the first failure ends the run; at the end the
// report mailer is started with the log. The window (a minimised main
// window with the "Tarn Queue Status" dialog) and the headless form
// (run_headless.h) both drive a run through RunScheduledQueue.
//
//   \r\n-->  03/07/2024, 02:00:01\r\n\r\nSession: nightly
//   \r\n-->  03/07/2024, 02:00:01 -- Retreiving file /pub/a.txt to /srv/a.txt
//   \r\n-->  03/07/2024, 02:00:02 -- Success
//   \r\n-->  03/07/2024, 02:00:02 -- Uploading file /srv/b.txt to /in/b.txt
//   \r\n-->  03/07/2024, 02:00:03 -- Transfer failed
//
// Every engine operation runs on the connection's worker thread; the
// thread that calls RunScheduledQueue only waits for them, so the window
// calls it from a thread of its own, never from the GUI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "client/engine/ftp_conn.h"
#include "client/session/queue.h"
#include "client/session/run_command_line.h"
#include "client/session/run_log.h"
#include "platform/registry.h"

namespace tarn {

class ConnWorker;

// Exit statuses of a run: 0 only when every entry of every session was
// transferred.
enum RunExit : int {
  kRunSucceeded = 0,
  kRunFailed = 1,          // a transfer or a connection failed
  kRunUnreadableFile = 2,  // the schedule file cannot be read
  kRunStopped = 3,         // stopped by the scheduler, Cancel or a signal
};

// Seconds a stopped run gives the operation in progress to end by itself
// before its sockets are shut.
inline constexpr int kRunWindDownSeconds = 5;

// The lines of the "Tarn Queue Status" dialog ("Connecting to session
// nightly...", "Retrieving file...", "/pub/a.txt to /srv/a.txt", "Aborting,
// please wait...   3") and its "%ld KBytes transferred" progress.
// Headless, the lines go to standard output. Called from the run's thread
// and the worker thread.
class RunStatus {
 public:
  virtual ~RunStatus() = default;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetDetail(const std::string& text) = 0;
  // Kilobytes of the running transfer so far.
  virtual void SetKBytes(int64_t kbytes) { (void)kbytes; }
};

// Stops a run from any thread: the scheduler's stop message, the dialog's
// Cancel button, a signal. A stop ends the operation in progress (its
// waits woken at once), gives it kRunWindDownSeconds to end, then shuts its
// sockets; the run then closes the log, starts the mailer and returns
// kRunStopped.
class RunControl {
 public:
  void Stop();
  bool StopRequested() const { return stop_.load(); }

 private:
  friend class QueueRunner;
  // The worker whose operation a stop cancels; null between runs.
  void Attach(ConnWorker* worker);

  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable cv_;  // a stop, or an operation's end
  ConnWorker* worker_ = nullptr;
};

// What a run needs from its composition root; all of it outlives the run.
struct RunEnvironment {
  platform::Registry* reg = nullptr;  // the stored sessions
  AppState* app = nullptr;            // settings; the run sets PASV per entry
  Ui* ui = nullptr;                   // the engine's boxes (answered for an absent person)
  RunStatus* status = nullptr;
  RunClock clock = LocalTimeNow;      // the log's stamps
  // The report mailer: courel beside the running program. Empty: no mail.
  std::string mailer;
  // Said first in the log when not empty (a schedule file with a cut last
  // record).
  std::string loadNotice;
  int replyTimeoutMs = kDefaultReplyTimeoutMs;
};

// The mailer beside the running program: "<program directory>/courel", or
// "" when the program's own path is not known.
std::string DefaultMailer();

// RunQueueSession: the entries of `group` over the connected session in
// `c`, in order, then QUIT. Runs on the connection's worker thread. Before
// each entry a stop (`stop` set) logs "\r\nTransfer aborted\r\n" and ends
// the session. Remote names go to the server as they stand, except on a
// VM host, where "DIR(NAME.TYPE)" is a CWD to DIR and then NAME.TYPE. Each entry sets PASV from bit 4 and the type from bit 3 ("A",
// else "I"); a binary download asks the host file's size first (SIZE), so
// that one cut short fails. A transfer whose final reply is not a 2xx
// completion logs " -- Transfer failed" and ends the session, else
// " -- Success". `log` may be null (no logging). True when every entry
// succeeded.
bool RunQueueSession(FtpConn& c, const QueueGroup& group, RunLog* log, RunStatus& status,
                     const std::atomic<bool>& stop);

// RunScheduledQueue: the run of `queue` (loaded from line.scheduleFile).
// With line.Logging() the log is RunLogPath(line.scheduleFile) and the
// mailer gets the four values at the end; otherwise there is neither log
// nor mail. A session whose connection fails logs " -- Connection failed: "
// and the reason, and ends the run as a failed transfer does. Returns a
// RunExit. Blocks until the run is over; never call it from a GUI thread.
int RunScheduledQueue(const RunCommandLine& line, const TransferQueue& queue, RunEnvironment& env,
                      RunControl& control);

}  // namespace tarn
