#include "scheduler/app/icons.h"

#include <QImageReader>
#include <QPainter>
#include <QPixmap>

// The pictures live in a static library, whose resources register only
// when asked to; this must stand outside any namespace.
static void InitAlmanorResources() { Q_INIT_RESOURCE(almanor); }

namespace sched_app {

namespace {

bool HaveSvg() { return QImageReader::supportedImageFormats().contains("svg"); }

// The clock face of the SVG pictures, in plain strokes.
QIcon Painted(const QColor& badge, bool paused) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(paused ? QColor(0x7a, 0x7a, 0x7a) : QColor(0x1f, 0x4e, 0x8c), 2.5));
    p.setBrush(QColor(0xf4, 0xf8, 0xff));
    p.drawEllipse(QPointF(15, 15), 12.5, 12.5);
    p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15, 15), QPointF(15, 8.5));
    p.drawLine(QPointF(15, 15), QPointF(20, 17.5));
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(badge);
    p.drawEllipse(QPointF(24.5, 24.5), 6.5, 6.5);
    icon.addPixmap(pm);
  }
  return icon;
}

QIcon Load(const char* name, const QColor& badge, bool paused) {
  InitAlmanorResources();
  if (HaveSvg()) {
    QIcon icon(QString(":/almanor/") + name);
    if (!icon.pixmap(16, 16).isNull()) return icon;
  }
  return Painted(badge, paused);
}

}  // namespace

QIcon ReadyIcon() { return Load("ready.svg", QColor(0x2e, 0x9a, 0x3e), false); }
QIcon PausedIcon() { return Load("paused.svg", QColor(0xe0, 0x8a, 0x00), true); }
QIcon MailIcon() { return Load("mail.svg", QColor(0x8a, 0x6d, 0x1a), false); }

}  // namespace sched_app
