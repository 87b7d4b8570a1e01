#include "client/shell/transfer_commands.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <QMouseEvent>
#include <QUrl>

#include <map>

#include "client/session/session_store.h"
#include "client/shell/host_session.h"
#include "client/shell/queue_window.h"
#include "client/shell/transfer_dialog.h"
#include "client/shell/transfer_rows_model.h"
#include "client/shell/worker_bridge.h"

namespace tarn::shell {

namespace {

// A drag rests this long near an edge before the view scrolls, within this
// many pixels of it; lists then move by kListScrollPixels.
constexpr int kAutoScrollMs = 300;
constexpr int kAutoScrollZone = 30;
constexpr int kListScrollPixels = 18;

// The drop highlight over a row of a target view.
class DropHighlight : public QWidget {
 public:
  explicit DropHighlight(QWidget* viewport) : QWidget(viewport) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
  }
  void ShowAt(const QRect& r) {
    setGeometry(r);
    show();
    raise();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QColor c = palette().color(QPalette::Highlight);
    p.setPen(QPen(c, 1));
    c.setAlpha(70);
    p.setBrush(c);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

bool RowsRan(const std::vector<TransferRow>& rows) {
  for (const TransferRow& r : rows)
    if (r.state == RowState::kDone || r.state == RowState::kFailed) return true;
  return false;
}

}  // namespace

bool CanCopyHost(const std::vector<HostItem>& selection) {
  if (selection.empty()) return false;
  for (const HostItem& i : selection)
    if (i.isParent) return false;
  return true;
}

bool CanPaste(const FtpClipboard& clip, bool toHost, int selectedThere) {
  if (selectedThere > 1) return false;
  return toHost ? clip.kind == FtpClipboard::Kind::kPc : clip.kind == FtpClipboard::Kind::kHost;
}

struct TransferCommands::DragState {
  QPoint pressPos;
  QPointer<QAbstractItemView> pressView;
  bool pressed = false;
  bool dragging = false;
  std::vector<HostItem> hostItems;   // the host entries of a drag from the host list
  int count = 0;                     // entries dragged
  QPointer<QAbstractItemView> over;  // the view the pointer is over
  QPoint overPos;
  QTimer scroll;
  std::map<QWidget*, QPointer<DropHighlight>> highlights;
};

TransferCommands::TransferCommands(ShellContext& ctx, Dialogs& dialogs, HostSession& session,
                                   QWidget* owner)
    : QObject(owner), ctx_(ctx), dialogs_(dialogs), session_(session), owner_(owner),
      drag_(std::make_unique<DragState>()) {
  drag_->scroll.setSingleShot(true);
  connect(&drag_->scroll, &QTimer::timeout, this, &TransferCommands::AutoScroll);
  connect(&session_, &HostSession::stateChanged, this, &TransferCommands::OnSessionState);
}

TransferCommands::~TransferCommands() = default;

// --- Running a window ----------------------------------------------------------------

BatchHost TransferCommands::HostFor(const std::string& destination, int32_t kind) const {
  const HostViewFacts& f = session_.viewFacts();
  BatchHost h;
  h.hostFamily = f.hostFamily;
  h.serverType = f.serverType;
  h.rootString = f.rootString;
  h.destination = destination;
  h.destinationKind = kind;
  return h;
}

std::string TransferCommands::StoredSessionName() const {
  return session_.quickConnection() ? std::string() : session_.sessionName();
}

int TransferCommands::RunWindow(std::unique_ptr<TransferBatch> batch, bool refreshHost,
                                bool refreshPc) {
  // One window at a time: the connection carries one batch.
  if (transferring_ || batch->rows().empty()) return 0;
  transferring_ = true;
  TransferDialog window(ctx_, std::move(batch), StoredSessionName(), owner_);
  if (HasQueue()) window.OfferQueue(!session_.viewFacts().l8Emulated);
  window_ = &window;
  const int result = window.Run();
  window_ = nullptr;
  transferring_ = false;
  if (result == kDialogQueued) {
    // Nothing was transferred: neither side changed.
    Queue(window.batch());
    emit transferDone(false);
    return result;
  }
  const bool ran = RowsRan(window.rowsModel().rows());
  if (ran && refreshHost && ctx_.refreshHostView) ctx_.refreshHostView();
  if (ran && refreshPc && ctx_.refreshPcView) ctx_.refreshPcView();
  emit transferDone(ran);
  return result;
}

std::unique_ptr<TransferBatch> TransferCommands::DownloadBatch(const std::vector<HostItem>& items,
                                                               const PcPlace& place) const {
  if (place.folder.isEmpty()) return nullptr;
  auto batch = std::make_unique<TransferBatch>(TransferDirection::kDownload,
                                               HostFor(place.folder.toStdString(), 0),
                                               session_.transferMode(), ctx_.app.settings, ctx_.app.locale);
  for (const HostItem& i : items)
    if (!i.isParent)
      batch->AddDownload(i.path, i.name, i.bytes, i.modified, i.isFolder, i.mvsKind, i.recordLength);
  return batch;
}

std::unique_ptr<TransferBatch> TransferCommands::UploadBatch(const QStringList& paths,
                                                             const HostPlace& place) const {
  if (place.directory.empty() || paths.isEmpty()) return nullptr;
  auto batch = std::make_unique<TransferBatch>(TransferDirection::kUpload,
                                               HostFor(place.directory, place.kind),
                                               session_.transferMode(), ctx_.app.settings, ctx_.app.locale);
  for (const QString& p : paths) batch->AddUpload(p.toStdString());
  return batch;
}

int TransferCommands::DownloadItems(const std::vector<HostItem>& items, const PcPlace& place) {
  std::unique_ptr<TransferBatch> batch = DownloadBatch(items, place);
  return batch ? RunWindow(std::move(batch), false, place.onDisplay) : 0;
}

int TransferCommands::UploadPaths(const QStringList& paths, const HostPlace& place) {
  std::unique_ptr<TransferBatch> batch = UploadBatch(paths, place);
  return batch ? RunWindow(std::move(batch), place.onDisplay, false) : 0;
}

// --- The queue ------------------------------------------------------------------------------

bool TransferCommands::HasQueue() const { return QueueWindowOf(owner_) != nullptr; }

bool TransferCommands::CanQueue() const { return HasQueue() && !session_.viewFacts().l8Emulated; }

bool TransferCommands::Queue(const TransferBatch& batch) {
  QueueWindow* queue = QueueWindowOf(owner_);
  if (queue == nullptr || batch.rows().empty()) return false;
  return queue->AddBatch(StoredSessionName(), batch, ctx_.app.settings.bPassive != 0);
}

bool TransferCommands::QueueToPc(const PcPlace& place) {
  if (clip_.kind != FtpClipboard::Kind::kHost || !CanQueue()) return false;
  std::unique_ptr<TransferBatch> batch = DownloadBatch(clip_.host, place);
  return batch && Queue(*batch);
}

bool TransferCommands::QueueToHost(const HostPlace& place) {
  if (clip_.kind != FtpClipboard::Kind::kPc || !CanQueue()) return false;
  std::unique_ptr<TransferBatch> batch = UploadBatch(clip_.pc, place);
  return batch && Queue(*batch);
}

int TransferCommands::AppendFile(const QString& localPath, const HostItem& target) {
  if (localPath.isEmpty() || target.path.empty() || target.isFolder || target.isParent) return 0;
  auto batch = std::make_unique<TransferBatch>(TransferDirection::kAppend,
                                               HostFor(session_.viewFacts().currentDir, 0),
                                               session_.transferMode(), ctx_.app.settings, ctx_.app.locale);
  batch->AddAppend(localPath.toStdString(), target.path);
  return RunWindow(std::move(batch), true, false);
}

// --- Commands ---------------------------------------------------------------------------

void TransferCommands::CopyHost() {
  if (!hooks_.hostSelection) return;
  std::vector<HostItem> items = hooks_.hostSelection();
  if (!CanCopyHost(items)) return;
  clip_ = FtpClipboard{FtpClipboard::Kind::kHost, std::move(items), {}};
}

void TransferCommands::CopyPc() {
  if (!hooks_.pcSelection) return;
  QStringList paths = hooks_.pcSelection();
  if (paths.isEmpty()) return;
  clip_ = FtpClipboard{FtpClipboard::Kind::kPc, {}, std::move(paths)};
}

void TransferCommands::PasteToPc(const PcPlace& place) {
  if (clip_.kind == FtpClipboard::Kind::kHost) DownloadItems(clip_.host, place);
}

void TransferCommands::PasteToHost(const HostPlace& place) {
  if (clip_.kind == FtpClipboard::Kind::kPc) UploadPaths(clip_.pc, place);
}

void TransferCommands::Download() {
  if (!hooks_.pcTreeFolder) return;
  CopyHost();
  if (clip_.kind != FtpClipboard::Kind::kHost) return;
  if (std::optional<PcPlace> place = hooks_.pcTreeFolder()) PasteToPc(*place);
}

void TransferCommands::Upload() {
  if (!hooks_.hostTreeFolder) return;
  CopyPc();
  if (clip_.kind != FtpClipboard::Kind::kPc) return;
  if (std::optional<HostPlace> place = hooks_.hostTreeFolder()) PasteToHost(*place);
}

void TransferCommands::Append() {
  if (!hooks_.pcSelection || !hooks_.hostSelectedFile) return;
  const QStringList local = hooks_.pcSelection();
  const std::optional<HostItem> target = hooks_.hostSelectedFile();
  if (local.size() != 1 || !target) return;
  // A copy of its own kind: nothing may be pasted from it.
  clip_ = FtpClipboard{FtpClipboard::Kind::kAppend, {*target}, local};
  AppendFile(local.front(), *target);
}

// --- The resume question ------------------------------------------------------------------

void TransferCommands::OnSessionState() {
  if (session_.conn() != WindowConn::kConnected) {
    resumeAsked_ = false;
    return;
  }
  if (session_.listingRunning() || resumeAsked_) return;
  // The first listing of this connection is through.
  resumeAsked_ = true;
  OfferResume();
}

void TransferCommands::OfferResume() {
  const std::string name = StoredSessionName();
  if (name.empty()) return;
  auto state = std::make_shared<ResumeState>();
  SessionStore* store = &ctx_.store;
  PostToWorker(
      ctx_.worker, this,
      [store, name, state](FtpConn& c) {
        bool asked = false;
        return static_cast<int>(AskResumeOnConnect(c, *store, name, &asked, state.get()));
      },
      [this, state](int rc) {
        if (rc != static_cast<int>(ResumeOnConnect::kResume)) return;
        BatchHost host = HostFor(QFileInfo(QString::fromUtf8(state->cResumeFileName)).absolutePath().toStdString(), 0);
        auto batch = std::make_unique<TransferBatch>(TransferDirection::kDownload, host,
                                                     session_.transferMode(), ctx_.app.settings,
                                                     ctx_.app.locale);
        if (!batch->SetResumeRow(*state)) return;
        RunWindow(std::move(batch), false, true);
      });
}

// --- Drag and drop ---------------------------------------------------------------------------

void TransferCommands::AttachViews(QAbstractItemView* hostTree, QAbstractItemView* hostList,
                                   QAbstractItemView* pcTree, QAbstractItemView* pcList) {
  hostTree_ = hostTree;
  hostList_ = hostList;
  pcTree_ = pcTree;
  pcList_ = pcList;
  for (QAbstractItemView* v : {hostTree, hostList, pcTree, pcList}) {
    if (v == nullptr) continue;
    v->setAcceptDrops(true);
    v->viewport()->setAcceptDrops(true);
    v->viewport()->installEventFilter(this);
  }
  // Pressing on one of several selected rows keeps them selected, so that
  // they can be dragged together.
  for (QAbstractItemView* v : {hostList, pcList})
    if (v != nullptr) v->setDragEnabled(true);
}

bool TransferCommands::IsView(QObject* viewport, QAbstractItemView** view, bool* hostSide,
                              bool* list) const {
  const std::pair<QAbstractItemView*, std::pair<bool, bool>> views[] = {
      {hostTree_, {true, false}}, {hostList_, {true, true}}, {pcTree_, {false, false}}, {pcList_, {false, true}}};
  for (const auto& [v, facts] : views) {
    if (v != nullptr && v->viewport() == viewport) {
      *view = v;
      *hostSide = facts.first;
      *list = facts.second;
      return true;
    }
  }
  return false;
}

bool TransferCommands::eventFilter(QObject* watched, QEvent* event) {
  QAbstractItemView* view = nullptr;
  bool hostSide = false, list = false;
  if (!IsView(watched, &view, &hostSide, &list)) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* me = static_cast<QMouseEvent*>(event);
      drag_->pressed = list && me->button() == Qt::LeftButton &&
                       view->indexAt(me->position().toPoint()).isValid();
      drag_->pressPos = me->position().toPoint();
      drag_->pressView = view;
      return false;
    }
    case QEvent::MouseMove: {
      auto* me = static_cast<QMouseEvent*>(event);
      if (!drag_->pressed || drag_->pressView != view || !(me->buttons() & Qt::LeftButton)) return false;
      if ((me->position().toPoint() - drag_->pressPos).manhattanLength() < QApplication::startDragDistance())
        return false;
      drag_->pressed = false;
      StartDrag(view, hostSide);
      return true;
    }
    case QEvent::MouseButtonRelease:
      drag_->pressed = false;
      return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
      OnDragMove(view, hostSide, static_cast<QDragMoveEvent*>(event));
      return true;
    case QEvent::DragLeave:
      EndDrag();
      return true;
    case QEvent::Drop:
      OnDrop(view, hostSide, static_cast<QDropEvent*>(event));
      return true;
    default:
      return false;
  }
}

