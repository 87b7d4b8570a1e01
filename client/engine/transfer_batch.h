// TransferBatch: the transfer window's model and its worker logic, without
// a window. One batch is one opening of the window: its rows (download,
// upload or append), the edits a person makes before Start, the checks
// before the transfers (ConfirmReplace, ConfirmResume), the transfers
// themselves (BatchTransferThread, ResumeTransferThread) with folder rows
// expanded into their files as they are reached, the cancel question that
// holds the byte loops between two blocks, and CancelWorker.
//
//   GUI thread                               worker thread (ConnWorker)
//   ----------                               -------------
//   batch.AddDownload(...) / AddUpload(...)
//   edits: ToggleRow, ToggleAll, RenameTo, DeleteRow
//   Start: worker.Post(batch.StartOp(env)) -> ConfirmReplace / ConfirmResume
//                                            (questions through Ui, blocking)
//                                            listener.ConfirmEnded(6|7|2|1195)
//                                            BatchTransferThread: per row
//                                            listener.RowStarted / RowChanged /
//                                            RowInserted (folder contents),
//                                            Ui::SetTransferFields (<= ~20/s)
//   Cancel: batch.AskCancel(ui, worker)      holds at the next block boundary
//                                            listener.BatchEnded(outcome)
//
// Rows and edits belong to the GUI thread while no op of the batch runs
// (before Start, and after ConfirmEnded with a result other than 6 or 1195,
// or after BatchEnded); while it runs they belong to the worker, and the
// window keeps the copies the listener hands it. Pause, resume, abort and
// the read-only state queries may come from any thread.
//
// Nothing here links Qt; the window (and tarn-cli's get -r / put -r) drive
// it, and tests drive it with a scripted Ui.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/engine/conn_worker.h"
#include "client/engine/ftp_conn.h"
#include "client/listing/file_time.h"
#include "client/session/ui.h"

