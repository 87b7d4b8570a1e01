#include "client/engine/transfer_batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>

#include "client/engine/commands.h"
#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/messages.h"
#include "client/engine/transfer.h"
#include "client/listing/listing_thread.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/parse_dispatch.h"
#include "client/listing/text_rules.h"
#include "client/session/host_record.h"
#include "client/session/session_store.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/paths.h"

namespace tarn {

using listing::FileTime;

// ---- Values of the window ----------------------------------------------------

std::string TransferWindowTitle(const std::string& shortName, TransferDirection dir, bool autoStart) {
  std::string t = shortName;
  switch (dir) {
    case TransferDirection::kDownload: t += " File Download"; break;
    case TransferDirection::kAppend: t += " Append File"; break;
    default: t += " File Upload"; break;
  }
  if (autoStart) t += kAutoStartSuffix;
  return t;
}

std::string TypeFieldText(TransferMode mode, int32_t hostFamily, bool* binaryPicture) {
  const bool binary = mode != TransferMode::kAscii && (mode == TransferMode::kBinary || hostFamily == HOST_GENERIC);
  if (binaryPicture) *binaryPicture = binary;
  return binary ? "Binary" : "ASCII";
}

char TransferTypeFor(TransferMode mode, const std::string& name, const std::string& asciiExtensions) {
  switch (mode) {
    case TransferMode::kAscii: return 'A';
    case TransferMode::kBinary: return 'I';
    case TransferMode::kAutoDetect: break;
  }
  return IsAsciiExtension(name, asciiExtensions) ? 'A' : 'I';
}

int64_t KbRoundedUp(int64_t bytes) { return bytes <= 0 ? 0 : (bytes + 1023) / 1024; }

int ProgressBarMax(int64_t sizeKb) {
  if (sizeKb < 0) return 0;
  return sizeKb < 65536 ? static_cast<int>(sizeKb) : 65535;
}

std::string TransferRow::SizeText(const platform::Locale& locale) const {
  if (isFolder || bytes < 0) return "";
  return locale.FormatNumber(sizeKb) + "KB";
}

RowIcon TransferRow::Icon() const {
  const bool ascii = type == 'A';
  switch (state) {
    case RowState::kDone: return ascii ? RowIcon::kAsciiDone : RowIcon::kBinaryDone;
    case RowState::kFailed:
    case RowState::kSkipped:
    case RowState::kRefused: return ascii ? RowIcon::kAsciiFailed : RowIcon::kBinaryFailed;
    default: return ascii ? RowIcon::kAsciiWaiting : RowIcon::kBinaryWaiting;
  }
}

namespace {

constexpr const char* kSizeUnknown = "<size not available>";
constexpr const char* kDateUnknown = "<date/time not available>";
constexpr size_t kListingStart = 17;  // characters of a listing that identify it for a resume
constexpr size_t kRefusedBoxLines = 20;

// A name from a host or the disk as a person can read it: NUL as "\0",
// other control bytes as "\xHH".
std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char ch : s) {
    if (ch == 0) {
      out += "\\0";
    } else if (ch < 0x20 || ch == 0x7f) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", ch);
      out += b;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out;
}

using platform::BaseName;

std::string DirName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LocalJoin(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string WithoutQuotes(std::string s) {
  if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') s = s.substr(1, s.size() - 2);
  return s;
}

std::string WithoutTrailingDot(std::string s) {
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

bool HoldsLineBreak(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

bool IsPdsKind(int32_t kind) {
  return kind == listing::kKindPdsFixed || kind == listing::kKindPdsVariable ||
         kind == listing::kKindPdsLoad;
}

std::string DateOfSeconds(const platform::Locale& loc, int64_t seconds) {
  if (seconds <= 0) return kDateUnknown;
  std::tm tm = platform::LocalTime(seconds);
  return loc.FormatShortDate(tm) + " " + loc.FormatTime(tm);
}

std::string DateOfFileTime(const platform::Locale& loc, FileTime ft) {
  if (ft == 0) return kDateUnknown;
  std::tm tm = listing::TmFromFileTime(ft);
  return loc.FormatShortDate(tm) + " " + loc.FormatTime(tm);
}

std::string SizeOf(const platform::Locale& loc, int64_t bytes) {
  return bytes < 0 ? std::string(kSizeUnknown) : loc.FormatNumber(bytes) + " bytes";
}

FileTime FileTimeOfSeconds(int64_t seconds) {
  if (seconds <= 0) return 0;
  return listing::FileTimeFromParts(listing::PartsFromTm(platform::LocalTime(seconds)));
}

// The local file or folder at `path`, without following a final link.
struct LocalFacts {
  bool exists = false;
  bool isDir = false;
  bool isLink = false;
  bool isRegular = false;
  int64_t size = -1;
  int64_t mtime = 0;
};

LocalFacts StatLocal(const std::string& path) {
  LocalFacts f;
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0) return f;
  f.exists = true;
  f.isLink = S_ISLNK(st.st_mode);
  if (f.isLink && stat(path.c_str(), &st) != 0) return f;
  f.isDir = S_ISDIR(st.st_mode);
  f.isRegular = S_ISREG(st.st_mode);
  f.size = f.isRegular ? static_cast<int64_t>(st.st_size) : -1;
  f.mtime = static_cast<int64_t>(st.st_mtime);
  return f;
}

// What a listing says of a host entry, by its path.
struct RemoteFact {
  bool isDir = false;
  int64_t size = -1;
  FileTime modified = 0;
};

// The key of a host path: quotes left out, letter case ignored where the
// host ignores it.
std::string PathKey(const std::string& path, bool ignoreCase) {
  std::string k = WithoutQuotes(path);
  if (ignoreCase)
    for (char& ch : k) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return k;
}

int64_t ListedSize(const listing::RemoteEntry& e) {
  switch (e.sizeForm) {
    case listing::SizeForm::kExact:
    case listing::SizeForm::kExactOrZero:
    case listing::SizeForm::kApprox:
    case listing::SizeForm::kUpperBound: return static_cast<int64_t>(e.Size());
    default: return -1;
  }
}

std::string RefusedNameText(const std::string& name) {
  return "'" + Printable(name) +
         "' was not transferred: the host's name for it cannot be used as a local file name";
}

std::string CutNameText(const std::string& name) {
  return "'" + Printable(name) +
         "' was not transferred: the host's listing gave a name too long to name it exactly";
}

ResumeState DoneResumeState() {
  ResumeState s;
  std::memcpy(s.cResIsDownLoadDone, "TRUE", sizeof "TRUE");
  return s;
}

}  // namespace

// ---- The Ui the byte loops see while a batch runs ------------------------------------

// Stands between the engine and the person's Ui for the life of a batch
// op: the byte loops' progress goes to the window at most every
// kFieldsIntervalMs, a held batch holds them at the block boundary, and
// listings fetched for folders report in the status bar, not in the
// transfer's fields. Everything else passes through.
class TransferBatch::FieldsUi : public Ui {
 public:
  FieldsUi(FtpConn& c, Ui* inner, TransferBatch* batch) : c_(c), inner_(inner), batch_(batch) {}

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override {
    return inner_->MessageBox(text, caption, buttons, icon);
  }
  void SetStatusText(int part, const std::string& text) override { inner_->SetStatusText(part, text); }
  bool PromptLogon(LogonPrompt* prompt) override { return inner_->PromptLogon(prompt); }
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override {
    return inner_->PromptText(caption, label, masked, value);
  }
  bool PromptDialUpPassword(const std::string& entry, const std::string& userName,
                            std::string* password) override {
    return inner_->PromptDialUpPassword(entry, userName, password);
  }
  void SetConnState(ConnState state, const std::string& name) override { inner_->SetConnState(state, name); }
  void EnableCommand(UiCommand command, bool on) override { inner_->EnableCommand(command, on); }
  void SetTransferMode(TransferMode mode) override { inner_->SetTransferMode(mode); }
  void SetZoomPaths(const std::vector<std::string>& paths) override { inner_->SetZoomPaths(paths); }
  void ShowLocalDirectory(const std::string& dir) override { inner_->ShowLocalDirectory(dir); }
  void SetWaitCursor(bool on) override { inner_->SetWaitCursor(on); }
  void PostDisconnect() override { inner_->PostDisconnect(); }
  ReplaceAnswer ConfirmReplace(const ReplaceQuestion& q) override { return inner_->ConfirmReplace(q); }
  ResumeAnswer AskResumeOptions(const std::string& text, const std::string& name) override {
    return inner_->AskResumeOptions(text, name);
  }

  bool TransferWindowOpen() const override { return showing_; }
  void SetTransferFields(const TransferFields& f) override {
    if (!inner_->TransferWindowOpen()) return;
    const int64_t now = NowMs();
    // A file's final figures always go at once: the next row would drop
    // them, and the received field must show the final size.
    if (f.done || now - lastMs_ >= kFieldsIntervalMs) {
      Forward(f, now);
    } else if (f.barOnly && hasPending_ && !pending_.barOnly) {
      // Bar-only news keeps the texts held for the window.
      pending_.barPos = f.barPos;
      pending_.bytes = f.bytes;
      pending_.shownBytes = f.shownBytes;
      pending_.seconds = f.seconds;
    } else {
      pending_ = f;
      hasPending_ = true;
    }
  }
  void TransferPausePoint() override {
    batch_->WaitWhilePaused(c_);
    inner_->TransferPausePoint();
  }

  // File transfers fill the fields; folder listings do not.
  void ShowTransfer(bool on) { showing_ = on; }
  // A new row: what was held for the last one is stale.
  void DropPending() { hasPending_ = false; }
  // The end of the batch: the last figures reach the window.
  void Flush() {
    if (hasPending_) Forward(pending_, NowMs());
  }
  Ui* inner() const { return inner_; }

 private:
  void Forward(const TransferFields& f, int64_t now) {
    lastMs_ = now;
    hasPending_ = false;
    inner_->SetTransferFields(f);
  }

  FtpConn& c_;
  Ui* inner_;
  TransferBatch* batch_;
  bool showing_ = false;
  int64_t lastMs_ = -kFieldsIntervalMs;
  TransferFields pending_;
  bool hasPending_ = false;
};

// ---- Folders ---------------------------------------------------------------------

// The state of one batch op on the worker: the listing context of folder
// listings (a copy of the connection's path state, so that the host panes'
// own state stays as it is), the replace answers so far, and the ui in force.
struct TransferBatch::Walk {
  Walk(FtpConn& conn, const BatchEnv& e, TransferBatch& b, FieldsUi& u)
      : c(conn), env(e), batch(b), ui(u) {
    if (env.listing) {
      ctx.path = env.listing->path;
      ctx.typeNames = env.listing->typeNames;
      ctx.nameCase = env.listing->nameCase;
      startDir = env.listing->path.currentDir;
    } else {
      listing::PathStateFromConn(c, &ctx.path);
    }
    const int64_t now = env.nowSeconds > 0 ? env.nowSeconds : static_cast<int64_t>(std::time(nullptr));
    nowParts = listing::PartsFromTm(platform::LocalTime(now));
  }

  bool IgnoreCase() const { return ctx.path.serverType != SERVER_UNIX; }

  // Lists `dir` (CWD when needed, then LIST) into ctx.listing. False after
  // the failure's box.
  bool List(const std::string& dir, int32_t kind, uint32_t recordLength) {
    ui.ShowTransfer(false);
    listing::ListingContext& w = ctx;
    w.listing.Clear();
    if (!listing::ProcessCurrentDirectory(c, &w, dir)) return false;
    if (!listing::FetchListing(c, &w)) return false;
    if (w.path.hostFamily == HOST_MVS && kind <= listing::kKindDirectory)
      kind = listing::ClassifyMvsDirectory(listing::kKindDirectory, w.buffer);
    const listing::ParserChoice choice =
        listing::ChooseParser(w.path.hostFamily, kind, w.path.hostFamily == HOST_VSE ? 11 : 1, dir);
    listing::ParseContext pc;
    pc.directory = dir;
    pc.now = nowParts;
    pc.recordLength = static_cast<int32_t>(recordLength);
    listing::ParseListingText(choice, w.buffer, pc, &w, &ui);
    return true;
  }

  // The entries of the listing held, by path key.
  std::map<std::string, RemoteFact> Facts() const {
    std::map<std::string, RemoteFact> out;
    for (const auto& e : ctx.listing.rows())
      out[PathKey(std::string(ctx.listing.Path(e)), IgnoreCase())] =
          RemoteFact{e.isDirectory != 0, e.isDirectory ? -1 : ListedSize(e), e.modified};
    return out;
  }

  // Back to the directory the host panes show, in their path style.
  void Restore() {
    if (!env.listing) return;
    if (!startDir.empty() && listing::NeedsCwd(ctx.path, startDir) &&
        c.sockControl != platform::kInvalidSocket) {
      const int32_t aborted = c.bAbort.exchange(0);
      listing::PathStateToConn(env.listing->path, &c);
      ctx.path.hostFamily = env.listing->path.hostFamily;
      FtpCwd(c, c.sockControl, listing::CwdArgument(env.listing->path.hostFamily, startDir));
      if (aborted) c.bAbort = aborted;
    }
    listing::PathStateToConn(env.listing->path, &c);
  }

  // The replace question for row `index` (skipped when declined). False
  // when the person chose Cancel.
  bool AskReplace(TransferRow& row, int64_t oldSize, const std::string& oldDate, int64_t newSize,
                  const std::string& newDate) {
    if (!env.askReplace || yesToAll) return true;
    const std::string name = batch.direction_ == TransferDirection::kDownload ? BaseName(row.to) : row.to;
    ReplaceQuestion q;
    q.name = Printable(name);
    q.existingSize = SizeOf(batch.locale_, oldSize);
    q.existingDate = oldDate;
    q.newSize = SizeOf(batch.locale_, newSize);
    q.newDate = newDate;
    q.text = "Would you like to replace '" + q.name + "'\r\n\r\n    " + q.existingSize +
             "\r\n    modified on " + q.existingDate + "\r\n\r\nwith this one?\r\n\r\n    " + q.newSize +
             "\r\n    modified on " + q.newDate;
    switch (ui.inner()->ConfirmReplace(q)) {
      case ReplaceAnswer::kYesToAll: yesToAll = true; break;
      case ReplaceAnswer::kYes: break;
      case ReplaceAnswer::kNo:
        row.skip = true;
        row.state = RowState::kSkipped;
        break;
      case ReplaceAnswer::kCancel: return false;
    }
    return true;
  }

  // Download: a local file at the row's target.
  bool AskReplaceLocal(TransferRow& row) {
    const LocalFacts f = StatLocal(row.to);
    if (!f.exists || f.isDir) return true;
    return AskReplace(row, f.size, DateOfSeconds(batch.locale_, f.mtime), row.bytes,
                      DateOfFileTime(batch.locale_, row.modified));
  }

  // Upload: a host entry of the row's target in `facts`.
  bool AskReplaceRemote(TransferRow& row, const std::map<std::string, RemoteFact>& facts) {
    auto it = facts.find(PathKey(row.to, IgnoreCase()));
    if (it == facts.end()) return true;
    row.targetExists = true;
    if (row.isFolder || it->second.isDir) return true;
    const LocalFacts f = StatLocal(row.from);
    return AskReplace(row, it->second.size, DateOfFileTime(batch.locale_, it->second.modified),
                      f.size, DateOfSeconds(batch.locale_, f.mtime));
  }

  FtpConn& c;
  const BatchEnv& env;
  TransferBatch& batch;
  FieldsUi& ui;
  listing::ListingContext ctx;
  listing::DateParts nowParts;
  std::string startDir;
  bool yesToAll = false;
  bool stop = false;  // Cancel of a replace question: the rows after it are not tried
};

// ---- The batch ---------------------------------------------------------------------

TransferBatch::TransferBatch(TransferDirection direction, const BatchHost& host, TransferMode mode,
                             const AppSettings& settings, const platform::Locale& locale)
    : direction_(direction),
      host_(host),
      mode_(mode),
      asciiExtensions_(settings.cAsciiExtensions),
      locale_(locale),
      closeWhenDone_(settings.bCloseXferDialog),
      autoStart_(!settings.cAutoStart.empty()) {
  allAscii_ = TypeText() == "ASCII";
}

TransferBatch::~TransferBatch() = default;

void TransferBatch::AddRow(TransferRow row) { rows_.push_back(std::move(row)); }

void TransferBatch::AddDownload(const listing::HostListing& rows, const listing::RemoteEntry& e) {
  const bool mvs = host_.hostFamily == HOST_MVS;
  const std::string path(rows.Path(e));
  const std::string name(rows.Name(e));
  TransferRow row;
  row.from = path;
  row.to = LocalJoin(host_.destination, name);
  row.isFolder = e.isDirectory != 0;
  row.bytes = row.isFolder ? -1 : ListedSize(e);
  row.sizeKb = KbRoundedUp(row.bytes);
  row.modified = e.modified;
  row.mvsKind = mvs ? static_cast<int32_t>(e.image) : 0;
  row.recordLength = e.recordLength;
  row.type = TransferTypeFor(mode_, name, asciiExtensions_);
  if (e.flags & (listing::kRowNameCut | listing::kRowPathCut)) {
    row.state = RowState::kRefused;
    row.message = CutNameText(name);
  } else if (e.flags & listing::kRowUnsafeLocalName) {
    row.state = RowState::kRefused;
    row.message = RefusedNameText(name);
  }
  AddRow(std::move(row));
}

void TransferBatch::AddDownload(const std::string& remotePath, const std::string& localName,
                                int64_t bytes, FileTime modified, bool isFolder, int32_t mvsKind,
                                uint32_t recordLength) {
  TransferRow row;
  row.from = remotePath;
  row.to = LocalJoin(host_.destination, localName);
  row.isFolder = isFolder;
  row.bytes = isFolder ? -1 : bytes;
  row.sizeKb = KbRoundedUp(row.bytes);
  row.modified = modified;
  row.mvsKind = mvsKind;
  row.recordLength = recordLength;
  row.type = TransferTypeFor(mode_, localName, asciiExtensions_);
  if (!listing::IsSafeLocalName(localName)) {
    row.state = RowState::kRefused;
    row.message = RefusedNameText(localName);
  }
  AddRow(std::move(row));
}

std::string TransferBatch::UploadTarget(const std::string& dir, int32_t dirKind,
                                        const std::string& name) const {
  switch (host_.hostFamily) {
    case HOST_MVS:
      if (IsPdsKind(dirKind)) return WithoutQuotes(dir) + "(" + name.substr(0, name.find('.')) + ")";
      return WithoutTrailingDot(WithoutQuotes(dir)) + "." + name;
    case HOST_VM: return dir + "(" + name + ")";
    default: return listing::JoinPath(dir, host_.rootString, name);
  }
}

void TransferBatch::AddUpload(const std::string& localPath) {
  const LocalFacts f = StatLocal(localPath);
  const std::string name = BaseName(localPath);
  TransferRow row;
  row.from = localPath;
  row.isFolder = f.isDir;
  row.to = row.isFolder && host_.hostFamily == HOST_GENERIC
               ? listing::JoinPath(host_.destination, host_.rootString, name)
               : UploadTarget(host_.destination, host_.destinationKind, name);
  row.bytes = row.isFolder ? -1 : f.size;
  row.sizeKb = KbRoundedUp(row.bytes);
  row.modified = FileTimeOfSeconds(f.mtime);
  row.type = TransferTypeFor(mode_, name, asciiExtensions_);
  if (!f.exists) {
    row.state = RowState::kRefused;
    row.message = Printable(localPath) + ": " + strerror(ENOENT);
  } else if (!row.isFolder && !f.isRegular) {
    row.state = RowState::kRefused;
    row.message = "'" + Printable(localPath) + "' was not transferred: it is not a regular file";
  } else if (HoldsLineBreak(name)) {
    row.state = RowState::kRefused;
    row.message = "'" + Printable(name) + "' was not transferred: the name cannot be sent to the host";
  }
  AddRow(std::move(row));
}

void TransferBatch::AddAppend(const std::string& localPath, const std::string& remoteName) {
  const LocalFacts f = StatLocal(localPath);
  TransferRow row;
  row.from = localPath;
  row.to = remoteName;
  row.bytes = f.size;
  row.sizeKb = KbRoundedUp(f.size);
  row.modified = FileTimeOfSeconds(f.mtime);
  row.type = TransferTypeFor(mode_, remoteName, asciiExtensions_);
  if (!f.isRegular) {
    row.state = RowState::kRefused;
    row.message = "'" + Printable(localPath) + "' was not transferred: it is not a regular file";
  }
  AddRow(std::move(row));
}

// ---- Editing ---------------------------------------------------------------------

bool TransferBatch::ToggleRow(size_t index) {
  if (!editable_ || index >= rows_.size()) return false;
  TransferRow& r = rows_[index];
  r.type = r.type == 'A' ? 'I' : 'A';
  r.typeForced = true;
  return true;
}

bool TransferBatch::ToggleAll() {
  if (!editable_) return false;
  allToggled_ = true;
  allAscii_ = !allAscii_;
  for (auto& r : rows_) {
    r.type = allAscii_ ? 'A' : 'I';
    r.typeForced = true;
  }
  return true;
}

std::string TransferBatch::TypeText() const {
  if (allToggled_) return allAscii_ ? "ASCII" : "Binary";
  return TypeFieldText(mode_, host_.hostFamily, nullptr);
}

bool TransferBatch::RenameTo(size_t index, const std::string& text) {
  if (!editable_ || index >= rows_.size() || text.empty() || HoldsLineBreak(text)) return false;
  TransferRow& r = rows_[index];
  if (direction_ == TransferDirection::kDownload) {
    if (text.find('/') != std::string::npos) {
      r.to = text;
    } else {
      if (!listing::IsSafeLocalName(text)) return false;
      r.to = LocalJoin(DirName(r.to), text);
    }
  } else if ((host_.hostFamily == HOST_MVS || host_.hostFamily == HOST_VM) &&
             text.find('(') == std::string::npos && r.to.find('(') != std::string::npos) {
    // A member typed alone stays a member of the data set (or VM directory).
    r.to = r.to.substr(0, r.to.find('(')) + "(" + text + ")";
  } else {
    r.to = text;
  }
  return true;
}

bool TransferBatch::DeleteRow(size_t index) {
  if (!editable_ || index >= rows_.size()) return false;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

// ---- Resume ----------------------------------------------------------------------

namespace {

// The file a partial file stands for: "dir/.name.tarn-part" -> "dir/name";
// any other path stands for itself.
std::string TargetOfPartial(const std::string& partial) {
  const std::string base = BaseName(partial);
  const std::string suffix = ".tarn-part";
  if (base.size() > suffix.size() + 1 && base[0] == '.' &&
      base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0) {
    const std::string dir = partial.substr(0, partial.size() - base.size());
    return dir + base.substr(1, base.size() - 1 - suffix.size());
  }
  return partial;
}

bool Pending(const ResumeState& s) {
  return s.cResumeFileName[0] && std::strcmp(s.cResIsDownLoadDone, "FALSE") == 0;
}

}  // namespace

bool TransferBatch::SetResumeRow(const ResumeState& state) {
  if (!Pending(state) || !state.cResumeSourcePath[0]) return false;
  rows_.clear();
  TransferRow row;
  row.from = state.cResumeSourcePath;
  row.to = TargetOfPartial(state.cResumeFileName);
  row.bytes = std::atoll(state.cResumeSourceFileSize);
  if (row.bytes <= 0) row.bytes = -1;
  row.sizeKb = KbRoundedUp(row.bytes);
  row.type = std::strcmp(state.cResTransferType, "Ascii") == 0 ? 'A' : 'I';
  row.typeForced = true;
  rows_.push_back(row);
  resumePartial_ = state.cResumeFileName;
  direction_ = TransferDirection::kDownload;
  resumeForm_ = true;
  autoStart_ = true;
  return true;
}

// ---- Running ------------------------------------------------------------------------

std::string TransferBatch::HostCommandName(const std::string& name) const {
  switch (host_.hostFamily) {
    case HOST_MVS:
      if (!name.empty() && name[0] == '\'') return name;
      if (!name.empty() && name[0] == '/') return name;  // the UNIX side of the host
      return "'" + name + "'";
    case HOST_VM: return listing::LastPathComponent(HOST_VM, name);
    default: return name;
  }
}

ConnWorker::Op TransferBatch::StartOp(const BatchEnv& env) {
  editable_ = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ended_ = false;
  }
  running_ = true;
  return [this, env](FtpConn& c) { return RunOnWorker(c, env); };
}

bool TransferBatch::WaitEnded(int ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return ended_; });
}

