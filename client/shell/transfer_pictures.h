// The transfer window's pictures, drawn by the program itself: the row
// icons (ASCII or binary, waiting, done, failed), the type picture, the
// direction picture and the animation of a page going from one folder to
// the other. GUI thread only.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "client/engine/transfer_batch.h"

namespace tarn::shell {

// The icon of a row (type and state).
QIcon RowIconPicture(RowIcon icon);
// The type picture beside "Type:": a text page (ASCII) or a binary page.
QPixmap TypePicture(bool binary, int size = 32);
// The picture of the window's direction: host to PC, PC to host, or a
// page joining the end of a host file.
QPixmap DirectionPicture(TransferDirection direction, int size = 40);

// The animation: a page travelling from the source folder to the target
// folder while the transfers run. Frame 0 is the page at the source,
// kFrames - 1 the page arrived with a check mark.
class TransferAnimation : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFrames = 10;
  static constexpr int kPlayFrameMs = 120;

  explicit TransferAnimation(TransferDirection direction, QWidget* parent = nullptr);
  int frame() const { return frame_; }
  bool playing() const { return timer_.isActive() && !closing_; }
  // The first frame, standing.
  void Rewind();
  // Runs the travelling frames over and over.
  void Play();
  // Stands at the last frame.
  void ShowEnd();
  // Steps from the current frame through the closing frames to the last,
  // `stepMs` apart; `done` (may be empty) runs after the last.
  void CloseFrames(int stepMs, std::function<void()> done);
  QSize sizeHint() const override { return {120, 44}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Step();

  TransferDirection direction_;
  int frame_ = 0;
  bool closing_ = false;
  QTimer timer_;
  std::function<void()> closed_;
};

}  // namespace tarn::shell
