#include "client/shell/host_list_cells.h"

#include "client/listing/host_types.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/text_rules.h"

namespace tarn::shell {

using listing::ColumnSetId;

ColumnSetId ColumnSetOfListing(int32_t hostFamily, int32_t serverType, int viewCode,
                               int vseKind) {
  if (hostFamily == HOST_VSE) return listing::VseColumnSet(vseKind);
  if (hostFamily == HOST_MVS) {
    switch (viewCode) {
      case listing::kViewMvsDatasets: return ColumnSetId::kMvsDatasets;
      case listing::kViewMvsMembers: return ColumnSetId::kMvsMembers;
      case listing::kViewMvsLoadModules: return ColumnSetId::kMvsLoadModules;
      default: break;
    }
    return ColumnSetId::kMvsDatasets;
  }
  // Generic hosts and VM: the generic set of the server type.
  return listing::GenericColumnSet(serverType);
}

bool IsVseColumnSet(ColumnSetId set) {
  switch (set) {
    case ColumnSetId::kVseDirectory:
    case ColumnSetId::kVseLibrary:
    case ColumnSetId::kVseSubLibrary:
    case ColumnSetId::kVsePowerClass:
    case ColumnSetId::kVsamCatalog:
    case ColumnSetId::kVtoc:
      return true;
    default:
      return false;
  }
}

CellSource CellSourceOf(ColumnSetId set, int column) {
  const auto& columns = listing::ColumnSetFor(set).columns;
  if (column < 0 || static_cast<size_t>(column) >= columns.size()) return {};
  auto cell = [](size_t i) { return CellSource{CellSource::kCell, static_cast<uint8_t>(i)}; };
  // VSE views: the name, then the row's cells in column order.
  if (IsVseColumnSet(set)) return column == 0 ? CellSource{CellSource::kName} : cell(column - 1);
  // The load-module set: Name, Size, Type, then the module's cells.
  if (set == ColumnSetId::kMvsLoadModules && column >= 3) return cell(column - 3);
  switch (column) {
    case 0: return {CellSource::kName};
    case 1: return {CellSource::kSize};
    case 2: return {CellSource::kType};
    case 3: return {CellSource::kModified};
    default: break;
  }
  // After Modified: data sets show the seven view cells of their tokens,
  // members their Id and VV.MM.
  const size_t extra = static_cast<size_t>(column - 4);
  if (set == ColumnSetId::kMvsDatasets) {
    if (extra < std::size(listing::kMvsDatasetViewCells))
      return cell(listing::kMvsDatasetViewCells[extra]);
    return {};
  }
  return cell(extra);
}

size_t RowCountFor(const listing::HostListing& rows, ColumnSetId set) {
  return IsVseColumnSet(set) ? rows.vseRows().size() : rows.size();
}

std::string_view RowNameText(const listing::HostListing& rows, ColumnSetId set,
                             int32_t hostFamily, size_t row) {
  if (IsVseColumnSet(set)) return rows.Name(rows.vseRows()[row]);
  const listing::RemoteEntry& e = rows[row];
  if (hostFamily == HOST_MVS) return listing::MvsRowText(rows, e);
  return rows.Name(e);
}

std::string RowCellText(const listing::HostListing& rows, ColumnSetId set, int32_t hostFamily,
                        size_t row, int column, const ::platform::Locale& locale) {
  const CellSource src = CellSourceOf(set, column);
  if (IsVseColumnSet(set)) {
    const listing::VseEntry& v = rows.vseRows()[row];
    if (src.kind == CellSource::kName) return std::string(rows.Name(v));
    if (src.kind == CellSource::kCell && src.cell < v.cellCount)
      return std::string(rows.Cell(v, src.cell));
    return std::string();
  }
  const listing::RemoteEntry& e = rows[row];
  switch (src.kind) {
    case CellSource::kName: return std::string(RowNameText(rows, set, hostFamily, row));
    case CellSource::kSize: return listing::RowSizeText(e, locale);
    case CellSource::kType: return std::string(rows.TypeText(e));
    case CellSource::kModified: return listing::RowDateText(rows, e, locale);
    case CellSource::kCell:
      return src.cell < e.cellCount ? std::string(rows.Cell(e, src.cell)) : std::string();
    case CellSource::kNone: break;
  }
  return std::string();
}

}  // namespace tarn::shell
