#include "ui/table_grid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "base/error.h"
#include "ui/message_sink.h"

namespace loomui {

namespace {
// The hidden counter that keeps the stored order and is the table's key, so
// an edit reaches the row the user edited even when two rows are identical.
const QString kRowKey = QStringLiteral("RowKey");
}  // namespace

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (QSqlTableModel::setData(index, value, role)) return true;
  if (lastError().isValid()) {
    const QString message = lastError().text();
    revertAll();  // the view must not show a value the table does not hold
    emit refused(message);
  }
  return false;
}

TableGrid::TableGrid(MessageSink& messages, QWidget* parent)
    : QWidget(parent), messages_(messages) {
  view_ = new QTableView(this);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setAlternatingRowColors(true);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 8);
  view_->horizontalHeader()->setStretchLastSection(true);
  add_ = new QPushButton(QStringLiteral("Add row"), this);
  delete_ = new QPushButton(QStringLiteral("Delete row"), this);
  add_->setToolTip(QStringLiteral("Adds an empty row at the end of the table"));
  delete_->setToolTip(QStringLiteral("Deletes the selected rows from the table"));
  for (QPushButton* b : {add_, delete_}) b->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(add_);
  buttons->addWidget(delete_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);

  connect(add_, &QPushButton::clicked, this, &TableGrid::addRow);
  connect(delete_, &QPushButton::clicked, this, &TableGrid::deleteSelectedRows);
}

void TableGrid::open(const QSqlDatabase& db, const QString& table) {
  table_ = table;
  delete model_;
  model_ = new GridModel(this, db);
  model_->setTable(table);
  const int key = model_->record().indexOf(kRowKey);
  if (key < 0) {
    throw loom::LoomError(loom::ErrorKind::Rules,
                          "Rule database \"" + db.databaseName().toStdString() + "\": table " +
                              table.toStdString() + " is missing or has no column RowKey");
  }
  model_->setEditStrategy(QSqlTableModel::OnFieldChange);
  model_->setSort(key, Qt::AscendingOrder);
  connect(model_, &GridModel::refused, this, [this](const QString& message) {
    messages_.show(this, {Message::Kind::Error,
                          QStringLiteral("The table %1 refused the change.").arg(table_), message});
  });
  view_->setModel(model_);
  view_->hideColumn(key);
  reload();
}

void TableGrid::reload() {
  if (!model_) return;
  if (!model_->select()) {
    report(QStringLiteral("read"));
    return;
  }
  // Read every row now, so no statement stays open on the file while the
  // other windows write to it.
  while (model_->canFetchMore()) model_->fetchMore();
  view_->resizeColumnsToContents();
  for (int c = 0; c < model_->columnCount(); ++c) {
    view_->setColumnWidth(c, std::clamp(view_->columnWidth(c), 70, 260));
  }
}

bool TableGrid::report(const QString& action) {
  messages_.show(this, {Message::Kind::Error,
                        QStringLiteral("Could not %1 the table %2.").arg(action, table_),
                        model_->lastError().text()});
  return false;
}

bool TableGrid::submitPending() {
  if (!model_) return true;
  // Commits a cell that is still being edited.
  view_->setCurrentIndex(QModelIndex());
  if (model_->isDirty() && !model_->submitAll()) return report(QStringLiteral("write"));
  return true;
}

void TableGrid::close() {
  if (!model_) return;
  view_->setModel(nullptr);
  delete model_;
  model_ = nullptr;
}

void TableGrid::addRow() {
  if (!model_) return;
  view_->setCurrentIndex(QModelIndex());
  QSqlRecord row = model_->record();
  const int key = row.indexOf(kRowKey);
  // The key is left to the table; one explicit NULL makes a valid INSERT.
  for (int c = 0; c < row.count(); ++c) row.setGenerated(c, false);
  const int first = key == 0 ? 1 : 0;
  row.setValue(first, QVariant());
  row.setGenerated(first, true);
  if (!model_->insertRecord(-1, row)) {
    report(QStringLiteral("add a row to"));
    model_->revertAll();
    return;
  }
  reload();
  const QModelIndex cell = model_->index(model_->rowCount() - 1, first);
  view_->scrollTo(cell);
  view_->setCurrentIndex(cell);
  view_->edit(cell);
}

void TableGrid::deleteSelectedRows() {
  if (!model_) return;
  QList<int> rows;
  for (const QModelIndex& index : view_->selectionModel()->selectedRows()) rows << index.row();
  if (rows.isEmpty() && view_->currentIndex().isValid()) rows << view_->currentIndex().row();
  if (rows.isEmpty()) return;
  view_->setCurrentIndex(QModelIndex());
  std::sort(rows.begin(), rows.end(), std::greater<>());
  for (int row : rows) {
    if (!model_->removeRow(row)) {
      report(QStringLiteral("delete a row of"));
      model_->revertAll();
      break;
    }
  }
  reload();
}

}  // namespace loomui
