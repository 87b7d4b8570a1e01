#include "tools/host_personality/host_personality.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

namespace tarn::testing {

namespace {

// Longest wait for the client's side of a data connection.
constexpr int kDataWaitMs = 10000;
// How often a waiting thread looks at the stop flag.
constexpr int kPollMs = 100;
// Longest command line kept; the rest of a longer one is dropped.
constexpr size_t kMaxLine = 4096;

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

std::string Fmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

// Lines of a listing, each ended by CR LF.
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

size_t LineCount(const std::string& data) {
  size_t n = static_cast<size_t>(std::count(data.begin(), data.end(), '\n'));
  return n + (!data.empty() && data.back() != '\n');
}

struct Stamp {
  int year, month, day, hour, minute, second;
};

Stamp Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// ASCII transfers: lines end in CR LF on the wire and in LF on the host.
std::string ToWire(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 16);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out += '\r';
    out += s[i];
  }
  return out;
}

std::string FromWire(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
  return out;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int ListenLoopback(uint16_t port, uint16_t* bound) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return -1;
  }
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *bound = ntohs(sa.sin_port);
  return fd;
}

// ---------------------------------------------------------------------------
// The host behind the protocol
// ---------------------------------------------------------------------------

}  // namespace

// What one control connection has set.
struct HostSession {
  std::string user;
  bool loggedOn = false;
  std::string cwd;
  int mode = 0;          // the host's own: MVS 0 name prefix, 1 PDS, 2 UNIX files
  bool dosStyle = true;  // Windows: MS-DOS style listings
  bool vseNative = false;  // VSE: SITE UNIX OFF accepted
};

// The host's side of each command. Its files are shared by every
// connection, so each call takes the host's lock.
class Host {
 public:
  explicit Host(const PersonalityOptions& o) : options_(o) {}
  virtual ~Host() = default;

  virtual std::string Banner() const { return "220 FTP server ready."; }
  virtual std::string Syst() const = 0;
  virtual void LogOn(HostSession* s) = 0;  // sets the start directory
  virtual std::string LoggedOn(const HostSession&) const { return "230 User logged in."; }
  virtual std::string Site(HostSession*, const std::string&) { return "200 SITE command was accepted"; }
  virtual std::string Pwd(const HostSession& s) const = 0;
  virtual std::string Cwd(HostSession* s, const std::string& arg) = 0;
  virtual std::string Cdup(HostSession* s) = 0;
  // LIST: the listing (lines ended by CR LF), or false and the refusal.
  virtual bool List(HostSession* s, std::string* text, std::string* refusal) = 0;
  // RETR: the file (lines ended by LF), or false and the refusal.
  virtual bool Retr(HostSession* s, const std::string& name, std::string* data, std::string* refusal) = 0;
  // STOR: with `data` null only whether the name can be stored.
  virtual bool Stor(HostSession* s, const std::string& name, const std::string* data,
                    std::string* refusal) = 0;
  virtual std::optional<std::string> File(const std::string& name) const = 0;

  virtual std::string TypeReply(char type) const { return Fmt("200 Type set to %c.", type); }
  virtual std::string ListStarted() const { return "150 Opening ASCII mode data connection for file list."; }
  virtual std::string ListDone() const { return "226 Transfer complete."; }
  virtual std::string RetrStarted(const std::string& name) const {
    return "150 Opening data connection for " + name + ".";
  }
  virtual std::string StorStarted(const std::string& name) const {
    return "150 Opening data connection for " + name + ".";
  }
  virtual std::string TransferDone() const { return "226 Transfer complete."; }

 protected:
  PersonalityOptions options_;
  mutable std::mutex mu_;
};

namespace {

// ---------------------------------------------------------------------------
// A directory tree of plain files: NetWare, Windows, and the UNIX side of
// the MVS host
// ---------------------------------------------------------------------------

class FileTree {
 public:
  // Adds `path` ("/a/b") and every directory above it.
  void AddDir(const std::string& path) {
    if (path.size() < 2) return;
    for (size_t p = path.find('/', 1);; p = path.find('/', p + 1)) {
      dirs_.insert(path.substr(0, p));
      if (p == std::string::npos) break;
    }
  }
  void AddFile(const std::string& path, const std::string& data) {
    AddDir(Parent(path));
    files_[path] = data;
  }
  bool IsDir(const std::string& path) const { return path == "/" || dirs_.count(path) > 0; }
  const std::string* FileData(const std::string& path) const {
    auto it = files_.find(path);
    return it == files_.end() ? nullptr : &it->second;
  }

  struct Entry {
    std::string name;
    bool dir;
    size_t size;
  };
  std::vector<Entry> Entries(const std::string& dir) const {
    std::vector<Entry> out;
    const std::string prefix = dir == "/" ? "/" : dir + "/";
    for (const auto& d : dirs_)
      if (d.size() > prefix.size() && d.compare(0, prefix.size(), prefix) == 0 &&
          d.find('/', prefix.size()) == std::string::npos)
        out.push_back({d.substr(prefix.size()), true, 0});
    for (const auto& [path, data] : files_)
      if (path.compare(0, prefix.size(), prefix) == 0 &&
          path.find('/', prefix.size()) == std::string::npos)
        out.push_back({path.substr(prefix.size()), false, data.size()});
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return out;
  }

