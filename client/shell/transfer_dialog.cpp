#include "client/shell/transfer_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

#include "client/session/session_store.h"
#include "client/shell/dialogs.h"
#include "client/shell/transfer_pictures.h"
#include "client/shell/transfer_questions.h"
#include "client/shell/transfer_rows_model.h"
#include "client/shell/worker_bridge.h"

namespace tarn::shell {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

QMessageBox::Icon IconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kInformation: return QMessageBox::Information;
    case BoxIcon::kWarning: return QMessageBox::Warning;
    case BoxIcon::kError: return QMessageBox::Critical;
    case BoxIcon::kQuestion: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

// --- What the window shares with its op -------------------------------------------

struct TransferDialog::Shared {
  std::unique_ptr<TransferBatch> batch;
  // The window while it lives; read and cleared on the GUI thread only.
  QPointer<TransferDialog> dialog;
  // Set when the window is gone: the op's questions go to the
  // connection's own Ui from then on.
  std::atomic<bool> gone{false};
  std::unique_ptr<WindowSideUi> ui;
  std::unique_ptr<Listener> listener;

  // The newest progress figures, and whether a call to show them is
  // already on its way: however fast they come, at most one waits. The
  // figures carry the number of the row they belong to (rowSeq counts the
  // rows reached), so that they never reach the window before that row's
  // start, which would clear them.
  std::mutex fieldsMu;
  TransferFields fields;
  uint64_t rowSeq = 0;
  uint64_t fieldsSeq = 0;
  bool fieldsPending = false;
  bool fieldsPosted = false;

  // Runs `f` with the window on the GUI thread, later.
  template <class F>
  static void Post(const std::shared_ptr<Shared>& s, F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    QMetaObject::invokeMethod(
        app, [s, f = std::move(f)]() mutable {
          if (TransferDialog* d = s->dialog.data()) f(d);
        },
        Qt::QueuedConnection);
  }

  // Runs `f` with the window on the GUI thread and waits for its answer;
  // `fallback` when the window is gone. Worker or GUI thread.
  template <class R, class F>
  R Ask(R fallback, F f) {
    if (OnGuiThread()) {
      TransferDialog* d = dialog.data();
      return d ? f(d) : fallback;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || gone) return fallback;
    R result = fallback;
    // An event the loop never delivers (the program ends) releases the
    // waiting worker when it is destroyed.
    QMetaObject::invokeMethod(
        app, [this, &result, &f] {
          if (TransferDialog* d = dialog.data()) result = f(d);
        },
        Qt::BlockingQueuedConnection);
    return result;
  }
};

// The Ui the batch's op sees: questions and error boxes over the transfer
// window, the progress into its fields; everything else as the
// connection's own Ui does it.
class TransferDialog::WindowSideUi : public Ui {
 public:
  explicit WindowSideUi(Shared& s) : s_(s) {}
  void SetInner(Ui* inner) { inner_ = inner; }

  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override {
    if (s_.gone && inner_ && !OnGuiThread()) return inner_->MessageBox(text, caption, buttons, icon);
    const BoxResult safe = buttons == BoxButtons::kOk ? BoxResult::kOk
                           : buttons == BoxButtons::kYesNo ? BoxResult::kNo
                                                           : BoxResult::kCancel;
    return s_.Ask(safe, [&](TransferDialog* d) { return Box(d, text, caption, buttons, icon); });
  }
  ReplaceAnswer ConfirmReplace(const ReplaceQuestion& q) override {
    if (s_.gone && inner_ && !OnGuiThread()) return inner_->ConfirmReplace(q);
    return s_.Ask(ReplaceAnswer::kCancel, [&](TransferDialog* d) { return ReplaceDialog::Ask(q, d); });
  }
  ResumeAnswer AskResumeOptions(const std::string& text, const std::string& name) override {
    if (s_.gone && inner_ && !OnGuiThread()) return inner_->AskResumeOptions(text, name);
    return s_.Ask(ResumeAnswer::kCancel,
                  [&](TransferDialog* d) { return ResumeOptionsDialog::Ask(text, name, d); });
  }

