// SPDX-License-Identifier: MIT
#pragma once
// The Setup window: the three rule tables in grids, the global settings in
// boxes (saved with Save), and the way to the Constraint Form.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "rules/global_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace loomui {

class ConstraintForm;
class MessageSink;
class TableGrid;

class SetupWindow : public QDialog {
  Q_OBJECT

 public:
  // Asks for the file to export the rules to (forSaving) or to import them
  // from; an empty path means the user changed their mind.
  using FileChooser = std::function<QString(QWidget* parent, bool forSaving)>;

  SetupWindow(const QString& rulesPath, MessageSink& messages, QWidget* parent = nullptr);
  ~SetupWindow() override;

  // Loads the window afresh: centred, settings and grids read from the rule
  // database, on the page "About ...". Throws LoomError when the database or
  // one of its tables cannot be read.
  void load();
  // Which rule database is in use and why, shown on the page "About ...".
  void setRulesNote(const QString& note);

  QTabWidget* tabs() const { return tabs_; }
  TableGrid* fileTypesGrid() const { return fileTypes_; }
  TableGrid* groupsGrid() const { return groups_; }
  TableGrid* constraintsGrid() const { return constraints_; }
  QPushButton* constraintFormButton() const { return formButton_; }
  QLineEdit* endOfLineBox() const { return endOfLine_; }
  QPlainTextEdit* headerBox() const { return header_; }
  QPlainTextEdit* footerBox() const { return footer_; }
  QLineEdit* indexPageBox() const { return indexPage_; }
  // The box of an optional setting (Encoding, LineEnds, ...).
  // Its first entry, "default (...)", leaves the setting without a row.
  QComboBox* settingBox(loom::SettingId id) const;
  ConstraintForm* constraintForm() const { return form_; }
  QPushButton* exportButton() const { return export_; }
  QPushButton* importButton() const { return import_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* cancelButton() const { return cancel_; }
  void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
  // After load(): shows the page of the table that lacks a row and adds
  // that row, holding `identifier`, for the user to complete.
  void addMissingRow(loom::Missing what, const QString& identifier);

 public slots:
  // Save (accepted) saves the settings and the grids; when that fails the
  // window stays open with every edit, so nothing is lost. Cancel, Escape
  // and the close box ask first when the settings have unsaved changes.
  void done(int result) override;

 private:
  void openConstraintForm();
  void exportRules();
  void importRules();
  void openGrids();
  void fillSettings(const loom::GlobalSettings& settings);
  // The settings as the boxes hold them.
  loom::GlobalSettings settingsFromBoxes() const;
  std::optional<std::string> optionalSetting(const loom::SettingDef& def,
                                             const QComboBox* box) const;
  bool saveAll();
  bool settingsChanged() const;
  // Whether the window may close without saving the settings: nothing to
  // lose, or the user said so (or saved).
  bool mayClose();
  void closeDatabase();

  QString rulesPath_;
  MessageSink& messages_;
  QString connection_;           // the name of this window's database connection
  loom::GlobalSettings loaded_;  // as stored, to keep untouched texts byte for byte
  QTabWidget* tabs_ = nullptr;
  QLabel* rulesNote_ = nullptr;
  TableGrid* fileTypes_ = nullptr;
  TableGrid* groups_ = nullptr;
  TableGrid* constraints_ = nullptr;
  QPushButton* formButton_ = nullptr;
  QLineEdit* endOfLine_ = nullptr;
  QPlainTextEdit* header_ = nullptr;
  QPlainTextEdit* footer_ = nullptr;
  QLineEdit* indexPage_ = nullptr;
  // The optional settings' boxes, in the settings table's order.
  std::vector<std::pair<loom::SettingId, QComboBox*>> optionalBoxes_;
  ConstraintForm* form_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* cancel_ = nullptr;
  FileChooser chooseFile_;
};

}  // namespace loomui
