// "Email Notification", "Overdue Schedule" and the About box.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

namespace sched_app {

// Edits the SMTP host, the sender and the receiver; OK only with values
// that pass the checks (the first failure is shown and its field selected).
class EmailDialog : public QDialog {
  Q_OBJECT
 public:
  EmailDialog(const std::string& host, const std::string& sender, const std::string& receiver,
              QWidget* parent = nullptr);
  std::string Host() const { return host_->text().toStdString(); }
  std::string Sender() const { return sender_->text().toStdString(); }
  std::string Receiver() const { return receiver_->text().toStdString(); }
  QLineEdit* HostEdit() const { return host_; }
  QLineEdit* SenderEdit() const { return sender_; }
  QLineEdit* ReceiverEdit() const { return receiver_; }

  void accept() override;

 signals:
  // The check that refused OK; the box is shown by the slot connected to it
  // (a message box by default).
  void refused(const QString& message);

 private:
  QLineEdit* host_;
  QLineEdit* sender_;
  QLineEdit* receiver_;
};

// Asks about a missed schedule. Only its three buttons end it; Escape and
// the close box do nothing. exec() returns the button's id.
class OverdueDialog : public QDialog {
  Q_OBJECT
 public:
  explicit OverdueDialog(const QString& text, QWidget* parent = nullptr);
  void reject() override {}
  QPushButton* Button(int id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
  static QString WebAddress() { return QStringLiteral("https://tarn.example/almanor/"); }
};

}  // namespace sched_app
