// What the pane tests build a pane on: a ShellContext over a fresh registry
// in a temporary folder, a pinned locale, a scripted Ui, a connection
// worker, and a Dialogs double that records every question and answers
// from a queue.
#pragma once

#include <QTemporaryDir>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "client/engine/conn_worker.h"
#include "client/engine/control.h"
#include "client/engine/ftp_conn.h"
#include "client/listing/listing_thread.h"
#include "client/listing/type_names.h"
#include "client/session/app_state.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "client/shell/dialogs.h"
#include "client/shell/shell_context.h"
#include "platform/net.h"
#include "platform/registry.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/scripted_ui.h"

namespace tarn::testing {

// A Dialogs that answers from queues. A box with no answer queued gets the
// answer of a person who backs out (No, Cancel, Ok for a plain box).
class ScriptedDialogs : public shell::Dialogs {
 public:
  struct Box {
    std::string text, caption;
    BoxButtons buttons;
    BoxIcon icon;
  };
  std::vector<Box> boxes;
  std::deque<BoxResult> boxAnswers;
  std::deque<std::string> folderNames;  // NewFolderName answers; none: Cancel

  BoxResult Box(const std::string& text, const std::string& caption, BoxButtons buttons,
                BoxIcon icon) override {
    boxes.push_back({text, caption, buttons, icon});
    if (!boxAnswers.empty()) {
      const BoxResult r = boxAnswers.front();
      boxAnswers.pop_front();
      return r;
    }
    switch (buttons) {
      case BoxButtons::kOk: return BoxResult::kOk;
      case BoxButtons::kYesNo: return BoxResult::kNo;
      default: return BoxResult::kCancel;
    }
  }
  bool Logon(LogonPrompt*) override { return false; }
  bool Text(const std::string&, const std::string&, bool, std::string*) override { return false; }
  bool QuickConnect(shell::QuickConnectInput*) override { return false; }
  bool CustomCommand(std::string*) override { return false; }
  void CommandResults(const std::string&) override {}
  bool NewFolderName(std::string* name) override {
    proposedFolderNames.push_back(*name);
    if (folderNames.empty()) return false;
    *name = folderNames.front();
    folderNames.pop_front();
    return true;
  }
  std::vector<std::string> proposedFolderNames;
};

struct PaneTestContext {
  PaneTestContext() {
    std::string error;
    registry = ::platform::OpenSqliteRegistry(dir.filePath("registry.sqlite").toStdString(), &error);
    store = std::make_unique<SessionStore>(*registry, ui, scrambler);
    app.locale = ::platform::PinnedLocale();
    app.cTitle = "Tarn";
    conn.app = &app;
    conn.ui = &ui;
    conn.net = &net;
    conn.iReplyTimeout = 5000;
    worker = std::make_unique<ConnWorker>(conn);
    // The context's later members (optional services, hooks) keep their
    // defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    ctx.reset(new shell::ShellContext{app, *registry, *store, conn, *worker, listing, ui, typeNames});
#pragma GCC diagnostic pop
  }
  ~PaneTestContext() {
    worker.reset();
    if (conn.sockControl != ::platform::kInvalidSocket) net.Close(conn.sockControl);
  }

  // Starts `server`'s script and makes the connection a logged-on one to
  // it, in `directory` (the listing context's current directory).
  bool ConnectTo(FakeFtpServer& server, const std::string& directory = "/") {
    server.Start();
    conn.sockControl = FtpOpenSocket(conn, "127.0.0.1", server.Port());
    app.bConnected = 1;
    listing.path.currentDir = directory;
    return conn.sockControl != ::platform::kInvalidSocket;
  }

  QTemporaryDir dir;
  std::unique_ptr<::platform::Registry> registry;
  ScriptedUi ui;
  PasswordScrambler scrambler{0};
  std::unique_ptr<SessionStore> store;
  AppState app;
  ::platform::Net net;
  FtpConn conn;
  listing::ListingContext listing;
  listing::MimeTypeNames typeNames;
  std::unique_ptr<ConnWorker> worker;
  std::unique_ptr<shell::ShellContext> ctx;
  ScriptedDialogs dialogs;
};

}  // namespace tarn::testing
