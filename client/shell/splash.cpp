#include "client/shell/splash.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "client/shell/help_window.h"

namespace tarn::shell {

QPixmap SplashPicture(int w, int h) {
  QPixmap pm(w, h);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(0x5d, 0xa8, 0xe3));
  sky.setColorAt(0.62, QColor(0xd9, 0xee, 0xfb));
  sky.setColorAt(0.63, QColor(0x23, 0x74, 0xb8));
  sky.setColorAt(1, QColor(0x0b, 0x43, 0x78));
  p.fillRect(pm.rect(), sky);
  // Peaks over the lake.
  const int shore = h * 62 / 100;
  QPainterPath hills;
  hills.moveTo(0, shore);
  hills.lineTo(w * 0.18, h * 0.42);
  hills.lineTo(w * 0.30, h * 0.52);
  hills.lineTo(w * 0.50, h * 0.34);
  hills.lineTo(w * 0.70, h * 0.50);
  hills.lineTo(w * 0.82, h * 0.40);
  hills.lineTo(w, shore);
  hills.closeSubpath();
  p.fillPath(hills, QColor(0x5b, 0x6b, 0x7a));
  QPainterPath snow;
  snow.moveTo(w * 0.50, h * 0.34);
  snow.lineTo(w * 0.55, h * 0.40);
  snow.lineTo(w * 0.52, h * 0.39);
  snow.lineTo(w * 0.485, h * 0.42);
  snow.lineTo(w * 0.46, h * 0.39);
  snow.closeSubpath();
  p.fillPath(snow, Qt::white);
  // Ripples.
  p.setPen(QPen(QColor(0x9f, 0xd3, 0xff), 2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 4; ++i) {
    int y = shore + 18 + i * 20;
    int x = (i % 2) ? w / 6 : w / 3;
    p.drawLine(x, y, x + w / 5, y);
  }
  QIcon(":/tarn/icons/tarn.svg").paint(&p, QRect(24, 22, 64, 64));
  p.setPen(Qt::white);
  QFont title = p.font();
  title.setPointSize(24);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(0x0d, 0x3c, 0x66));
  p.drawText(QRect(100, 22, w - 116, 40), Qt::AlignLeft | Qt::AlignVCenter, "Tarn File Transfer");
  QFont small = p.font();
  small.setPointSize(10);
  small.setBold(false);
  p.setFont(small);
  const QRect line(100, 62, w - 116, 22);
  p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
             p.fontMetrics().elidedText("FTP and FTPS for UNIX, Windows, NetWare and mainframe hosts",
                                        Qt::ElideRight, line.width()));
  p.setPen(Qt::white);
  p.drawText(QRect(16, h - 30, w - 32, 20), Qt::AlignRight | Qt::AlignVCenter,
             "Version " + ProgramVersion());
  p.setPen(QColor(0x1b, 0x5e, 0x93));
  p.setBrush(Qt::NoBrush);
  p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
  return pm;
}

Splash::Splash() : QSplashScreen(SplashPicture()) {
  setObjectName("splash");
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &QWidget::close);
}

void Splash::Start() {
  show();
  raise();
  timer_.start(kShowMs);
  qApp->installEventFilter(this);
}

bool Splash::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && isVisible()) {
    close();
    return true;
  }
  return QSplashScreen::eventFilter(watched, event);
}

void Splash::hideEvent(QHideEvent* event) {
  qApp->removeEventFilter(this);
  QSplashScreen::hideEvent(event);
}

void Splash::keyPressEvent(QKeyEvent* event) {
  event->accept();
  close();
}

void Splash::mousePressEvent(QMouseEvent*) { close(); }

}  // namespace tarn::shell
