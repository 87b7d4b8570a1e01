// Browse and Recall of the host view: host files copied into a private
// folder of the person's own (browse then opens each with its program),
// and migrated MVS data sets fetched so that the host brings them back.
// Names and types are worked out here without I/O; the ops run on the
// connection's worker.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "client/engine/ftp_conn.h"
#include "client/session/ui.h"

namespace tarn::listing {

constexpr const char* kBrowseErrorCaption = "Error Browsing file";
constexpr const char* kRecallErrorCaption = "Error Recalling file";
constexpr const char* kAbortedByUserText = "Transfer aborted by User";

// The folder browse and recall download into: made on first use as
// "<parent>/tarn-browse-XXXXXX" with mode 0700 (a new, unguessable name, so
// no other user can have made or linked it beforehand), removed with
// everything in it by Remove() or the destructor. Thread-safe.
class BrowseFolder {
 public:
  // `parent` "" means $XDG_RUNTIME_DIR when it is a directory, else
  // $TMPDIR or /tmp.
  explicit BrowseFolder(std::string parent = "");
  ~BrowseFolder();
  BrowseFolder(const BrowseFolder&) = delete;
  BrowseFolder& operator=(const BrowseFolder&) = delete;

  // The folder, made when it does not exist yet (or was removed from
  // outside). "" with `*error` set to the reason when it cannot be made.
  std::string Ensure(std::string* error);
  // The folder's path; "" before the first Ensure.
  std::string Path() const;
  // Deletes every file in the folder and the folder itself (symbolic links
  // are removed, never followed). Safe to call more than once.
  void Remove();

 private:
  mutable std::mutex mu_;
  std::string parent_;
  std::string path_;
};

// A host row as browse sees it.
struct BrowseRow {
  std::string path;   // full remote path (RemoteEntry::path)
  std::string name;   // the listed name (RemoteEntry::name)
};

// One file to browse.
struct BrowseItem {
  std::string localName;  // name of the file in the browse folder
  std::string local;   // its path there, set by BrowseOp
  std::string remote;  // argument of RETR
  std::string title;   // what the viewer's title shows
  char type = 'I';     // 'A' or 'I'
};

// The transfer type of a browsed file: ASCII when the mode is ASCII, or
// automatic and the name's extension is one of `asciiExtensions`; binary
// otherwise.
char BrowseType(TransferMode mode, const std::string& name, const std::string& asciiExtensions);

// The item of `row` for the connection's host family:
//   generic: local name the name, remote the path (the name when the
//            server emulates L8), title the path
//   MVS:     local name the path, remote 'path' in quotes, title the path
//   VM, VSE: name for the local file, the remote and the title
// False, with `*why` set, when the local name would leave the folder ("..",
// a "/", a control character: a listing is the server's word).
bool BrowseItemFor(int32_t hostFamily, bool l8Emulated, const BrowseRow& row, char type,
                   BrowseItem* item, std::string* why);

// The RETR argument of a recall: the row's path, in single quotes on MVS.
std::string RecallTarget(int32_t hostFamily, const std::string& path);

// --- Worker ops (inside a ConnWorker op) --------------------------------------

// A row whose item could not be made: its title and the reason.
struct BrowseRefusal {
  std::string title;
  std::string why;
};

// Downloads each item into the browse folder, in order. After each file
// that arrived, `downloaded` runs (on the worker; it queues the opening).
// A refused name or failed download shows its box through c.ui with the
// caption "Error Browsing file": "Transfer aborted by User" after a cancel,
// else the server's reply; a cancel also ends the browse there, with the
// abort flag cleared. Returns the number of files that arrived.
int BrowseOp(FtpConn& c, BrowseFolder& folder, std::vector<BrowseItem> items,
             const std::vector<BrowseRefusal>& refused,
             const std::function<void(const BrowseItem&)>& downloaded);

// Downloads `target` into a new temporary file "tarn..." of the browse
// folder with the transfer type `type` ('A' or 'I'; 0 takes the type last
// sent, else 'A'), which is all it takes for the host to recall a migrated
// data set. A failure shows its box with the caption "Error Recalling
// file"; the abort flag is cleared. Returns the transfer class.
int RecallOp(FtpConn& c, BrowseFolder& folder, const std::string& target, char type);

// --- Opening a browsed file -------------------------------------------------

// What can stop a downloaded file from being opened.
enum class OpenProblem {
  kNone,
  kOutOfMemory,
  kFileNotFound,
  kPathNotFound,
  kAccessDenied,
  kNoProgram,   // no program is registered for the file: the viewer shows it
  kOther,
};

// The problem of an errno value of the opener.
OpenProblem OpenProblemOfErrno(int error);
// Checks that `path` is a readable regular file before it is handed to a
// program: kNone, or what is wrong with it.
OpenProblem CheckBrowseFile(const std::string& path);
// The box text of a problem ("" for kOther: an empty box; kNone and
// kNoProgram have no box).
const char* OpenProblemText(OpenProblem p);

}  // namespace tarn::listing
