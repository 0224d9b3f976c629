// SPDX-License-Identifier: MIT
#include "ui/centre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

namespace loomui {

namespace {

void placeInTheMiddle(QWidget* window) {
  const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  if (!window->isMaximized() && !window->isFullScreen()) {
    const QSize frame = window->frameGeometry().size() - window->size();
    const QSize room = (area.size() - frame).expandedTo(window->minimumSize());
    if (window->width() > room.width() || window->height() > room.height()) {
      window->resize(window->size().boundedTo(room));
    }
  }
  const QSize outer = window->frameGeometry().size();
  // Top first, then left; never above or left of the free area.
  const int top = std::max(area.top(), area.top() + (area.height() - outer.height()) / 2);
  const int left = std::max(area.left(), area.left() + (area.width() - outer.width()) / 2);
  window->move(left, top);
}

// Before a window's first showing its frame (the title bar) is not known,
// so it would sit half a title bar too low. Once the window manager has
// framed it, it is placed again, once.
class PlaceWhenFramed : public QObject {
 public:
  explicit PlaceWhenFramed(QWidget* window) : QObject(window) {
    window->installEventFilter(this);
    // A platform without frames never reports one.
    QTimer::singleShot(3000, this, &QObject::deleteLater);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = static_cast<QWidget*>(watched);
    const QEvent::Type t = event->type();
    if ((t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show) && window->isVisible() &&
        window->frameGeometry().size() != window->size()) {
      window->removeEventFilter(this);
      placeInTheMiddle(window);
      deleteLater();
    }
    return false;
  }
};

}  // namespace

void centreOnScreen(QWidget* window) {
  placeInTheMiddle(window);
  if (window->frameGeometry().size() == window->size() && !window->isVisible()) {
    new PlaceWhenFramed(window);
  }
}

}  // namespace loomui
