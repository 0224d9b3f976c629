#pragma once
// What the window tests share: a message sink that records instead of
// blocking, a rule database of their own, and input directories.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "ui/message_sink.h"

namespace loomui::testing {

class RecordingSink : public MessageSink {
 public:
  int show(QWidget* parent, const Message& message) override;
  QStringList texts() const;
  std::vector<Message> messages;
  // Runs while a message is "on screen", e.g. to check what the user sees.
  std::function<void(const Message&)> onShow;
  // The action the user picks (its caption); none, or one not offered,
  // closes the box with OK.
  QString choose;
};

// A temporary directory holding a copy of the bundled rules ("rules.mdb").
class Workspace {
 public:
  Workspace();
  QString rulesPath() const { return dir_.filePath(QStringLiteral("rules.mdb")); }
  // Makes a directory below the workspace and returns its path.
  QString makeDir(const QString& name) const;
  // Writes `bytes` into dir/name.
  static void writeFile(const QString& dir, const QString& name, const QByteArray& bytes);
  static QByteArray readFile(const QString& path);
  // Runs SQL on the rule database through the core's own access layer.
  void exec(const std::string& sql) const;
  // The rows of `table` in stored order, each as its columns joined by "|"
  // (NULL as "<null>"), without the hidden key.
  QStringList rows(const std::string& table) const;

 private:
  QTemporaryDir dir_;
};

}  // namespace loomui::testing

class QWidget;

namespace loomui::testing {

// Calls `action` with the next modal window once it is open (the tests run
// the windows' own exec() loops, as a user would meet them).
void whenModalOpens(std::function<void(QWidget*)> action);

// The texts of every QLabel below `root`.
QStringList labelTexts(const QWidget* root);

}  // namespace loomui::testing