  bool TransferWindowOpen() const override { return !s_.gone; }
  void SetTransferFields(const TransferFields& f) override {
    std::shared_ptr<Shared> keep = self_.lock();
    if (!keep) return;
    {
      std::lock_guard<std::mutex> lock(s_.fieldsMu);
      // Bar-only news keeps the texts of the same row's figures not yet shown.
      if (f.barOnly && s_.fieldsPending && s_.fieldsSeq == s_.rowSeq) {
        s_.fields.barPos = f.barPos;
      } else {
        s_.fields = f;
      }
      s_.fieldsSeq = s_.rowSeq;
      s_.fieldsPending = true;
      if (s_.fieldsPosted) return;
      s_.fieldsPosted = true;
    }
    Shared::Post(keep, [](TransferDialog* d) { d->DeliverFields(true); });
  }
  void TransferPausePoint() override {
    if (inner_) inner_->TransferPausePoint();
  }

  void SetStatusText(int part, const std::string& text) override {
    if (inner_) inner_->SetStatusText(part, text);
  }
  bool PromptLogon(LogonPrompt* prompt) override { return inner_ && inner_->PromptLogon(prompt); }
  bool PromptText(const std::string& caption, const std::string& label, bool masked,
                  std::string* value) override {
    return inner_ && inner_->PromptText(caption, label, masked, value);
  }
  bool PromptDialUpPassword(const std::string& entry, const std::string& user,
                            std::string* password) override {
    return inner_ && inner_->PromptDialUpPassword(entry, user, password);
  }
  void SetConnState(ConnState state, const std::string& name) override {
    if (inner_) inner_->SetConnState(state, name);
  }
  void EnableCommand(UiCommand command, bool on) override {
    if (inner_) inner_->EnableCommand(command, on);
  }
  void SetTransferMode(TransferMode mode) override {
    if (inner_) inner_->SetTransferMode(mode);
  }
  void SetZoomPaths(const std::vector<std::string>& paths) override {
    if (inner_) inner_->SetZoomPaths(paths);
  }
  void ShowLocalDirectory(const std::string& dir) override {
    if (inner_) inner_->ShowLocalDirectory(dir);
  }
  void SetWaitCursor(bool on) override {
    if (inner_) inner_->SetWaitCursor(on);
  }
  void PostDisconnect() override {
    if (inner_) inner_->PostDisconnect();
  }

  void SetSelf(const std::shared_ptr<Shared>& s) { self_ = s; }

 private:
  static BoxResult Box(TransferDialog* d, const std::string& text, const std::string& caption,
                       BoxButtons buttons, BoxIcon icon) {
    QMessageBox box(IconOf(icon), Q(caption), DialogText(text), QMessageBox::NoButton, d);
    switch (buttons) {
      case BoxButtons::kOk: box.setStandardButtons(QMessageBox::Ok); break;
      case BoxButtons::kOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
      case BoxButtons::kYesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);  // the cancel question defaults to going on
        break;
      case BoxButtons::kYesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
      case QMessageBox::Ok: return BoxResult::kOk;
      case QMessageBox::Yes: return BoxResult::kYes;
      case QMessageBox::No: return BoxResult::kNo;
      default: return buttons == BoxButtons::kOk ? BoxResult::kOk : BoxResult::kCancel;
    }
  }

  Shared& s_;
  Ui* inner_ = nullptr;  // worker thread only
  std::weak_ptr<Shared> self_;
};

// The batch's reports, carried to the window in the order they came.
class TransferDialog::Listener : public BatchListener {
 public:
  void SetSelf(const std::shared_ptr<Shared>& s) { self_ = s; }

  // The rows are the worker's while these two run: copies of them travel
  // with the report (the checks mark declined rows without a RowChanged).
  void ConfirmEnded(int result) override {
    std::vector<TransferRow> rows = Rows();
    Post([result, rows](TransferDialog* d) {
      d->SyncRows(rows);
      d->OnConfirmEnded(result);
    });
  }
  void RowStarted(size_t index, const TransferRow& row, const std::string& totalText, int barMax,
                  const std::string& timeLabel) override {
    std::shared_ptr<Shared> s = self_.lock();
    if (!s) return;
    uint64_t seq;
    {
      std::lock_guard<std::mutex> lock(s->fieldsMu);
      seq = ++s->rowSeq;
    }
    Post([index, row, totalText, barMax, timeLabel, seq](TransferDialog* d) {
      d->OnRowStarted(index, row, totalText, barMax, timeLabel);
      // Figures of this row that came while its start was on its way.
      d->shownRowSeq_ = seq;
      d->DeliverFields(false);
    });
  }
  void RowChanged(size_t index, const TransferRow& row) override {
    Post([index, row](TransferDialog* d) { d->model_->SetRow(index, row); });
  }
  void RowInserted(size_t index, const TransferRow& row) override {
    Post([index, row](TransferDialog* d) { d->model_->InsertRow(index, row); });
  }
  void Cancelling() override {
    Post([](TransferDialog* d) { d->OnCancelling(); });
  }
  void BatchEnded(const Outcome& outcome) override {
    std::vector<TransferRow> rows = Rows();
    Post([outcome, rows](TransferDialog* d) {
      d->SyncRows(rows);
      d->OnBatchEnded(outcome);
    });
  }

