#include "client/shell/settings_sheet.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>
#include <tuple>

#include "client/engine/keepalive.h"
#include "client/listing/listing_thread.h"
#include "client/listing/text_rules.h"
#include "client/session/dialup_ops.h"
#include "client/session/session_store.h"
#include "client/shell/session_name_dialog.h"
#include "client/shell/settings_app_page.h"
#include "client/shell/settings_firewall_page.h"
#include "client/shell/settings_security_page.h"
#include "client/shell/settings_session_page.h"
#include "client/shell/settings_widgets.h"
#include "client/shell/worker_bridge.h"

namespace tarn::shell {

using namespace settings_ui;

namespace {

constexpr const char* kFolderTitle = "Select Initial PC Directory";

bool SameFirewall(const FirewallPageValues& a, const FirewallPageValues& b) {
  return std::tie(a.useFirewall, a.type, a.host, a.port, a.user, a.password) ==
         std::tie(b.useFirewall, b.type, b.host, b.port, b.user, b.password);
}

bool SameSecurity(const SecurityPageValues& a, const SecurityPageValues& b) {
  return std::tie(a.useTls, a.type, a.strength, a.acceptExpired, a.acceptSelfSigned, a.acceptFuture,
                  a.acceptInvalid, a.certFile, a.certPassword) ==
         std::tie(b.useTls, b.type, b.strength, b.acceptExpired, b.acceptSelfSigned, b.acceptFuture,
                  b.acceptInvalid, b.certFile, b.certPassword);
}

bool IsSessionPage(SettingsPage p) { return p != SettingsPage::kApplication; }

}  // namespace

// --- Choosers ---------------------------------------------------------------------

bool QtSettingsChoosers::SessionName(QWidget* owner, Ui& ui, bool renaming,
                                     const std::function<bool(const std::string&)>& exists,
                                     std::string* name) {
  return AskSessionName(owner, ui, renaming, exists, name);
}

std::string QtSettingsChoosers::Folder(QWidget* owner, const std::string& start) {
  QString dir = QFileDialog::getExistingDirectory(owner, kFolderTitle,
                                                  start.empty() ? QDir::homePath() : Q(start));
  return S(QDir::toNativeSeparators(dir));
}

std::string QtSettingsChoosers::CertFile(QWidget* owner, const std::string& current) {
  const QString start = current.empty() ? QDir::homePath() : QFileInfo(Q(current)).absolutePath();
  return S(QFileDialog::getOpenFileName(owner, kCertFileDialogTitle, start, QtFileFilter(kCertFileFilter)));
}

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split('|', Qt::SkipEmptyParts);
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace(';', ' ');
    if (pattern == "*.*") pattern = "*";
    QString name = parts[i];
    // Qt takes the patterns from the parentheses; a name that shows them
    // already keeps its own.
    out << (name.contains('(') ? name : name + " (" + pattern + ")");
  }
  return out.join(";;");
}

// --- The sheet ----------------------------------------------------------------------

SettingsSheet::SettingsSheet(ShellContext& ctx, SettingsChoosers& choosers, QWidget* parent)
    : QDialog(parent), ctx_(ctx), choosers_(choosers), mounts_(SystemMountTable()) {
  setWindowTitle(kSettingsCaption);
  setModal(true);
  std::vector<std::string> entries;
  if (ctx_.dialUp && ctx_.dialUp->Available()) entries = ctx_.dialUp->ListEntries();
  viaItems_ = ConnectViaItems(entries);

  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  session_ = new SessionSettingsPage(viaItems_, tabs_);
  firewall_ = new FirewallSettingsPage(tabs_);
  app_ = new ApplicationSettingsPage(tabs_);
  security_ = new SecuritySettingsPage(tabs_);
  QWidget* pages[] = {session_, firewall_, app_, security_};
  for (int i = 0; i < 4; ++i) tabs_->addTab(pages[i], kSettingsPageTitles[i]);
  layout->addWidget(tabs_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SettingsSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SettingsSheet::reject);
  layout->addWidget(buttons);

  connect(tabs_, &QTabWidget::currentChanged, this, &SettingsSheet::OnPageChanged);
  connect(session_, &SessionSettingsPage::sessionChosen, this, &SettingsSheet::OnSessionChosen);
  connect(session_, &SessionSettingsPage::editRequested, this, &SettingsSheet::OnEdit);
  connect(session_, &SessionSettingsPage::deleteRequested, this, &SettingsSheet::OnDelete);
  connect(session_, &SessionSettingsPage::newRequested, this, [this] { OnNew(""); });
  connect(session_, &SessionSettingsPage::renameRequested, this, &SettingsSheet::OnRename);
  connect(session_, &SessionSettingsPage::localFolderRequested, this, &SettingsSheet::OnLocalFolder);
  connect(security_, &SecuritySettingsPage::certFileRequested, this, &SettingsSheet::OnCertFile);
  firewall_->onInvalidSelection = [this](const CheckFailure& f) { ShowCheckFailure(ctx_.ui, f); };
}

