#include "client/shell/dialup_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "client/shell/settings_widgets.h"

namespace tarn::shell {

using namespace settings_ui;

bool AskDialUpPassword(QWidget* owner, const std::string& entry, const std::string& userName,
                       std::string* password) {
  QDialog d(owner);
  d.setWindowTitle("Dial-up Networking Logon");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(new QLabel("Tarn could not find a password for connecting to", &d));
  auto* name = new QLabel(Q(entry), &d);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  layout->addWidget(name);
  auto* hint = new QLabel(
      "If a password is required to connect to this server, please enter it now.  Otherwise,  "
      "click 'OK' to continue.",
      &d);
  hint->setWordWrap(true);
  hint->setMinimumWidth(hint->fontMetrics().averageCharWidth() * 60);
  layout->addWidget(hint);
  auto* form = new QFormLayout;
  auto* user = new QLineEdit(Q(userName), &d);
  user->setReadOnly(true);
  QLineEdit* pass = LimitedBox(&d, 256, true);
  pass->setText(Q(*password));
  pass->setMinimumWidth(pass->fontMetrics().averageCharWidth() * 32);
  form->addRow("User Name:", user);
  form->addRow("Password:", pass);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
  layout->addWidget(buttons);
  pass->setFocus();
  if (d.exec() != QDialog::Accepted) return false;
  *password = S(pass->text());
  return true;
}

}  // namespace tarn::shell
