#include "client/shell/settings_security_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "client/shell/settings_widgets.h"

namespace tarn::shell {

using namespace settings_ui;

SecuritySettingsPage::SecuritySettingsPage(QWidget* parent) : QWidget(parent) {
  auto* top = new QVBoxLayout(this);
  use_ = new QCheckBox("Use SSL/TLS (use only with SSL capable FTP servers)", this);
  top->addWidget(use_);

  auto* group = new QGroupBox("Security", this);
  auto* grid = new QGridLayout(group);
  type_ = new QComboBox(group);
  for (const char* item : kSecurityTypeItems) type_->addItem(item);
  strength_ = new QComboBox(group);
  for (const char* item : kCipherStrengthItems) strength_->addItem(item);
  grid->addWidget(new QLabel("Security Type", group), 0, 0);
  grid->addWidget(type_, 0, 1, 1, 2);
  grid->addWidget(new QLabel("Preferred Cipher Strength", group), 1, 0);
  grid->addWidget(strength_, 1, 1, 1, 2);

  expired_ = new QCheckBox("Accept Expired Certificate", group);
  selfSigned_ = new QCheckBox("Accept Self Signed Certificate", group);
  future_ = new QCheckBox("Accept Certificate not yet valid", group);
  invalid_ = new QCheckBox("Accept Invalid Certificate", group);
  grid->addWidget(expired_, 2, 0, 1, 3);
  grid->addWidget(selfSigned_, 3, 0, 1, 3);
  grid->addWidget(future_, 4, 0, 1, 3);
  grid->addWidget(invalid_, 5, 0, 1, 3);

  certFile_ = LimitedBox(group, kCertFileLimit);
  browse_ = new QPushButton("...", group);
  browse_->setAutoDefault(false);
  browse_->setFixedWidth(browse_->fontMetrics().horizontalAdvance("...") + 24);
  certPassword_ = LimitedBox(group, kSecretLimit, true);
  grid->addWidget(new QLabel("Certificate File", group), 6, 0);
  grid->addWidget(certFile_, 6, 1);
  grid->addWidget(browse_, 6, 2);
  grid->addWidget(new QLabel("Password", group), 7, 0);
  grid->addWidget(certPassword_, 7, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  top->addWidget(group);
  top->addStretch(1);

  connect(use_, &QCheckBox::toggled, this, &SecuritySettingsPage::UpdateEnabling);
  connect(browse_, &QPushButton::clicked, this, &SecuritySettingsPage::certFileRequested);
  Load(SecurityPageValues{});
}

void SecuritySettingsPage::Load(const SecurityPageValues& v) {
  QSignalBlocker block(use_);
  use_->setChecked(v.useTls);
  // A stored index outside the lists shows no selection, which the
  // page's check then asks about.
  type_->setCurrentIndex(v.type >= 0 && v.type < type_->count() ? v.type : -1);
  strength_->setCurrentIndex(v.strength >= 0 && v.strength < strength_->count() ? v.strength : -1);
  expired_->setChecked(v.acceptExpired);
  selfSigned_->setChecked(v.acceptSelfSigned);
  future_->setChecked(v.acceptFuture);
  invalid_->setChecked(v.acceptInvalid);
  certFile_->setText(Q(v.certFile));
  certPassword_->setText(Q(v.certPassword));
  UpdateEnabling();
}

SecurityPageValues SecuritySettingsPage::Values() const {
  SecurityPageValues v;
  v.useTls = use_->isChecked();
  v.type = type_->currentIndex();
  v.strength = strength_->currentIndex();
  v.acceptExpired = expired_->isChecked();
  v.acceptSelfSigned = selfSigned_->isChecked();
  v.acceptFuture = future_->isChecked();
  v.acceptInvalid = invalid_->isChecked();
  v.certFile = S(certFile_->text());
  v.certPassword = S(certPassword_->text());
  return v;
}

void SecuritySettingsPage::SetAvailable(bool available) {
  available_ = available;
  UpdateEnabling();
}

void SecuritySettingsPage::SetCertFile(const std::string& path) { certFile_->setText(Q(path)); }

void SecuritySettingsPage::UpdateEnabling() {
  const bool on = available_ && SecurityFieldsEnabled(Values());
  use_->setEnabled(available_);
  for (QWidget* w : std::initializer_list<QWidget*>{type_, strength_, expired_, selfSigned_, future_,
                                                    invalid_, certFile_, browse_, certPassword_})
    w->setEnabled(on);
}

QWidget* SecuritySettingsPage::FieldWidget(SettingsField field) const {
  switch (field) {
    case SettingsField::kSecurityType: return type_;
    case SettingsField::kCipherStrength: return strength_;
    case SettingsField::kCertFile: return certFile_;
    case SettingsField::kCertPassword: return certPassword_;
    default: return nullptr;
  }
}

}  // namespace tarn::shell
