// TransferCommands: the window's commands that start transfers, over
// plain descriptions of what is selected: Download and Upload, "&Append to
// Hostfile", "FTP &Copy" and "FTP &Paste" (the program's own clipboard, one
// per process), "&Add to Queue" (the clipboard's rows into the queue
// panel instead of a transfer), drag and drop between the panes (and files
// dropped from the desktop's file manager onto the host side), and the
// resume question after the first listing of a session with an interrupted
// download.
//
// The panes tell it what is selected and what lies under the pointer
// through PaneHooks; it builds a TransferBatch, runs the transfer window
// modally and refreshes the side that received files when it is the one
// on display. Rows the transfer window hands to the queue are queued under
// the session and nothing is refreshed. GUI thread only.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/engine/transfer_batch.h"
#include "client/listing/file_time.h"
#include "client/shell/dialogs.h"
#include "client/shell/shell_context.h"

class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QWidget;

namespace tarn::shell {

class HostSession;

inline constexpr const char* kFtpCopyText = "FTP &Copy";
inline constexpr const char* kFtpPasteText = "FTP &Paste";
inline constexpr const char* kAppendText = "&Append to Hostfile";
inline constexpr const char* kAddToQueueText = "&Add to Queue";
// The drag of host entries inside the program.
inline constexpr const char* kHostDragMime = "application/x-tarn-host-entries";

// A host entry as the transfer commands take it.
struct HostItem {
  std::string path;          // full remote path
  std::string name;          // the local file name (the listed name)
  int64_t bytes = 0;
  listing::FileTime modified = 0;
  bool isFolder = false;     // a directory, a PDS, a container
  bool isParent = false;     // the parent-directory entry
  int32_t mvsKind = 0;
  uint32_t recordLength = 0;
};

// A host directory that receives uploads.
struct HostPlace {
  std::string directory;
  int32_t kind = 0;          // MVS kind of the directory (a PDS takes members)
  bool onDisplay = false;    // the host list shows it: refreshed afterwards
};

// A PC folder that receives downloads.
struct PcPlace {
  QString folder;
  bool onDisplay = false;
};

// What lies under the pointer of a drag: the place it names and the row
// to highlight (invalid: none, e.g. empty list space).
template <class Place>
struct DropTarget {
  Place place;
  QRect highlight;
};

// The window's answers about its panes. Every hook may be empty (the
// command then does nothing).
struct PaneHooks {
  std::function<std::vector<HostItem>()> hostSelection;    // host list, in view order
  std::function<QStringList()> pcSelection;                // PC list, full paths
  std::function<std::optional<HostPlace>()> hostTreeFolder;  // the host tree's selected directory
  std::function<std::optional<PcPlace>()> pcTreeFolder;      // the PC tree's selected folder
  // The host file the PC file is appended to (the host list's selected file).
  std::function<std::optional<HostItem>()> hostSelectedFile;
  // Drop targets at a viewport position of a view of that side; nullopt
  // where nothing may be dropped. `several` tells a drag of more than one
  // entry (a file entry then takes none).
  std::function<std::optional<DropTarget<HostPlace>>(QAbstractItemView*, QPoint, bool several)> hostDropAt;
  std::function<std::optional<DropTarget<PcPlace>>(QAbstractItemView*, QPoint, bool several)> pcDropAt;
};

// The program's clipboard.
struct FtpClipboard {
  enum class Kind { kNone, kHost, kPc, kAppend };
  Kind kind = Kind::kNone;
  std::vector<HostItem> host;
  QStringList pc;
};

// --- Enabling rules ---------------------------------------------------------------

// "FTP &Copy" on a host selection: something selected, the parent entry not
// among it. (Folders are copied with everything below them.)
bool CanCopyHost(const std::vector<HostItem>& selection);
// "FTP &Paste" onto the side `toHost`: a copy of the other side's entries,
// not one made by "&Append to Hostfile", and at most one entry selected
// where it goes.
bool CanPaste(const FtpClipboard& clip, bool toHost, int selectedThere);

class TransferCommands : public QObject {
  Q_OBJECT
 public:
  // Everything must outlive the commands; `owner` parents the windows.
  TransferCommands(ShellContext& ctx, Dialogs& dialogs, HostSession& session, QWidget* owner);
  ~TransferCommands() override;

