#include "scheduler/app/small_dialogs.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>

#include "scheduler/app/icons.h"
#include "scheduler/model/dialog_rules.h"
#include "scheduler/model/messages.h"

namespace sched_app {

// ---- Email Notification -------------------------------------------------------

EmailDialog::EmailDialog(const std::string& host, const std::string& sender,
                         const std::string& receiver, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Email Notification"));
  setWindowIcon(ReadyIcon());
  auto* picture = new QLabel;
  picture->setPixmap(MailIcon().pixmap(32, 32));
  picture->setAlignment(Qt::AlignTop);
  host_ = new QLineEdit(QString::fromStdString(host));
  sender_ = new QLineEdit(QString::fromStdString(sender));
  receiver_ = new QLineEdit(QString::fromStdString(receiver));
  for (auto* e : {host_, sender_, receiver_}) e->setMinimumWidth(260);
  auto* form = new QVBoxLayout;
  auto add = [&](const char* label, QLineEdit* edit) {
    auto* l = new QLabel(QString::fromLatin1(label));
    l->setBuddy(edit);
    form->addWidget(l);
    form->addWidget(edit);
    form->addSpacing(4);
  };
  add("Mail Server (SMTP Host):", host_);
  add("Enter your e-mail address (sender):", sender_);
  add("Enter the receiver's e-mail address:", receiver_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &EmailDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &EmailDialog::reject);
  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addSpacing(8);
  top->addLayout(form, 1);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(top);
  outer->addWidget(buttons);
  connect(this, &EmailDialog::refused, this, [this](const QString& message) {
    QMessageBox::information(this, windowTitle(), message);
  });
}

void EmailDialog::accept() {
  sched::EmailCheck c = sched::CheckEmailValues(Host(), Sender(), Receiver());
  if (c.field == sched::EmailField::kNone) {
    QDialog::accept();
    return;
  }
  QLineEdit* bad = c.field == sched::EmailField::kSmtpHost ? host_
                   : c.field == sched::EmailField::kSender ? sender_
                                                            : receiver_;
  emit refused(QString::fromLatin1(c.message));
  bad->selectAll();
  bad->setFocus();
}

// ---- Overdue Schedule ----------------------------------------------------------

OverdueDialog::OverdueDialog(const QString& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Overdue Schedule"));
  setWindowIcon(ReadyIcon());
  setWindowFlag(Qt::WindowStaysOnTopHint);
  auto* message = new QLabel(text);
  message->setWordWrap(true);
  message->setMinimumWidth(480);
  message->setContentsMargins(4, 4, 4, 4);
  auto* row = new QHBoxLayout;
  row->addStretch();
  struct B {
    int id;
    const char* text;
  } buttons[] = {{sched::kRunNow, "Run now"},
                 {sched::kSkipSchedule, "Skip schedule"},
                 {sched::kDeleteSchedule, "Delete schedule"}};
  for (const auto& b : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(b.text));
    button->setObjectName(QString::number(b.id));
    button->setAutoDefault(false);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 32);
    if (b.id == sched::kRunNow) button->setDefault(true);
    int id = b.id;
    connect(button, &QPushButton::clicked, this, [this, id] { done(id); });
    row->addWidget(button);
  }
  row->addStretch();
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 16, 16, 12);
  outer->addWidget(message);
  outer->addSpacing(12);
  outer->addLayout(row);
}

QPushButton* OverdueDialog::Button(int id) const {
  return findChild<QPushButton*>(QString::number(id));
}

void OverdueDialog::closeEvent(QCloseEvent* event) { event->ignore(); }

// ---- About ------------------------------------------------------------------------

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Tarn Scheduling Application"));
  setWindowIcon(ReadyIcon());
  auto* picture = new QLabel;
  picture->setPixmap(ReadyIcon().pixmap(32, 32));
  picture->setAlignment(Qt::AlignTop);
  auto* text = new QVBoxLayout;
  auto* name = new QLabel(QStringLiteral("Tarn Scheduling Application"));
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  text->addWidget(name);
  text->addWidget(new QLabel(QStringLiteral("Version 1.0 August 13, 2001")));
  text->addWidget(new QLabel(QStringLiteral("Ostravel")));
  auto* link = new QLabel(QStringLiteral("<a href=\"%1\" style=\"color:#800080;\">%1</a>")
                              .arg(WebAddress()));
  link->setObjectName(QStringLiteral("webAddress"));
  link->setTextFormat(Qt::RichText);
  link->setCursor(Qt::PointingHandCursor);
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(link, &QLabel::linkActivated, this,
          [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
  text->addWidget(link);
  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 16, 16, 12);
  outer->addLayout(top);
  outer->addSpacing(12);
  outer->addWidget(ok);
  setMinimumWidth(340);
}

}  // namespace sched_app
