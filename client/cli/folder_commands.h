// tarn-cli's folder transfers: "get -r REMOTE_DIR [LOCAL_DIR]" and
// "put -r LOCAL_DIR [REMOTE_DIR]" run the transfer window's batch logic
// (TransferBatch) on the connection's worker, without a window: the folder
// goes into the destination folder under its own name, with everything
// below it, files in the order listed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "client/cli/console_ui.h"
#include "client/engine/ftp_conn.h"
#include "client/listing/listing_thread.h"
#include "client/session/app_state.h"
#include "client/session/session_store.h"

namespace tarn::cli {

// What a folder transfer uses of the console; all of it outlives the call.
struct FolderTransfer {
  FtpConn& conn;
  listing::ListingContext& listing;
  ConsoleUi& ui;
  AppState& app;
  SessionStore* store;       // null for quick connections: no resume state kept
  std::string sessionName;
  std::FILE* err;
  TransferMode mode;         // ASCII, binary or by extension
};

// Takes "-r" (or "--recursive") out of `args`; true when it was there.
bool TakeRecursive(std::vector<std::string>* args);

// The transfer mode of a command: --type (`forced`: 'A', 'I', 'X'), else
// the command line's --type (`optionType`), else the session's mode.
TransferMode ConsoleTransferMode(char forced, char optionType, TransferMode sessionMode);

// get -r: downloads the host folder `remoteDir` (a path, or on MVS a data
// set or level) into `localDir`, which is made when missing. Runs on the
// worker. True only when every file arrived; each refused name and each
// failure is written to ctx.err.
bool GetFolder(FolderTransfer& ctx, const std::string& remoteDir, const std::string& localDir);

// put -r: uploads the local folder into the host directory `remoteDir`
// ("" for the current one). UNIX, Windows and NetWare hosts.
bool PutFolder(FolderTransfer& ctx, const std::string& localDir, const std::string& remoteDir);

}  // namespace tarn::cli