int TransferBatch::RunOnWorker(FtpConn& c, const BatchEnv& env) {
  editable_ = false;
  running_ = true;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ended_ = false;
  }
  listener_ = env.listener;
  cancelTold_ = false;
  Continue();  // a pause from before the start holds nothing
  Ui* outer = c.ui;
  FieldsUi ui(c, outer, this);
  c.ui = &ui;
  // The window's own download rows were found in the listing it shows.
  if (direction_ == TransferDirection::kDownload && env.listing)
    for (auto& r : rows_)
      if (r.parent < 0 && r.listingStart.empty()) r.listingStart = env.listing->buffer.substr(0, kListingStart);
  int rc = kConfirmCancel;
  {
    Walk walk(c, env, *this, ui);
    walk_ = &walk;
    rc = Confirm(c, env);
    if (rc == kConfirmCancel) editable_ = true;  // Start is enabled again
    if (env.listener) env.listener->ConfirmEnded(rc);
    if (rc == kConfirmGo || rc == kConfirmResume) {
      if (resumeForm_)
        ResumeTransferThread(c, env);
      else
        BatchTransferThread(c, env);
    }
    walk.Restore();
    walk_ = nullptr;
  }
  ui.Flush();
  c.ui = outer;
  listener_ = nullptr;
  running_ = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ended_ = true;
  }
  cv_.notify_all();
  return rc;
}