 private:
  std::vector<TransferRow> Rows() const {
    std::shared_ptr<Shared> s = self_.lock();
    return s ? s->batch->rows() : std::vector<TransferRow>();
  }
  template <class F>
  void Post(F f) {
    if (std::shared_ptr<Shared> s = self_.lock()) Shared::Post(s, std::move(f));
  }
  std::weak_ptr<Shared> self_;
};

// --- The window ----------------------------------------------------------------------

TransferDialog::TransferDialog(ShellContext& ctx, std::unique_ptr<TransferBatch> batch,
                               const std::string& sessionName, QWidget* owner)
    : QDialog(owner), ctx_(ctx), shared_(std::make_shared<Shared>()) {
  shared_->batch = std::move(batch);
  shared_->dialog = this;
  shared_->ui = std::make_unique<WindowSideUi>(*shared_);
  shared_->ui->SetSelf(shared_);
  shared_->listener = std::make_unique<Listener>();
  shared_->listener->SetSelf(shared_);
  setProperty("sessionName", Q(sessionName));
  BuildWidgets();
}

TransferDialog::~TransferDialog() {
  shared_->gone = true;
  shared_->dialog = nullptr;
}

TransferBatch& TransferDialog::batch() { return *shared_->batch; }

int TransferDialog::Run() {
  return exec() == kDialogQueued ? kDialogQueued : 1;
}

void TransferDialog::OfferQueue(bool enabled) {
  queueEnabled_ = enabled;
  queue_->setVisible(true);
  queue_->setEnabled(enabled && !started_ && !batch().rows().empty());
}

void TransferDialog::AddToQueue() {
  if (started_ || !queue_->isVisible() || !queueEnabled_ || batch().rows().empty()) return;
  done(kDialogQueued);
}

