// What the transfer and host-command window tests build on: a ShellContext
// over a fresh registry in a temporary folder, a pinned locale, a scripted
// Ui for the engine, the connection's worker, and Dialogs that record every
// box and answer from a queue.
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
#include "tests/shell/recording_dialogs.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/scripted_ui.h"

namespace tarn::testing {

struct TransferTestContext {
  TransferTestContext() {
    std::string error;
    registry = ::platform::OpenSqliteRegistry(dir.filePath("registry.sqlite").toStdString(), &error);
    store = std::make_unique<SessionStore>(*registry, ui, scrambler);
    app.locale = ::platform::PinnedLocale();
    app.cTitle = "Tarn";
    app.settings.bPassive = 1;
    conn.app = &app;
    conn.ui = &ui;
    conn.net = &net;
    conn.iReplyTimeout = 5000;
    listing.typeNames = &typeNames;
    worker = std::make_unique<ConnWorker>(conn);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    ctx.reset(new shell::ShellContext{app, *registry, *store, conn, *worker, listing, ui, typeNames});
#pragma GCC diagnostic pop
  }
  ~TransferTestContext() {
    worker.reset();
    if (conn.sockControl != ::platform::kInvalidSocket) net.Close(conn.sockControl);
  }

  // Starts `server`'s script and makes the connection a logged-on one to it.
  bool ConnectTo(FakeFtpServer& server, const std::string& directory = "/") {
    server.Start();
    conn.sockControl = FtpOpenSocket(conn, "127.0.0.1", server.Port());
    app.bConnected = 1;
    listing.path.currentDir = directory;
    return conn.sockControl != ::platform::kInvalidSocket;
  }
  std::string Local(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

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
  RecordingDialogs dialogs;
};

}  // namespace tarn::testing
