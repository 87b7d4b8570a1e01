#include "scheduler/app/add_dialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "scheduler/app/help.h"
#include "scheduler/app/icons.h"
#include "scheduler/app/small_dialogs.h"
#include "scheduler/model/engine.h"
#include "scheduler/model/messages.h"

namespace sched_app {

namespace {

QDate ToDate(const sched::LocalParts& p) { return QDate(p.year, p.month, p.day); }
QTime ToTime(const sched::LocalParts& p) { return QTime(p.hour, p.minute, p.second); }
sched::LocalParts FromDate(const QDate& d) {
  sched::LocalParts p;
  p.year = d.year(), p.month = d.month(), p.day = d.day();
  return p;
}
sched::LocalParts FromTime(const QTime& t) {
  sched::LocalParts p;
  p.hour = t.hour(), p.minute = t.minute(), p.second = t.second();
  return p;
}

const QDate kLatest(sched::kLatestYear, sched::kLatestMonth, sched::kLatestDay);

// Dates show as the C locale's long date, "Friday, January 31, 2025".
QDateEdit* DatePicker() {
  auto* d = new QDateEdit;
  d->setCalendarPopup(true);
  d->setDisplayFormat(QStringLiteral("dddd, MMMM d, yyyy"));
  d->setMinimumDate(QDate::currentDate());
  d->setMaximumDate(kLatest);
  d->setMinimumWidth(210);
  return d;
}

QTimeEdit* TimePicker() {
  auto* t = new QTimeEdit;
  t->setDisplayFormat(QStringLiteral("H:mm:ss"));
  t->setMinimumWidth(90);
  return t;
}

}  // namespace

sched::EditorData AddDialog::NewEditorData(const std::string& presetFile) {
  sched::EditorData d;
  d.queueFile = presetFile;
  sched::LocalParts now = sched::CTimeToLocal(sched::SystemClock().Now());
  d.startDate = d.startTime = d.endDate = d.endTime = now;
  return d;
}

AddDialog::AddDialog(const sched::EditorData& data, bool editMode, QWidget* parent)
    : QDialog(parent), editMode_(editMode) {
  setWindowTitle(QStringLiteral("Add Scheduled Transfer"));
  setWindowIcon(ReadyIcon());
  setWindowFlag(Qt::WindowStaysOnTopHint);
  queueFile_ = data.queueFile;
  sender_ = data.sender, receiver_ = data.receiver, smtpHost_ = data.smtpHost;

  file_ = new QLabel;
  file_->setFrameShape(QFrame::StyledPanel);
  file_->setMinimumWidth(file_->fontMetrics().horizontalAdvance(QString(34, 'M')) * 2 / 3);
  select_ = new QPushButton(QStringLiteral("Select T-File..."));
  startDate_ = DatePicker();
  startTime_ = TimePicker();
  endDate_ = DatePicker();
  endTime_ = TimePicker();
  restrict_ = new QCheckBox(QStringLiteral("Restrict Transfer Time"));
  recurring_ = new QCheckBox(QStringLiteral("Recurring Transfer"));
  frequency_ = new QComboBox;
  frequency_->addItems({QStringLiteral("Every Day"), QStringLiteral("Every Week"),
                        QStringLiteral("Every Month")});
  notify_ = new QCheckBox(QStringLiteral("&Send notification by e-mail after transfer..."));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  ok_ = buttons->button(QDialogButtonBox::Ok);

  startDate_->setDate(ToDate(data.startDate));
  startTime_->setTime(ToTime(data.startTime));
  endDate_->setMinimumDate(startDate_->date());
  endDate_->setDate(ToDate(data.endDate));
  endTime_->setTime(ToTime(data.endTime));
  restrict_->setChecked(data.restrict);
  recurring_->setChecked(data.recurring);
  frequency_->setCurrentIndex(data.frequency >= 1 && data.frequency <= 3 ? data.frequency - 1 : -1);
  frequency_->setEnabled(data.recurring);
  endDate_->setEnabled(data.restrict);
  endTime_->setEnabled(data.restrict);
  notify_->setChecked(data.notify);
  UpdateEndTimeLimit();
  ShowFile();

  // Layout: the file, the start, the restricted end, recurrence, e-mail.
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(select_);
  auto* when = new QGroupBox(QStringLiteral("Start"));
  auto* whenGrid = new QGridLayout(when);
  whenGrid->addWidget(new QLabel(QStringLiteral("Date:")), 0, 0);
  whenGrid->addWidget(startDate_, 0, 1);
  whenGrid->addWidget(new QLabel(QStringLiteral("Time:")), 0, 2);
  whenGrid->addWidget(startTime_, 0, 3);
  auto* end = new QGroupBox(QStringLiteral("End"));
  auto* endGrid = new QGridLayout(end);
  endGrid->addWidget(restrict_, 0, 0, 1, 4);
  endGrid->addWidget(new QLabel(QStringLiteral("Date:")), 1, 0);
  endGrid->addWidget(endDate_, 1, 1);
  endGrid->addWidget(new QLabel(QStringLiteral("Time:")), 1, 2);
  endGrid->addWidget(endTime_, 1, 3);
  auto* repeat = new QHBoxLayout;
  repeat->addWidget(recurring_);
  repeat->addWidget(frequency_);
  repeat->addStretch();
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(fileRow);
  outer->addWidget(when);
  outer->addWidget(end);
  outer->addLayout(repeat);
  outer->addWidget(notify_);
  outer->addSpacing(6);
  outer->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(select_, &QPushButton::clicked, this, &AddDialog::SelectFileClicked);
  connect(startDate_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
    endDate_->setMinimumDate(d);
    UpdateEndTimeLimit();
  });
  connect(startTime_, &QTimeEdit::timeChanged, this, [this] { UpdateEndTimeLimit(); });
  connect(endDate_, &QDateEdit::dateChanged, this, [this] { UpdateEndTimeLimit(); });
  connect(restrict_, &QCheckBox::toggled, this, [this](bool on) {
    endDate_->setEnabled(on);
    endTime_->setEnabled(on);
  });
  connect(recurring_, &QCheckBox::toggled, this, [this](bool on) {
    frequency_->setEnabled(on);
    if (frequency_->currentIndex() < 0) frequency_->setCurrentIndex(0);
  });
  connect(notify_, &QCheckBox::clicked, this, &AddDialog::NotifyClicked);

