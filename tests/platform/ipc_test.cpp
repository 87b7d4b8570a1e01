#include "platform/ipc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/process.h"
#include "tests/platform/ipc_fixture.h"

namespace platform {
namespace {

using ::testing::HasSubstr;

constexpr int kLimitMs = 30000;  // a limit on waits, never a timing claim

int CountEntries(const std::string& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++n;
  }
  return n;
}

// Runs `body` in a child process and returns its exit status.
template <typename F>
int InChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// ---- names ------------------------------------------------------------------

TEST(ScheduledSessionName, CutsAtLastDotThenTakesTheFileName) {
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\q\\night.run.tsc", "night.run"},
      {"C:\\a.b\\night", "a"},
      {"/home/ops/queues/night.tsc", "night"},
      {"/home/ops.d/night", "ops"},
      {"night.tsc", "night"},
      {"night", "night"},
      {"C:\\q/mixed\\last.tsc", "last"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ScheduledSessionName(c.path), c.name);
  }
  EXPECT_EQ(ScheduledSessionTitle("/q/night.tsc"), "Tarn Scheduled Session - night");
}

// ---- the folder ------------------------------------------------------------

using IpcDirectoryTest = IpcFixture;

TEST_F(IpcDirectoryTest, CreatedPrivateUnderTheRuntimeFolder) {
  std::string error;
  EXPECT_EQ(IpcDirectory(&error), IpcDir()) << error;
  struct stat st{};
  ASSERT_EQ(stat(IpcDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, geteuid());
}

TEST_F(IpcDirectoryTest, RefusesAFolderOpenToOthersAndNeverRepairsIt) {
  ASSERT_EQ(mkdir(IpcDir().c_str(), 0700), 0);
  for (mode_t mode : {0755, 0770, 0701, 0707}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(IpcDir().c_str(), mode), 0);
    std::string error;
    EXPECT_EQ(IpcDirectory(&error), "");
    EXPECT_THAT(error, HasSubstr("0700"));
    EXPECT_EQ(IpcEndpoint::Open("Almanor", &error), nullptr);
    EXPECT_FALSE(Post("Almanor", "X", 0, 0, &error));
    EXPECT_EQ(Broadcast("X", 0, 0), 0);
    bool held = false;
    EXPECT_EQ(InstanceLock::Acquire("L", &held, &error), nullptr);
    EXPECT_FALSE(held);
    struct stat st{};
    ASSERT_EQ(stat(IpcDir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, mode);
  }
}

TEST_F(IpcDirectoryTest, RefusesASymlinkAndAFile) {
  std::string elsewhere = root_ + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), IpcDir().c_str()), 0);
  std::string error;
  EXPECT_EQ(IpcDirectory(&error), "");
  EXPECT_THAT(error, HasSubstr("not a directory"));
  ASSERT_EQ(unlink(IpcDir().c_str()), 0);
  std::ofstream(IpcDir()) << "x";
  EXPECT_EQ(IpcDirectory(&error), "");
}

TEST_F(IpcDirectoryTest, RefusesAFolderOwnedByAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the folder away";
  ASSERT_EQ(mkdir(IpcDir().c_str(), 0700), 0);
  ASSERT_EQ(chown(IpcDir().c_str(), 65534, 65534), 0);
  std::string error;
  EXPECT_EQ(IpcDirectory(&error), "");
  EXPECT_THAT(error, HasSubstr("another user"));
  EXPECT_EQ(IpcEndpoint::Open("Almanor", &error), nullptr);
}

// ---- post, broadcast, exists -----------------------------------------------

using IpcTest = IpcFixture;

TEST_F(IpcTest, PostReachesTheEndpointOfThatTitleOnly) {
  std::string error;
  auto night = IpcEndpoint::Open("Tarn Scheduled Session - night", &error);
  ASSERT_NE(night, nullptr) << error;
  auto other = IpcEndpoint::Open("Tarn Scheduled Session - day", &error);
  ASSERT_NE(other, nullptr) << error;

  ASSERT_TRUE(Post("Tarn Scheduled Session - night", kTarnStopMessage, -7, 1ll << 40, &error))
      << error;
  IpcMessage msg;
  ASSERT_EQ(night->Receive(&msg, kLimitMs), IpcWait::kMessage);
  EXPECT_EQ(msg.name, "WMU_TARN_STOP_MESSAGE");
  EXPECT_EQ(msg.wParam, -7);
  EXPECT_EQ(msg.lParam, 1ll << 40);
  EXPECT_EQ(msg.senderPid, getpid());
  EXPECT_FALSE(other->TryReceive(&msg));
  EXPECT_FALSE(night->TryReceive(&msg));
}

