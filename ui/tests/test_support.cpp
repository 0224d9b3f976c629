#include "ui/tests/test_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <stdexcept>

#include "rules/rule_database.h"
#include "rules/sqlite.h"

namespace loomui::testing {

int RecordingSink::show(QWidget*, const Message& message) {
  messages.push_back(message);
  if (onShow) onShow(message);
  return static_cast<int>(message.actions.indexOf(choose));
}

QStringList RecordingSink::texts() const {
  QStringList result;
  for (const Message& m : messages) result << m.text;
  return result;
}

Workspace::Workspace() {
  if (!dir_.isValid()) throw std::runtime_error("cannot make a temporary directory");
  loom::createRuleDatabase(rulesPath().toStdString(), loom::NewDatabaseContents::Bundled);
}

QString Workspace::makeDir(const QString& name) const {
  const QString path = dir_.filePath(name);
  if (!QDir().mkpath(path)) throw std::runtime_error("cannot make " + path.toStdString());
  return path;
}

void Workspace::writeFile(const QString& dir, const QString& name, const QByteArray& bytes) {
  QFile file(QDir(dir).filePath(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    throw std::runtime_error("cannot write " + file.fileName().toStdString());
  }
}

QByteArray Workspace::readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Workspace::exec(const std::string& sql) const {
  loom::Database(rulesPath().toStdString(), loom::Database::Mode::ReadWrite).exec(sql);
}

QStringList Workspace::rows(const std::string& table) const {
  loom::Database db(rulesPath().toStdString(), loom::Database::Mode::ReadOnly);
  const int first = db.hasColumn(table, "RowKey") ? 1 : 0;  // GlobalDefs has no key
  loom::Statement select = db.prepare("SELECT * FROM " + table + " ORDER BY rowid");
  QStringList result;
  while (select.step()) {
    QStringList columns;
    for (int c = first; c < select.columnCount(); ++c) {
      const loom::StoredValue v = select.value(c);
      columns << (v.isNull()                 ? QStringLiteral("<null>")
                  : v.type == SQLITE_INTEGER ? QString::number(v.integer)
                                             : QString::fromStdString(v.text));
    }
    result << columns.join('|');
  }
  return result;
}

void whenModalOpens(std::function<void(QWidget*)> action) {
  QWidget* before = QApplication::activeModalWidget();
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, before, action] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool open = modal && modal != before && modal->isVisible();
    if (open || ++*tries > 1000) {
      timer->stop();
      timer->deleteLater();
      if (open) action(modal);
    }
  });
  timer->start(10);
}

}  // namespace loomui::testing
