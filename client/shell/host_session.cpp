#include "client/shell/host_session.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include "client/engine/commands.h"
#include "client/engine/conn_worker.h"
#include "client/engine/logon.h"
#include "client/engine/transfer_batch.h"
#include "client/listing/listing_request.h"
#include "client/session/dialup_ops.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "client/shell/host_ops.h"
#include "client/shell/window_ui.h"
#include "client/shell/worker_bridge.h"

namespace tarn::shell {

using listing::kNoNode;
using listing::ListingContext;
using listing::ListingRequest;
using listing::NodeId;

// The Ui of one connect attempt: forwards to the window's Ui until the
// attempt was cancelled, then answers every question with its safe answer
// and shows nothing, so that a cancelled connect that is still winding
// down on the worker neither pops up boxes nor moves the window's state.
// Its connection state goes to the session with the attempt's number.
class HostSession::AttemptUi : public Ui {
 public:
  AttemptUi(Ui& inner, HostSession* session, int attempt)
      : inner_(inner), session_(session), attempt_(attempt) {}
  void MarkStale() { stale_ = true; }

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override {
    if (stale_)
      return buttons == BoxButtons::kOk     ? BoxResult::kOk
             : buttons == BoxButtons::kYesNo ? BoxResult::kNo
                                             : BoxResult::kCancel;
    return inner_.MessageBox(text, caption, buttons, icon);
  }
  void SetStatusText(int part, const std::string& text) override {
    if (!stale_) inner_.SetStatusText(part, text);
  }
  bool PromptLogon(LogonPrompt* prompt) override { return !stale_ && inner_.PromptLogon(prompt); }
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override {
    return !stale_ && inner_.PromptText(caption, label, masked, value);
  }
  bool PromptDialUpPassword(const std::string& entry, const std::string& userName,
                            std::string* password) override {
    return !stale_ && inner_.PromptDialUpPassword(entry, userName, password);
  }
  void SetConnState(ConnState state, const std::string&) override {
    if (stale_) return;
    QPointer<HostSession> session(session_);
    int attempt = attempt_;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [session, attempt, state] {
          if (session) session->OnAttemptState(attempt, state);
        },
        Qt::QueuedConnection);
  }
  void EnableCommand(UiCommand command, bool enabled) override {
    if (!stale_) inner_.EnableCommand(command, enabled);
  }
  void SetTransferMode(TransferMode mode) override {
    if (!stale_) inner_.SetTransferMode(mode);
  }
  void SetZoomPaths(const std::vector<std::string>& paths) override {
    if (!stale_) inner_.SetZoomPaths(paths);
  }
  void ShowLocalDirectory(const std::string& dir) override {
    if (!stale_) inner_.ShowLocalDirectory(dir);
  }
  void SetWaitCursor(bool on) override { inner_.SetWaitCursor(on && !stale_); }
  void PostDisconnect() override {
    if (!stale_) inner_.PostDisconnect();
  }

 private:
  Ui& inner_;
  HostSession* session_;  // read on the GUI thread only (through QPointer)
  int attempt_;
  std::atomic<bool> stale_{false};
};

HostSession::HostSession(ShellContext& ctx, WindowUi& ui, QObject* parent)
    : QObject(parent), ctx_(ctx), ui_(ui), tree_(this) {
  zoom_.Reset();
  disconnectTimer_.setSingleShot(true);
  connect(&disconnectTimer_, &QTimer::timeout, this, [this] {
    // The QUIT waits behind an op that does not end: the window goes on
    // without it; the QUIT still runs when that op ends.
    if (conn_ != WindowConn::kDisconnecting) return;
    ctx_.worker.Cancel();
    ReturnToDisconnected();
  });
}

HostSession::~HostSession() = default;

WindowFacts HostSession::facts() const {
  WindowFacts f;
  f.conn = conn_;
  f.listingRunning = opRunning_;
  f.hasParent = !facts_.parentDir.empty();
  return f;
}

void HostSession::SetConn(WindowConn conn) {
  conn_ = conn;
  emit stateChanged();
}