int TransferBatch::Confirm(FtpConn& c, const BatchEnv& env) {
  if (resumeForm_) return kConfirmGo;
  if (direction_ == TransferDirection::kDownload && env.store && !env.sessionName.empty()) {
    ResumeState stored;
    if (env.store->LoadResumeState(env.sessionName, &stored, c.app) && Pending(stored))
      return ConfirmResume(c, env);
  }
  return ConfirmReplace(c, env);
}

int TransferBatch::ConfirmReplace(FtpConn& c, const BatchEnv& env) {
  Walk* walk = walk_;
  std::unique_ptr<FieldsUi> ownUi;
  std::unique_ptr<Walk> own;
  if (!walk) {
    ownUi = std::make_unique<FieldsUi>(c, c.ui, this);
    own = std::make_unique<Walk>(c, env, *this, *ownUi);
    walk = own.get();
  }
  std::map<std::string, RemoteFact> facts;
  if (direction_ == TransferDirection::kUpload && env.askReplace) {
    // The host list of the target directory, listed afresh.
    if (walk->List(host_.destination, host_.destinationKind, 0)) facts = walk->Facts();
  } else if (direction_ == TransferDirection::kUpload) {
    // Folders that exist already are entered rather than made.
    bool anyFolder = std::any_of(rows_.begin(), rows_.end(), [](const TransferRow& r) { return r.isFolder; });
    if (anyFolder && walk->List(host_.destination, host_.destinationKind, 0)) facts = walk->Facts();
  }
  int skipped = 0;
  for (auto& row : rows_) {
    if (row.state == RowState::kRefused || row.skip) {
      ++skipped;
      continue;
    }
    bool go = true;
    if (direction_ == TransferDirection::kDownload) {
      if (!row.isFolder) go = walk->AskReplaceLocal(row);
    } else if (direction_ == TransferDirection::kUpload) {
      go = walk->AskReplaceRemote(row, facts);
    }
    if (!go) {
      // Cancel: back to editing, with nothing declined.
      for (auto& r : rows_)
        if (r.state == RowState::kSkipped) {
          r.state = RowState::kWaiting;
          r.skip = false;
        }
      if (own) own->Restore();
      return kConfirmCancel;
    }
    if (row.skip) ++skipped;
  }
  if (own) own->Restore();
  return skipped == static_cast<int>(rows_.size()) ? kConfirmAllSkipped : kConfirmGo;
}

