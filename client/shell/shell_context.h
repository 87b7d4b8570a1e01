// ShellContext: what the window's parts share, owned by the composition
// root (main.cpp, or a test) and handed to each pane by reference.
//
// Threads: `conn` and `listing` belong to the connection's worker; only ops
// running on `worker` may touch them. The GUI thread reads the copies a
// finished op hands over (ListingSnapshot), never the worker's own data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "client/listing/host_tree.h"
#include "client/listing/listing_model.h"
#include "client/listing/path_rules.h"
#include "client/listing/row_sort.h"
#include "client/listing/type_names.h"
#include "client/session/app_state.h"
#include "client/session/ui.h"

namespace platform {
class Registry;
}

namespace tarn {
class DialUpOps;
class PasswordScrambler;
class TlsChannels;
struct FtpConn;
class ConnWorker;
class SessionStore;
namespace listing {
struct ListingContext;
}
}  // namespace tarn

namespace tarn::shell {

// The host facts a view needs to draw a listing: which icons and column
// set apply. Copied from the worker's state when a listing ends.
struct HostViewFacts {
  int32_t hostFamily = HOST_GENERIC;
  int32_t serverType = SERVER_UNIX;
  int viewCode = 0;           // AppState.iHostViewCode after the listing
  int vseKind = 1;            // VSE view code of the directory listed
  std::string rootString = "/";
  std::string currentDir;     // the server's directory after the listing
  std::string parentDir;      // "" when there is none ("Up One Level" greyed)
  listing::SortState sort;    // the listing context's sort state: the rows' order
  bool l8Emulated = false;    // the server announced L8 emulation: its transfers are not queued
};

// What a finished listing hands to the GUI thread: the rows (moved out of
// the worker's context, O(1)), a copy of the small directory tree, the node
// the listing selected and the view facts. Node ids are the worker tree's,
// so a node chosen in the view can be named back to the worker.
struct ListingSnapshot {
  listing::HostListing rows;
  listing::HostTree tree;
  listing::NodeId selected = listing::kNoNode;
  HostViewFacts facts;
  int result = 1;             // RunListing's result: 0 complete, 1 failed
  bool hasRows = true;        // false: only the tree changed, the rows on show stay
};

struct ShellContext {
  AppState& app;
  ::platform::Registry& registry;
  SessionStore& store;
  FtpConn& conn;                      // worker only
  ConnWorker& worker;
  listing::ListingContext& listing;   // worker only
  Ui& ui;                             // any thread: the window's Ui
  listing::TypeNames& typeNames;      // any thread
  DialUpOps* dialUp = nullptr;        // worker (dialling) and GUI (hang-up); null: none
  PasswordScrambler* scrambler = nullptr;  // GUI: passwords typed for a quick connection
  TlsChannels* tls = nullptr;         // worker: conn.tls of sessions that use TLS

  // Hooks the main window sets for the panes (GUI thread only; may be
  // empty in tests that build a pane alone).
  std::function<void()> refreshHostView;                   // list the shown directory again
  std::function<void(listing::NodeId)> openHostNode;       // select a directory's tree node
  std::function<void(const std::string& path)> openHostPath;  // list a host path
  std::function<void()> refreshPcView;
};

}  // namespace tarn::shell
