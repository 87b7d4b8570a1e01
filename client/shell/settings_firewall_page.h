// FirewallSettingsPage: the "Firewall Settings" page of the Settings sheet,
// a view of FirewallPageValues with its enabling by type
// (settings_pages.h). GUI thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "client/session/settings_pages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tarn::shell {

class FirewallSettingsPage : public QWidget {
  Q_OBJECT
 public:
  explicit FirewallSettingsPage(QWidget* parent = nullptr);

  void Load(const FirewallPageValues& v);
  FirewallPageValues Values() const;
  // False: the page is greyed whole (no session to edit).
  void SetAvailable(bool available);
  QWidget* FieldWidget(SettingsField field) const;

  QCheckBox* useFirewall() const { return use_; }
  QComboBox* typeBox() const { return type_; }

  // Shows a failure of the page (set by the sheet).
  std::function<void(const CheckFailure&)> onInvalidSelection;

 private:
  void UpdateEnabling();

  bool available_ = true;
  QCheckBox* use_;
  QComboBox* type_;
  QLineEdit* host_;
  QLineEdit* port_;
  QLineEdit* user_;
  QLineEdit* password_;
};

}  // namespace tarn::shell