int TransferBatch::ConfirmResume(FtpConn& c, const BatchEnv& env) {
  ResumeState stored;
  if (!env.store || !env.store->LoadResumeState(env.sessionName, &stored, c.app) || !Pending(stored) ||
      rows_.empty())
    return ConfirmReplace(c, env);
  TransferRow& first = rows_[0];
  const std::string partial = stored.cResumeFileName;
  const std::string listingStart =
      env.listing ? env.listing->buffer.substr(0, kListingStart) : std::string();
  const bool same = !first.isFolder && first.state != RowState::kRefused &&
                    (first.to == partial || PartialFileFor(first.to) == partial) &&
                    listingStart == std::string(stored.cResFileCreateDate).substr(0, kListingStart);
  if (!same) return ConfirmReplace(c, env);
  pendingPartial_ = partial;
  const LocalFacts f = StatLocal(partial);
  if (!f.exists) {
    // Nothing to continue: this row goes as a fresh download.
    first.skip = false;
  } else if (first.sizeKb * 1024 == std::atoll(stored.cResumeSourceFileSize)) {
    switch (c.ui->AskResumeOptions(kResumeOptionsText, Printable(BaseName(first.to)))) {
      case ResumeAnswer::kResume:
        resumeFirst_ = true;
        resumePartial_ = partial;
        break;
      case ResumeAnswer::kOverwrite: first.skip = false; break;
      case ResumeAnswer::kCancel: return kConfirmCancel;
    }
  } else {
    return ConfirmReplace(c, env);
  }
  // The other rows still ask before they replace a file.
  if (rows_.size() > 1) {
    TransferRow keep = first;
    rows_.erase(rows_.begin());
    const int rc = ConfirmReplace(c, env);
    rows_.insert(rows_.begin(), keep);
    if (rc == kConfirmCancel) {
      resumeFirst_ = false;
      return kConfirmCancel;
    }
  }
  return resumeFirst_ ? kConfirmResume : kConfirmGo;
}

