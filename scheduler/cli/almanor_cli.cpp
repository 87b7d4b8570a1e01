#include "scheduler/cli/almanor_cli.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "platform/ipc.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "scheduler/model/dialog_rules.h"
#include "scheduler/model/engine.h"
#include "scheduler/model/local_time.h"
#include "scheduler/model/messages.h"

namespace sched {

const char kUsage[] =
    "Usage: almanor [--file PATH] [COMMAND]\n"
    "\n"
    "Without a command almanor is the Tarn Scheduling Application: an icon in the\n"
    "desktop's system tray, or, without a display or a tray, the same scheduler\n"
    "headless with its log on standard error. It starts tarn for each due\n"
    "schedule and stops a restricted run at its stop time.\n"
    "\n"
    "Commands:\n"
    "  --headless [--overdue run|skip|delete]\n"
    "        run the scheduler without any window; a schedule missed by more than\n"
    "        ten minutes is run, skipped (the default) or deleted\n"
    "  --list [--raw]\n"
    "        one line per schedule, tab-separated: Name, StartDate, StartTime,\n"
    "        Rest., StopDate, StopTime, Freq; with --raw the eleven stored fields\n"
    "        (queue file, restrict, stop, start, frequency, recurring, running,\n"
    "        notify, receiver, sender, SMTP host)\n"
    "  --add FILE --start \"YYYY-MM-DD HH:MM[:SS]\" [--stop \"YYYY-MM-DD HH:MM[:SS]\"]\n"
    "        [--daily|--weekly|--monthly] [--notify HOST SENDER RECEIVER]\n"
    "        add a schedule for the schedule file FILE; --stop restricts the\n"
    "        run's time, --monthly means every 28 days\n"
    "  --remove N\n"
    "        remove schedule N (1 is the first line of --list)\n"
    "  --tick-at \"YYYY-MM-DD HH:MM:SS\" [--overdue run|skip|delete] [--dry-run]\n"
    "        one pass of the scheduler as if it were that local time; prints\n"
    "        \"run: \", \"stop: \", \"remove: \" and \"overdue: \" lines; --dry-run starts\n"
    "        nothing and saves nothing\n"
    "  --install-service\n"
    "        write a systemd user unit that runs almanor headless and a desktop\n"
    "        autostart entry for the tray form (both with --file when given)\n"
    "  --help, --version\n"
    "\n"
    "The list lives in $TARN_CONFIG_DIR/almanor.tsl when TARN_CONFIG_DIR is set,\n"
    "else in ${XDG_DATA_HOME:-~/.local/share}/tarn/almanor.tsl; --file names another.\n"
    "The file keeps times up to 03:14:07 UTC on 19 January 2038: a recurring schedule\n"
    "whose next start or stop would fall later ends, with a message saying so.\n"
    "Exit status: 0 on success, 1 when the list cannot be read or saved, 2 for a\n"
    "command line that cannot be used.\n";

namespace {

bool ParseOverdue(const std::string& v, OverdueChoice* c) {
  if (v == "run") *c = OverdueChoice::kRun;
  else if (v == "skip") *c = OverdueChoice::kSkip;
  else if (v == "delete") *c = OverdueChoice::kDelete;
  else return false;
  return true;
}

const char* OverdueWord(OverdueChoice c) {
  switch (c) {
    case OverdueChoice::kRun: return "run";
    case OverdueChoice::kDelete: return "delete";
    default: return "skip";
  }
}

int OverdueAnswer(OverdueChoice c) {
  switch (c) {
    case OverdueChoice::kRun: return kRunNow;
    case OverdueChoice::kDelete: return kDeleteSchedule;
    default: return kSkipSchedule;
  }
}

// An argument shown in a "run: " line: quoted when a shell would split it.
std::string Shown(const std::string& a) {
  if (!a.empty() && a.find_first_of(" \t\n'\"\\$`") == std::string::npos) return a;
  std::string q = "'";
  for (char c : a) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Joined(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& a : argv) line += (line.empty() ? "" : " ") + Shown(a);
  return line;
}

// Prints the engine's actions as lines, with a time stamp when logging,
// and carries them out unless dry.
class PrintingActions : public EngineActions {
 public:
  // The log's clients share its streams; those of a single pass do not, so
  // that the caller's pipes close when almanor ends.
  PrintingActions(std::FILE* out, bool dry, Clock* stampClock)
      : out_(out), dry_(dry), stampClock_(stampClock), real_(stampClock == nullptr) {}
  void StartClient(const CScheduleEntry& e, const std::vector<std::string>& argv) override {
    Line("run: " + Joined(argv));
    if (!dry_) real_.StartClient(e, argv);
  }
  void PostStop(const CScheduleEntry& e, const std::string& title) override {
    Line("stop: " + title);
    if (!dry_) real_.PostStop(e, title);
  }
  void Removed(const CScheduleEntry& e) override { Line("remove: " + e.DisplayName()); }
  void Refused(const CScheduleEntry& e, const std::string& why) override {
    Line("refused: " + e.DisplayName() + ": " + why);
  }
  void Line(const std::string& text) {
    if (stampClock_)
      std::fprintf(out_, "almanor: %s %s\n", FormatIsoTime(stampClock_->Now()).c_str(),
                   text.c_str());
    else
      std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  bool dry_;
  Clock* stampClock_;
  SystemActions real_;
};

class ChoiceAsker : public OverdueAsker {
 public:
  ChoiceAsker(PrintingActions& log, OverdueChoice choice, bool sayChoice)
      : log_(log), choice_(choice), sayChoice_(sayChoice) {}
  int AskOverdue(const CScheduleEntry& e, const std::string&) override {
    log_.Line("overdue: " + e.DisplayName() +
              (sayChoice_ ? std::string(" (") + OverdueWord(choice_) + ")" : ""));
    return OverdueAnswer(choice_);
  }

