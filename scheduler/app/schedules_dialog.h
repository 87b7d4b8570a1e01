// "Scheduled Transfers": the list of schedules, edited on a copy of the live
// list and saved on "Close".
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTreeView>
#include <functional>

#include "scheduler/app/schedule_model.h"
#include "scheduler/model/dialog_rules.h"

namespace sched_app {

class SchedulesDialog : public QDialog {
  Q_OBJECT
 public:
  // Works on `list` (the dialog's own copy, loaded from the file). A
  // non-empty `preset` opens "Add Scheduled Transfer" with it at once.
  SchedulesDialog(sched::CSchedule& list, std::string preset, sched::Notice& notice,
                  QWidget* parent = nullptr);

  bool Modified() const { return modified_; }
  // True when the dialog ended with "Close" (and saved what changed).
  bool Closed() const { return closed_; }

  // Runs the editor; false for Cancel. Tests replace it.
  std::function<bool(sched::EditorData* data, bool editMode)> runEditor;
  // Asks "Save changes before exiting?": QMessageBox::Yes, No or Cancel.
  std::function<int()> askSave;

  QTreeView* View() const { return view_; }
  ScheduleListModel* Model() const { return model_; }
  QPushButton* EditButton() const { return edit_; }
  QPushButton* DeleteButton() const { return delete_; }

  void AddSchedule(const std::string& file);
  void EditSelected();
  void DeleteSelected();
  void accept() override;
  void reject() override;

 private:
  void HideWhileEditing();
  int SelectedRow() const;
  void UpdateButtons();

  sched::CSchedule& list_;
  sched::Notice& notice_;
  ScheduleListModel* model_;
  QTreeView* view_;
  QPushButton* edit_;
  QPushButton* delete_;
  bool modified_ = false;
  bool closed_ = false;
};

}  // namespace sched_app