void TransferBatch::SetState(const BatchEnv& env, size_t index, RowState state,
                             const std::string& message) {
  rows_[index].state = state;
  if (!message.empty()) rows_[index].message = message;
  if (env.listener) env.listener->RowChanged(index, rows_[index]);
}

void TransferBatch::InsertRow(const BatchEnv& env, size_t index, TransferRow row) {
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
  if (env.listener) env.listener->RowInserted(index, rows_[index]);
}

int TransferBatch::BatchTransferThread(FtpConn& c, const BatchEnv& env) {
  c.bAbort = 0;
  Walk& walk = *walk_;
  for (size_t i = 0; i < rows_.size() && !cancelled_ && !walk.stop; ++i) {
    TransferRow& row = rows_[i];
    if (row.state == RowState::kRefused || row.state == RowState::kDone) continue;
    if (row.skip && !(i == 0 && resumeFirst_)) {
      if (row.state != RowState::kSkipped) SetState(env, i, RowState::kSkipped);
      continue;
    }
    if (row.isFolder) {
      if (direction_ == TransferDirection::kDownload)
        ExpandHostFolder(c, env, i);
      else
        ExpandLocalFolder(c, env, i);
      continue;
    }
    TransferFile(c, env, i);
  }
  EndBatch(env);
  return kReplyComplete;
}