void HostSession::ShowSessions() {
  tree_.ShowSessions(ctx_.store.RebuildSessionList());
  selected_ = kNoNode;
}

// --- Connect -----------------------------------------------------------------

bool HostSession::Connect(const std::string& sessionName) {
  if (conn_ != WindowConn::kDisconnected) return false;
  HostRecord rec;
  if (!ctx_.store.LoadSession(sessionName, &rec, &ctx_.app)) {
    ui_.MessageBox("The session '" + sessionName + "' is not stored any more.", ctx_.app.cTitle,
                   BoxButtons::kOk, BoxIcon::kWarning);
    ShowSessions();
    return false;
  }
  host_ = rec;
  host_.iQuickConnect = 0;
  ApplyInitialDirectory(&host_, zoomText_ ? zoomText_() : std::string());
  return StartConnect();
}

bool HostSession::QuickConnect(const QuickConnectInput& in) {
  if (conn_ != WindowConn::kDisconnected || !CheckQuickConnect(in).empty()) return false;
  HostRecord rec;
  InitNewSession(&rec, in.address, in.address);
  rec.iQuickConnect = 1;
  if (!in.port.empty()) SetField(rec.cFTPPort, in.port);
  if (in.tls) rec.uSecurity = kSslUse | (3u << kSslStrengthShift);
  if (in.userName.empty() || in.userName == "anonymous" || in.userName == "ftp") {
    SetField(rec.cUserFlag, "A");
  } else {
    SetField(rec.cUserFlag, "S");
    SetField(rec.cUserName, in.userName);
    if (in.password.empty() || ctx_.scrambler == nullptr) {
      SetField(rec.cPasswordFlag, "P");
    } else {
      SetField(rec.cPasswordFlag, "S");
      SetField(rec.cPassword, in.password);
      ctx_.scrambler->Scramble(rec.cPassword, sizeof rec.cPassword);
    }
  }
  host_ = rec;
  ApplyInitialDirectory(&host_, zoomText_ ? zoomText_() : std::string());
  return StartConnect();
}

bool HostSession::StartConnect() {
  const int attempt = ++attempt_;
  ++epoch_;
  attemptUi_ = std::make_shared<AttemptUi>(ui_, this, attempt);
  everConnected_ = false;
  zoomFilled_ = false;
  opRunning_ = true;
  ++opSerial_;
  SetConn(WindowConn::kConnecting);

  auto host = std::make_shared<HostRecord>(host_);
  auto snap = std::make_shared<ListingSnapshot>();
  snap->result = -1;
  std::shared_ptr<AttemptUi> aui = attemptUi_;
  ShellContext* ctx = &ctx_;
  const bool quick = host_.iQuickConnect != 0;
  PostToWorker(
      ctx_.worker, this,
      [ctx, host, snap, aui, quick](FtpConn& c) {
        Ui* windowUi = c.ui;
        c.ui = aui.get();
        c.tls = (host->uSecurity & kSslUse) ? ctx->tls : nullptr;
        ListingContext& L = ctx->listing;
        ConnectContext cc;
        cc.conn = &c;
        cc.store = quick ? nullptr : &ctx->store;
        cc.dialUp = ctx->dialUp;
        cc.hooks.resetListing = [&] { StartConnectionTree(c, L, host->cSessionName); };
        cc.hooks.processDirectory = [&](const std::string& dir) {
          listing::PathStateFromConn(c, &L.path);
          return listing::ProcessCurrentDirectory(c, &L, dir);
        };
        cc.hooks.startListing = [&](const std::string& dir) {
          listing::PathStateFromConn(c, &L.path);
          int r = listing::RunListing(c, &L, listing::FirstListingRequest(L.path, dir), NowParts());
          TakeSnapshot(c, L, r, r == 0, snap.get());
        };
        bool ok = RunConnect(cc, host.get());
        if (ok && snap->result < 0) TakeSnapshot(c, L, 1, false, snap.get());
        c.ui = windowUi;
        return ok ? kReplyComplete : kReplyPermanent;
      },
      [this, attempt, snap](int rc) { OnConnectDone(attempt, rc, snap); });
  return true;
}

