#include "client/session/pc_directory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarn {

namespace fs = std::filesystem;

namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

// Splits at any of `seps`, dropping empty pieces.
std::vector<std::string> SplitParts(const std::string& s, const char* seps) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find_first_of(seps, start);
    if (end == std::string::npos) end = s.size();
    if (end > start) parts.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// mountinfo writes blanks, tabs, newlines and backslashes of paths as
// three-digit octal escapes: "/mnt/my\040share".
std::string UnescapeOctal(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

// gvfs escapes reserved characters of its mount names as %XX.
std::string UnescapePercent(const std::string& s) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// A bind mount of a folder inside a share shows that folder as its root;
// kernels that already name the folder in the source show it twice, so the
// root is added only when the share path does not end with it.
void AddRoot(const std::string& root, std::vector<std::string>* sharePath) {
  std::vector<std::string> extra = SplitParts(root, "/");
  if (extra.empty()) return;
  if (sharePath->size() >= extra.size()) {
    bool already = true;
    for (size_t i = 0; i < extra.size(); ++i)
      if (!EqualsNoCase((*sharePath)[sharePath->size() - extra.size() + i], extra[i])) already = false;
    if (already) return;
  }
  sharePath->insert(sharePath->end(), extra.begin(), extra.end());
}

// "//server/share/folder" (backslashes taken as slashes).
bool ParseSmbSource(std::string source, NetworkMount* m) {
  for (char& c : source)
    if (c == '\\') c = '/';
  if (source.compare(0, 2, "//") != 0) return false;
  std::vector<std::string> parts = SplitParts(source.substr(2), "/");
  if (parts.empty()) return false;
  m->server = parts[0];
  m->sharePath.assign(parts.begin() + 1, parts.end());
  return true;
}

// "server:/export/path", "[fe80::1]:/export".
bool ParseNfsSource(const std::string& source, NetworkMount* m) {
  size_t colon;
  if (!source.empty() && source[0] == '[') {
    size_t close = source.find(']');
    if (close == std::string::npos || close + 1 >= source.size() || source[close + 1] != ':')
      return false;
    m->server = source.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = source.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    m->server = source.substr(0, colon);
  }
  m->sharePath = SplitParts(source.substr(colon + 1), "/");
  return !m->server.empty();
}

bool IsDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// A host's first label, for names that are not addresses: "fs1" of
// "fs1.example.org"; "" for "10.0.0.5" or a name without a dot.
std::string ShortName(const std::string& host) {
  size_t dot = host.find('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string first = host.substr(0, dot);
  for (char c : first)
    if (c < '0' || c > '9') return first;
  return "";
}

bool ServerMatches(const std::string& wanted, const std::string& mounted) {
  if (EqualsNoCase(wanted, mounted)) return true;
  // The network neighbourhood lists computers by their short names; a
  // share is often mounted by the full one, and the other way round.
  if (wanted.find('.') == std::string::npos && EqualsNoCase(wanted, ShortName(mounted))) return true;
  if (mounted.find('.') == std::string::npos && EqualsNoCase(mounted, ShortName(wanted))) return true;
  return false;
}

class SystemTable : public MountTable {
 public:
  SystemTable(std::string mountInfo, std::string gvfsDir)
      : mountInfo_(std::move(mountInfo)), gvfsDir_(std::move(gvfsDir)) {}

  bool NetworkMounts(std::vector<NetworkMount>* out) override {
    out->clear();
    bool readable = false;
    std::ifstream in(mountInfo_, std::ios::binary);
    if (in) {
      std::stringstream ss;
      ss << in.rdbuf();
      *out = ParseMountInfo(ss.str());
      readable = true;
    }
    std::error_code ec;
    fs::directory_iterator it(gvfsDir_, ec), end;
    if (!ec) readable = true;
    for (; !ec && it != end; it.increment(ec)) {
      NetworkMount m;
      if (ParseGvfsMountName(it->path().filename().string(), it->path().string(), &m))
        out->push_back(std::move(m));
    }
    return readable;
  }

 private:
  std::string mountInfo_;
  std::string gvfsDir_;
};

}  // namespace

std::vector<NetworkMount> ParseMountInfo(const std::string& text) {
  std::vector<NetworkMount> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    // 36 35 0:52 / /mnt/docs rw,relatime shared:1 - cifs //fs1/public rw,vers=3.1.1
    std::vector<std::string> f = SplitParts(line, " \t");
    size_t sep = 6;
    while (sep < f.size() && f[sep] != "-") ++sep;
    if (f.size() < 6 || sep + 2 >= f.size()) continue;
    const std::string& type = f[sep + 1];
    std::string source = UnescapeOctal(f[sep + 2]);
    NetworkMount m;
    bool ok = false;
    if (type == "cifs" || type == "smb3" || type == "smbfs")
      ok = ParseSmbSource(source, &m);
    else if (type == "nfs" || type == "nfs4")
      ok = ParseNfsSource(source, &m);
    if (!ok) continue;
    AddRoot(UnescapeOctal(f[3]), &m.sharePath);
    m.mountPoint = UnescapeOctal(f[4]);
    mounts.push_back(std::move(m));
  }
  return mounts;
}

