#include "platform/ipc.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace platform {

namespace {

// Datagram layout, little-endian:
//   "TIPC" 1 | u16 title length | title | u16 name length | name | i64 w | i64 l
// An empty title addresses every endpoint (a broadcast).
constexpr char kMagic[4] = {'T', 'I', 'P', 'C'};
constexpr uint8_t kVersion = 1;
constexpr size_t kMaxDatagram = 4 + 1 + 2 + kMaxTitle + 2 + kMaxMessageName + 16;

uint64_t Fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// Endpoint files are "<16 hex digits of the title's hash>.<pid>": titles may
// hold any byte and be longer than a socket path allows.
std::string TitleKey(const std::string& title) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(Fnv1a(title)));
  return buf;
}

bool IsEndpointName(const char* n) {
  for (int i = 0; i < 16; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(n[i]))) return false;
  if (n[16] != '.' || !n[17]) return false;
  for (const char* p = n + 17; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

bool OwnPrivateDir(const std::string& path, std::string* why) {
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = "not a directory";
    return false;
  }
  if (st.st_uid != geteuid()) {
    *why = "owned by another user";
    return false;
  }
  if (st.st_mode & 077) {
    *why = "open to other users (mode must be 0700)";
    return false;
  }
  return true;
}

std::string BaseDirectory() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && xdg[0] == '/') return xdg;
  // Cron and ssh sessions often lack XDG_RUNTIME_DIR while the desktop has
  // it; the session folder of this user is the same in both, so programs
  // started either way still meet.
  std::string run = "/run/user/" + std::to_string(geteuid());
  std::string why;
  if (OwnPrivateDir(run, &why)) return run;
  return "/tmp";
}

void PutU16(std::string* out, size_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void PutI64(std::string* out, int64_t v) {
  uint64_t u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

std::string Encode(const std::string& title, const std::string& name, int64_t w, int64_t l) {
  std::string d(kMagic, 4);
  d.push_back(static_cast<char>(kVersion));
  PutU16(&d, title.size());
  d += title;
  PutU16(&d, name.size());
  d += name;
  PutI64(&d, w);
  PutI64(&d, l);
  return d;
}

// Reads a datagram; false when it is malformed.
bool Decode(const unsigned char* p, size_t n, std::string* title, IpcMessage* msg) {
  size_t at = 0;
  auto need = [&](size_t k) { return n - at >= k; };
  auto u16 = [&]() {
    size_t v = p[at] | (static_cast<size_t>(p[at + 1]) << 8);
    at += 2;
    return v;
  };
  if (!need(7) || std::memcmp(p, kMagic, 4) != 0 || p[4] != kVersion) return false;
  at = 5;
  size_t tl = u16();
  if (tl > kMaxTitle || !need(tl + 2)) return false;
  title->assign(reinterpret_cast<const char*>(p + at), tl);
  at += tl;
  size_t nl = u16();
  if (nl == 0 || nl > kMaxMessageName || !need(nl + 16)) return false;
  msg->name.assign(reinterpret_cast<const char*>(p + at), nl);
  at += nl;
  uint64_t w = 0, l = 0;
  for (int i = 0; i < 8; ++i) w |= static_cast<uint64_t>(p[at + i]) << (8 * i);
  for (int i = 0; i < 8; ++i) l |= static_cast<uint64_t>(p[at + 8 + i]) << (8 * i);
  at += 16;
  if (at != n) return false;
  msg->wParam = static_cast<int64_t>(w);
  msg->lParam = static_cast<int64_t>(l);
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Removes `path` when it is a socket file nobody listens on.
void RemoveIfStale(const std::string& path) {
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) unlink(path.c_str());
}

enum class SendResult { kSent, kGone, kFull, kFailed };

SendResult SendTo(int sock, const std::string& path, const std::string& datagram) {
  sockaddr_un addr;
  if (!FillAddress(path, &addr)) return SendResult::kFailed;
  ssize_t n = sendto(sock, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                     reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  if (n == static_cast<ssize_t>(datagram.size())) return SendResult::kSent;
  if (errno == ECONNREFUSED) {
    RemoveIfStale(path);
    return SendResult::kGone;
  }
  if (errno == ENOENT) return SendResult::kGone;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return SendResult::kFull;
  return SendResult::kFailed;
}

// Endpoint files in `dir` whose name starts with `prefix` ("" for all).
std::vector<std::string> EndpointFiles(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    if (!IsEndpointName(e->d_name)) continue;
    if (!prefix.empty() && std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    out.push_back(dir + "/" + e->d_name);
  }
  closedir(d);
  return out;
}

// Sends to every endpoint file of `title` (all files when `broadcast`).
// Returns how many took the datagram; `*full` counts those whose queue was
// full.
int SendAll(const std::string& dir, const std::string& title, bool broadcast,
            const std::string& datagram, int* full) {
  int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return 0;
  int sent = 0;
  *full = 0;
  for (const auto& path : EndpointFiles(dir, broadcast ? "" : TitleKey(title) + ".")) {
    switch (SendTo(sock, path, datagram)) {
      case SendResult::kSent: ++sent; break;
      case SendResult::kFull: ++*full; break;
      default: break;
    }
  }
  close(sock);
  return sent;
}

bool ValidName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxMessageName;
}

std::string LockFileName(const std::string& name) {
  std::string out;
  bool plain = name.size() <= 100;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '_' || c == '-' || c == '.')
      out.push_back(static_cast<char>(c));
    else
      plain = false, out.push_back('_');
  }
  if (!plain || out.empty() || out[0] == '.') out = out.substr(0, 60) + "~" + TitleKey(name);
  return out + ".lock";
}

}  // namespace

