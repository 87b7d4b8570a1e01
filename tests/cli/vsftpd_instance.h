// A vsftpd of the test's own on loopback: anonymous, read-only, serving a
// directory the test fills, its downloads slowed to `maxRate` bytes a
// second so that a test can act while one runs. Needs root and
// /usr/sbin/vsftpd; Available() says whether it started.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace tarn::testing {

class VsftpdInstance {
 public:
  VsftpdInstance(const std::string& scratch, long maxRate) : dir_(scratch) {
    if (geteuid() != 0 || access("/usr/sbin/vsftpd", X_OK) != 0) return;
    std::filesystem::create_directories(dir_ + "/anon");
    chmod((dir_ + "/anon").c_str(), 0755);
    std::filesystem::create_directories("/var/run/vsftpd/empty");
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
    std::string confPath = dir_ + "/vsftpd.conf";
    char* argv[] = {const_cast<char*>("/usr/sbin/vsftpd"), confPath.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addopen(&fa, 1, (dir_ + "/vsftpd.out").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    // Ready once it accepts a connection (bounded).
    for (int i = 0; pid_ > 0 && i < 200 && !ready_; ++i) {
      int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      sa.sin_port = htons(port_);
      ready_ = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
      close(fd);
      if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }

  ~VsftpdInstance() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  VsftpdInstance(const VsftpdInstance&) = delete;
  VsftpdInstance& operator=(const VsftpdInstance&) = delete;

  bool Available() const { return ready_; }
  uint16_t Port() const { return port_; }
  // The served directory ("/" for the anonymous user).
  std::string Root() const { return dir_ + "/anon"; }

 private:
  // A port nobody listens on now (the system's choice, then released).
  static uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
  pid_t pid_ = -1;
  bool ready_ = false;
};

}  // namespace tarn::testing
