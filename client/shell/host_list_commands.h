// The host list's remote commands (rename, delete, new folder, remove
// folder) without Qt: the texts the person is asked, the names sent for a
// row on each host type, and the ops that run on the connection's worker.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/engine/ftp_conn.h"

namespace tarn::listing {
struct ListingContext;
}

namespace tarn::shell {

struct HostRow;

inline constexpr const char* kConfirmDeleteCaption = "Confirm Host File Delete";
inline constexpr const char* kConfirmMultipleDeleteCaption = "Confirm Multiple Host File Delete";

// The question before deleting `count` host files; `name` is the one
// file's shown name when count is 1.
//   "Are you sure you want to permanently delete host file\r'a.txt'?"
//   "Are you sure you want to permanently delete these\r3 host files?"
std::string DeleteQuestion(size_t count, std::string_view name);
const char* DeleteCaption(size_t count);

// RNFR/RNTO names of a row renamed to `newText` (what the person typed in
// the name column). On MVS both are full data-set names without quotes
// (FtpRename quotes them): a member keeps its data set, "USER1.CNTL(OLD)"
// -> "USER1.CNTL(NEW)"; a data set's name column is its full name, so the
// text is the new full name. Elsewhere the listed name and the new text,
// relative to the listed directory.
struct RenameNames {
  std::string from;
  std::string to;
};
RenameNames RenameNamesFor(const HostRow& row, std::string_view newText, int32_t hostFamily);

// The DELE argument of a file row: on MVS the full name in single quotes
// ("'USER1.CNTL(JOB)'"), elsewhere the listed name.
std::string DeleteArgumentFor(const HostRow& row, int32_t hostFamily);

// The RMD argument of a directory row: its full path, quoted on MVS.
std::string RemoveFolderArgumentFor(const HostRow& row, int32_t hostFamily);

// The MKD argument of a new folder `name` inside the directory row
// (NewFolderPath): MVS "'LEVEL.NAME'", VM qualifiers joined with ".";
// elsewhere the path, the host's separator and the name.
std::string NewFolderArgumentFor(const HostRow& row, std::string_view name, int32_t hostFamily,
                                 std::string_view rootString);

// --- Worker ops (run inside a ConnWorker op; `ctx` is the worker's) -------

// Makes `directory` the server's working directory again when another
// listing moved it, so that names relative to the listed directory still
// name the rows. False when not logged on or the CWD was refused (its box
// shown).
bool EnterListedDirectory(FtpConn& c, listing::ListingContext& ctx, const std::string& directory);

// RNFR/RNTO; kReplyComplete on success, kReplyPermanent after the engine's
// "Error renaming file" box, kReplyAborted when not connected.
int RenameOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
             const RenameNames& names);

// One file of a delete: the argument sent and the name the status shows.
struct DeleteItem {
  std::string argument;
  std::string shownName;
};
// Deletes the files one by one with "Deleting file %s..." in the status
// line; a refusal shows "Error deleting file" with the server's text and
// goes on with the next file; a cancel stops. The status returns to " ".
// kReplyComplete when at least one file went, kReplyPermanent when none,
// kReplyAborted when not connected.
int DeleteOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
             const std::vector<DeleteItem>& items, int* deleted = nullptr);

// MKD / RMD of a path (the engine shows its box on refusal).
int MakeFolderOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
                 const std::string& argument);
int RemoveFolderOp(FtpConn& c, listing::ListingContext& ctx, const std::string& directory,
                   const std::string& argument);

}  // namespace tarn::shell