  static std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
  }
  // `arg` typed at `cwd`: absolute or relative, with "." and ".." and
  // either slash.
  static std::string Resolve(const std::string& cwd, std::string arg) {
    std::replace(arg.begin(), arg.end(), '\\', '/');
    std::vector<std::string> parts;
    const std::string full = !arg.empty() && arg[0] == '/' ? arg : cwd + "/" + arg;
    size_t p = 0;
    while (p <= full.size()) {
      size_t q = full.find('/', p);
      if (q == std::string::npos) q = full.size();
      const std::string part = full.substr(p, q - p);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      p = q + 1;
    }
    std::string out;
    for (const auto& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
  }

  // ls -l lines, as UNIX servers print them.
  std::string UnixListing(const std::string& dir, const std::string& owner,
                          const std::string& group) const {
    std::vector<std::string> lines;
    lines.push_back(Fmt("total %zu", Entries(dir).size() * 8));
    for (const auto& e : Entries(dir))
      lines.push_back(Fmt("%s   %d %-8s %-8s %10zu Dec 19  2002 %s",
                          e.dir ? "drwxr-xr-x" : "-rw-r--r--", e.dir ? 2 : 1, owner.c_str(),
                          group.c_str(), e.dir ? size_t{8192} : e.size, e.name.c_str()));
    return Lines(lines);
  }

 private:
  std::set<std::string> dirs_;
  std::map<std::string, std::string> files_;
};

// Replies of a FileTree host to the directory commands.
std::string TreeCwd(const FileTree& tree, HostSession* s, const std::string& arg) {
  const std::string dir = FileTree::Resolve(s->cwd, arg);
  if (!tree.IsDir(dir)) return "550 " + arg + ": The system cannot find the file specified.";
  s->cwd = dir;
  return "250 CWD command successful.";
}

// ---------------------------------------------------------------------------
// MVS
// ---------------------------------------------------------------------------

struct MvsMember {
  bool stats = true;
  int vv = 1, mm = 0;
  Stamp created{2002, 12, 1, 0, 0, 0};
  Stamp changed{2002, 12, 19, 10, 15, 0};
  int init = 0, mod = 0;
  std::string id;
  std::string data;
  // Load modules.
  std::string ttr, aliasOf, ac, attributes, amode, rmode;
};

enum class MvsState { kCataloged, kMigrated, kVsamCluster, kVsamComponent, kError, kNotMounted, kTape };

struct MvsDataset {
  MvsState state = MvsState::kCataloged;
  std::string volume = "WORK01", unit = "3390", referred = "2002/12/19";
  int ext = 1, used = 1;
  std::string recfm = "FB";
  int lrecl = 80, blksz = 6160;
  std::string dsorg = "PS";
  std::string data;
  std::map<std::string, MvsMember> members;
};

// z/OS-like: data-set names in qualifiers of up to eight characters, a
// working directory that is a name prefix ("USER1.") or a PDS, and behind
// "/" a UNIX file system.
class MvsHost : public Host {
 public:
  explicit MvsHost(const PersonalityOptions& o) : Host(o) {
    const std::string u = Upper(o.user);
    hlq_ = u;
    hfsHome_ = "/u/" + [&] {
      std::string l = o.user;
      for (char& c : l) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      return l;
    }();
    hfs_.AddFile(hfsHome_ + "/notes.txt", "Notes kept on the UNIX side.\n");
    hfs_.AddFile(hfsHome_ + "/src/hello.c", "int main(void) { return 0; }\n");

    MvsDataset cntl;
    cntl.dsorg = "PO";
    cntl.used = 15;
    cntl.members["ALLOCJCL"] = Member("//ALLOCJCL JOB (ACCT),'ALLOCATE',CLASS=A\n"
                                      "//STEP1    EXEC PGM=IEFBR14\n"
                                      "//NEWDS    DD DSN=" + u + ".NEW.DATA,DISP=(NEW,CATLG)\n",
                                      1, 3, Stamp{2002, 12, 19, 10, 15, 0});
    cntl.members["BACKUP"] = Member("//BACKUP  JOB (ACCT),'BACKUP',CLASS=A\n", 1, 0,
                                    Stamp{2003, 1, 7, 8, 30, 0});
    MvsMember plain;
    plain.stats = false;
    plain.data = "A MEMBER SAVED WITHOUT STATISTICS\n";
    cntl.members["NOSTATS"] = plain;
    datasets_[u + ".CNTL"] = cntl;

    MvsDataset clist;
    clist.dsorg = "PO";
    clist.volume = "WORK02";
    clist.recfm = "VB";
    clist.lrecl = 255;
    clist.blksz = 27998;
    clist.referred = "2002/12/18";
    clist.members["LOGON"] = Member("PROC 0\nWRITE HELLO\nEND\n", 2, 1, Stamp{2002, 11, 30, 17, 2, 0});
    datasets_[u + ".CLIST"] = clist;

    MvsDataset load;
    load.dsorg = "PO";
    load.recfm = "U";
    load.lrecl = 0;
    load.blksz = 32760;
    load.members["IEFBR14"] = Module(0x000A10, "00000F", "", "00", "FO             RN RU", "31", "ANY");
    load.members["PAYROLL"] = Module(0x01F3C8, "000012", "", "01", "FO             RN RU", "31", "ANY");
    load.members["PAYRL"] = Module(0x01F3C8, "000012", "PAYROLL", "01", "FO             RN RU", "31", "ANY");
    datasets_[u + ".LOAD"] = load;

    MvsDataset text;
    text.data = "LINE ONE OF A SEQUENTIAL DATA SET\nLINE TWO\n";
    text.blksz = 3120;
    datasets_[u + ".DATA.TXT"] = text;

    MvsDataset never;
    never.referred = "**NONE**";
    never.used = 0;
    datasets_[u + ".EMPTY"] = never;

    MvsDataset migrated;
    migrated.state = MvsState::kMigrated;
    datasets_[u + ".OLD.DATA"] = migrated;

    MvsDataset cluster;
    cluster.state = MvsState::kVsamCluster;
    datasets_[u + ".KSDS"] = cluster;
    MvsDataset component;
    component.state = MvsState::kVsamComponent;
    datasets_[u + ".KSDS.DATA"] = component;

    MvsDataset error;
    error.state = MvsState::kError;
    datasets_[u + ".BROKEN"] = error;

    MvsDataset unmounted;
    unmounted.state = MvsState::kNotMounted;
    unmounted.volume = "ARCH01";
    datasets_[u + ".ARCHIVE"] = unmounted;

    MvsDataset tape;
    tape.state = MvsState::kTape;
    tape.volume = "T00001";
    datasets_[u + ".TAPECOPY"] = tape;

    // A level below the user's: listed there as a pseudo directory.
    MvsDataset cobol;
    cobol.dsorg = "PO";
    cobol.members["PAYROLL"] = Member("       IDENTIFICATION DIVISION.\n       PROGRAM-ID. PAYROLL.\n",
                                      1, 4, Stamp{2002, 10, 4, 10, 56, 0});
    datasets_[u + ".PROJ.SRC.COBOL"] = cobol;
  }

  std::string Banner() const override {
    return "220-FTPD1 IBM FTP CS V2R10 at MVSHOST, 10:15:00 on 2002-12-19.\r\n"
           "220 Connection will close if idle for more than 5 minutes.";
  }
  std::string Syst() const override {
    return "215 MVS is the operating system of this server. FTP Server is running on z/OS.";
  }
  void LogOn(HostSession* s) override {
    s->mode = kPrefix;
    s->cwd = hlq_ + ".";
  }
  std::string LoggedOn(const HostSession& s) const override {
    return Fmt("230 %s is logged on.  Working directory is \"%s\".", Upper(s.user).c_str(),
               s.cwd.c_str());
  }
  std::string TypeReply(char type) const override {
    return type == 'I' ? "200 Representation type is Image" : "200 Representation type is Ascii NonPrint";
  }
  std::string ListStarted() const override { return "125 List started OK"; }
  std::string ListDone() const override { return "250 List completed successfully."; }
  std::string RetrStarted(const std::string& name) const override {
    return "125 Sending data set " + name;
  }
  std::string StorStarted(const std::string& name) const override {
    return "125 Storing data set " + name;
  }
  std::string TransferDone() const override { return "250 Transfer completed successfully."; }

  std::string Pwd(const HostSession& s) const override {
    if (s.mode == kHfs) return "257 \"" + s.cwd + "\" is the HFS working directory.";
    if (s.mode == kPds) return "257 \"'" + s.cwd + "'\" partitioned data set is working directory.";
    return "257 \"'" + s.cwd + "'\" is working directory name prefix.";
  }

  std::string Cwd(HostSession* s, const std::string& argIn) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::string arg = Trim(argIn);
    std::string unquoted = Unquote(arg);
    if (!unquoted.empty() && unquoted[0] == '/') return HfsCwd(s, FileTree::Resolve("/", unquoted));
    if (s->mode == kHfs && !arg.empty() && arg[0] != '\'') return HfsCwd(s, FileTree::Resolve(s->cwd, arg));
    std::string name, member;
    if (!Qualify(*s, arg, &name, &member) || !member.empty())
      return "501 Invalid data set name \"" + arg + "\".  Use MVS Dsname conventions.";
    auto it = datasets_.find(name);
    if (it != datasets_.end() && it->second.state == MvsState::kCataloged && it->second.dsorg == "PO") {
      s->mode = kPds;
      s->cwd = name;
      return "250 The working directory \"" + name + "\" is a partitioned data set";
    }
    s->mode = kPrefix;
    s->cwd = name + ".";
    return "250 \"" + s->cwd + "\" is the working directory name prefix.";
  }

