// SecuritySettingsPage: the "Security Settings" page of the Settings sheet,
// a view of SecurityPageValues (settings_pages.h). GUI thread only.
#pragma once

#include <QWidget>

#include <string>

#include "client/session/settings_pages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarn::shell {

class SecuritySettingsPage : public QWidget {
  Q_OBJECT
 public:
  explicit SecuritySettingsPage(QWidget* parent = nullptr);

  void Load(const SecurityPageValues& v);
  SecurityPageValues Values() const;
  void SetAvailable(bool available);
  QWidget* FieldWidget(SettingsField field) const;

  QCheckBox* useTls() const { return use_; }
  // Sets the certificate file box (after the chooser).
  void SetCertFile(const std::string& path);

 signals:
  void certFileRequested();  // "..." of the certificate file

 private:
  void UpdateEnabling();

  bool available_ = true;
  QCheckBox* use_;
  QComboBox* type_;
  QComboBox* strength_;
  QCheckBox* expired_;
  QCheckBox* selfSigned_;
  QCheckBox* future_;
  QCheckBox* invalid_;
  QLineEdit* certFile_;
  QPushButton* browse_;
  QLineEdit* certPassword_;
};

}  // namespace tarn::shell