int TransferBatch::ResumeTransferThread(FtpConn& c, const BatchEnv& env) {
  c.bAbort = 0;
  if (env.store && !env.sessionName.empty()) {
    ResumeState stored;
    if (env.store->LoadResumeState(env.sessionName, &stored, c.app) && Pending(stored))
      resumePartial_ = stored.cResumeFileName;
  }
  resumeFirst_ = true;
  if (!rows_.empty()) TransferFile(c, env, 0);
  EndBatch(env);
  return kReplyComplete;
}

void TransferBatch::EndBatch(const BatchEnv& env) {
  TellCancelling();
  BatchListener::Outcome out;
  std::vector<std::string> refused;
  for (const auto& r : rows_) {
    if (r.isFolder) {
      if (r.state == RowState::kFailed) ++out.failed;
      if (r.state == RowState::kRefused) {
        ++out.refused;
        refused.push_back(r.message);
      }
      continue;
    }
    switch (r.state) {
      case RowState::kDone: ++out.done; break;
      case RowState::kFailed: ++out.failed; break;
      case RowState::kSkipped: ++out.skipped; break;
      case RowState::kRefused:
        ++out.refused;
        ++out.failed;
        refused.push_back(r.message);
        break;
      default: break;
    }
  }
  out.cancelled = cancelled_ || walk_->stop;
  out.closeWindow = closeWhenDone_;
  if (env.refusedBox && !refused.empty() && walk_) {
    std::string text = std::to_string(refused.size()) +
                       (refused.size() == 1 ? " file was" : " files were") + " not transferred:\r\n";
    for (size_t i = 0; i < refused.size() && i < kRefusedBoxLines; ++i) text += "\r\n" + refused[i];
    if (refused.size() > kRefusedBoxLines)
      text += "\r\n... and " + std::to_string(refused.size() - kRefusedBoxLines) + " more";
    walk_->ui.inner()->MessageBox(text, kTransferErrorCaption, BoxButtons::kOk, BoxIcon::kWarning);
  }
  outcome_ = out;
  if (env.listener) env.listener->BatchEnded(out);
}

// ---- One file ---------------------------------------------------------------------------

void TransferBatch::SaveResume(FtpConn& c, const BatchEnv& env, const TransferRow& row,
                               const std::string& partial, bool done) {
  if (!env.store || env.sessionName.empty() || host_.hostFamily == HOST_VM) return;
  ResumeState s = done ? DoneResumeState() : ResumeState{};
  if (!done) {
    SetField(s.cResumeFileName, partial);
    SetField(s.cResumeSourceFileSize, std::to_string(row.sizeKb * 1024));
    SetField(s.cResumeSourcePath, row.from);
    std::memcpy(s.cResIsDownLoadDone, "FALSE", sizeof "FALSE");
    SetField(s.cResFileCreateDate, row.listingStart.substr(0, kListingStart));
    SetField(s.cResTransferType, row.type == 'A' ? "Ascii" : "Binary");
  }
  env.store->SaveResumeState(env.sessionName, s);
  c.app->bLastDownloadDone = done ? 1 : 0;
}

int TransferBatch::TransferFile(FtpConn& c, const BatchEnv& env, size_t index) {
  Walk& walk = *walk_;
  TransferRow& row = rows_[index];
  const bool download = direction_ == TransferDirection::kDownload;
  row.state = RowState::kRunning;
  walk.ui.DropPending();
  if (env.listener)
    env.listener->RowStarted(index, row, row.SizeText(locale_), ProgressBarMax(row.sizeKb),
                             kEstimatedLabel);
  c.llExpected = 0;
  c.llAnnounced = 0;
  const bool resuming = index == 0 && resumeFirst_;
  c.resume = ResumeInfo{};
  const platform::Socket sock = c.sockControl;
  int rc;
  bool recorded = false;
  walk.ui.ShowTransfer(true);
  if (download) {
    // VM files are named within their directory.
    if (host_.hostFamily == HOST_VM && row.from.find('(') != std::string::npos) {
      const std::string dir = row.from.substr(0, row.from.find('('));
      if (listing::NeedsCwd(walk.ctx.path, dir) && listing::ProcessCurrentDirectory(c, &walk.ctx, dir))
        walk.ui.ShowTransfer(true);
    }
    c.llExpected = row.sizeKb * 1024;
    if (resuming) {
      c.resume.bResume = true;
      c.resume.path = resumePartial_;
      c.resume.sourcePath = row.from;
      c.resume.sourceSize = row.type == 'A' ? 0 : row.bytes;
    }
    // The resume state is saved before a download that takes a while, so
    // that even a crash leaves it; a file within one receive block arrives
    // or fails at once, and only its failure is saved (below), which keeps
    // a batch of small files free of store writes.
    if (c.app->bResumeOK && (resuming || row.bytes < 0 || row.bytes >= static_cast<int64_t>(kRecvBlock))) {
      // Where the bytes go: a file with content is replaced only when the
      // new one is complete, from a partial file beside it.
      std::string partial = resuming ? resumePartial_ : row.to;
      const LocalFacts f = StatLocal(row.to);
      if (!resuming && f.isRegular && f.size > 0) partial = PartialFileFor(row.to);
      SaveResume(c, env, row, partial, false);
      recorded = true;
    }
    rc = FtpGetFile(c, sock, "RETR " + HostCommandName(row.from), row.to, row.type);
  } else {
    if (host_.hostFamily == HOST_VM && row.to.find('(') != std::string::npos) {
      const std::string dir = row.to.substr(0, row.to.find('('));
      if (listing::NeedsCwd(walk.ctx.path, dir)) listing::ProcessCurrentDirectory(c, &walk.ctx, dir);
      walk.ui.ShowTransfer(true);
    }
    const char* verb = direction_ == TransferDirection::kAppend ? "APPE " : "STOR ";
    rc = FtpPutFile(c, sock, verb + HostCommandName(row.to), row.from, row.type);
  }
  walk.ui.ShowTransfer(false);

  if (rc == kReplyComplete) {
    // Arrived: its resume state (or the pending one of this file) is done.
    const bool pendingFile = !pendingPartial_.empty() && download &&
                             (row.to == pendingPartial_ || PartialFileFor(row.to) == pendingPartial_);
    if (recorded || resuming || pendingFile) SaveResume(c, env, row, "", true);
    if (pendingFile) pendingPartial_.clear();
    resumeFirst_ = resuming ? false : resumeFirst_;
    row.bytes = download ? c.llReceived + c.resume.offset : row.bytes;
    SetState(env, index, RowState::kDone);
    return rc;
  }
  const bool byPerson = cancelled_.load();
  TellCancelling();
  std::string why = byPerson ? std::string(msg::kAbortedByUser) : FailureText(c);
  if (rc == kReplyAborted && !byPerson && c.bAbort) {
    // Aborted from outside the window (the stop command, Ctrl-C): the batch
    // stops after this row, as a cancel does.
    walk.stop = true;
  }
  if (download) {
    // The partial file kept for a resume, where the engine left it.
    if (c.app->bResumeOK && !c.resume.path.empty() && StatLocal(c.resume.path).isRegular)
      SaveResume(c, env, row, c.resume.path, false);
    else if (recorded)
      SaveResume(c, env, row, "", true);
  }
  SetState(env, index, RowState::kFailed, why);
  if (!byPerson) walk.ui.inner()->MessageBox(why, kTransferErrorCaption, BoxButtons::kOk, BoxIcon::kError);
  c.bAbort = 0;
  return rc;
}