  std::string Cdup(HostSession* s) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (s->mode == kHfs) return HfsCwd(s, FileTree::Parent(s->cwd));
    std::string name = s->cwd;
    if (!name.empty() && name.back() == '.') name.pop_back();
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    s->mode = kPrefix;
    s->cwd = name + ".";
    return "250 \"" + s->cwd + "\" is the working directory name prefix.";
  }

  std::string Site(HostSession*, const std::string& arg) override {
    const std::string a = Upper(Trim(arg));
    if (a.compare(0, 8, "LISTFMT=") == 0 && a != "LISTFMT=IBM" && a != "LISTFMT=UNIX")
      return "501 Invalid SITE parameter " + arg;
    return "200 SITE command was accepted";
  }

  bool List(HostSession* s, std::string* text, std::string*) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (s->mode == kHfs) {
      *text = hfs_.UnixListing(s->cwd, Upper(options_.user), "SYS1");
      return true;
    }
    if (s->mode == kPds) {
      *text = PdsListing(datasets_.at(s->cwd));
      return true;
    }
    *text = LevelListing(s->cwd);
    return true;
  }

  bool Retr(HostSession* s, const std::string& arg, std::string* data, std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (IsHfsName(*s, arg)) {
      const std::string path = FileTree::Resolve(s->cwd, Unquote(arg));
      const std::string* d = hfs_.FileData(path);
      if (!d) return Refuse(refusal, "550 " + path + ": No such file or directory.");
      *data = *d;
      return true;
    }
    std::string name, member;
    if (!Qualify(*s, arg, &name, &member)) return Refuse(refusal, "501 Invalid data set name " + arg);
    auto it = datasets_.find(name);
    if (it == datasets_.end()) return Refuse(refusal, "550 Data set " + name + " not found.");
    const MvsDataset& ds = it->second;
    if (ds.state == MvsState::kMigrated)
      return Refuse(refusal, "550 Data set " + name + " is migrated. Recall it first.");
    if (ds.state != MvsState::kCataloged)
      return Refuse(refusal, "550 Data set " + name + " cannot be retrieved.");
    if (member.empty()) {
      if (ds.dsorg == "PO") return Refuse(refusal, "550 Data set " + name + " is a partitioned data set.");
      *data = ds.data;
      return true;
    }
    auto m = ds.members.find(member);
    if (ds.dsorg != "PO" || m == ds.members.end())
      return Refuse(refusal, "550 Member " + member + " not found in " + name + ".");
    *data = m->second.data;
    return true;
  }

  bool Stor(HostSession* s, const std::string& arg, const std::string* data,
            std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (IsHfsName(*s, arg)) {
      const std::string path = FileTree::Resolve(s->cwd, Unquote(arg));
      if (!hfs_.IsDir(FileTree::Parent(path)))
        return Refuse(refusal, "550 " + path + ": No such file or directory.");
      if (data) hfs_.AddFile(path, *data);
      return true;
    }
    std::string name, member;
    if (!Qualify(*s, arg, &name, &member)) return Refuse(refusal, "501 Invalid data set name " + arg);
    auto it = datasets_.find(name);
    if (member.empty()) {
      if (it != datasets_.end() && (it->second.dsorg != "PS" || it->second.state != MvsState::kCataloged))
        return Refuse(refusal, "550 Data set " + name + " cannot be replaced.");
      if (data) {
        MvsDataset& ds = datasets_[name];
        ds.data = *data;
        ds.used = static_cast<int>(1 + data->size() / 56000);
      }
      return true;
    }
    if (it == datasets_.end() || it->second.dsorg != "PO")
      return Refuse(refusal, "550 Data set " + name + " is not a partitioned data set.");
    if (it->second.recfm == "U")
      return Refuse(refusal, "550 Members of load library " + name + " cannot be stored.");
    if (data) {
      MvsMember m = Member(*data, 1, 0, Now());
      m.created = Now();
      m.id = Upper(s->user).substr(0, 7);
      it->second.members[member] = m;
    }
    return true;
  }

  std::optional<std::string> File(const std::string& nameIn) const override {
    std::lock_guard<std::mutex> lock(mu_);
    if (!nameIn.empty() && nameIn[0] == '/') {
      const std::string* d = hfs_.FileData(nameIn);
      return d ? std::optional<std::string>(*d) : std::nullopt;
    }
    const std::string name = Upper(nameIn);
    const size_t open = name.find('(');
    auto it = datasets_.find(name.substr(0, open));
    if (it == datasets_.end()) return std::nullopt;
    if (open == std::string::npos) return it->second.data;
    const size_t close = name.find(')', open);
    auto m = it->second.members.find(name.substr(open + 1, close == std::string::npos ? close : close - open - 1));
    if (m == it->second.members.end()) return std::nullopt;
    return m->second.data;
  }

 private:
  enum { kPrefix = 0, kPds = 1, kHfs = 2 };

  MvsMember Member(const std::string& data, int vv, int mm, Stamp changed) const {
    MvsMember m;
    m.data = data;
    m.vv = vv;
    m.mm = mm;
    m.changed = changed;
    m.init = static_cast<int>(LineCount(data));
    m.id = Upper(options_.user).substr(0, 7);
    return m;
  }

  static MvsMember Module(unsigned size, const char* ttr, const char* alias, const char* ac,
                          const char* attributes, const char* amode, const char* rmode) {
    MvsMember m;
    m.data.assign(size, '\0');
    for (size_t i = 0; i < m.data.size(); ++i) m.data[i] = static_cast<char>(i * 7 + 3);
    m.ttr = ttr;
    m.aliasOf = alias;
    m.ac = ac;
    m.attributes = attributes;
    m.amode = amode;
    m.rmode = rmode;
    return m;
  }

  static bool Refuse(std::string* refusal, const std::string& text) {
    *refusal = text;
    return false;
  }

  static std::string Unquote(std::string s) {
    if (!s.empty() && s.front() == '\'') s.erase(0, 1);
    if (!s.empty() && s.back() == '\'') s.pop_back();
    return s;
  }

  bool IsHfsName(const HostSession& s, const std::string& arg) const {
    const std::string u = Unquote(arg);
    return (!u.empty() && u[0] == '/') || (s.mode == kHfs && (arg.empty() || arg[0] != '\''));
  }

  std::string HfsCwd(HostSession* s, const std::string& path) {
    if (!hfs_.IsDir(path)) return "550 " + path + ": No such file or directory.";
    s->mode = kHfs;
    s->cwd = path;
    return "250 HFS directory " + path + " is the current working directory";
  }

  // A qualifier: one to eight of A-Z, 0-9, @, #, $ and -, not beginning
  // with a digit or "-".
  static bool ValidQualifier(std::string_view q) {
    if (q.empty() || q.size() > 8) return false;
    for (size_t i = 0; i < q.size(); ++i) {
      const char c = q[i];
      const bool national = c == '@' || c == '#' || c == '$';
      const bool alpha = c >= 'A' && c <= 'Z';
      const bool digit = (c >= '0' && c <= '9') || c == '-';
      if (!(alpha || national || (i > 0 && digit))) return false;
    }
    return true;
  }

  // The fully qualified name of `arg`: in quotes as it stands, otherwise
  // below the working directory (a bare name in a PDS is one of its
  // members). False for a name MVS would refuse.
  bool Qualify(const HostSession& s, const std::string& argIn, std::string* name, std::string* member) const {
    std::string arg = Upper(Trim(argIn));
    std::string full;
    if (!arg.empty() && arg[0] == '\'') {
      full = Unquote(arg);
    } else if (s.mode == kPds && arg.find('.') == std::string::npos && arg.find('(') == std::string::npos) {
      full = s.cwd + "(" + arg + ")";
    } else {
      std::string prefix = s.cwd;
      if (s.mode == kPds) prefix = prefix.substr(0, prefix.rfind('.') + 1);
      full = prefix + arg;
    }
    member->clear();
    const size_t open = full.find('(');
    if (open != std::string::npos) {
      if (full.back() != ')') return false;
      *member = full.substr(open + 1, full.size() - open - 2);
      full.resize(open);
      if (!ValidQualifier(*member)) return false;
    }
    while (!full.empty() && full.back() == '.') full.pop_back();
    if (full.empty() || full.size() > 44) return false;
    size_t start = 0;
    for (size_t dot; (dot = full.find('.', start)) != std::string::npos; start = dot + 1)
      if (!ValidQualifier(std::string_view(full).substr(start, dot - start))) return false;
    if (!ValidQualifier(std::string_view(full).substr(start))) return false;
    *name = full;
    return true;
  }

  // The listing of a name prefix: every data set one qualifier below it,
  // and the next qualifier of deeper ones as a pseudo directory.
  std::string LevelListing(const std::string& prefix) const {
    std::vector<std::string> lines;
    lines.push_back("Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname");
    std::set<std::string> pseudo;
    for (const auto& [name, ds] : datasets_) {
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string rel = name.substr(prefix.size());
      const size_t dot = rel.find('.');
      if (dot != std::string::npos && rel.find('.', dot + 1) != std::string::npos) {
        if (pseudo.insert(rel.substr(0, dot)).second)
          lines.push_back(Fmt("%-56s%s", "Pseudo Directory", rel.substr(0, dot).c_str()));
        continue;
      }
      const char* r = rel.c_str();
      switch (ds.state) {
        case MvsState::kCataloged:
          lines.push_back(Fmt("%-6s %-4s   %-10s %3d %4d  %-5s %5d %5d  %-4s %s",
                              ds.volume.c_str(), ds.unit.c_str(), ds.referred.c_str(), ds.ext,
                              ds.used, ds.recfm.c_str(), ds.lrecl, ds.blksz, ds.dsorg.c_str(), r));
          break;
        case MvsState::kMigrated: lines.push_back(Fmt("%-56s%s", "Migrated", r)); break;
        case MvsState::kVsamCluster: lines.push_back(Fmt("%50s%-6s%s", "", "VSAM", r)); break;
        case MvsState::kVsamComponent:
          lines.push_back(Fmt("%-6s %-4s %-44s%s", ds.volume.c_str(), ds.unit.c_str(), "VSAM", r));
          break;
        case MvsState::kError:
          lines.push_back(Fmt("%-56s%s", "Error determining attributes", r));
          break;
        case MvsState::kNotMounted:
          lines.push_back(Fmt("%-6s %-49s%s", ds.volume.c_str(), "Not Mounted", r));
          break;
        case MvsState::kTape:
          lines.push_back(Fmt("%-6s %-49s%s", ds.volume.c_str(), "Tape", r));
          break;
      }
    }
    return Lines(lines);
  }

  // A PDS: members with ISPF statistics (lines padded to 72 columns, as
  // the server prints them), or a load library's modules.
  static std::string PdsListing(const MvsDataset& ds) {
    std::vector<std::string> lines;
    if (ds.recfm == "U") {
      lines.push_back(" Name      Size   TTR   Alias-of AC --------- Attributes --------- Amode Rmode");
      for (const auto& [name, m] : ds.members)
        lines.push_back(Fmt("%-8s  %06zX %-6s %-8s %-2s %-30s %-5s %s", name.c_str(), m.data.size(),
                            m.ttr.c_str(), m.aliasOf.c_str(), m.ac.c_str(), m.attributes.c_str(),
                            m.amode.c_str(), m.rmode.c_str()));
      return Lines(lines);
    }
    lines.push_back(" Name     VV.MM   Created       Changed      Size  Init   Mod   Id");
    for (const auto& [name, m] : ds.members) {
      if (!m.stats) {
        lines.push_back(name);
        continue;
      }
      lines.push_back(Fmt("%-8s  %02d.%02d %04d/%02d/%02d %04d/%02d/%02d %02d:%02d %5zu %5d %5d %-10s",
                          name.c_str(), m.vv, m.mm, m.created.year, m.created.month, m.created.day,
                          m.changed.year, m.changed.month, m.changed.day, m.changed.hour,
                          m.changed.minute, LineCount(m.data), m.init, m.mod, m.id.c_str()));
    }
    return Lines(lines);
  }

  std::string hlq_;
  std::string hfsHome_;
  std::map<std::string, MvsDataset> datasets_;
  FileTree hfs_;
};

