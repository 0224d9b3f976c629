// The Constraint Form: the fields of each kind, the rows "&Save Constraint"
// adds or refuses, and the preview beside them.

#include "ui/constraint_form.h"

#include <QtTest>
#include <QtWidgets>

#include "ui/tests/test_support.h"

using loomui::testing::click;

class ConstraintFormTest : public QObject {
  Q_OBJECT

  loomui::testing::RecordingSink sink_;
  std::unique_ptr<loomui::testing::Workspace> ws_;
  std::unique_ptr<loomui::ConstraintForm> form_;

  QStringList newRows(qsizetype before) { return ws_->rows("Constraints").mid(before); }
  QLineEdit* box(int i) { return form_->fieldBox(i); }

 private slots:
  void init() {
    ws_ = std::make_unique<loomui::testing::Workspace>();
    sink_.clear();
    form_ = std::make_unique<loomui::ConstraintForm>(ws_->rulesPath(), sink_);
    form_->load();
    form_->show();
  }
  void cleanup() { form_.reset(); }

  // Each kind shows its own fields, in place: nothing the user aims at moves.
  void eachKindShowsItsFieldsInPlace() {
    auto where = [this] {
      QList<QRect> places;
      for (const QWidget* w : form_->findChildren<QWidget*>())
        places << QRect(w->mapTo(form_.get(), QPoint()), w->size());
      return places;
    };
    QCoreApplication::processEvents();
    const QList<QRect> first = where();
    // The option, its rows and whether it offers "Apply to end of line".
    int step = 0;
    for (const auto& [option, rows, endOfLine] :
         {std::tuple{0, 2, false}, {2, 4, true}, {1, 2, true}, {3, 2, false}, {0, 2, false}}) {
      if (step++ > 0) click(form_->kindOption(option));  // the first: as the form opens
      QCoreApplication::processEvents();
      QCOMPARE(where(), first);
      QVERIFY(form_->kindOption(option)->isChecked());
      QCOMPARE(static_cast<int>(form_->kind()), option + 1);
      for (int i = 0; i < 4; ++i) {
        for (QWidget* w : std::initializer_list<QWidget*>{form_->fieldLabel(i), box(i)}) {
          QCOMPARE(w->isVisible(), i < rows);
          QCOMPARE(w->isEnabled(), i < rows);
        }
      }
      QCOMPARE(form_->endOfLineBox()->isVisible(), endOfLine);
      QCOMPARE(form_->endOfLineBox()->isEnabled(), endOfLine);
      QVERIFY(!form_->endOfLineBox()->isChecked());
    }
  }

  void endOfLineBoxTakesTheEndMarker() {
    click(form_->kindOption(1));
    box(1)->setText("]");
    click(form_->endOfLineBox());
    QVERIFY(!box(1)->isEnabled() && box(1)->text().isEmpty());
    click(form_->caseSensitiveBox());  // runs the same handler
    box(0)->setText("[");
    click(form_->clearButton());  // keeps the tick
    QVERIFY(box(0)->text().isEmpty() && !box(1)->isEnabled());
    click(form_->endOfLineBox());
    QVERIFY(box(1)->isEnabled());
  }

