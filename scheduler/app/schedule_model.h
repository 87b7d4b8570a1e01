// The rows of "Scheduled Transfers": one per entry of a CSchedule, seven
// columns, texts from the model's rules.
#pragma once

#include <QAbstractTableModel>

#include "scheduler/model/schedule.h"

namespace sched_app {

class ScheduleListModel : public QAbstractTableModel {
 public:
  explicit ScheduleListModel(sched::CSchedule& list, QObject* parent = nullptr)
      : QAbstractTableModel(parent), list_(list) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

  // Changes go through the model so that views hear of them. Append
  // returns false when the list refused the entry (its message shown).
  bool Append(const sched::CScheduleEntry& e, sched::Notice& notice);
  void Replace(int row, const sched::CScheduleEntry& e);
  void RemoveRow(int row);

  static QString Cell(const sched::CScheduleEntry& e, int column);

 private:
  sched::CSchedule& list_;
};

}  // namespace sched_app
