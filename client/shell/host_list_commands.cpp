#include "client/shell/host_list_commands.h"

#include "client/engine/commands.h"
#include "client/listing/listing_thread.h"
#include "client/listing/text_rules.h"
#include "client/session/app_state.h"
#include "client/shell/host_list_model.h"
#include "client/shell/host_ops.h"

namespace tarn::shell {

namespace {

// A data-set name without the single quotes a listing may have kept.
std::string Unquoted(std::string_view s) {
  if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

std::string Quoted(std::string_view s) { return "'" + Unquoted(s) + "'"; }

bool LoggedOn(const FtpConn& c) {
  return c.app != nullptr && c.app->bConnected && c.sockControl != ::platform::kInvalidSocket;
}

}  // namespace

std::string DeleteQuestion(size_t count, std::string_view name) {
  if (count == 1)
    return "Are you sure you want to permanently delete host file\r'" + std::string(name) + "'?";
  return "Are you sure you want to permanently delete these\r" + std::to_string(count) +
         " host files?";
}

const char* DeleteCaption(size_t count) {
  return count == 1 ? kConfirmDeleteCaption : kConfirmMultipleDeleteCaption;
}

RenameNames RenameNamesFor(const HostRow& row, std::string_view newText, int32_t hostFamily) {
  if (hostFamily != HOST_MVS) return {row.listedName, std::string(newText)};
  const std::string from = Unquoted(row.path);
  const size_t open = from.find('(');
  if (open != std::string::npos) return {from, from.substr(0, open) + "(" + std::string(newText) + ")"};
  return {from, Unquoted(newText)};
}

std::string DeleteArgumentFor(const HostRow& row, int32_t hostFamily) {
  return hostFamily == HOST_MVS ? Quoted(row.path) : row.listedName;
}

std::string RemoveFolderArgumentFor(const HostRow& row, int32_t hostFamily) {
  return RemoveFolderPath(hostFamily, row.path);
}

std::string NewFolderArgumentFor(const HostRow& row, std::string_view name, int32_t hostFamily,
                                 std::string_view rootString) {
  // The same rule as the host tree's "Create &New Folder".
  listing::PathState s;
  s.hostFamily = hostFamily;
  s.rootString = std::string(rootString);
  return NewFolderPath(s, row.path, std::string(name));
}

bool EnterListedDirectory(FtpConn& c, listing::ListingContext& ctx, const std::string& directory) {
  if (!LoggedOn(c)) return false;
  if (directory.empty() || directory == ctx.path.currentDir) return true;
  return listing::ProcessCurrentDirectory(c, &ctx, directory);
}

int RenameOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
             const RenameNames& names) {
  if (!LoggedOn(c)) return kReplyAborted;
  if (!EnterListedDirectory(c, ctx, directory)) return kReplyPermanent;
  return FtpRename(c, c.sockControl, names.from, names.to) ? kReplyComplete : kReplyPermanent;
}

int DeleteOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
             const std::vector<DeleteItem>& items, int* deleted) {
  int gone = 0;
  if (deleted) *deleted = 0;
  if (!LoggedOn(c)) return kReplyAborted;
  if (!EnterListedDirectory(c, ctx, directory)) return kReplyPermanent;
  for (const DeleteItem& item : items) {
    if (c.bAbort) break;
    c.ui->SetStatusText(kStatusOperation, "Deleting file " + item.shownName + "...");
    const int rc = FtpDele(c, c.sockControl, item.argument);
    if (rc == kReplyComplete) {
      ++gone;
    } else if (rc == kReplyAborted || !LoggedOn(c)) {
      break;
    } else {
      c.ui->MessageBox(c.cReply, "Error deleting file", BoxButtons::kOk, BoxIcon::kInformation);
    }
  }
  c.ui->SetStatusText(kStatusOperation, " ");
  if (deleted) *deleted = gone;
  return gone > 0 ? kReplyComplete : kReplyPermanent;
}

int MakeFolderOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
                 const std::string& argument) {
  if (!LoggedOn(c)) return kReplyAborted;
  if (!EnterListedDirectory(c, ctx, directory)) return kReplyPermanent;
  return FtpMkd(c, c.sockControl, argument);
}

int RemoveFolderOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
                   const std::string& argument) {
  if (!LoggedOn(c)) return kReplyAborted;
  if (!EnterListedDirectory(c, ctx, directory)) return kReplyPermanent;
  return FtpRmd(c, c.sockControl, argument);
}

}  // namespace tarn::shell