namespace tarn {

class SessionStore;
struct ResumeState;

namespace listing {
struct ListingContext;
class HostListing;
struct RemoteEntry;
}  // namespace listing

// ---- Values of the window --------------------------------------------------

// The direction of a window: 2 download, 3 append, anything else upload.
enum class TransferDirection : int { kUpload = 1, kDownload = 2, kAppend = 3 };

// Results of the checks before a batch, and of the window.
constexpr int kConfirmCancel = 2;      // the person cancelled: Start is enabled again
constexpr int kConfirmGo = 6;          // transfer the rows not skipped
constexpr int kConfirmAllSkipped = 7;  // every row declined: the button reads "&Close"
constexpr int kConfirmResume = 1195;   // continue the pending partial download
constexpr int kDialogQueued = 1199;    // TransferDialog: the rows went to the queue

// Widths of the columns "From", "To", "Size" in pixels; "From" gives up the
// width of a vertical scroll bar from kScrollRows rows on.
constexpr int kColumnWidths[3] = {203, 170, 60};
constexpr int kScrollRows = 12;
// The mode icon of a row is clicked where x is in [kModeIconLeft, kModeIconRight].
constexpr int kModeIconLeft = 30;
constexpr int kModeIconRight = 48;
// The stop command's wait for the worker (CancelWorker).
constexpr int kCancelWorkerWaitMs = 5000;
// The window closes itself this long after the last file when
// CloseXferDialog is set; the closing frames of the animation are this far apart.
constexpr int kCloseDelayMs = 500;
constexpr int kAnimationFrameMs = 300;
// Shortest time between two progress updates reaching the window.
constexpr int kFieldsIntervalMs = 50;

// The system's texts of the window.
inline constexpr const char* kCancelQuestion =
    "The file transfer has not completed.\r\n\r\nCancel the file transfer?";
inline constexpr const char* kCancelCaption = "Warning";
inline constexpr const char* kTransferErrorCaption = "Error transferring file";
inline constexpr const char* kReplaceCaption = "Confirm File Replace";
inline constexpr const char* kResumeOptionsCaption = "Resume Options";
inline constexpr const char* kResumeOptionsText =
    "This is a partial download, what would you like to do?";
inline constexpr const char* kAutoStartSuffix = " [Auto Start]";
inline constexpr const char* kCloseCheckText = "Close this dialog box when download complete";
inline constexpr const char* kEstimatedLabel = "Est. Time Remaining:";

// Tooltips.
inline constexpr const char* kTipTypePicture =
    "Click the icon to toggle transfer mode for ALL items in the list";
inline constexpr const char* kTipStart = "Start the transfer";
inline constexpr const char* kTipTypeText = "Type of file transfer (ASCII or Binary)";
inline constexpr const char* kTipCancel = "Cancels the transfer";
inline constexpr const char* kTipClose = "Close the file transfer dialog";
inline constexpr const char* kTipList =
    "Toggle transfer mode for individual items by clicking on mode icon in listview";
inline constexpr const char* kTipRate = "Displays the average transfer rate for the current file";
inline constexpr const char* kTipQueue = "Add the selected files to the\r\nqueue for later transfer";

// The title: the short name and " File Download", " Append File" or
// " File Upload", with " [Auto Start]" when AutoStart is set.
std::string TransferWindowTitle(const std::string& shortName, TransferDirection dir, bool autoStart);

// The "Type:" field: "ASCII" when the mode menu says ASCII; "Binary" when it
// says Binary or the host is a plain one (HostFamily 0); otherwise "ASCII".
// *binaryPicture tells which picture goes beside it (may be null).
std::string TypeFieldText(TransferMode mode, int32_t hostFamily, bool* binaryPicture);

// The type letter of a file: 'A' under ASCII, 'I' under Binary, and under
// Auto Detect 'A' when its extension is one of `asciiExtensions`.
char TransferTypeFor(TransferMode mode, const std::string& name, const std::string& asciiExtensions);

// Whole kilobytes rounded up: 0 -> 0, 1 -> 1, 1024 -> 1, 1025 -> 2.
int64_t KbRoundedUp(int64_t bytes);

// The progress bar of a row: 0..KB with step 1 below 65536 KB, else
// 0..65535 (the byte loops then report 65535ths of the size).
int ProgressBarMax(int64_t sizeKb);

// ---- Rows ------------------------------------------------------------------

enum class RowState : uint8_t {
  kWaiting,  // not reached yet
  kRunning,  // transferring now
  kDone,     // arrived
  kFailed,   // the transfer failed (message says why)
  kSkipped,  // replacing was declined
  kRefused,  // never tried: its name or kind cannot be transferred (message says why)
};

// The row icons: the type and the state. Failed, skipped and refused rows
// share the failed icon.
enum class RowIcon : uint8_t {
  kAsciiWaiting, kAsciiDone, kAsciiFailed, kBinaryWaiting, kBinaryDone, kBinaryFailed,
};

struct TransferRow {
  std::string from;        // column "From": host path (download) or local path (upload, append)
  std::string to;          // column "To": local path (download) or host name (upload, append)
  int64_t sizeKb = 0;      // column "Size" in KB rounded up
  int64_t bytes = -1;      // exact size when known, else -1
  char type = 'I';         // 'A' or 'I'
  bool skip = false;       // the person declined replacing
  bool isFolder = false;   // a folder: expanded into its files when reached
  bool typeForced = false; // folder rows: `type` was chosen for every file below
  RowState state = RowState::kWaiting;
  std::string message;     // failed and refused rows: why, for the person
  listing::FileTime modified = 0;  // the source's date as listed or stat'ed; 0 unknown
  int parent = -1;         // the folder row this file came from; -1 for the window's own rows
  bool targetExists = false;  // uploads: the host already has an entry of the target's name
  // Downloads: the first 17 characters of the listing the row was found in,
  // which a pending resume is recognised by.
  std::string listingStart;
  // Host side: the MVS kind and LRECL of a listed container, so that its
  // listing goes to the right parser.
  int32_t mvsKind = 0;
  uint32_t recordLength = 0;