TEST_F(IpcTest, PostWithoutEndpointFailsAndSaysSo) {
  std::string error;
  EXPECT_FALSE(Post("Tarn Scheduled Session - nobody", kTarnStopMessage, 0, 0, &error));
  EXPECT_THAT(error, HasSubstr("no endpoint"));
  EXPECT_FALSE(Post("", "X", 0, 0, &error));
  EXPECT_FALSE(Post("Almanor", "", 0, 0, &error));
  EXPECT_FALSE(Post("Almanor", std::string(kMaxMessageName + 1, 'N'), 0, 0, &error));
}

TEST_F(IpcTest, TitlesAreExactAnyBytesAllowed) {
  std::string error;
  const std::string title = "Tarn Scheduled Session - a/b\\c \"d\"\n" + std::string(300, 'x');
  auto ep = IpcEndpoint::Open(title, &error);
  ASSERT_NE(ep, nullptr) << error;
  EXPECT_TRUE(Exists(title));
  EXPECT_FALSE(Exists(title + " "));
  EXPECT_FALSE(Exists("tarn scheduled session - a/b\\c \"d\"\n" + std::string(300, 'x')));
  EXPECT_TRUE(Post(title, "M", 0, 0));
  IpcMessage msg;
  EXPECT_EQ(ep->Receive(&msg, kLimitMs), IpcWait::kMessage);
  EXPECT_EQ(IpcEndpoint::Open(std::string(kMaxTitle + 1, 't'), &error), nullptr);
}

TEST_F(IpcTest, BroadcastReachesEveryEndpoint) {
  std::string error;
  auto a = IpcEndpoint::Open("Almanor", &error);
  auto b = IpcEndpoint::Open("Tarn", &error);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Broadcast(kScheduleTransferMessage, 0, 0), 2);
  for (auto* ep : {a.get(), b.get()}) {
    IpcMessage msg;
    ASSERT_EQ(ep->Receive(&msg, kLimitMs), IpcWait::kMessage);
    EXPECT_EQ(msg.name, "WMU_SCHEDULE_TRANSFER_MESSAGE");
  }
  a.reset();
  b.reset();
  EXPECT_EQ(Broadcast(kScheduleTransferMessage, 0, 0), 0);
}

