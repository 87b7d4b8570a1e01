// tarn-cli's file transfers and remote file commands.
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "client/cli/console.h"
#include "client/cli/folder_commands.h"
#include "client/engine/commands.h"
#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/transfer.h"
#include "client/listing/listing_thread.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/text_rules.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tarn::cli {

namespace {

using platform::BaseName;

bool IsDirectory(const std::string& path) { return platform::PathInfo(path).directory; }

bool IsRegularFile(const std::string& path) { return !path.empty() && platform::PathInfo(path).regular; }

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

// ---- Mainframe hosts -----------------------------------------------------------
//
// tarn-cli learns what a mainframe directory is the way the window does:
// from the host tree, whose nodes keep the MVS kind and the VSE view that a
// listing found for each container.

std::string WithoutTrailingDot(std::string s) {
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

// The node whose path is `directory`, kNoNode when no listing made one.
listing::NodeId FindNode(const listing::HostTree& tree, std::string_view directory) {
  std::vector<listing::NodeId> todo(tree.TopLevel().begin(), tree.TopLevel().end());
  while (!todo.empty()) {
    const listing::NodeId id = todo.back();
    todo.pop_back();
    if (tree.Record(id).path == directory) return id;
    todo.insert(todo.end(), tree.Children(id).begin(), tree.Children(id).end());
  }
  return listing::kNoNode;
}

// The request that lists `directory` on an MVS, VM or VSE host: under its
// node with the kind and view found before, or under a new root node. An
// MVS directory never seen is taken for a dataset level: a PDS or load
// library then hands its listing over to the member parsers by itself.
listing::ListingRequest MainframeRequest(const listing::ListingContext& ctx,
                                         const std::string& directory) {
  const listing::NodeId node = FindNode(ctx.tree, directory);
  if (node == listing::kNoNode) {
    listing::ListingRequest req = listing::FirstListingRequest(ctx.path, directory);
    if (ctx.path.hostFamily == HOST_MVS) req.kind = listing::kKindDatasetLevel;
    return req;
  }
  const listing::TreeNode& record = ctx.tree.Record(node);
  listing::ListingRequest req;
  req.node = node;
  req.mode = listing::kModeFromTree;
  req.addToTree = ctx.tree.Children(node).empty() ? 1 : 0;
  req.nodeText = ctx.tree.Text(node);
  req.directory = directory;
  req.kind = record.kind;
  req.recordLength = record.recordLength;
  req.vseKind = record.vseKind;
  return req;
}

// The MVS kind of the current directory, 1 when no listing told.
int32_t CurrentMvsKind(const listing::ListingContext& ctx) {
  const listing::NodeId node = FindNode(ctx.tree, WithoutTrailingDot(ctx.path.currentDir));
  return node == listing::kNoNode ? listing::kKindDirectory : ctx.tree.Record(node).kind;
}

// An MVS name as the server takes it: fully qualified in single quotes,
// a member in parentheses after its dataset. A quoted name stays as it is.
// In a PDS (or load library) a name is one of its members: "ALLOCJCL",
// "(ALLOCJCL)", or the local name "ALLOCJCL.CNTL"; at a dataset level a
// name lies below it ("DATA.TXT" -> 'USER1.DATA.TXT'). Where no listing
// told what the current directory is, the name goes as typed and the
// server reads it against its working directory.
std::string MvsRemoteName(const listing::ListingContext& ctx, const std::string& name) {
  if (name.empty() || name[0] == '\'') return name;
  const std::string current = WithoutTrailingDot(ctx.path.currentDir);
  switch (CurrentMvsKind(ctx)) {
    case listing::kKindPdsFixed:
    case listing::kKindPdsVariable:
    case listing::kKindPdsLoad:
      if (name[0] == '(') return "'" + current + name + "'";
      if (name.find('(') == std::string::npos)
        return "'" + current + "(" + name.substr(0, name.find('.')) + ")'";
      break;
    case listing::kKindDatasetLevel:
      return "'" + current + "." + name + "'";
    default:
      break;
  }
  return name;
}

// The path of the container row of the current directory's listing that
// `name` names: "PROJ" or "PROJ." for the VM row of VMSYSU:USER1.PROJ.,
// "CNTL" for the MVS row of USER1.CNTL, "PRD2" for the VSE row of \\PRD2.
// "" when the listing held shows no such row.
std::string ContainerRowPath(const listing::ListingContext& ctx, const std::string& name) {
  const listing::HostListing& rows = ctx.listing;
  const std::string& here = ctx.path.currentDir;
  const std::string level = WithoutTrailingDot(here) + ".";
  auto inHere = [&](std::string_view path) { return path.compare(0, here.size(), here) == 0; };
  for (const auto& e : rows.rows()) {
    const std::string_view path = rows.Path(e);
    if (!e.isDirectory || !inHere(path)) continue;
    const std::string_view shown = rows.Name(e);
    if (listing::EqualsNoCase(shown, name) ||
        (!shown.empty() && shown.back() == '.' && listing::EqualsNoCase(shown.substr(0, shown.size() - 1), name)) ||
        (path.size() > level.size() && path.compare(0, level.size(), level) == 0 &&
         listing::EqualsNoCase(path.substr(level.size()), name)))
      return std::string(path);
  }
  for (const auto& e : rows.vseRows())
    if (e.isDirectory && inHere(rows.Path(e)) && listing::EqualsNoCase(rows.Name(e), name))
      return std::string(rows.Path(e));
  return std::string();
}

// The text `ls` shows for a row (and matches a mask against): MVS
// datasets by their full name, members by their member name.
std::string RowText(const listing::HostListing& rows, const listing::RemoteEntry& e,
                    int32_t family) {
  if (family == HOST_MVS) return std::string(listing::MvsRowText(rows, e));
  return std::string(rows.Name(e));
}

}  // namespace

void Console::SwitchPathStyleFor(const std::string& typed) {
  const listing::PathStyleChange change = listing::PathStyleForTypedPath(listing_.path, typed);
  if (change == listing::PathStyleChange::kNone) return;
  listing::ApplyPathStyle(change, &listing_.path, &ui_);
  listing::PathStateToConn(listing_.path, &conn_);
}

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
  const int32_t styleBefore = path.hostFamily;
  SwitchPathStyleFor(rest.empty() ? "" : rest[0]);
  listing::PathSplit split = listing::SplitDirectoryAndMask(
      path.hostFamily, path.rootString, listing_.nameCase, here, rest.empty() ? "" : rest[0], &ui_);
  listing::ListingRequest req;
  if (path.hostFamily != HOST_GENERIC) {
    req = MainframeRequest(listing_, split.directory);
  } else {
    req.directory = split.directory;
    req.addToTree = 0;
  }
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const size_t boxes = ui_.BoxCount();
  int rc = listing::RunListing(conn_, &listing_, req, listing::PartsFromTm(tm));
  // A listing of another directory leaves the person where they were, in
  // the path style they were in.
  if (rc == 0 && !here.empty() && split.directory != here) {
    if (path.hostFamily != styleBefore) {
      listing::ApplyPathStyle(styleBefore == HOST_MVS ? listing::PathStyleChange::kToMvs
                                                      : listing::PathStyleChange::kToUnix,
                              &path, &ui_);
      listing::PathStateToConn(path, &conn_);
    }
    listing::ProcessCurrentDirectory(conn_, &listing_, here);
  }
  if (rc != 0 || ui_.BoxCount() != boxes) return false;
  if (raw) {
    // The listing as it came, but safe for the terminal: a NUL or an escape
    // sequence in a name is shown, never acted on or cut at.
    std::string out;
    for (char ch : listing_.buffer)
      if (ch != '\r') out += ch;
    const std::string safe = TerminalSafe(out, true);
    std::fwrite(safe.data(), 1, safe.size(), out_);
    return true;
  }
  const listing::HostListing& rows = listing_.listing;
  // A mask of an MVS level applies to the names below it.
  const std::string level = split.directory + ".";
  for (const auto& e : rows.rows()) {
    std::string name = RowText(rows, e, path.hostFamily);
    std::string subject = name;
    if (path.hostFamily == HOST_MVS && subject.compare(0, level.size(), level) == 0)
      subject.erase(0, level.size());
    if (!split.mask.empty() && fnmatch(split.mask.c_str(), subject.c_str(), 0) != 0) continue;
    std::string size = e.isDirectory ? "" : listing::SizeText(e.Size(), e.sizeForm, app_.locale);
    std::string date = listing::RowDateText(rows, e, app_.locale);
    std::fprintf(out_, "%-40s %12s  %-12s %s\n", TerminalSafe(name + (e.isDirectory ? "/" : "")).c_str(),
                 size.c_str(), TerminalSafe(rows.TypeText(e)).c_str(), TerminalSafe(date).c_str());
  }
  // VSE views: the name, then the view's columns.
  for (const auto& e : rows.vseRows()) {
    std::string name(rows.Name(e));
    if (!split.mask.empty() && fnmatch(split.mask.c_str(), name.c_str(), 0) != 0) continue;
    std::string line = name + (e.isDirectory ? "/" : "");
    if (line.size() < 24) line.resize(24, ' ');
    for (size_t i = 0; i < e.cellCount; ++i) {
      std::string cell(rows.Cell(e, i));
      line += ' ' + (cell.empty() ? std::string("-") : cell);
    }
    std::fprintf(out_, "%s\n", TerminalSafe(line).c_str());
  }
  return true;
}

