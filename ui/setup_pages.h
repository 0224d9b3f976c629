// SPDX-License-Identifier: MIT
#pragma once
// The six pages of the Setup window: their explanatory texts and where the
// grids, the button and the setting boxes sit.

#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;

namespace loomui {

class TableGrid;

QWidget* aboutSetupPage(QWidget* parent);
QWidget* fileTypesPage(TableGrid* grid, QWidget* parent);
QWidget* groupsPage(TableGrid* grid, QWidget* parent);
QWidget* constraintsPage(TableGrid* grid, QPushButton* formButton, QWidget* parent);
// `explanations` and `boxes` pair up in order; the boxes from
// `firstOptional` on are the optional settings, under a heading of their own.
QWidget* settingsPage(const std::vector<const char*>& explanations,
                      const std::vector<QWidget*>& boxes, std::size_t firstOptional,
                      QWidget* parent);
// `rulesNote` says which rule database is in use.
QWidget* aboutPage(QLabel* rulesNote, QWidget* parent);

}  // namespace loomui
