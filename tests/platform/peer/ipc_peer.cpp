// A second program for the ipc and process tests.
//
//   ipc_peer args OUTFILE REPLYTITLE [ARG...]
//       writes its arguments (one per line, after a line with
//       TARN_START_HINT) to OUTFILE, then posts "PEER_DONE" to REPLYTITLE;
//       with IPC_PEER_STDIO set also where its standard streams lead, with
//       IPC_PEER_SIGNALS set its blocked and ignored signals (the SigBlk
//       and SigIgn lines of /proc/self/status)
//   ipc_peer post TITLE NAME
//       posts NAME to TITLE; exit status 0 when an endpoint took it
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/ipc.h"

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "args") == 0) {
    {
      std::ofstream out(argv[2], std::ios::binary);
      const char* hint = std::getenv("TARN_START_HINT");
      out << "hint=" << (hint ? hint : "") << "\n";
      for (int i = 4; i < argc; ++i) out << argv[i] << "\n";
      if (std::getenv("IPC_PEER_STDIO")) {
        char target[256] = {};
        for (int fd = 0; fd <= 2; ++fd) {
          std::string link = "/proc/self/fd/" + std::to_string(fd);
          ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
          out << fd << "=" << (n > 0 ? std::string(target, static_cast<size_t>(n)) : "?") << "\n";
        }
      }
      if (std::getenv("IPC_PEER_SIGNALS")) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
          if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) out << line << "\n";
      }
    }
    return platform::Post(argv[3], "PEER_DONE", argc - 4, 0) ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "post") == 0)
    return platform::Post(argv[2], argv[3], 0, 0) ? 0 : 1;
  std::fprintf(stderr, "usage: ipc_peer args OUTFILE REPLYTITLE [ARG...] | post TITLE NAME\n");
  return 2;
}
