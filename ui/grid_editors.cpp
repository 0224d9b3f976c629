// SPDX-License-Identifier: MIT
#include "ui/grid_editors.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QSqlQuery>
#include <QValidator>

#include "convert/constraint_kind.h"
#include "rules/sqlite.h"
#include "ui/table_grid.h"
#include "ui/texts.h"

namespace loomui {

namespace schema = loom::schema;

namespace {

// Identifiers are compared with upper-cased extensions; typing them upper
// case keeps what the user sees equal to what the run compares.
class UpperCase : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

enum class Editor { Usual, Number, Kind, Identifier, Group };

Editor editorFor(const QModelIndex& index) {
  const auto* model = qobject_cast<const GridModel*>(index.model());
  if (!model) return Editor::Usual;
  const int column = index.column();
  auto is = [&](const loom::TableDef& table, const loom::ColumnDef& def) {
    return model->isColumn(column, table, def);
  };
  if (is(schema::kFileTypes, schema::kTitleLine)) return Editor::Number;
  if (is(schema::kConstraints, schema::kType)) return Editor::Kind;
  if (is(schema::kFileTypes, schema::kGroupId)) return Editor::Group;
  if (is(schema::kFileTypes, schema::kIdentifier) || is(schema::kGroups, schema::kGroupId) ||
      is(schema::kConstraints, schema::kFileType)) {
    return Editor::Identifier;
  }
  return Editor::Usual;
}

}  // namespace

QStringList groupIds(const QSqlDatabase& db) {
  const std::string id = loom::quoteIdentifier(schema::kGroupId.name);
  const std::string sql = "SELECT " + id + " FROM " + loom::quoteIdentifier(schema::kGroups.name) +
                          " WHERE " + id + " IS NOT NULL ORDER BY " +
                          loom::quoteIdentifier(schema::kGroups.key);
  QStringList ids;
  QSqlQuery query(db);
  if (query.exec(QString::fromStdString(sql))) {
    while (query.next()) ids << query.value(0).toString();
  }
  return ids;
}

QString kindName(int type) {
  if (type < 1 || type > loom::kLastConstraintType) return {};
  return labelText(kKindOptions[static_cast<std::size_t>(type - 1)]);
}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  switch (editorFor(index)) {
    case Editor::Number: {
      auto* spin = new QSpinBox(parent);
      spin->setRange(0, 32767);  // a 16-bit line number
      return spin;
    }
    case Editor::Kind: {
      auto* combo = new QComboBox(parent);
      for (int type = 1; type <= loom::kLastConstraintType; ++type) {
        combo->addItem(QStringLiteral("%1 %2").arg(type).arg(kindName(type)), type);
      }
      return combo;
    }
    case Editor::Identifier: {
      auto* line = new QLineEdit(parent);
      line->setValidator(new UpperCase(line));
      return line;
    }
    case Editor::Group: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      combo->addItems(groupIds(qobject_cast<const GridModel*>(index.model())->database()));
      combo->setValidator(new UpperCase(combo));
      return combo;
    }
    case Editor::Usual:
      break;
  }
  return QStyledItemDelegate::createEditor(parent, option, index);
}

void CellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  const QVariant value = index.data(Qt::EditRole);
  switch (editorFor(index)) {
    case Editor::Number: {
      bool ok = false;
      const int n = value.toInt(&ok);
      static_cast<QSpinBox*>(editor)->setValue(ok ? n : 1);
      return;
    }
    case Editor::Kind: {
      auto* combo = static_cast<QComboBox*>(editor);
      combo->setCurrentIndex(combo->findData(value.toInt()));
      return;
    }
    case Editor::Group:
      static_cast<QComboBox*>(editor)->setCurrentText(value.toString());
      return;
    case Editor::Identifier:
    case Editor::Usual:
      break;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void CellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
  switch (editorFor(index)) {
    case Editor::Number:
      model->setData(index, static_cast<QSpinBox*>(editor)->value());
      return;
    case Editor::Kind: {
      const auto* combo = static_cast<QComboBox*>(editor);
      // A stored kind outside the known ones stays as it is until one is chosen.
      if (combo->currentIndex() >= 0) model->setData(index, combo->currentData());
      return;
    }
    case Editor::Group:
      model->setData(index, static_cast<QComboBox*>(editor)->currentText().toUpper());
      return;
    case Editor::Identifier:
    case Editor::Usual:
      break;
  }
  QStyledItemDelegate::setModelData(editor, model, index);
}

}  // namespace loomui