 private:
  PrintingActions& log_;
  OverdueChoice choice_;
  bool sayChoice_;
};

struct FixedClock : Clock {
  int64_t t;
  explicit FixedClock(int64_t v) : t(v) {}
  int64_t Now() override { return t; }
};

std::string ListFile(const Options& opt) {
  return opt.listFile.empty() ? DefaultListFile() : opt.listFile;
}

// Loads the list; false (the caller exits 1) when it cannot be used.
bool LoadList(CSchedule& list, StreamNotice& notice, std::FILE* err) {
  switch (list.Load(notice)) {
    case LoadResult::kOk: return true;
    case LoadResult::kOpenFailed:
      std::fprintf(err, "almanor: %s: %s\n", list.FileName().c_str(), std::strerror(errno));
      return false;
    case LoadResult::kBadVersion:
    case LoadResult::kReadError:
      return false;
    default:
      // A cut or overfull list was read as far as it goes and said so; the
      // entries read stay usable.
      return true;
  }
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return platform::PathJoin(cwd, path);
}

std::string RowOf(const CScheduleEntry& e) {
  bool r = e.m_bRestrict == 1;
  return e.DisplayName() + "\t" + FormatListDate(e.m_timeStart) + "\t" +
         FormatListTime(e.m_timeStart) + "\t" + (r ? "Y" : "") + "\t" +
         (r ? FormatListDate(e.m_timeStop) : "") + "\t" + (r ? FormatListTime(e.m_timeStop) : "") +
         "\t" + FrequencyText(e.m_nFrequency);
}

std::string RawRowOf(const CScheduleEntry& e) {
  auto n = [](int64_t v) { return std::to_string(v); };
  return e.m_strQueueFile + "\t" + n(e.m_bRestrict) + "\t" + n(e.m_timeStop) + "\t" +
         n(e.m_timeStart) + "\t" + n(e.m_nFrequency) + "\t" + n(e.m_bRecurring) + "\t" +
         n(e.m_bRunning) + "\t" + n(e.m_bNotify) + "\t" + e.m_strReceiver + "\t" + e.m_strSender +
         "\t" + e.m_strSmtpHost;
}

// What the editor's pickers can make: a date from today up to 23 November
// 2037 with any clock time of that day.
bool InPickerRange(int64_t t, int64_t now) {
  LocalParts today = CTimeToLocal(now);
  today.hour = today.minute = today.second = 0;
  int64_t first = 0, last = 0;
  LocalParts end;
  end.year = kLatestYear, end.month = kLatestMonth, end.day = kLatestDay;
  end.hour = 23, end.minute = 59, end.second = 59;
  if (!LocalToCTime(today, &first) || !LocalToCTime(end, &last)) return false;
  return t >= first && t <= last;
}

// "" when `text` is a time the list can hold (in `*t`); else why not.
// `seconds` names the form with seconds in the message (the short form is
// read as well).
std::string ReadTime(const std::string& option, const std::string& text, bool seconds,
                     int64_t* t) {
  switch (ParseLocalTimeChecked(text, t)) {
    case ParseTime::kOk: return "";
    case ParseTime::kOutOfRange:
      return option + " " + text + ": lies beyond " + kCTimeLimitText +
             ", the latest time the schedule list can store";
    case ParseTime::kBadForm: break;
  }
  return option + " " + text + ": not a time of the form " +
         (seconds ? "YYYY-MM-DD HH:MM:SS" : "YYYY-MM-DD HH:MM[:SS]");
}

int Add(const Options& opt, std::FILE* err) {
  auto fail = [&](const std::string& why) {
    std::fprintf(err, "almanor: %s\n", why.c_str());
    return 2;
  };
  CScheduleEntry e;
  e.m_strQueueFile = Absolute(opt.queueFile);
  struct stat st{};
  if (stat(e.m_strQueueFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return fail(e.m_strQueueFile + ": no such schedule file");
  int64_t now = SystemClock().Now();
  if (std::string why = ReadTime("--start", opt.start, false, &e.m_timeStart); !why.empty())
    return fail(why);
  if (!InPickerRange(e.m_timeStart, now))
    return fail("--start " + opt.start + ": the start lies before today or after 2037-11-23");
  if (!opt.stop.empty()) {
    if (std::string why = ReadTime("--stop", opt.stop, false, &e.m_timeStop); !why.empty())
      return fail(why);
    if (!InPickerRange(e.m_timeStop, now))
      return fail("--stop " + opt.stop + ": the stop lies before today or after 2037-11-23");
    if (e.m_timeStop < e.m_timeStart) return fail("--stop lies before --start");
    e.m_bRestrict = 1;
  }
  e.m_nFrequency = opt.frequency;
  e.m_bRecurring = opt.frequency != 0;
  if (opt.notify) {
    EmailCheck c = CheckEmailValues(opt.smtpHost, opt.sender, opt.receiver);
    if (c.field != EmailField::kNone) return fail(c.message);
    e.m_bNotify = 1;
    e.m_strSmtpHost = opt.smtpHost;
    e.m_strSender = opt.sender;
    e.m_strReceiver = opt.receiver;
  }
  std::string limit = CheckEntryLimits(e, DefaultClientPath());
  if (!limit.empty()) return fail(limit);

  CSchedule list(ListFile(opt));
  StreamNotice notice(err);
  if (!LoadList(list, notice, err)) return 1;
  if (!list.Add(e, notice)) return 1;
  if (!list.Save(notice)) return 1;
  platform::Broadcast(platform::kScheduleChangedMessage, 0, 0);
  return 0;
}

int Remove(const Options& opt, std::FILE* err) {
  CSchedule list(ListFile(opt));
  StreamNotice notice(err);
  if (!LoadList(list, notice, err)) return 1;
  if (opt.index < 1 || static_cast<size_t>(opt.index) > list.Count()) {
    std::fprintf(err, "almanor: --remove %ld: the list holds %zu schedule%s\n", opt.index,
                 list.Count(), list.Count() == 1 ? "" : "s");
    return 2;
  }
  list.Remove(static_cast<size_t>(opt.index - 1));
  if (!list.Save(notice)) return 1;
  platform::Broadcast(platform::kScheduleChangedMessage, 0, 0);
  return 0;
}

int TickAt(const Options& opt, std::FILE* out, std::FILE* err) {
  int64_t t = 0;
  if (std::string why = ReadTime("--tick-at", opt.tickAt, true, &t); !why.empty()) {
    std::fprintf(err, "almanor: %s\n", why.c_str());
    return 2;
  }
  CSchedule list(ListFile(opt));
  StreamNotice notice(err);
  if (!LoadList(list, notice, err)) return 1;
  FixedClock clock(t);
  PrintingActions actions(out, opt.dryRun, nullptr);
  ChoiceAsker asker(actions, opt.overdue, false);
  ScheduleEngine engine(clock, actions, asker);
  auto r = engine.Tick(list, notice, !opt.dryRun);
  if (r.changed && !opt.dryRun) {
    if (!r.saved) return 1;
    platform::Broadcast(platform::kScheduleChangedMessage, 0, 0);
  }
  return 0;
}

int List(const Options& opt, std::FILE* out, std::FILE* err) {
  CSchedule list(ListFile(opt));
  StreamNotice notice(err);
  if (!LoadList(list, notice, err)) return 1;
  for (const auto& e : list.Entries())
    std::fprintf(out, "%s\n", (opt.raw ? RawRowOf(e) : RowOf(e)).c_str());
  return 0;
}

// ---- the headless form ---------------------------------------------------------

// The signal handlers' only way to the loop: the flag and the endpoint to
// wake (whose Wake is async-signal-safe).
std::atomic<bool> gStop{false};
std::atomic<platform::IpcEndpoint*> gWake{nullptr};

void OnSignal(int) {
  gStop = true;
  if (auto* ep = gWake.load()) ep->Wake();
}

}  // namespace

void StreamNotice::Show(const std::string& text, NoticeIcon) {
  ++count;
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      if (!line.empty()) std::fprintf(f_, "almanor: %s\n", line.c_str());
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) std::fprintf(f_, "almanor: %s\n", line.c_str());
  std::fflush(f_);
}

int ParseOptions(const std::vector<std::string>& args, Options* opt, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = why;
    return 2;
  };
  auto setMode = [&](Mode m) {
    if (opt->mode != Mode::kDefault && opt->mode != m) return false;
    opt->mode = m;
    return true;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    bool ok = true;
    if (a == "--help" || a == "-h") ok = setMode(Mode::kHelp);
    else if (a == "--version") ok = setMode(Mode::kVersion);
    else if (a == "--headless") ok = setMode(Mode::kHeadless);
    else if (a == "--list") ok = setMode(Mode::kList);
    else if (a == "--raw") opt->raw = true;
    else if (a == "--install-service") ok = setMode(Mode::kInstallService);
    else if (a == "--dry-run") opt->dryRun = true;
    else if (a == "--daily") opt->frequency = kDaily;
    else if (a == "--weekly") opt->frequency = kWeekly;
    else if (a == "--monthly") opt->frequency = kMonthly;
    else if (a == "--file") {
      if (!value(&opt->listFile) || opt->listFile.empty()) return fail("--file needs a path");
    } else if (a == "--add") {
      ok = setMode(Mode::kAdd);
      if (ok && !value(&opt->queueFile)) return fail("--add needs a schedule file");
    } else if (a == "--start") {
      if (!value(&opt->start)) return fail("--start needs a time");
    } else if (a == "--stop") {
      if (!value(&opt->stop)) return fail("--stop needs a time");
    } else if (a == "--notify") {
      if (i + 3 >= args.size()) return fail("--notify needs HOST SENDER RECEIVER");
      opt->notify = true;
      opt->smtpHost = args[++i];
      opt->sender = args[++i];
      opt->receiver = args[++i];
    } else if (a == "--remove") {
      std::string n;
      ok = setMode(Mode::kRemove);
      if (ok && !value(&n)) return fail("--remove needs a number");
      char* end = nullptr;
      errno = 0;
      if (ok) opt->index = std::strtol(n.c_str(), &end, 10);
      if (ok && (n.empty() || *end || errno)) return fail("--remove " + n + ": not a number");
    } else if (a == "--tick-at") {
      ok = setMode(Mode::kTickAt);
      if (ok && !value(&opt->tickAt)) return fail("--tick-at needs a time");
    } else if (a == "--overdue") {
      std::string v;
      if (!value(&v) || !ParseOverdue(v, &opt->overdue))
        return fail("--overdue takes run, skip or delete");
      opt->overdueGiven = true;
    } else {
      return fail("unknown argument " + a);
    }
    if (!ok) return fail(a + " cannot be combined with the command before it");
  }
  if (opt->mode == Mode::kAdd && opt->start.empty()) return fail("--add needs --start");
  bool addOptions = !opt->start.empty() || !opt->stop.empty() || opt->frequency || opt->notify;
  if (addOptions && opt->mode != Mode::kAdd) return fail("--start, --stop, --daily, --weekly, --monthly and --notify belong to --add");
  if (opt->raw && opt->mode != Mode::kList) return fail("--raw belongs to --list");
  if (opt->dryRun && opt->mode != Mode::kTickAt) return fail("--dry-run belongs to --tick-at");
  if (opt->overdueGiven && opt->mode != Mode::kTickAt && opt->mode != Mode::kHeadless &&
      opt->mode != Mode::kDefault)
    return fail("--overdue belongs to --tick-at and --headless");
  return 0;
}

int RunCommand(const Options& opt, std::FILE* out, std::FILE* err) {
  switch (opt.mode) {
    case Mode::kList: return List(opt, out, err);
    case Mode::kAdd: return Add(opt, err);
    case Mode::kRemove: return Remove(opt, err);
    case Mode::kTickAt: return TickAt(opt, out, err);
    case Mode::kInstallService: {
      std::vector<std::string> written;
      std::string error;
      std::string program = platform::PathJoin(platform::ProgramDirectory(), "almanor");
      if (!InstallService(program, &written, &error,
                          opt.listFile.empty() ? "" : Absolute(opt.listFile))) {
        std::fprintf(err, "almanor: %s\n", error.c_str());
        return 1;
      }
      for (const auto& w : written) std::fprintf(out, "wrote %s\n", w.c_str());
      std::fprintf(out,
                   "Start the headless scheduler now and at every log-in with:\n"
                   "  systemctl --user daemon-reload\n"
                   "  systemctl --user enable --now almanor.service\n"
                   "On a desktop with a system tray the tray form starts at log-in and takes\n"
                   "over from the headless one; when it ends, the headless one comes back.\n");
      return 0;
    }
    case Mode::kHelp: std::fputs(kUsage, out); return 0;
    case Mode::kVersion: std::fputs("almanor " TARN_VERSION "\n", out); return 0;
    default: return 2;
  }
}

bool ReadCurrentQueueFile(std::string* path) {
  std::string error;
  auto reg = platform::OpenSqliteRegistry(
      platform::PathJoin(platform::ConfigDirectory(), "registry.sqlite"), &error);
  if (!reg) return false;
  platform::RegKey key;
  if (reg->OpenKey("Software\\Ostravel\\Tarn\\Application", &key) != platform::RegStatus::kOk)
    return false;
  char buf[260];
  uint32_t size = 0, needed = 0;
  if (reg->ReadValue(key, "CurrentQueueFile", buf, sizeof buf, &size, &needed) !=
      platform::RegStatus::kOk)
    return false;
  // A binary value of the full 260 bytes comes without a NUL.
  path->assign(buf, strnlen(buf, size));
  return !path->empty();
}

bool InstallService(const std::string& program, std::vector<std::string>* written,
                    std::string* error, const std::string& listFile) {
  // Paths go into the Exec lines in double quotes. The few characters that
  // unit files and desktop entries read as escapes or specifiers (each in
  // its own way) are refused rather than escaped for both.
  for (const std::string* p : {&program, &listFile}) {
    if (p->find_first_of("\"\\$%`\n") != std::string::npos) {
      *error = *p + ": a path with \", \\, $, %, ` or a line break cannot be written into "
               "the service's command line";
      return false;
    }
  }
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::string config = xdg && xdg[0] == '/' ? xdg : std::string(home ? home : "") + "/.config";
  std::string unitDir = config + "/systemd/user", autoDir = config + "/autostart";
  if (!platform::MakeDirectories(unitDir, 0755) || !platform::MakeDirectories(autoDir, 0755)) {
    *error = "cannot create " + unitDir + " or " + autoDir;
    return false;
  }
  // systemd and desktop entries split Exec lines at blanks; quote the path.
  std::string exec = "\"" + program + "\"";
  if (!listFile.empty()) exec += " --file \"" + listFile + "\"";
  std::string unit = unitDir + "/almanor.service";
  std::string desktop = autoDir + "/almanor.desktop";
  std::ofstream u(unit, std::ios::trunc);
  u << "[Unit]\n"
       "Description=Tarn Scheduling Application (headless)\n"
       "\n"
       "[Service]\n"
       "ExecStart="
    << exec
    << " --headless\n"
       "# A tray form holding the schedules makes this one end at once; it\n"
       "# comes back after the tray form is gone.\n"
       "Restart=always\n"
       "RestartSec=60\n"
       "\n"
       "[Install]\n"
       "WantedBy=default.target\n";
  u.close();
  std::ofstream d(desktop, std::ios::trunc);
  d << "[Desktop Entry]\n"
       "Type=Application\n"
       "Name=Tarn Scheduling Application\n"
       "Comment=Starts tarn for scheduled transfers\n"
       "Exec="
    << exec
    << "\n"
       "Terminal=false\n"
       "X-GNOME-Autostart-enabled=true\n";
  d.close();
  if (!u || !d) {
    *error = "cannot write " + unit + " or " + desktop;
    return false;
  }
  written->push_back(unit);
  written->push_back(desktop);
  return true;
}

int RunHeadless(const Options& opt, std::FILE* err) {
  SystemClock clock;
  PrintingActions log(err, false, &clock);
  bool held = false;
  std::string error;
  auto lock = platform::InstanceLock::Acquire(kInstanceLock, &held, &error);
  if (!lock) {
    if (held) {
      log.Line("another scheduler of this user is running; this one ends");
      return 0;
    }
    log.Line("cannot take the single-instance lock: " + error);
    return 1;
  }
  auto endpoint = platform::IpcEndpoint::Open(kHeadlessTitle, &error);
  if (!endpoint) log.Line("no messages from other programs: " + error);

  CSchedule list(ListFile(opt));
  StreamNotice notice(err);
  LoadResult loaded = list.Load(notice);
  if (loaded == LoadResult::kOpenFailed) {
    log.Line(list.FileName() + ": " + std::strerror(errno));
    log.Line(kStr1014NoListFile);
    return 1;
  }
  ChoiceAsker asker(log, opt.overdue, true);
  ScheduleEngine engine(clock, log, asker);
  log.Line("ready: " + std::to_string(list.Count()) + " schedule" +
           (list.Count() == 1 ? "" : "s") + " in " + list.FileName() +
           "; overdue schedules: " + OverdueWord(opt.overdue));

  gStop = false;
  gWake = endpoint.get();
  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);

