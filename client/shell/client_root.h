// ClientRoot: the composition root of the client's window. It owns, in
// the order they are made, the settings database, the program's state,
// the connection log, the Ui and dialogs, the session store, the
// connection with its worker and listing context, and the main window;
// it ends them in the reverse order, the worker only once its ops are
// through. Made on the GUI thread after the QApplication.
#pragma once

#include <memory>
#include <string>

#include "client/engine/conn_worker.h"
#include "client/engine/ftp_conn.h"
#include "client/engine/keepalive.h"
#include "client/engine/tls.h"
#include "client/listing/listing_thread.h"
#include "client/listing/type_names.h"
#include "client/session/app_state.h"
#include "client/session/connection_log.h"
#include "client/session/dialup_ops.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "client/shell/dialogs.h"
#include "client/shell/main_window.h"
#include "client/shell/shell_context.h"
#include "client/shell/window_ui.h"
#include "platform/dialup.h"
#include "platform/net.h"
#include "platform/registry.h"

namespace tarn::shell {

struct ClientOptions {
  std::string configDir;      // "" = platform::ConfigDirectory()
  std::string logDir = ".";   // where "Tarn.log" goes; "" = no connection log
  bool pinnedLocale = false;  // fixed number and date formats (tests)
};

class ClientRoot {
 public:
  ClientRoot();
  ~ClientRoot();
  ClientRoot(const ClientRoot&) = delete;
  ClientRoot& operator=(const ClientRoot&) = delete;

  // Opens the settings, converts old passwords, reads the application
  // settings, creates the connection log and builds the window (not yet
  // shown). False with `*error` set when the settings cannot be opened.
  bool Init(const ClientOptions& options, std::string* error);

  MainWindow& window() { return *window_; }
  ShellContext& context() { return *ctx_; }
  AppState& app() { return app_; }
  SessionStore& store() { return *store_; }
  WindowUi& ui() { return *ui_; }
  ConnWorker& worker() { return *worker_; }
  // Tests answer the dialogs themselves.
  void SetDialogs(Dialogs* dialogs) { ui_->SetDialogs(dialogs ? dialogs : dialogs_.get()); }
  // The reply time limit of connections (ms; tests shorten it).
  void SetReplyTimeout(int ms) { conn_.iReplyTimeout = ms; }

 private:
  std::unique_ptr<::platform::Registry> reg_;
  AppState app_;
  ConnLog log_;
  std::unique_ptr<QtDialogs> dialogs_;
  std::unique_ptr<WindowUi> ui_;
  PasswordScrambler scrambler_;
  std::unique_ptr<SessionStore> store_;
  ::platform::Net net_;
  std::unique_ptr<::platform::DialUp> dialService_;
  std::unique_ptr<DialUpOps> dialUp_;
  FtpConn conn_;
  KeepAliveTimer keepAlive_;
  std::unique_ptr<TlsLayer> tls_;
  listing::MimeTypeNames typeNames_;
  listing::ListingContext listing_;
  std::unique_ptr<ConnWorker> worker_;
  std::unique_ptr<ShellContext> ctx_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace tarn::shell
