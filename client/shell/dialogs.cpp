#include "client/shell/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/shell/dialup_dialog.h"
#include "client/shell/settings_sheet.h"

namespace tarn::shell {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// A dialog whose OK runs `check` first: a non-empty answer is shown as a
// warning and the dialog stays open.
class CheckedDialog : public QDialog {
 public:
  CheckedDialog(QWidget* owner, const QString& caption, std::function<QString()> check,
                const QString& warnCaption)
      : QDialog(owner), check_(std::move(check)), warnCaption_(warnCaption) {
    setWindowTitle(caption);
    setModal(true);
  }
  void accept() override {
    if (check_) {
      QString problem = check_();
      if (!problem.isEmpty()) {
        QMessageBox::warning(this, warnCaption_, problem);
        return;
      }
    }
    QDialog::accept();
  }

 private:
  std::function<QString()> check_;
  QString warnCaption_;
};

QDialogButtonBox* OkCancel(QDialog* d) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, d);
  QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return buttons;
}

QLineEdit* Field(QWidget* parent, const std::string& value, int maxLength, bool masked = false) {
  auto* e = new QLineEdit(Q(value), parent);
  e->setMaxLength(maxLength);
  if (masked) e->setEchoMode(QLineEdit::Password);
  e->setMinimumWidth(300);
  return e;
}

}  // namespace

std::string CheckQuickConnect(const QuickConnectInput& in) {
  if (Trimmed(in.address).empty()) return kQuickConnectAddressMissing;
  const std::string port = Trimmed(in.port);
  if (!port.empty()) {
    bool digits = port.find_first_not_of("0123456789") == std::string::npos && port.size() <= 5;
    if (!digits || std::stoi(port) < 1 || std::stoi(port) > 65535)
      return "The port must be a number from 1 to 65535";
  }
  return "";
}

QString DialogText(const std::string& text) {
  QString out;
  out.reserve(static_cast<int>(text.size()));
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += QChar::fromLatin1(ch);
    }
  }
  // Texts of servers and sessions are UTF-8 where they are not ASCII.
  return QString::fromUtf8(out.toLatin1());
}

BoxResult QtDialogs::Box(const std::string& text, const std::string& caption, BoxButtons buttons,
                         BoxIcon icon) {
  QMessageBox box(owner_);
  box.setWindowTitle(Q(caption.empty() ? title_ : caption));
  box.setText(DialogText(text));
  switch (icon) {
    case BoxIcon::kInformation: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::kWarning: box.setIcon(QMessageBox::Warning); break;
    case BoxIcon::kError: box.setIcon(QMessageBox::Critical); break;
    case BoxIcon::kQuestion: box.setIcon(QMessageBox::Question); break;
    case BoxIcon::kApplication:
      box.setIconPixmap(QIcon(":/tarn/icons/tarn.svg").pixmap(48, 48));
      break;
    case BoxIcon::kNone: break;
  }
  switch (buttons) {
    case BoxButtons::kOk: box.setStandardButtons(QMessageBox::Ok); break;
    case BoxButtons::kOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case BoxButtons::kYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case BoxButtons::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return BoxResult::kOk;
    case QMessageBox::Yes: return BoxResult::kYes;
    case QMessageBox::No: return BoxResult::kNo;
    default:
      // Closing the box answers as its safest button does.
      return buttons == BoxButtons::kYesNo ? BoxResult::kNo
             : buttons == BoxButtons::kOk  ? BoxResult::kOk
                                           : BoxResult::kCancel;
  }
}

bool QtDialogs::Logon(LogonPrompt* p) {
  QLineEdit* user = nullptr;
  QLineEdit* pass = nullptr;
  CheckedDialog d(
      owner_, "Logon to FTP Host",
      [&]() -> QString {
        if (user->text().isEmpty()) return "User name not entered";
        if (pass->text().isEmpty()) return "Password not entered";
        return {};
      },
      Q(title_));
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("Please provide the required logon information for", &d));
  auto* name = new QLabel(Q(p->sessionName), &d);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  layout->addWidget(name);
  auto* form = new QFormLayout;
  user = Field(&d, p->userName, 259);
  pass = Field(&d, p->password, 259, true);
  form->addRow("User Name:", user);
  form->addRow("Password:", pass);
  layout->addLayout(form);
  layout->addWidget(OkCancel(&d));
  (p->focusUser ? user : pass)->setFocus();
  if (d.exec() != QDialog::Accepted) return false;
  p->userName = user->text().toStdString();
  p->password = pass->text().toStdString();
  return true;
}

