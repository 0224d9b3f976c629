// SPDX-License-Identifier: MIT
#include "ui/setup_window.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include "base/codec.h"
#include "base/error.h"
#include "base/text.h"
#include "rules/rule_database.h"
#include "rules/rule_tables.h"
#include "rules/rules_json.h"
#include "rules/schema.h"
#include "rules/sqlite.h"
#include "ui/centre.h"
#include "ui/constraint_form.h"
#include "ui/message_sink.h"
#include "ui/resources.h"
#include "ui/setup_pages.h"
#include "ui/table_grid.h"
#include "ui/texts.h"

namespace loomui {

namespace {

int nextConnection = 0;

// The store keeps line breaks as CR LF, the way the pages are written; the
// boxes work with LF.
QString forBox(const std::string& stored) {
  return QString::fromStdString(stored).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A text the user did not touch goes back exactly as it was read.
std::string forStore(const QString& box, const std::string& stored) {
  if (box == forBox(stored)) return stored;
  return QString(box).replace('\n', QStringLiteral("\r\n")).toStdString();
}

QPlainTextEdit* multiLineBox(QWidget* parent) {
  auto* box = new QPlainTextEdit(parent);
  box->setTabChangesFocus(true);
  box->setFixedHeight(box->fontMetrics().lineSpacing() * 4 + 12);
  return box;
}

// A page taller than a small screen scrolls instead of pushing the
// window's buttons off it.
QScrollArea* scrolling(QWidget* page) {
  auto* area = new QScrollArea(page->parentWidget());
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  area->setWidget(page);
  return area;
}

// What a rule database or rules file holds, for questions and confirmations.
QString rowCounts(const loom::RuleTables& tables) {
  return QStringLiteral("%1 file type(s), %2 group(s), %3 constraint(s) and %4 setting(s)")
      .arg(tables.fileTypes.size())
      .arg(tables.groups.size())
      .arg(tables.constraints.size())
      .arg(tables.globalDefs.size());
}

}  // namespace

SetupWindow::SetupWindow(const QString& rulesPath, MessageSink& messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      rulesPath_(rulesPath),
      messages_(messages) {
  initResources();
  setWindowTitle(kSetupCaption);
  setModal(true);
  tabs_ = new QTabWidget(this);
  fileTypes_ = new TableGrid(messages_, this);
  groups_ = new TableGrid(messages_, this);
  constraints_ = new TableGrid(messages_, this);
  formButton_ = new QPushButton(kConstraintFormButton, this);
  formButton_->setAutoDefault(false);
  endOfLine_ = new QLineEdit(this);
  header_ = multiLineBox(this);
  footer_ = multiLineBox(this);
  indexPage_ = new QLineEdit(this);
  std::vector<const char*> explanations;
  std::vector<QWidget*> boxes = {endOfLine_, header_, footer_, indexPage_};
  for (const loom::SettingDef& def : loom::settingTable()) {
    explanations.push_back(def.explanation);
    if (loom::isRequired(def)) continue;
    auto* box = new QComboBox(this);
    optionalBoxes_.emplace_back(def.id, box);
    boxes.push_back(box);
  }

  tabs_->addTab(scrolling(aboutSetupPage(tabs_)), kSetupTabs[0]);
  tabs_->addTab(scrolling(fileTypesPage(fileTypes_, tabs_)), kSetupTabs[1]);
  tabs_->addTab(scrolling(groupsPage(groups_, tabs_)), kSetupTabs[2]);
  tabs_->addTab(scrolling(constraintsPage(constraints_, formButton_, tabs_)), kSetupTabs[3]);
  tabs_->addTab(
      scrolling(settingsPage(explanations, boxes, loom::kRequiredSettingKeys.size(), tabs_)),
      kSetupTabs[4]);
  rulesNote_ = new QLabel(this);
  tabs_->addTab(scrolling(aboutPage(rulesNote_, tabs_)), kSetupTabs[5]);
  tabs_->setUsesScrollButtons(false);

  // Rules as one text file, to keep in version control or to move.
  export_ = new QPushButton(QStringLiteral("Export rules..."), this);
  import_ = new QPushButton(QStringLiteral("Import rules..."), this);
  export_->setToolTip(QStringLiteral("Writes every table of the rule database to one text file"));
  import_->setToolTip(
      QStringLiteral("Replaces every row of the rule database with those of a text file"));
  save_ = new QPushButton(QStringLiteral("&Save"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  save_->setToolTip(QStringLiteral("Saves the global settings and closes the window"));
  cancel_->setToolTip(
      QStringLiteral("Closes the window; the tables' rows are saved as they are edited"));
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {export_, import_, save_, cancel_}) {
    // Enter finishes a cell or a box, never the window.
    b->setAutoDefault(false);
    buttons->addWidget(b);
    if (b == import_) buttons->addStretch(1);
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addLayout(buttons);
  connect(formButton_, &QPushButton::clicked, this, &SetupWindow::openConstraintForm);
  connect(export_, &QPushButton::clicked, this, &SetupWindow::exportRules);
  connect(import_, &QPushButton::clicked, this, &SetupWindow::importRules);
  // Ctrl+Tab turns the page from anywhere, also from a grid, which would
  // keep the key for itself.
  for (const bool forward : {true, false}) {
    auto* turn = new QShortcut(forward ? QKeySequence(Qt::CTRL | Qt::Key_Tab)
                                       : QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                               this);
    turn->setContext(Qt::WidgetWithChildrenShortcut);
    connect(turn, &QShortcut::activated, this, [this, forward] {
      const int n = tabs_->count();
      tabs_->setCurrentIndex((tabs_->currentIndex() + (forward ? 1 : n - 1)) % n);
    });
  }
  connect(save_, &QPushButton::clicked, this, &SetupWindow::accept);
  connect(cancel_, &QPushButton::clicked, this, &SetupWindow::reject);
  chooseFile_ = [](QWidget* parent, bool forSaving) {
    const QString filter = QStringLiteral("Loomwise rules (*.json);;All files (*)");
    return forSaving
               ? QFileDialog::getSaveFileName(parent, QStringLiteral("Export rules"),
                                              QDir::home().filePath("loomwise-rules.json"), filter)
               : QFileDialog::getOpenFileName(parent, QStringLiteral("Import rules"),
                                              QDir::homePath(), filter);
  };
  setSizeGripEnabled(true);
  // The pages scroll, so the window fits a small screen; below this the
  // grids and the settings' boxes would be too small to work in.
  setMinimumSize(QSize(620, 420).expandedTo(minimumSizeHint()));
  resize(QSize(860, 680).expandedTo(minimumSize()));
}

SetupWindow::~SetupWindow() { closeDatabase(); }

QComboBox* SetupWindow::settingBox(loom::SettingId id) const {
  for (const auto& [boxId, box] : optionalBoxes_) {
    if (boxId == id) return box;
  }
  return nullptr;
}

void SetupWindow::setRulesNote(const QString& note) { rulesNote_->setText(note); }

void SetupWindow::load() {
  centreOnScreen(this);
  tabs_->setCurrentIndex(tabs_->count() - 1);
  // The keys work at once: arrows turn the pages, Tab goes into them.
  tabs_->tabBar()->setFocus();
  fillSettings(loom::GlobalSettings{});  // the texts the boxes carry before loading
  loaded_ = loom::LoadGlobalSettings(rulesPath_.toStdString());
  fillSettings(loaded_);
  // The grids mark what a run in the stored encoding would refuse.
  const loom::TextCodec* codec =
      loaded_.value(loom::SettingId::Encoding)
          ? loom::codecByName(loom::trimSpaces(*loaded_.value(loom::SettingId::Encoding)))
          : nullptr;
  for (TableGrid* grid : {fileTypes_, groups_, constraints_}) {
    grid->setCodec(codec ? *codec : loom::windows1252Codec());
  }

  closeDatabase();
  connection_ = QStringLiteral("loomwise-setup-%1").arg(++nextConnection);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  db.setDatabaseName(rulesPath_);
  // The grids wait for another writer as long as the rest of the program does.
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(loom::busyTimeout().count()));
  if (!db.open()) {
    const std::string message = "Cannot open the rule database \"" + rulesPath_.toStdString() +
                                "\": " + db.lastError().text().toStdString();
    closeDatabase();
    throw loom::LoomError(loom::ErrorKind::Rules, message);
  }
  try {
    openGrids();
  } catch (...) {
    closeDatabase();
    throw;
  }
}

void SetupWindow::openGrids() {
  const QSqlDatabase db = QSqlDatabase::database(connection_, false);
  fileTypes_->open(db, loom::schema::kFileTypes);
  groups_->open(db, loom::schema::kGroups);
  constraints_->open(db, loom::schema::kConstraints);
}

void SetupWindow::fillSettings(const loom::GlobalSettings& settings) {
  endOfLine_->setText(QString::fromStdString(settings.endOfLineTag));
  header_->setPlainText(forBox(settings.header));
  footer_->setPlainText(forBox(settings.footer));
  indexPage_->setText(QString::fromStdString(settings.indexPageName));
  for (const auto& [id, box] : optionalBoxes_) {
    const loom::SettingDef& def = loom::settingDef(id);
    box->clear();
    // No data: the setting has no row, and the run takes what a missing row means.
    box->addItem(QStringLiteral("default (%1)").arg(QString::fromUtf8(def.missing)));
    for (const std::string_view choice : def.choices) {
      const QString name = QString::fromUtf8(choice.data(), static_cast<qsizetype>(choice.size()));
      box->addItem(name, name);
    }
    const std::optional<std::string> stored = settings.value(id);
    if (!stored) continue;
    if (const auto choice = loom::choiceOf(def, *stored)) {
      box->setCurrentIndex(
          box->findData(QString::fromUtf8(choice->data(), static_cast<qsizetype>(choice->size()))));
    } else {
      // A value the program does not know stays as it is, for the run to name.
      box->addItem(QString::fromStdString(*stored), QString::fromStdString(*stored));
      box->setCurrentIndex(box->count() - 1);
    }
  }
}

// The choice an optional setting's box holds; a stored row that still
// names the same choice goes back exactly as it was read.
std::optional<std::string> SetupWindow::optionalSetting(const loom::SettingDef& def,
                                                        const QComboBox* box) const {
  const QVariant chosen = box->currentData();
  if (!chosen.isValid()) return std::nullopt;
  const std::string value = chosen.toString().toStdString();
  const std::optional<std::string> stored = loaded_.value(def.id);
  if (stored && (*stored == value || loom::choiceOf(def, *stored) == loom::choiceOf(def, value)))
    return stored;
  return value;
}

loom::GlobalSettings SetupWindow::settingsFromBoxes() const {
  loom::GlobalSettings settings;
  settings.endOfLineTag = forStore(endOfLine_->text(), loaded_.endOfLineTag);
  settings.header = forStore(header_->toPlainText(), loaded_.header);
  settings.footer = forStore(footer_->toPlainText(), loaded_.footer);
  settings.indexPageName = forStore(indexPage_->text(), loaded_.indexPageName);
  for (const auto& [id, box] : optionalBoxes_) {
    if (auto value = optionalSetting(loom::settingDef(id), box)) {
      settings.optional[id] = std::move(*value);
    }
  }
  return settings;
}

bool SetupWindow::saveAll() {
  const loom::GlobalSettings settings = settingsFromBoxes();
  for (TableGrid* grid : {fileTypes_, groups_, constraints_}) {
    if (!grid->submitPending()) return false;
  }
  try {
    loom::SaveGlobalSettings(rulesPath_.toStdString(), settings);
  } catch (const loom::LoomError& e) {
    messages_.show(this, {Message::Kind::Error,
                          QStringLiteral("The settings could not be saved; the window stays open "
                                         "so that you can try again or copy them."),
                          QString::fromStdString(e.what())});
    return false;
  }
  loaded_ = settings;
  return true;
}

bool SetupWindow::settingsChanged() const {
  const loom::GlobalSettings boxes = settingsFromBoxes();
  return boxes.endOfLineTag != loaded_.endOfLineTag || boxes.header != loaded_.header ||
         boxes.footer != loaded_.footer || boxes.indexPageName != loaded_.indexPageName ||
         boxes.optional != loaded_.optional;
}

bool SetupWindow::mayClose() {
  for (TableGrid* grid : {fileTypes_, groups_, constraints_}) {
    if (!grid->submitPending()) return false;
  }
  if (!settingsChanged()) return true;
  const Message ask{Message::Kind::Warning,
                    QStringLiteral("The global settings have changes that are not saved."),
                    QStringLiteral("The tables' rows were saved as they were edited."),
                    {QStringLiteral("Save"), QStringLiteral("Discard")},
                    QStringLiteral("Keep editing")};
  switch (messages_.show(this, ask)) {
    case 0:
      return saveAll();
    case 1:
      return true;
    default:
      return false;
  }
}

void SetupWindow::done(int result) {
  if (!connection_.isEmpty() && !(result == Accepted ? saveAll() : mayClose())) return;
  closeDatabase();
  QDialog::done(result);
}

void SetupWindow::closeDatabase() {
  if (connection_.isEmpty()) return;
  for (TableGrid* grid : {fileTypes_, groups_, constraints_}) grid->close();
  {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(connection_);
  connection_.clear();
}

void SetupWindow::exportRules() {
  const QString file = chooseFile_(this, true);
  if (file.isEmpty()) return;
  // The file gets what the window shows, edits not yet saved included.
  if (!saveAll()) return;
  try {
    loom::exportRulesFile(rulesPath_.toStdString(), file.toStdString());
    messages_.show(
        this, {Message::Kind::Plain, QStringLiteral("The rules were exported to \"%1\".").arg(file),
               QStringLiteral("The file holds %1.")
                   .arg(rowCounts(loom::readRuleTables(rulesPath_.toStdString())))});
  } catch (const loom::LoomError& e) {
    messages_.show(this, {Message::Kind::Error, QStringLiteral("The rules were not exported."),
                          QString::fromStdString(e.what())});
  }
}

void SetupWindow::importRules() {
  const QString file = chooseFile_(this, false);
  if (file.isEmpty()) return;
  for (TableGrid* grid : {fileTypes_, groups_, constraints_}) {
    if (!grid->submitPending()) return;
  }
  // The file is read into a scratch database first, so a broken one is told
  // before anything is asked, and the question can say what it holds.
  loom::RuleTables now;
  loom::RuleTables incoming;
  try {
    const QTemporaryDir scratch;
    const std::string trial = QDir(scratch.path()).filePath("trial.mdb").toStdString();
    loom::createRuleDatabase(trial, loom::NewDatabaseContents::SettingsOnly);
    loom::importRulesFile(trial, file.toStdString());
    incoming = loom::readRuleTables(trial);
    now = loom::readRuleTables(rulesPath_.toStdString());
  } catch (const loom::LoomError& e) {
    messages_.show(this, {Message::Kind::Error,
                          QStringLiteral("The rules were not imported; nothing was changed."),
                          QString::fromStdString(e.what())});
    return;
  }
  const Message ask{
      Message::Kind::Warning,
      QStringLiteral("Replace every rule and setting with those of \"%1\"?").arg(file),
      QStringLiteral("The rule database holds %1; the file holds %2.")
          .arg(rowCounts(now), rowCounts(incoming)),
      {QStringLiteral("Replace")},
      QStringLiteral("Cancel")};
  if (messages_.show(this, ask) != 0) return;
  // The grids let go of the tables while their rows are replaced.
  for (TableGrid* grid : {fileTypes_, groups_, constraints_}) grid->close();
  bool imported = false;
  try {
    loom::importRulesFile(rulesPath_.toStdString(), file.toStdString());
    imported = true;
  } catch (const loom::LoomError& e) {
    messages_.show(this, {Message::Kind::Error,
                          QStringLiteral("The rules were not imported; nothing was changed."),
                          QString::fromStdString(e.what())});
  }
  try {
    openGrids();
    if (imported) {
      // The boxes must show the imported settings, or saving would overwrite them.
      loaded_ = loom::LoadGlobalSettings(rulesPath_.toStdString());
      fillSettings(loaded_);
      messages_.show(this, {Message::Kind::Plain,
                            QStringLiteral("The rules of \"%1\" were imported.").arg(file),
                            QStringLiteral("The rule database now holds %1.")
                                .arg(rowCounts(loom::readRuleTables(rulesPath_.toStdString())))});
    }
  } catch (const loom::LoomError& e) {
    messages_.show(this, {Message::Kind::Error, QString::fromStdString(e.what()), {}});
  }
}

void SetupWindow::addMissingRow(loom::Missing what, const QString& identifier) {
  switch (what) {
    case loom::Missing::FileTypesRow:
      tabs_->setCurrentIndex(1);
      fileTypes_->addRow({{qtName(loom::schema::kIdentifier.name), identifier}});
      break;
    case loom::Missing::GroupsRow:
      tabs_->setCurrentIndex(2);
      groups_->addRow({{qtName(loom::schema::kGroupId.name), identifier}});
      break;
    case loom::Missing::Nothing:
    case loom::Missing::OutputDirectory:
      break;
  }
}

void SetupWindow::openConstraintForm() {
  if (!form_) form_ = new ConstraintForm(rulesPath_, messages_, this);
  form_->load();
  // The welcome comes before the form itself, every time it opens.
  messages_.show(this, {Message::Kind::Plain, kFormWelcome, {}});
  form_->exec();
  constraints_->reload();
}

}  // namespace loomui