TEST_F(IpcTest, EveryEndpointOfOneTitleGetsThePost) {
  std::string error;
  auto mine = IpcEndpoint::Open("Tarn Scheduled Session - night", &error);
  ASSERT_NE(mine, nullptr) << error;
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t pid = fork();
  if (pid == 0) {
    auto ep = IpcEndpoint::Open("Tarn Scheduled Session - night", nullptr);
    char c = ep ? 'r' : 'x';
    (void)!write(ready[1], &c, 1);
    IpcMessage msg;
    bool got = ep && ep->Receive(&msg, kLimitMs) == IpcWait::kMessage && msg.name == "STOP";
    c = got ? 'y' : 'n';
    (void)!write(done[1], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'r');
  EXPECT_TRUE(Post("Tarn Scheduled Session - night", "STOP", 0, 0));
  IpcMessage msg;
  EXPECT_EQ(mine->Receive(&msg, kLimitMs), IpcWait::kMessage);
  ASSERT_EQ(read(done[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  waitpid(pid, nullptr, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST_F(IpcTest, ExistsFollowsTheEndpointsLife) {
  std::string error;
  EXPECT_FALSE(Exists("Almanor"));
  auto ep = IpcEndpoint::Open("Almanor", &error);
  ASSERT_NE(ep, nullptr) << error;
  EXPECT_TRUE(Exists("Almanor"));
  EXPECT_EQ(IpcEndpoint::Open("Almanor", &error), nullptr) << "one title per program";
  EXPECT_THAT(error, HasSubstr("already"));
  ep.reset();
  EXPECT_FALSE(Exists("Almanor"));
  EXPECT_EQ(CountEntries(IpcDir()), 0) << "the endpoint removes its socket file";
}

TEST_F(IpcTest, StaleEndpointOfADeadProgramIsRemoved) {
  // A program that died leaves its socket file with nobody bound to it.
  ASSERT_EQ(InChild([] {
              auto ep = IpcEndpoint::Open("Tarn Scheduled Session - night", nullptr);
              if (!ep) return 1;
              std::quick_exit(0);  // no destructors: the file stays
            }),
            0);
  ASSERT_EQ(CountEntries(IpcDir()), 1);
  EXPECT_FALSE(Exists("Tarn Scheduled Session - night"));
  EXPECT_EQ(CountEntries(IpcDir()), 0);

  ASSERT_EQ(InChild([] {
              auto ep = IpcEndpoint::Open("Almanor", nullptr);
              if (!ep) return 1;
              std::quick_exit(0);
            }),
            0);
  std::string error;
  EXPECT_FALSE(Post("Almanor", "X", 0, 0, &error));
  EXPECT_EQ(Broadcast("X", 0, 0), 0);
  EXPECT_EQ(CountEntries(IpcDir()), 0);
}

// ---- receiving ---------------------------------------------------------------

TEST_F(IpcTest, ReceiveEndsOnTimeLimitAndOnWake) {
  std::string error;
  auto ep = IpcEndpoint::Open("Almanor", &error);
  ASSERT_NE(ep, nullptr) << error;
  IpcMessage msg;
  EXPECT_EQ(ep->Receive(&msg, 0), IpcWait::kTimeout);
  std::thread waker([&] { ep->Wake(); });
  EXPECT_EQ(ep->Receive(&msg, -1), IpcWait::kWoken);
  waker.join();
  // A wake before the wait is not lost.
  ep->Wake();
  EXPECT_EQ(ep->Receive(&msg, -1), IpcWait::kWoken);
  EXPECT_EQ(ep->Receive(&msg, 0), IpcWait::kTimeout);
}

// Sends raw bytes to the one endpoint file in the folder.
void SendRaw(const std::string& dir, const std::string& bytes) {
  std::string path;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_socket()) path = e.path();
  ASSERT_FALSE(path.empty());
  int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&addr),
                   sizeof addr),
            static_cast<ssize_t>(bytes.size()));
  close(s);
}

TEST_F(IpcTest, MalformedDatagramsAreDroppedQuietly) {
  std::string error;
  auto ep = IpcEndpoint::Open("Almanor", &error);
  ASSERT_NE(ep, nullptr) << error;
  std::string good;
  {
    // A valid datagram for the title, to cut into broken ones.
    ASSERT_TRUE(Post("Almanor", "M", 1, 2));
    IpcMessage msg;
    ASSERT_EQ(ep->Receive(&msg, kLimitMs), IpcWait::kMessage);
    good = std::string("TIPC\x01\x07\x00", 7) + "Almanor" + std::string("\x01\x00", 2) + "M" +
           std::string(16, '\0');
  }
  const std::string broken[] = {
      "",
      "TIPC",
      "XIPC" + good.substr(4),
      good.substr(0, 4) + "\x02" + good.substr(5),     // version
      good.substr(0, good.size() - 1),                 // cut
      good + "x",                                      // trailing byte
      good.substr(0, 5) + "\xff\xff" + good.substr(7), // title longer than the datagram
      std::string("TIPC\x01\x00\x00\x00\x00", 9) + std::string(16, '\0'),  // empty name
      std::string("TIPC\x01\x05\x00", 7) + "Other" + std::string("\x01\x00", 2) + "M" +
          std::string(16, '\0'),  // another title
  };
  for (const auto& b : broken) SendRaw(IpcDir(), b);
  SendRaw(IpcDir(), good);
  IpcMessage msg;
  ASSERT_EQ(ep->Receive(&msg, kLimitMs), IpcWait::kMessage);
  EXPECT_EQ(msg.name, "M");
  EXPECT_EQ(ep->Receive(&msg, 0), IpcWait::kTimeout);
}

TEST_F(IpcTest, AnotherUserCannotPost) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  std::string error;
  auto ep = IpcEndpoint::Open("Almanor", &error);
  ASSERT_NE(ep, nullptr) << error;
  // Only the private folder stands between the other user and the socket.
  ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
  std::string path;
  for (const auto& e : std::filesystem::directory_iterator(IpcDir())) path = e.path();
  ASSERT_FALSE(path.empty());
  int status = InChild([&] {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 10;
    int s = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    const char datagram[] = "TIPC";
    if (sendto(s, datagram, 4, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr) >= 0) return 11;
    if (errno != EACCES) return 12;
    // Through the layer, the other user's folder is its own, not ours.
    if (Post("Almanor", "X", 0, 0)) return 13;
    if (Broadcast("X", 0, 0) != 0) return 14;
    return 0;
  });
  EXPECT_EQ(status, 0);
  IpcMessage msg;
  EXPECT_EQ(ep->Receive(&msg, 0), IpcWait::kTimeout);
}

TEST_F(IpcTest, DatagramsWithAnotherUsersCredentialsAreDropped) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can send another user's credentials";
  std::string error;
  auto ep = IpcEndpoint::Open("Almanor", &error);
  ASSERT_NE(ep, nullptr) << error;
  std::string path;
  for (const auto& e : std::filesystem::directory_iterator(IpcDir())) path = e.path();
  const std::string datagram = std::string("TIPC\x01\x07\x00", 7) + "Almanor" +
                               std::string("\x01\x00", 2) + "M" + std::string(16, '\0');
  auto sendAs = [&](uid_t uid) {
    int s = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    iovec iov{const_cast<char*>(datagram.data()), datagram.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))] = {};
    msghdr mh{};
    mh.msg_name = &addr;
    mh.msg_namelen = sizeof addr;
    mh.msg_iov = &iov;
    mh.msg_iovlen = 1;
    mh.msg_control = control;
    mh.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&mh);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_CREDENTIALS;
    c->cmsg_len = CMSG_LEN(sizeof(ucred));
    ucred cred{getpid(), uid, getgid()};
    std::memcpy(CMSG_DATA(c), &cred, sizeof cred);
    EXPECT_EQ(sendmsg(s, &mh, 0), static_cast<ssize_t>(datagram.size()));
    close(s);
  };
  sendAs(65534);
  IpcMessage msg;
  EXPECT_EQ(ep->Receive(&msg, 0), IpcWait::kTimeout);
  sendAs(geteuid());
  EXPECT_EQ(ep->Receive(&msg, kLimitMs), IpcWait::kMessage);
}