bool QtDialogs::Text(const std::string& caption, const std::string& label, bool masked,
                     std::string* value) {
  QDialog d(owner_);
  d.setWindowTitle(Q(caption));
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel(DialogText(label), &d));
  QLineEdit* edit = Field(&d, *value, 259, masked);
  layout->addWidget(edit);
  layout->addWidget(OkCancel(&d));
  if (d.exec() != QDialog::Accepted) return false;
  *value = edit->text().toStdString();
  return true;
}

bool QtDialogs::QuickConnect(QuickConnectInput* in) {
  QLineEdit* address = nullptr;
  QLineEdit* port = nullptr;
  QLineEdit* user = nullptr;
  QLineEdit* pass = nullptr;
  auto read = [&] {
    QuickConnectInput r;
    r.address = address->text().trimmed().toStdString();
    r.port = port->text().trimmed().toStdString();
    r.userName = user->text().trimmed().toStdString();
    r.password = pass->text().toStdString();
    return r;
  };
  CheckedDialog d(owner_, "Quick Connect", [&] { return Q(CheckQuickConnect(read())); },
                  Q(title_));
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("Connect to an FTP host without a stored session.", &d));
  auto* form = new QFormLayout;
  address = Field(&d, in->address, 259);
  address->setPlaceholderText("e.g. ftp.example.org/pub");
  address->setToolTip("Host name or IP address; a directory after it is where the connection starts");
  port = Field(&d, in->port, 5);
  port->setValidator(new QIntValidator(1, 65535, port));
  user = Field(&d, in->userName, 259);
  user->setPlaceholderText("empty: anonymous");
  pass = Field(&d, in->password, 129, true);
  form->addRow("IP &address:", address);
  form->addRow("&Port:", port);
  form->addRow("&User name:", user);
  form->addRow("Pass&word:", pass);
  layout->addLayout(form);
  layout->addWidget(OkCancel(&d));
  address->setFocus();
  if (d.exec() != QDialog::Accepted) return false;
  *in = read();
  return true;
}

bool QtDialogs::CustomCommand(std::string* command) {
  QLineEdit* edit = nullptr;
  CheckedDialog d(
      owner_, "Custom FTP Command",
      [&]() -> QString {
        return edit->text().trimmed().isEmpty() ? "Please type a valid FTP command" : QString();
      },
      Q(title_));
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("Enter custom FTP command:", &d));
  edit = Field(&d, *command, 259);
  edit->setMinimumWidth(360);
  layout->addWidget(edit);
  layout->addWidget(OkCancel(&d));
  if (d.exec() != QDialog::Accepted) return false;
  *command = edit->text().toStdString();
  return true;
}

void QtDialogs::CommandResults(const std::string& text) {
  QDialog d(owner_);
  d.setWindowTitle("Results of custom FTP command");
  auto* layout = new QVBoxLayout(&d);
  auto* view = new QPlainTextEdit(&d);
  view->setReadOnly(true);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setPlainText(DialogText(text));
  view->setMinimumSize(560, 260);
  layout->addWidget(view);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &d);
  QObject::connect(ok, &QDialogButtonBox::accepted, &d, &QDialog::accept);
  layout->addWidget(ok);
  d.exec();
}

bool QtDialogs::NewFolderName(std::string* name) {
  QLineEdit* edit = nullptr;
  CheckedDialog d(
      owner_, "Create New Folder",
      [&]() -> QString {
        return edit->text().trimmed().isEmpty() ? "Please type a name for the new folder" : QString();
      },
      Q(title_));
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("Name of the new folder:", &d));
  edit = Field(&d, *name, 259);
  edit->selectAll();
  layout->addWidget(edit);
  layout->addWidget(OkCancel(&d));
  if (d.exec() != QDialog::Accepted) return false;
  *name = edit->text().toStdString();
  return true;
}

bool QtDialogs::DialUpPassword(const std::string& entry, const std::string& userName,
                               std::string* password) {
  return AskDialUpPassword(owner_, entry, userName, password);
}

bool QtDialogs::Settings(ShellContext& ctx, SettingsMode mode, const std::string& name,
                         const std::vector<std::string>& zoomPaths, const HostRecord* prefill) {
  return ShowSettings(owner_, ctx, mode, name, zoomPaths, prefill);
}

}  // namespace tarn::shell
