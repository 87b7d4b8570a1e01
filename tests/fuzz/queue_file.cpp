// The schedule file (.tsc) reader under fuzz: the input is the file. What
// it loads is saved and loaded again unchanged, and the queue window's rows
// rebuild the same rows.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "client/session/queue.h"
#include "client/session/queue_file.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

// Loads `bytes` as a file of its own, kept in memory.
tarn::QueueLoadResult LoadBytes(const std::string& bytes, tarn::TransferQueue* queue) {
  const int fd = memfd_create("tsc", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    FUZZ_CHECK(n > 0);
    written += static_cast<size_t>(n);
  }
  tarn::QueueLoadResult result = tarn::ReadQueueFile("/proc/self/fd/" + std::to_string(fd), queue);
  close(fd);
  return result;
}

}  // namespace

TARN_FUZZ_TARGET(queue_file) {
  using namespace tarn;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TransferQueue queue;
  const QueueLoadResult result = LoadBytes(bytes, &queue);
  (void)QueueLoadNotice("night.tsc", result);
  if (size < kQueueHeaderSize) FUZZ_CHECK(result.status == QueueLoadStatus::kShortHeader);
  if (!result.ok()) {
    FUZZ_CHECK(queue.Empty());  // a failed load leaves the queue as it was
    return 0;
  }
  FUZZ_CHECK(result.records == (size - kQueueHeaderSize) / kQueueRecordSize);
  FUZZ_CHECK(result.ignoredBytes == (size - kQueueHeaderSize) % kQueueRecordSize);
  FUZZ_CHECK(queue.EntryCount() == result.records);

  const std::string saved = QueueFileBytes(queue);
  TransferQueue reloaded;
  const QueueLoadResult again = LoadBytes(saved, &reloaded);
  FUZZ_CHECK(again.ok() && again.ignoredBytes == 0);
  FUZZ_CHECK(reloaded == queue);
  FUZZ_CHECK(QueueFileBytes(reloaded) == saved);

  const std::vector<QueueRow> rows = QueueRows(queue);
  FUZZ_CHECK(rows.size() == queue.EntryCount());
  TransferQueue rebuilt;
  FUZZ_CHECK(RebuildQueueFromRows(rows, &rebuilt));
  FUZZ_CHECK(QueueRows(rebuilt) == rows);
  return 0;
}
