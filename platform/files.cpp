#include "platform/files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

namespace {

FileInfo InfoOf(const struct stat& st) {
  FileInfo info;
  info.exists = true;
  info.regular = S_ISREG(st.st_mode);
  info.directory = S_ISDIR(st.st_mode);
  info.size = static_cast<int64_t>(st.st_size);
  info.mode = static_cast<unsigned>(st.st_mode & 07777);
  return info;
}

}  // namespace

int OpenFile(const std::string& path, OpenFor how, unsigned mode) {
  switch (how) {
    case OpenFor::kRead: return open(path.c_str(), O_RDONLY | O_CLOEXEC);
    case OpenFor::kWrite: return open(path.c_str(), O_WRONLY | O_CLOEXEC);
    case OpenFor::kReplace:
      return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(mode));
    case OpenFor::kPrivateReplace:
      return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  }
  errno = EINVAL;
  return -1;
}

int CreateUniqueFile(std::string* pathTemplate) { return mkostemp(pathTemplate->data(), O_CLOEXEC); }

void CloseFile(int fd) {
  if (fd >= 0) close(fd);
}

bool WriteFully(int fd, const char* data, size_t n, int* err) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

long ReadSome(int fd, char* buf, size_t n) {
  for (;;) {
    ssize_t r = read(fd, buf, n);
    if (r < 0 && errno == EINTR) continue;
    return static_cast<long>(r);
  }
}

int64_t FileEnd(int fd) { return static_cast<int64_t>(lseek(fd, 0, SEEK_END)); }

bool SetFileMode(int fd, unsigned mode) { return fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0; }

bool SyncFile(int fd, bool dataOnly) { return (dataOnly ? fdatasync(fd) : fsync(fd)) == 0; }

FileInfo PathInfo(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return FileInfo{};
  return InfoOf(st);
}

FileInfo OpenFileInfo(int fd) {
  struct stat st{};
  if (fstat(fd, &st) != 0) return FileInfo{};
  return InfoOf(st);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

}  // namespace platform