  askEmail = [this](std::string* host, std::string* sender, std::string* receiver) {
    EmailDialog dlg(*host, *sender, *receiver, this);
    if (dlg.exec() != QDialog::Accepted) return false;
    *host = dlg.Host(), *sender = dlg.Sender(), *receiver = dlg.Receiver();
    return true;
  };
  chooseFile = [this] {
    return QFileDialog::getOpenFileName(this, QString::fromLatin1(sched::kStr1009OpenTitle),
                                        QDir::currentPath(),
                                        QStringLiteral("Tarn Schedule Files (*.tsc)"));
  };

  AttachTopic(startDate_, 2011);
  AttachTopic(startTime_, 2011);
  AttachTopic(endDate_, 3003);
  AttachTopic(endTime_, 3003);
  AttachTopic(notify_, 3004);
  AttachTopic(restrict_, 2006);
  AttachTopic(recurring_, 2001);
  AttachTopic(frequency_, 2008);
  AttachTopic(select_, 2009);
  AttachTopic(buttons->button(QDialogButtonBox::Cancel), 2010);
  InstallF1Help(this);
}

void AddDialog::ShowFile() {
  bool chosen = !queueFile_.empty();
  file_->setText(chosen ? QString::fromStdString(sched::CompactPath(queueFile_, 34))
                        : QString::fromLatin1(sched::kStr1004SelectFile));
  file_->setToolTip(QString::fromStdString(queueFile_));
  ok_->setEnabled(editMode_ || chosen);
}

void AddDialog::SelectFileClicked() {
  QString path = chooseFile();
  if (path.isEmpty()) return;
  queueFile_ = path.toStdString();
  ShowFile();
}

// The end time may not lie before the start on the same day; on a later
// day any time of the day is a later moment.
void AddDialog::UpdateEndTimeLimit() {
  if (endDate_->date() <= startDate_->date())
    endTime_->setMinimumTime(startTime_->time());
  else
    endTime_->setMinimumTime(QTime(0, 0, 0));
}

void AddDialog::NotifyClicked(bool checked) {
  if (!checked) return;  // notify goes off; the stored values stay
  std::string host = smtpHost_, sender = sender_, receiver = receiver_;
  if (askEmail(&host, &sender, &receiver)) {
    smtpHost_ = host, sender_ = sender, receiver_ = receiver;
    return;
  }
  smtpHost_.clear(), sender_.clear(), receiver_.clear();
  notify_->setChecked(false);
}

sched::EditorData AddDialog::Data() const {
  sched::EditorData d;
  d.queueFile = queueFile_;
  d.restrict = restrict_->isChecked();
  d.startDate = FromDate(startDate_->date());
  d.startTime = FromTime(startTime_->time());
  d.endDate = FromDate(endDate_->date());
  d.endTime = FromTime(endTime_->time());
  d.recurring = recurring_->isChecked();
  d.frequency = frequency_->currentIndex() + 1;  // 0 when none is chosen
  d.notify = notify_->isChecked();
  d.sender = sender_, d.receiver = receiver_, d.smtpHost = smtpHost_;
  return d;
}

}  // namespace sched_app
