#include "client/listing/browse.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "client/engine/control.h"
#include "client/engine/data.h"
#include "client/engine/transfer.h"
#include "client/listing/text_rules.h"
#include "platform/paths.h"

namespace tarn::listing {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder is ours only when it is still the directory we made: owned
// by us and closed to everyone else.
bool StillOurs(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

// Prepares a download of the worker: no resume, no announced size.
void FreshDownload(FtpConn& c) {
  c.resume.bResume = false;
  c.llAnnounced = 0;
  c.llExpected = 0;
}

}  // namespace

BrowseFolder::BrowseFolder(std::string parent) : parent_(std::move(parent)) {}

BrowseFolder::~BrowseFolder() { Remove(); }

std::string BrowseFolder::Ensure(std::string* error) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!path_.empty() && StillOurs(path_)) return path_;
  std::string parent = parent_;
  if (parent.empty()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    parent = runtime != nullptr && IsDirectory(runtime) ? std::string(runtime)
                                                         : platform::TempDirectory();
  }
  std::string templ = platform::PathJoin(parent, "tarn-browse-XXXXXX");
  if (::mkdtemp(templ.data()) == nullptr) {
    if (error) *error = std::strerror(errno);
    return "";
  }
  path_ = templ;  // mkdtemp makes it with mode 0700
  return path_;
}

std::string BrowseFolder::Path() const {
  std::lock_guard<std::mutex> lock(mu_);
  return path_;
}

void BrowseFolder::Remove() {
  std::lock_guard<std::mutex> lock(mu_);
  if (path_.empty()) return;
  if (StillOurs(path_)) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);  // removes links, never follows them
  }
  path_.clear();
}

char BrowseType(TransferMode mode, const std::string& name, const std::string& asciiExtensions) {
  switch (mode) {
    case TransferMode::kAscii: return 'A';
    case TransferMode::kBinary: return 'I';
    case TransferMode::kAutoDetect: break;
  }
  return IsAsciiExtension(name, asciiExtensions) ? 'A' : 'I';
}

bool BrowseItemFor(int32_t hostFamily, bool l8Emulated, const BrowseRow& row, char type,
                   BrowseItem* item, std::string* why) {
  std::string localName;
  BrowseItem out;
  out.type = type;
  switch (hostFamily) {
    case HOST_MVS:
      localName = row.path;
      out.remote = "'" + row.path + "'";
      out.title = row.path;
      break;
    case HOST_VM:
    case HOST_VSE:
      localName = row.name;
      out.remote = row.name;
      out.title = row.name;
      break;
    default:
      localName = row.name;
      out.remote = l8Emulated ? row.name : row.path;
      out.title = row.path;
      break;
  }
  if (!IsSafeLocalName(localName)) {
    if (why) *why = "The host file name '" + localName + "' cannot be used as a local file name.";
    return false;
  }
  out.localName = std::move(localName);
  *item = std::move(out);
  return true;
}

std::string RecallTarget(int32_t hostFamily, const std::string& path) {
  return hostFamily == HOST_MVS ? "'" + path + "'" : path;
}

int BrowseOp(FtpConn& c, BrowseFolder& folder, std::vector<BrowseItem> items,
             const std::vector<BrowseRefusal>& refused,
             const std::function<void(const BrowseItem&)>& downloaded) {
  for (const BrowseRefusal& r : refused)
    c.ui->MessageBox(r.why, kBrowseErrorCaption, BoxButtons::kOk, BoxIcon::kInformation);
  if (items.empty()) return 0;
  std::string error;
  const std::string dir = folder.Ensure(&error);
  if (dir.empty()) {
    c.ui->MessageBox("The temporary folder could not be created: " + error, kBrowseErrorCaption,
                     BoxButtons::kOk, BoxIcon::kInformation);
    return 0;
  }
  const platform::Socket sock = c.sockControl;
  int arrived = 0;
  for (BrowseItem& item : items) {
    item.local = platform::PathJoin(dir, item.localName);
    FreshDownload(c);
    const int rc = FtpGetFile(c, sock, "RETR " + item.remote, item.local, item.type);
    if (rc == kReplyComplete) {
      ++arrived;
      if (downloaded) downloaded(item);
      continue;
    }
    const bool cancelled = c.bAbort != 0;
    c.ui->MessageBox(cancelled ? kAbortedByUserText : FailureText(c), kBrowseErrorCaption,
                     BoxButtons::kOk, BoxIcon::kInformation);
    c.bAbort = 0;
    // A cancel means the person wants none of the rest either.
    if (cancelled) break;
  }
  return arrived;
}

int RecallOp(FtpConn& c, BrowseFolder& folder, const std::string& target, char type) {
  std::string error;
  const std::string dir = folder.Ensure(&error);
  std::string file = dir.empty() ? "" : platform::UniqueTempFile(dir, "tarn", &error);
  if (file.empty()) {
    c.ui->MessageBox("The temporary file could not be created: " + error, kRecallErrorCaption,
                     BoxButtons::kOk, BoxIcon::kInformation);
    return kReplyPermanent;
  }
  if (type != 'A' && type != 'I') type = c.cTypeNow == 'I' ? 'I' : 'A';
  FreshDownload(c);
  const int rc = FtpGetFile(c, c.sockControl, "RETR " + target, file, type);
  if (rc != kReplyComplete) {
    c.ui->MessageBox(c.bAbort ? kAbortedByUserText : FailureText(c), kRecallErrorCaption,
                     BoxButtons::kOk, BoxIcon::kInformation);
    c.bAbort = 0;
  }
  return rc;
}

OpenProblem OpenProblemOfErrno(int error) {
  switch (error) {
    case 0: return OpenProblem::kNone;
    case ENOMEM: return OpenProblem::kOutOfMemory;
    case ENOENT: return OpenProblem::kFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG: return OpenProblem::kPathNotFound;
    case EACCES:
    case EPERM: return OpenProblem::kAccessDenied;
    default: return OpenProblem::kOther;
  }
}

OpenProblem CheckBrowseFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return OpenProblemOfErrno(errno);
  if (!S_ISREG(st.st_mode)) return OpenProblem::kFileNotFound;
  if (::access(path.c_str(), R_OK) != 0) return OpenProblemOfErrno(errno);
  return OpenProblem::kNone;
}

const char* OpenProblemText(OpenProblem p) {
  switch (p) {
    case OpenProblem::kOutOfMemory: return "There was not enough memory to complete the browse operation.";
    case OpenProblem::kFileNotFound: return "The specified file was not found.";
    case OpenProblem::kPathNotFound: return "The specified path was not found.";
    case OpenProblem::kAccessDenied: return "The operating system denied access to the specified file.";
    case OpenProblem::kOther: return "";
    case OpenProblem::kNone:
    case OpenProblem::kNoProgram: break;
  }
  return "";
}

}  // namespace tarn::listing
