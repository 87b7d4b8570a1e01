// The questions of the transfer window as real dialogs: "Confirm File
// Replace" (the existing file and the new one, each with its size and
// date; "&Yes", "Yes to &All", "&No", "Cancel") and "Resume Options"
// ("Resume", "Overwrite", "Cancel"). GUI thread only.
#pragma once

#include <QDialog>

#include "client/session/ui.h"

namespace tarn::shell {

class ReplaceDialog : public QDialog {
  Q_OBJECT
 public:
  // The buttons carry these object names (tests press them).
  static constexpr const char* kYes = "yes";
  static constexpr const char* kYesToAll = "yesToAll";
  static constexpr const char* kNo = "no";
  static constexpr const char* kCancel = "cancel";

  ReplaceDialog(const ReplaceQuestion& q, QWidget* owner);
  ReplaceAnswer answer() const { return answer_; }
  // Shows the dialog modally (with the system's sound) and returns the answer.
  static ReplaceAnswer Ask(const ReplaceQuestion& q, QWidget* owner);

 protected:
  void reject() override;

 private:
  ReplaceAnswer answer_ = ReplaceAnswer::kCancel;
};

class ResumeOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kResume = "resume";
  static constexpr const char* kOverwrite = "overwrite";
  static constexpr const char* kCancel = "cancel";

  ResumeOptionsDialog(const std::string& text, const std::string& fileName, QWidget* owner);
  ResumeAnswer answer() const { return answer_; }
  static ResumeAnswer Ask(const std::string& text, const std::string& fileName, QWidget* owner);

 protected:
  void reject() override;

 private:
  ResumeAnswer answer_ = ResumeAnswer::kCancel;
};

}  // namespace tarn::shell