std::string ScheduledSessionName(const std::string& queueFile) {
  std::string s = queueFile;
  auto dot = s.rfind('.');
  if (dot != std::string::npos) s.erase(dot);
  auto sep = s.find_last_of("\\/");
  return sep == std::string::npos ? s : s.substr(sep + 1);
}

std::string ScheduledSessionTitle(const std::string& queueFile) {
  return kScheduledSessionPrefix + ScheduledSessionName(queueFile);
}

std::string IpcDirectory(std::string* error) {
  std::string dir = BaseDirectory() + "/tarn-" + std::to_string(geteuid());
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    if (error) *error = dir + ": " + std::strerror(errno);
    return "";
  }
  std::string why;
  if (!OwnPrivateDir(dir, &why)) {
    if (error) *error = dir + ": " + why;
    return "";
  }
  return dir;
}

// ---- IpcEndpoint ------------------------------------------------------------

std::unique_ptr<IpcEndpoint> IpcEndpoint::Open(const std::string& title, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  if (title.empty() || title.size() > kMaxTitle) return fail("endpoint title empty or too long");
  std::string dir = IpcDirectory(error);
  if (dir.empty()) return nullptr;
  std::unique_ptr<IpcEndpoint> ep(new IpcEndpoint);
  ep->title_ = title;
  ep->path_ = dir + "/" + TitleKey(title) + "." + std::to_string(getpid());
  sockaddr_un addr;
  if (!FillAddress(ep->path_, &addr)) return fail(ep->path_ + ": path too long for a socket");

  ep->sock_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ep->wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (ep->sock_ < 0 || ep->wake_ < 0) return fail(std::string("socket: ") + std::strerror(errno));
  int on = 1;
  setsockopt(ep->sock_, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);

  // A file of this name is left by a dead process that had our pid, or is
  // a live endpoint of ours with the same title.
  struct stat st{};
  if (lstat(ep->path_.c_str(), &st) == 0) {
    int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (probe >= 0) close(probe);
    if (live) {
      std::string p = ep->path_;
      ep->path_.clear();  // not ours to remove
      return fail(p + ": this program already has an endpoint titled \"" + title + "\"");
    }
    if (!S_ISSOCK(st.st_mode)) {
      std::string p = ep->path_;
      ep->path_.clear();
      return fail(p + ": exists and is not a socket");
    }
    unlink(ep->path_.c_str());
  }
  if (bind(ep->sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::string why = ep->path_ + ": " + std::strerror(errno);
    ep->path_.clear();
    return fail(why);
  }
  chmod(ep->path_.c_str(), 0600);
  return ep;
}

IpcEndpoint::~IpcEndpoint() {
  if (!path_.empty()) unlink(path_.c_str());
  if (sock_ >= 0) close(sock_);
  if (wake_ >= 0) close(wake_);
}

void IpcEndpoint::Wake() {
  uint64_t one = 1;
  ssize_t n = write(wake_, &one, sizeof one);
  (void)n;
}

bool IpcEndpoint::ReadOne(IpcMessage* msg, bool* drained) {
  *drained = false;
  unsigned char buf[kMaxDatagram + 1];
  iovec iov{buf, sizeof buf};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr mh{};
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  mh.msg_control = control;
  mh.msg_controllen = sizeof control;
  ssize_t n = recvmsg(sock_, &mh, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  if (n < 0) {
    *drained = true;
    return false;
  }
  const ucred* cred = nullptr;
  for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c))
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS)
      cred = reinterpret_cast<const ucred*>(CMSG_DATA(c));
  if (!cred || cred->uid != geteuid()) return false;
  if (mh.msg_flags & MSG_TRUNC) return false;
  std::string title;
  IpcMessage m;
  if (!Decode(buf, static_cast<size_t>(n), &title, &m)) return false;
  if (!title.empty() && title != title_) return false;
  m.senderPid = cred->pid;
  *msg = std::move(m);
  return true;
}

