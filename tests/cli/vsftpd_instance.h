// A vsftpd of the test's own on loopback: anonymous, read-only, serving a
// directory the test fills, its downloads slowed to `maxRate` bytes a
// second so that a test can act while one runs. Needs root and
// /usr/sbin/vsftpd; Available() says whether it started.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tests/support/child_process.h"

namespace tarn::testing {

class VsftpdInstance {
 public:
  VsftpdInstance(const std::string& scratch, long maxRate) : dir_(scratch) {
    if (geteuid() != 0 || access("/usr/sbin/vsftpd", X_OK) != 0) return;
    std::filesystem::create_directories(dir_ + "/anon");
    chmod((dir_ + "/anon").c_str(), 0755);
    std::filesystem::create_directories("/var/run/vsftpd/empty");
    // vsftpd takes a port number, not a socket: the system's choice of a
    // free one, released just before vsftpd binds it.
    port_ = FreePort();
    if (!port_) return;
    std::ofstream conf(dir_ + "/vsftpd.conf");
    conf << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port_
         << "\nbackground=NO\nanonymous_enable=YES\nanon_root=" << dir_ << "/anon\n"
         << "no_anon_password=YES\nanon_upload_enable=NO\nlocal_enable=NO\nwrite_enable=NO\n"
         << "anon_max_rate=" << maxRate << "\npasv_enable=YES\nport_enable=YES\n"
         << "connect_from_port_20=NO\nseccomp_sandbox=NO\nsecure_chroot_dir=/var/run/vsftpd/empty\n"
         << "xferlog_enable=NO\nssl_enable=NO\n";
    conf.close();
    ChildProcess::Options options;
    options.ownSession = false;
    options.nullInput = true;
    options.outputFile = dir_ + "/vsftpd.out";
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/sbin/vsftpd", dir_ + "/vsftpd.conf"}, options);
    // Ready once it accepts a connection; each look waits for the server's
    // end, which ends the wait at once (bounded).
    for (int i = 0; server_->Started() && i < 200 && !ready_; ++i) {
      ready_ = Accepts(port_);
      if (!ready_ && server_->Wait(25) != -1) break;
    }
  }

  ~VsftpdInstance() {
    if (server_) server_->Stop();
  }
  VsftpdInstance(const VsftpdInstance&) = delete;
  VsftpdInstance& operator=(const VsftpdInstance&) = delete;

  bool Available() const { return ready_; }
  uint16_t Port() const { return port_; }
  // The served directory ("/" for the anonymous user).
  std::string Root() const { return dir_ + "/anon"; }

 private:
  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    return sa;
  }

  static bool Accepts(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = Loopback(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    close(fd);
    return ok;
  }

  // A port nobody listens on now (the system's choice, then released).
  static uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = Loopback(0);
    socklen_t len = sizeof sa;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
      port = ntohs(sa.sin_port);
    close(fd);
    return port;
  }

  std::string dir_;
  uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> server_;
  bool ready_ = false;
};

}  // namespace tarn::testing
