// SPDX-License-Identifier: MIT
#pragma once
// The editors of the rule grids' cells, each fitting its column: a number
// for "Title Line", the five kinds by name for "Type", upper-cased
// identifiers, and a choice of the existing groups for a file type's
// "GroupID". Columns it does not know get the usual editor.

#include <QStringList>
#include <QStyledItemDelegate>

class QSqlDatabase;

namespace loomui {

class CellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;
};

// The GroupID of every row of Groups that has one, in stored order.
QStringList groupIds(const QSqlDatabase& db);

// The name the constraint kind `type` (1 to 5) goes by; empty for others.
QString kindName(int type);

}  // namespace loomui