void TransferCommands::StartDrag(QAbstractItemView* list, bool hostSide) {
  auto* mime = new QMimeData;
  int count = 0;
  bool folder = false;
  if (hostSide) {
    if (!hooks_.hostSelection) return delete mime;
    std::vector<HostItem> items = hooks_.hostSelection();
    // The parent-directory entry goes nowhere.
    if (!CanCopyHost(items)) return delete mime;
    count = static_cast<int>(items.size());
    for (const HostItem& i : items) folder = folder || i.isFolder;
    drag_->hostItems = std::move(items);
    mime->setData(kHostDragMime, QByteArray::number(count));
  } else {
    if (!hooks_.pcSelection) return delete mime;
    const QStringList paths = hooks_.pcSelection();
    if (paths.isEmpty()) return delete mime;
    QList<QUrl> urls;
    for (const QString& p : paths) {
      urls.push_back(QUrl::fromLocalFile(p));
      folder = folder || QFileInfo(p).isDir();
    }
    count = static_cast<int>(paths.size());
    mime->setUrls(urls);
  }
  drag_->count = count;
  drag_->dragging = true;
  QDrag drag(list);
  drag.setMimeData(mime);
  // One picture per entry dragged, stacked, as far as a few go.
  const QIcon icon = list->style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
  const int shown = std::min(count, 4);
  QPixmap pm(32 + 6 * (shown - 1), 32 + 6 * (shown - 1));
  pm.fill(Qt::transparent);
  {
    QPainter p(&pm);
    for (int i = shown - 1; i >= 0; --i) p.drawPixmap(6 * i, 6 * i, icon.pixmap(32, 32));
  }
  drag.setPixmap(pm);
  drag.setHotSpot(QPoint(-14, -12));
  drag.exec(Qt::CopyAction, Qt::CopyAction);
  drag_->dragging = false;
  drag_->hostItems.clear();
  EndDrag();
}

