// almanor's command line and its headless form, without Qt: what runs under
// cron, systemd and ssh, and what a script calls.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "scheduler/model/schedule.h"

namespace sched {

enum class Mode {
  kDefault,         // the tray form when a display with a tray exists, else headless
  kHeadless,        // --headless
  kList,            // --list [--raw]
  kAdd,             // --add FILE --start ...
  kRemove,          // --remove N
  kTickAt,          // --tick-at TIME
  kInstallService,  // --install-service
  kHelp,
  kVersion,
};

enum class OverdueChoice { kSkip, kRun, kDelete };

struct Options {
  Mode mode = Mode::kDefault;
  std::string listFile;  // --file; "" for the default
  bool raw = false;
  bool dryRun = false;
  OverdueChoice overdue = OverdueChoice::kSkip;
  bool overdueGiven = false;
  // --add
  std::string queueFile, start, stop;
  int32_t frequency = 0;
  bool notify = false;
  std::string smtpHost, sender, receiver;
  // --remove
  long index = 0;
  // --tick-at
  std::string tickAt;
};

extern const char kUsage[];
// Names of the single-instance lock and of the endpoints.
inline constexpr char kInstanceLock[] = "TARN_SCHEDULING_APPLICATION_1234";
inline constexpr char kTrayTitle[] = "Almanor";
inline constexpr char kHeadlessTitle[] = "Almanor (headless)";
// Sent by the tray form to a headless scheduler that holds the lock: end and
// leave the schedules to the tray.
inline constexpr char kYieldMessage[] = "ALMANOR_YIELD_TO_TRAY";

// Reads the arguments after the program name. 0 when they are usable;
// otherwise 2 with `*error` set.
int ParseOptions(const std::vector<std::string>& args, Options* opt, std::string* error);

// Runs --list, --add, --remove, --tick-at or --install-service; the exit
// status.
int RunCommand(const Options& opt, std::FILE* out, std::FILE* err);

// The headless scheduler: the engine every 30 seconds until SIGTERM or
// SIGINT, overdue schedules decided by --overdue, a log on `err`.
int RunHeadless(const Options& opt, std::FILE* err);

// Prints the list's notices on a stream, "almanor: " before each line.
class StreamNotice : public Notice {
 public:
  explicit StreamNotice(std::FILE* f) : f_(f) {}
  void Show(const std::string& text, NoticeIcon icon) override;
  int count = 0;

 private:
  std::FILE* f_;
};

// The schedule file the client handed over (`CurrentQueueFile` of the
// client's Application key). False when the registry, the key or the value
// cannot be read, or the value is longer than 259 characters.
bool ReadCurrentQueueFile(std::string* path);

// Writes the systemd user unit and the desktop autostart entry (both with
// "--file `listFile`" when one is given); their paths in `*written`, or
// false with `*error` set.
bool InstallService(const std::string& program, std::vector<std::string>* written,
                    std::string* error, const std::string& listFile = "");

}  // namespace sched
