#include "ui/centre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace loomui {

void centreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize outer = window->frameGeometry().size();
  // Top first, then left.
  const int top = area.top() + (area.height() - outer.height()) / 2;
  const int left = area.left() + (area.width() - outer.width()) / 2;
  window->move(left, top);
}

}  // namespace loomui
