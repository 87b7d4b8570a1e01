#include "client/shell/client_root.h"

#include <ctime>

#include "client/session/client_startup.h"
#include "platform/locale.h"
#include "platform/paths.h"

namespace tarn::shell {

ClientRoot::ClientRoot() : scrambler_(static_cast<int64_t>(std::time(nullptr))) {}

ClientRoot::~ClientRoot() {
  // The window first (it may still hold ops' continuations), then the
  // worker: its destructor cancels what is queued and joins the thread.
  window_.reset();
  if (worker_) {
    worker_->CancelAll();
    worker_.reset();
  }
  keepAlive_.Stop();
  if (ui_) ui_->SetSink(nullptr);
}

bool ClientRoot::Init(const ClientOptions& options, std::string* error) {
  app_.cTitle = "Tarn";
  app_.locale = options.pinnedLocale ? ::platform::PinnedLocale() : ::platform::UserLocale();
  std::string configDir = options.configDir.empty() ? ::platform::ConfigDirectory() : options.configDir;
  if (!::platform::MakeDirectories(configDir, 0700)) {
    *error = "cannot create the settings directory " + configDir;
    return false;
  }
  reg_ = ::platform::OpenSqliteRegistry(::platform::PathJoin(configDir, "registry.sqlite"), error);
  if (!reg_) return false;

  dialogs_ = std::make_unique<QtDialogs>(nullptr, app_.cTitle);
  ui_ = std::make_unique<WindowUi>(*dialogs_);
  // Passwords of an older release are converted and the connection log
  // is made before anything reads a session; the application settings
  // follow. Without a log (tests) the conversion still runs.
  if (options.logDir.empty())
    ConvertStoredPasswords(*reg_);
  else
    StartClient(*reg_, &log_, options.logDir == "." ? "" : ::platform::PathJoin(options.logDir, "Tarn.log"),
                CurrentBannerFacts(), app_.locale);
  app_.log = &log_;
  store_ = std::make_unique<SessionStore>(*reg_, *ui_, scrambler_);
  store_->LoadAppSettings(&app_.settings);

  dialService_ = ::platform::MakeNoDialUp();
  dialUp_ = std::make_unique<DialUpOps>(*dialService_, *ui_, app_);

  conn_.app = &app_;
  conn_.ui = ui_.get();
  conn_.net = &net_;
  conn_.keepAlive = &keepAlive_;
  tls_ = std::make_unique<TlsLayer>(conn_);
  listing_.typeNames = &typeNames_;
  listing_.nameCase = listing::NameCaseFromFlag(app_.settings.cCapFlag);
  worker_ = std::make_unique<ConnWorker>(conn_);

  ctx_ = std::unique_ptr<ShellContext>(new ShellContext{
      app_, *reg_, *store_, conn_, *worker_, listing_, *ui_, typeNames_,
      dialUp_.get(), &scrambler_, tls_.get(), {}, {}, {}, {}});

  window_ = std::make_unique<MainWindow>(*ctx_, *ui_);
  dialogs_->SetOwner(window_.get());
  return true;
}

}  // namespace tarn::shell
