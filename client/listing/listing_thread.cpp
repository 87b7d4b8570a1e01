#include "client/listing/listing_thread.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>

#include "client/engine/commands.h"
#include "client/engine/control.h"
#include "client/engine/transfer.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/parse_dispatch.h"
#include "client/session/host_record.h"
#include "platform/files.h"

namespace tarn::listing {

void ListingContext::Reset() {
  std::lock_guard<std::mutex> lock(mu_);
  finished_ = false;
}

void ListingContext::SetFinished() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    finished_ = true;
  }
  cv_.notify_all();
}

bool ListingContext::WaitFinished(int ms) {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return finished_; });
}

void PathStateFromConn(const FtpConn& c, PathState* s) {
  s->hostFamily = c.HostFamily;
  s->serverType = c.ServerType;
  s->systemCode = c.SystemCode;
  s->rootString = c.cRootDir;
}

void PathStateToConn(const PathState& s, FtpConn* c) {
  HostType t = HostTypeOf(*c);
  t.family = s.hostFamily;
  t.server = s.serverType;
  t.system = s.systemCode;
  SetHostType(*c, t);
  SetField(c->cRootDir, s.rootString);
}

void ResetListing(FtpConn& c, ListingContext* ctx) {
  ctx->listing.Clear();
  ctx->tree.Clear();
  ctx->buffer.clear();
  ctx->selected = kNoNode;
  ctx->sort.fullPaths = false;
  PathStateFromConn(c, &ctx->path);
  ctx->path.currentDir.clear();
  ctx->path.parentDir.clear();
}

bool ProcessCurrentDirectory(FtpConn& c, ListingContext* ctx, const std::string& directory) {
  PathState& s = ctx->path;
  if (NeedsCwd(s, directory)) {
    if (FtpCwd(c, c.sockControl, CwdArgument(s.hostFamily, directory)) == kReplyPermanent) {
      c.ui->MessageBox(c.cReply, "Error changing directory", BoxButtons::kOk, BoxIcon::kInformation);
      LogWrite(c, "Error changing directory in function ProcessCurrentDirectory\r\n");
      c.ui->SetStatusText(kStatusOperation, "");
      return false;
    }
  }
  EnterDirectory(&s, directory);
  return true;
}

bool FetchListing(FtpConn& c, ListingContext* ctx) {
  if (!c.app->bConnected || c.sockControl == platform::kInvalidSocket) return false;
  // A path style chosen by a tree selection reaches the engine's own rules
  // too (quoted names on MVS).
  PathStateToConn(ctx->path, &c);
  if (FtpPwd(c, c.sockControl) == kReplyComplete) {
    PathStyleChange change = PathStyleFromPwd(ctx->path, c.cReply);
    if (change != PathStyleChange::kNone) {
      ApplyPathStyle(change, &ctx->path, c.ui);
      PathStateToConn(ctx->path, &c);
      // The parent was worked out in the old style ("/u/user1" has none
      // as a dataset name).
      EnterDirectory(&ctx->path, std::string(ctx->path.currentDir));
    }
  }
  c.ui->SetStatusText(kStatusOperation, "Retrieving Directory List");
  c.bAbort = 0;
  c.llExpected = 0;
  int rc = FtpListToTemp(c, c.sockControl, "LIST");
  c.ui->SetStatusText(kStatusOperation, "");
  const std::string temp = c.cTempFile;
  if (rc != kReplyComplete) {
    if (!temp.empty()) platform::RemoveFile(temp);
    // A refusal of the server is worth a box; a listing cut by the person
    // or by a lost connection already said why.
    if (rc == kReplyTransient || rc == kReplyPermanent)
      c.ui->MessageBox(c.cReply, "Error Retrieving Directory Listing", BoxButtons::kOk,
                       BoxIcon::kInformation);
    return false;
  }
  std::ifstream in(temp, std::ios::binary);
  if (!in) {
    c.ui->MessageBox("Couldn't open TempDirFile for reading.", "Tarn File Transfer", BoxButtons::kOk,
                     BoxIcon::kError);
    return false;
  }
  try {
    std::stringstream text;
    text << in.rdbuf();
    ctx->buffer = text.str();
  } catch (const std::bad_alloc&) {
    ctx->buffer.clear();
    // "xxx" is the caption this box has always had.
    c.ui->MessageBox("Out of memory", "xxx", BoxButtons::kOk, BoxIcon::kError);
    in.close();
    platform::RemoveFile(temp);
    return false;
  }
  in.close();
  platform::RemoveFile(temp);
  return true;
}

