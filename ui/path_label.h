// SPDX-License-Identifier: MIT
#pragma once
// A one-line label for a path that may be longer than the window is wide:
// the middle gives way, so both the start (where it is) and the end (the
// file's name) stay readable, and the tooltip holds the whole path.

#include <QLabel>
#include <QString>

namespace loomui {

class PathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit PathLabel(QWidget* parent = nullptr);

  // `prefix` is never shortened ("Index page: ").
  void setPath(const QString& path, const QString& prefix = {});
  const QString& path() const { return path_; }

  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void elide();

  QString path_;
  QString prefix_;
};

}  // namespace loomui
