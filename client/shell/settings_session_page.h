// SessionSettingsPage: the "Session Settings" page of the Settings sheet.
// It shows one session's SessionPageValues and keeps the page's enabling
// rules (settings_pages.h); the session list's buttons only signal, the
// sheet acts on them. GUI thread only.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "client/session/settings_pages.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tarn::shell {

class SessionSettingsPage : public QWidget {
  Q_OBJECT
 public:
  // `connectViaItems`: ConnectViaItems() of the dial-up entries.
  explicit SessionSettingsPage(const std::vector<std::string>& connectViaItems,
                               QWidget* parent = nullptr);

  // The "FTP Host:" box: `names` in HostIndex order with `current`
  // selected; no names shows the placeholder, the box and its Rename,
  // Delete and Edit buttons disabled.
  void SetSessions(const std::vector<std::string>& names, int current);
  std::vector<std::string> Sessions() const;
  int currentSession() const;
  // Selects an item without signalling (a refused switch goes back).
  void SelectSession(int index);

  void Load(const SessionPageValues& v);
  // What the fields hold; sessionName is the box's selection.
  SessionPageValues Values() const;

  // The fields are editable only while editing ("&Edit", or a new
  // session); "&Edit", "&New" and "&Delete" only while not.
  void SetEditing(bool editing);
  bool editing() const { return editing_; }

  // The widget a failed check focuses (null for fields of other pages).
  QWidget* FieldWidget(SettingsField field) const;

  QComboBox* sessionBox() const { return sessions_; }
  QPushButton* button(const char* which) const;  // "edit", "delete", "new", "rename"

 signals:
  void sessionChosen(int index);  // the person picked another session
  void editRequested();
  void deleteRequested();
  void newRequested();
  void renameRequested();
  void localFolderRequested();    // "..." of the initial local directory

 private:
  void UpdateEnabling();
  void OnLogonChosen(int id);

  bool editing_ = false;
  bool haveSessions_ = false;
  std::vector<std::string> viaItems_;
  QComboBox* sessions_;
  QPushButton* edit_;
  QPushButton* delete_;
  QPushButton* new_;
  QPushButton* rename_;
  QLineEdit* hostName_;
  QSpinBox* port_;
  QComboBox* connectVia_;
  QComboBox* transfer_;
  QButtonGroup* logon_;
  QAbstractButton* logonButtons_[3];
  QLineEdit* userName_;
  QCheckBox* savePasswords_;
  QLineEdit* password_;
  QLineEdit* account_;
  QLineEdit* hostDir_;
  QLineEdit* localDir_;
  QPushButton* browse_;
  QList<QWidget*> fields_;  // what editing enables
};

}  // namespace tarn::shell
