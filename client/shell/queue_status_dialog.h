// QueueStatusDialog: the "Tarn Queue Status" window of an unattended run:
// what the run does now ("Connecting to session nightly...", "Retrieving
// file..."), the file it moves ("/pub/a.txt to /srv/a.txt"), the
// kilobytes moved so far ("12 KBytes transferred"), an animation while it
// works, and Cancel.
//
// The dialog is a RunStatus: the run's threads call it, and what they say
// reaches the widgets on the GUI thread. The dialog must outlive every
// thread that may still call it.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

#include "client/session/run_queue.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tarn::shell {

inline constexpr const char* kQueueStatusTitle = "Tarn Queue Status";
// The lines before the run has said anything.
inline constexpr const char* kStatusConnectingText = "Connecting to ...";
inline constexpr const char* kStatusNotConnectedText = "Not connected";
inline constexpr const char* kStatusWaitingText = "Waiting for connection...";

// "%ld KBytes transferred".
std::string KBytesText(int64_t kbytes);

class QueueStatusDialog : public QDialog, public RunStatus {
  Q_OBJECT
 public:
  explicit QueueStatusDialog(QWidget* parent = nullptr);

  // RunStatus: any thread.
  void SetStatus(const std::string& text) override;
  void SetDetail(const std::string& text) override;
  void SetKBytes(int64_t kbytes) override;

  // Cancel was pressed (or the stop came): the animation stops, the button
  // greys; the run winds down on its own. GUI thread.
  void ShowStopping();

  QLabel* statusLine() const { return status_; }
  QLabel* detailLine() const { return detail_; }
  QLabel* progressLine() const { return progress_; }
  QPushButton* cancelButton() const { return cancel_; }
  bool animating() const;

 signals:
  // Cancel, the window's close button or Escape.
  void cancelRequested();

 protected:
  void reject() override;

 private:
  // Runs `f` on the GUI thread (at once when already there).
  void OnGui(std::function<void()> f);

  QLabel* status_ = nullptr;
  QLabel* detail_ = nullptr;
  QLabel* progress_ = nullptr;
  QProgressBar* animation_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace tarn::shell
