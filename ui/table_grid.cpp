// SPDX-License-Identifier: MIT
#include "ui/table_grid.h"

#include <QBrush>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/rules_compiler.h"
#include "base/codec.h"
#include "rules/constraint_draft.h"
#include "rules/rule_tables.h"
#include "ui/grid_editors.h"
#include "ui/message_sink.h"

namespace loomui {

namespace schema = loom::schema;

namespace {

constexpr qsizetype kLongCellText = 30;  // about what the widest column shows

// A cell's value as the run reads it: a text column as text, whatever it holds.
loom::StoredValue storedOf(const QVariant& v, loom::ColumnKind kind) {
  loom::StoredValue stored;
  if (v.isNull()) return stored;
  switch (kind == loom::ColumnKind::Text ? QMetaType::QString : v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
      stored.type = loom::ValueType::Integer;
      stored.integer = v.toLongLong();
      break;
    case QMetaType::Double:
      stored.type = loom::ValueType::Real;
      stored.real = v.toDouble();
      break;
    default:
      stored.type = loom::ValueType::Text;
      stored.text = v.toString().toStdString();
  }
  return stored;
}

}  // namespace

GridModel::GridModel(QObject* parent, const QSqlDatabase& db, const loom::TableDef& table)
    : QSqlTableModel(parent, db), table_(table) {
  setTable(qtName(table.name));
}

QString GridModel::columnName(int column) const { return record().fieldName(column); }

bool GridModel::isColumn(int column, const loom::TableDef& in, const loom::ColumnDef& def) const {
  return table_.name == in.name && columnName(column) == qtName(def.name);
}

bool GridModel::isFlagColumn(int column) const {
  const std::size_t at = table_.indexOf(columnName(column).toStdString());
  return at < table_.columns.size() && table_.columns[at].kind == loom::ColumnKind::Boolean;
}

std::vector<loom::StoredValue> GridModel::storedRow(int row) const {
  const QSqlRecord r = record(row);
  std::vector<loom::StoredValue> values;
  for (const loom::ColumnDef& column : table_.columns) {
    values.push_back(storedOf(r.value(qtName(column.name)), column.kind));
  }
  return values;
}

std::vector<loom::Problem> GridModel::rowProblems(int row) const {
  const std::vector<loom::StoredValue> values = storedRow(row);
  const loom::TextCodec& codec = codec_ ? *codec_ : loom::windows1252Codec();
  if (table_.name == schema::kFileTypes.name) {
    std::vector<loom::FileTypeRecord> rows;
    for (int earlier = 0; earlier < row; ++earlier) {
      rows.push_back(loom::fileTypeFrom(storedRow(earlier)));
    }
    rows.push_back(loom::fileTypeFrom(values));
    std::vector<loom::Problem> problems = loom::checkFileTypeRow(rows.back(), codec);
    for (const auto& [first, later] : loom::repeatedFileTypes(rows, codec)) {
      if (later != rows.size()) continue;
      problems.push_back({loom::ErrorKind::Rules,
                          "Row " + std::to_string(first) +
                              " has the same Identifier, so this row is never used; change one "
                              "of them or delete this row",
                          loom::Missing::Nothing,
                          {},
                          std::string(loom::schema::kIdentifier.name)});
    }
    return problems;
  }
  if (table_.name == schema::kGroups.name) {
    return loom::checkGroupRow(loom::groupFrom(values), codec);
  }
  if (table_.name == schema::kConstraints.name) {
    // Rows are listed in stored order.
    const std::size_t position = static_cast<std::size_t>(row) + 1;
    return loom::checkConstraintRow(loom::constraintFrom(values, position), codec);
  }
  return {};
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::BackgroundRole || role == Qt::ToolTipRole) {
    QStringList messages;
    const QString column = columnName(index.column());
    for (const loom::Problem& p : rowProblems(index.row())) {
      if (QString::fromStdString(p.column) == column) messages << QString::fromStdString(p.message);
    }
    if (messages.isEmpty() && role == Qt::ToolTipRole) {
      // A column is kept narrow enough for the others to show, so a long
      // text is cut; its tooltip holds all of it.
      const QString text = QSqlTableModel::data(index, Qt::DisplayRole).toString();
      return text.size() > kLongCellText ? text : QVariant();
    }
    if (messages.isEmpty()) return QSqlTableModel::data(index, role);
    if (role == Qt::ToolTipRole) return messages.join('\n');
    return QBrush(QColor(0xff, 0xd6, 0xc2));
  }
  if (isFlagColumn(index.column()) && (role == Qt::CheckStateRole || role == Qt::DisplayRole)) {
    const loom::StoredValue flag =
        storedOf(QSqlTableModel::data(index, Qt::EditRole), loom::ColumnKind::Boolean);
    const std::optional<std::int64_t> n = flag.asInteger();
    if (role == Qt::CheckStateRole) return n && *n != 0 ? Qt::Checked : Qt::Unchecked;
    // 0 and 1 are the box; anything else is shown as it is stored.
    if (n && (*n == 0 || *n == 1)) return QString();
  }
  if (role == Qt::DisplayRole && isColumn(index.column(), schema::kConstraints, schema::kType)) {
    const QVariant type = QSqlTableModel::data(index, role);
    bool ok = false;
    const QString name = kindName(type.toInt(&ok));
    if (ok && !name.isEmpty()) return QStringLiteral("%1 %2").arg(type.toInt()).arg(name);
    return type;
  }
  return QSqlTableModel::data(index, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QSqlTableModel::flags(index);
  if (index.isValid() && isFlagColumn(index.column()) && !writingFlag_) {
    f = (f & ~Qt::ItemIsEditable) | Qt::ItemIsUserCheckable;
  }
  return f;
}

bool GridModel::addRecord(const QSqlRecord& record) {
  writingFlag_ = true;
  const bool added = insertRecord(-1, record);
  writingFlag_ = false;
  return added;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  QVariant v = value;
  if (role == Qt::CheckStateRole && isFlagColumn(index.column())) {
    v = value.value<Qt::CheckState>() == Qt::Checked ? 1 : 0;
  }
  // A cell emptied in its editor holds the empty text, never NULL.
  if (v.typeId() == QMetaType::QString && v.toString().isNull()) v = QStringLiteral("");
  const bool tick = role == Qt::CheckStateRole && isFlagColumn(index.column());
  const bool before = writingFlag_;
  if (tick) writingFlag_ = true;
  const bool written = QSqlTableModel::setData(index, v, tick ? Qt::EditRole : role);
  writingFlag_ = before;
  if (written) {
    // One cell can mend or spoil others (a repeated Identifier marks a later
    // row), so every mark is shown afresh as the edited cell is left.
    emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, columnCount() - 1),
                     {Qt::BackgroundRole, Qt::ToolTipRole});
    return true;
  }
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
  view_->setItemDelegate(new CellDelegate(view_));
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 8);
  view_->horizontalHeader()->setStretchLastSection(true);
  add_ = new QPushButton(QStringLiteral("Add row"), this);
  delete_ = new QPushButton(QStringLiteral("Delete row"), this);
  add_->setToolTip(QStringLiteral("Adds a row at the end of the table"));
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

  connect(add_, &QPushButton::clicked, this, [this] { addRow(); });
  connect(delete_, &QPushButton::clicked, this, &TableGrid::deleteSelectedRows);
}

