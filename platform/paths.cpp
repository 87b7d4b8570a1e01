#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string Env(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}

std::string HomeDirectory() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/";
}

std::string XdgDir(const char* var, const char* fallback) {
  std::string base = Env(var);
  if (base.empty() || base[0] != '/') base = PathJoin(HomeDirectory(), fallback);
  return PathJoin(base, "tarn");
}

}  // namespace

std::string ProgramDirectory() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  auto slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string TempDirectory() {
  std::string t = Env("TMPDIR");
  return t.empty() ? "/tmp" : t;
}

std::string UniqueTempFile(const std::string& dir, const std::string& prefix,
                           std::string* error) {
  std::string tmpl = PathJoin(dir, prefix + "XXXXXX");
  int fd = mkstemp(tmpl.data());
  if (fd < 0) {
    if (error) *error = strerror(errno);
    return "";
  }
  close(fd);
  return tmpl;
}

std::string ConfigDirectory() {
  std::string dir = Env("TARN_CONFIG_DIR");
  if (!dir.empty()) return dir;
  return XdgDir("XDG_CONFIG_HOME", ".config");
}

std::string DataDirectory() { return XdgDir("XDG_DATA_HOME", ".local/share"); }
std::string StateDirectory() { return XdgDir("XDG_STATE_HOME", ".local/state"); }

bool MakeDirectories(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  struct stat st{};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash), mode);
  if (mkdir(path.c_str(), mode) == 0) return true;
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string PathJoin(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  if (a.back() == '/') return b.front() == '/' ? a + b.substr(1) : a + b;
  return b.front() == '/' ? a + b : a + "/" + b;
}

std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool FileStat(const std::string& path, int64_t* size, int64_t* mtime) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return false;
  if (size) *size = st.st_size;
  if (mtime) *mtime = st.st_mtime;
  return true;
}

}  // namespace platform