SettingsSheet::~SettingsSheet() = default;

bool SettingsSheet::Start(SettingsMode mode, const std::string& name,
                          const std::vector<std::string>& zoomPaths, const HostRecord* prefill) {
  zoomPaths_ = zoomPaths;
  app_->Load(AppPageFromSettings(ctx_.app.settings));
  std::vector<std::string> list = ctx_.store.SessionList();
  // A list the host tree has not rebuilt yet: the sessions as it would.
  if (list.empty()) list = ctx_.store.ListedSessions();
  int first = list.empty() ? -1 : 0;
  if (mode == SettingsMode::kSelectSession) {
    for (size_t i = 0; i < list.size(); ++i)
      if (QString::compare(Q(list[i]), Q(name), Qt::CaseInsensitive) == 0) first = static_cast<int>(i);
  }
  session_->SetSessions(list, first);
  if (first < 0 || !ShowSession(first)) ShowNoSession();
  if (mode == SettingsMode::kNewSession) return OnNew(name, prefill);
  return true;
}

std::string SettingsSheet::shownSession() const { return haveSession() ? rec_.cSessionName : ""; }

PasswordScrambler& SettingsSheet::scrambler() {
  if (ctx_.scrambler) return *ctx_.scrambler;
  if (!ownScrambler_) ownScrambler_ = std::make_unique<PasswordScrambler>(std::time(nullptr));
  return *ownScrambler_;
}

bool SettingsSheet::NameExists(const std::string& name) { return ctx_.store.SessionExists(name); }

bool SettingsSheet::ShowSession(int index) {
  const std::vector<std::string> list = session_->Sessions();
  if (index < 0 || index >= static_cast<int>(list.size())) return false;
  HostRecord loaded;
  // The connection's resume flag stays the connection's: no AppState here.
  if (!ctx_.store.LoadSession(list[index], &loaded, nullptr)) {
    ctx_.ui.MessageBox("Session not found", list[index], BoxButtons::kOk, BoxIcon::kWarning);
    if (haveSession()) session_->SelectSession(shownIndex_);
    return false;
  }
  rec_ = loaded;
  shown_ = PagesFromRecord(rec_, viaItems_);
  shownIndex_ = index;
  session_->SelectSession(index);
  session_->Load(shown_.session);
  session_->SetEditing(false);
  firewall_->Load(shown_.firewall);
  security_->Load(shown_.security);
  firewall_->SetAvailable(true);
  security_->SetAvailable(true);
  return true;
}

void SettingsSheet::ShowNoSession() {
  rec_ = HostRecord();
  shownIndex_ = -1;
  shown_ = SessionPages();
  session_->Load(shown_.session);
  session_->SetEditing(false);
  firewall_->Load(shown_.firewall);
  security_->Load(shown_.security);
  firewall_->SetAvailable(false);
  security_->SetAvailable(false);
}

// --- Checks and saving -----------------------------------------------------------------

CheckResult SettingsSheet::CheckPage(Page page) {
  if (!haveSession()) return std::nullopt;
  switch (page) {
    case Page::kSession:
      // Nothing changes on the page before "&Edit".
      if (!session_->editing()) return std::nullopt;
      return CheckSessionPage(session_->Values(), *mounts_);
    case Page::kFirewall: return CheckFirewallPage(firewall_->Values());
    case Page::kSecurity: return CheckSecurityPage(security_->Values());
    case Page::kApplication: return std::nullopt;
  }
  return std::nullopt;
}

void SettingsSheet::WritePage(Page page) {
  if (!haveSession()) return;
  switch (page) {
    case Page::kSession: {
      if (!session_->editing()) return;
      SessionPageValues v = session_->Values();
      v.sessionName = rec_.cSessionName;
      SessionPageToRecord(v, scrambler(), &rec_);
      shown_.session = v;
      break;
    }
    case Page::kFirewall: FirewallPageToRecord(firewall_->Values(), &rec_); break;
    case Page::kSecurity: SecurityPageToRecord(security_->Values(), &rec_); break;
    case Page::kApplication: break;
  }
}

