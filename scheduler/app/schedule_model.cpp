#include "scheduler/app/schedule_model.h"

#include "scheduler/model/dialog_rules.h"
#include "scheduler/model/local_time.h"

namespace sched_app {

namespace {
constexpr const char* kHeaders[] = {"Name",     "StartDate", "StartTime", "Rest.",
                                    "StopDate", "StopTime",  "Freq"};
}

int ScheduleListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.Count());
}

int ScheduleListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 7;
}

QString ScheduleListModel::Cell(const sched::CScheduleEntry& e, int column) {
  bool r = e.m_bRestrict == 1;
  std::string s;
  switch (column) {
    case 0: s = e.DisplayName(); break;
    case 1: s = sched::FormatListDate(e.m_timeStart); break;
    case 2: s = sched::FormatListTime(e.m_timeStart); break;
    case 3: s = r ? "Y" : ""; break;
    case 4: s = r ? sched::FormatListDate(e.m_timeStop) : ""; break;
    case 5: s = r ? sched::FormatListTime(e.m_timeStop) : ""; break;
    case 6: s = sched::FrequencyText(e.m_nFrequency); break;
    default: break;
  }
  return QString::fromStdString(s);
}

QVariant ScheduleListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= 7) return {};
  const auto& e = list_.At(static_cast<size_t>(index.row()));
  if (role == Qt::DisplayRole) return Cell(e, index.column());
  if (role == Qt::ToolTipRole && index.column() == 0)
    return QString::fromStdString(e.m_strQueueFile);
  return {};
}

QVariant ScheduleListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 7) return {};
  return QString::fromLatin1(kHeaders[section]);
}

bool ScheduleListModel::Append(const sched::CScheduleEntry& e, sched::Notice& notice) {
  if (list_.Count() >= sched::CSchedule::kCapacity) return list_.Add(e, notice);  // refuses
  int row = rowCount();
  beginInsertRows(QModelIndex(), row, row);
  list_.Add(e, notice);
  endInsertRows();
  return true;
}

void ScheduleListModel::Replace(int row, const sched::CScheduleEntry& e) {
  if (row < 0 || row >= rowCount()) return;
  list_.At(static_cast<size_t>(row)) = e;
  emit dataChanged(index(row, 0), index(row, 6));
}

void ScheduleListModel::RemoveRow(int row) {
  if (row < 0 || row >= rowCount()) return;
  beginRemoveRows(QModelIndex(), row, row);
  list_.Remove(static_cast<size_t>(row));
  endRemoveRows();
}

}  // namespace sched_app
