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
#include <vector>

#include "base/error.h"

class QPushButton;
class QSqlDatabase;
class QTableView;

namespace loom {
class TextCodec;
}

namespace loomui {

class MessageSink;

class GridModel : public QSqlTableModel {
  Q_OBJECT

 public:
  GridModel(QObject* parent, const QSqlDatabase& db) : QSqlTableModel(parent, db) {}
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

 signals:
  // The table refused a change; the message names the table.
  void refused(const QString& message);

 private:
  bool isFlagColumn(int column) const;
  const loom::TextCodec* codec_ = nullptr;
  bool writingFlag_ = false;  // the flag column has no editor, but takes the box's ticks
};

class TableGrid : public QWidget {
  Q_OBJECT

 public:
  TableGrid(MessageSink& messages, QWidget* parent = nullptr);

  // Binds the grid to `table` of the open connection `db` and lists its rows.
  void open(const QSqlDatabase& db, const QString& table);
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
  QVariant defaultValue(const QString& column) const;

  MessageSink& messages_;
  QString table_;
  const loom::TextCodec* codec_ = nullptr;
  GridModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace loomui
