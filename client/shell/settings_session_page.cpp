#include "client/shell/settings_session_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "client/session/session_store.h"
#include "client/shell/settings_widgets.h"

namespace tarn::shell {

using namespace settings_ui;

SessionSettingsPage::SessionSettingsPage(const std::vector<std::string>& connectViaItems,
                                         QWidget* parent)
    : QWidget(parent), viaItems_(connectViaItems) {
  auto* top = new QVBoxLayout(this);

  // The session list and its buttons.
  auto* listRow = new QHBoxLayout;
  sessions_ = new QComboBox(this);
  sessions_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  sessions_->setMinimumContentsLength(24);
  listRow->addWidget(BuddyLabel("FTP Host:", sessions_, this));
  listRow->addWidget(sessions_, 1);
  edit_ = new QPushButton("&Edit", this);
  delete_ = new QPushButton("&Delete", this);
  new_ = new QPushButton("&New", this);
  rename_ = new QPushButton("&Rename", this);
  for (QPushButton* b : {edit_, delete_, new_, rename_}) {
    b->setAutoDefault(false);
    listRow->addWidget(b);
  }
  top->addLayout(listRow);

  // The host.
  auto* host = new QGroupBox("Host", this);
  auto* hg = new QGridLayout(host);
  hostName_ = LimitedBox(host, kHostNameLimit);
  port_ = new QSpinBox(host);
  port_->setRange(0, 65535);
  port_->setValue(21);
  connectVia_ = new QComboBox(host);
  for (const auto& item : viaItems_) connectVia_->addItem(Q(item));
  transfer_ = new QComboBox(host);
  for (const char* item : kDefaultTransferItems) transfer_->addItem(item);
  hg->addWidget(BuddyLabel("Host Name/ IP Address:", hostName_, host), 0, 0);
  hg->addWidget(hostName_, 0, 1, 1, 3);
  hg->addWidget(BuddyLabel("FTP Port:", port_, host), 1, 0);
  hg->addWidget(port_, 1, 1);
  hg->addWidget(BuddyLabel("Connect via:", connectVia_, host), 1, 2, Qt::AlignRight);
  hg->addWidget(connectVia_, 1, 3);
  hg->addWidget(BuddyLabel("Default Transfer:", transfer_, host), 2, 0);
  hg->addWidget(transfer_, 2, 1);
  hg->setColumnStretch(3, 1);
  top->addWidget(host);

  // The log-on.
  auto* user = new QGroupBox("User Name", this);
  auto* ug = new QGridLayout(user);
  logon_ = new QButtonGroup(this);
  const char* logonTexts[] = {"Anonymous", "Prompt while connecting", "Specify:"};
  for (int i = 0; i < 3; ++i) {
    logonButtons_[i] = new QRadioButton(logonTexts[i], user);
    logon_->addButton(logonButtons_[i], i);
  }
  userName_ = LimitedBox(user, kUserNameLimit);
  savePasswords_ = new QCheckBox("Save Password(s)", user);
  password_ = LimitedBox(user, kSecretLimit, true);
  account_ = LimitedBox(user, kSecretLimit, true);
  ug->addWidget(logonButtons_[0], 0, 0, 1, 2);
  ug->addWidget(logonButtons_[1], 1, 0, 1, 2);
  ug->addWidget(logonButtons_[2], 2, 0);
  ug->addWidget(userName_, 2, 1, 1, 3);
  ug->addWidget(savePasswords_, 3, 0);
  ug->addWidget(BuddyLabel("Password:", password_, user), 3, 1, Qt::AlignRight);
  ug->addWidget(password_, 3, 2, 1, 2);
  ug->addWidget(BuddyLabel("Account:", account_, user), 4, 1, Qt::AlignRight);
  ug->addWidget(account_, 4, 2, 1, 2);
  ug->setColumnStretch(3, 1);
  top->addWidget(user);

  // The initial directories.
  auto* dirs = new QGridLayout;
  hostDir_ = LimitedBox(this, kDirectoryLimit);
  localDir_ = LimitedBox(this, kDirectoryLimit);
  browse_ = new QPushButton("...", this);
  browse_->setAutoDefault(false);
  browse_->setFixedWidth(browse_->fontMetrics().horizontalAdvance("...") + 24);
  dirs->addWidget(BuddyLabel("Initial Host Directory (optional):", hostDir_, this), 0, 0);
  dirs->addWidget(hostDir_, 0, 1, 1, 2);
  dirs->addWidget(BuddyLabel("Initial Local Directory (optional):", localDir_, this), 1, 0);
  dirs->addWidget(localDir_, 1, 1);
  dirs->addWidget(browse_, 1, 2);
  top->addLayout(dirs);
  top->addStretch(1);

  fields_ = {hostName_, port_, connectVia_, transfer_, logonButtons_[0], logonButtons_[1],
             logonButtons_[2], userName_, savePasswords_, password_, account_, hostDir_,
             localDir_, browse_};

  connect(sessions_, &QComboBox::activated, this, &SessionSettingsPage::sessionChosen);
  connect(edit_, &QPushButton::clicked, this, &SessionSettingsPage::editRequested);
  connect(delete_, &QPushButton::clicked, this, &SessionSettingsPage::deleteRequested);
  connect(new_, &QPushButton::clicked, this, &SessionSettingsPage::newRequested);
  connect(rename_, &QPushButton::clicked, this, &SessionSettingsPage::renameRequested);
  connect(browse_, &QPushButton::clicked, this, &SessionSettingsPage::localFolderRequested);
  connect(logon_, &QButtonGroup::idClicked, this, &SessionSettingsPage::OnLogonChosen);
  connect(savePasswords_, &QCheckBox::toggled, this, &SessionSettingsPage::UpdateEnabling);

  SetSessions({}, -1);
  Load(SessionPageValues{});
}

void SessionSettingsPage::SetSessions(const std::vector<std::string>& names, int current) {
  QSignalBlocker block(sessions_);
  sessions_->clear();
  haveSessions_ = !names.empty();
  if (!haveSessions_) {
    sessions_->addItem(kNoSessionsText);
  } else {
    for (const auto& n : names) sessions_->addItem(Q(n));
  }
  sessions_->setCurrentIndex(haveSessions_ && current >= 0 && current < static_cast<int>(names.size())
                                 ? current
                                 : 0);
  UpdateEnabling();
}

std::vector<std::string> SessionSettingsPage::Sessions() const {
  std::vector<std::string> out;
  if (!haveSessions_) return out;
  for (int i = 0; i < sessions_->count(); ++i) out.push_back(S(sessions_->itemText(i)));
  return out;
}

int SessionSettingsPage::currentSession() const { return haveSessions_ ? sessions_->currentIndex() : -1; }

void SessionSettingsPage::SelectSession(int index) {
  QSignalBlocker block(sessions_);
  sessions_->setCurrentIndex(index);
}

void SessionSettingsPage::Load(const SessionPageValues& v) {
  hostName_->setText(Q(v.hostName));
  port_->setValue(v.port.empty() ? 21 : std::clamp(Q(v.port).toInt(), 0, 65535));
  int via = connectVia_->findText(Q(v.connectVia), Qt::MatchExactly);
  connectVia_->setCurrentIndex(via >= 0 ? via : 0);
  transfer_->setCurrentIndex(static_cast<int>(v.transfer));
  logonButtons_[static_cast<int>(v.logon)]->setChecked(true);
  userName_->setText(Q(v.userName));
  {
    QSignalBlocker block(savePasswords_);
    savePasswords_->setChecked(v.savePasswords);
  }
  password_->setText(Q(v.password));
  account_->setText(Q(v.account));
  hostDir_->setText(Q(v.hostDir));
  localDir_->setText(Q(v.localDir));
  UpdateEnabling();
}

SessionPageValues SessionSettingsPage::Values() const {
  SessionPageValues v;
  if (haveSessions_) v.sessionName = S(sessions_->currentText());
  v.hostName = S(hostName_->text());
  v.port = std::to_string(port_->value());
  v.connectVia = S(connectVia_->currentText());
  v.transfer = static_cast<DefaultTransfer>(std::max(0, transfer_->currentIndex()));
  v.logon = static_cast<LogonChoice>(std::max(0, logon_->checkedId()));
  v.userName = S(userName_->text());
  v.savePasswords = savePasswords_->isChecked();
  v.password = S(password_->text());
  v.account = S(account_->text());
  v.hostDir = S(hostDir_->text());
  v.localDir = S(localDir_->text());
  return v;
}

void SessionSettingsPage::SetEditing(bool editing) {
  editing_ = editing;
  UpdateEnabling();
}

void SessionSettingsPage::OnLogonChosen(int id) {
  SessionPageValues v = Values();
  ChooseLogon(&v, static_cast<LogonChoice>(id));
  QSignalBlocker block(savePasswords_);
  savePasswords_->setChecked(v.savePasswords);
  UpdateEnabling();
}

void SessionSettingsPage::UpdateEnabling() {
  const bool on = editing_ && haveSessions_;
  for (QWidget* w : fields_) w->setEnabled(on);
  const SessionPageEnabling e = SessionEnabling(Values());
  userName_->setEnabled(on && e.userName);
  savePasswords_->setEnabled(on && e.savePasswords);
  password_->setEnabled(on && e.secrets);
  account_->setEnabled(on && e.secrets);
  sessions_->setEnabled(haveSessions_);
  edit_->setEnabled(haveSessions_ && !editing_);
  delete_->setEnabled(haveSessions_ && !editing_);
  new_->setEnabled(!editing_);
  rename_->setEnabled(haveSessions_);
}

QWidget* SessionSettingsPage::FieldWidget(SettingsField field) const {
  switch (field) {
    case SettingsField::kSessionName: return sessions_;
    case SettingsField::kHostName: return hostName_;
    case SettingsField::kPort: return port_;
    case SettingsField::kConnectVia: return connectVia_;
    case SettingsField::kDefaultTransfer: return transfer_;
    case SettingsField::kUserName: return userName_;
    case SettingsField::kPassword: return password_;
    case SettingsField::kAccount: return account_;
    case SettingsField::kHostDir: return hostDir_;
    case SettingsField::kLocalDir: return localDir_;
    default: return nullptr;
  }
}

QPushButton* SessionSettingsPage::button(const char* which) const {
  const std::string w = which;
  if (w == "edit") return edit_;
  if (w == "delete") return delete_;
  if (w == "new") return new_;
  if (w == "rename") return rename_;
  return nullptr;
}

}  // namespace tarn::shell