void TransferDialog::BuildWidgets() {
  TransferBatch& b = batch();
  const bool autoStart = b.autoStart() || b.isResume();
  setWindowTitle(Q(TransferWindowTitle(ctx_.app.cTitle, b.direction(), autoStart)));
  setModal(true);

  directionPicture_ = new QLabel(this);
  directionPicture_->setPixmap(DirectionPicture(b.direction()));
  auto* heading = new QLabel(Q(TransferWindowTitle(ctx_.app.cTitle, b.direction(), false)), this);
  QFont big = heading->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.15);
  heading->setFont(big);
  animation_ = new TransferAnimation(b.direction(), this);
  auto* top = new QHBoxLayout;
  top->addWidget(directionPicture_);
  top->addWidget(heading, 1);
  top->addWidget(animation_);

  model_ = new TransferRowsModel(ctx_.app.locale, this);
  model_->SetRows(b.rows());
  model_->SetEditable(b.editable());
  list_ = new QTreeView(this);
  list_->setModel(model_);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::EditKeyPressed);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->setTextElideMode(Qt::ElideLeft);  // the file names are at the end
  list_->viewport()->installEventFilter(this);
  list_->setMinimumHeight(180);
  SizeColumns();
  connect(model_, &TransferRowsModel::renameRequested, this, &TransferDialog::RenameRow);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &TransferDialog::SizeColumns);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &TransferDialog::SizeColumns);
  connect(list_, &QTreeView::doubleClicked, this, [this](const QModelIndex& i) {
    if (!started_ && batch().editable()) list_->edit(model_->index(i.row(), TransferRowsModel::kTo));
  });
  connect(list_, &QTreeView::customContextMenuRequested, this, [this](const QPoint& pos) {
    const QModelIndex i = list_->indexAt(pos);
    if (!i.isValid()) return;
    std::unique_ptr<QMenu> menu(CreateRowMenu(i.row()));
    menu->exec(list_->viewport()->mapToGlobal(pos));
  });

  typePicture_ = new QToolButton(this);
  typePicture_->setAutoRaise(true);
  typePicture_->setIconSize(QSize(24, 24));
  typeText_ = new QLabel(this);
  typeText_->setMinimumWidth(50);
  connect(typePicture_, &QToolButton::clicked, this, &TransferDialog::ToggleAll);
  closeCheck_ = new QCheckBox(kCloseCheckText, this);
  closeCheck_->setChecked(b.closeWhenDone());
  // The setting is saved at once, for every later window too.
  connect(closeCheck_, &QCheckBox::toggled, this, [this](bool on) {
    ctx_.app.settings.bCloseXferDialog = on;
    ctx_.store.SaveCloseXferDialog(on);
    if (!started_) batch().SetCloseWhenDone(on);
  });
  auto* typeRow = new QHBoxLayout;
  typeRow->addWidget(new QLabel("Type:", this));
  typeRow->addWidget(typePicture_);
  typeRow->addWidget(typeText_);
  typeRow->addStretch();
  typeRow->addWidget(closeCheck_);
  ShowTypeField();

  received_ = new QLabel(this);
  total_ = new QLabel(this);
  rate_ = new QLabel(this);
  timeLabel_ = new QLabel(kEstimatedLabel, this);
  // The figures stay in place when the label becomes "Transfer Time: ".
  timeLabel_->setMinimumWidth(timeLabel_->sizeHint().width());
  timeLeft_ = new QLabel(this);
  for (QLabel* l : {received_, total_, rate_, timeLeft_}) {
    l->setMinimumWidth(110);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  auto* figures = new QGridLayout;
  figures->addWidget(new QLabel("Received:", this), 0, 0);
  figures->addWidget(received_, 0, 1);
  figures->addWidget(new QLabel("Total:", this), 0, 2);
  figures->addWidget(total_, 0, 3);
  figures->addWidget(new QLabel("Rate:", this), 1, 0);
  figures->addWidget(rate_, 1, 1);
  figures->addWidget(timeLabel_, 1, 2);
  figures->addWidget(timeLeft_, 1, 3);
  figures->setColumnStretch(1, 1);
  figures->setColumnStretch(3, 1);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setTextVisible(false);

  start_ = new QPushButton("&Start", this);
  start_->setDefault(true);
  start_->setEnabled(!b.rows().empty());
  cancel_ = new QPushButton("Cancel", this);
  queue_ = new QPushButton(kAddToQueueButtonText, this);
  queue_->setAutoDefault(false);
  queue_->setVisible(false);
  queue_->setEnabled(false);
  connect(start_, &QPushButton::clicked, this, &TransferDialog::Start);
  connect(cancel_, &QPushButton::clicked, this, &TransferDialog::reject);
  connect(queue_, &QPushButton::clicked, this, &TransferDialog::AddToQueue);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(queue_);
  buttons->addWidget(start_);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(list_, 1);
  layout->addLayout(typeRow);
  layout->addLayout(figures);
  layout->addWidget(bar_);
  layout->addLayout(buttons);
  SetTips(true);
  animation_->Rewind();
}

void TransferDialog::SetTips(bool on) {
  auto tip = [on](QWidget* w, const char* text) { w->setToolTip(on ? QString::fromLatin1(text) : QString()); };
  tip(typePicture_, kTipTypePicture);
  tip(start_, kTipStart);
  tip(typeText_, kTipTypeText);
  tip(list_->viewport(), kTipList);
  tip(rate_, kTipRate);
  // The tip is written for two lines.
  queue_->setToolTip(on ? DialogText(kTipQueue) : QString());
  cancel_->setToolTip(cancel_->text() == "&Close" ? kTipClose : kTipCancel);
}

void TransferDialog::ShowTypeField() {
  const std::string text = batch().TypeText();
  typeText_->setText(Q(text));
  typePicture_->setIcon(QIcon(TypePicture(text == "Binary")));
}

void TransferDialog::SizeColumns() {
  int from = kColumnWidths[0];
  if (model_->rowCount() >= kScrollRows) from -= list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  list_->header()->resizeSection(TransferRowsModel::kFrom, from);
  list_->header()->resizeSection(TransferRowsModel::kTo, kColumnWidths[1]);
  // "Size" widens for sizes of a gigabyte and more rather than cut them.
  int size = kColumnWidths[2];
  const QFontMetrics fm(list_->font());
  for (const TransferRow& r : model_->rows())
    size = std::max(size, fm.horizontalAdvance(Q(r.SizeText(ctx_.app.locale))) + 14);
  list_->header()->resizeSection(TransferRowsModel::kSize, size);
  // The list is as wide as its columns: no sideways scrolling.
  list_->setMinimumWidth(from + kColumnWidths[1] + size + 2 * list_->frameWidth() +
                         (model_->rowCount() >= kScrollRows ? list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0) + 2);
}