bool Console::Cd(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("usage: cd DIR");
  if (!NeedConnection()) return false;
  listing::PathState& path = listing_.path;
  std::string target = args[0];
  if (target == "..") {
    target = path.parentDir;
    // VM and VSE paths name no parent of their own; the tree knows the
    // container a directory was opened from.
    if (target.empty() && (path.hostFamily == HOST_VM || path.hostFamily == HOST_VSE)) {
      const listing::NodeId node = FindNode(listing_.tree, path.currentDir);
      if (node != listing::kNoNode && listing_.tree.Parent(node) != listing::kNoNode)
        target = listing_.tree.Record(listing_.tree.Parent(node)).path;
    }
    if (target.empty()) return Fail("No parent directory");
  } else if (path.hostFamily != HOST_GENERIC) {
    // A container the last listing showed, by the name it showed.
    const std::string row = ContainerRowPath(listing_, target);
    if (!row.empty()) target = row;
  }
  SwitchPathStyleFor(target);
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
  if (TakeRecursive(&args)) {
    if (args.empty() || args.size() > 2) return Fail("usage: get -r [--type T] REMOTE_DIR [LOCAL_DIR]");
    if (!NeedConnection()) return false;
    FolderTransfer folder{conn_, listing_, ui_, app_, host_.iQuickConnect ? nullptr : &store_,
                          host_.cSessionName, err_, ConsoleTransferMode(forced, options_.type, ui_.Mode())};
    return GetFolder(folder, args[0], args.size() > 1 ? args[1] : ".");
  }
  if (args.empty() || args.size() > 2) return Fail("usage: get [--resume] [--type T] REMOTE [LOCAL]");
  if (!NeedConnection()) return false;
  std::string remote = args[0];
  std::string local = args.size() > 1 ? args[1] : "";
  const int32_t family = listing_.path.hostFamily;
  if (family == HOST_MVS) remote = MvsRemoteName(listing_, remote);
  if (family == HOST_VM && remote.find('(') != std::string::npos)
    remote = listing::LastPathComponent(HOST_VM, remote);
  if (local.empty() || IsDirectory(local)) {
    // A name taken from the host must stay inside the folder chosen here.
    std::string name = family == HOST_MVS ? listing::MvsLocalName(remote) : BaseName(remote);
    if (!listing::IsSafeLocalName(name))
      return Fail("\"" + name + "\" cannot be used as a local file name; name the local file");
    local = local.empty() ? name : local + "/" + name;
  }
  const platform::Socket sock = conn_.sockControl;
  conn_.llExpected = 0;
  conn_.llAnnounced = 0;
  conn_.resume = ResumeInfo{};
  const char type = TypeFor(remote, forced);
  if (resume) {
    const std::string partial = PartialToResume(remote, local);
    if (!partial.empty()) {
      conn_.resume.bResume = true;
      conn_.resume.path = partial;
      conn_.resume.sourcePath = remote;
      // The host file's size, to refuse a partial file larger than it and
      // to tell a download that ends short. Binary sizes only: ASCII ones
      // change with the line ends.
      if (type != 'A') {
        if (conn_.cTypeNow != type) {
          FtpCommand(conn_, sock, "TYPE %c", type);
          conn_.cTypeNow = type;
        }
        if (FtpCommand(conn_, sock, "SIZE %s", remote.c_str()) == kReplyComplete) {
          const long long size = std::atoll(conn_.cReply + 3);
          if (size > 0) conn_.resume.sourceSize = conn_.llAnnounced = size;
        }
      }
    }
  }
  SaveResume(conn_.resume.bResume ? conn_.resume.path : local, remote, 0, false, type);
  int rc;
  {
    ProgressScope progress(ui_);
    rc = FtpGetFile(conn_, sock, "RETR " + remote, local, type);
  }
  if (rc == kReplyComplete) {
    SaveResume(local, remote, conn_.llExpected, true, type);
    return true;
  }
  // A partial file kept for a later --resume is named, and stored for the
  // session.
  std::string kept;
  if (app_.bResumeOK && IsRegularFile(conn_.resume.path) && rc != 0) {
    kept = " (partial file kept: " + conn_.resume.path + ")";
    SaveResume(conn_.resume.path, remote, conn_.llExpected, false, type);
  }
  if (rc == kReplyAborted) return Fail("Transfer aborted" + kept);
  if (rc == -1) return Fail("Can't make the data connection (PASV): " + FailureText(conn_));
  return Fail(FailureText(conn_) + kept);
}