  // "12KB", "0KB" for an empty file, "" for folders and unknown sizes.
  std::string SizeText(const platform::Locale& locale) const;
  RowIcon Icon() const;
};

// Where a batch reaches the other side, and what it reads of the
// connection. Set by the window when the batch is made.
struct BatchHost {
  int32_t hostFamily = HOST_GENERIC;
  int32_t serverType = SERVER_UNIX;
  std::string rootString = "/";
  // Download: the local folder the files go into. Upload and append: the
  // host directory they go into (for append the target row names the file).
  std::string destination;
  // MVS: the kind of `destination` (a PDS, kinds 4 to 6, takes members).
  int32_t destinationKind = 0;
};

// What a batch reports while it runs. Every call comes on the worker
// thread, in order; the window queues them to its own thread.
class BatchListener {
 public:
  virtual ~BatchListener() = default;
  // The check before the transfers ended with kConfirmGo, kConfirmResume,
  // kConfirmAllSkipped or kConfirmCancel. For the last two nothing else
  // follows.
  virtual void ConfirmEnded(int result) { (void)result; }
  // A row is reached: select it and scroll it into view, the received field
  // reads "0 KB", the total field `totalText`, the bar runs 0..barMax, the
  // time label `timeLabel`.
  virtual void RowStarted(size_t index, const TransferRow& row, const std::string& totalText,
                          int barMax, const std::string& timeLabel) {
    (void)index; (void)row; (void)totalText; (void)barMax; (void)timeLabel;
  }
  // A row changed state (its icon and message).
  virtual void RowChanged(size_t index, const TransferRow& row) { (void)index; (void)row; }
  // A file of a folder row was reached and became row `index` (rows from
  // `index` on move down by one).
  virtual void RowInserted(size_t index, const TransferRow& row) { (void)index; (void)row; }
  // A cancel was answered Yes and the worker goes on to end the transfer:
  // the button reads "&Close", disabled until BatchEnded.
  virtual void Cancelling() {}
  struct Outcome {
    int done = 0;        // files that arrived
    int failed = 0;      // files that failed (refused ones included)
    int skipped = 0;     // declined rows
    int refused = 0;     // rows never tried (unsafe names, kinds not supported)
    bool cancelled = false;  // the person cancelled; the rows after it were not tried
    // The window: the animation's closing frames when nothing failed, to the
    // front, then closes after kCloseDelayMs when CloseXferDialog is set,
    // else Cancel reads "&Close".
    bool closeWindow = false;
  };
  virtual void BatchEnded(const Outcome& outcome) { (void)outcome; }
};

// What the worker op of a batch uses besides the connection. Everything
// pointed to must outlive the op.
struct BatchEnv {
  // The connection's listing state: the path state and name case of the
  // host, and the listing held (its first 17 characters identify a pending
  // resume). Read on the worker; folder listings use a context of their
  // own and leave this one as it is.
  listing::ListingContext* listing = nullptr;
  // The store and session whose resume state the downloads keep; null (or
  // a quick connection) keeps none.
  SessionStore* store = nullptr;
  std::string sessionName;
  BatchListener* listener = nullptr;  // may be null
  // Ask before replacing (the window). Off: replace without asking, as
  // tarn-cli's get and put do.
  bool askReplace = true;
  // Show one box at the end naming the refused files (the window); tarn-cli
  // lists them itself.
  bool refusedBox = true;
  // The local time the listing parsers take a missing year from; 0: now.
  int64_t nowSeconds = 0;
};

// ---- The batch ----------------------------------------------------------------

class TransferBatch {
 public:
  // `settings` gives CloseXferDialog, AutoStart and AsciiExtensions as they
  // are when the window opens; `mode` is the mode menu's state.
  TransferBatch(TransferDirection direction, const BatchHost& host, TransferMode mode,
                const AppSettings& settings, const platform::Locale& locale);
  ~TransferBatch();
  TransferBatch(const TransferBatch&) = delete;
  TransferBatch& operator=(const TransferBatch&) = delete;

  TransferDirection direction() const { return direction_; }
  const BatchHost& host() const { return host_; }
  const std::vector<TransferRow>& rows() const { return rows_; }
  // Whether the list may still be edited: true until Start.
  bool editable() const { return editable_; }
  // The window reads these two settings; CloseXferDialog is saved by the
  // window at once when its check box changes (SessionStore::SaveCloseXferDialog).
  bool closeWhenDone() const { return closeWhenDone_; }
  void SetCloseWhenDone(bool on) { closeWhenDone_ = on; }
  bool autoStart() const { return autoStart_; }