// ---------------------------------------------------------------------------
// VM
// ---------------------------------------------------------------------------

struct VmFile {
  char format = 'V';
  std::string data;
  std::string date = "2002-12-19 10:15:30";
};

// z/VM-like: a shared-file-system directory tree under "VMSYSU:USER1." and
// a minidisk "USER1.191"; files FNAME FTYPE.
class VmHost : public Host {
 public:
  explicit VmHost(const PersonalityOptions& o) : Host(o) {
    const std::string u = Upper(o.user);
    root_ = "VMSYSU:" + u + ".";
    minidisk_ = u + ".191";
    dirs_[root_]["PROFILE.EXEC"] = {'V', "/* PROFILE EXEC */\n'ACCESS 191 A'\n'SET PF12 RETRIEVE'\n"};
    dirs_[root_]["DATA.FILE"] = {'F', std::string(100, 'X') + "\n"};
    dirs_[root_]["NOTES.TEXT"] = {'V', "Notes kept on the VM host.\n"};
    dirs_[root_ + "PROJ."]["PLAN.SCRIPT"] = {'V', ".* A plan\nFirst step.\n"};
    dirs_[minidisk_]["PROFILE.XEDIT"] = {'V', "SET CASE MIXED IGNORE\n", "12/19/02 09:00:00"};
    dirs_[minidisk_]["ALL.NOTEBOOK"] = {'F', "MAIL\n", "12/19/61 09:00:00"};
  }

  std::string Banner() const override { return "220-FTPSERVE IBM VM Level 540 at VMHOST\r\n220 Connection will close if idle for more than 5 minutes."; }
  std::string Syst() const override { return "215 z/VM Version 5 Release 4.0, service level 1001 (64-bit), VM/CMS Level 24"; }
  void LogOn(HostSession* s) override { s->cwd = root_; }
  std::string LoggedOn(const HostSession& s) const override {
    return Fmt("230 %s logged in; working directory = %s", Upper(s.user).c_str(), s.cwd.c_str());
  }
  std::string Pwd(const HostSession& s) const override { return "257 \"" + s.cwd + "\" is working directory."; }

