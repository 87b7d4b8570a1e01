// "Add Scheduled Transfer": the editor of one schedule.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <functional>

#include "scheduler/model/dialog_rules.h"

namespace sched_app {

class AddDialog : public QDialog {
  Q_OBJECT
 public:
  // `data` fills the editor; for a new schedule pass NewEditorData().
  AddDialog(const sched::EditorData& data, bool editMode, QWidget* parent = nullptr);

  // A new schedule: all four pickers at now, restrict, recurring and notify
  // off, no frequency, the preset file if there is one.
  static sched::EditorData NewEditorData(const std::string& presetFile);

  // The editor's data as it stands.
  sched::EditorData Data() const;

  // Asks the e-mail values when "&Send notification..." is ticked; returns
  // false for Cancel. Tests replace it.
  std::function<bool(std::string* host, std::string* sender, std::string* receiver)> askEmail;
  // Chooses a schedule file; "" for Cancel. Tests replace it.
  std::function<QString()> chooseFile;

  QPushButton* OkButton() const { return ok_; }
  QDateEdit* StartDate() const { return startDate_; }
  QTimeEdit* StartTime() const { return startTime_; }
  QDateEdit* EndDate() const { return endDate_; }
  QTimeEdit* EndTime() const { return endTime_; }
  QCheckBox* Restrict() const { return restrict_; }
  QCheckBox* Recurring() const { return recurring_; }
  QComboBox* Frequency() const { return frequency_; }
  QCheckBox* Notify() const { return notify_; }
  QPushButton* SelectFile() const { return select_; }

 private:
  void SelectFileClicked();
  void NotifyClicked(bool checked);
  void UpdateEndTimeLimit();
  void ShowFile();

  bool editMode_;
  std::string queueFile_;
  std::string sender_, receiver_, smtpHost_;
  QLabel* file_;
  QPushButton* select_;
  QDateEdit* startDate_;
  QTimeEdit* startTime_;
  QDateEdit* endDate_;
  QTimeEdit* endTime_;
  QCheckBox* restrict_;
  QCheckBox* recurring_;
  QComboBox* frequency_;
  QCheckBox* notify_;
  QPushButton* ok_;
};

}  // namespace sched_app