bool IpcEndpoint::TryReceive(IpcMessage* msg) {
  for (;;) {
    bool drained = false;
    if (ReadOne(msg, &drained)) return true;
    if (drained) return false;
  }
}

IpcWait IpcEndpoint::Receive(IpcMessage* msg, int timeoutMs) {
  const Deadline deadline = timeoutMs < 0 ? Deadline::Never() : Deadline::In(timeoutMs);
  for (;;) {
    if (TryReceive(msg)) return IpcWait::kMessage;
    pollfd fds[2] = {{sock_, POLLIN, 0}, {wake_, POLLIN, 0}};
    int r = poll(fds, 2, deadline.LeftMs());
    if (r < 0) {
      if (errno == EINTR) continue;
      return IpcWait::kError;
    }
    if (fds[1].revents & POLLIN) {
      uint64_t v;
      ssize_t n = read(wake_, &v, sizeof v);
      (void)n;
      return IpcWait::kWoken;
    }
    if (r == 0) return IpcWait::kTimeout;
    if (fds[0].revents & (POLLERR | POLLNVAL)) return IpcWait::kError;
  }
}

// ---- Post, Broadcast, Exists ------------------------------------------------

bool Post(const std::string& title, const std::string& name, int64_t wParam, int64_t lParam,
          std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (title.empty() || title.size() > kMaxTitle) return fail("title empty or too long");
  if (!ValidName(name)) return fail("message name empty or too long");
  std::string dir = IpcDirectory(error);
  if (dir.empty()) return false;
  int full = 0;
  int sent = SendAll(dir, title, false, Encode(title, name, wParam, lParam), &full);
  if (sent > 0) return true;
  return fail(full ? "the receiver's queue is full" : "no endpoint titled \"" + title + "\"");
}

int Broadcast(const std::string& name, int64_t wParam, int64_t lParam) {
  if (!ValidName(name)) return 0;
  std::string dir = IpcDirectory(nullptr);
  if (dir.empty()) return 0;
  int full = 0;
  return SendAll(dir, "", true, Encode("", name, wParam, lParam), &full);
}

bool Exists(const std::string& title) {
  if (title.empty() || title.size() > kMaxTitle) return false;
  std::string dir = IpcDirectory(nullptr);
  if (dir.empty()) return false;
  bool found = false;
  for (const auto& path : EndpointFiles(dir, TitleKey(title) + ".")) {
    sockaddr_un addr;
    if (!FillAddress(path, &addr)) continue;
    int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) continue;
    if (connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
      found = true;
    else if (errno == ECONNREFUSED)
      RemoveIfStale(path);
    close(probe);
  }
  return found;
}

// ---- InstanceLock -----------------------------------------------------------

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& name, bool* held,
                                                    std::string* error) {
  if (held) *held = false;
  if (name.empty()) {
    if (error) *error = "lock name empty";
    return nullptr;
  }
  std::string dir = IpcDirectory(error);
  if (dir.empty()) return nullptr;
  std::string path = dir + "/" + LockFileName(name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int e = errno;
    close(fd);
    if (e == EWOULDBLOCK) {
      if (held) *held = true;
    } else if (error) {
      *error = path + ": " + std::strerror(e);
    }
    return nullptr;
  }
  std::unique_ptr<InstanceLock> lock(new InstanceLock);
  lock->fd_ = fd;
  return lock;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace platform
