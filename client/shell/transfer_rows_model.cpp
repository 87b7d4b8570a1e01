#include "client/shell/transfer_rows_model.h"

#include "client/shell/transfer_pictures.h"

namespace tarn::shell {

TransferRowsModel::TransferRowsModel(const ::platform::Locale& locale, QObject* parent)
    : QAbstractTableModel(parent), locale_(locale) {}

void TransferRowsModel::SetRows(const std::vector<TransferRow>& rows) {
  beginResetModel();
  rows_ = rows;
  endResetModel();
}

void TransferRowsModel::SetRow(size_t index, const TransferRow& row) {
  if (index >= rows_.size()) return;
  rows_[index] = row;
  const int r = static_cast<int>(index);
  emit dataChanged(this->index(r, 0), this->index(r, kColumnCount - 1));
}

void TransferRowsModel::InsertRow(size_t index, const TransferRow& row) {
  if (index > rows_.size()) index = rows_.size();
  const int r = static_cast<int>(index);
  beginInsertRows(QModelIndex(), r, r);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), row);
  endInsertRows();
}

void TransferRowsModel::RemoveRow(size_t index) {
  if (index >= rows_.size()) return;
  const int r = static_cast<int>(index);
  beginRemoveRows(QModelIndex(), r, r);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  endRemoveRows();
}

int TransferRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TransferRowsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TransferRowsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TransferRow& r = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      switch (index.column()) {
        case kFrom: return QString::fromStdString(r.from);
        case kTo: return QString::fromStdString(r.to);
        case kSize: return QString::fromStdString(r.SizeText(locale_));
        default: return {};
      }
    case Qt::DecorationRole:
      if (index.column() == kFrom) return RowIconPicture(r.Icon());
      return {};
    case Qt::ToolTipRole:
      if (!r.message.empty()) return QString::fromStdString(r.message);
      return {};
    case Qt::TextAlignmentRole:
      if (index.column() == kSize) return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    default:
      return {};
  }
}

QVariant TransferRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kFrom: return QStringLiteral("From");
    case kTo: return QStringLiteral("To");
    case kSize: return QStringLiteral("Size");
    default: return {};
  }
}

Qt::ItemFlags TransferRowsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (editable_ && index.column() == kTo) f |= Qt::ItemIsEditable;
  return f;
}

bool TransferRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || index.column() != kTo || !editable_) return false;
  const QString text = value.toString();
  if (text == QString::fromStdString(rows_[static_cast<size_t>(index.row())].to)) return false;
  emit renameRequested(index.row(), text);
  return true;
}

}  // namespace tarn::shell