// ---- Folder rows -------------------------------------------------------------------------

void TransferBatch::ExpandHostFolder(FtpConn& c, const BatchEnv& env, size_t index) {
  Walk& walk = *walk_;
  TransferRow folder = rows_[index];
  const int32_t family = host_.hostFamily;
  if (family == HOST_VM || family == HOST_VSE) {
    SetState(env, index, RowState::kRefused,
             "'" + Printable(folder.from) + "' was not transferred: folders are downloaded from UNIX, "
             "Windows, NetWare and MVS hosts");
    return;
  }
  // The local folder: made when missing; never a link a name could lead
  // out through.
  const LocalFacts local = StatLocal(folder.to);
  if (local.isLink || (local.exists && !local.isDir)) {
    SetState(env, index, RowState::kFailed,
             "'" + Printable(folder.to) + "' was not transferred: a file or link of that name is in the way");
    return;
  }
  if (!local.exists && mkdir(folder.to.c_str(), 0777) != 0) {
    SetState(env, index, RowState::kFailed, Printable(folder.to) + ": " + strerror(errno));
    return;
  }
  rows_[index].state = RowState::kRunning;
  if (env.listener)
    env.listener->RowStarted(index, rows_[index], "", 0, kEstimatedLabel);
  if (!walk.List(folder.from, folder.mvsKind, folder.recordLength)) {
    std::string why = c.bAbort ? std::string(msg::kAbortedByUser) : FailureText(c);
    if (c.bAbort || cancelled_) walk.stop = true;
    SetState(env, index, RowState::kFailed, why);
    c.bAbort = 0;
    return;
  }
  const listing::HostListing& rows = walk.ctx.listing;
  const std::string listingStart = walk.ctx.buffer.substr(0, kListingStart);
  size_t at = index + 1;
  for (const auto& e : rows.rows()) {
    const std::string name(rows.Name(e));
    TransferRow row;
    row.from = std::string(rows.Path(e));
    row.to = LocalJoin(folder.to, name);
    row.parent = static_cast<int>(index);
    row.isFolder = e.isDirectory != 0;
    row.bytes = row.isFolder ? -1 : ListedSize(e);
    row.sizeKb = KbRoundedUp(row.bytes);
    row.modified = e.modified;
    row.mvsKind = family == HOST_MVS ? static_cast<int32_t>(e.image) : 0;
    row.recordLength = e.recordLength;
    row.listingStart = listingStart;
    row.type = folder.typeForced ? folder.type : TransferTypeFor(mode_, name, asciiExtensions_);
    row.typeForced = folder.typeForced;
    if (e.flags & (listing::kRowNameCut | listing::kRowPathCut)) {
      row.state = RowState::kRefused;
      row.message = CutNameText(name);
    } else if (e.flags & listing::kRowUnsafeLocalName) {
      row.state = RowState::kRefused;
      row.message = RefusedNameText(name);
    }
    if (row.state == RowState::kWaiting && family == HOST_MVS && !row.isFolder &&
        (row.mvsKind == listing::kKindMigrated || row.mvsKind == listing::kKindVsam ||
         row.mvsKind == listing::kKindOther)) {
      // Never retrieved as they are listed; the server would only refuse.
      row.state = RowState::kRefused;
      row.message = "'" + Printable(row.from) + "' was not transferred: " +
                    (row.mvsKind == listing::kKindMigrated ? "the data set is migrated; recall it first"
                     : row.mvsKind == listing::kKindVsam
                         ? "VSAM data sets are not transferred"
                         : "the host lists it as nothing it can send (tape, not mounted, a level)");
    }
    if (row.state == RowState::kRefused) LogWrite(c, row.message + "\r\n");
    if (row.state == RowState::kWaiting && !row.isFolder && !walk.AskReplaceLocal(row)) walk.stop = true;
    InsertRow(env, at++, std::move(row));
    if (walk.stop) break;
  }
  SetState(env, index, walk.stop ? RowState::kFailed : RowState::kDone);
}

