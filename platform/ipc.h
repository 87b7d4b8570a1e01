// Messages between the programs of the suite, and single-instance locks.
//
// A program that must receive messages opens an endpoint named by its window
// title ("Almanor", "Tarn Scheduled Session - night"). Endpoints are Unix
// datagram sockets in the user's own folder
//
//   ${XDG_RUNTIME_DIR}/tarn-$UID/        (or /run/user/$UID, or /tmp)
//
// which must be a real directory owned by this user with mode 0700; a folder
// owned by anyone else or open to others is refused, never repaired. Each
// received datagram's sender credentials are checked as well, so a peer of
// another user can never post to an endpoint. Messages carry a name
// ("WMU_TARN_STOP_MESSAGE") and two integers; they never travel by number.
//
// Several endpoints may share a title (two runs of one schedule): a post to
// the title reaches each of them. The socket file of a program that died is
// found by the refused connect and removed by whoever meets it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Names of the messages the programs send each other.
inline constexpr char kTarnStopMessage[] = "WMU_TARN_STOP_MESSAGE";
inline constexpr char kScheduleTransferMessage[] = "WMU_SCHEDULE_TRANSFER_MESSAGE";
// The scheduler's list file was changed by another program: reload it.
inline constexpr char kScheduleChangedMessage[] = "TARN_SCHEDULE_MESSAGE";

// Title of the client's window during a scheduled run of `queueFile`:
// "Tarn Scheduled Session - " + ScheduledSessionName(queueFile).
inline constexpr char kScheduledSessionPrefix[] = "Tarn Scheduled Session - ";
// The schedule file's name as both programs form it: the path is cut at its
// last "." (wherever it stands), then the text after the last "\" or "/" is
// taken. "/q/night.run.tsc" -> "night.run"; "/a.b/night" -> "a".
std::string ScheduledSessionName(const std::string& queueFile);
std::string ScheduledSessionTitle(const std::string& queueFile);

// Longest title and message name an endpoint accepts (bytes).
inline constexpr size_t kMaxTitle = 1024;
inline constexpr size_t kMaxMessageName = 255;

struct IpcMessage {
  std::string name;
  int64_t wParam = 0;
  int64_t lParam = 0;
  int senderPid = 0;  // from the kernel's credentials, not from the sender
};

// The folder of this user's endpoints and locks, created (mode 0700) when
// absent. Returns "" with `*error` set when it cannot be created, is not a
// directory, is owned by another user or is open to group or others.
std::string IpcDirectory(std::string* error);

enum class IpcWait {
  kMessage,  // `*msg` holds a message
  kTimeout,  // the time limit passed
  kWoken,    // Wake() was called
  kError,    // the endpoint is unusable
};

// A receiving endpoint. Owns its socket file and removes it when destroyed.
// Receive/TryReceive belong to one thread; Wake may be called from any
// thread and from a signal handler.
class IpcEndpoint {
 public:
  // Opens an endpoint titled `title`. Null with `*error` set when the
  // folder is refused, the title is empty or too long, or the socket
  // cannot be made.
  static std::unique_ptr<IpcEndpoint> Open(const std::string& title, std::string* error);
  ~IpcEndpoint();
  IpcEndpoint(const IpcEndpoint&) = delete;
  IpcEndpoint& operator=(const IpcEndpoint&) = delete;

  const std::string& Title() const { return title_; }

  // The socket: readable when a message may be waiting. For event loops
  // (QSocketNotifier); read with TryReceive until it returns false.
  int Fd() const { return sock_; }

  // Waits up to `timeoutMs` (-1: no limit) for a message. Datagrams that are
  // malformed, meant for another title, or sent by another user are dropped
  // without waking the caller.
  IpcWait Receive(IpcMessage* msg, int timeoutMs);

  // Takes one waiting message without blocking; false when none is left.
  bool TryReceive(IpcMessage* msg);

  // Makes the current or next Receive return kWoken. Async-signal-safe.
  void Wake();

 private:
  IpcEndpoint() = default;
  bool ReadOne(IpcMessage* msg, bool* drained);

  std::string title_;
  std::string path_;
  int sock_ = -1;
  int wake_ = -1;  // eventfd
};

// Posts a message to every endpoint titled `title`. True when at least one
// endpoint took it; false with `*error` set when there is none (or no
// folder), or when every endpoint's queue was full. Never blocks.
bool Post(const std::string& title, const std::string& name, int64_t wParam, int64_t lParam,
          std::string* error = nullptr);

// Sends a message to every endpoint of this user, whatever its title, as a
// broadcast to all top-level windows would. Returns how many took it.
int Broadcast(const std::string& name, int64_t wParam, int64_t lParam);

// True when a live endpoint titled `title` exists (stale files of dead
// programs are removed on the way).
bool Exists(const std::string& title);

// A named single-instance lock (what a named mutex was). The lock belongs
// to the object: it ends when the object goes or the process dies, and it is
// never inherited by started programs.
class InstanceLock {
 public:
  // Takes the lock `name`. Null when another process holds it (`*held` set
  // to true) or when the lock file cannot be made (`*error` set).
  static std::unique_ptr<InstanceLock> Acquire(const std::string& name, bool* held,
                                               std::string* error);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  InstanceLock() = default;
  int fd_ = -1;
};

}  // namespace platform
