// TransferDialog: the transfer window over a TransferBatch. It lists the
// rows ("From", "To", "Size", the mode icon), lets the person edit them
// before Start (mode per row or for all, 'Rename "To"', Delete), runs the
// batch on the connection's worker and shows its progress: the bar, the
// received size, the rate, the time remaining, the row icons and the
// animation. While the batch runs, Cancel holds it between two blocks and
// asks; the replace and resume questions and the error boxes come over
// this window. The GUI thread never waits for the worker.
//
// The batch and what its op uses live in a block shared with the op, so
// the window may close (or die) while the op still finishes its last
// command. GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>

#include <memory>
#include <string>

#include "client/engine/transfer_batch.h"
#include "client/shell/shell_context.h"

class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeView;

namespace tarn::shell {

class TransferAnimation;
class TransferRowsModel;

inline constexpr const char* kRenameToText = "Rename \"To\"";
inline constexpr const char* kToggleModeText = "Toggle Transfer Mode";
inline constexpr const char* kDeleteRowText = "Delete";
inline constexpr const char* kAddToQueueButtonText = "Add to Queue";

class TransferDialog : public QDialog {
  Q_OBJECT
 public:
  // `batch` holds the rows; `sessionName` is the session whose resume
  // state the downloads keep ("" for none: quick connections).
  TransferDialog(ShellContext& ctx, std::unique_ptr<TransferBatch> batch,
                 const std::string& sessionName, QWidget* owner);
  ~TransferDialog() override;

  // Shows the window modally; returns 1 when it closed, kDialogQueued
  // when "Add to Queue" ended it: the rows (batch()) are then for the
  // caller to queue, and nothing was transferred.
  int Run();
  // Shows the "Add to Queue" button, which stays hidden while nothing
  // would take the rows; `enabled` is false for a host whose transfers
  // are not queued (L8 emulation). Before Run.
  void OfferQueue(bool enabled);

  TransferBatch& batch();
  TransferRowsModel& rowsModel() { return *model_; }
  QTreeView* list() const { return list_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* queueButton() const { return queue_; }
  QCheckBox* closeCheck() const { return closeCheck_; }
  QToolButton* typePicture() const { return typePicture_; }
  QLabel* typeText() const { return typeText_; }
  QProgressBar* progress() const { return bar_; }
  QLabel* receivedText() const { return received_; }
  QLabel* totalText() const { return total_; }
  QLabel* rateText() const { return rate_; }
  QLabel* timeLabel() const { return timeLabel_; }
  QLabel* timeText() const { return timeLeft_; }
  TransferAnimation* animation() const { return animation_; }
  // From Start until the batch's op ended.
  bool running() const { return started_ && !opEnded_; }
  // Progress updates that reached the window's fields.
  int fieldUpdates() const { return fieldUpdates_; }

  // The person's edits and commands (the buttons, the menu, the tests).
  void Start();
  // "Add to Queue": ends the window with kDialogQueued (before Start only).
  void AddToQueue();
  void ToggleRow(int row);
  void ToggleAll();
  void RenameRow(int row, const QString& text);
  void DeleteRow(int row);
  // The row context menu for `row`; the caller owns it.
  QMenu* CreateRowMenu(int row);

 signals:
  // The confirming checks ended with `result` (6, 7, 2 or 1195).
  void confirmEnded(int result);
  // A row was reached by the batch.
  void rowStarted(int row);
  // The batch ended (the last row, or a cancel).
  void batchEnded();

 protected:
  void reject() override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Shared;
  class WindowSideUi;
  class Listener;

  void BuildWidgets();
  void SetTips(bool on);
  void ShowTypeField();
  void SizeColumns();
  // Brings the list in line with the batch's rows, row by row where it can.
  void SyncRows(const std::vector<TransferRow>& rows);
  void OnConfirmEnded(int result);
  void OnRowStarted(size_t index, const TransferRow& row, const std::string& total, int barMax,
                    const std::string& timeLabel);
  // Shows the figures held in shared_ unless they belong to a row whose
  // start is still on its way; `posted` when called by their own post.
  void DeliverFields(bool posted);
  void OnFields(const TransferFields& f);
  void OnCancelling();
  void OnBatchEnded(const BatchListener::Outcome& outcome);
  void OnOpEnded(int rc);
  void ShowClose(bool enabled);

  ShellContext& ctx_;
  std::shared_ptr<Shared> shared_;
  TransferRowsModel* model_ = nullptr;
  QTreeView* list_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* queue_ = nullptr;
  QCheckBox* closeCheck_ = nullptr;
  QToolButton* typePicture_ = nullptr;
  QLabel* typeText_ = nullptr;
  QLabel* directionPicture_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* received_ = nullptr;
  QLabel* total_ = nullptr;
  QLabel* rate_ = nullptr;
  QLabel* timeLabel_ = nullptr;
  QLabel* timeLeft_ = nullptr;
  TransferAnimation* animation_ = nullptr;
  bool started_ = false;     // Start was pressed and the op is queued or runs
  bool opEnded_ = false;     // that op has returned
  bool ended_ = false;       // BatchEnded came
  bool cancelling_ = false;  // a cancel was answered Yes
  bool autoStarted_ = false;
  bool queueEnabled_ = false;  // OfferQueue's `enabled`
  int fieldUpdates_ = 0;
  uint64_t shownRowSeq_ = 0;  // the last row start shown (Shared::rowSeq)
};

}  // namespace tarn::shell
