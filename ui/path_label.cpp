// SPDX-License-Identifier: MIT
#include "ui/path_label.h"

#include <QFontMetrics>

namespace loomui {

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void PathLabel::setPath(const QString& path, const QString& prefix) {
  path_ = path;
  prefix_ = prefix;
  setToolTip(path_);
  elide();
  updateGeometry();
}

// The label never asks for the path's width: a long path would widen the
// window past the screen.
QSize PathLabel::minimumSizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return {metrics.averageCharWidth() * 12, QLabel::minimumSizeHint().height()};
}

QSize PathLabel::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  return {std::min(metrics.horizontalAdvance(prefix_ + path_), metrics.averageCharWidth() * 60),
          QLabel::sizeHint().height()};
}

void PathLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  elide();
}

void PathLabel::elide() {
  const QFontMetrics metrics = fontMetrics();
  const int room = contentsRect().width() - metrics.horizontalAdvance(prefix_);
  setText(prefix_ + metrics.elidedText(path_, Qt::ElideMiddle, std::max(room, 0)));
}

}  // namespace loomui
