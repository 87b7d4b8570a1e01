// PaneArea: the four panes of the main window, host side above the PC
// side, trees on the left and lists on the right. One vertical split runs
// through both halves (the two rows' splitters move together); the
// horizontal split between the halves goes back to the middle on every
// resize. The limits are layout_rules.h's.
#pragma once

#include <QSplitter>
#include <QWidget>

namespace tarn::shell {

class PaneArea : public QWidget {
  Q_OBJECT
 public:
  // Takes the four panes as children.
  PaneArea(QWidget* hostTree, QWidget* hostList, QWidget* pcTree, QWidget* pcList,
           QWidget* parent = nullptr);

  // Width of the left column / height of the host half, in pixels.
  int verticalSplit() const;
  int horizontalSplit() const;
  void SetVerticalSplit(int pos);
  void SetHorizontalSplit(int pos);

  QSplitter* halves() const { return halves_; }
  QSplitter* hostRow() const { return hostRow_; }
  QSplitter* pcRow() const { return pcRow_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnRowMoved(QSplitter* row, int pos);
  void OnHalvesMoved(int pos);

  QSplitter* halves_;
  QSplitter* hostRow_;
  QSplitter* pcRow_;
  int vsplit_ = 260;
  bool adjusting_ = false;
};

}  // namespace tarn::shell
