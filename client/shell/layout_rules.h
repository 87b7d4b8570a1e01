// The split rules of the main window's four panes, as plain functions so
// that the splitter code stays a few lines and the rules are tested without
// a display. All values are pixels of the pane area (below the tool bar,
// above the status bar).
#pragma once

namespace tarn::shell {

// Nearest a split may come to either side of the pane area (vertical
// split: left and right edge) while dragging or after a resize.
inline constexpr int kVerticalSplitMargin = 50;
// Limits of the horizontal split while it is dragged: at least 80 from the
// top and 40 above the bottom; once released, at most 50 above the bottom.
inline constexpr int kHorizontalSplitTopLimit = 80;
inline constexpr int kHorizontalSplitDragBottomLimit = 40;
inline constexpr int kHorizontalSplitReleaseBottomLimit = 50;

// The vertical split (width of the left column) kept at `pos` but at least
// kVerticalSplitMargin from each side of an area `width` wide. An area too
// narrow for both margins puts the split in its middle.
int ClampVerticalSplit(int pos, int width);

// The horizontal split after a resize of the area to `height`: the height
// is shared equally, so every resize puts it back in the middle.
int HorizontalSplitAfterResize(int height);

// The horizontal split while the person drags it to `pos`.
int ClampHorizontalSplitDrag(int pos, int height);

// The horizontal split where the person released it at `pos`.
int HorizontalSplitOnRelease(int pos, int height);

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// A saved window rectangle made to fit `screen` (the available area): no
// larger than it, and moved so that it lies wholly inside, so that a
// placement saved on a larger or another monitor never opens the window
// out of reach.
ScreenRect PlaceOnScreen(ScreenRect saved, ScreenRect screen);

}  // namespace tarn::shell
