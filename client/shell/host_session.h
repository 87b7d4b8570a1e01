// HostSession: the connection as the window sees it. It starts every
// engine operation of the host panes on the connection's worker (connect,
// listings, remote commands, QUIT), keeps the window's side of the state
// (disconnected, connecting, connected, disconnecting; a listing running)
// and hands finished listings to the views. GUI thread only; it never
// waits for the worker.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/engine/conn_worker.h"
#include "client/listing/listing_request.h"
#include "client/listing/listing_thread.h"
#include "client/session/host_record.h"
#include "client/shell/command_states.h"
#include "client/shell/dialogs.h"
#include "client/shell/host_tree_model.h"
#include "client/shell/shell_context.h"
#include "client/shell/zoom_paths.h"

namespace tarn::shell {

class WindowUi;

inline constexpr const char* kNotConnectedText = "Not connected to FTP host";
inline constexpr const char* kQuickConnectCaption = "Quick Connect";

class HostSession : public QObject {
  Q_OBJECT
 public:
  // Everything must outlive the session.
  HostSession(ShellContext& ctx, WindowUi& ui, QObject* parent = nullptr);
  ~HostSession() override;

  HostTreeModel& treeModel() { return tree_; }
  const ZoomPathList& zoomPaths() const { return zoom_; }
  WindowFacts facts() const;
  WindowConn conn() const { return conn_; }
  bool listingRunning() const { return opRunning_; }
  std::string sessionName() const { return host_.cSessionName; }
  bool quickConnection() const { return host_.iQuickConnect != 0; }
  TransferMode transferMode() const { return mode_; }
  // The tree node of the directory on show; kNoNode when none.
  listing::NodeId selectedNode() const { return selected_; }
  // The host directory on show and its facts (after the last listing).
  const HostViewFacts& viewFacts() const { return facts_; }

  // Where finished listings go (the host list): rows and facts. The tree
  // model is filled here.
  void SetRowsReceiver(std::function<void(ListingSnapshot&)> receiver) { rows_ = std::move(receiver); }
  // The text of the zoom-path box at connect time (the window sets it).
  void SetZoomTextProvider(std::function<std::string()> provider) { zoomText_ = std::move(provider); }

  // --- Commands ------------------------------------------------------------
  // Fills the tree with the stored sessions (disconnected state).
  void ShowSessions();
  // Connects a stored session; false when it cannot start (not
  // disconnected, or the session does not exist).
  bool Connect(const std::string& sessionName);
  // Connects without a stored session.
  bool QuickConnect(const QuickConnectInput& input);
  void Disconnect();
  // Stops a connect (back to disconnected at once) or the running listing.
  void Cancel();
  // A tree node chosen by the person: lists it. False when refused (busy
  // or not connected); the view then selects the node on show again.
  bool SelectNode(listing::NodeId node);
  void UpOneLevel();
  void RefreshHost();
  // The zoom-path box's Enter or choice. Not connected: nothing (the PC
  // side takes the text). An empty text shows "Path Not Specified".
  void GoToPath(const std::string& typed);
  // The zoom-path box's Delete: asks, removes the top saved path, saves.
  void DeleteTopZoomPath();
  void SendCustomCommand();
  void CreateFolder(listing::NodeId node);
  void DeleteFolder(listing::NodeId node);
  void ClearBranch(listing::NodeId node);
  // Deletes a stored session (asks first); the tree is filled again.
  void DeleteSession(const std::string& name);
  // A directory row opened in the host list: its tree node is selected, or
  // the path is listed.
  void OpenHostPath(const std::string& path);
  void SetTransferMode(TransferMode mode);
  // Runs a remote command of the host list (rename, delete) on the worker;
  // `refresh` lists the directory again afterwards. False when busy.
  bool RunHostCommand(ConnWorker::Op op, bool refresh, std::function<void(int)> done = {});

  // Ends the connection for the program's end: a running listing is
  // cancelled and waited for up to `waitMs`, then QUIT. `done` runs on
  // the GUI thread when the worker is through, or when the wait is over.
  void Shutdown(int waitMs, std::function<void()> done);

  // The record the last quick connection used (host, port, log-on, TLS,
  // initial host directory; the password in its scrambled form).
  const HostRecord& quickConnectValues() const { return quickUsed_; }
  // Stores the last quick connection as a session of its own without
  // asking (a unique name after its host name), less the password, which
  // is then asked for at connect time. Returns the session name.
  std::string SaveQuickConnection();

  // --- From WindowUi (GUI thread) -------------------------------------------
  void OnZoomPaths(const std::vector<std::string>& paths);
  void OnTransferMode(TransferMode mode) { SetTransferMode(mode); }
  void OnPostDisconnect() { Disconnect(); }

 signals:
  // Connection state, running op, or directory on show changed.
  void stateChanged();
  // The zoom-path box's items changed.
  void zoomPathsChanged();
  // The view should select this node (by program: no listing follows).
  void selectNodeRequested(QModelIndex index);
  // The host list should show nothing.
  void rowsCleared();
  // A quick connection ended and the person chose to save its settings:
  // the window opens the new-session settings proposing `hostName`, with
  // quickConnectValues() filled in.
  void saveQuickConnectRequested(QString hostName);

 private:
  class AttemptUi;

  bool StartConnect();
  void OnAttemptState(int attempt, ConnState state);
  void OnConnectDone(int attempt, int rc, std::shared_ptr<ListingSnapshot> snap);
  // Runs a listing op built on the worker by `build`; `op` returns the
  // request or nullopt (nothing to list: only the tree is shown again).
  // `build` may run a command first and leave its reply class in *rc,
  // which `after` receives on the GUI thread.
  using RequestBuilder = std::function<std::optional<listing::ListingRequest>(
      FtpConn&, listing::ListingContext&, int* rc)>;
  bool StartListing(RequestBuilder build, std::function<void(int)> after = {});
  void ShowSnapshot(ListingSnapshot& snap);
  void ReturnToDisconnected();
  void SetConn(WindowConn conn);

  ShellContext& ctx_;
  WindowUi& ui_;
  HostTreeModel tree_;
  ZoomPathList zoom_;
  HostRecord host_;
  HostRecord quickUsed_;           // the last quick connection's values
  WindowConn conn_ = WindowConn::kDisconnected;
  bool opRunning_ = false;       // an op of the panes is queued or running
  int opSerial_ = 0;             // counts the ops started, for the cancel's bound
  bool everConnected_ = false;   // this connection reached the logged-on state
  bool zoomFilled_ = false;      // the zoom-path box holds this session's paths
  int attempt_ = 0;              // connect attempts; a cancelled one is stale
  int epoch_ = 0;                // connections; ops of an ended one are dropped
  std::shared_ptr<AttemptUi> attemptUi_;
  listing::NodeId selected_ = listing::kNoNode;
  HostViewFacts facts_;
  TransferMode mode_ = TransferMode::kAutoDetect;
  std::function<void(ListingSnapshot&)> rows_;
  std::function<std::string()> zoomText_;
  QTimer disconnectTimer_;       // gives up on a QUIT behind a hung listing
};

}  // namespace tarn::shell
