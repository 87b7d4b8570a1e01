// ApplicationSettingsPage: the "Application Settings" page of the Settings
// sheet, a view of AppPageValues (settings_pages.h) with the sorted ASCII
// extension list and its "&Add" and "&Remove". GUI thread only.
#pragma once

#include <QWidget>

#include "client/session/settings_pages.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace tarn::shell {

class ApplicationSettingsPage : public QWidget {
  Q_OBJECT
 public:
  explicit ApplicationSettingsPage(QWidget* parent = nullptr);

  void Load(const AppPageValues& v);
  AppPageValues Values() const;

  QLineEdit* extensionEdit() const { return extEdit_; }
  QListWidget* extensionList() const { return extList_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* removeButton() const { return remove_; }
  QCheckBox* keepAlive() const { return keepAlive_; }
  QSpinBox* interval() const { return interval_; }

 private:
  void ShowExtensions(int select);
  void UpdateEnabling();

  ExtensionList extensions_;
  QLineEdit* email_;
  QButtonGroup* names_;
  QCheckBox* hidden_;
  QCheckBox* autoStart_;
  QCheckBox* feedback_;
  QCheckBox* log_;
  QCheckBox* splash_;
  QCheckBox* keepAlive_;
  QSpinBox* interval_;
  QCheckBox* pasv_;
  QCheckBox* dialUp_;
  QLineEdit* extEdit_;
  QListWidget* extList_;
  QPushButton* add_;
  QPushButton* remove_;
};

}  // namespace tarn::shell
