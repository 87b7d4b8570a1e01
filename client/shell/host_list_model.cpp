#include "client/shell/host_list_model.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "client/listing/mainframe_parsers.h"
#include "client/shell/host_list_cells.h"
#include "client/shell/icons.h"

namespace tarn::shell {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

HostListModel::HostListModel(const ::platform::Locale& locale, IconStore& icons, QObject* parent)
    : QAbstractTableModel(parent), locale_(locale), icons_(icons) {
  columnCount_ = static_cast<int>(Columns().columns.size());
}

const listing::ColumnSet& HostListModel::Columns() const {
  return listing::ColumnSetFor(columns_);
}

void HostListModel::SetListing(listing::HostListing&& rows, const HostViewFacts& facts) {
  beginResetModel();
  rows_ = std::move(rows);
  facts_ = facts;
  // The top directory of a VSE host shows the directory view whatever the
  // request said.
  int vseKind = facts.vseKind;
  if (facts.hostFamily == HOST_VSE && facts.currentDir == "\\") vseKind = listing::kVseViewDirectory;
  columns_ = ColumnSetOfListing(facts.hostFamily, facts.serverType, rows_.viewCode, vseKind);
  // The rows arrive in name order with the direction the worker knew; the
  // directions of this list are the person's.
  sort_.column = 0;
  // MVS data-set names compare by their full paths.
  sort_.fullPaths = facts.sort.fullPaths || columns_ == listing::ColumnSetId::kMvsDatasets;
  if (facts.sort.direction[0] != sort_.direction[0]) SortRowsAs(0, sort_.direction[0]);
  rowCount_ = static_cast<int>(RowCountFor(rows_, columns_));
  FindWidestRow();
  columnCount_ = static_cast<int>(Columns().columns.size());
  endResetModel();
}

void HostListModel::Clear(listing::ColumnSetId columns) {
  beginResetModel();
  rows_ = listing::HostListing();
  facts_ = HostViewFacts();
  columns_ = columns;
  rowCount_ = 0;
  hasWidest_ = false;
  columnCount_ = static_cast<int>(Columns().columns.size());
  endResetModel();
}

void HostListModel::FindWidestRow() {
  hasWidest_ = false;
  size_t longest = 0;
  for (int r = 0; r < rowCount_; ++r) {
    const size_t n = RowNameText(rows_, columns_, facts_.hostFamily, static_cast<size_t>(r)).size();
    if (!hasWidest_ || n > longest) {
      longest = n;
      widestKey_ = RowKey(r);
      hasWidest_ = true;
    }
  }
}

void HostListModel::SortRowsAs(int column, int direction) {
  if (IsVseColumnSet(columns_)) {
    listing::SortVseRows(&rows_, direction);
  } else {
    listing::SortRows(&rows_, column, direction, sort_.fullPaths);
  }
}

uint32_t HostListModel::RowKey(int row) const {
  // A row's path has a place of its own in the listing's text arena, so
  // its offset names the row wherever a sort moves it.
  if (IsVseColumnSet(columns_)) return rows_.vseRows()[static_cast<size_t>(row)].path.offset;
  return rows_[static_cast<size_t>(row)].path.offset;
}

bool HostListModel::SortByHeader(int column) {
  const bool vse = IsVseColumnSet(columns_);
  if (vse && column != 0) return false;
  if (!sort_.Click(column)) return false;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<uint32_t> keys;
  keys.reserve(static_cast<size_t>(before.size()));
  std::unordered_map<uint32_t, int> newRow;
  for (const QModelIndex& i : before) {
    keys.push_back(RowKey(i.row()));
    newRow.emplace(keys.back(), -1);
  }
  SortRowsAs(column, sort_.direction[column]);
  if (!newRow.empty()) {
    for (int r = 0; r < rowCount_; ++r) {
      auto it = newRow.find(RowKey(r));
      if (it != newRow.end()) it->second = r;
    }
  }
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i) {
    const int r = newRow[keys[static_cast<size_t>(i)]];
    after.push_back(r < 0 ? QModelIndex() : index(r, before[i].column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  return true;
}

HostRow HostListModel::Row(int row) const {
  HostRow out;
  if (row < 0 || row >= rowCount_) return out;
  const size_t r = static_cast<size_t>(row);
  out.name.assign(RowNameText(rows_, columns_, facts_.hostFamily, r));
  if (IsVseColumnSet(columns_)) {
    const listing::VseEntry& v = rows_.vseRows()[r];
    out.path.assign(rows_.Path(v));
    out.listedName.assign(rows_.Name(v));
    out.isDirectory = v.isDirectory != 0;
    out.vseKind = static_cast<int32_t>(v.vseKind);
  } else {
    const listing::RemoteEntry& e = rows_[r];
    out.path.assign(rows_.Path(e));
    out.listedName.assign(rows_.Name(e));
    out.isDirectory = e.isDirectory != 0;
    out.recordLength = e.recordLength;
    if (facts_.hostFamily == HOST_MVS) out.kind = static_cast<int32_t>(e.image);
  }
  out.isParent = out.listedName == "..";
  return out;
}

bool HostListModel::IsDirectoryRow(int row) const {
  if (row < 0 || row >= rowCount_) return false;
  const size_t r = static_cast<size_t>(row);
  if (IsVseColumnSet(columns_)) return rows_.vseRows()[r].isDirectory != 0;
  return rows_[r].isDirectory != 0;
}

bool HostListModel::IsParentRow(int row) const {
  if (row < 0 || row >= rowCount_) return false;
  const size_t r = static_cast<size_t>(row);
  const std::string_view name = IsVseColumnSet(columns_) ? rows_.Name(rows_.vseRows()[r])
                                                                : rows_.Name(rows_[r]);
  return name == "..";
}

int HostListModel::WidestRow() const {
  if (!hasWidest_) return -1;
  // Rows move with sorts; the row's key stays. One pass, on a listing's
  // arrival only.
  for (int r = 0; r < rowCount_; ++r)
    if (RowKey(r) == widestKey_) return r;
  return -1;
}

int HostListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rowCount_;
}

int HostListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columnCount_;
}

QVariant HostListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount_ || index.column() >= columnCount_)
    return QVariant();
  const size_t r = static_cast<size_t>(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return Q(RowCellText(rows_, columns_, facts_.hostFamily, r, index.column(), locale_));
    case Qt::EditRole:
      if (index.column() != 0) return QVariant();
      return Q(RowNameText(rows_, columns_, facts_.hostFamily, r));
    case Qt::ToolTipRole:
      if (index.column() != 0) return QVariant();
      return Q(IsVseColumnSet(columns_) ? rows_.Path(rows_.vseRows()[r])
                                              : rows_.Path(rows_[r]));
    case Qt::DecorationRole: {
      if (index.column() != 0) return QVariant();
      const bool generic = facts_.hostFamily == HOST_GENERIC;
      listing::IconRole icon;
      if (IsVseColumnSet(columns_)) {
        const listing::VseEntry& v = rows_.vseRows()[r];
        icon = v.isDirectory ? listing::kIconFolder : static_cast<listing::IconRole>(v.image);
        if (icon < listing::kIconByName || icon > listing::kIconVsePlain) icon = listing::kIconVsePlain;
      } else {
        icon = listing::IconOfRow(rows_[r], facts_.hostFamily);
        if (icon == listing::kIconByName) return icons_.ForFileName(Q(rows_.Name(rows_[r])));
      }
      return icons_.ForRole(icon, generic);
    }
    case Qt::TextAlignmentRole: {
      const auto& column = Columns().columns[static_cast<size_t>(index.column())];
      return QVariant::fromValue(Qt::Alignment(
          (column.align == listing::Align::kRight ? Qt::AlignRight : Qt::AlignLeft) |
          Qt::AlignVCenter));
    }
    default:
      return QVariant();
  }
}

QVariant HostListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount_) return QVariant();
  const auto& column = Columns().columns[static_cast<size_t>(section)];
  if (role == Qt::DisplayRole) return Q(column.header);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment(
        (column.align == listing::Align::kRight ? Qt::AlignRight : Qt::AlignLeft) |
        Qt::AlignVCenter));
  return QVariant();
}

Qt::ItemFlags HostListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (editable_ && index.column() == 0 && !IsParentRow(index.row())) f |= Qt::ItemIsEditable;
  return f;
}

bool HostListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != 0 || !editable_) return false;
  const QString name = value.toString();
  if (name.isEmpty() || name == data(index, Qt::EditRole).toString()) return false;
  emit RenameRequested(index.row(), name);
  return false;
}

}  // namespace tarn::shell
