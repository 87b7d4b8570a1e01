#include "client/shell/pane_area.h"

#include <QEvent>
#include <QResizeEvent>
#include <QSplitterHandle>
#include <QVBoxLayout>

#include "client/shell/layout_rules.h"

namespace tarn::shell {

namespace {

QSplitter* Row(QWidget* tree, QWidget* list, QWidget* parent) {
  auto* row = new QSplitter(Qt::Horizontal, parent);
  row->addWidget(tree);
  row->addWidget(list);
  row->setChildrenCollapsible(false);
  // A resize of the window goes to the list: the tree keeps its width.
  row->setStretchFactor(0, 0);
  row->setStretchFactor(1, 1);
  tree->setMinimumWidth(0);
  list->setMinimumWidth(0);
  return row;
}

}  // namespace

PaneArea::PaneArea(QWidget* hostTree, QWidget* hostList, QWidget* pcTree, QWidget* pcList,
                   QWidget* parent)
    : QWidget(parent) {
  halves_ = new QSplitter(Qt::Vertical, this);
  halves_->setChildrenCollapsible(false);
  hostRow_ = Row(hostTree, hostList, halves_);
  pcRow_ = Row(pcTree, pcList, halves_);
  halves_->addWidget(hostRow_);
  halves_->addWidget(pcRow_);
  hostRow_->setMinimumHeight(0);
  pcRow_->setMinimumHeight(0);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(halves_);

  connect(hostRow_, &QSplitter::splitterMoved, this, [this](int pos, int) { OnRowMoved(hostRow_, pos); });
  connect(pcRow_, &QSplitter::splitterMoved, this, [this](int pos, int) { OnRowMoved(pcRow_, pos); });
  connect(halves_, &QSplitter::splitterMoved, this, [this](int pos, int) { OnHalvesMoved(pos); });
  halves_->handle(1)->installEventFilter(this);
}

int PaneArea::verticalSplit() const { return vsplit_; }

int PaneArea::horizontalSplit() const {
  QList<int> s = halves_->sizes();
  return s.isEmpty() ? 0 : s[0];
}

void PaneArea::SetVerticalSplit(int pos) {
  vsplit_ = ClampVerticalSplit(pos, width());
  adjusting_ = true;
  const int rest = std::max(0, width() - vsplit_ - hostRow_->handleWidth());
  hostRow_->setSizes({vsplit_, rest});
  pcRow_->setSizes({vsplit_, rest});
  adjusting_ = false;
}

void PaneArea::SetHorizontalSplit(int pos) {
  const int total = std::max(0, height() - halves_->handleWidth());
  adjusting_ = true;
  halves_->setSizes({pos, std::max(0, total - pos)});
  adjusting_ = false;
}

void PaneArea::OnRowMoved(QSplitter*, int pos) {
  if (adjusting_) return;
  SetVerticalSplit(pos);
}

void PaneArea::OnHalvesMoved(int pos) {
  if (adjusting_) return;
  const int total = height();
  const int clamped = ClampHorizontalSplitDrag(pos, total);
  if (clamped != pos) SetHorizontalSplit(clamped);
}

bool PaneArea::eventFilter(QObject* watched, QEvent* event) {
  if (watched == halves_->handle(1) && event->type() == QEvent::MouseButtonRelease) {
    const int pos = horizontalSplit();
    const int final = HorizontalSplitOnRelease(pos, height());
    if (final != pos) SetHorizontalSplit(final);
  }
  return QWidget::eventFilter(watched, event);
}

void PaneArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Every resize shares the height equally again; the vertical split
  // stays where the person put it, but inside the margins.
  SetHorizontalSplit(HorizontalSplitAfterResize(height() - halves_->handleWidth()));
  SetVerticalSplit(vsplit_);
}

}  // namespace tarn::shell
