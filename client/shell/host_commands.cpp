#include "client/shell/host_commands.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QVBoxLayout>

#include "client/engine/control.h"
#include "client/shell/browse_viewer.h"
#include "client/shell/host_option_dialogs.h"
#include "client/shell/worker_bridge.h"

namespace tarn::shell {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A command's window: it stays open until its op ends. Cancel (and
// Escape, and the close button) only asks the op to stop.
class CommandWindow : public QDialog {
 public:
  CommandWindow(QWidget* owner, std::function<void()> cancel)
      : QDialog(owner), cancel_(std::move(cancel)) {}
  void reject() override {
    if (cancel_) cancel_();
  }
  void Close() {
    cancel_ = nullptr;
    QDialog::done(0);
  }

 private:
  std::function<void()> cancel_;
};

}  // namespace

bool QtHostOptionPrompts::Mvs(QWidget* owner, listing::MvsOptions* options) {
  MvsOptionsDialog d(owner);
  if (d.exec() != QDialog::Accepted) return false;
  *options = d.Record();
  return true;
}

bool QtHostOptionPrompts::Vm(QWidget* owner, std::string* command) {
  VmOptionsDialog d(owner);
  if (d.exec() != QDialog::Accepted) return false;
  *command = d.Command();
  return true;
}

bool QtHostOptionPrompts::Permissions(QWidget* owner, std::string* mode) {
  PermissionsDialog d(owner);
  if (d.exec() != QDialog::Accepted) return false;
  *mode = d.Mode();
  return true;
}

HostCommands::HostCommands(ShellContext& ctx, Dialogs& dialogs, QWidget* owner)
    : QObject(owner),
      ctx_(ctx),
      dialogs_(dialogs),
      owner_(owner),
      ownPrompts_(std::make_unique<QtHostOptionPrompts>()),
      prompts_(ownPrompts_.get()),
      ownOpener_(std::make_unique<DesktopOpener>()),
      opener_(ownOpener_.get()) {}

HostCommands::~HostCommands() {
  for (QPointer<QWidget>& v : viewers_) delete v.data();
  folder_.Remove();
}

void HostCommands::SetPrompts(HostOptionPrompts* prompts) {
  prompts_ = prompts ? prompts : ownPrompts_.get();
}

void HostCommands::SetOpener(FileOpener* opener) { opener_ = opener ? opener : ownOpener_.get(); }

bool HostCommands::Run(ConnWorker::Op op, bool refresh, std::function<void(int)> done) {
  if (runner_) return runner_(std::move(op), refresh, std::move(done));
  PostToWorker(ctx_.worker, this, std::move(op), std::move(done));
  return true;
}

void HostCommands::Info(const std::string& text) {
  dialogs_.Box(text, ctx_.app.cTitle, BoxButtons::kOk, BoxIcon::kInformation);
}

void HostCommands::ShowWindow(const QString& title, const QString& text, bool cancellable) {
  auto* w = new CommandWindow(owner_, cancellable ? std::function<void()>([this] { ctx_.worker.Cancel(); })
                                                  : std::function<void()>());
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->setWindowTitle(title);
  w->setCursor(Qt::BusyCursor);
  auto* layout = new QVBoxLayout(w);
  windowText_ = new QLabel(text, w);
  windowText_->setMinimumWidth(320);
  layout->addWidget(windowText_);
  auto* busy = new QProgressBar(w);
  busy->setRange(0, 0);  // no measure of the work: a moving bar
  busy->setTextVisible(false);
  layout->addWidget(busy);
  if (cancellable) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, w);
    connect(buttons, &QDialogButtonBox::rejected, w, &QDialog::reject);
    layout->addWidget(buttons);
  }
  window_ = w;
  w->open();
}

void HostCommands::Finish(int result) {
  if (auto* w = static_cast<CommandWindow*>(window_.data())) w->Close();
  window_ = nullptr;
  windowText_ = nullptr;
  emit commandDone(result);
}

// --- MVS and VM options ----------------------------------------------------------