void HostSession::OnAttemptState(int attempt, ConnState state) {
  if (attempt != attempt_ || conn_ != WindowConn::kConnecting) return;
  if (state == ConnState::kConnected) {
    // Logged on; the first listing still runs inside the connect op.
    everConnected_ = true;
    SetConn(WindowConn::kConnected);
  }
}

void HostSession::OnConnectDone(int attempt, int rc, std::shared_ptr<ListingSnapshot> snap) {
  if (attempt != attempt_) return;
  attemptUi_.reset();
  opRunning_ = false;
  if (rc != kReplyComplete) {
    ReturnToDisconnected();
    return;
  }
  everConnected_ = true;
  conn_ = WindowConn::kConnected;
  if (snap->result >= 0) ShowSnapshot(*snap);
  emit stateChanged();
}

void HostSession::OnZoomPaths(const std::vector<std::string>& paths) {
  if (conn_ != WindowConn::kConnecting && conn_ != WindowConn::kConnected) return;
  zoom_.FillOnLogon(paths, host_.cHostDir);
  zoomFilled_ = true;
  emit zoomPathsChanged();
}

// --- Disconnect, Cancel -----------------------------------------------------

void HostSession::Cancel() {
  if (conn_ == WindowConn::kConnecting) {
    // The connect ends at once: its op is cancelled (a wait for a silent
    // server wakes), whatever it still does is hidden, and the sockets it
    // may have opened are closed behind it.
    if (attemptUi_) attemptUi_->MarkStale();
    ++attempt_;
    ++epoch_;
    attemptUi_.reset();
    ctx_.worker.CancelAll();
    ShellContext* ctx = &ctx_;
    ctx_.worker.Post([ctx](FtpConn& c) { return QuitAndClose(c, ctx->listing, false); }, {});
    ui_.SetStatusText(kStatusOperation, "");
    ReturnToDisconnected();
    return;
  }
  if (conn_ != WindowConn::kConnected || !opRunning_) return;
  ctx_.worker.Cancel();
  // The cancel wakes the worker's waits at once. An op that has still not
  // ended when the stop command's bound is over has its data and listening
  // sockets shut under it; nothing waits here meanwhile.
  const int serial = opSerial_;
  QTimer::singleShot(kCancelWorkerWaitMs, this, [this, serial] {
    if (conn_ == WindowConn::kConnected && opRunning_ && opSerial_ == serial)
      CancelWorker(ctx_.conn, ctx_.worker, 0);
  });
}

void HostSession::Disconnect() {
  if (conn_ == WindowConn::kConnecting) {
    Cancel();
    return;
  }
  if (conn_ != WindowConn::kConnected) return;
  if (opRunning_) ctx_.worker.Cancel();
  const int epoch = ++epoch_;
  opRunning_ = false;
  SetConn(WindowConn::kDisconnecting);
  ShellContext* ctx = &ctx_;
  PostToWorker(
      ctx_.worker, this, [ctx](FtpConn& c) { return QuitAndClose(c, ctx->listing, true); },
      [this, epoch](int) {
        if (epoch == epoch_ && conn_ == WindowConn::kDisconnecting) ReturnToDisconnected();
      });
  disconnectTimer_.start(5000);
}

