// SPDX-License-Identifier: MIT
#pragma once
// A message sink that records instead of blocking, and a rule database of the test's own.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <vector>

#include "base/text.h"
#include "rules/rule_database.h"
#include "rules/sqlite.h"
#include "ui/message_sink.h"

namespace loomui::testing {

class RecordingSink : public MessageSink {
 public:
  int show(QWidget*, const Message& message) override {
    messages.push_back(message);
    if (onShow) onShow(message);
    return static_cast<int>(message.actions.indexOf(choose));
  }
  // The text and detail of the one message shown; else how many there were.
  QString lone() const {
    return messages.size() == 1 ? messages[0].text + '\n' + messages[0].detail
                                : QString("%1 messages").arg(messages.size());
  }
  std::vector<Message> messages;
  std::function<void(const Message&)> onShow;  // runs while the message is "on screen"
  QString choose;  // the action the user picks; none, or one not offered, is OK
};

// A temporary directory holding a copy of the bundled rules ("rules.mdb").
class Workspace {
 public:
  Workspace() {
    loom::createRuleDatabase(rulesPath().toStdString(), loom::NewDatabaseContents::Bundled);
  }
  QString rulesPath() const { return dir_.filePath(QStringLiteral("rules.mdb")); }
  QString makeDir(const QString& name) const {
    if (!QDir().mkpath(dir_.filePath(name))) throw std::runtime_error("cannot make a directory");
    return dir_.filePath(name);
  }
  static void writeFile(const QString& dir, const QString& name, const QByteArray& bytes) {
    QFile file(QDir(dir).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
      throw std::runtime_error("cannot write " + file.fileName().toStdString());
  }
  static QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  void exec(const std::string& sql) const {
    loom::Database(rulesPath().toStdString(), loom::Database::Mode::ReadWrite).exec(sql);
  }
  // The rows of `table` in stored order: all columns but the key, "|"-joined, NULL as "<null>".
  QStringList rows(const std::string& table) const {
    loom::Database db(rulesPath().toStdString(), loom::Database::Mode::ReadOnly);
    const std::vector<std::string> names = db.columnNames(table);
    const bool keyed = std::ranges::any_of(  // GlobalDefs has no key
        names,
        [](const std::string& name) { return loom::equalsIgnoringAsciiCase(name, "RowKey"); });
    const int first = keyed ? 1 : 0;
    loom::Statement select = db.prepare("SELECT * FROM " + table + " ORDER BY rowid");
    QStringList result;
    while (select.step()) {
      QStringList columns;
      for (int c = first; c < select.columnCount(); ++c)
        columns << QString::fromStdString(select.value(c).asText().value_or("<null>"));
      result << columns.join('|');
    }
    return result;
  }

 private:
  QTemporaryDir dir_;
};

inline void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// Whether Tab leads through `order` one after the other (skipping what Tab never stops at).
inline bool tabsThrough(std::initializer_list<QWidget*> order) {
  const QWidget* expected = nullptr;
  for (QWidget* w : order) {
    if (expected && w != expected) return false;
    expected = w->nextInFocusChain();
    while (!(expected->focusPolicy() & Qt::TabFocus)) expected = expected->nextInFocusChain();
  }
  return true;
}

// Calls `action` with the next modal window once its exec() loop has opened it.
inline void whenModalOpens(std::function<void(QWidget*)> action,
                           QWidget* before = QApplication::activeModalWidget(), int tries = 1000) {
  QTimer::singleShot(10, qApp, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != before && modal->isVisible())
      action(modal);
    else if (tries > 0)
      whenModalOpens(action, before, tries - 1);
  });
}

}  // namespace loomui::testing