  // ---- Building the rows (GUI thread) ------------------------------------
  // A host row for download into host().destination: files by their listed
  // size, directories (and MVS partitioned data sets) as folder rows. A
  // file whose name cannot be a local file name is added refused.
  void AddDownload(const listing::HostListing& rows, const listing::RemoteEntry& e);
  // The same from plain values (host path, local name, size, date).
  void AddDownload(const std::string& remotePath, const std::string& localName, int64_t bytes,
                   listing::FileTime modified, bool isFolder, int32_t mvsKind = 0,
                   uint32_t recordLength = 0);
  // A local file or folder for upload into host().destination; the target
  // name follows the host's naming (MVS members in parentheses after the
  // data set, VM files in parentheses after the directory).
  void AddUpload(const std::string& localPath);
  // The one row of "&Append to Hostfile": the local file appended to the
  // host file `remoteName`.
  void AddAppend(const std::string& localPath, const std::string& remoteName);

  // ---- Editing before Start (GUI thread; false when not editable or no such row)
  bool ToggleRow(size_t index);
  // The type picture: every row and the "Type:" text change between ASCII
  // and Binary.
  bool ToggleAll();
  // The text the "Type:" field shows now.
  std::string TypeText() const;
  // 'Rename "To"': a download takes a new local name in the same folder (a
  // text with "/" is a path); an upload takes the host name as typed, and on
  // MVS and VM hosts a member name becomes name "(" member ")". Empty text
  // and names with CR, LF or NUL are refused.
  bool RenameTo(size_t index, const std::string& text);
  bool DeleteRow(size_t index);

  // ---- Resume ----------------------------------------------------------------
  // The resume form: one row made from the stored state (From the source,
  // To the file the partial download stands for, Size the stored size), the
  // type from its stored text; it always starts at once (autoStart()). False
  // when the state names no pending partial download.
  bool SetResumeRow(const ResumeState& state);
  bool isResume() const { return resumeForm_; }

  // ---- Running -----------------------------------------------------------------
  // Start: the list is no longer editable. The op runs on the connection's
  // worker: ConfirmResume when a resume is pending for the session, else
  // ConfirmReplace; then BatchTransferThread (or ResumeTransferThread for
  // the resume form). Returns the check's result as the op's result (6 or
  // 1195 once the transfers ran). The batch must outlive the op; post it
  // with ConnWorker::Post.
  ConnWorker::Op StartOp(const BatchEnv& env);
  // The same steps, called on the worker by an op of the caller's own.
  int RunOnWorker(FtpConn& c, const BatchEnv& env);

  // The checks alone (worker thread; tests and StartOp).
  int ConfirmReplace(FtpConn& c, const BatchEnv& env);
  int ConfirmResume(FtpConn& c, const BatchEnv& env);

  // True from Start until the op has ended.
  bool running() const { return running_.load(); }
  // The counts of the last run (read after BatchEnded).
  const BatchListener::Outcome& outcome() const { return outcome_; }
  // Waits up to `ms` for a started op to end; true when it has (or never ran).
  bool WaitEnded(int ms) const;

  // ---- Cancel (any thread) -------------------------------------------------------
  // The byte loops stop at the next block boundary and wait there until
  // Continue(); nothing is suspended, no byte moves while the hold lasts.
  void Pause();
  void Continue();
  bool paused() const;
  // Waits up to `ms` until the worker sits at the hold (the byte loops
  // reached a block boundary while paused); true when it does.
  bool WaitHeld(int ms) const;
  // The cancel question while the worker runs: pauses, asks kCancelQuestion
  // through `ui` (caption "Warning", Yes and No), and on Yes sets bAbort
  // through the worker (the current file ends with ABOR, its partial file
  // kept when the server takes restarts; no row after it is tried); then
  // lets the worker go on, which tells the listener Cancelling(). True on
  // Yes. Call it from the window's thread with the window's Ui.
  bool AskCancel(Ui& ui, ConnWorker& worker);
  // A cancel without a question (Ctrl-C of tarn-cli, a closing window).
  void Abort(ConnWorker& worker);

 private:
  struct Walk;
  class FieldsUi;
  friend struct Walk;