  std::string Cwd(HostSession* s, const std::string& arg) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::string dir = Upper(Trim(arg));
    if (dir == "..") return Up(s);
    if (dir.find(':') == std::string::npos && dir != minidisk_) {
      if (!dir.empty() && dir.back() != '.') dir += '.';
      dir = (s->cwd == minidisk_ ? root_ : s->cwd) + dir;
    } else if (dir != minidisk_ && dir.back() != '.') {
      dir += '.';
    }
    if (!IsDir(dir)) return "550 Directory " + Trim(arg) + " not found";
    s->cwd = dir;
    if (dir == minidisk_) return "250 Working directory is " + Upper(options_.user) + " 191";
    return "250 Working directory is " + dir;
  }
  std::string Cdup(HostSession* s) override {
    std::lock_guard<std::mutex> lock(mu_);
    return Up(s);
  }

  bool List(HostSession* s, std::string* text, std::string*) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> lines;
    // Subdirectories first, as the server lists them.
    for (const auto& [dir, files] : dirs_) {
      if (dir == s->cwd || dir.compare(0, s->cwd.size(), s->cwd) != 0 || s->cwd == minidisk_) continue;
      const std::string rest = dir.substr(s->cwd.size(), dir.size() - s->cwd.size() - 1);
      if (rest.find('.') != std::string::npos) continue;
      lines.push_back(Fmt("%-8s %-8s %-3s %8s %10s %10s %s", rest.c_str(), "", "DIR", "-", "-", "-",
                          "2002-12-19 10:15:30"));
    }
    auto it = dirs_.find(s->cwd);
    if (it != dirs_.end()) {
      for (const auto& [name, f] : it->second) {
        const size_t dot = name.find('.');
        const size_t records = LineCount(f.data);
        size_t lrecl = 80;
        if (f.format == 'V') {
          lrecl = 1;
          for (size_t p = 0, q; p < f.data.size(); p = q + 1) {
            q = f.data.find('\n', p);
            if (q == std::string::npos) q = f.data.size();
            lrecl = std::max(lrecl, q - p);
          }
        }
        const size_t blocks = std::max<size_t>(1, (records * lrecl + 4095) / 4096);
        lines.push_back(Fmt("%-8s %-8s %-3c %8zu %10zu %10zu %s", name.substr(0, dot).c_str(),
                            name.substr(dot + 1).c_str(), f.format, lrecl, records, blocks,
                            f.date.c_str()));
      }
    }
    *text = Lines(lines);
    return true;
  }

  bool Retr(HostSession* s, const std::string& name, std::string* data, std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = dirs_.find(s->cwd);
    const std::string key = Upper(Trim(name));
    if (it == dirs_.end() || !it->second.count(key)) {
      *refusal = "550 File " + key + " not found";
      return false;
    }
    *data = it->second.at(key).data;
    return true;
  }

  bool Stor(HostSession* s, const std::string& name, const std::string* data,
            std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    const std::string key = Upper(Trim(name));
    const size_t dot = key.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 8 || key.size() - dot - 1 > 8 ||
        key.find('.', dot + 1) != std::string::npos) {
      *refusal = "553 File name " + key + " is not FNAME.FTYPE";
      return false;
    }
    if (data) {
      const Stamp n = Now();
      dirs_[s->cwd][key] = {'F', *data,
                            Fmt("%04d-%02d-%02d %02d:%02d:%02d", n.year, n.month, n.day, n.hour, n.minute, n.second)};
    }
    return true;
  }

  std::optional<std::string> File(const std::string& name) const override {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& [dir, files] : dirs_) {
      const std::string prefix = dir == minidisk_ ? dir + "." : dir;
      if (Upper(name).compare(0, prefix.size(), prefix) != 0) continue;
      auto f = files.find(Upper(name).substr(prefix.size()));
      if (f != files.end()) return f->second.data;
    }
    return std::nullopt;
  }

 private:
  bool IsDir(const std::string& dir) const {
    if (dirs_.count(dir)) return true;
    for (const auto& d : dirs_)
      if (d.first.compare(0, dir.size(), dir) == 0 && dir.back() == '.') return true;
    return false;
  }
  std::string Up(HostSession* s) {
    if (s->cwd != root_ && s->cwd != minidisk_) {
      std::string d = s->cwd.substr(0, s->cwd.size() - 1);
      s->cwd = d.substr(0, d.rfind('.') + 1);
    }
    return "250 Working directory is " + s->cwd;
  }

  std::string root_, minidisk_;
  std::map<std::string, std::map<std::string, VmFile>> dirs_;
};

// ---------------------------------------------------------------------------
// VSE
// ---------------------------------------------------------------------------

struct VseItem {
  std::string line;  // as the view lists it
  std::string data;
};

// A VSE host: the top directory "\" with libraries, the POWER queues, a
// VSAM catalog and the VTOC; paths join names with ".".
class VseHost : public Host {
 public:
  explicit VseHost(const PersonalityOptions& o) : Host(o) {
    auto dir = [](const char* name, const char* type) {
      // Directory lines come padded with blanks to 40 columns.
      return VseItem{Fmt("%-10s %-29s", name, type), ""};
    };
    nodes_["\\"] = {{"PRD1", dir("PRD1", "<LIBRARY>")},
                    {"PRD2", dir("PRD2", "<LIBRARY>")},
                    {"POWER", dir("POWER", "<POWER QUEUES>")},
                    {"IJSYSCT", dir("IJSYSCT", "<VSAM CATALOG>")},
                    {"VTOC", dir("VTOC", "<VTOC>")},
                    {"SYSRES", dir("SYSRES", "<VOLUME>")}};
    auto sublib = [](const char* name, int members, int blocks) {
      return VseItem{Fmt("%-10s %-14s %8d %8d  2002-12-19  10:15", name, "<SUB LIBRARY>", members, blocks), ""};
    };
    nodes_["\\PRD1"] = {{"BASE", sublib("BASE", 1204, 9876)}};
    nodes_["\\PRD2"] = {{"CONFIG", sublib("CONFIG", 3, 34)}, {"GEN", sublib("GEN", 0, 1)}};
    nodes_["\\PRD1.BASE"] = {};
    nodes_["\\PRD2.GEN"] = {};
    nodes_["\\PRD2.CONFIG"] = {
        {"IPLPROC.PROC", Member("IPLPROC.PROC", "ADD 009:3277\nSET ZONE=WEST/00/00\n", true, "F")},
        {"$$A$SUP1.PHASE", Member("$$A$SUP1.PHASE", std::string(300, 'P'), false, "S")},
        {"STDLABEL.PROC", Member("STDLABEL.PROC", "// OPTION STDLABEL=DELETE\n", false, "F")}};
    nodes_["\\POWER"] = {{"LST", dir("LST", "<POWER QUEUE>")},
                         {"RDR", dir("RDR", "<POWER QUEUE>")},
                         {"PUN", dir("PUN", "<POWER QUEUE>")}};
    nodes_["\\POWER.LST"] = {{"A", dir("A", "<POWER CLASS>")}, {"Q", dir("Q", "<POWER CLASS>")}};
    nodes_["\\POWER.RDR"] = {{"A", dir("A", "<POWER CLASS>")}};
    nodes_["\\POWER.PUN"] = {};
    nodes_["\\POWER.LST.A"] = {
        {"PAYROLL1", VseItem{"PAYROLL1     1200     24    2400  3  D  " + Upper(o.user), "PAYROLL REPORT\n"}},
        {"NIGHTLY", VseItem{"NIGHTLY        80      2     160  5  K", "NIGHTLY RUN\n"}}};
    nodes_["\\POWER.LST.Q"] = {};
    nodes_["\\POWER.RDR.A"] = {};
    nodes_["\\IJSYSCT"] = {
        {"PROD.KSDS.CLUSTER", VseItem{"PROD.KSDS.CLUSTER        2002-12-19  10:15     1500  KSDS", ""}},
        {"PROD.ESDS.LOG", VseItem{"PROD.ESDS.LOG            2002-12-18  23:59    88000  ESDS", ""}},
        {"PROD.RRDS.SLOTS", VseItem{"PROD.RRDS.SLOTS          2002-11-02  08:00      100  RRDS", ""}}};
    nodes_["\\VTOC"] = {
        {"PROD.SEQ.FILE", VseItem{"PROD.SEQ.FILE            2002-12-19  10:15     80  SEQUENTIAL", ""}},
        {"VSAM.SPACE.1", VseItem{"VSAM.SPACE.1             2001-01-05  09:00   4089  VSAM", ""}},
        {"OLD.DIRECT", VseItem{"OLD.DIRECT               1999-03-01  12:00    256  DA", ""}},
        {"OLD.INDEXED", VseItem{"OLD.INDEXED              1998-06-30  12:00    120  ISAM", ""}},
        {"SCRATCH", VseItem{"SCRATCH                  2002-12-19  10:15      0", ""}}};
    views_ = {{"\\", 11},        {"\\PRD1", 12},      {"\\PRD2", 12},       {"\\PRD1.BASE", 13},
              {"\\PRD2.CONFIG", 13}, {"\\PRD2.GEN", 13}, {"\\POWER", 11},     {"\\POWER.LST", 11},
              {"\\POWER.RDR", 11},  {"\\POWER.PUN", 11}, {"\\POWER.LST.A", 14}, {"\\POWER.LST.Q", 14},
              {"\\POWER.RDR.A", 14}, {"\\IJSYSCT", 15},  {"\\VTOC", 16}};
  }

