// The start-up picture: centred on the screen, it closes after 2,500 ms, at
// a click on it, or at any key the program receives while it shows (the
// picture takes no focus of its own, so the key that closes it is taken
// from whichever window has the focus).
#pragma once

#include <QSplashScreen>
#include <QTimer>

namespace tarn::shell {

class Splash : public QSplashScreen {
  Q_OBJECT
 public:
  static constexpr int kShowMs = 2500;
  Splash();
  // Shows it and starts the timer that closes it.
  void Start();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTimer timer_;
};

// The picture itself (drawn, not loaded), `width` x `height` pixels.
QPixmap SplashPicture(int width = 560, int height = 300);

}  // namespace tarn::shell