bool ParseGvfsMountName(const std::string& name, const std::string& folder, NetworkMount* out) {
  size_t colon = name.find(':');
  if (colon == std::string::npos) return false;
  const std::string kind = name.substr(0, colon);
  std::string server, share, prefix;
  for (const std::string& pair : SplitParts(name.substr(colon + 1), ",")) {
    size_t eq = pair.find('=');
    if (eq == std::string::npos) continue;
    std::string key = pair.substr(0, eq), value = UnescapePercent(pair.substr(eq + 1));
    if (key == "server" || key == "host") server = value;
    else if (key == "share") share = value;
    else if (key == "prefix") prefix = value;
  }
  NetworkMount m;
  m.server = server;
  m.mountPoint = folder;
  if (kind == "smb-share") {
    if (share.empty()) return false;
    m.sharePath.push_back(share);
    AddRoot(prefix, &m.sharePath);
  } else if (kind == "smb-server") {
    // The server's shares are the folders inside.
  } else if (kind == "nfs") {
    m.sharePath = SplitParts(prefix, "/");
  } else {
    return false;
  }
  if (m.server.empty()) return false;
  *out = std::move(m);
  return true;
}

std::unique_ptr<MountTable> SystemMountTable(const std::string& mountInfo, const std::string& gvfsDir) {
  return std::make_unique<SystemTable>(mountInfo, gvfsDir);
}

std::unique_ptr<MountTable> SystemMountTable() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string base = runtime && *runtime ? runtime : "/run/user/" + std::to_string(getuid());
  return SystemMountTable("/proc/self/mountinfo", base + "/gvfs");
}

bool IsUncPath(const std::string& path) { return path.size() >= 2 && path[0] == '\\' && path[1] == '\\'; }

std::string PcDirectoryMessageText(int message) {
  switch (message) {
    case kPcDirectoryBadFormat:
      return "The initial PC directory specified for this server was\nnot in a format the "
             "application was able to recognize.\nPlease check the initial PC directory.";
    case kPcDirectoryNoNetwork:
      return "A UNC path was specified as the initial PC directory, but\nthe application could not "
             "find the 'Network Neighborhood'\nto search for that directory.";
    case kPcDirectoryNoServer:
      return "The computer specified in the UNC path for the\ninitial PC directory is not available.";
    case kPcDirectoryPathNotFound:
      return "The path specified in the initial PC directory was not found";
    default:
      return "Unknown error finding initial PC directory.\r\nError number: " + std::to_string(message);
  }
}

void ShowPcDirectoryMessage(Ui& ui, int message) {
  ui.MessageBox(PcDirectoryMessageText(message), kPcDirectoryErrorTitle, BoxButtons::kOk,
                BoxIcon::kInformation);
}

PcDirectoryResult FindInitialPcDirectory(const std::string& uncPath, MountTable& table) {
  PcDirectoryResult r;
  size_t slash = IsUncPath(uncPath) ? uncPath.find('\\', 2) : std::string::npos;
  if (slash == std::string::npos || slash == 2) {
    r.message = kPcDirectoryBadFormat;
    return r;
  }
  const std::string server = uncPath.substr(2, slash - 2);
  const std::vector<std::string> parts = SplitParts(uncPath.substr(slash + 1), "\\/");

  std::vector<NetworkMount> mounts;
  if (!table.NetworkMounts(&mounts) || mounts.empty()) {
    r.message = kPcDirectoryNoNetwork;
    return r;
  }
  const NetworkMount* best = nullptr;
  bool serverSeen = false;
  for (const NetworkMount& m : mounts) {
    if (!ServerMatches(server, m.server)) continue;
    serverSeen = true;
    if (m.sharePath.size() > parts.size()) continue;
    bool prefix = true;
    for (size_t i = 0; i < m.sharePath.size() && prefix; ++i)
      prefix = EqualsNoCase(m.sharePath[i], parts[i]);
    if (prefix && (!best || m.sharePath.size() > best->sharePath.size())) best = &m;
  }
  if (!serverSeen) {
    r.message = kPcDirectoryNoServer;
    return r;
  }
  if (!best) {
    r.message = kPcDirectoryPathNotFound;
    return r;
  }

  fs::path current = best->mountPoint;
  for (size_t i = best->sharePath.size(); i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part == "." || part == "..") {
      r.message = kPcDirectoryPathNotFound;  // never walk out of the share
      return r;
    }
    if (IsDirectory(current / part)) {
      current /= part;
      continue;
    }
    std::error_code ec;
    fs::directory_iterator it(current, ec), end;
    fs::path found;
    for (; !ec && it != end; it.increment(ec))
      if (EqualsNoCase(it->path().filename().string(), part) && IsDirectory(it->path())) {
        found = it->path();
        break;
      }
    if (found.empty()) {
      r.message = kPcDirectoryPathNotFound;
      return r;
    }
    current = found;
  }
  if (!IsDirectory(current)) {
    r.message = kPcDirectoryPathNotFound;
    return r;
  }
  r.path = current.string();
  return r;
}

bool LocalDirectoryResolves(const std::string& path, MountTable& mounts) {
  if (IsUncPath(path)) return FindInitialPcDirectory(path, mounts).message == kPcDirectoryFound;
  return !path.empty() && path[0] == '/' && IsDirectory(path);
}

}  // namespace tarn
