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

 private slots:
  void init() {
    ws_ = std::make_unique<loomui::testing::Workspace>();
    sink_.messages.clear();
    form_ = std::make_unique<loomui::ConstraintForm>(ws_->rulesPath(), sink_);
    form_->load();
    form_->show();
  }
  void cleanup() { form_.reset(); }

  // Each kind shows its own fields, in place: nothing the user aims at moves.
  void eachKindShowsItsFieldsInPlace() {
    const struct {
      int option, rows;
      bool endOfLine;
      const char* helpSays;  // "&&" in the source shows as one "&"
    } kinds[] = {{0, 2, false, ""},
                 {2, 4, true, "quick search & replace's"},
                 {1, 2, true, ""},
                 {3, 2, false, "a search & replace, but"},
                 {0, 2, false, ""}};
    auto where = [this] {
      QList<QRect> places;
      for (const QWidget* w : form_->findChildren<QWidget*>()) {
        places << QRect(w->mapTo(form_.get(), QPoint()), w->size());
      }
      return places;
    };
    QCoreApplication::processEvents();
    const QList<QRect> first = where();
    for (const auto& k : kinds) {
      if (&k != kinds) click(form_->kindOption(k.option));  // the first: as the form opens
      QCoreApplication::processEvents();
      QCOMPARE(where(), first);
      QVERIFY(form_->kindOption(k.option)->isChecked());
      QCOMPARE(static_cast<int>(form_->kind()), k.option + 1);
      for (int i = 0; i < 4; ++i) {
        for (QWidget* w :
             std::initializer_list<QWidget*>{form_->fieldLabel(i), form_->fieldBox(i)}) {
          QCOMPARE(w->isVisible(), i < k.rows);
          QCOMPARE(w->isEnabled(), i < k.rows);
        }
      }
      QCOMPARE(form_->endOfLineBox()->isVisible(), k.endOfLine);
      QCOMPARE(form_->endOfLineBox()->isEnabled(), k.endOfLine);
      QVERIFY(!form_->endOfLineBox()->isChecked());
      QVERIFY(form_->helpLabel()->text().contains(k.helpSays));
    }
    QVERIFY(form_->fieldBox(0)->width() > form_->fieldBox(0)->parentWidget()->width() - 40);
    QTest::keyClick(form_->sampleBox(), Qt::Key_Tab);  // moves on, types no tab
    QVERIFY(form_->sampleBox()->toPlainText().isEmpty());
  }

  void endOfLineBoxTakesTheEndMarker() {
    click(form_->kindOption(1));
    form_->fieldBox(1)->setText("]");
    click(form_->endOfLineBox());
    QVERIFY(!form_->fieldBox(1)->isEnabled() && form_->fieldBox(1)->text().isEmpty());
    click(form_->caseSensitiveBox());  // runs the same handler
    form_->fieldBox(0)->setText("[");
    click(form_->clearButton());  // keeps the tick
    QVERIFY(form_->fieldBox(0)->text().isEmpty() && !form_->fieldBox(1)->isEnabled());
    click(form_->endOfLineBox());
    QVERIFY(form_->fieldBox(1)->isEnabled());
  }

  void savesOrRefusesTheRow() {
    const struct {
      int option;
      QStringList fields;
      bool endOfLine, caseSensitive;
      QString fileType;
      QString row;  // FileType|Type|Search|Replace|RFirst|RLast|CaseSensitive; empty: refused
    } cases[] = {
        {0, {"(c)", "&copy;"}, false, false, "GEN", "GEN|1|(c)|&copy;| | |0"},
        {0, {" -- ", ""}, false, true, "txt", "TXT|1| -- || | |1"},
        {1, {"##", "ignored"}, true, false, "nws", "NWS|2|##|(EOL)| | |0"},
        {1, {"[note:", "]"}, false, false, "Txt", "TXT|2|[note:|]| | |0"},
        {2, {"*", "*", "<B>", "</B>"}, false, true, "TXT", "TXT|3|*|*|<B>|</B>|1"},
        {2, {"=> ", "x", "<LI>", "</LI>"}, true, false, "NWS", "NWS|3|=> |(EOL)|<LI>|</LI>|0"},
        {3,
         {"Contents", "<H2>Contents</H2>"},
         false,
         false,
         "faq",
         "FAQ|4|Contents|<H2>Contents</H2>| | |0"},
        {0, {"   ", "kept"}, false, false, "TXT", ""},
        {2, {"", "kept"}, false, false, "TXT", ""},
    };
    for (const auto& c : cases) {
      form_->load();
      sink_.messages.clear();
      const qsizetype before = ws_->rows("Constraints").size();
      click(form_->kindOption(c.option));
      for (int i = 0; i < c.fields.size(); ++i) QTest::keyClicks(form_->fieldBox(i), c.fields[i]);
      if (c.endOfLine) click(form_->endOfLineBox());
      if (c.caseSensitive) click(form_->caseSensitiveBox());
      QTest::keyClicks(form_->fileTypeBox(), c.fileType);
      click(form_->saveButton());
      if (c.row.isEmpty()) {
        QCOMPARE(newRows(before), QStringList{});
        QCOMPARE(sink_.messages.size(), std::size_t{1});
        QVERIFY(sink_.messages[0].text.contains("first field"));
        QCOMPARE(form_->fieldBox(1)->text(), QString("kept"));
        continue;
      }
      QCOMPARE(sink_.texts(), QStringList{});
      QCOMPARE(newRows(before), QStringList{c.row});
      // The fields are emptied; the file type, the boxes and the kind stay.
      for (int i = 0; i < 4; ++i) QVERIFY(form_->fieldBox(i)->text().isEmpty());
      QCOMPARE(form_->fileTypeBox()->text(), c.fileType);
      QCOMPARE(form_->caseSensitiveBox()->isChecked(), c.caseSensitive);
      QCOMPARE(form_->endOfLineBox()->isChecked(), c.endOfLine);
      QCOMPARE(static_cast<int>(form_->kind()), c.option + 1);
    }
  }

  void failedSaveKeepsTheFormAndItsTexts() {
    ws_->exec("ALTER TABLE Constraints RENAME TO Elsewhere");
    form_->fieldBox(0)->setText("teh");
    form_->fieldBox(1)->setText("the");
    form_->fileTypeBox()->setText("TXT");
    click(form_->saveButton());
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY(sink_.messages[0].detail.contains("Constraints"));
    QCOMPARE(form_->fieldBox(0)->text() + form_->fieldBox(1)->text(), QString("tehthe"));
    // Mended, the same click saves.
    ws_->exec("ALTER TABLE Elsewhere RENAME TO Constraints");
    const qsizetype before = ws_->rows("Constraints").size();
    click(form_->saveButton());
    QCOMPARE(newRows(before), QStringList{"TXT|1|teh|the| | |0"});
  }

  void previewFollowsTheFormAndKeepsTheSavedRow() {
    QTest::keyClicks(form_->fileTypeBox(), "txt");
    form_->sampleBox()->setPlainText("teh cat -- (c) 2024\nteh end");
    QTest::keyClicks(form_->fieldBox(0), "teh");
    QTest::keyClicks(form_->fieldBox(1), "the");
    // The saved GEN rows come first, then the row being defined.
    QTRY_COMPARE(form_->previewBox()->toPlainText(),
                 QString("the cat &mdash; &copy; 2024\nthe end"));
    QVERIFY(!form_->previewNote()->isVisible());
    // Another kind empties the fields: a note instead of a result.
    click(form_->kindOption(1));
    QTRY_VERIFY(form_->previewNote()->isVisible() && !form_->previewBox()->isVisible());
    // Remove from "cat" to the end of the line, saved before the preview caught up.
    QTest::keyClicks(form_->fieldBox(0), "cat");
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
    QTest::keyClicks(form_->fieldBox(0), "teh");
    QVERIFY(form_->savedLabel()->text().isEmpty());
    QTRY_VERIFY(!form_->previewBox()->toPlainText().contains("teh"));
  }
};

QTEST_MAIN(ConstraintFormTest)
#include "constraint_form_test.moc"
