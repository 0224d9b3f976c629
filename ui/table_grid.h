#pragma once
// A grid over one table of the rule database: every column but the hidden
// row key, rows in stored order, cells editable, rows added and deleted.
// Each change is written to the table as soon as it is made.

#include <QSqlTableModel>
#include <QString>
#include <QWidget>

class QPushButton;
class QSqlDatabase;
class QTableView;

namespace loomui {

class MessageSink;

class GridModel : public QSqlTableModel {
  Q_OBJECT

 public:
  GridModel(QObject* parent, const QSqlDatabase& db) : QSqlTableModel(parent, db) {}
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

 signals:
  // The table refused a change; the message names the table.
  void refused(const QString& message);
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

  void addRow();
  void deleteSelectedRows();

 private:
  bool report(const QString& action);

  MessageSink& messages_;
  QString table_;
  GridModel* model_ = nullptr;
  QTableView* view_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* delete_ = nullptr;
};

}  // namespace loomui
