#include "client/shell/queue_status_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <cinttypes>
#include <cstdio>

namespace tarn::shell {

std::string KBytesText(int64_t kbytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%" PRId64 " KBytes transferred", kbytes);
  return text;
}

QueueStatusDialog::QueueStatusDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(kQueueStatusTitle);
  setObjectName("queueStatus");
  status_ = new QLabel(kStatusConnectingText, this);
  detail_ = new QLabel(kStatusNotConnectedText, this);
  progress_ = new QLabel(kStatusWaitingText, this);
  QFont bold = status_->font();
  bold.setBold(true);
  status_->setFont(bold);
  // Long paths are cut in the middle by the label's width, never widen it.
  detail_->setMinimumWidth(420);
  detail_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  animation_ = new QProgressBar(this);
  animation_->setRange(0, 0);  // busy: the bar sweeps while the run works
  animation_->setTextVisible(false);
  animation_->setMaximumHeight(12);
  cancel_ = new QPushButton("Cancel", this);
  connect(cancel_, &QPushButton::clicked, this, &QueueStatusDialog::reject);

  auto* lines = new QVBoxLayout;
  lines->addWidget(status_);
  lines->addWidget(detail_);
  lines->addWidget(progress_);
  lines->addSpacing(6);
  lines->addWidget(animation_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lines);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  setMinimumWidth(460);
}

void QueueStatusDialog::OnGui(std::function<void()> f) {
  if (QThread::currentThread() == thread())
    f();
  else
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void QueueStatusDialog::SetStatus(const std::string& text) {
  OnGui([this, t = QString::fromStdString(text)] { status_->setText(t); });
}

void QueueStatusDialog::SetDetail(const std::string& text) {
  OnGui([this, t = QString::fromStdString(text)] {
    detail_->setText(fontMetrics().elidedText(t, Qt::ElideMiddle, detail_->width()));
    detail_->setToolTip(t);
  });
}

void QueueStatusDialog::SetKBytes(int64_t kbytes) {
  OnGui([this, t = QString::fromStdString(KBytesText(kbytes))] { progress_->setText(t); });
}

void QueueStatusDialog::ShowStopping() {
  animation_->setRange(0, 1);
  animation_->setValue(0);
  cancel_->setEnabled(false);
}

bool QueueStatusDialog::animating() const { return animation_->maximum() == 0; }

void QueueStatusDialog::reject() {
  // The dialog stays until the run has wound down; the run closes it.
  if (cancel_->isEnabled()) emit cancelRequested();
}

}  // namespace tarn::shell