void HostCommands::MvsOptions() {
  listing::MvsOptions options;
  if (!prompts_->Mvs(owner_, &options)) return;
  std::vector<std::string> commands = listing::MvsOptionCommands(options);
  ShowWindow(kProcessingMvsTitle, kProcessingMvsText, false);
  const bool started = Run(
      [commands](FtpConn& c) { return listing::SendSiteCommandsOp(c, commands); }, false,
      [this](int rc) { Finish(rc); });
  if (!started) Finish(kReplyAborted);
}

void HostCommands::VmOptions() {
  std::string command;
  if (!prompts_->Vm(owner_, &command)) return;
  Run([command](FtpConn& c) { return listing::SendSiteCommandsOp(c, {command}); }, false,
      [this](int rc) { emit commandDone(rc); });
}

// --- Change Permissions ------------------------------------------------------------

void HostCommands::ChangePermissions(const std::vector<listing::PermissionRow>& rows) {
  std::vector<std::string> targets = listing::PermissionTargets(rows);
  if (targets.empty()) {
    Info(listing::kNoItemSelectedText);
    return;
  }
  std::string mode;
  if (!prompts_->Permissions(owner_, &mode)) return;
  // The names are relative to the server's directory, the one on show.
  auto op = [mode, targets](FtpConn& c) {
    return listing::ChangePermissionsOp(c, mode, targets) ? int(kReplyComplete)
                                                          : int(kReplyPermanent);
  };
  Run(op, true, [this](int rc) {
    if (rc != kReplyComplete) Info(listing::kPermissionsFailedText);
    emit commandDone(rc);
  });
}

// --- Recall and Browse -------------------------------------------------------------

void HostCommands::Recall(const std::string& path) {
  if (path.empty()) return;
  ShowWindow(kRecallTitle, Q("Recalling " + path + "..."), true);
  listing::BrowseFolder* folder = &folder_;
  const bool started = Run(
      [folder, path](FtpConn& c) {
        return listing::RecallOp(c, *folder, listing::RecallTarget(c.HostFamily, path), 0);
      },
      true, [this](int rc) { Finish(rc); });
  if (!started) Finish(kReplyAborted);
}

void HostCommands::Browse(const std::vector<listing::BrowseRow>& files, TransferMode mode) {
  if (files.empty()) return;
  ShowWindow(kBrowseTitle, "Browsing...", true);
  const std::string extensions = ctx_.app.settings.cAsciiExtensions;
  listing::BrowseFolder* folder = &folder_;
  QPointer<HostCommands> self(this);
  auto op = [self, folder, files, mode, extensions](FtpConn& c) {
    std::vector<listing::BrowseItem> items;
    std::vector<listing::BrowseRefusal> refused;
    for (const listing::BrowseRow& r : files) {
      listing::BrowseItem item;
      std::string why;
      const char type = listing::BrowseType(mode, r.name, extensions);
      if (listing::BrowseItemFor(c.HostFamily, c.bL8Emulated != 0, r, type, &item, &why))
        items.push_back(std::move(item));
      else
        refused.push_back({r.path, why});
    }
    // Each file opens as soon as it is here, on the GUI thread; the rest
    // keep downloading meanwhile.
    return listing::BrowseOp(c, *folder, std::move(items), refused,
                             [self](const listing::BrowseItem& item) {
                               QMetaObject::invokeMethod(
                                   QCoreApplication::instance(),
                                   [self, local = Q(item.local), title = Q(item.title)] {
                                     if (self) self->OpenBrowsed(local, title);
                                   },
                                   Qt::QueuedConnection);
                             });
  };
  if (!Run(op, false, [this](int rc) { Finish(rc); })) Finish(0);
}

void HostCommands::OpenBrowsed(const QString& path, const QString& title) {
  const listing::OpenProblem problem = listing::CheckBrowseFile(path.toStdString());
  if (problem != listing::OpenProblem::kNone) {
    Info(listing::OpenProblemText(problem));
    return;
  }
  QPointer<HostCommands> self(this);
  opener_->Open(path, [self, path, title] {
    if (!self) return;
    auto* viewer = new BrowseViewer(path, title, self->owner_);
    self->viewers_.push_back(viewer);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    emit self->viewerOpened(viewer);
  });
}

}  // namespace tarn::shell