  void AddRow(TransferRow row);
  // The host name an upload of `name` into `dir` (of MVS kind `dirKind`) gets.
  std::string UploadTarget(const std::string& dir, int32_t dirKind, const std::string& name) const;
  int Confirm(FtpConn& c, const BatchEnv& env);
  int BatchTransferThread(FtpConn& c, const BatchEnv& env);
  int ResumeTransferThread(FtpConn& c, const BatchEnv& env);
  // One file row on the worker: TYPE, RETR/STOR/APPE, state, icon, resume state.
  int TransferFile(FtpConn& c, const BatchEnv& env, size_t index);
  // A folder row reached: its entries become the rows after it.
  void ExpandHostFolder(FtpConn& c, const BatchEnv& env, size_t index);
  void ExpandLocalFolder(FtpConn& c, const BatchEnv& env, size_t index);
  void EndBatch(const BatchEnv& env);
  void SaveResume(FtpConn& c, const BatchEnv& env, const TransferRow& row, const std::string& partial,
                  bool done);
  void SetState(const BatchEnv& env, size_t index, RowState state, const std::string& message = "");
  void InsertRow(const BatchEnv& env, size_t index, TransferRow row);
  std::string HostCommandName(const std::string& name) const;
  // Holds the worker while paused (until Continue, or an abort of c);
  // returns at once otherwise.
  void WaitWhilePaused(FtpConn& c);
  // Tells the listener of a cancel answered Yes, once (worker thread).
  void TellCancelling();

  TransferDirection direction_;
  BatchHost host_;
  TransferMode mode_;
  std::string asciiExtensions_;
  platform::Locale locale_;
  std::string shortName_;
  bool closeWhenDone_ = false;
  bool autoStart_ = false;
  std::atomic<bool> editable_{true};
  bool allAscii_ = false;        // the "Type:" text after ToggleAll
  bool allToggled_ = false;
  bool resumeForm_ = false;
  bool resumeFirst_ = false;     // the first row continues the pending partial file
  std::string resumePartial_;    // that partial file
  std::string pendingPartial_;   // the pending partial download of the first row, resumed or not
  std::atomic<bool> cancelled_{false};
  std::vector<TransferRow> rows_;
  Walk* walk_ = nullptr;         // the running op's state (worker only)
  BatchListener* listener_ = nullptr;  // the running op's listener (worker only)
  bool cancelTold_ = false;      // the listener heard of the cancel
  BatchListener::Outcome outcome_;

  std::atomic<bool> running_{false};
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  bool paused_ = false;
  bool held_ = false;            // the worker waits at the hold
  bool ended_ = true;
};

// ---- The stop command and the resume question ---------------------------------

struct CancelWorkerResult {
  bool wasRunning = false;    // something ran when the stop came
  bool ended = false;         // it ended within the bound
  bool socketsClosed = false; // it did not: the data and listening sockets were shut down
};

// CancelWorker: the main window's stop command, from a thread of its own
// (never the worker's, never one the worker waits for). With the control
// socket open: cancels the running op and drops the queued ones, waits up
// to `waitMs` for the worker to become idle; when it does not, shuts the
// data and listening sockets down in both directions, which ends any wait
// on them (the worker releases the descriptors as it unwinds). Then clears
// iOpState, and bAbort once the worker is idle. The caller then puts the
// window back into its idle state.
CancelWorkerResult CancelWorker(FtpConn& c, ConnWorker& worker, int waitMs = kCancelWorkerWaitMs);

// What AskResumeOnConnect decided.
enum class ResumeOnConnect {
  kNothing,   // no pending resume (or asked before on this connection)
  kDeclined,  // No: the partial file was deleted and the state cleared
  kResume,    // Yes: open the resume form (TransferBatch::SetResumeRow) and start it
  kFailed,    // the partial file could not be opened: the listing ends with 1
};

// AskResumeOnConnect: after a listing of an interactive session, the first
// time on each connection (*asked, reset by the caller at connect, is set
// here): with a pending resume ("ResIsDownLoadDone" is "FALSE") asks "Would
// you like to resume downloading %s" (caption "Resume", Yes and No). Runs
// on the worker (it reads the session's key and asks through c.ui).
// `*state` receives the stored resume state.
ResumeOnConnect AskResumeOnConnect(FtpConn& c, SessionStore& store, const std::string& sessionName,
                                   bool* asked, ResumeState* state);

}  // namespace tarn
