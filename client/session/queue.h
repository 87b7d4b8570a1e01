// The transfer queue: transfers kept for later, as an ordered list of
// session groups, each an ordered list of QEntry items. The queue window
// shows one row per entry; a schedule file (queue_file.h) stores the same
// list; the unattended run (run_queue.h) executes it group by group.
//
// Nothing here is thread-safe: one thread owns a queue at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

// Bits of QEntry::iFlags. Neither direction bit means "append to the host
// file".
enum QueueFlags : int32_t {
  kQueueUpload = 1,
  kQueueDownload = 2,
  kQueueBinary = 4,
  kQueueAscii = 8,
  kQueuePassive = 16,
};

// Capacity of every text of a queue entry, the terminator counted.
inline constexpr size_t kQueueTextCapacity = 260;

// One queued transfer: the 528-byte body that a schedule file also holds
// (the file's 4 link bytes have no counterpart here).
struct QEntry {
  char cRemoteFile[kQueueTextCapacity] = {};  // host path, used in RETR/STOR/APPE
  char cLocalFile[kQueueTextCapacity] = {};   // full PC path
  int32_t iFlags = 0;                          // QueueFlags
};

enum class QueueDirection { kDownload, kUpload, kAppend };

// The direction of an entry: download when bit 1 is set, else upload when
// bit 0 is, else append.
QueueDirection DirectionOf(int32_t flags);

// Fills an entry; false (entry untouched) when a name does not fit its
// 259 characters.
bool MakeQEntry(const std::string& remote, const std::string& local, int32_t flags, QEntry* entry);

struct QueueGroup {
  std::string sessionName;     // a stored session's name, compared exactly
  std::vector<QEntry> entries;
};

class TransferQueue {
 public:
  // AddToQueue: appends `entry` to the group named exactly `sessionName`
  // (letter case counts), or to a new group at the end. False, with the
  // queue unchanged, when memory runs out or the name does not fit the
  // schedule file's 259 characters.
  bool AddToQueue(const std::string& sessionName, const QEntry& entry);

  // Removes the entry at `index` (0-based, in queue order: the rows of the
  // queue window); a group left empty goes with it. False when there is no
  // such entry.
  bool RemoveEntry(size_t index);

  // ClearQueue: drops every group and entry.
  void ClearQueue() { groups_.clear(); }

  const std::vector<QueueGroup>& Groups() const { return groups_; }
  size_t EntryCount() const;
  bool Empty() const { return groups_.empty(); }

  bool operator==(const TransferQueue& other) const;

 private:
  std::vector<QueueGroup> groups_;
};

// ---- The queue window's rows --------------------------------------------------

// Column titles of the queue window, in order.
inline constexpr const char* kQueueColumnTitles[6] = {
    "Hostname", "Direction", "Local file name", "Transfer Type", "Passive Transfer",
    "Remote file name"};

// One row of the queue window, its six column texts.
struct QueueRow {
  std::string hostname;      // session name
  std::string direction;     // "Download", "Upload" or "Append"
  std::string localFile;
  std::string transferType;  // "Ascii" (bit 3) or "Binary"
  std::string passive;       // "Yes" (bit 4) or "No"
  std::string remoteFile;

  bool operator==(const QueueRow&) const = default;
};

QueueRow RowOf(const std::string& sessionName, const QEntry& entry);

// The rows of the queue window: the groups in order, each group's entries
// in order.
std::vector<QueueRow> QueueRows(const TransferQueue& queue);

// RebuildQueueFromWindow's work: a new queue from the rows, taken from the
// first row to the last so that the order the person sees is the order that
// runs, grouped by session in the order each session first appears. A
// direction of "Upload" or "Download" (any letter case) sets bit 0 or 1,
// anything else neither; "Ascii" (any case) sets bit 3, anything else bit
// 2; "Yes" sets bit 4. False when an entry cannot be added (out of memory,
// a text too long); `*queue` then holds the rows before it.
bool RebuildQueueFromRows(const std::vector<QueueRow>& rows, TransferQueue* queue);

}  // namespace tarn
