// Stands in for the client in the scheduler's end-to-end tests: started as
//   tarn -QUEUEFILE [-HOST -SENDER -RECEIVER]
// it opens the scheduled session's endpoint as the client's unattended run
// does, tells the test (endpoint $FAKE_TARN_REPLY) that it runs, and ends
// when WMU_TARN_STOP_MESSAGE arrives (exit 3, stopped), or after a minute.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/ipc.h"

int main(int argc, char** argv) {
  const char* reply = std::getenv("FAKE_TARN_REPLY");
  const char* log = std::getenv("FAKE_TARN_LOG");
  if (argc < 2 || argv[1][0] != '-' || !reply) return 2;
  std::string title = platform::ScheduledSessionTitle(argv[1] + 1);
  if (log) {
    std::ofstream out(log, std::ios::app);
    out << "started";
    for (int i = 1; i < argc; ++i) out << "|" << argv[i];
    out << "|hint=" << (std::getenv("TARN_START_HINT") ? std::getenv("TARN_START_HINT") : "")
        << "\n";
  }
  auto endpoint = platform::IpcEndpoint::Open(title, nullptr);
  if (!endpoint) return 2;
  platform::Post(reply, "FAKE_TARN_READY", getpid(), 0);
  platform::IpcMessage msg;
  while (endpoint->Receive(&msg, 60000) == platform::IpcWait::kMessage) {
    if (msg.name == platform::kTarnStopMessage) {
      platform::Post(reply, "FAKE_TARN_STOPPED", getpid(), 0);
      return 3;
    }
  }
  return 1;
}