  std::string Banner() const override { return "220 TCP/IP for VSE -- FTP Daemon ready"; }
  std::string Syst() const override { return "215 VSE is the operating system of this server"; }
  void LogOn(HostSession* s) override { s->cwd = "\\"; }
  std::string Site(HostSession* s, const std::string& arg) override {
    const std::string a = Upper(Trim(arg));
    if (a == "UNIX OFF" || a == "UNIX ON") {
      if (!options_.vseAcceptsUnixOff) return "500 SITE UNIX is not supported";
      s->vseNative = a == "UNIX OFF";
      return s->vseNative ? "200 UNIX mode is now OFF" : "200 UNIX mode is now ON";
    }
    return "500 Unknown SITE command " + arg;
  }
  std::string Pwd(const HostSession& s) const override { return "257 \"" + s.cwd + "\" is current directory."; }

  std::string Cwd(HostSession* s, const std::string& argIn) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::string arg = Upper(Trim(argIn));
    std::replace(arg.begin(), arg.end(), '/', '\\');
    std::string dir;
    if (arg == "..") {
      const size_t dot = s->cwd.rfind('.');
      dir = dot == std::string::npos ? "\\" : s->cwd.substr(0, dot);
    } else if (!arg.empty() && arg[0] == '\\') {
      dir = arg;
    } else {
      dir = s->cwd == "\\" ? "\\" + arg : s->cwd + "." + arg;
    }
    if (!nodes_.count(dir)) return "550 " + Trim(argIn) + " not found";
    s->cwd = dir;
    return "250 Current directory is " + dir;
  }
  std::string Cdup(HostSession* s) override { return Cwd(s, ".."); }

  bool List(HostSession* s, std::string* text, std::string*) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> lines;
    const auto& items = nodes_.at(s->cwd);
    for (const auto& [name, item] : items) {
      if (s->vseNative) {
        lines.push_back(item.line);
      } else {
        const bool container = nodes_.count(Join(s->cwd, name)) > 0;
        lines.push_back(Fmt("%s   1 %-8s %-8s %10zu Dec 19  2002 %s", container ? "drwxr-xr-x" : "-rw-r--r--",
                            "VSE", "SYSTEM", item.data.size(), name.c_str()));
      }
    }
    *text = Lines(lines);
    return true;
  }

  bool Retr(HostSession* s, const std::string& name, std::string* data, std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    const auto& items = nodes_.at(s->cwd);
    auto it = items.find(Upper(Trim(name)));
    const int view = views_.count(s->cwd) ? views_.at(s->cwd) : 11;
    if (it == items.end() || (view != 13 && view != 14)) {
      *refusal = "550 " + Trim(name) + " not found";
      return false;
    }
    *data = it->second.data;
    return true;
  }

  bool Stor(HostSession* s, const std::string& nameIn, const std::string* data,
            std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    const int view = views_.count(s->cwd) ? views_.at(s->cwd) : 11;
    const std::string name = Upper(Trim(nameIn));
    if (view != 13 || name.find('.') == std::string::npos) {
      *refusal = "550 Members are stored in a sub library as NAME.TYPE";
      return false;
    }
    if (data) nodes_[s->cwd][name] = Member(name, *data, true, "F");
    return true;
  }

  std::optional<std::string> File(const std::string& name) const override {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& [dir, items] : nodes_) {
      for (const auto& [item, v] : items)
        if (Upper(name) == Join(dir, item)) return v.data;
    }
    return std::nullopt;
  }

 private:
  static std::string Join(const std::string& dir, const std::string& name) {
    return dir == "\\" ? "\\" + name : dir + "." + name;
  }
  // A sub-library member: records, blocks, created, last updated (blank
  // columns when never updated), stored format.
  static VseItem Member(const std::string& name, const std::string& data, bool updated,
                        const char* format) {
    const size_t records = LineCount(data);
    const std::string update = updated ? "2002-12-20  11:00" : std::string(17, ' ');
    return VseItem{Fmt("%-16s %6zu %5zu  2002-12-19  10:15  %s  %s", name.c_str(), records,
                       1 + data.size() / 1024, update.c_str(), format),
                   data};
  }

  std::map<std::string, std::map<std::string, VseItem>> nodes_;
  std::map<std::string, int> views_;
};

// ---------------------------------------------------------------------------
// NetWare and Windows
// ---------------------------------------------------------------------------

