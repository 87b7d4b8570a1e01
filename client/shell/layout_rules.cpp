#include "client/shell/layout_rules.h"

#include <algorithm>

namespace tarn::shell {

namespace {

// `pos` within [low, high]; the middle of the area when the range is empty.
int Within(int pos, int low, int high, int size) {
  if (low > high) return std::max(0, size / 2);
  return std::clamp(pos, low, high);
}

}  // namespace

int ClampVerticalSplit(int pos, int width) {
  return Within(pos, kVerticalSplitMargin, width - kVerticalSplitMargin, width);
}

int HorizontalSplitAfterResize(int height) { return std::max(0, height / 2); }

int ClampHorizontalSplitDrag(int pos, int height) {
  return Within(pos, kHorizontalSplitTopLimit, height - kHorizontalSplitDragBottomLimit, height);
}

int HorizontalSplitOnRelease(int pos, int height) {
  return Within(ClampHorizontalSplitDrag(pos, height), kHorizontalSplitTopLimit,
                height - kHorizontalSplitReleaseBottomLimit, height);
}

ScreenRect PlaceOnScreen(ScreenRect r, ScreenRect screen) {
  if (screen.width <= 0 || screen.height <= 0) return r;
  r.width = std::clamp(r.width, 1, screen.width);
  r.height = std::clamp(r.height, 1, screen.height);
  r.x = std::clamp(r.x, screen.x, screen.x + screen.width - r.width);
  r.y = std::clamp(r.y, screen.y, screen.y + screen.height - r.height);
  return r;
}

}  // namespace tarn::shell
