// TransferRowsModel: the transfer window's list, "From", "To" and "Size",
// as a Qt table model over the window's copies of the batch's rows. Before
// Start the window copies each edited row in; while the batch runs the
// rows arrive from its listener (state changes, folder contents inserted).
// The first column carries the row's icon (type and state); "To" may be
// edited in place while the list is editable. GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "client/engine/transfer_batch.h"
#include "platform/locale.h"

namespace tarn::shell {

class TransferRowsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kFrom, kTo, kSize, kColumnCount };

  explicit TransferRowsModel(const ::platform::Locale& locale, QObject* parent = nullptr);

  // All rows anew (a model reset).
  void SetRows(const std::vector<TransferRow>& rows);
  // Row `index` changed (its texts and icon).
  void SetRow(size_t index, const TransferRow& row);
  // A row came in at `index`; the rows from there move down.
  void InsertRow(size_t index, const TransferRow& row);
  void RemoveRow(size_t index);
  const std::vector<TransferRow>& rows() const { return rows_; }

  // "To" is editable only while this is on.
  void SetEditable(bool editable) { editable_ = editable; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // An edit of "To" changes no row itself: it asks the window
  // (renameRequested), which renames the batch's row and copies it back.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void renameRequested(int row, const QString& text);

 private:
  const ::platform::Locale& locale_;
  std::vector<TransferRow> rows_;
  bool editable_ = false;
};

}  // namespace tarn::shell