void TransferBatch::ExpandLocalFolder(FtpConn& c, const BatchEnv& env, size_t index) {
  Walk& walk = *walk_;
  TransferRow folder = rows_[index];
  if (host_.hostFamily != HOST_GENERIC) {
    SetState(env, index, RowState::kRefused,
             "'" + Printable(folder.from) + "' was not transferred: folders are uploaded to UNIX, "
             "Windows and NetWare hosts");
    return;
  }
  DIR* d = opendir(folder.from.c_str());
  if (!d) {
    SetState(env, index, RowState::kFailed, Printable(folder.from) + ": " + strerror(errno));
    return;
  }
  std::vector<std::string> names;
  while (dirent* de = readdir(d)) {
    const std::string n = de->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());

  rows_[index].state = RowState::kRunning;
  if (env.listener) env.listener->RowStarted(index, rows_[index], "", 0, kEstimatedLabel);
  // The host folder: entered when it is there, else made.
  std::map<std::string, RemoteFact> facts;
  walk.ui.ShowTransfer(false);
  if (folder.targetExists) {
    if (walk.List(folder.to, 0, 0)) facts = walk.Facts();
  } else if (FtpMkd(c, c.sockControl, folder.to) != kReplyComplete) {
    if (c.bAbort) walk.stop = true;
    SetState(env, index, RowState::kFailed, FailureText(c));
    c.bAbort = 0;
    return;
  }
  size_t at = index + 1;
  for (const auto& name : names) {
    const std::string path = LocalJoin(folder.from, name);
    struct stat st{};
    const bool isLink = lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    const LocalFacts f = StatLocal(path);
    TransferRow row;
    row.from = path;
    row.to = listing::JoinPath(folder.to, host_.rootString, name);
    row.parent = static_cast<int>(index);
    row.isFolder = f.isDir;
    row.bytes = f.isRegular ? f.size : -1;
    row.sizeKb = KbRoundedUp(row.bytes);
    row.modified = FileTimeOfSeconds(f.mtime);
    row.type = folder.typeForced ? folder.type : TransferTypeFor(mode_, name, asciiExtensions_);
    row.typeForced = folder.typeForced;
    if (HoldsLineBreak(name) || name.find_first_of("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0b\x0c\x0e\x0f"
                                                   "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b"
                                                   "\x1c\x1d\x1e\x1f\x7f") != std::string::npos) {
      row.state = RowState::kRefused;
      row.message = "'" + Printable(name) + "' was not transferred: the name cannot be sent to the host";
    } else if (f.isDir && isLink) {
      // A link to a folder could lead back up the tree for ever.
      row.state = RowState::kRefused;
      row.isFolder = false;
      row.message = "'" + Printable(path) + "' was not transferred: links to folders are not followed";
    } else if (!f.isDir && !f.isRegular) {
      row.state = RowState::kRefused;
      row.message = "'" + Printable(path) + "' was not transferred: it is not a regular file";
    }
    if (row.state == RowState::kRefused) LogWrite(c, row.message + "\r\n");
    if (row.state == RowState::kWaiting && folder.targetExists && !walk.AskReplaceRemote(row, facts))
      walk.stop = true;
    InsertRow(env, at++, std::move(row));
    if (walk.stop) break;
  }
  SetState(env, index, walk.stop ? RowState::kFailed : RowState::kDone);
}

// ---- Cancel ----------------------------------------------------------------------

void TransferBatch::Pause() {
  std::lock_guard<std::mutex> lock(mu_);
  paused_ = true;
}

void TransferBatch::Continue() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    paused_ = false;
  }
  cv_.notify_all();
}

bool TransferBatch::paused() const {
  std::lock_guard<std::mutex> lock(mu_);
  return paused_;
}

void TransferBatch::WaitWhilePaused(FtpConn& c) {
  {
    std::unique_lock<std::mutex> lock(mu_);
    if (paused_) {
      held_ = true;
      cv_.notify_all();
      // A stop from outside (CancelWorker) ends the hold as well.
      while (paused_ && !c.bAbort) cv_.wait_for(lock, std::chrono::milliseconds(kFieldsIntervalMs));
      held_ = false;
    }
  }
  TellCancelling();
}

void TransferBatch::TellCancelling() {
  if (!cancelled_ || cancelTold_) return;
  cancelTold_ = true;
  if (listener_) listener_->Cancelling();
}

bool TransferBatch::WaitHeld(int ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return held_; });
}

bool TransferBatch::AskCancel(Ui& ui, ConnWorker& worker) {
  Pause();
  const bool yes = ui.MessageBox(kCancelQuestion, kCancelCaption, BoxButtons::kYesNo,
                                 BoxIcon::kWarning) == BoxResult::kYes;
  if (yes) {
    cancelled_ = true;
    // Only this batch's op: one queued after it must not be cancelled.
    if (running_) worker.Cancel();
  }
  Continue();
  return yes;
}

void TransferBatch::Abort(ConnWorker& worker) {
  cancelled_ = true;
  if (running_) worker.Cancel();
  Continue();
}

// ---- The stop command and the resume question -------------------------------------

CancelWorkerResult CancelWorker(FtpConn& c, ConnWorker& worker, int waitMs) {
  CancelWorkerResult r;
  if (c.sockControl == platform::kInvalidSocket) return r;
  r.wasRunning = !worker.Idle();
  worker.CancelAll();
  r.ended = worker.WaitIdle(waitMs);
  if (!r.ended) {
    // Whatever the worker waits on ends with these; the descriptors stay
    // the worker's to close, so that none is closed twice.
    for (platform::Socket s : {c.sockListen.load(), c.sockData.load()})
      if (s != platform::kInvalidSocket) c.net->Shutdown(s, platform::ShutdownHow::kBoth);
    r.socketsClosed = true;
  }
  c.app->iOpState = kOpIdle;
  if (r.ended) c.bAbort = 0;
  return r;
}

ResumeOnConnect AskResumeOnConnect(FtpConn& c, SessionStore& store, const std::string& sessionName,
                                   bool* asked, ResumeState* state) {
  if (*asked) return ResumeOnConnect::kNothing;
  *asked = true;
  ResumeState s;
  if (!store.LoadResumeState(sessionName, &s, c.app) || !Pending(s)) return ResumeOnConnect::kNothing;
  *state = s;
  const std::string path = s.cResumeFileName;
  const int fd = platform::OpenFile(path, platform::OpenFor::kRead);
  if (fd < 0) {
    // The partial file is gone: there is nothing left to ask about.
    LogWrite(c, Format("The partial file %s of an interrupted download is gone%s", path.c_str(), "\r\n"));
    store.SaveResumeState(sessionName, DoneResumeState());
    c.app->bLastDownloadDone = 1;
    return ResumeOnConnect::kNothing;
  }
  const int64_t size = platform::OpenFileInfo(fd).size;
  platform::CloseFile(fd);
  c.resume.offset = size;
  if (c.ui->MessageBox(msg::ResumeDownloadQuestion(path), msg::kResumeCaption,
                       BoxButtons::kYesNo, BoxIcon::kQuestion) != BoxResult::kYes) {
    if (!platform::RemoveFile(path) && errno != ENOENT)
      c.ui->MessageBox(msg::DeleteFailedText(path, strerror(errno)),
                       c.app->cTitle, BoxButtons::kOk, BoxIcon::kInformation);
    store.SaveResumeState(sessionName, DoneResumeState());
    c.app->bLastDownloadDone = 1;
    return ResumeOnConnect::kDeclined;
  }
  c.resume.bResume = true;
  c.resume.path = path;
  c.resume.sourcePath = s.cResumeSourcePath;
  c.resume.sourceSize = std::atoll(s.cResumeSourceFileSize);
  return ResumeOnConnect::kResume;
}

}  // namespace tarn
