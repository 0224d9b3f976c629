// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

namespace loomui {

// Places a window in the middle of its screen (the primary screen when it
// has none yet), from the window's outer size. A window larger than the
// screen's free area is made smaller, down to its minimum size, and one
// that still does not fit keeps its title bar and top left corner on the
// screen, so that it can be moved and its buttons reached.
void centreOnScreen(QWidget* window);

}  // namespace loomui