void HostSession::ReturnToDisconnected() {
  disconnectTimer_.stop();
  const bool wasQuick = host_.iQuickConnect != 0;
  const bool wasConnected = everConnected_;
  conn_ = WindowConn::kDisconnected;
  opRunning_ = false;
  everConnected_ = false;
  ui_.SetStatusText(kStatusConnection, kNotConnectedText);
  // The box was filled for this session at log-on: what it holds now is
  // the session's list. (A connect that never logged on leaves the stored
  // list alone.)
  if (!wasQuick && zoomFilled_ && host_.cSessionName[0])
    ctx_.store.SaveZoomPaths(host_.cSessionName, zoom_.SavedPaths());
  zoomFilled_ = false;
  zoom_.Reset();
  facts_ = HostViewFacts();
  ShowSessions();
  emit rowsCleared();
  emit zoomPathsChanged();
  emit stateChanged();
  if (ctx_.dialUp && ctx_.dialUp->Available()) ctx_.dialUp->OfferHangUp();
  if (wasQuick && wasConnected) {
    std::string text = std::string("Would you like to save the settings that you used to\rconnect to FTP Host '") +
                       host_.cHostName + "'?";
    if (ui_.MessageBox(text, kQuickConnectCaption, BoxButtons::kYesNo, BoxIcon::kApplication) ==
        BoxResult::kYes) {
      quickUsed_ = host_;
      emit saveQuickConnectRequested(QString::fromStdString(host_.cHostName));
    }
  }
  host_.iQuickConnect = 0;
}

std::string HostSession::SaveQuickConnection() {
  const HostRecord& used = quickUsed_;
  std::string name = UniqueSessionName(used.cHostName, [this](const std::string& n) {
    return ctx_.store.SessionExists(n);
  });
  HostRecord saved;
  ctx_.store.CreateSession(name, used.cHostName, {}, &saved);
  if (!ctx_.store.SessionExists(name)) return {};
  SetField(saved.cFTPPort, used.cFTPPort);
  SetField(saved.cUserFlag, used.cUserFlag);
  SetField(saved.cUserName, used.cUserName);
  SetField(saved.cHostDir, used.cHostDir);
  if (used.cUserFlag[0] != 'A') SetField(saved.cPasswordFlag, "P");
  saved.cPassword[0] = '\0';
  saved.uSecurity = used.uSecurity;
  saved.iQuickConnect = 0;
  ctx_.store.SaveSession(saved);
  if (conn_ == WindowConn::kDisconnected) ShowSessions();
  return name;
}

// --- Listings ------------------------------------------------------------------

bool HostSession::StartListing(RequestBuilder build, std::function<void(int)> after) {
  if (conn_ != WindowConn::kConnected || opRunning_) return false;
  opRunning_ = true;
  ++opSerial_;
  emit stateChanged();
  const int epoch = epoch_;
  auto snap = std::make_shared<ListingSnapshot>();
  snap->result = -1;
  auto opResult = std::make_shared<int>(kReplyNone);
  ShellContext* ctx = &ctx_;
  PostToWorker(
      ctx_.worker, this,
      [ctx, build, snap, opResult](FtpConn& c) {
        ListingContext& L = ctx->listing;
        std::optional<ListingRequest> req = build(c, L, opResult.get());
        if (!req) {
          TakeSnapshot(c, L, 1, false, snap.get());
          return *opResult;
        }
        int r = listing::RunListing(c, &L, *req, NowParts());
        TakeSnapshot(c, L, r, r == 0, snap.get());
        return *opResult;
      },
      [this, epoch, snap, after](int rc) {
        if (epoch != epoch_) return;
        opRunning_ = false;
        if (snap->result >= 0) ShowSnapshot(*snap);
        emit stateChanged();
        if (after) after(rc);
      });
  return true;
}

void HostSession::ShowSnapshot(ListingSnapshot& snap) {
  selected_ = snap.selected;
  facts_ = snap.facts;
  tree_.ShowTree(std::move(snap.tree));
  if (snap.hasRows && rows_) rows_(snap);
  if (snap.hasRows && !facts_.currentDir.empty()) {
    zoom_.AddVisited(facts_.currentDir);
    emit zoomPathsChanged();
  }
  emit selectNodeRequested(tree_.IndexOfNode(selected_));
}

bool HostSession::SelectNode(NodeId node) {
  if (node == selected_ && conn_ == WindowConn::kConnected && !opRunning_) return true;
  return StartListing([node](FtpConn& c, ListingContext& L, int*) -> std::optional<ListingRequest> {
    if (!L.tree.IsLive(node)) return std::nullopt;
    return listing::RequestForSelection(L.tree, node, &L.path, L.nameCase, c.ui);
  });
}