CheckResult SettingsSheet::LeavePage(Page page) {
  if (auto failure = CheckPage(page)) return failure;
  WritePage(page);
  if (page == Page::kSession && haveSession() && session_->editing()) ctx_.store.SaveSession(rec_);
  return std::nullopt;
}

bool SettingsSheet::SaveShown() {
  if (!haveSession()) return true;
  // The page on show first, then the others in page order.
  std::vector<Page> order;
  if (IsSessionPage(page_)) order.push_back(page_);
  for (Page p : {Page::kSession, Page::kFirewall, Page::kSecurity})
    if (p != page_) order.push_back(p);
  for (Page p : order) {
    if (auto failure = CheckPage(p)) {
      GoToPage(p);
      ShowFailure(p, *failure);
      return false;
    }
  }
  const FirewallPageValues fw = firewall_->Values();
  const SecurityPageValues sec = security_->Values();
  if (!session_->editing() && SameFirewall(fw, shown_.firewall) && SameSecurity(sec, shown_.security))
    return true;
  for (Page p : {Page::kSession, Page::kFirewall, Page::kSecurity}) WritePage(p);
  ctx_.store.SaveSession(rec_);
  shown_.firewall = fw;
  shown_.security = sec;
  return true;
}

void SettingsSheet::ShowFailure(Page page, const CheckFailure& failure) {
  ShowCheckFailure(ctx_.ui, failure);
  QWidget* field = nullptr;
  switch (page) {
    case Page::kSession: field = session_->FieldWidget(failure.focus); break;
    case Page::kFirewall: field = firewall_->FieldWidget(failure.focus); break;
    case Page::kSecurity: field = security_->FieldWidget(failure.focus); break;
    case Page::kApplication: break;
  }
  if (!field) return;
  field->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

void SettingsSheet::GoToPage(Page page) {
  reverting_ = true;
  tabs_->setCurrentIndex(static_cast<int>(page));
  reverting_ = false;
  page_ = page;
}

void SettingsSheet::OnPageChanged(int index) {
  if (reverting_) return;
  const Page from = page_;
  if (auto failure = LeavePage(from)) {
    // Back first, so that the box stands over the page it is about.
    GoToPage(from);
    ShowFailure(from, *failure);
    return;
  }
  page_ = static_cast<Page>(index);
}

void SettingsSheet::accept() {
  if (!SaveShown()) return;
  effects_ = AppPageToSettings(app_->Values(), &ctx_.app.settings);
  ctx_.store.SaveAppSettings(ctx_.app.settings);
  newSessions_.clear();
  ctx_.store.SaveSessionList(session_->Sessions());
  session_->SetEditing(false);
  QDialog::accept();
}

void SettingsSheet::reject() {
  std::vector<std::string> list = session_->Sessions();
  for (const std::string& name : newSessions_) {
    auto it = std::find(list.begin(), list.end(), name);
    if (it == list.end() || !ctx_.store.DeleteSession(name)) continue;
    list.erase(it);
  }
  newSessions_.clear();
  ctx_.store.SaveSessionList(list);
  QDialog::reject();
}

// --- The session list ---------------------------------------------------------------

void SettingsSheet::OnSessionChosen(int index) {
  if (index == shownIndex_) return;
  if (!SaveShown()) {
    session_->SelectSession(shownIndex_);
    return;
  }
  ShowSession(index);
}

void SettingsSheet::OnEdit() {
  if (!haveSession()) return;
  session_->SetEditing(true);
  session_->FieldWidget(SettingsField::kHostName)->setFocus();
}

void SettingsSheet::OnDelete() {
  if (!haveSession()) return;
  const std::string name = rec_.cSessionName;
  if (!ctx_.store.DeleteSession(name)) return;
  std::vector<std::string> list = session_->Sessions();
  list.erase(list.begin() + shownIndex_);
  newSessions_.erase(name);
  const int next = std::max(0, shownIndex_ - 1);
  shownIndex_ = -1;
  session_->SetSessions(list, next);
  if (list.empty() || !ShowSession(next)) ShowNoSession();
}

bool SettingsSheet::OnNew(const std::string& suggestion, const HostRecord* prefill) {
  if (!SaveShown()) return false;
  std::string name = suggestion;
  auto exists = [this](const std::string& n) { return NameExists(n); };
  if (!choosers_.SessionName(this, ctx_.ui, false, exists, &name)) return false;
  if (auto failure = CheckSessionName(name, exists)) {
    ShowCheckFailure(ctx_.ui, *failure);
    return false;
  }
  HostRecord made;
  ctx_.store.CreateSession(name, suggestion, zoomPaths_, &made);
  if (!NameExists(name)) return false;
  std::vector<std::string> list = session_->Sessions();
  list.push_back(made.cSessionName);
  newSessions_.insert(made.cSessionName);
  session_->SetSessions(list, static_cast<int>(list.size()) - 1);
  if (!ShowSession(static_cast<int>(list.size()) - 1)) return false;
  GoToPage(Page::kSession);
  OnEdit();
  if (prefill) {
    // The values come onto the pages, not into the store: OK (or leaving
    // the page) saves them through the checks like typed ones.
    SessionPages used = PagesFromRecord(*prefill, viaItems_);
    used.session.sessionName = made.cSessionName;
    used.session.savePasswords = false;
    session_->Load(used.session);
    security_->Load(used.security);
  }
  return true;
}

void SettingsSheet::OnRename() {
  if (!haveSession() || !SaveShown()) return;
  const std::string old = rec_.cSessionName;
  std::string name = old;
  auto exists = [this](const std::string& n) { return NameExists(n); };
  if (!choosers_.SessionName(this, ctx_.ui, true, exists, &name)) return;
  if (auto failure = CheckSessionName(name, exists)) {
    ShowCheckFailure(ctx_.ui, *failure);
    return;
  }
  if (!ctx_.store.RenameSession(old, name)) return;
  std::vector<std::string> list = session_->Sessions();
  list[shownIndex_] = name;
  // The renamed session keeps its place in the list.
  ctx_.store.SaveSessionList(list);
  if (newSessions_.erase(old)) newSessions_.insert(name);
  SetField(rec_.cSessionName, name);
  shown_.session.sessionName = name;
  const bool editing = session_->editing();
  session_->SetSessions(list, shownIndex_);
  session_->SetEditing(editing);
}

void SettingsSheet::OnLocalFolder() {
  SessionPageValues v = session_->Values();
  const std::string chosen = choosers_.Folder(this, v.localDir);
  if (chosen.empty()) return;
  v.localDir = chosen;
  v.sessionName = rec_.cSessionName;
  session_->Load(v);
}

void SettingsSheet::OnCertFile() {
  const std::string chosen = choosers_.CertFile(this, security_->Values().certFile);
  if (!chosen.empty()) security_->SetCertFile(chosen);
}

// --- Opening the sheet ---------------------------------------------------------------

void ApplySettingsEffects(ShellContext& ctx, const AppPageEffects& effects, QObject* guard) {
  // The listing's name rule and the keep-alive timer belong to the
  // connection's worker: they change there, between two of its ops.
  const std::string capFlag = ctx.app.settings.cCapFlag;
  const bool keepAliveOff = ctx.app.settings.bKeepAlive == 0;
  const int64_t restartMs = effects.keepAliveRestartMs;
  listing::ListingContext* listing = &ctx.listing;
  AppState* app = &ctx.app;
  ShellContext* c = &ctx;
  const bool refreshHost = effects.refreshHostView;
  PostToWorker(
      ctx.worker, guard,
      [listing, app, capFlag, keepAliveOff, restartMs](FtpConn& conn) {
        listing->nameCase = listing::NameCaseFromFlag(capFlag);
        if (app->bConnected && conn.keepAlive) {
          if (restartMs > 0)
            conn.keepAlive->Arm(restartMs);
          else if (keepAliveOff)
            conn.keepAlive->Stop();
        }
        return 0;
      },
      [c, refreshHost](int) {
        if (refreshHost && c->app.bConnected && c->refreshHostView) c->refreshHostView();
      });
  if (effects.refreshPcView && ctx.refreshPcView) ctx.refreshPcView();
}

bool ShowSettings(QWidget* parent, ShellContext& ctx, SettingsMode mode, const std::string& name,
                  const std::vector<std::string>& zoomPaths, const HostRecord* prefill) {
  QtSettingsChoosers choosers;
  SettingsSheet sheet(ctx, choosers, parent);
  if (!sheet.Start(mode, name, zoomPaths, prefill)) return false;
  if (sheet.exec() != QDialog::Accepted) return false;
  ApplySettingsEffects(ctx, sheet.effects(), parent);
  return true;
}

}  // namespace tarn::shell