QStringList TransferCommands::LocalFiles(const QMimeData* mime) {
  QStringList out;
  if (mime == nullptr || !mime->hasUrls()) return out;
  for (const QUrl& u : mime->urls())
    if (u.isLocalFile()) out.push_back(u.toLocalFile());
  return out;
}

bool TransferCommands::OnDragMove(QAbstractItemView* view, bool hostSide, QDragMoveEvent* event) {
  const QMimeData* mime = event->mimeData();
  const QPoint pos = event->position().toPoint();
  bool fits = false;
  bool several = false;
  QRect highlight;
  if (hostSide) {
    // Files from the PC list, or from the desktop's file manager.
    const QStringList files = LocalFiles(mime);
    several = files.size() > 1;
    if (!files.isEmpty() && !mime->hasFormat(kHostDragMime) && hooks_.hostDropAt) {
      if (auto t = hooks_.hostDropAt(view, pos, several)) {
        fits = true;
        highlight = t->highlight;
      }
    }
  } else if (mime->hasFormat(kHostDragMime) && !drag_->hostItems.empty() && hooks_.pcDropAt) {
    several = drag_->hostItems.size() > 1;
    if (auto t = hooks_.pcDropAt(view, pos, several)) {
      fits = true;
      highlight = t->highlight;
    }
  }
  QPointer<DropHighlight>& h = drag_->highlights[view->viewport()];
  if (!h) h = new DropHighlight(view->viewport());
  for (auto& [vp, other] : drag_->highlights)
    if (other && vp != view->viewport()) other->hide();
  if (fits && highlight.isValid())
    h->ShowAt(highlight);
  else
    h->hide();
  if (fits) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
  // Resting near the top or bottom edge scrolls the view.
  drag_->over = view;
  drag_->overPos = pos;
  const int h2 = view->viewport()->height();
  if (pos.y() < kAutoScrollZone || pos.y() > h2 - kAutoScrollZone) {
    if (!drag_->scroll.isActive()) drag_->scroll.start(kAutoScrollMs);
  } else {
    drag_->scroll.stop();
  }
  return fits;
}

