#pragma once
// What the window tests share: a message sink that records instead of
// blocking, and a rule database of their own in a temporary directory.

#include <QAbstractButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <vector>

#include "ui/message_sink.h"

namespace loomui::testing {

class RecordingSink : public MessageSink {
 public:
  int show(QWidget* parent, const Message& message) override;
  QStringList texts() const;
  std::vector<Message> messages;
  std::function<void(const Message&)> onShow;  // runs while the message is "on screen"
  QString choose;  // the action the user picks; none, or one not offered, is OK
};

// A temporary directory holding a copy of the bundled rules ("rules.mdb").
class Workspace {
 public:
  Workspace();
  QString rulesPath() const { return dir_.filePath(QStringLiteral("rules.mdb")); }
  QString makeDir(const QString& name) const;
  static void writeFile(const QString& dir, const QString& name, const QByteArray& bytes);
  static QByteArray readFile(const QString& path);
  void exec(const std::string& sql) const;
  // The rows of `table` in stored order, each as its columns but the hidden
  // key joined by "|" (NULL as "<null>").
  QStringList rows(const std::string& table) const;

 private:
  QTemporaryDir dir_;
};

inline void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// Calls `action` with the next modal window once its exec() loop has opened it.
void whenModalOpens(std::function<void(QWidget*)> action);

}  // namespace loomui::testing
