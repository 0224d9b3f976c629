// SPDX-License-Identifier: MIT
#include "ui/setup_pages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>

#include "ui/table_grid.h"
#include "ui/texts.h"

namespace loomui {

namespace {

QLabel* text(const char* s, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(s), parent);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  return label;
}

QLabel* heading(const char* s, QWidget* parent) {
  QLabel* label = text(s, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

// Name labels on the left, their explanations on the right.
QGridLayout* fieldRows(const std::vector<std::pair<const char*, const char*>>& rows,
                       QWidget* parent) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(2);
  int r = 0;
  for (const auto& [name, explanation] : rows) {
    grid->addWidget(heading(name, parent), r, 0, Qt::AlignTop);
    grid->addWidget(text(explanation, parent), r, 1);
    ++r;
  }
  grid->setColumnStretch(1, 1);
  return grid;
}

QVBoxLayout* pageLayout(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(8);
  return layout;
}

}  // namespace

QWidget* aboutSetupPage(QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(12, 12, 12, 12);
  auto* picture = new QLabel(page);
  picture->setPixmap(QPixmap(QStringLiteral(":/loomwise/logo.png")));
  picture->setAlignment(Qt::AlignTop);
  layout->addWidget(picture);
  layout->addSpacing(12);
  auto* texts = new QVBoxLayout;
  texts->setSpacing(10);
  for (const char* s :
       {"Loomwise is a specialized text processor designed to compile text files with varying "
        "formats into a homogenus web site.  If you can export your source material to text and "
        "can define some simple unchanging rules about these files, Loomwise can make a site "
        "for you.",
        "Loomwise requires a set of rules to be defined for the files it will encounter.  In "
        "these dialogs you can configure rules for your files that will define appearance, "
        "categorization and indexing order.",
        "Loomwise requires a good knowledge of HTML to properly produce your pages.  You will "
        "be required to insert the necessary code for headers, page colors and backgrounds, "
        "etc... as well as identify the line number in the text file that will be used as the "
        "page title and its corresponding index page tag.",
        "While I have made every effort to ensure that Loomwise is as easy to use as possible, "
        "the very nature of this program demands that the user have a good working knowledge "
        "of HTML and that the documentation be reviewed to understand the processing involved. "
        " This is not a beginner-level program to figure everything out for you.  This is a "
        "high level tool to allow experienced HTML authors a way to automate procedures they "
        "might otherwise be forced to do manually.  ",
        "You may wish to stop now and review the included documentation to see if Loomwise "
        "will fulfil your expectations.  This is a niche tool for experienced users; not a GUI "
        "layout program or a generic \"paste a header on a text file\" setup.  Loomwise "
        "demands time spent in planning the processes that will be applied and the "
        "indentifying characteristics of the files to be processed, and a review of the "
        "documentation before using or configuring Loomwise will be well worth your time."}) {
    texts->addWidget(text(s, page));
  }
  texts->addStretch(1);
  layout->addLayout(texts, 1);
  return page;
}

QWidget* fileTypesPage(TableGrid* grid, QWidget* parent) {
  auto* page = new QWidget(parent);
  QVBoxLayout* layout = pageLayout(page);
  layout->addWidget(text(
      "The File Types table defines how files with a particular extension will be treated during "
      "the text parsing process.  The special filetype GEN is a generic file: if you leave a "
      "constraint for another filetype blank and the GEN filetype has data in this field, this "
      "data will be used.  This allows you to apply a generic format for all filetypes and only "
      "specify specific changes to this format for individual filetypes.",
      page));
  layout->addWidget(heading("Explanation of fields in table:", page));
  layout->addLayout(fieldRows(
      {{"Identifier:",
        "the three letter extension of the filetype that appears after the . in the file's DOS "
        "name"},
       {"Description:",
        "an arbitrary text description for documentation purposes only - not used in parsing"},
       {"Title Line:",
        "the line # in the file that contains the text to be used as the page title"},
       {"End of Line:", "the HTML code to be applied after a hard line break"},
       {"Begin Section:",
        "the HTML code to be applied before the text begins on this individual page"},
       {"End Section:", "the HTML code to be applied after the text ends on this individual page"},
       {"Group ID:", "indicates the file group (next section) this filetype belongs to"}},
      page));
  grid->setParent(page);
  layout->addWidget(grid, 1);
  return page;
}

QWidget* groupsPage(TableGrid* grid, QWidget* parent) {
  auto* page = new QWidget(parent);
  QVBoxLayout* layout = pageLayout(page);
  layout->addWidget(text(
      "The file types you defined on the previous page can be organized into groups on the index "
      "page.  This table defines group names and parameters for each.  Groups are only used when "
      "creating the overall index page.",
      page));
  layout->addWidget(text(
      "In general, groups are really just there for organization.  If your filetypes do not need "
      "to be identified in groups, use the GEN generic group tag for the index page and do not "
      "assign further groups to individual file types.",
      page));
  layout->addWidget(heading("Explanation of fields in table:", page));
  layout->addLayout(fieldRows(
      {{"Group ID:", "a three letter internal identifier, arbitrary but must be unique"},
       {"Header:", "the HTML code to be used before this section begins on the index page"},
       {"Footer:", "the HTML code to be used after this section ends on the index page"}},
      page));
  grid->setParent(page);
  layout->addWidget(grid, 1);
  return page;
}

QWidget* constraintsPage(TableGrid* grid, QPushButton* formButton, QWidget* parent) {
  auto* page = new QWidget(parent);
  QVBoxLayout* layout = pageLayout(page);
  layout->addWidget(text(
      "Constraint definitions are the most difficult part of the setup process.  A constraint is "
      "a rule that will be applied to the text of the documents being parsed to transform it into "
      "suitable web material.  You may wish to use constraints to replace characters from other "
      "operating systems that do not translate well to HTML documents, to remove or replace "
      "unnecessary text, to translate formatting codes from non HTML editing systems, etc...  ",
      page));
  layout->addWidget(text(
      "Loomwise provides two interfaces for defining constraints;  this table and the Constraint "
      "Form.  This table is provided to give the experienced Loomwise user a speedy method of "
      "entry as well as an avenue to delete unnecessary constraints.  For beginners, the "
      "Constraint Form is the way to go until you learn more about the program.  Once you have "
      "had time to become familiar with the program, read the included documentation to learn "
      "how to quickly enter constraints in the table below.",
      page));
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  formButton->setParent(page);
  buttonRow->addWidget(formButton);
  layout->addLayout(buttonRow);
  grid->setParent(page);
  layout->addWidget(grid, 1);
  return page;
}

QWidget* settingsPage(const std::vector<const char*>& explanations,
                      const std::vector<QWidget*>& boxes, std::size_t firstOptional,
                      QWidget* parent) {
  auto* page = new QWidget(parent);
  QVBoxLayout* layout = pageLayout(page);
  layout->addWidget(heading("The following global settings must be defined:", page));
  for (std::size_t i = 0; i < firstOptional && i < boxes.size(); ++i) {
    layout->addSpacing(4);
    layout->addWidget(text(explanations[i], page));
    boxes[i]->setParent(page);
    layout->addWidget(boxes[i]);
  }
  if (firstOptional < boxes.size()) {
    // Short values: each box beside its explanation, so the page fits.
    layout->addSpacing(10);
    layout->addWidget(heading(kOptionalSettingsHeading, page));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    for (std::size_t i = firstOptional; i < boxes.size(); ++i) {
      const int row = static_cast<int>(i - firstOptional);
      grid->addWidget(text(explanations[i], page), row, 0);
      boxes[i]->setParent(page);
      boxes[i]->setFixedWidth(180);
      grid->addWidget(boxes[i], row, 1, Qt::AlignTop);
    }
    grid->setColumnStretch(0, 1);
    layout->addLayout(grid);
  }
  layout->addStretch(1);
  return page;
}

QWidget* aboutPage(QLabel* rulesNote, QWidget* parent) {
  auto* page = new QWidget(parent);
  QVBoxLayout* layout = pageLayout(page);
  layout->addStretch(1);
  auto* picture = new QLabel(page);
  picture->setPixmap(QPixmap(QStringLiteral(":/loomwise/logo.png")));
  picture->setAlignment(Qt::AlignCenter);
  layout->addWidget(picture);
  QLabel* title = heading("Loomwise 1.0", page);
  QFont font = title->font();
  font.setPointSizeF(font.pointSizeF() * 1.6);
  title->setFont(font);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  QLabel* paragraph = text(
      "Loomwise was designed to be the most flexible text parser I could imagine while still "
      "making its features worthwhile and optimizable for the automatic production of WWW "
      "documents.  It has been a tremendous boon to me personally and I am quite proud of its "
      "results.",
      page);
  paragraph->setAlignment(Qt::AlignCenter);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  paragraph->setMaximumWidth(520);
  row->addWidget(paragraph, 4);
  row->addStretch(1);
  layout->addLayout(row);
  rulesNote->setParent(page);
  rulesNote->setAlignment(Qt::AlignCenter);
  rulesNote->setWordWrap(true);
  rulesNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(rulesNote);
  layout->addStretch(2);
  return page;
}

}  // namespace loomui
