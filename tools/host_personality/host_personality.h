// HostPersonality: a small stateful FTP server on loopback that behaves like
// one of the hosts the client adapts itself to: an MVS host (data-set
// levels, partitioned data sets with ISPF statistics, a load library,
// migrated, VSAM, tape and unmounted entries, and a UNIX file system behind
// "/"), a VM host (CMS shared-file directories), a VSE host (libraries,
// sub-libraries, POWER queues, a VSAM catalog and the VTOC), a NetWare
// host and a Windows host that toggles its listing style with SITE
// DIRSTYLE. Unlike the scripted FakeFtpServer it answers whatever the
// client sends, from an in-memory host that RETR reads and STOR changes,
// so tests (and a person, through tarn-playground) can browse it. It is a
// tool of the suite's own: the tests link it, tarn-playground runs it.
//
//   HostPersonality host({.personality = Personality::kMvs});
//   ASSERT_TRUE(host.Start());
//   ... connect to 127.0.0.1:host.Port() as USER1 with any password ...
//
// Each control connection is served on its own thread; the host's files
// are shared by all of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarn::testing {

enum class Personality { kMvs, kVm, kVse, kNetWare, kWindows };

// "mvs", "vm", "vse", "netware", "windows".
const char* PersonalityName(Personality p);
bool PersonalityFromName(std::string_view name, Personality* out);

struct PersonalityOptions {
  Personality personality = Personality::kMvs;
  uint16_t port = 0;           // 0: any free port
  std::string user = "USER1";  // owner of the host's files; any user may log on
  std::string password;        // empty: any password is accepted
  bool vseAcceptsUnixOff = true;       // false: SITE UNIX OFF is refused, UNIX listings
  bool windowsStartsInDosStyle = true; // the style before the first SITE DIRSTYLE
};

class Host;

class HostPersonality {
 public:
  explicit HostPersonality(PersonalityOptions options);
  ~HostPersonality();
  HostPersonality(const HostPersonality&) = delete;
  HostPersonality& operator=(const HostPersonality&) = delete;

  // Listens on 127.0.0.1 and starts serving. False, with the reason in
  // *error (may be null), when the port cannot be had.
  bool Start(std::string* error = nullptr);
  // Closes every connection and waits for their threads.
  void Stop();
  uint16_t Port() const { return port_; }

  // Every command line received so far over all connections, in order,
  // passwords shown as "PASS ****".
  std::vector<std::string> Commands() const;

  // The content of a file on the host, by the name the host gives it:
  // MVS "USER1.CNTL(ALLOCJCL)", "USER1.DATA.TXT" or "/u/user1/notes.txt";
  // VM "VMSYSU:USER1.PROFILE.EXEC"; VSE "\\PRD2.CONFIG.IPLPROC.PROC";
  // NetWare and Windows "/docs/readme.txt". nullopt when there is none.
  std::optional<std::string> File(const std::string& name) const;

  // Receives every command line (passwords masked) and reply line as it
  // passes, prefixed "> " and "< "; called on the connection's thread.
  // Set before Start.
  void SetTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(Connection* conn);
  void Record(const std::string& line);
  void Trace(const std::string& line);

  PersonalityOptions options_;
  std::unique_ptr<Host> host_;
  std::function<void(const std::string&)> trace_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptThread_;
  mutable std::mutex mu_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<std::string> commands_;
};

}  // namespace tarn::testing
