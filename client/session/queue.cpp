#include "client/session/queue.h"

#include <strings.h>

#include <cstring>
#include <new>

namespace tarn {

namespace {

template <size_t N>
bool CopyText(char (&field)[N], const std::string& text) {
  if (text.size() >= N || text.find('\0') != std::string::npos) return false;
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size());
  return true;
}

bool EqualsNoCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

QueueDirection DirectionOf(int32_t flags) {
  if (flags & kQueueDownload) return QueueDirection::kDownload;
  if (flags & kQueueUpload) return QueueDirection::kUpload;
  return QueueDirection::kAppend;
}

bool MakeQEntry(const std::string& remote, const std::string& local, int32_t flags, QEntry* entry) {
  QEntry e;
  if (!CopyText(e.cRemoteFile, remote) || !CopyText(e.cLocalFile, local)) return false;
  e.iFlags = flags;
  *entry = e;
  return true;
}

bool TransferQueue::AddToQueue(const std::string& sessionName, const QEntry& entry) {
  if (sessionName.size() >= kQueueTextCapacity) return false;
  try {
    for (auto& group : groups_) {
      if (group.sessionName == sessionName) {
        group.entries.push_back(entry);
        return true;
      }
    }
    QueueGroup group;
    group.sessionName = sessionName;
    group.entries.push_back(entry);
    groups_.push_back(std::move(group));
  } catch (const std::bad_alloc&) {
    // push_back leaves the vectors as they were.
    return false;
  }
  return true;
}

bool TransferQueue::RemoveEntry(size_t index) {
  for (auto g = groups_.begin(); g != groups_.end(); ++g) {
    if (index < g->entries.size()) {
      g->entries.erase(g->entries.begin() + static_cast<std::ptrdiff_t>(index));
      if (g->entries.empty()) groups_.erase(g);
      return true;
    }
    index -= g->entries.size();
  }
  return false;
}

size_t TransferQueue::EntryCount() const {
  size_t n = 0;
  for (const auto& group : groups_) n += group.entries.size();
  return n;
}

bool TransferQueue::operator==(const TransferQueue& other) const {
  if (groups_.size() != other.groups_.size()) return false;
  for (size_t g = 0; g < groups_.size(); ++g) {
    const QueueGroup& a = groups_[g];
    const QueueGroup& b = other.groups_[g];
    if (a.sessionName != b.sessionName || a.entries.size() != b.entries.size()) return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
      const QEntry& x = a.entries[i];
      const QEntry& y = b.entries[i];
      if (x.iFlags != y.iFlags || std::strcmp(x.cRemoteFile, y.cRemoteFile) != 0 ||
          std::strcmp(x.cLocalFile, y.cLocalFile) != 0)
        return false;
    }
  }
  return true;
}

QueueRow RowOf(const std::string& sessionName, const QEntry& entry) {
  QueueRow row;
  row.hostname = sessionName;
  switch (DirectionOf(entry.iFlags)) {
    case QueueDirection::kDownload: row.direction = "Download"; break;
    case QueueDirection::kUpload: row.direction = "Upload"; break;
    case QueueDirection::kAppend: row.direction = "Append"; break;
  }
  row.localFile = entry.cLocalFile;
  row.transferType = (entry.iFlags & kQueueAscii) ? "Ascii" : "Binary";
  row.passive = (entry.iFlags & kQueuePassive) ? "Yes" : "No";
  row.remoteFile = entry.cRemoteFile;
  return row;
}

std::vector<QueueRow> QueueRows(const TransferQueue& queue) {
  std::vector<QueueRow> rows;
  for (const auto& group : queue.Groups())
    for (const auto& entry : group.entries) rows.push_back(RowOf(group.sessionName, entry));
  return rows;
}

bool RebuildQueueFromRows(const std::vector<QueueRow>& rows, TransferQueue* queue) {
  queue->ClearQueue();
  for (const auto& row : rows) {
    int32_t flags = 0;
    if (EqualsNoCase(row.direction, "Upload"))
      flags |= kQueueUpload;
    else if (EqualsNoCase(row.direction, "Download"))
      flags |= kQueueDownload;
    flags |= EqualsNoCase(row.transferType, "Ascii") ? kQueueAscii : kQueueBinary;
    if (row.passive == "Yes") flags |= kQueuePassive;
    QEntry entry;
    if (!MakeQEntry(row.remoteFile, row.localFile, flags, &entry)) return false;
    if (!queue->AddToQueue(row.hostname, entry)) return false;
  }
  return true;
}

}  // namespace tarn
