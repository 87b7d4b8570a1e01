// HostListModel: the host list as a Qt table model over one HostListing.
//
// The rows stay in the listing as the parsers made them; every cell is read
// from the row when the view asks for it (host_list_cells.h), so showing a
// 100,000-entry directory costs no pass over the rows and no copy of one.
// The listing is owned here, on the GUI thread: the worker fills a listing
// of its own, and when a listing op ends its rows are moved over
// (ListingSnapshot) and handed to SetListing, so the view never
// reads memory the worker writes.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <string>

#include "client/engine/ftp_conn.h"
#include "client/listing/columns.h"
#include "client/listing/listing_model.h"
#include "client/listing/row_sort.h"
#include "client/shell/shell_context.h"
#include "platform/locale.h"

namespace tarn::shell {

class IconStore;

// One row as the pane's commands and the window see it.
struct HostRow {
  std::string path;        // full remote path
  std::string name;        // the text shown in the name column
  std::string listedName;  // the row's name as listed (the local file name)
  bool isDirectory = false;
  bool isParent = false;   // the parent-directory entry ".."
  int32_t kind = 1;        // MVS kind code (image of an MVS row); 1 elsewhere
  uint32_t recordLength = 0;
  int32_t vseKind = 1;     // VSE view code the row opens
};

class HostListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `locale` and `icons` must outlive the model.
  HostListModel(const ::platform::Locale& locale, IconStore& icons, QObject* parent = nullptr);

  // Shows `rows` (a model reset) with the column set of their host type
  // and view. When their order (facts.sort) is not the one this list's
  // own sort state asks for (the person reversed the name order while the
  // listing ran), they are sorted again first.
  void SetListing(listing::HostListing&& rows, const HostViewFacts& facts);
  // No rows, the columns of `columns` (a disconnected window shows the
  // generic set).
  void Clear(listing::ColumnSetId columns = listing::ColumnSetId::kGenericUnix);

  // In-place renaming is offered only while connected.
  void SetEditable(bool editable) { editable_ = editable; }
  bool Editable() const { return editable_; }

  // A click on header `column`: the first four columns sort (reversing
  // the column's direction each time), others do nothing; VSE views sort
  // by name only. Selections and the current row follow their rows. True
  // when the rows were sorted.
  bool SortByHeader(int column);
  const listing::SortState& SortState() const { return sort_; }

  const HostViewFacts& Facts() const { return facts_; }
  listing::ColumnSetId ColumnSet() const { return columns_; }
  const listing::HostListing& Rows() const { return rows_; }
  const listing::ColumnSet& Columns() const;
  HostRow Row(int row) const;
  bool IsDirectoryRow(int row) const;
  bool IsParentRow(int row) const;
  // The row with the longest name (for the first column's width), or -1
  // for no rows. Found in one pass when the listing arrives, and followed
  // through sorts.
  int WidestRow() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // An edit of the name column does not change the row: it asks for the
  // rename on the host (RenameRequested) and the listing that follows a
  // successful rename shows the new name.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // An in-place edit ended with a different, non-empty name.
  void RenameRequested(int row, const QString& newName);

 private:
  void SortRowsAs(int column, int direction);
  void FindWidestRow();
  uint32_t RowKey(int row) const;

  const ::platform::Locale& locale_;
  IconStore& icons_;
  listing::HostListing rows_;
  HostViewFacts facts_;
  listing::ColumnSetId columns_ = listing::ColumnSetId::kGenericUnix;
  listing::SortState sort_;
  uint32_t widestKey_ = 0;  // RowKey of the row with the longest name
  bool hasWidest_ = false;
  int rowCount_ = 0;
  int columnCount_ = 0;
  bool editable_ = false;
};

}  // namespace tarn::shell
