#include "client/session/queue_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace tarn {

namespace {

constexpr size_t kNameOffset = 0;
constexpr size_t kRemoteOffset = 260;
constexpr size_t kLocalOffset = 520;
constexpr size_t kFlagsOffset = 780;
constexpr uint32_t kHeaderTag = 0x005023A1;

void PutLe32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t GetLe32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return v;
}

// A NUL-terminated text of a 260-byte field; a field without a terminator
// is cut at the 259 characters it can hold.
std::string FieldText(const char* p) { return std::string(p, strnlen(p, kQueueTextCapacity - 1)); }

// Reads up to `len` bytes, fewer only at the end of the file. -1 on error.
ssize_t ReadFull(int fd, char* buf, size_t len) {
  size_t got = 0;
  while (got < len) {
    ssize_t n = ::read(fd, buf + got, len - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool WriteFull(int fd, const char* buf, size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, buf, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buf += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

bool HeaderIsValid(const char* h) {
  return GetLe32(h) == 1 && GetLe32(h + 4) == kHeaderTag &&
         std::memcmp(h + 8, kQueueFileMagic, 11) == 0 && h[8 + 11] == '\0';
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

QueueLoadResult ReadQueueFile(const std::string& path, TransferQueue* queue) {
  QueueLoadResult result;
  if (path.empty()) return result;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.status = QueueLoadStatus::kCannotOpen;
    result.error = std::strerror(errno);
    return result;
  }
  struct stat st{};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    result.status = QueueLoadStatus::kCannotOpen;
    result.error = std::strerror(EISDIR);
    return result;
  }

  char header[kQueueHeaderSize];
  const ssize_t h = ReadFull(fd, header, sizeof header);
  if (h < 0) {
    result.status = QueueLoadStatus::kReadError;
    result.error = std::strerror(errno);
  } else if (static_cast<size_t>(h) < sizeof header) {
    result.status = QueueLoadStatus::kShortHeader;
  } else if (!HeaderIsValid(header)) {
    result.status = QueueLoadStatus::kNotScheduleFile;
  } else {
    TransferQueue loaded;
    char record[kQueueRecordSize];
    result.status = QueueLoadStatus::kLoaded;
    for (;;) {
      const ssize_t n = ReadFull(fd, record, sizeof record);
      if (n < 0) {
        result.status = QueueLoadStatus::kReadError;
        result.error = std::strerror(errno);
        break;
      }
      if (n == 0) break;
      if (static_cast<size_t>(n) < sizeof record) {
        result.ignoredBytes = static_cast<size_t>(n);
        break;
      }
      QEntry entry;
      std::memcpy(entry.cRemoteFile, record + kRemoteOffset, kQueueTextCapacity);
      std::memcpy(entry.cLocalFile, record + kLocalOffset, kQueueTextCapacity);
      entry.cRemoteFile[kQueueTextCapacity - 1] = '\0';
      entry.cLocalFile[kQueueTextCapacity - 1] = '\0';
      entry.iFlags = static_cast<int32_t>(GetLe32(record + kFlagsOffset));
      if (!loaded.AddToQueue(FieldText(record + kNameOffset), entry)) {
        result.status = QueueLoadStatus::kOutOfMemory;
        break;
      }
      ++result.records;
    }
    if (result.ok()) *queue = std::move(loaded);
  }
  ::close(fd);
  return result;
}

std::string QueueLoadNotice(const std::string& path, const QueueLoadResult& result) {
  switch (result.status) {
    case QueueLoadStatus::kLoaded:
      if (result.ignoredBytes == 0) return "";
      return path + ": the last record is incomplete (" + std::to_string(result.ignoredBytes) +
             " bytes) and was left out";
    case QueueLoadStatus::kNoFile: return "No schedule file";
    case QueueLoadStatus::kCannotOpen: return path + ": " + result.error;
    case QueueLoadStatus::kShortHeader:
    case QueueLoadStatus::kNotScheduleFile: return kNotScheduleFileText;
    case QueueLoadStatus::kReadError: return path + ": " + result.error;
    case QueueLoadStatus::kOutOfMemory: return path + ": out of memory";
  }
  return "";
}

QueueLoadResult LoadQueueFile(std::string* path, TransferQueue* queue, Ui& ui,
                              const ChooseQueueFileFn& choose) {
  for (;;) {
    if (path->empty() && !(choose && choose(path))) {
      path->clear();
      return QueueLoadResult{};
    }
    QueueLoadResult result = ReadQueueFile(*path, queue);
    if (result.status != QueueLoadStatus::kNotScheduleFile) return result;
    ui.MessageBox(kNotScheduleFileText, "Tarn", BoxButtons::kOk, BoxIcon::kInformation);
    path->clear();
    if (!choose) return result;
  }
}

std::string QueueFileBytes(const TransferQueue& queue) {
  std::string bytes(kQueueHeaderSize + kQueueRecordSize * queue.EntryCount(), '\0');
  char* p = bytes.data();
  PutLe32(p, 1);
  PutLe32(p + 4, kHeaderTag);
  std::memcpy(p + 8, kQueueFileMagic, 11);
  p += kQueueHeaderSize;
  for (const auto& group : queue.Groups()) {
    for (const auto& entry : group.entries) {
      std::memcpy(p + kNameOffset, group.sessionName.data(),
                  std::min(group.sessionName.size(), kQueueTextCapacity - 1));
      // Only the text of each field: what follows its terminator is zero.
      std::memcpy(p + kRemoteOffset, entry.cRemoteFile, strnlen(entry.cRemoteFile, kQueueTextCapacity - 1));
      std::memcpy(p + kLocalOffset, entry.cLocalFile, strnlen(entry.cLocalFile, kQueueTextCapacity - 1));
      PutLe32(p + kFlagsOffset, static_cast<uint32_t>(entry.iFlags));
      p += kQueueRecordSize;
    }
  }
  return bytes;
}

bool SaveQueueFile(const std::string& pathIn, const TransferQueue& queue, std::string* error) {
  if (pathIn.empty()) {
    *error = std::strerror(ENOENT);
    return false;
  }
  // Replacing a link would cut it from the file it names: write beside the
  // file itself.
  std::string path = pathIn;
  struct stat lst{};
  if (::lstat(pathIn.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char resolved[PATH_MAX];
    if (!::realpath(pathIn.c_str(), resolved)) {
      *error = std::strerror(errno);
      return false;
    }
    path = resolved;
  }
  struct stat old{};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    *error = std::strerror(EISDIR);
    return false;
  }

  // A new name beside the target; O_EXCL keeps it ours, and the mode given
  // here passes through the umask as any new file's would.
  std::string temp;
  int fd = -1;
  const auto seed = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = path + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string((seed + attempt * 7919u) % 1000000u);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }

  const std::string bytes = QueueFileBytes(queue);
  bool ok = WriteFull(fd, bytes.data(), bytes.size());
  if (ok && exists) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  int savedErrno = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    *error = std::strerror(savedErrno);
    return false;
  }
  // The rename itself reaches the disk with the directory.
  const int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace tarn
