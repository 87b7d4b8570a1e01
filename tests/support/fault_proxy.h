// FaultProxy: a loopback proxy between an FTP client and a real server
// that breaks the connections on cue: drops them (FIN), resets them (RST,
// SO_LINGER 0), stalls them (nothing more passes, both ends stay open),
// cuts a reply or the data stream at byte N, or delays each segment. It
// relays the control connection and, by rewriting the PASV and EPSV
// replies and the PORT and EPRT commands, every data connection too, so
// that faults reach both.
//
//   client --- 127.0.0.1:proxy.Port() --- proxy --- 127.0.0.1:server
//   227 Entering Passive Mode (127,0,0,1,117,51).   from the server
//   227 Entering Passive Mode (127,0,0,1,156,64).   to the client: the proxy's listener
//
// Cues are set per channel (control or data) and per connection (its
// number, counted from 1 in the order the connections open), from the
// test's thread at any moment; a relay sees a new cue at once, even while
// it waits to send. Plain FTP only: after "234" (AUTH accepted) the
// control bytes are relayed as they are, and data connections then pass
// by the proxy.
//
//   FaultProxy proxy(vsftpdPort);
//   proxy.SetCue(Channel::kData, 1, Cue::CutAt(1 << 20));  // first data connection
//   proxy.SetCueAll(Channel::kControl, Cue::Drop().OnLine("226"));
//   ... connect the client to 127.0.0.1:proxy.Port() ...
//   EXPECT_TRUE(proxy.WaitFired(1, 20000));
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn::testing {

enum class Channel { kControl, kData };
// The direction of the bytes: from the server to the client, or back.
enum class Flow { kFromServer, kFromClient };

struct Cue {
  enum Fault {
    kPass,   // every byte passes
    kDrop,   // both ends closed (FIN; RST where unread bytes wait)
    kReset,  // both ends reset (SO_LINGER 0)
    kStall,  // nothing more passes either way; both ends stay open
    kDelay,  // each segment of `flow` passes `delayMs` after the one before
  };
  Fault fault = kPass;
  // The bytes that count toward `after` and that a delay slows.
  Flow flow = Flow::kFromServer;
  // Bytes of `flow` that still pass before the fault (a cut at byte N is a
  // drop after N). Counted from the moment the connection takes the cue,
  // or from the first byte of the line that armed it.
  int64_t after = 0;
  // Control connections: the cue waits for a line of `flow` that starts
  // with this text ("226", "RETR"). Empty: armed at once.
  std::string onLine;
  // The how-manieth such line arms it, counted from the moment the
  // connection takes the cue (set before the log-on, 2 is the second
  // "226": the one of the transfer after the first listing).
  int nth = 1;
  int delayMs = 0;      // kDelay
  size_t segment = 0;   // kDelay: bytes per segment, 0 = as they came

  static Cue Pass() { return Cue{}; }
  static Cue Drop() { return Make(kDrop); }
  static Cue Reset() { return Make(kReset); }
  static Cue Stall() { return Make(kStall); }
  static Cue CutAt(int64_t bytes) { return Make(kDrop).After(bytes); }
  static Cue Delay(int ms, size_t segment = 0) {
    Cue c = Make(kDelay);
    c.delayMs = ms;
    c.segment = segment;
    return c;
  }
  Cue& After(int64_t bytes) {
    after = bytes;
    return *this;
  }
  Cue& FromClient() {
    flow = Flow::kFromClient;
    return *this;
  }
  Cue& OnLine(std::string prefix, int occurrence = 1) {
    onLine = std::move(prefix);
    nth = occurrence;
    return *this;
  }
  // For test names: "drop after 100 of the server's bytes on \"226\"".
  std::string Describe() const;

 private:
  static Cue Make(Fault f) {
    Cue c;
    c.fault = f;
    return c;
  }
};

class FaultProxy {
 public:
  // Listens on 127.0.0.1 (a port the system chooses) and relays each
  // connection to 127.0.0.1:`serverPort`.
  explicit FaultProxy(uint16_t serverPort);
  // Closes every connection and joins every thread.
  ~FaultProxy();
  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  uint16_t Port() const { return port_; }

  // The cue of connection `number` (1 = the first) of `channel`, open or
  // still to come; it wins over SetCueAll's.
  void SetCue(Channel channel, int number, const Cue& cue);
  // The cue of every connection of `channel` without one of its own.
  void SetCueAll(Channel channel, const Cue& cue);
  // Every connection back to kPass (a stall goes on relaying).
  void ClearCues();

  // Connections of `channel` opened so far.
  int Connections(Channel channel) const;
  bool WaitConnections(Channel channel, int count, int ms) const;
  // Faults carried out so far (a delay counts once, at its first segment).
  int Fired() const;
  bool WaitFired(int count, int ms) const;
  // Every control line of `flow` as its sender sent it (before any
  // rewrite), CR LF removed, all control connections in order.
  std::vector<std::string> Lines(Flow flow) const;
  // Waits until a line of `flow` from index `from` on starts with
  // `prefix`; true when one did.
  bool WaitLine(Flow flow, const std::string& prefix, int ms, size_t from = 0) const;
  // Bytes of `flow` passed on connection `number` of `channel`.
  int64_t Bytes(Channel channel, int number, Flow flow) const;
  bool WaitBytes(Channel channel, int number, Flow flow, int64_t bytes, int ms) const;

 private:
  class Link;
  friend class Link;
  struct CueSlot {
    Cue cue;
    uint64_t id = 0;  // a new id for every SetCue: the connection starts counting again
  };

  void AcceptControl();
  // A data listener that takes one connection (from the client for PASV
  // and EPSV, from the server for PORT and EPRT) and relays it to `to`.
  // Returns the listener's port, 0 when it could not be made.
  uint16_t OpenDataListener(uint32_t toAddr, uint16_t toPort, bool clientSide);
  void ServeData(int listenFd, uint32_t toAddr, uint16_t toPort, bool clientSide);
  void RunLink(const std::shared_ptr<Link>& link);
  // The cue connection `number` of `channel` follows now.
  CueSlot CueFor(Channel channel, int number) const;
  void WakeLinks();
  void NoteLine(Flow flow, const std::string& line);
  void NoteFired();
  void NoteBytes(Channel channel, int number, Flow flow, int64_t n);
  void Spawn(std::thread t);

  uint16_t serverPort_;
  uint16_t port_ = 0;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};  // readable once the proxy ends; never drained
  std::atomic<bool> stop_{false};

  mutable std::mutex mu_;
  mutable std::condition_variable cv_;  // counts, lines or bytes changed
  uint64_t nextCueId_ = 1;
  std::map<std::pair<int, int>, CueSlot> cues_;  // (channel, number)
  CueSlot all_[2];                               // by channel
  int connections_[2] = {0, 0};
  int fired_ = 0;
  std::vector<std::string> lines_[2];                       // by flow
  std::map<std::pair<int, int>, int64_t> bytes_[2];         // by flow: (channel, number)
  std::vector<std::weak_ptr<Link>> links_;
  std::vector<std::thread> threads_;
};

}  // namespace tarn::testing