void TableGrid::setCodec(const loom::TextCodec& codec) {
  codec_ = &codec;
  if (model_) model_->setCodec(codec);
}

void TableGrid::open(const QSqlDatabase& db, const loom::TableDef& table) {
  table_ = qtName(table.name);
  delete model_;
  model_ = new GridModel(this, db, table);
  if (codec_) model_->setCodec(*codec_);
  // The key keeps the stored order and lets an edit reach the row the user
  // edited even when two rows are identical.
  const int key = model_->record().indexOf(qtName(table.key));
  if (key < 0) {
    throw loom::LoomError(loom::ErrorKind::Rules,
                          "Rule database \"" + db.databaseName().toStdString() + "\": table " +
                              std::string(table.name) + " is missing or has no column " +
                              std::string(table.key));
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
  messages_.show(
      this, {Message::Kind::Error, QStringLiteral("Could not %1 the table %2.").arg(action, table_),
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

QVariant TableGrid::defaultValue(int column) const {
  auto is = [&](const loom::TableDef& table, const loom::ColumnDef& def) {
    return model_->isColumn(column, table, def);
  };
  if (is(schema::kFileTypes, schema::kTitleLine)) return 1;
  if (is(schema::kFileTypes, schema::kGroupId)) {
    // The first group, so the new file type's pages are listed at once.
    const QStringList groups = groupIds(model_->database());
    if (!groups.isEmpty()) return groups.first();
  }
  if (is(schema::kConstraints, schema::kFileType)) return qtName(loom::kGenericFileType);
  if (is(schema::kConstraints, schema::kType))
    return static_cast<int>(loom::ConstraintType::SearchReplace);
  // What the Constraint Form stores for the fields a kind does not use.
  if (is(schema::kConstraints, schema::kRFirst) || is(schema::kConstraints, schema::kRLast))
    return qtName(loom::kUnusedOperand);
  if (is(schema::kConstraints, schema::kCaseSensitive)) return 0;
  return QStringLiteral("");
}

void TableGrid::addRow(const QVariantMap& values) {
  if (!model_) return;
  view_->setCurrentIndex(QModelIndex());
  QSqlRecord row = model_->record();
  int first = -1;  // the first column the user still has to fill
  for (int c = 0; c < row.count(); ++c) {
    const QString name = row.fieldName(c);
    if (name == qtName(model_->table().key)) {
      row.setGenerated(c, false);  // the key is left to the table
      continue;
    }
    if (values.contains(name)) {
      row.setValue(c, values.value(name));
    } else {
      row.setValue(c, defaultValue(c));
      if (first < 0) first = c;
    }
    row.setGenerated(c, true);
  }
  if (!model_->addRecord(row)) {
    report(QStringLiteral("add a row to"));
    model_->revertAll();
    return;
  }
  reload();
  const QModelIndex cell = model_->index(model_->rowCount() - 1, std::max(first, 0));
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
  std::sort(rows.begin(), rows.end(), std::greater<>());
  const QString question =
      rows.size() == 1 ? QStringLiteral("Delete row %1 of %2?").arg(rows[0] + 1).arg(table_)
                       : QStringLiteral("Delete %1 rows of %2?").arg(rows.size()).arg(table_);
  Message ask{Message::Kind::Warning,
              question,
              QStringLiteral("The rows are removed from the rule database at once."),
              {QStringLiteral("Delete")},
              QStringLiteral("Cancel")};
  if (messages_.show(this, ask) != 0) return;
  view_->setCurrentIndex(QModelIndex());
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
