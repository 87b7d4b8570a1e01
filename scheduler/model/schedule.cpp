#include "scheduler/model/schedule.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "scheduler/model/archive.h"
#include "scheduler/model/local_time.h"
#include "scheduler/model/messages.h"

namespace sched {

namespace {

// Larger files are not schedule lists; reading them whole would only cost
// memory.
constexpr int64_t kMaxFileSize = 64 << 20;

std::string Dir(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void ShowFileError(Notice& notice, int err, bool writing, const std::string& path) {
  const char* text = writing ? kFileWriteError : kFileReadError;
  if (err == EACCES || err == EPERM || err == EROFS) text = kFileAccessDenied;
  if (err == ENOSPC || err == EDQUOT) text = kFileDiskFull;
  notice.Show(WithPath(text, path), NoticeIcon::kExclamation);
}

// The file keeps CTimes in 32 bits. The list's own checks keep every time
// in range; should one slip through, it is stored as the nearest time the
// file holds rather than wrapped to the other end of the range (a start in
// 2039 must not come back as one in 1901, due at once).
int32_t StoredTime(int64_t t) {
  if (t > kCTimeMax) return static_cast<int32_t>(kCTimeMax);
  if (t < kCTimeMin) return static_cast<int32_t>(kCTimeMin);
  return static_cast<int32_t>(t);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string WithPath(const char* text, const std::string& path) {
  std::string s = text;
  auto at = s.find("%1");
  if (at != std::string::npos) s.replace(at, 2, path);
  return s;
}

std::string DefaultListFile() {
  const char* config = std::getenv("TARN_CONFIG_DIR");
  std::string dir = config && *config ? config : platform::DataDirectory();
  return platform::PathJoin(dir, "almanor.tsl");
}

CSchedule::CSchedule(std::string fileName) : m_strFileName(std::move(fileName)) {}

bool CSchedule::Add(CScheduleEntry entry, Notice& notice) {
  if (m_apEntries.size() >= kCapacity) {
    notice.Show("The schedule list is full: it holds at most 256 schedules.  Delete a "
                "schedule before adding another.",
                NoticeIcon::kExclamation);
    return false;
  }
  if (!CTimeFits(entry.m_timeStart) || !CTimeFits(entry.m_timeStop)) {
    notice.Show(std::string("The schedule's start or stop lies after ") + kCTimeLimitText +
                    " or before 1902, beyond what the schedule list can store.",
                NoticeIcon::kExclamation);
    return false;
  }
  m_apEntries.push_back(std::move(entry));
  return true;
}

void CSchedule::Remove(size_t i) {
  if (i < m_apEntries.size()) m_apEntries.erase(m_apEntries.begin() + static_cast<long>(i));
}

std::string CSchedule::Serialize() const {
  ArchiveWriter ar;
  ar.U32(1);
  ar.U32(static_cast<uint32_t>(m_apEntries.size()));
  for (const auto& e : m_apEntries) {
    ar.String(e.m_strQueueFile);
    ar.I32(e.m_bRestrict);
    ar.I32(StoredTime(e.m_timeStop));
    ar.I32(StoredTime(e.m_timeStart));
    ar.I32(e.m_nFrequency);
    ar.I32(e.m_bRecurring);
    ar.I32(e.m_bRunning);
    ar.I32(e.m_bNotify);
    ar.String(e.m_strReceiver);
    ar.String(e.m_strSender);
    ar.String(e.m_strSmtpHost);
  }
  return ar.Bytes();
}

LoadResult CSchedule::Deserialize(const std::string& bytes, const std::string& path,
                                  Notice& notice) {
  using S = ArchiveReader::Status;
  m_apEntries.clear();
  ArchiveReader ar(bytes);
  uint32_t version = 0;
  // An empty file is an empty list: the end of file while reading the
  // version is no error.
  if (ar.U32(&version) != S::kOk) return LoadResult::kOk;
  if (version != 1) {
    notice.Show(kStr1006BadVersion, NoticeIcon::kPlain);
    return LoadResult::kBadVersion;
  }
  uint32_t count = 0;
  if (ar.U32(&count) != S::kOk) {
    notice.Show(WithPath("%1 ends before its count of schedules; it holds no schedules.", path),
                NoticeIcon::kExclamation);
    return LoadResult::kCutShort;
  }
  size_t want = count > kCapacity ? kCapacity : count;
  for (size_t i = 0; i < want; ++i) {
    CScheduleEntry e;
    int32_t stop = 0, start = 0;
    S s = ar.String(&e.m_strQueueFile);
    if (s == S::kOk) s = ar.I32(&e.m_bRestrict);
    if (s == S::kOk) s = ar.I32(&stop);
    if (s == S::kOk) s = ar.I32(&start);
    if (s == S::kOk) s = ar.I32(&e.m_nFrequency);
    if (s == S::kOk) s = ar.I32(&e.m_bRecurring);
    if (s == S::kOk) s = ar.I32(&e.m_bRunning);
    if (s == S::kOk) s = ar.I32(&e.m_bNotify);
    if (s == S::kOk) s = ar.String(&e.m_strReceiver);
    if (s == S::kOk) s = ar.String(&e.m_strSender);
    if (s == S::kOk) s = ar.String(&e.m_strSmtpHost);
    if (s == S::kBadObject) {
      notice.Show(kBadObject, NoticeIcon::kExclamation);
      return LoadResult::kBadObject;
    }
    if (s == S::kEndOfFile) {
      notice.Show(WithPath("%1 is cut short: only the first ", path) + std::to_string(i) +
                      " of its " + std::to_string(count) + " schedules could be read.",
                  NoticeIcon::kExclamation);
      return LoadResult::kCutShort;
    }
    e.m_timeStop = stop;
    e.m_timeStart = start;
    m_apEntries.push_back(std::move(e));
  }
  if (count > kCapacity) {
    notice.Show(WithPath("%1 holds ", path) + std::to_string(count) +
                    " schedules; only the first 256 were read, since the list holds at most "
                    "256.",
                NoticeIcon::kExclamation);
    return LoadResult::kTooMany;
  }
  return LoadResult::kOk;
}

LoadResult CSchedule::Load(Notice& notice) {
  int fd = open(m_strFileName.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 && errno == ENOENT) {
    platform::MakeDirectories(Dir(m_strFileName), 0700);
    fd = open(m_strFileName.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  }
  if (fd < 0) return LoadResult::kOpenFailed;
  struct stat st{};
  std::string bytes;
  bool ok = fstat(fd, &st) == 0;
  if (ok && st.st_size > kMaxFileSize) {
    close(fd);
    m_apEntries.clear();
    notice.Show(WithPath(kFileBadFormat, m_strFileName), NoticeIcon::kExclamation);
    return LoadResult::kReadError;
  }
  char buf[65536];
  int err = 0;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (err) {
    m_apEntries.clear();
    ShowFileError(notice, err, false, m_strFileName);
    return LoadResult::kReadError;
  }
  LoadResult r = Deserialize(bytes, m_strFileName, notice);
  RememberFile();
  return r;
}

bool CSchedule::Save(Notice& notice) {
  struct stat st{};
  mode_t mode = 0600;
  if (stat(m_strFileName.c_str(), &st) == 0) {
    if ((st.st_mode & 0222) == 0) {
      notice.Show(kStr1007ReadOnly, NoticeIcon::kExclamation);
      return false;
    }
    mode = st.st_mode & 0777;
  }
  std::string dir = Dir(m_strFileName);
  platform::MakeDirectories(dir, 0700);
  std::string tmp = m_strFileName + ".XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    ShowFileError(notice, errno, true, m_strFileName);
    return false;
  }
  bool ok = WriteAll(fd, Serialize()) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && rename(tmp.c_str(), m_strFileName.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    unlink(tmp.c_str());
    ShowFileError(notice, err, true, m_strFileName);
    return false;
  }
  // The new name reaches the disk with the folder's entry, not at some
  // later write-back.
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  RememberFile();
  return true;
}

void CSchedule::RememberFile() {
  struct stat st{};
  if (stat(m_strFileName.c_str(), &st) != 0) {
    dev_ = 0, ino_ = 0, mtimeNs_ = -1, size_ = -1;
    return;
  }
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  mtimeNs_ = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  size_ = st.st_size;
}

bool CSchedule::FileChanged() const {
  struct stat st{};
  if (stat(m_strFileName.c_str(), &st) != 0) return mtimeNs_ != -1;
  return st.st_dev != dev_ || st.st_ino != ino_ || st.st_size != size_ ||
         int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec != mtimeNs_;
}

}  // namespace sched
