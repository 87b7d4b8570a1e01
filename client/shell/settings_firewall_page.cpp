#include "client/shell/settings_firewall_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "client/shell/settings_widgets.h"

namespace tarn::shell {

using namespace settings_ui;

FirewallSettingsPage::FirewallSettingsPage(QWidget* parent) : QWidget(parent) {
  auto* top = new QVBoxLayout(this);
  use_ = new QCheckBox("Use Firewall", this);
  top->addWidget(use_);

  auto* group = new QGroupBox("Firewall", this);
  auto* form = new QFormLayout(group);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  type_ = new QComboBox(group);
  for (const char* item : kFirewallTypeItems) type_->addItem(item);
  host_ = LimitedBox(group, kFirewallHostLimit);
  port_ = LimitedBox(group, kPortLimit);
  port_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), port_));
  port_->setMaximumWidth(port_->fontMetrics().horizontalAdvance("000000") + 16);
  user_ = LimitedBox(group, kFirewallUserLimit);
  password_ = LimitedBox(group, kSecretLimit, true);
  form->addRow("Firewall Type", type_);
  form->addRow("Firewall Hostname or IP Address", host_);
  form->addRow("Firewall Port", port_);
  form->addRow("Firewall Username/ID", user_);
  form->addRow("Firewall Password", password_);
  top->addWidget(group);
  top->addStretch(1);

  connect(use_, &QCheckBox::toggled, this, [this](bool on) {
    FirewallPageValues v = Values();
    SetUseFirewall(&v, on);
    Load(v);
  });
  connect(type_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= static_cast<int>(std::size(kFirewallTypeItems)) && onInvalidSelection)
      onInvalidSelection(InvalidFirewallSelection());
    UpdateEnabling();
  });
  Load(FirewallPageValues{});
}

void FirewallSettingsPage::Load(const FirewallPageValues& v) {
  QSignalBlocker b1(use_), b2(type_);
  use_->setChecked(v.useFirewall);
  type_->setCurrentIndex(v.type);
  host_->setText(Q(v.host));
  // The port shows 21 while the firewall is off.
  port_->setText(Q(v.useFirewall ? v.port : "21"));
  user_->setText(Q(v.user));
  password_->setText(Q(v.password));
  UpdateEnabling();
}

FirewallPageValues FirewallSettingsPage::Values() const {
  FirewallPageValues v;
  v.useFirewall = use_->isChecked();
  v.type = type_->currentIndex();
  v.host = S(host_->text());
  v.port = S(port_->text());
  v.user = S(user_->text());
  v.password = S(password_->text());
  return v;
}

void FirewallSettingsPage::SetAvailable(bool available) {
  available_ = available;
  UpdateEnabling();
}

void FirewallSettingsPage::UpdateEnabling() {
  const FirewallPageEnabling e = FirewallEnabling(Values());
  use_->setEnabled(available_);
  type_->setEnabled(available_ && e.type);
  host_->setEnabled(available_ && e.host);
  port_->setEnabled(available_ && e.port);
  user_->setEnabled(available_ && e.user);
  password_->setEnabled(available_ && e.password);
}

QWidget* FirewallSettingsPage::FieldWidget(SettingsField field) const {
  switch (field) {
    case SettingsField::kFirewallType: return type_;
    case SettingsField::kFirewallHost: return host_;
    case SettingsField::kFirewallPort: return port_;
    case SettingsField::kFirewallUser: return user_;
    case SettingsField::kFirewallPassword: return password_;
    default: return nullptr;
  }
}

}  // namespace tarn::shell