  void SetHooks(PaneHooks hooks) { hooks_ = std::move(hooks); }
  const FtpClipboard& clipboard() const { return clip_; }

  // --- Commands -----------------------------------------------------------------
  // The host list's selection into the PC tree's folder.
  void Download();
  // The PC list's selection into the host tree's directory.
  void Upload();
  // The PC list's file appended to the host list's file.
  void Append();
  void CopyHost();
  void CopyPc();
  // The clipboard into that place (a tree item or a folder entry).
  void PasteToPc(const PcPlace& place);
  void PasteToHost(const HostPlace& place);
  // "&Add to Queue": the rows a paste into that place would transfer go
  // to the queue panel instead (saved there at once). False when nothing
  // was queued.
  bool QueueToPc(const PcPlace& place);
  bool QueueToHost(const HostPlace& place);
  // The main window has a queue panel: the transfer window offers its
  // "Add to Queue" button.
  bool HasQueue() const;
  // And it takes this connection's rows: not those of a host under L8
  // emulation, whose transfers are not queued (the entries and the button
  // are there, disabled).
  bool CanQueue() const;

  // The transfers themselves; each opens the window and returns its result
  // (0 when nothing was to be done).
  int DownloadItems(const std::vector<HostItem>& items, const PcPlace& place);
  int UploadPaths(const QStringList& paths, const HostPlace& place);
  int AppendFile(const QString& localPath, const HostItem& target);

  // Drag and drop: the host and PC trees and lists of the window. Drags
  // start in the lists; the other side's tree and list take them.
  void AttachViews(QAbstractItemView* hostTree, QAbstractItemView* hostList,
                   QAbstractItemView* pcTree, QAbstractItemView* pcList);

  // The window that runs now (tests); null when none.
  QDialog* activeWindow() const { return window_; }

 signals:
  // A transfer window closed; `ran` tells whether it transferred anything.
  void transferDone(bool ran);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct DragState;

  int RunWindow(std::unique_ptr<TransferBatch> batch, bool refreshHost, bool refreshPc);
  std::unique_ptr<TransferBatch> DownloadBatch(const std::vector<HostItem>& items, const PcPlace& place) const;
  std::unique_ptr<TransferBatch> UploadBatch(const QStringList& paths, const HostPlace& place) const;
  bool Queue(const TransferBatch& batch);
  BatchHost HostFor(const std::string& destination, int32_t kind) const;
  // The stored session in use; "" for a quick connection, which neither
  // keeps a resume state nor can be run from a schedule file.
  std::string StoredSessionName() const;
  void OnSessionState();
  void OfferResume();

  // Drag and drop.
  bool IsView(QObject* viewport, QAbstractItemView** view, bool* hostSide, bool* list) const;
  void StartDrag(QAbstractItemView* list, bool hostSide);
  bool OnDragMove(QAbstractItemView* view, bool hostSide, QDragMoveEvent* event);
  void OnDrop(QAbstractItemView* view, bool hostSide, QDropEvent* event);
  void EndDrag();
  void AutoScroll();
  static QStringList LocalFiles(const QMimeData* mime);

  ShellContext& ctx_;
  Dialogs& dialogs_;
  HostSession& session_;
  QWidget* owner_;
  PaneHooks hooks_;
  FtpClipboard clip_;
  QPointer<QDialog> window_;
  bool resumeAsked_ = false;   // this connection asked about its resume
  bool transferring_ = false;  // a transfer window is open

  QAbstractItemView* hostTree_ = nullptr;
  QAbstractItemView* hostList_ = nullptr;
  QAbstractItemView* pcTree_ = nullptr;
  QAbstractItemView* pcList_ = nullptr;
  std::unique_ptr<DragState> drag_;
};

}  // namespace tarn::shell
