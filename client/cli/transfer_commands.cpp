// tarn-cli's file transfers and remote file commands.
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "client/cli/console.h"
#include "client/engine/commands.h"
#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/transfer.h"
#include "client/listing/listing_thread.h"
#include "client/listing/text_rules.h"

namespace tarn::cli {

namespace {

std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Shows the transfer in the console for the life of one command.
class ProgressScope {
 public:
  explicit ProgressScope(ConsoleUi& ui) : ui_(ui) { ui_.BeginTransfer(); }
  ~ProgressScope() { ui_.EndTransfer(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  ConsoleUi& ui_;
};

}  // namespace

bool Console::TakeFlags(std::vector<std::string>* args, char* type, bool* resume) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args->size(); ++i) {
    const std::string& a = (*args)[i];
    if (a == "--resume") {
      *resume = true;
    } else if (a == "--passive") {
      app_.settings.bPassive = 1;
    } else if (a == "--active") {
      app_.settings.bPassive = 0;
    } else if (a == "--type" && i + 1 < args->size()) {
      const std::string& t = (*args)[++i];
      if (t == "ascii") *type = 'A';
      else if (t == "binary") *type = 'I';
      else if (t == "auto") *type = 'X';
      else return Fail("--type takes ascii, binary or auto");
    } else {
      rest.push_back(a);
    }
  }
  *args = rest;
  return true;
}

char Console::TypeFor(const std::string& name, char forced) const {
  char t = forced ? forced : options_.type;
  if (!t) {
    switch (ui_.Mode()) {
      case TransferMode::kAscii: t = 'A'; break;
      case TransferMode::kBinary: t = 'I'; break;
      case TransferMode::kAutoDetect: t = 'X'; break;
    }
  }
  if (t == 'X') return IsAsciiExtension(name, app_.settings.cAsciiExtensions) ? 'A' : 'I';
  return t;
}

void Console::SaveResume(const std::string& local, const std::string& remote, int64_t size,
                         bool done, char type) {
  if (host_.iQuickConnect) return;
  ResumeState state;
  SetField(state.cResumeFileName, local);
  SetField(state.cResumeSourceFileSize, std::to_string(size));
  SetField(state.cResumeSourcePath, remote);
  SetField(state.cResIsDownLoadDone, done ? "TRUE" : "FALSE");
  char stamp[18];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &tm);
  SetField(state.cResFileCreateDate, stamp);
  SetField(state.cResTransferType, type == 'A' ? "Ascii" : "Binary");
  store_.SaveResumeState(host_.cSessionName, state);
}

bool Console::List(const std::vector<std::string>& args) {
  if (!NeedConnection()) return false;
  std::vector<std::string> rest;
  bool raw = false;
  for (const auto& a : args) {
    if (a == "--raw")
      raw = true;
    else
      rest.push_back(a);
  }
  if (rest.size() > 1) return Fail("usage: ls [--raw] [PATH]");
  listing::PathState& path = listing_.path;
  const std::string here = path.currentDir;
  listing::PathSplit split = listing::SplitDirectoryAndMask(
      path.hostFamily, path.rootString, listing_.nameCase, here, rest.empty() ? "" : rest[0], &ui_);
  listing::ListingRequest req;
  req.directory = split.directory;
  req.addToTree = 0;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const size_t boxes = ui_.BoxCount();
  int rc = listing::RunListing(conn_, &listing_, req, listing::PartsFromTm(tm));
  // A listing of another directory leaves the person where they were.
  if (rc == 0 && !here.empty() && split.directory != here)
    listing::ProcessCurrentDirectory(conn_, &listing_, here);
  if (rc != 0 || ui_.BoxCount() != boxes) return false;
  if (raw) {
    std::string out;
    for (char ch : listing_.buffer)
      if (ch != '\r') out += ch;
    std::fputs(out.c_str(), out_);
    return true;
  }
  const listing::HostListing& rows = listing_.listing;
  for (const auto& e : rows.rows()) {
    std::string name(rows.Name(e));
    if (!split.mask.empty() && fnmatch(split.mask.c_str(), name.c_str(), 0) != 0) continue;
    std::string size = e.isDirectory ? "" : listing::SizeText(e.Size(), e.sizeForm, app_.locale);
    std::string date = e.dateText.length ? std::string(rows.Text(e.dateText))
                                       : listing::DateText(e.modified, app_.locale);
    std::fprintf(out_, "%-40s %12s  %-12s %s\n", (name + (e.isDirectory ? "/" : "")).c_str(),
                 size.c_str(), std::string(rows.TypeText(e)).c_str(), date.c_str());
  }
  return true;
}

bool Console::Cd(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: cd DIR");
  if (!NeedConnection()) return false;
  listing::PathState& path = listing_.path;
  std::string target = args[0];
  if (target == "..") {
    if (path.parentDir.empty()) return Fail("No parent directory");
    target = path.parentDir;
  }
  listing::PathSplit split = listing::SplitDirectoryAndMask(
      path.hostFamily, path.rootString, listing_.nameCase, path.currentDir, target, &ui_);
  if (split.refused) return false;
  return listing::ProcessCurrentDirectory(conn_, &listing_, split.directory);
}

