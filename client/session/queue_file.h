// The schedule file (.tsc): a transfer queue on disk. Binary, little-endian:
//
//   offset  size  content
//   0       4     int32 1
//   4       4     int32 0x005023A1           (bytes A1 23 50 00)
//   8       24    "TARN_REMOTE", NUL bytes up to offset 32
//   32      788   one record per entry, to the end of the file:
//                   session name  char[260]  NUL-terminated, rest zero
//                   remote file   char[260]
//                   local file    char[260]
//                   flags         int32      QueueFlags
//                   4 bytes without meaning (written as zero, ignored)
//
// The records of a group follow each other; groups follow in queue order.
// A header without records is a valid, empty queue. The scheduler passes
// these files on by path and never opens them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "client/session/queue.h"
#include "client/session/ui.h"

namespace tarn {

inline constexpr size_t kQueueHeaderSize = 32;
inline constexpr size_t kQueueRecordSize = 788;
inline constexpr const char* kQueueFileMagic = "TARN_REMOTE";

// Shown (caption "Tarn", information icon) for a file whose header is not a
// schedule file's.
inline constexpr const char* kNotScheduleFileText =
    "The selected file is not a valid Tarn schedule file, or the file has been corrupted.\n"
    "Please select a valid Tarn schedule file.";

enum class QueueLoadStatus {
  kLoaded,            // the queue holds the file's entries
  kNoFile,            // no path, and none was chosen
  kCannotOpen,        // the file cannot be opened (error: the reason)
  kShortHeader,       // fewer than 32 bytes
  kNotScheduleFile,   // a header that is not a schedule file's
  kReadError,         // reading failed part-way (error: the reason)
  kOutOfMemory,       // AddToQueue failed
};

struct QueueLoadResult {
  QueueLoadStatus status = QueueLoadStatus::kNoFile;
  std::string error;          // errno text for kCannotOpen and kReadError
  size_t records = 0;         // complete records read
  size_t ignoredBytes = 0;    // bytes of a cut last record, left out of the queue

  bool ok() const { return status == QueueLoadStatus::kLoaded; }
};

// ReadQueueFile: the whole file at `path` into `*queue`, replacing what it
// held; on any failure `*queue` is left as it was. A last record cut short
// (a damaged file) is left out and counted in ignoredBytes; the load still
// succeeds, and the caller tells the person. No message is shown here.
QueueLoadResult ReadQueueFile(const std::string& path, TransferQueue* queue);

// What the person sees of a load's outcome beyond success: "" when there is
// nothing to say, else a line such as
//   "night.tsc: the last record is incomplete (100 bytes) and was left out"
std::string QueueLoadNotice(const std::string& path, const QueueLoadResult& result);

// Asks for a schedule file to open: fills `*path` and returns true, or
// returns false when the person cancels.
using ChooseQueueFileFn = std::function<bool(std::string* path)>;

// LoadQueueFile: ReadQueueFile with the person in the loop. An empty `*path`
// is asked for with `choose` (absent or cancelled: kNoFile). A file that is
// not a schedule file shows kNotScheduleFileText under "Tarn", clears
// `*path` and asks again, until a valid file or a cancel. Without `choose`
// the message is shown once and the load fails. Unopenable files and short
// headers fail without a message. `*path` holds the file loaded on success.
QueueLoadResult LoadQueueFile(std::string* path, TransferQueue* queue, Ui& ui,
                              const ChooseQueueFileFn& choose);

// The file's bytes for `queue`: header and records, link bytes zero.
std::string QueueFileBytes(const TransferQueue& queue);

// SaveQueueFile: writes `queue` to `path` (which must not be empty; the
// window asks for a name first). The bytes go to a new temporary file
// beside the target, which then replaces it by a rename, so that a crash
// leaves the old file or the new one, never a torn one. A symbolic link is
// followed and its target replaced; an existing file keeps its permission
// bits. False with `*error` set (the errno text) on failure; the old file
// is then untouched.
bool SaveQueueFile(const std::string& path, const TransferQueue& queue, std::string* error);

}  // namespace tarn
