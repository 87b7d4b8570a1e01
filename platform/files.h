// Local files by descriptor, for the byte loops of transfers: every call is
// one system call (or a loop of them over EINTR and short writes) and fails
// with errno set, so that the caller can give the system's own reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class OpenFor {
  kRead,            // an existing file, read only
  kWrite,           // an existing file, for writing, its content kept
  kReplace,         // made or emptied, with `mode` (less the umask)
  kPrivateReplace,  // made or emptied, mode 0600, never through a symbolic link
};

// Opens `path` (close-on-exec); the descriptor, or -1 with errno.
int OpenFile(const std::string& path, OpenFor how, unsigned mode = 0666);

// Makes a new file from `*pathTemplate`, whose last six characters are
// "XXXXXX", and puts its name there; the descriptor, or -1 with errno.
int CreateUniqueFile(std::string* pathTemplate);

void CloseFile(int fd);

// Writes all `n` bytes; false with `*err` set to errno.
bool WriteFully(int fd, const char* data, size_t n, int* err);

// Reads at most `n` bytes: the count, 0 at the end, -1 with errno.
long ReadSome(int fd, char* buf, size_t n);

// The size of the open file (its end); -1 with errno.
int64_t FileEnd(int fd);

// Sets the permission bits of the open file.
bool SetFileMode(int fd, unsigned mode);

// Flushes the file to the disk (its data only with `dataOnly`).
bool SyncFile(int fd, bool dataOnly);

// What stat() tells of a path or an open file.
struct FileInfo {
  bool exists = false;
  bool regular = false;  // a regular file (not a device, folder or pipe)
  bool directory = false;
  int64_t size = 0;
  unsigned mode = 0;     // permission bits
};
FileInfo PathInfo(const std::string& path);
FileInfo OpenFileInfo(int fd);

// Renames `from` over `to`; false with errno.
bool RenameFile(const std::string& from, const std::string& to);

// Removes the file; false with errno.
bool RemoveFile(const std::string& path);

}  // namespace platform