// --- Edits before Start ---------------------------------------------------------------

void TransferDialog::ToggleRow(int row) {
  if (started_ || row < 0 || !batch().ToggleRow(static_cast<size_t>(row))) return;
  model_->SetRow(static_cast<size_t>(row), batch().rows()[static_cast<size_t>(row)]);
}

void TransferDialog::ToggleAll() {
  if (started_ || !batch().ToggleAll()) return;
  for (size_t i = 0; i < batch().rows().size(); ++i) model_->SetRow(i, batch().rows()[i]);
  ShowTypeField();
}

void TransferDialog::RenameRow(int row, const QString& text) {
  if (started_ || row < 0) return;
  const size_t i = static_cast<size_t>(row);
  if (batch().RenameTo(i, text.toStdString()))
    model_->SetRow(i, batch().rows()[i]);
  else
    QApplication::beep();
}

void TransferDialog::DeleteRow(int row) {
  if (started_ || row < 0 || !batch().DeleteRow(static_cast<size_t>(row))) return;
  model_->RemoveRow(static_cast<size_t>(row));
  start_->setEnabled(!batch().rows().empty());
  queue_->setEnabled(queueEnabled_ && !batch().rows().empty());
}

QMenu* TransferDialog::CreateRowMenu(int row) {
  auto* menu = new QMenu(this);
  const bool editable = !started_ && batch().editable();
  QAction* rename = menu->addAction(kRenameToText, this, [this, row] {
    list_->setCurrentIndex(model_->index(row, TransferRowsModel::kTo));
    list_->edit(model_->index(row, TransferRowsModel::kTo));
  });
  QAction* toggle = menu->addAction(kToggleModeText, this, [this, row] { ToggleRow(row); });
  QAction* remove = menu->addAction(kDeleteRowText, this, [this, row] { DeleteRow(row); });
  for (QAction* a : {rename, toggle, remove}) a->setEnabled(editable);
  return menu;
}

bool TransferDialog::eventFilter(QObject* watched, QEvent* event) {
  // A click on a row's mode icon toggles that row.
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
    auto* me = static_cast<QMouseEvent*>(event);
    const QModelIndex i = list_->indexAt(me->position().toPoint());
    if (me->button() == Qt::LeftButton && i.isValid() && i.column() == TransferRowsModel::kFrom) {
      const QRect cell = list_->visualRect(i);
      const int icon = list_->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, list_);
      const int x = me->position().toPoint().x() - cell.left();
      if (x >= 0 && x <= icon + 6 && !started_) {
        ToggleRow(i.row());
        list_->setCurrentIndex(i);
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

// --- Running ---------------------------------------------------------------------------

void TransferDialog::Start() {
  if (started_ || batch().rows().empty()) return;
  started_ = true;
  opEnded_ = false;
  ended_ = false;
  start_->setEnabled(false);
  queue_->setEnabled(false);
  model_->SetEditable(false);
  SetTips(false);
  batch().SetCloseWhenDone(closeCheck_->isChecked());

  BatchEnv env;
  env.listing = &ctx_.listing;
  env.store = &ctx_.store;
  env.sessionName = property("sessionName").toString().toStdString();
  env.listener = shared_->listener.get();
  std::shared_ptr<Shared> s = shared_;
  PostToWorker(
      ctx_.worker, this,
      [s, env](FtpConn& c) {
        Ui* outer = c.ui;
        s->ui->SetInner(outer);
        c.ui = s->ui.get();
        const int rc = s->batch->RunOnWorker(c, env);
        c.ui = outer;
        return rc;
      },
      [this](int rc) { OnOpEnded(rc); });
}

void TransferDialog::SyncRows(const std::vector<TransferRow>& rows) {
  if (rows.size() != model_->rows().size()) {
    model_->SetRows(rows);
    return;
  }
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].state != model_->rows()[i].state || rows[i].to != model_->rows()[i].to ||
        rows[i].type != model_->rows()[i].type)
      model_->SetRow(i, rows[i]);
}

void TransferDialog::OnConfirmEnded(int result) {
  if (result == kConfirmGo || result == kConfirmResume) {
    animation_->Play();
  } else if (result == kConfirmAllSkipped) {
    animation_->ShowEnd();
    ended_ = true;
    ShowClose(true);
  }
  emit confirmEnded(result);
}

