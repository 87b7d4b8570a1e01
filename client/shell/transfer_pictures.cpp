#include "client/shell/transfer_pictures.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tarn::shell {

namespace {

const QColor kPageEdge(90, 90, 100);
const QColor kAsciiInk(30, 80, 170);
const QColor kBinaryInk(150, 60, 20);
const QColor kFolderFill(236, 190, 80);
const QColor kFolderEdge(160, 115, 30);
const QColor kHostFill(120, 140, 170);

// A page with a folded corner in `r`.
void DrawPage(QPainter& p, const QRectF& r) {
  const qreal fold = r.width() * 0.3;
  QPainterPath page;
  page.moveTo(r.left(), r.top());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.right(), r.bottom());
  page.lineTo(r.left(), r.bottom());
  page.closeSubpath();
  p.setPen(QPen(kPageEdge, qMax<qreal>(1.0, r.width() / 14)));
  p.setBrush(Qt::white);
  p.drawPath(page);
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  p.setBrush(QColor(215, 215, 225));
  p.drawPath(corner);
}

// "A" for text, "01" for binary, on a page.
void DrawTypePage(QPainter& p, const QRectF& r, bool binary) {
  DrawPage(p, r);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(qMax(6, int(r.height() * (binary ? 0.42 : 0.62))));
  p.setFont(f);
  p.setPen(binary ? kBinaryInk : kAsciiInk);
  p.drawText(r.adjusted(0, r.height() * 0.18, 0, 0), Qt::AlignCenter, binary ? "01" : "A");
}

void DrawBadge(QPainter& p, const QRectF& r, bool ok) {
  p.setPen(Qt::NoPen);
  p.setBrush(ok ? QColor(40, 150, 60) : QColor(200, 40, 40));
  p.drawEllipse(r);
  p.setPen(QPen(Qt::white, qMax<qreal>(1.4, r.width() / 5), Qt::SolidLine, Qt::RoundCap));
  if (ok) {
    p.drawLine(QPointF(r.left() + r.width() * 0.25, r.center().y()),
               QPointF(r.left() + r.width() * 0.45, r.bottom() - r.height() * 0.25));
    p.drawLine(QPointF(r.left() + r.width() * 0.45, r.bottom() - r.height() * 0.25),
               QPointF(r.right() - r.width() * 0.22, r.top() + r.height() * 0.25));
  } else {
    const qreal m = r.width() * 0.3;
    p.drawLine(r.topLeft() + QPointF(m, m), r.bottomRight() - QPointF(m, m));
    p.drawLine(QPointF(r.right() - m, r.top() + m), QPointF(r.left() + m, r.bottom() - m));
  }
}

void DrawFolder(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kFolderEdge, 1.2));
  p.setBrush(kFolderFill.darker(110));
  QPainterPath tab;
  tab.addRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 2, 2);
  p.drawPath(tab);
  p.setBrush(kFolderFill);
  p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.18, r.width(), r.height() * 0.82), 2, 2);
}

// The host: two stacked server units with their lights.
void DrawHost(QPainter& p, const QRectF& r) {
  const qreal gap = r.height() * 0.08;
  const qreal unit = (r.height() - gap) / 2;
  for (int i = 0; i < 2; ++i) {
    const QRectF u(r.left(), r.top() + i * (unit + gap), r.width(), unit);
    p.setPen(QPen(kHostFill.darker(170), 1.2));
    p.setBrush(kHostFill.lighter(130));
    p.drawRoundedRect(u, 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(46, 157, 74));
    const qreal d = qMax<qreal>(2.0, unit * 0.28);
    p.drawEllipse(QRectF(u.right() - d * 2, u.center().y() - d / 2, d, d));
    p.setPen(QPen(kHostFill.darker(150), qMax<qreal>(1.0, unit * 0.12)));
    p.drawLine(QPointF(u.left() + u.width() * 0.15, u.center().y()),
               QPointF(u.left() + u.width() * 0.55, u.center().y()));
  }
}

QPixmap Canvas(int w, int h) {
  QPixmap pm(w, h);
  pm.fill(Qt::transparent);
  return pm;
}

}  // namespace

