#include "scheduler/app/schedules_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include "scheduler/app/add_dialog.h"
#include "scheduler/app/help.h"
#include "scheduler/app/icons.h"
#include "scheduler/model/engine.h"
#include "scheduler/model/messages.h"

namespace sched_app {

namespace {

class NoFocusBandDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
  }
};

}  // namespace

SchedulesDialog::SchedulesDialog(sched::CSchedule& list, std::string preset,
                                 sched::Notice& notice, QWidget* parent)
    : QDialog(parent), list_(list), notice_(notice) {
  setWindowTitle(QStringLiteral("Scheduled Transfers"));
  setWindowIcon(ReadyIcon());
  setWindowFlag(Qt::WindowStaysOnTopHint);

  model_ = new ScheduleListModel(list_, this);
  view_ = new QTreeView;
  view_->setModel(model_);
  // The list takes the focus at once and makes its first row current; drawn
  // with a focus band or frame, that row would look selected while "Edit"
  // and "Delete" are still disabled. Arrow keys select as they move, so no
  // focus mark shows anything the selection does not.
  view_->setItemDelegate(new NoFocusBandDelegate(view_));
  view_->setRootIsDecorated(false);
  view_->setItemsExpandable(false);
  view_->setUniformRowHeights(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  QFontMetrics fm(view_->header()->font());
  int widths[] = {fm.horizontalAdvance(QStringLiteral("Name    ")) + 15,
                  fm.horizontalAdvance(QStringLiteral("99/99/99")) + 5,
                  fm.horizontalAdvance(QStringLiteral("99:99:99")) + 5,
                  fm.horizontalAdvance(QStringLiteral("REST")) + 3,
                  fm.horizontalAdvance(QStringLiteral("99/99/99")) + 5,
                  fm.horizontalAdvance(QStringLiteral("99:99:99")) + 5};
  // The header's own padding and sort arrow space come on top of the text
  // widths, or the headers would be cut.
  int pad = view_->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, view_) * 2 + 4;
  for (int c = 0; c < 6; ++c) {
    QString header = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    view_->setColumnWidth(c, std::max(widths[c], fm.horizontalAdvance(header) + pad));
  }
  // Names longer than the column's basis are common; widen it to the
  // widest name, within reason (the tool tip holds the whole path).
  int widest = 0;
  for (int r = 0; r < model_->rowCount(); ++r)
    widest = std::max(widest, fm.horizontalAdvance(model_->index(r, 0).data().toString()));
  view_->setColumnWidth(0, std::max(view_->columnWidth(0), std::min(widest + pad + 8, 240)));
  view_->header()->setStretchLastSection(true);
  view_->header()->setSectionsMovable(false);
  int total = 0;
  for (int c = 0; c < 6; ++c) total += view_->columnWidth(c);
  // Room for every column, "Monthly" and a vertical scroll bar, so that the
  // list never scrolls sideways.
  int scrollBar = view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view_);
  view_->setMinimumWidth(total + fm.horizontalAdvance(QStringLiteral("Monthly")) + pad +
                         scrollBar + 2 * view_->frameWidth() + 4);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setMinimumHeight(200);

  auto* add = new QPushButton(QStringLiteral("&Add Schedule..."));
  edit_ = new QPushButton(QStringLiteral("Edit Schedule..."));
  delete_ = new QPushButton(QStringLiteral("&Delete Schedule"));
  auto* close = new QPushButton(QStringLiteral("Close"));
  close->setDefault(true);
  // Enter is "Close" wherever the focus is.
  for (auto* b : {add, edit_, delete_}) b->setAutoDefault(false);
  auto* side = new QVBoxLayout;
  for (auto* b : {add, edit_, delete_}) side->addWidget(b);
  side->addStretch();
  side->addWidget(close);
  auto* outer = new QHBoxLayout(this);
  outer->addWidget(view_, 1);
  outer->addLayout(side);

  connect(add, &QPushButton::clicked, this, [this] { AddSchedule(""); });
  connect(edit_, &QPushButton::clicked, this, &SchedulesDialog::EditSelected);
  connect(delete_, &QPushButton::clicked, this, &SchedulesDialog::DeleteSelected);
  connect(close, &QPushButton::clicked, this, &SchedulesDialog::accept);
  connect(view_, &QTreeView::doubleClicked, this, [this] { EditSelected(); });
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateButtons(); });
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { UpdateButtons(); });
  UpdateButtons();

  runEditor = [this](sched::EditorData* data, bool editMode) {
    AddDialog dlg(*data, editMode);
    if (dlg.exec() != QDialog::Accepted) return false;
    *data = dlg.Data();
    return true;
  };
  askSave = [this] {
    return QMessageBox::question(this, QStringLiteral("Almanor"),
                                 QString::fromLatin1(sched::kSaveChanges),
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  };

  AttachTopic(view_, 2007);
  AttachTopic(add, 2002);
  AttachTopic(edit_, 2003);
  AttachTopic(delete_, 2004);
  AttachTopic(close, 2005);
  InstallF1Help(this);

  if (!preset.empty())
    QTimer::singleShot(0, this, [this, preset] { AddSchedule(preset); });
}