void HostSession::UpOneLevel() {
  StartListing([](FtpConn& c, ListingContext& L, int*) -> std::optional<ListingRequest> {
    listing::UpOneLevelStep step = listing::UpOneLevel(L.tree, L.selected, L.path, L.nameCase, c.ui);
    if (step.select != kNoNode)
      return listing::RequestForSelection(L.tree, step.select, &L.path, L.nameCase, c.ui);
    return step.request;
  });
}

void HostSession::RefreshHost() {
  StartListing([](FtpConn& c, ListingContext& L, int*) {
    return listing::RequestForRefresh(&L.tree, L.selected, L.path, L.nameCase, c.ui);
  });
}

void HostSession::GoToPath(const std::string& typed) {
  if (conn_ != WindowConn::kConnected) return;
  std::string path = typed;
  while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) path.pop_back();
  while (!path.empty() && (path.front() == ' ' || path.front() == '\t')) path.erase(0, 1);
  if (path.empty()) {
    ui_.MessageBox(kZoomPathNotSpecifiedText, kZoomPathNotSpecifiedCaption, BoxButtons::kOk,
                   BoxIcon::kWarning);
    return;
  }
  if (opRunning_) return;
  zoom_.GoTo(path);
  emit zoomPathsChanged();
  StartListing([path](FtpConn& c, ListingContext& L, int*) { return RequestForTypedPath(c, L, path); });
}

void HostSession::OpenHostPath(const std::string& path) {
  if (conn_ != WindowConn::kConnected || opRunning_) return;
  NodeId node = ChildWithPath(tree_.tree(), selected_, path);
  if (node != kNoNode) {
    emit selectNodeRequested(tree_.IndexOfNode(node));
    SelectNode(node);
    return;
  }
  StartListing([path](FtpConn& c, ListingContext& L, int*) { return RequestForTypedPath(c, L, path); });
}

void HostSession::DeleteTopZoomPath() {
  if (!zoom_.CanDeleteTop()) return;
  const std::string path = zoom_.items().front().path;
  if (ui_.MessageBox(ZoomPathList::ConfirmDeleteText(path), kConfirmZoomDeleteCaption,
                     BoxButtons::kOkCancel, BoxIcon::kQuestion) != BoxResult::kOk)
    return;
  zoom_.DeleteTop();
  if (!host_.iQuickConnect && host_.cSessionName[0])
    ctx_.store.SaveZoomPaths(host_.cSessionName, zoom_.SavedPaths());
  if (conn_ == WindowConn::kConnected && !facts_.currentDir.empty()) zoom_.AddVisited(facts_.currentDir);
  emit zoomPathsChanged();
}

void HostSession::SetTransferMode(TransferMode mode) {
  mode_ = mode;
  emit stateChanged();
}

// --- Remote commands --------------------------------------------------------------

void HostSession::SendCustomCommand() {
  if (conn_ != WindowConn::kConnected || opRunning_) return;
  std::string command;
  if (!ui_.dialogs().CustomCommand(&command)) return;
  auto capture = std::make_shared<std::string>();
  StartListing(
      [command, capture](FtpConn& c, ListingContext&, int* rc) -> std::optional<ListingRequest> {
        c.ui->SetStatusText(kStatusOperation, "Sending command to host ..");
        *rc = FtpQuote(c, c.sockControl, command, capture.get());
        c.ui->SetStatusText(kStatusOperation, "");
        return std::nullopt;
      },
      [this, capture](int) { ui_.dialogs().CommandResults(*capture); });
}

void HostSession::CreateFolder(NodeId node) {
  if (conn_ != WindowConn::kConnected || opRunning_ || !tree_.tree().IsLive(node)) return;
  std::string name = "New Folder";
  if (!ui_.dialogs().NewFolderName(&name)) return;
  StartListing([node, name](FtpConn& c, ListingContext& L, int* rc) -> std::optional<ListingRequest> {
    if (!L.tree.IsLive(node)) return std::nullopt;
    std::string path = NewFolderPath(L.path, L.tree.Record(node).path, name);
    *rc = FtpMkd(c, c.sockControl, path);
    if (*rc != kReplyComplete) return std::nullopt;
    return listing::RequestForRefresh(&L.tree, node, L.path, L.nameCase, c.ui);
  });
}

