#include "client/shell/settings_app_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "client/shell/settings_widgets.h"

namespace tarn::shell {

using namespace settings_ui;

ApplicationSettingsPage::ApplicationSettingsPage(QWidget* parent) : QWidget(parent) {
  auto* top = new QVBoxLayout(this);
  email_ = LimitedBox(this, kEmailAddressLimit);
  top->addWidget(BuddyLabel("Email Address (for Anonymous FTP Password):", email_, this));
  top->addWidget(email_);

  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;

  auto* names = new QGroupBox("Host File Names", this);
  auto* ng = new QGridLayout(names);
  names_ = new QButtonGroup(this);
  for (int i = 0; i < 4; ++i) {
    auto* b = new QRadioButton(kHostFileNameItems[i], names);
    names_->addButton(b, i);
    ng->addWidget(b, i / 2, i % 2);
  }
  left->addWidget(names);

  hidden_ = new QCheckBox("Show PC files marked as 'hidden'", this);
  autoStart_ = new QCheckBox("Automatically start transfer on paste or drop", this);
  feedback_ = new QCheckBox("Transfer progress screen provides maximum feedback", this);
  log_ = new QCheckBox("Activate connection log file", this);
  splash_ = new QCheckBox("Disable Splash screen at startup", this);
  for (QCheckBox* c : {hidden_, autoStart_, feedback_, log_, splash_}) left->addWidget(c);

  auto* keep = new QHBoxLayout;
  keepAlive_ = new QCheckBox("Keep Alive", this);
  interval_ = new QSpinBox(this);
  interval_->setRange(0, 9999);
  keep->addWidget(keepAlive_);
  keep->addSpacing(12);
  keep->addWidget(BuddyLabel("Interval:", interval_, this));
  keep->addWidget(interval_);
  keep->addWidget(new QLabel("Min", this));
  keep->addStretch(1);
  left->addLayout(keep);

  pasv_ = new QCheckBox("Allow PASV mode transfers", this);
  dialUp_ = new QCheckBox("Don't close dial-up connection", this);
  left->addWidget(pasv_);
  left->addWidget(dialUp_);
  left->addStretch(1);
  columns->addLayout(left, 3);

  auto* ext = new QGroupBox("ASCII file &extensions", this);
  auto* eg = new QGridLayout(ext);
  extEdit_ = LimitedBox(ext, 259);
  add_ = new QPushButton("&Add", ext);
  remove_ = new QPushButton("&Remove", ext);
  for (QPushButton* b : {add_, remove_}) b->setAutoDefault(false);
  extList_ = new QListWidget(ext);
  extList_->setSelectionMode(QAbstractItemView::SingleSelection);
  eg->addWidget(extEdit_, 0, 0, 1, 2);
  eg->addWidget(add_, 1, 0);
  eg->addWidget(remove_, 1, 1);
  eg->addWidget(extList_, 2, 0, 1, 2);
  columns->addWidget(ext, 2);
  top->addLayout(columns, 1);

  connect(keepAlive_, &QCheckBox::toggled, this, &ApplicationSettingsPage::UpdateEnabling);
  connect(extEdit_, &QLineEdit::textChanged, this, &ApplicationSettingsPage::UpdateEnabling);
  connect(add_, &QPushButton::clicked, this, [this] {
    const int at = extensions_.Add(S(extEdit_->text()));
    ShowExtensions(at);
    extEdit_->clear();
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    if (extensions_.Remove(S(extEdit_->text()))) ShowExtensions(-1);
    extEdit_->clear();
  });
  // Picking an item puts it in the edit box, so that "&Remove" applies.
  connect(extList_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { extEdit_->setText(item->text()); });
  Load(AppPageValues{});
}

void ApplicationSettingsPage::Load(const AppPageValues& v) {
  email_->setText(Q(v.emailAddress));
  names_->button(std::clamp(v.hostFileNames, 0, 3))->setChecked(true);
  hidden_->setChecked(v.showHidden);
  autoStart_->setChecked(v.autoStart);
  feedback_->setChecked(v.maxFeedback);
  log_->setChecked(v.connectionLog);
  splash_->setChecked(v.disableSplash);
  keepAlive_->setChecked(v.keepAlive);
  interval_->setValue(v.keepAliveMinutes);
  pasv_->setChecked(v.allowPasv);
  dialUp_->setChecked(v.dontCloseDialUp);
  extensions_ = v.extensions;
  extEdit_->clear();
  ShowExtensions(-1);
}

AppPageValues ApplicationSettingsPage::Values() const {
  AppPageValues v;
  v.emailAddress = S(email_->text());
  v.hostFileNames = std::max(0, names_->checkedId());
  v.showHidden = hidden_->isChecked();
  v.autoStart = autoStart_->isChecked();
  v.maxFeedback = feedback_->isChecked();
  v.connectionLog = log_->isChecked();
  v.disableSplash = splash_->isChecked();
  v.keepAlive = keepAlive_->isChecked();
  v.keepAliveMinutes = v.keepAlive ? interval_->value() : 0;
  v.allowPasv = pasv_->isChecked();
  v.dontCloseDialUp = dialUp_->isChecked();
  v.extensions = extensions_;
  return v;
}

void ApplicationSettingsPage::ShowExtensions(int select) {
  extList_->clear();
  for (const auto& item : extensions_.Items()) extList_->addItem(Q(item));
  if (select >= 0 && select < extList_->count()) {
    extList_->setCurrentRow(select);
    extList_->scrollToItem(extList_->item(select));
  }
  UpdateEnabling();
}

void ApplicationSettingsPage::UpdateEnabling() {
  interval_->setEnabled(keepAlive_->isChecked());
  remove_->setEnabled(extensions_.CanRemove(S(extEdit_->text())));
}

}  // namespace tarn::shell