void TransferCommands::AutoScroll() {
  QAbstractItemView* view = drag_->over;
  if (view == nullptr) return;
  const QPoint pos = drag_->overPos;
  const bool up = pos.y() < kAutoScrollZone;
  if (!up && pos.y() <= view->viewport()->height() - kAutoScrollZone) return;
  if (view == hostTree_ || view == pcTree_) {
    auto* tree = qobject_cast<QTreeView*>(view);
    const QModelIndex edge = view->indexAt(up ? QPoint(1, 1) : QPoint(1, view->viewport()->height() - 2));
    if (tree != nullptr && edge.isValid()) {
      const QModelIndex next = up ? tree->indexAbove(edge) : tree->indexBelow(edge);
      if (next.isValid()) tree->scrollTo(next);
    }
  } else {
    QScrollBar* bar = view->verticalScrollBar();
    const int step = view->verticalScrollMode() == QAbstractItemView::ScrollPerPixel ? kListScrollPixels : 1;
    bar->setValue(bar->value() + (up ? -step : step));
  }
  drag_->scroll.start(kAutoScrollMs);
}

void TransferCommands::OnDrop(QAbstractItemView* view, bool hostSide, QDropEvent* event) {
  const QPoint pos = event->position().toPoint();
  EndDrag();
  if (hostSide) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty() || event->mimeData()->hasFormat(kHostDragMime) || !hooks_.hostDropAt) return event->ignore();
    std::optional<DropTarget<HostPlace>> t = hooks_.hostDropAt(view, pos, files.size() > 1);
    if (!t) return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The window opens once the drag is over.
    QTimer::singleShot(0, this, [this, files, place = t->place] { UploadPaths(files, place); });
    return;
  }
  if (!event->mimeData()->hasFormat(kHostDragMime) || drag_->hostItems.empty() || !hooks_.pcDropAt)
    return event->ignore();
  std::optional<DropTarget<PcPlace>> t = hooks_.pcDropAt(view, pos, drag_->hostItems.size() > 1);
  if (!t) return event->ignore();
  event->setDropAction(Qt::CopyAction);
  event->accept();
  QTimer::singleShot(0, this, [this, items = drag_->hostItems, place = t->place] { DownloadItems(items, place); });
}

void TransferCommands::EndDrag() {
  drag_->scroll.stop();
  drag_->over = nullptr;
  for (auto& [vp, h] : drag_->highlights)
    if (h) h->hide();
}

}  // namespace tarn::shell