// QDialog's own hide ends the exec() the dialog runs in, which would close
// "Scheduled Transfers" behind the editor's back, unsaved and unasked; only
// its window goes away while the editor is open.
void SchedulesDialog::HideWhileEditing() { QWidget::setVisible(false); }

int SchedulesDialog::SelectedRow() const {
  auto rows = view_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void SchedulesDialog::UpdateButtons() {
  bool any = SelectedRow() >= 0;
  edit_->setEnabled(any);
  delete_->setEnabled(any);
}

void SchedulesDialog::AddSchedule(const std::string& file) {
  sched::EditorData data = AddDialog::NewEditorData(file);
  HideWhileEditing();
  if (runEditor(&data, false)) {
    sched::CScheduleEntry e;
    if (!sched::EntryFromEditor(data, &e)) {
      notice_.Show("The date lies beyond the range the schedule list can hold.",
                   sched::NoticeIcon::kExclamation);
    } else if (std::string why = sched::CheckEntryLimits(e, sched::DefaultClientPath());
               !why.empty()) {
      notice_.Show(why, sched::NoticeIcon::kExclamation);
    } else if (model_->Append(e, notice_)) {
      modified_ = true;
    }
  }
  show();
}

void SchedulesDialog::EditSelected() {
  int row = SelectedRow();
  if (row < 0) return;
  sched::CScheduleEntry e = list_.At(static_cast<size_t>(row));
  sched::EditorData data = sched::EditorFromEntry(e, sched::SystemClock().Now());
  HideWhileEditing();
  if (runEditor(&data, true)) {
    if (!sched::EntryFromEditor(data, &e)) {
      notice_.Show("The date lies beyond the range the schedule list can hold.",
                   sched::NoticeIcon::kExclamation);
    } else if (std::string why = sched::CheckEntryLimits(e, sched::DefaultClientPath());
               !why.empty()) {
      notice_.Show(why, sched::NoticeIcon::kExclamation);
    } else {
      e.m_bRunning = 0;
      model_->Replace(row, e);
      modified_ = true;
    }
  }
  show();
}

void SchedulesDialog::DeleteSelected() {
  int row = SelectedRow();
  if (row < 0) return;
  model_->RemoveRow(row);
  modified_ = true;
}

void SchedulesDialog::accept() {
  if (modified_ && !list_.Save(notice_)) return;  // the box said why; nothing is lost
  closed_ = true;
  QDialog::accept();
}

void SchedulesDialog::reject() {
  if (!modified_) {
    QDialog::reject();
    return;
  }
  switch (askSave()) {
    case QMessageBox::Yes: accept(); break;
    case QMessageBox::No: QDialog::reject(); break;
    default: break;  // Cancel keeps the dialog open
  }
}

}  // namespace sched_app