class TreeHost : public Host {
 public:
  explicit TreeHost(const PersonalityOptions& o) : Host(o) {
    tree_.AddDir("/login");
    tree_.AddDir("/Program Files");
    tree_.AddFile("/docs/readme.txt", "Read me first.\n");
    tree_.AddFile("/a b.txt", "A name with a blank.\n");
    tree_.AddFile("/notes.txt", std::string(1025, 'n'));
  }
  void LogOn(HostSession* s) override { s->cwd = "/"; }
  std::string Pwd(const HostSession& s) const override { return "257 \"" + s.cwd + "\" is current directory."; }
  std::string Cwd(HostSession* s, const std::string& arg) override {
    std::lock_guard<std::mutex> lock(mu_);
    return TreeCwd(tree_, s, Trim(arg));
  }
  std::string Cdup(HostSession* s) override { return Cwd(s, ".."); }
  bool Retr(HostSession* s, const std::string& name, std::string* data, std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    const std::string* d = tree_.FileData(FileTree::Resolve(s->cwd, name));
    if (!d) {
      *refusal = "550 " + name + ": The system cannot find the file specified.";
      return false;
    }
    *data = *d;
    return true;
  }
  bool Stor(HostSession* s, const std::string& name, const std::string* data,
            std::string* refusal) override {
    std::lock_guard<std::mutex> lock(mu_);
    const std::string path = FileTree::Resolve(s->cwd, name);
    if (!tree_.IsDir(FileTree::Parent(path)) || tree_.IsDir(path)) {
      *refusal = "550 " + name + ": Access is denied.";
      return false;
    }
    if (data) tree_.AddFile(path, *data);
    return true;
  }
  std::optional<std::string> File(const std::string& name) const override {
    std::lock_guard<std::mutex> lock(mu_);
    const std::string* d = tree_.FileData(name);
    return d ? std::optional<std::string>(*d) : std::nullopt;
  }

 protected:
  FileTree tree_;
};

class NetWareHost : public TreeHost {
 public:
  using TreeHost::TreeHost;
  std::string Banner() const override { return "220 Service Ready for new User"; }
  std::string Syst() const override { return "215 NETWARE Type: L8"; }
  std::string Site(HostSession*, const std::string& arg) override {
    if (Upper(Trim(arg)) == "DOS") return "250 Site DOS command successful";
    return "500 Unknown SITE command";
  }
  bool List(HostSession* s, std::string* text, std::string*) override {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> lines;
    for (const auto& e : tree_.Entries(s->cwd))
      lines.push_back(Fmt("%c [RWCEAFMS] %-24s %10zu       Dec 19  2002 %s", e.dir ? 'd' : '-',
                          "supervisor", e.dir ? size_t{512} : e.size, e.name.c_str()));
    *text = Lines(lines);
    return true;
  }
};

class WindowsHost : public TreeHost {
 public:
  using TreeHost::TreeHost;
  std::string Banner() const override { return "220 Microsoft FTP Service"; }
  std::string Syst() const override { return "215 Windows_NT"; }
  void LogOn(HostSession* s) override {
    TreeHost::LogOn(s);
    s->dosStyle = options_.windowsStartsInDosStyle;
  }
  std::string Site(HostSession* s, const std::string& arg) override {
    if (Upper(Trim(arg)) != "DIRSTYLE") return "500 Invalid SITE command.";
    s->dosStyle = !s->dosStyle;
    return s->dosStyle ? "200 MSDOS-like directory output is on" : "200 MSDOS-like directory output is off";
  }
  bool List(HostSession* s, std::string* text, std::string*) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (!s->dosStyle) {
      *text = tree_.UnixListing(s->cwd, "owner", "group");
      return true;
    }
    std::vector<std::string> lines;
    for (const auto& e : tree_.Entries(s->cwd)) {
      if (e.dir)
        lines.push_back(Fmt("12-19-02  10:15AM       %-14s %s", "<DIR>", e.name.c_str()));
      else
        lines.push_back(Fmt("01-05-01  09:00PM %20zu %s", e.size, e.name.c_str()));
    }
    *text = Lines(lines);
    return true;
  }
};

std::unique_ptr<Host> MakeHost(const PersonalityOptions& o) {
  switch (o.personality) {
    case Personality::kMvs: return std::make_unique<MvsHost>(o);
    case Personality::kVm: return std::make_unique<VmHost>(o);
    case Personality::kVse: return std::make_unique<VseHost>(o);
    case Personality::kNetWare: return std::make_unique<NetWareHost>(o);
    case Personality::kWindows: return std::make_unique<WindowsHost>(o);
  }
  return nullptr;
}

}  // namespace

const char* PersonalityName(Personality p) {
  switch (p) {
    case Personality::kMvs: return "mvs";
    case Personality::kVm: return "vm";
    case Personality::kVse: return "vse";
    case Personality::kNetWare: return "netware";
    case Personality::kWindows: return "windows";
  }
  return "?";
}

bool PersonalityFromName(std::string_view name, Personality* out) {
  for (Personality p : {Personality::kMvs, Personality::kVm, Personality::kVse,
                        Personality::kNetWare, Personality::kWindows}) {
    if (name == PersonalityName(p)) {
      *out = p;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// The protocol
// ---------------------------------------------------------------------------

struct HostPersonality::Connection {
  int fd = -1;
  uint32_t peer = 0;  // the client's address (network order)
  std::thread thread;
  std::atomic<bool> done{false};
};

HostPersonality::HostPersonality(PersonalityOptions options)
    : options_(std::move(options)), host_(MakeHost(options_)) {}

HostPersonality::~HostPersonality() { Stop(); }

bool HostPersonality::Start(std::string* error) {
  listenFd_ = ListenLoopback(options_.port, &port_);
  if (listenFd_ < 0) {
    if (error) *error = Fmt("cannot listen on 127.0.0.1:%u: %s", options_.port, strerror(errno));
    return false;
  }
  stop_ = false;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void HostPersonality::Stop() {
  stop_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  if (listenFd_ >= 0) {
    close(listenFd_);
    listenFd_ = -1;
  }
  std::vector<std::unique_ptr<Connection>> conns;
  {
    std::lock_guard<std::mutex> lock(mu_);
    conns.swap(connections_);
  }
  for (auto& c : conns) {
    shutdown(c->fd, SHUT_RDWR);
    if (c->thread.joinable()) c->thread.join();
    close(c->fd);
  }
}

std::vector<std::string> HostPersonality::Commands() const {
  std::lock_guard<std::mutex> lock(mu_);
  return commands_;
}

std::optional<std::string> HostPersonality::File(const std::string& name) const {
  return host_->File(name);
}

void HostPersonality::Record(const std::string& line) {
  std::lock_guard<std::mutex> lock(mu_);
  commands_.push_back(line);
}

void HostPersonality::Trace(const std::string& line) {
  if (trace_) trace_(line);
}

void HostPersonality::AcceptLoop() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, kPollMs) <= 0) continue;
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mu_);
    // Connections that have ended give back their threads.
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->done) {
        (*it)->thread.join();
        close((*it)->fd);
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
    auto conn = std::make_unique<Connection>();
    conn->fd = fd;
    conn->peer = peer.sin_addr.s_addr;
    Connection* raw = conn.get();
    connections_.push_back(std::move(conn));
    raw->thread = std::thread([this, raw] { Serve(raw); });
  }
}

