// SPDX-License-Identifier: MIT
#pragma once
// A grid over one table of the rule database: every column but the hidden
// row key, rows in stored order, cells editable with an editor that fits
// the column, rows added (with sensible values, never NULL) and deleted
// (after asking). Each change is written to the table as soon as it is
// made. A cell that a batch run would refuse is tinted, and its tooltip is
// the run's own message.

#include <QSqlTableModel>
#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "rules/schema.h"
#include "rules/sqlite.h"

class QPushButton;
class QSqlDatabase;
class QTableView;

namespace loom {
class TextCodec;
}

namespace loomui {

class MessageSink;

// A table or column name of the rule database as Qt takes it.
inline QString qtName(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

class GridModel : public QSqlTableModel {
  Q_OBJECT

 public:
  // Over `table` of the open connection `db`.
  GridModel(QObject* parent, const QSqlDatabase& db, const loom::TableDef& table);
  const loom::TableDef& table() const { return table_; }
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // insertRecord, the flag column included.
  bool addRecord(const QSqlRecord& record);

  // The encoding the run reads the rules in; a text it cannot hold is marked.
  void setCodec(const loom::TextCodec& codec) { codec_ = &codec; }
  // What a run would refuse in `row`, each naming its column.
  std::vector<loom::Problem> rowProblems(int row) const;
  QString columnName(int column) const;
  // Whether the grid's `column` is `def` of the table `in`.
  bool isColumn(int column, const loom::TableDef& in, const loom::ColumnDef& def) const;

 signals:
  // The table refused a change; the message names the table.
  void refused(const QString& message);

 private:
  bool isFlagColumn(int column) const;
  std::vector<loom::StoredValue> storedRow(int row) const;
  const loom::TableDef& table_;
  const loom::TextCodec* codec_ = nullptr;
  bool writingFlag_ = false;  // the flag column has no editor, but takes the box's ticks
};

class TableGrid : public QWidget {
  Q_OBJECT

 public:
  TableGrid(MessageSink& messages, QWidget* parent = nullptr);

  // Binds the grid to `table` of the open connection `db` and lists its rows.
  void open(const QSqlDatabase& db, const loom::TableDef& table);
  // Writes what is still pending, a cell being edited included. Returns
  // false (after reporting) when the table refused it; nothing is dropped.
  bool submitPending();
  // Lets go of the table (after submitPending).
  void close();
  void reload();

  GridModel* model() const { return model_; }
  QTableView* view() const { return view_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* deleteButton() const { return delete_; }
  void setCodec(const loom::TextCodec& codec);

  // Adds a row at the end: `values` by column name, every other column its
  // default (empty texts, Title Line 1, the first group, Type 1, ...). The
  // first column without a given value is opened for typing.
  void addRow(const QVariantMap& values = {});
  // Deletes the selected rows once the user has said yes.
  void deleteSelectedRows();

 private:
  bool report(const QString& action);
  // The value a new row gets in the grid's `column`.
  QVariant defaultValue(int column) const;

  MessageSink& messages_;
  QString table_;
  const loom::TextCodec* codec_ = nullptr;
  GridModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace loomui