  void savesOrRefusesTheRow() {
    const struct {
      int option;
      QStringList fields;
      bool endOfLine, caseSensitive;
      QString fileType;
      QString row;  // FileType|Type|Search|Replace|RFirst|RLast|CaseSensitive; empty: refused
    } cases[] = {
        {2, {"*", "*", "<B>", "</B>"}, false, true, "txt", "TXT|3|*|*|<B>|</B>|1"},
        {1, {"##", "ignored"}, true, false, "nws", "NWS|2|##|(EOL)| | |0"},
        {3, {"Contents", "<H2>"}, false, false, "Faq", "FAQ|4|Contents|<H2>| | |0"},
        {0, {"   ", "kept"}, false, false, "TXT", ""},
    };
    for (const auto& c : cases) {
      form_->load();
      sink_.clear();
      const qsizetype before = ws_->rows("Constraints").size();
      click(form_->kindOption(c.option));
      for (int i = 0; i < c.fields.size(); ++i) QTest::keyClicks(box(i), c.fields[i]);
      if (c.endOfLine) click(form_->endOfLineBox());
      if (c.caseSensitive) click(form_->caseSensitiveBox());
      QTest::keyClicks(form_->fileTypeBox(), c.fileType);
      click(form_->saveButton());
      if (c.row.isEmpty()) {
        QCOMPARE(newRows(before), QStringList{});
        QVERIFY(sink_.lone().contains("first field"));
        QCOMPARE(box(1)->text(), QString("kept"));
        continue;
      }
      QVERIFY(sink_.messages.empty());
      QCOMPARE(newRows(before), QStringList{c.row});
      // The fields are emptied; the file type, the boxes and the kind stay.
      for (int i = 0; i < 4; ++i) QVERIFY(box(i)->text().isEmpty());
      QCOMPARE(form_->fileTypeBox()->text(), c.fileType);
      QCOMPARE(form_->caseSensitiveBox()->isChecked(), c.caseSensitive);
      QCOMPARE(form_->endOfLineBox()->isChecked(), c.endOfLine);
      QCOMPARE(static_cast<int>(form_->kind()), c.option + 1);
    }
  }

  void failedSaveKeepsTheFormAndItsTexts() {
    ws_->exec("ALTER TABLE Constraints RENAME TO Elsewhere");
    box(0)->setText("teh");
    box(1)->setText("the");
    form_->fileTypeBox()->setText("TXT");
    click(form_->saveButton());
    QVERIFY(sink_.lone().contains("Constraints"));
    QCOMPARE(box(0)->text() + box(1)->text(), QString("tehthe"));
    // Mended, the same click saves.
    ws_->exec("ALTER TABLE Elsewhere RENAME TO Constraints");
    const qsizetype before = ws_->rows("Constraints").size();
    click(form_->saveButton());
    QCOMPARE(newRows(before), QStringList{"TXT|1|teh|the| | |0"});
  }

  void previewFollowsTheFormAndKeepsTheSavedRow() {
    QTest::keyClicks(form_->fileTypeBox(), "txt");
    form_->sampleBox()->setPlainText("teh cat -- (c) 2024\nteh end");
    QTest::keyClicks(box(0), "teh");
    QTest::keyClicks(box(1), "the");
    // The saved GEN rows come first, then the row being defined.
    QTRY_COMPARE(form_->previewBox()->toPlainText(),
                 QString("the cat &mdash; &copy; 2024\nthe end"));
    QVERIFY(!form_->previewNote()->isVisible());
    // Another kind empties the fields: a note instead of a result.
    click(form_->kindOption(1));
    QTRY_VERIFY(form_->previewNote()->isVisible() && !form_->previewBox()->isVisible());
    // Remove from "cat" to the end of the line, saved before the preview caught up.
    QTest::keyClicks(box(0), "cat");
    click(form_->endOfLineBox());
    const qsizetype before = ws_->rows("Constraints").size();
    click(form_->saveButton());
    QCOMPARE(newRows(before), QStringList{"TXT|2|cat|(EOL)| | |0"});
    QCOMPARE(form_->savedLabel()->text(),
             QString("Saved as row %1 of Constraints").arg(before + 1));
    QTest::qWait(400);  // past the preview's pause, it still shows the saved row
    QVERIFY(form_->previewBox()->isVisible() && !form_->previewNote()->isVisible());
    QCOMPARE(form_->previewBox()->toPlainText(), QString("teh\nteh end"));
    QCOMPARE(form_->sampleBox()->toPlainText(), QString("teh cat -- (c) 2024\nteh end"));
    // Typing goes on to the next row.
    QTest::keyClicks(box(0), "teh");
    QVERIFY(form_->savedLabel()->text().isEmpty());
    QTRY_VERIFY(!form_->previewBox()->toPlainText().contains("teh"));
  }
};

QTEST_MAIN(ConstraintFormTest)
#include "constraint_form_test.moc"
