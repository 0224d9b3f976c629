#pragma once

class QWidget;

namespace loomui {

// Places a window in the middle of its screen (the primary screen when it
// has none yet), from the window's outer size.
void centreOnScreen(QWidget* window);

}  // namespace loomui