// ---- single-instance lock ---------------------------------------------------

TEST_F(IpcTest, InstanceLockIsHeldOnceAndReleasedWithItsObject) {
  std::string error;
  bool held = true;
  auto first = InstanceLock::Acquire("TARN_SCHEDULING_APPLICATION_1234", &held, &error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_FALSE(held);
  EXPECT_EQ(InstanceLock::Acquire("TARN_SCHEDULING_APPLICATION_1234", &held, &error), nullptr);
  EXPECT_TRUE(held);
  EXPECT_EQ(InChild([] {
              bool h = false;
              auto l = InstanceLock::Acquire("TARN_SCHEDULING_APPLICATION_1234", &h, nullptr);
              return !l && h ? 0 : 1;
            }),
            0);
  auto other = InstanceLock::Acquire("Another lock/with odd:name", &held, &error);
  EXPECT_NE(other, nullptr) << error;
  first.reset();
  EXPECT_NE(InstanceLock::Acquire("TARN_SCHEDULING_APPLICATION_1234", &held, &error), nullptr);
}

TEST_F(IpcTest, InstanceLockIsNotInheritedByStartedPrograms) {
  std::string error;
  bool held = false;
  auto lock = InstanceLock::Acquire("L", &held, &error);
  ASSERT_NE(lock, nullptr) << error;
  int pid = StartProgram({"/bin/sleep", "60"}, StartHint::kNormal, &error);
  ASSERT_GT(pid, 0) << error;
  lock.reset();
  EXPECT_NE(InstanceLock::Acquire("L", &held, &error), nullptr) << "the child kept the lock";
  kill(pid, SIGKILL);
}

// ---- starting programs ---------------------------------------------------------

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using StartProgramTest = IpcFixture;

TEST_F(StartProgramTest, ArgumentsArriveWholeWithTheHint) {
  std::string error;
  auto reply = IpcEndpoint::Open("start-program-test", &error);
  ASSERT_NE(reply, nullptr) << error;
  struct Case {
    StartHint hint;
    const char* text;
  } cases[] = {
      {StartHint::kNormal, ""},
      {StartHint::kMinimised, "minimised"},
      {StartHint::kMinimisedNoActivate, "minimised,noactivate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out = root_ + "/args.txt";
    int pid = StartProgram({IPC_PEER_PATH, "args", out, "start-program-test",
                            "-/q/night run.tsc", "-mail.example.org", "-a-b@x.org", "", "$(id)"},
                           c.hint, &error);
    ASSERT_GT(pid, 0) << error;
    IpcMessage msg;
    ASSERT_EQ(reply->Receive(&msg, kLimitMs), IpcWait::kMessage);
    EXPECT_EQ(msg.name, "PEER_DONE");
    EXPECT_EQ(ReadAll(out), std::string("hint=") + c.text +
                                "\n-/q/night run.tsc\n-mail.example.org\n-a-b@x.org\n\n$(id)\n");
  }
}

TEST_F(StartProgramTest, DetachedChildHoldsNoneOfTheCallersStreams) {
  std::string error;
  auto reply = IpcEndpoint::Open("start-program-test", &error);
  ASSERT_NE(reply, nullptr) << error;
  setenv("IPC_PEER_STDIO", "1", 1);
  std::string out = root_ + "/args.txt";
  int pid = StartProgram({IPC_PEER_PATH, "args", out, "start-program-test"}, StartHint::kNormal,
                         &error, ChildStdio::kNull);
  unsetenv("IPC_PEER_STDIO");
  ASSERT_GT(pid, 0) << error;
  IpcMessage msg;
  ASSERT_EQ(reply->Receive(&msg, kLimitMs), IpcWait::kMessage);
  EXPECT_EQ(ReadAll(out), "hint=\n0=/dev/null\n1=/dev/null\n2=/dev/null\n");
}

// A caller that blocks the stop signals to take them on a thread of its
// own, and ignores SIGPIPE, starts a child that can still be stopped.
TEST_F(StartProgramTest, ChildStartsWithNoSignalBlockedOrIgnored) {
  std::string error;
  auto reply = IpcEndpoint::Open("start-program-test", &error);
  ASSERT_NE(reply, nullptr) << error;
  sigset_t stops, before;
  sigemptyset(&stops);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, sig);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &stops, &before), 0);
  struct sigaction ignore {}, oldPipe{}, oldUsr{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &oldPipe);
  sigaction(SIGUSR1, &ignore, &oldUsr);
  setenv("IPC_PEER_SIGNALS", "1", 1);
  std::string out = root_ + "/args.txt";
  int pid = StartProgram({IPC_PEER_PATH, "args", out, "start-program-test"}, StartHint::kNormal,
                         &error);
  unsetenv("IPC_PEER_SIGNALS");
  sigaction(SIGPIPE, &oldPipe, nullptr);
  sigaction(SIGUSR1, &oldUsr, nullptr);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  ASSERT_GT(pid, 0) << error;
  IpcMessage msg;
  ASSERT_EQ(reply->Receive(&msg, kLimitMs), IpcWait::kMessage);
  // The C library's own signals above 31 may come ignored; the standard
  // ones must all be at their defaults.
  unsigned long long blocked = ~0ull, ignored = ~0ull;
  ASSERT_EQ(std::sscanf(ReadAll(out).c_str(), "hint=\nSigBlk:\t%llx\nSigIgn:\t%llx", &blocked, &ignored), 2);
  EXPECT_EQ(blocked, 0u);
  EXPECT_EQ(ignored & 0x7fffffffull, 0u);
}

TEST_F(StartProgramTest, MissingProgramIsReported) {
  std::string error;
  EXPECT_EQ(StartProgram({root_ + "/no-such-program"}, StartHint::kNormal, &error), -1);
  EXPECT_THAT(error, HasSubstr("no-such-program"));
  EXPECT_EQ(StartProgram({}, StartHint::kNormal, &error), -1);
}

}  // namespace
}  // namespace platform
