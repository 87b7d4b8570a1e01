#include "client/shell/transfer_questions.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "client/engine/transfer_batch.h"

namespace tarn::shell {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* Picture(QWidget* parent, QStyle::StandardPixmap which, int size) {
  auto* l = new QLabel(parent);
  l->setPixmap(parent->style()->standardIcon(which, nullptr, parent).pixmap(size, size));
  l->setAlignment(Qt::AlignTop);
  return l;
}

// One file of the question: its icon, the size and "modified on" the date.
QWidget* FileFacts(QWidget* parent, const std::string& size, const std::string& date) {
  auto* w = new QWidget(parent);
  auto* row = new QHBoxLayout(w);
  row->setContentsMargins(24, 2, 0, 2);
  row->addWidget(Picture(w, QStyle::SP_FileIcon, 32));
  auto* text = new QLabel(Q(size) + "\n" + "modified on " + Q(date), w);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  row->addWidget(text, 1);
  return w;
}

QPushButton* Button(QDialogButtonBox* box, const char* text, const char* name,
                    QDialogButtonBox::ButtonRole role) {
  QPushButton* b = box->addButton(QString::fromLatin1(text), role);
  b->setObjectName(QString::fromLatin1(name));
  return b;
}

}  // namespace

ReplaceDialog::ReplaceDialog(const ReplaceQuestion& q, QWidget* owner) : QDialog(owner) {
  setWindowTitle(kReplaceCaption);
  setModal(true);
  auto* grid = new QGridLayout;
  grid->addWidget(Picture(this, QStyle::SP_MessageBoxQuestion, 40), 0, 0, 4, 1);
  auto* ask = new QLabel("Would you like to replace '" + Q(q.name) + "'", this);
  ask->setWordWrap(true);
  ask->setMaximumWidth(480);
  grid->addWidget(ask, 0, 1);
  grid->addWidget(FileFacts(this, q.existingSize, q.existingDate), 1, 1);
  grid->addWidget(new QLabel("with this one?", this), 2, 1);
  grid->addWidget(FileFacts(this, q.newSize, q.newDate), 3, 1);
  grid->setColumnStretch(1, 1);
  grid->setHorizontalSpacing(14);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* yes = Button(buttons, "&Yes", kYes, QDialogButtonBox::YesRole);
  QPushButton* all = Button(buttons, "Yes to &All", kYesToAll, QDialogButtonBox::YesRole);
  QPushButton* no = Button(buttons, "&No", kNo, QDialogButtonBox::NoRole);
  QPushButton* cancel = Button(buttons, "Cancel", kCancel, QDialogButtonBox::RejectRole);
  yes->setDefault(true);
  auto answer = [this](ReplaceAnswer a) {
    answer_ = a;
    done(QDialog::Accepted);
  };
  connect(yes, &QPushButton::clicked, this, [answer] { answer(ReplaceAnswer::kYes); });
  connect(all, &QPushButton::clicked, this, [answer] { answer(ReplaceAnswer::kYesToAll); });
  connect(no, &QPushButton::clicked, this, [answer] { answer(ReplaceAnswer::kNo); });
  connect(cancel, &QPushButton::clicked, this, [answer] { answer(ReplaceAnswer::kCancel); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(6);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ReplaceDialog::reject() {
  answer_ = ReplaceAnswer::kCancel;
  QDialog::reject();
}

ReplaceAnswer ReplaceDialog::Ask(const ReplaceQuestion& q, QWidget* owner) {
  ReplaceDialog d(q, owner);
  QApplication::beep();
  d.exec();
  return d.answer();
}

ResumeOptionsDialog::ResumeOptionsDialog(const std::string& text, const std::string& fileName,
                                         QWidget* owner)
    : QDialog(owner) {
  setWindowTitle(kResumeOptionsCaption);
  setModal(true);
  auto* top = new QHBoxLayout;
  top->addWidget(Picture(this, QStyle::SP_MessageBoxQuestion, 40));
  auto* words = new QVBoxLayout;
  words->addWidget(new QLabel(Q(text), this));
  auto* name = new QLabel(Q(fileName), this);
  name->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  words->addWidget(name);
  top->addLayout(words, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* resume = Button(buttons, "Resume", kResume, QDialogButtonBox::AcceptRole);
  QPushButton* overwrite = Button(buttons, "Overwrite", kOverwrite, QDialogButtonBox::DestructiveRole);
  QPushButton* cancel = Button(buttons, "Cancel", kCancel, QDialogButtonBox::RejectRole);
  resume->setDefault(true);
  auto answer = [this](ResumeAnswer a) {
    answer_ = a;
    done(QDialog::Accepted);
  };
  connect(resume, &QPushButton::clicked, this, [answer] { answer(ResumeAnswer::kResume); });
  connect(overwrite, &QPushButton::clicked, this, [answer] { answer(ResumeAnswer::kOverwrite); });
  connect(cancel, &QPushButton::clicked, this, [answer] { answer(ResumeAnswer::kCancel); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ResumeOptionsDialog::reject() {
  answer_ = ResumeAnswer::kCancel;
  QDialog::reject();
}

ResumeAnswer ResumeOptionsDialog::Ask(const std::string& text, const std::string& fileName,
                                      QWidget* owner) {
  ResumeOptionsDialog d(text, fileName, owner);
  d.exec();
  return d.answer();
}

}  // namespace tarn::shell