  auto tick = [&] {
    if (list.FileChanged()) list.Load(notice);
    engine.Tick(list, notice);
  };
  tick();
  int64_t next = clock.Now() + kTimerPeriodMs / 1000;
  while (!gStop) {
    int64_t left = next - clock.Now();
    if (left <= 0) {
      tick();
      next += kTimerPeriodMs / 1000;
      if (next <= clock.Now()) next = clock.Now() + kTimerPeriodMs / 1000;  // the clock jumped
      continue;
    }
    if (!endpoint) {
      struct timespec ts{static_cast<time_t>(left), 0};
      nanosleep(&ts, nullptr);  // a signal ends it early
      continue;
    }
    platform::IpcMessage msg;
    platform::IpcWait w = endpoint->Receive(&msg, static_cast<int>(left * 1000));
    if (w == platform::IpcWait::kError) {
      // A broken endpoint would return at once, again and again: the loop
      // goes on with the timer alone.
      log.Line("no more messages from other programs: the endpoint failed");
      gWake = nullptr;
      endpoint.reset();
      continue;
    }
    if (w != platform::IpcWait::kMessage) continue;
    if (msg.name == platform::kScheduleChangedMessage) {
      // A schedule added for now starts now, not at the next period.
      if (list.FileChanged()) {
        list.Load(notice);
        log.Line("reloaded: " + std::to_string(list.Count()) + " schedules");
        engine.Tick(list, notice);
      }
    } else if (msg.name == platform::kScheduleTransferMessage) {
      std::string queue;
      if (ReadCurrentQueueFile(&queue))
        log.Line("hand-over of " + queue +
                 " left alone: without a display \"Scheduled Transfers\" cannot open; add it "
                 "with almanor --add");
    } else if (msg.name == kYieldMessage) {
      log.Line("the tray form takes over; this one ends");
      break;
    }
  }
  gWake = nullptr;
  if (gStop) log.Line("stopped");
  return 0;
}

}  // namespace sched