bool Console::Get(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  char forced = 0;
  bool resume = options_.resume;
  if (!TakeFlags(&args, &forced, &resume)) return false;
  if (args.empty() || args.size() > 2) return Fail("usage: get [--resume] [--type T] REMOTE [LOCAL]");
  if (!NeedConnection()) return false;
  const std::string& remote = args[0];
  std::string local = args.size() > 1 ? args[1] : "";
  if (local.empty() || IsDirectory(local)) {
    // A name taken from the host must stay inside the folder chosen here.
    std::string name = BaseName(remote);
    if (!listing::IsSafeLocalName(name))
      return Fail("\"" + name + "\" cannot be used as a local file name; name the local file");
    local = local.empty() ? name : local + "/" + name;
  }
  struct stat st{};
  const bool partial = resume && stat(local.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  conn_.bAbort = 0;
  conn_.llExpected = 0;
  conn_.resume = ResumeInfo{};
  conn_.resume.bResume = partial;
  conn_.resume.path = local;
  conn_.resume.sourcePath = remote;
  const char type = TypeFor(remote, forced);
  SaveResume(local, remote, 0, false, type);
  int rc;
  {
    ProgressScope progress(ui_);
    rc = FtpGetFile(conn_, conn_.sockControl, "RETR " + remote, local, type);
  }
  if (rc == kReplyComplete) {
    SaveResume(local, remote, conn_.llExpected, true, type);
    return true;
  }
  if (rc == kReplyAborted) {
    std::string kept = app_.bResumeOK ? " (partial file kept: " + conn_.resume.path + ")" : "";
    if (app_.bResumeOK) SaveResume(conn_.resume.path, remote, conn_.llExpected, false, type);
    return Fail("Transfer aborted" + kept);
  }
  if (rc == -1) return Fail("Can't make the data connection (PASV)");
  return Fail(conn_.cReply[0] ? conn_.cReply : "Transfer failed");
}

bool Console::Put(const std::vector<std::string>& argsIn, bool append) {
  std::vector<std::string> args = argsIn;
  char forced = 0;
  bool resume = false;
  if (!TakeFlags(&args, &forced, &resume)) return false;
  if (append ? args.size() != 2 : (args.empty() || args.size() > 2))
    return Fail(append ? "usage: append LOCAL REMOTE" : "usage: put [--type T] LOCAL [REMOTE]");
  if (!NeedConnection()) return false;
  const std::string& local = args[0];
  if (access(local.c_str(), R_OK) != 0 || IsDirectory(local))
    return Fail(local + ": " + (IsDirectory(local) ? "is a folder" : strerror(errno)));
  std::string remote = args.size() > 1 ? args[1] : BaseName(local);
  conn_.bAbort = 0;
  conn_.resume = ResumeInfo{};
  const char type = TypeFor(remote, forced);
  int rc;
  {
    ProgressScope progress(ui_);
    rc = FtpPutFile(conn_, conn_.sockControl, (append ? "APPE " : "STOR ") + remote, local, type);
  }
  if (rc == kReplyComplete) return true;
  if (rc == kReplyAborted) return Fail("Transfer aborted");
  if (rc == -1) return Fail("Can't make the data connection (PASV)");
  return Fail(conn_.cReply[0] ? conn_.cReply : "Transfer failed");
}

bool Console::Simple(const std::string& cmd, const std::vector<std::string>& args) {
  if (!NeedConnection()) return false;
  const platform::Socket s = conn_.sockControl;
  auto need = [&](size_t n, const char* usage) {
    if (args.size() == n) return true;
    Fail(usage);
    return false;
  };
  if (cmd == "mkdir") return need(1, "usage: mkdir DIR") && FtpMkd(conn_, s, args[0]) == kReplyComplete;
  if (cmd == "rmdir") return need(1, "usage: rmdir DIR") && FtpRmd(conn_, s, args[0]) == kReplyComplete;
  if (cmd == "rm") {
    if (!need(1, "usage: rm FILE")) return false;
    if (FtpDele(conn_, s, args[0]) == kReplyComplete) return true;
    ui_.MessageBox(conn_.cReply, "Error deleting file", BoxButtons::kOk, BoxIcon::kInformation);
    return false;
  }
  if (cmd == "rename") return need(2, "usage: rename OLD NEW") && FtpRename(conn_, s, args[0], args[1]);
  if (cmd == "noop") return FtpNoop(conn_, s) == kReplyComplete || Fail(conn_.cReply);
  // site
  if (args.empty()) return Fail("usage: site ARGS...");
  std::string line = "SITE";
  for (const auto& a : args) line += " " + a;
  std::string capture;
  int rc = FtpQuote(conn_, s, line, &capture);
  std::string text;
  for (char ch : capture)
    if (ch != '\r') text += ch;
  std::fputs(text.c_str(), out_);
  return rc == kReplyComplete;
}

}  // namespace tarn::cli