void TransferDialog::OnRowStarted(size_t index, const TransferRow& row, const std::string& total,
                                  int barMax, const std::string& timeLabel) {
  model_->SetRow(index, row);
  const QModelIndex i = model_->index(static_cast<int>(index), 0);
  list_->setCurrentIndex(i);
  list_->scrollTo(i);
  received_->setText("0 KB");
  total_->setText(Q(total));
  rate_->clear();
  timeLeft_->clear();
  timeLabel_->setText(Q(timeLabel));
  bar_->setRange(0, qMax(1, barMax));
  bar_->setValue(0);
  emit rowStarted(static_cast<int>(index));
}

void TransferDialog::DeliverFields(bool posted) {
  TransferFields now;
  {
    std::lock_guard<std::mutex> lock(shared_->fieldsMu);
    if (posted) shared_->fieldsPosted = false;
    // Figures of a row whose start has not been shown yet wait for it.
    if (!shared_->fieldsPending || shared_->fieldsSeq > shownRowSeq_) return;
    now = shared_->fields;
    shared_->fieldsPending = false;
  }
  OnFields(now);
}

void TransferDialog::OnFields(const TransferFields& f) {
  ++fieldUpdates_;
  if (f.barPos >= 0) bar_->setValue(qMin(f.barPos, bar_->maximum()));
  if (f.barOnly) return;
  if (!f.received.empty()) received_->setText(Q(f.received));
  rate_->setText(Q(f.rate));
  timeLeft_->setText(Q(f.timeLeft));
  if (!f.timeLabel.empty()) timeLabel_->setText(Q(f.timeLabel));
  if (f.done) bar_->setValue(bar_->maximum());
}

void TransferDialog::OnCancelling() {
  cancelling_ = true;
  if (!ended_) ShowClose(false);
}

void TransferDialog::OnBatchEnded(const BatchListener::Outcome& outcome) {
  ended_ = true;
  if (outcome.failed == 0 && outcome.done > 0)
    animation_->CloseFrames(kAnimationFrameMs, {});
  else
    animation_->ShowEnd();
  raise();
  activateWindow();
  if (closeCheck_->isChecked()) {
    // Closes itself a moment after the last file, unless the person
    // closed it first.
    QTimer::singleShot(kCloseDelayMs, this, [this] {
      if (isVisible()) accept();
    });
  }
  ShowClose(true);
  emit batchEnded();
}

void TransferDialog::OnOpEnded(int rc) {
  opEnded_ = true;
  if (rc == kConfirmCancel) {
    // The rows are the window's again and may be edited for another Start.
    started_ = false;
    model_->SetRows(batch().rows());
    model_->SetEditable(true);
    start_->setEnabled(!batch().rows().empty());
    queue_->setEnabled(queueEnabled_ && !batch().rows().empty());
    SetTips(true);
    animation_->Rewind();
    return;
  }
  if (!ended_) {
    // The op never got to the end of its batch (dropped at shutdown).
    ended_ = true;
    animation_->ShowEnd();
    ShowClose(true);
  }
}

void TransferDialog::ShowClose(bool enabled) {
  cancel_->setText("&Close");
  cancel_->setToolTip(kTipClose);
  cancel_->setEnabled(enabled);
}

void TransferDialog::reject() {
  if (started_ && !ended_) {
    if (cancelling_) return;
    // Held between two blocks while the person decides.
    const bool yes = batch().AskCancel(*shared_->ui, ctx_.worker);
    if (!yes) return;
    OnCancelling();
    // The cancel wakes the worker's waits at once. An op that has still not
    // ended when the stop command's bound is over has its data and
    // listening sockets shut under it (nothing waits here meanwhile).
    QTimer::singleShot(kCancelWorkerWaitMs, this, [this] {
      if (started_ && !opEnded_) CancelWorker(ctx_.conn, ctx_.worker, 0);
    });
    return;
  }
  QDialog::reject();
}

void TransferDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!autoStarted_ && (batch().autoStart() || batch().isResume())) {
    autoStarted_ = true;
    QTimer::singleShot(0, this, &TransferDialog::Start);
  }
}

void TransferDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
  if (main == nullptr) return;
  // The window and the main window go down and come back together.
  if (event->type() == QEvent::WindowStateChange && isMinimized()) main->showMinimized();
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && main->isMinimized())
    main->showNormal();
}

}  // namespace tarn::shell
