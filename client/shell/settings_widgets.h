// Small helpers the Settings sheet's pages share: text conversions and
// limited text boxes. GUI thread only.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <string>

namespace tarn::shell::settings_ui {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

// A text box of at most `limit` characters, masked for secrets.
inline QLineEdit* LimitedBox(QWidget* parent, size_t limit, bool masked = false) {
  auto* e = new QLineEdit(parent);
  e->setMaxLength(static_cast<int>(limit));
  if (masked) e->setEchoMode(QLineEdit::Password);
  return e;
}

// A label whose mnemonic moves to `buddy`.
inline QLabel* BuddyLabel(const char* text, QWidget* buddy, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setBuddy(buddy);
  return l;
}

}  // namespace tarn::shell::settings_ui