ListingRequest FirstListingRequest(const PathState& s, const std::string& directory) {
  ListingRequest req;
  req.mode = kModeFirstListing;
  req.addToTree = 1;
  req.nodeText = directory;
  req.nodePath = directory;
  req.directory = directory;
  req.kind = kKindDirectory;
  req.image = kIconFolder;
  req.vseKind = s.hostFamily == HOST_VSE ? kVseViewDirectory : 1;
  return req;
}

namespace {

// Sets the listing-finished event when a run ends, whichever way it ends,
// so that a disconnect never waits out its bound for a listing long over.
class FinishedOnExit {
 public:
  explicit FinishedOnExit(ListingContext* ctx) : ctx_(ctx) {}
  ~FinishedOnExit() { ctx_->SetFinished(); }
  FinishedOnExit(const FinishedOnExit&) = delete;
  FinishedOnExit& operator=(const FinishedOnExit&) = delete;

 private:
  ListingContext* ctx_;
};

}  // namespace

int RunListing(FtpConn& c, ListingContext* ctx, ListingRequest req, const DateParts& now) {
  c.app->iOpState = kOpListing;
  ctx->Reset();
  FinishedOnExit finished(ctx);
  c.ui->SetWaitCursor(true);
  PathState& s = ctx->path;

  // This classification reads the buffer of the listing before, as the
  // system always has; the one after the fetch reads the new listing.
  if (s.hostFamily == HOST_MVS && req.kind == kKindDirectory)
    req.kind = ClassifyMvsDirectory(req.kind, ctx->buffer);

  if (req.mode == kModeFirstListing) {
    uint32_t image = req.image;
    std::string text = RootNodeText(req.nodeText, s.rootString, ctx->nameCase, &image);
    TreeNode record;
    record.path = req.nodePath;
    record.kind = req.kind;
    record.vseKind = req.vseKind;
    try {
      req.node = ctx->tree.Insert(kNoNode, kInsertFirstChild, record, text, image);
    } catch (const std::bad_alloc&) {
      ReportRowAllocationFailure(c.ui);
    }
  }

  if (!ProcessCurrentDirectory(c, ctx, req.directory)) {
    c.ui->SetWaitCursor(false);
    c.app->iOpState = kOpIdle;
    return 1;
  }
  ctx->listing.Clear();

  if (!FetchListing(c, ctx)) {
    c.ui->SetWaitCursor(false);
    c.ui->SetStatusText(kStatusOperation, "Error retrieving Directory Listing");
    c.app->iOpState = kOpIdle;
  } else {
    c.app->iOpState = kOpIdle;
    c.ui->SetStatusText(kStatusOperation, "Parsing Directory Listing");
    ctx->sort.fullPaths = false;
    if (s.hostFamily == HOST_MVS && req.kind == kKindDirectory)
      req.kind = ClassifyMvsDirectory(req.kind, ctx->buffer);
    ParserChoice choice = ChooseParser(s.hostFamily, req.kind, req.vseKind, req.directory);
    ParseContext pc;
    pc.directory = req.directory;
    pc.now = now;
    pc.addToTree = req.addToTree != 0;
    pc.node = req.node;
    pc.insertMode = req.mode == kModeFirstListing ? kInsertLastChild : req.mode;
    pc.recordLength = req.recordLength;
    pc.log = [&c](std::string_view text) { LogDebug(c, std::string(text)); };
    ctx->lastParse = ParseListingText(choice, ctx->buffer, pc, ctx, c.ui);
    if (choice.fullPathSort) ctx->sort.fullPaths = true;
    SortRows(&ctx->listing, 0, ctx->sort.direction[0], ctx->sort.fullPaths);
  }

  if (req.node != kNoNode && ctx->tree.IsLive(req.node)) {
    ctx->tree.SortChildren(req.node);
    ctx->selected = req.node;
  }
  c.ui->SetWaitCursor(false);
  c.ui->SetStatusText(kStatusOperation, "  ");
  return 0;
}

}  // namespace tarn::listing