QIcon RowIconPicture(RowIcon icon) {
  const bool binary = icon == RowIcon::kBinaryWaiting || icon == RowIcon::kBinaryDone ||
                      icon == RowIcon::kBinaryFailed;
  const bool done = icon == RowIcon::kAsciiDone || icon == RowIcon::kBinaryDone;
  const bool failed = icon == RowIcon::kAsciiFailed || icon == RowIcon::kBinaryFailed;
  QIcon out;
  for (int size : {16, 32}) {
    QPixmap pm = Canvas(size, size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    DrawTypePage(p, QRectF(s * 0.12, s * 0.04, s * 0.66, s * 0.88), binary);
    if (done || failed) DrawBadge(p, QRectF(s * 0.5, s * 0.5, s * 0.5, s * 0.5), done);
    p.end();
    out.addPixmap(pm);
  }
  return out;
}

QPixmap TypePicture(bool binary, int size) {
  QPixmap pm = Canvas(size, size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  DrawTypePage(p, QRectF(size * 0.14, size * 0.05, size * 0.72, size * 0.9), binary);
  return pm;
}

QPixmap DirectionPicture(TransferDirection direction, int size) {
  QPixmap pm = Canvas(size, size);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QRectF host(s * 0.05, s * 0.08, s * 0.36, s * 0.5);
  const QRectF pc(s * 0.55, s * 0.42, s * 0.42, s * 0.38);
  DrawHost(p, host);
  DrawFolder(p, pc);
  // The arrow shows which way the files go.
  const bool toHost = direction != TransferDirection::kDownload;
  QPointF from = toHost ? pc.topLeft() + QPointF(s * 0.08, -s * 0.02) : host.topRight() + QPointF(s * 0.02, s * 0.08);
  QPointF to = toHost ? host.topRight() + QPointF(s * 0.04, s * 0.06) : pc.topLeft() + QPointF(s * 0.12, -s * 0.04);
  QColor ink = direction == TransferDirection::kAppend ? QColor(120, 60, 170) : QColor(30, 120, 60);
  p.setPen(QPen(ink, s / 14, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
  const qreal angle = std::atan2(to.y() - from.y(), to.x() - from.x());
  const qreal head = s * 0.16;
  p.drawLine(to, to - QPointF(std::cos(angle - 0.5) * head, std::sin(angle - 0.5) * head));
  p.drawLine(to, to - QPointF(std::cos(angle + 0.5) * head, std::sin(angle + 0.5) * head));
  if (direction == TransferDirection::kAppend) {
    // A "+" on the host: the bytes join the end of a host file.
    p.setPen(QPen(Qt::white, s / 16, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = host.center();
    p.drawLine(c - QPointF(s * 0.08, 0), c + QPointF(s * 0.08, 0));
    p.drawLine(c - QPointF(0, s * 0.08), c + QPointF(0, s * 0.08));
  }
  return pm;
}

// --- The animation -------------------------------------------------------------

TransferAnimation::TransferAnimation(TransferDirection direction, QWidget* parent)
    : QWidget(parent), direction_(direction) {
  setMinimumSize(sizeHint());
  connect(&timer_, &QTimer::timeout, this, &TransferAnimation::Step);
}

void TransferAnimation::Rewind() {
  timer_.stop();
  closing_ = false;
  frame_ = 0;
  update();
}

void TransferAnimation::Play() {
  closing_ = false;
  timer_.start(kPlayFrameMs);
}

void TransferAnimation::ShowEnd() {
  timer_.stop();
  closing_ = false;
  frame_ = kFrames - 1;
  update();
}

void TransferAnimation::CloseFrames(int stepMs, std::function<void()> done) {
  closing_ = true;
  closed_ = std::move(done);
  timer_.start(stepMs);
}

void TransferAnimation::Step() {
  if (closing_) {
    if (frame_ < kFrames - 1) {
      ++frame_;
      update();
      return;
    }
    timer_.stop();
    closing_ = false;
    if (auto done = std::move(closed_)) done();
    return;
  }
  // Playing: the page travels and starts again, never showing the
  // arrived frame, which means "finished".
  frame_ = (frame_ + 1) % (kFrames - 1);
  update();
}

void TransferAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = width(), h = height();
  const qreal box = qMin(h * 0.8, w * 0.26);
  const QRectF left(2, h - box - 2, box, box * 0.85);
  const QRectF right(w - box - 2, h - box - 2, box, box * 0.85);
  // Downloads go from the host (left) to the PC folder (right); uploads
  // and appends the other way.
  const bool toHost = direction_ != TransferDirection::kDownload;
  if (toHost) {
    DrawFolder(p, left);
    DrawHost(p, right.adjusted(box * 0.1, -box * 0.1, -box * 0.1, 0));
  } else {
    DrawHost(p, left.adjusted(box * 0.1, -box * 0.1, -box * 0.1, 0));
    DrawFolder(p, right);
  }
  // The page flies along an arc from above the left box to above the right.
  const qreal t = qreal(frame_) / (kFrames - 1);
  const qreal page = box * 0.5;
  const qreal x0 = left.center().x() - page / 2, x1 = right.center().x() - page / 2;
  const qreal x = x0 + (x1 - x0) * t;
  const qreal yBase = left.top() - page * 0.2;
  const qreal y = yBase - std::sin(t * M_PI) * (yBase - 2) * 0.9 - page * 0.4;
  DrawPage(p, QRectF(x, qMax<qreal>(1, y), page, page * 1.25));
  if (frame_ == kFrames - 1) DrawBadge(p, QRectF(right.right() - box * 0.45, right.top() - box * 0.05, box * 0.45, box * 0.45), true);
}

}  // namespace tarn::shell