std::string Console::PartialToResume(const std::string& remote, const std::string& local) {
  // A download that replaced a file keeps its bytes beside it.
  const std::string beside = PartialFileFor(local);
  if (IsRegularFile(beside)) return beside;
  ResumeInfo stored;
  bool done = false;
  if (StoredResume(&stored, &done) && !done && stored.sourcePath == remote &&
      (stored.path == local || stored.path == beside) && IsRegularFile(stored.path))
    return stored.path;
  // Else the file itself, as a download into a new file leaves it.
  return IsRegularFile(local) ? local : std::string();
}

bool Console::Put(const std::vector<std::string>& argsIn, bool append) {
  std::vector<std::string> args = argsIn;
  char forced = 0;
  bool resume = false;
  if (!TakeFlags(&args, &forced, &resume)) return false;
  if (!append && TakeRecursive(&args)) {
    if (args.empty() || args.size() > 2) return Fail("usage: put -r [--type T] LOCAL_DIR [REMOTE_DIR]");
    if (!NeedConnection()) return false;
    FolderTransfer folder{conn_, listing_, ui_, app_, host_.iQuickConnect ? nullptr : &store_,
                          host_.cSessionName, err_, ConsoleTransferMode(forced, options_.type, ui_.Mode())};
    return PutFolder(folder, args[0], args.size() > 1 ? args[1] : "");
  }
  if (append ? args.size() != 2 : (args.empty() || args.size() > 2))
    return Fail(append ? "usage: append LOCAL REMOTE" : "usage: put [--type T] LOCAL [REMOTE]");
  if (!NeedConnection()) return false;
  const std::string& local = args[0];
  if (access(local.c_str(), R_OK) != 0 || IsDirectory(local))
    return Fail(local + ": " + (IsDirectory(local) ? "is a folder" : strerror(errno)));
  std::string remote = args.size() > 1 ? args[1] : BaseName(local);
  if (listing_.path.hostFamily == HOST_MVS) remote = MvsRemoteName(listing_, remote);
  conn_.resume = ResumeInfo{};
  const char type = TypeFor(remote, forced);
  int rc;
  {
    ProgressScope progress(ui_);
    rc = FtpPutFile(conn_, conn_.sockControl, (append ? "APPE " : "STOR ") + remote, local, type);
  }
  if (rc == kReplyComplete) return true;
  if (rc == kReplyAborted) return Fail("Transfer aborted");
  if (rc == -1) return Fail("Can't make the data connection (PASV): " + FailureText(conn_));
  return Fail(FailureText(conn_));
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
    ui_.MessageBox(FailureText(conn_), "Error deleting file", BoxButtons::kOk, BoxIcon::kInformation);
    return false;
  }
  if (cmd == "rename") return need(2, "usage: rename OLD NEW") && FtpRename(conn_, s, args[0], args[1]);
  if (cmd == "noop") return FtpNoop(conn_, s) == kReplyComplete || Fail(FailureText(conn_));
  // site
  if (args.empty()) return Fail("usage: site ARGS...");
  std::string line = "SITE";
  for (const auto& a : args) line += " " + a;
  std::string capture;
  int rc = FtpQuote(conn_, s, line, &capture);
  std::string text;
  for (char ch : capture)
    if (ch != '\r') text += ch;
  std::fputs(TerminalSafe(text, true).c_str(), out_);
  return rc == kReplyComplete;
}

}  // namespace tarn::cli
