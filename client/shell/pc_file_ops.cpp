#include "client/shell/pc_file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/session/app_state.h"
#include "client/session/session_store.h"

namespace tarn::shell {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace

std::string PcDeleteQuestion(size_t count) {
  return count == 1 ? "Confirm delete of selected file?" : "Confirm delete of selected files?";
}

std::string PcDeleteFailedText(const std::string& path, const std::string& error) {
  return "Failed to delete file '" + path + "' - " + error;
}

bool DeleteLocalFile(const std::string& path, std::string* error) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = ErrnoText(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = ErrnoText(EISDIR);
    return false;
  }
  if (unlink(path.c_str()) != 0) {
    *error = ErrnoText(errno);
    return false;
  }
  return true;
}

std::string LocalNameProblem(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "The name is not valid";
  for (unsigned char c : name)
    if (c == '/' || c < 0x20 || c == 0x7F) return "A name cannot hold '/' or control characters";
  if (name.size() > 255) return ErrnoText(ENAMETOOLONG);
  return std::string();
}

bool RenameLocalFile(const std::string& folder, const std::string& from, const std::string& to,
                     std::string* error) {
  *error = LocalNameProblem(to);
  if (!error->empty()) return false;
  if (from == to) return true;
  const std::string a = Join(folder, from), b = Join(folder, to);
  // RENAME_NOREPLACE keeps an existing file of the new name whole; where
  // the file system cannot do that atomically, a check comes first.
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) {
    *error = ErrnoText(errno);
    return false;
  }
  struct stat st;
  if (lstat(b.c_str(), &st) == 0) {
    *error = ErrnoText(EEXIST);
    return false;
  }
  if (rename(a.c_str(), b.c_str()) != 0) {
    *error = ErrnoText(errno);
    return false;
  }
  return true;
}

bool CreateLocalFolder(const std::string& folder, const std::string& name, std::string* error) {
  *error = LocalNameProblem(name);
  if (!error->empty()) return false;
  if (mkdir(Join(folder, name).c_str(), 0777) != 0) {
    *error = ErrnoText(errno);
    return false;
  }
  return true;
}

bool ClearResumeStateOf(SessionStore& store, AppState& app, const std::string& sessionName,
                        const std::string& deletedPath) {
  if (sessionName.empty() || deletedPath.empty()) return false;
  ResumeState state;
  if (!store.LoadResumeState(sessionName, &state, &app)) return false;
  if (deletedPath != state.cResumeFileName) return false;
  ResumeState cleared;
  std::memcpy(cleared.cResIsDownLoadDone, "TRUE", sizeof "TRUE");
  store.SaveResumeState(sessionName, cleared);
  app.bLastDownloadDone = 1;
  return true;
}

}  // namespace tarn::shell