void HostSession::DeleteFolder(NodeId node) {
  if (conn_ != WindowConn::kConnected || opRunning_ || !tree_.tree().IsLive(node)) return;
  const listing::HostTree& t = tree_.tree();
  if (t.Parent(node) == kNoNode) return;  // the session's own node
  std::string path = t.Record(node).path;
  if (ui_.MessageBox("Are you sure you want to permanently delete the host folder\r'" + path + "'?",
                     "Confirm Folder Delete", BoxButtons::kYesNo, BoxIcon::kQuestion) != BoxResult::kYes)
    return;
  StartListing([node](FtpConn& c, ListingContext& L, int* rc) -> std::optional<ListingRequest> {
    if (!L.tree.IsLive(node)) return std::nullopt;
    const std::string path = L.tree.Record(node).path;
    const NodeId parent = L.tree.Parent(node);
    const bool wasSelected = L.selected == node;
    // A directory cannot be removed while it is the working directory.
    if (wasSelected && parent != kNoNode && L.tree.Parent(parent) != kNoNode)
      listing::ProcessCurrentDirectory(c, &L, L.tree.Record(parent).path);
    *rc = FtpRmd(c, c.sockControl, RemoveFolderPath(c.HostFamily, path));
    if (*rc != kReplyComplete) return std::nullopt;
    L.tree.Delete(node);
    if (!wasSelected) return std::nullopt;
    L.selected = parent;
    if (parent != kNoNode && L.tree.Parent(parent) != kNoNode)
      return listing::RequestForSelection(L.tree, parent, &L.path, L.nameCase, c.ui);
    return std::nullopt;
  });
}

void HostSession::ClearBranch(NodeId node) {
  if (conn_ != WindowConn::kConnected || opRunning_ || !tree_.tree().IsLive(node)) return;
  if (tree_.tree().Parent(node) != selected_) return;
  StartListing([node](FtpConn&, ListingContext& L, int*) -> std::optional<ListingRequest> {
    if (L.tree.IsLive(node) && L.tree.Parent(node) == L.selected) L.tree.Delete(node);
    return std::nullopt;
  });
}

bool HostSession::RunHostCommand(ConnWorker::Op op, bool refresh, std::function<void(int)> done) {
  return StartListing(
      [op, refresh](FtpConn& c, ListingContext& L, int* rc) -> std::optional<ListingRequest> {
        *rc = op(c);
        if (!refresh) return std::nullopt;
        return listing::RequestForRefresh(&L.tree, L.selected, L.path, L.nameCase, c.ui);
      },
      std::move(done));
}

void HostSession::DeleteSession(const std::string& name) {
  if (conn_ != WindowConn::kDisconnected) return;
  if (ctx_.store.DeleteSession(name)) ShowSessions();
}

// --- Shutdown ---------------------------------------------------------------------

void HostSession::Shutdown(int waitMs, std::function<void()> done) {
  auto once = std::make_shared<std::function<void()>>(std::move(done));
  auto finish = [once] {
    if (*once) {
      auto f = std::move(*once);
      *once = nullptr;
      f();
    }
  };
  const bool connected = conn_ == WindowConn::kConnected || conn_ == WindowConn::kDisconnecting;
  if (conn_ == WindowConn::kConnecting) {
    Cancel();
  } else if (connected) {
    if (opRunning_) ctx_.worker.Cancel();
    ++epoch_;
    ReturnToDisconnected();
  }
  ShellContext* ctx = &ctx_;
  PostToWorker(
      ctx_.worker, nullptr,
      [ctx, connected](FtpConn& c) { return QuitAndClose(c, ctx->listing, connected); },
      [finish](int) { finish(); });
  QTimer::singleShot(waitMs, this, [this, once, finish] {
    if (!*once) return;
    ctx_.worker.CancelAll();
    finish();
  });
}

}  // namespace tarn::shell