void HostPersonality::Serve(Connection* conn) {
  const int fd = conn->fd;
  HostSession s;
  std::string pending;
  int pasvFd = -1;
  sockaddr_in portAddr{};
  bool havePort = false;
  uint64_t restart = 0;
  char type = 'A';

  auto reply = [&](const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      Trace("< " + text.substr(start, end - start));
      start = end + 2;
    }
    return SendAll(fd, text + "\r\n");
  };
  auto readLine = [&](std::string* line) {
    for (;;) {
      const size_t lf = pending.find('\n');
      if (lf != std::string::npos) {
        line->assign(pending, 0, std::min(lf, kMaxLine));
        pending.erase(0, lf + 1);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        return true;
      }
      if (pending.size() > kMaxLine) pending.erase(kMaxLine);
      pollfd p{fd, POLLIN, 0};
      const int r = poll(&p, 1, kPollMs);
      if (stop_) return false;
      if (r <= 0) continue;
      char buf[2048];
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return false;
      pending.append(buf, static_cast<size_t>(n));
    }
  };
  auto closePasv = [&] {
    if (pasvFd >= 0) close(pasvFd);
    pasvFd = -1;
  };
  // The data connection of one transfer: accepted on the PASV listener or
  // made to the PORT address. -1 when there is none.
  auto openData = [&]() -> int {
    if (pasvFd >= 0) {
      int fdData = -1;
      for (int waited = 0; waited < kDataWaitMs && !stop_ && fdData < 0; waited += kPollMs) {
        pollfd p{pasvFd, POLLIN, 0};
        if (poll(&p, 1, kPollMs) > 0) fdData = accept4(pasvFd, nullptr, nullptr, SOCK_CLOEXEC);
      }
      closePasv();
      return fdData;
    }
    if (!havePort) return -1;
    havePort = false;
    const int fdData = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fdData, reinterpret_cast<sockaddr*>(&portAddr), sizeof portAddr) != 0) {
      close(fdData);
      return -1;
    }
    return fdData;
  };

  reply(host_->Banner());
  std::string line;
  while (!stop_ && readLine(&line)) {
    const size_t blank = line.find(' ');
    const std::string verb = Upper(line.substr(0, blank));
    const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
    const std::string shown = verb == "PASS" ? "PASS ****" : line;
    Record(shown);
    Trace("> " + shown);

    if (verb == "USER") {
      s.user = Trim(arg);
      s.loggedOn = false;
      reply("331 Send password please.");
    } else if (verb == "PASS") {
      if (s.user.empty()) {
        reply("503 Login with USER first.");
      } else if (!options_.password.empty() && arg != options_.password) {
        reply("530 PASS command failed");
      } else {
        s.loggedOn = true;
        host_->LogOn(&s);
        reply(host_->LoggedOn(s));
      }
    } else if (verb == "QUIT") {
      reply("221 Quit command received. Goodbye.");
      break;
    } else if (verb == "NOOP") {
      reply("200 NOOP command successful.");
    } else if (!s.loggedOn) {
      reply("530 Not logged in.");
    } else if (verb == "SYST") {
      reply(host_->Syst());
    } else if (verb == "SITE") {
      reply(host_->Site(&s, arg));
    } else if (verb == "PWD" || verb == "XPWD") {
      reply(host_->Pwd(s));
    } else if (verb == "CWD" || verb == "XCWD") {
      reply(host_->Cwd(&s, arg));
    } else if (verb == "CDUP" || verb == "XCUP") {
      reply(host_->Cdup(&s));
    } else if (verb == "TYPE") {
      const char t = arg.empty() ? 'A' : static_cast<char>(toupper(static_cast<unsigned char>(arg[0])));
      if (t != 'A' && t != 'I' && t != 'E' && t != 'L') {
        reply("504 Type " + arg + " not supported.");
      } else {
        type = t == 'L' ? 'I' : t;
        reply(host_->TypeReply(type));
      }
    } else if (verb == "MODE" || verb == "STRU") {
      reply("200 " + verb + " set.");
    } else if (verb == "REST") {
      restart = std::strtoull(arg.c_str(), nullptr, 10);
      reply(Fmt("350 Restarting at %llu. Send STORE or RETRIEVE to initiate transfer.",
                static_cast<unsigned long long>(restart)));
    } else if (verb == "PASV") {
      closePasv();
      uint16_t port = 0;
      pasvFd = ListenLoopback(0, &port);
      if (pasvFd < 0) {
        reply("425 Can't open passive connection.");
      } else {
        reply(Fmt("227 Entering Passive Mode (127,0,0,1,%u,%u)", port / 256u, port % 256u));
      }
    } else if (verb == "PORT") {
      unsigned h[4], p[2];
      // Data connections go to the client that asked, never elsewhere.
      if (sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6 ||
          htonl((h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]) != conn->peer || p[0] > 255 ||
          p[1] > 255 || h[0] > 255 || h[1] > 255 || h[2] > 255 || h[3] > 255) {
        reply("501 Invalid PORT command.");
      } else {
        closePasv();
        portAddr = sockaddr_in{};
        portAddr.sin_family = AF_INET;
        portAddr.sin_addr.s_addr = conn->peer;
        portAddr.sin_port = htons(static_cast<uint16_t>(p[0] * 256 + p[1]));
        havePort = true;
        reply("200 Port request OK.");
      }
    } else if (verb == "LIST" || verb == "NLST") {
      std::string text, refusal;
      if (!host_->List(&s, &text, &refusal)) {
        closePasv();
        reply(refusal);
        continue;
      }
      reply(host_->ListStarted());
      const int dfd = openData();
      if (dfd < 0) {
        reply("425 Can't open data connection.");
        continue;
      }
      SendAll(dfd, text);
      close(dfd);
      reply(host_->ListDone());
    } else if (verb == "RETR") {
      std::string data, refusal;
      const uint64_t from = restart;
      restart = 0;
      if (!host_->Retr(&s, arg, &data, &refusal)) {
        closePasv();
        reply(refusal);
        continue;
      }
      if (type == 'A') data = ToWire(data);
      reply(host_->RetrStarted(Trim(arg)));
      const int dfd = openData();
      if (dfd < 0) {
        reply("425 Can't open data connection.");
        continue;
      }
      SendAll(dfd, std::string_view(data).substr(std::min<uint64_t>(from, data.size())));
      close(dfd);
      reply(host_->TransferDone());
    } else if (verb == "STOR") {
      std::string refusal;
      restart = 0;
      if (!host_->Stor(&s, arg, nullptr, &refusal)) {
        closePasv();
        reply(refusal);
        continue;
      }
      reply(host_->StorStarted(Trim(arg)));
      const int dfd = openData();
      if (dfd < 0) {
        reply("425 Can't open data connection.");
        continue;
      }
      std::string data;
      char buf[8192];
      bool complete = false;
      for (int idle = 0; idle < kDataWaitMs && !stop_;) {
        pollfd p{dfd, POLLIN, 0};
        if (poll(&p, 1, kPollMs) <= 0) {
          idle += kPollMs;
          continue;
        }
        const ssize_t n = recv(dfd, buf, sizeof buf, 0);
        if (n <= 0) {
          complete = n == 0;
          break;
        }
        idle = 0;
        data.append(buf, static_cast<size_t>(n));
      }
      close(dfd);
      if (!complete) {
        reply("426 Connection closed; transfer aborted.");
        continue;
      }
      if (type == 'A') data = FromWire(data);
      if (!host_->Stor(&s, arg, &data, &refusal))
        reply(refusal);
      else
        reply(host_->TransferDone());
    } else if (verb == "ABOR") {
      closePasv();
      reply("225 ABOR command successful.");
    } else {
      reply("502 Command " + verb + " not implemented.");
    }
  }
  closePasv();
  conn->done = true;
}

}  // namespace tarn::testing
