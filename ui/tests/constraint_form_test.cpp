// The Constraint Form: the layout of each kind, the check boxes, Clear
// Fields, and the rows that "&Save Constraint" adds.

#include "ui/constraint_form.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include "ui/tests/test_support.h"

using loomui::ConstraintForm;
using loomui::testing::RecordingSink;
using loomui::testing::Workspace;

class ConstraintFormTest : public QObject {
  Q_OBJECT

 private:
  RecordingSink sink_;
  std::unique_ptr<Workspace> ws_;
  std::unique_ptr<ConstraintForm> form_;

  // Row i shown and enabled, or hidden and disabled.
  void checkRows(int shown) {
    for (int i = 0; i < 4; ++i) {
      const bool on = i < shown;
      QCOMPARE(form_->fieldLabel(i)->isVisible(), on);
      QCOMPARE(form_->fieldLabel(i)->isEnabled(), on);
      QCOMPARE(form_->fieldBox(i)->isVisible(), on);
      QCOMPARE(form_->fieldBox(i)->isEnabled(), on);
    }
  }

  QStringList newRows(int before) { return ws_->rows("Constraints").mid(before); }

 private slots:
  void init() {
    ws_ = std::make_unique<Workspace>();
    sink_.messages.clear();
    form_ = std::make_unique<ConstraintForm>(ws_->rulesPath(), sink_);
    form_->load();
    form_->show();
  }
  void cleanup() { form_.reset(); }

  void opensOnSearchAndReplace() {
    QVERIFY(form_->kindOption(0)->isChecked());
    checkRows(2);
    QVERIFY(!form_->endOfLineBox()->isVisible());
    QVERIFY(form_->caseSensitiveBox()->isVisible() && form_->fileTypeBox()->isVisible());
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QVERIFY(!(form_->windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  void eachKindShowsItsFields_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("endOfLine");
    QTest::newRow("search and replace") << 0 << 2 << false;
    QTest::newRow("remove block") << 1 << 2 << true;
    QTest::newRow("replace formatting") << 2 << 4 << true;
    QTest::newRow("header line") << 3 << 2 << false;
  }

  void eachKindShowsItsFields() {
    QFETCH(int, option);
    QFETCH(int, rows);
    QFETCH(bool, endOfLine);
    QTest::mouseClick(form_->kindOption(option), Qt::LeftButton);
    QCOMPARE(static_cast<int>(form_->kind()), option + 1);
    checkRows(rows);
    QCOMPARE(form_->endOfLineBox()->isVisible(), endOfLine);
    QCOMPARE(form_->endOfLineBox()->isEnabled(), endOfLine);
    QVERIFY(!form_->endOfLineBox()->isChecked());
  }

  // Nothing the user aims at moves when the kind changes.
  void geometryStaysWhenTheKindChanges() {
    auto where = [this] {
      QList<QRect> places;
      for (int i = 0; i < 4; ++i) {
        places << QRect(form_->kindOption(i)->mapTo(form_.get(), QPoint()),
                        form_->kindOption(i)->size());
        places << QRect(form_->fieldBox(i)->mapTo(form_.get(), QPoint()),
                        form_->fieldBox(i)->size());
      }
      places << QRect(form_->previewBox()->mapTo(form_.get(), QPoint()),
                      form_->previewBox()->size());
      places << QRect(form_->fileTypeBox()->mapTo(form_.get(), QPoint()),
                      form_->fileTypeBox()->size());
      return places;
    };
    QCoreApplication::processEvents();
    const QList<QRect> first = where();
    for (int option : {2, 1, 3, 0, 2}) {
      QTest::mouseClick(form_->kindOption(option), Qt::LeftButton);
      QCoreApplication::processEvents();
      QCOMPARE(where(), first);
    }
    // The boxes use the frame's width; the file type's caption has room.
    const QWidget* frame = form_->fieldBox(0)->parentWidget();
    QVERIFY(form_->fieldBox(0)->width() > frame->width() - 40);
    for (const QLabel* label : form_->findChildren<QLabel*>()) {
      if (label->buddy() != form_->fileTypeBox()) continue;
      QVERIFY(label->geometry().right() + 6 <= form_->fileTypeBox()->geometry().left());
    }
  }

  void helpTextsShowOneAmpersand() {
    QTest::mouseClick(form_->kindOption(2), Qt::LeftButton);
    QVERIFY(form_->helpLabel()->text().contains("front & back"));
    QVERIFY(form_->helpLabel()->text().contains("two quick search & replace's in one."));
  }

  void changingKindEmptiesFieldsOnly() {
    form_->fieldBox(0)->setText("old");
    form_->fieldBox(1)->setText("new");
    form_->fileTypeBox()->setText("TXT");
    QTest::mouseClick(form_->caseSensitiveBox(), Qt::LeftButton);
    QTest::mouseClick(form_->kindOption(1), Qt::LeftButton);
    QTest::mouseClick(form_->kindOption(0), Qt::LeftButton);
    QVERIFY(form_->fieldBox(0)->text().isEmpty());
    QVERIFY(form_->fieldBox(1)->text().isEmpty());
    QCOMPARE(form_->fileTypeBox()->text(), QString("TXT"));
    QVERIFY(form_->caseSensitiveBox()->isChecked());
  }

  void endOfLineBoxTakesTheEndMarker() {
    QTest::mouseClick(form_->kindOption(1), Qt::LeftButton);
    form_->fieldBox(1)->setText("]");
    QTest::mouseClick(form_->endOfLineBox(), Qt::LeftButton);
    QVERIFY(!form_->fieldBox(1)->isEnabled());
    QVERIFY(form_->fieldBox(1)->text().isEmpty());
    // The case box runs the same handler: the second box stays disabled.
    QTest::mouseClick(form_->caseSensitiveBox(), Qt::LeftButton);
    QVERIFY(!form_->fieldBox(1)->isEnabled());
    // Clear Fields keeps the tick and the disabled box.
    form_->fieldBox(0)->setText("[");
    QTest::mouseClick(form_->clearButton(), Qt::LeftButton);
    QVERIFY(form_->fieldBox(0)->text().isEmpty());
    QVERIFY(form_->endOfLineBox()->isChecked());
    QVERIFY(!form_->fieldBox(1)->isEnabled());
    QTest::mouseClick(form_->endOfLineBox(), Qt::LeftButton);
    QVERIFY(form_->fieldBox(1)->isEnabled());
    QVERIFY(form_->fieldBox(1)->text().isEmpty());
    QTest::mouseClick(form_->caseSensitiveBox(), Qt::LeftButton);
    QVERIFY(form_->fieldBox(1)->isEnabled());
    // Ticked, then another kind: unticked, second box enabled.
    QTest::mouseClick(form_->endOfLineBox(), Qt::LeftButton);
    QTest::mouseClick(form_->kindOption(2), Qt::LeftButton);
    QVERIFY(!form_->endOfLineBox()->isChecked());
    QVERIFY(form_->fieldBox(1)->isEnabled());
  }

  void keyboardOrder() {
    const QList<QWidget*> order = {
        form_->fieldBox(0),   form_->fieldBox(1),        form_->fieldBox(2),
        form_->fieldBox(3),   form_->caseSensitiveBox(), form_->kindOption(0),
        form_->kindOption(1), form_->kindOption(2),      form_->kindOption(3),
        form_->saveButton(),  form_->clearButton(),      form_->endOfLineBox(),
        form_->fileTypeBox()};
    for (int i = 1; i < order.size(); ++i) {
      QWidget* w = order[i - 1]->nextInFocusChain();
      while (!order.contains(w)) w = w->nextInFocusChain();
      QCOMPARE(w, order[i]);
    }
  }

  void savesTheRowOfEachKind_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("endOfLine");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QString>("fileType");
    QTest::addColumn<QString>("row");  // FileType|Type|Search|Replace|RFirst|RLast|Case
    QTest::newRow("kind 1") << 0 << QStringList{"(c)", "&copy;"} << false << false << "GEN"
                            << "GEN|1|(c)|&copy;| | |0";
    QTest::newRow("kind 1 blanks kept") << 0 << QStringList{" -- ", ""} << false << true << "txt"
                                        << "TXT|1| -- || | |1";
    QTest::newRow("kind 2 to end of line")
        << 1 << QStringList{"##", "ignored"} << true << false << "nws"
        << "NWS|2|##|(EOL)| | |0";
    QTest::newRow("kind 2 block") << 1 << QStringList{"[note:", "]"} << false << false << "Txt"
                                  << "TXT|2|[note:|]| | |0";
    QTest::newRow("kind 3") << 2 << QStringList{"*", "*", "<B>", "</B>"} << false << true << "TXT"
                            << "TXT|3|*|*|<B>|</B>|1";
    QTest::newRow("kind 3 to end of line")
        << 2 << QStringList{"=> ", "x", "<LI>", "</LI>"} << true << false << "NWS"
        << "NWS|3|=> |(EOL)|<LI>|</LI>|0";
    QTest::newRow("kind 4") << 3 << QStringList{"Contents", "<H2>Contents</H2>"} << false << false
                            << "faq"
                            << "FAQ|4|Contents|<H2>Contents</H2>| | |0";
  }

  void savesTheRowOfEachKind() {
    QFETCH(int, option);
    QFETCH(QStringList, fields);
    QFETCH(bool, endOfLine);
    QFETCH(bool, caseSensitive);
    QFETCH(QString, fileType);
    QFETCH(QString, row);
    const int before = static_cast<int>(ws_->rows("Constraints").size());
    QTest::mouseClick(form_->kindOption(option), Qt::LeftButton);
    for (int i = 0; i < fields.size(); ++i) QTest::keyClicks(form_->fieldBox(i), fields[i]);
    if (endOfLine) QTest::mouseClick(form_->endOfLineBox(), Qt::LeftButton);
    if (caseSensitive) QTest::mouseClick(form_->caseSensitiveBox(), Qt::LeftButton);
    QTest::keyClicks(form_->fileTypeBox(), fileType);
    QTest::mouseClick(form_->saveButton(), Qt::LeftButton);
    QVERIFY2(sink_.messages.empty(), qPrintable(sink_.texts().join('\n')));
    // Stored columns: FileType, Type, Search String, Replace String, RFirst, RLast, CaseSensitive.
    QCOMPARE(newRows(before), QStringList{row});
    // The field boxes are emptied; the file type, the case box and the kind stay.
    for (int i = 0; i < 4; ++i) QVERIFY(form_->fieldBox(i)->text().isEmpty());
    QCOMPARE(form_->fileTypeBox()->text(), fileType);
    QCOMPARE(form_->caseSensitiveBox()->isChecked(), caseSensitive);
    QCOMPARE(form_->endOfLineBox()->isChecked(), endOfLine);
    QCOMPARE(static_cast<int>(form_->kind()), option + 1);
  }

  void emptySearchTextIsRefused_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("search");
    QTest::newRow("kind 1 empty") << 0 << "";
    QTest::newRow("kind 1 blanks") << 0 << "   ";
    QTest::newRow("kind 2 empty begin marker") << 1 << "";
    QTest::newRow("kind 3 blank begin marker") << 2 << " ";
    QTest::newRow("kind 4 empty") << 3 << "";
  }

  void emptySearchTextIsRefused() {
    QFETCH(int, option);
    QFETCH(QString, search);
    const QStringList before = ws_->rows("Constraints");
    QTest::mouseClick(form_->kindOption(option), Qt::LeftButton);
    form_->fieldBox(0)->setText(search);
    form_->fieldBox(1)->setText("kept");
    form_->fileTypeBox()->setText("TXT");
    QTest::mouseClick(form_->saveButton(), Qt::LeftButton);
    QCOMPARE(ws_->rows("Constraints"), before);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY2(sink_.messages[0].text.contains("first field"), qPrintable(sink_.messages[0].text));
    QCOMPARE(form_->fieldBox(1)->text(), QString("kept"));
    QVERIFY(form_->isVisible());
  }

  void saveConfirmsAndKeepsThePreview() {
    QTest::keyClicks(form_->fileTypeBox(), "TXT");
    form_->sampleBox()->setPlainText("teh cat");
    QTest::keyClicks(form_->fieldBox(0), "cat");
    QTest::keyClicks(form_->fieldBox(1), "dog");
    const int before = static_cast<int>(ws_->rows("Constraints").size());
    // Saved before the preview has caught up with the typing.
    QTest::mouseClick(form_->saveButton(), Qt::LeftButton);
    QCOMPARE(form_->savedLabel()->text(),
             QString("Saved as row %1 of Constraints").arg(before + 1));
    QTest::qWait(400);
    // The preview still shows the saved row, applied once.
    QVERIFY(form_->previewBox()->isVisible());
    QVERIFY(!form_->previewNote()->isVisible());
    QCOMPARE(form_->previewBox()->toPlainText(), QString("teh dog"));
    // Typing goes on to the next row.
    QTest::keyClicks(form_->fieldBox(0), "teh");
    QVERIFY(form_->savedLabel()->text().isEmpty());
    QTRY_VERIFY(!form_->previewBox()->toPlainText().contains("teh"));
  }

  void failedSaveKeepsTheFormAndItsTexts() {
    ws_->exec("ALTER TABLE Constraints RENAME TO Elsewhere");
    QTest::keyClicks(form_->fieldBox(0), "teh");
    QTest::keyClicks(form_->fieldBox(1), "the");
    QTest::keyClicks(form_->fileTypeBox(), "TXT");
    QTest::mouseClick(form_->saveButton(), Qt::LeftButton);
    QCOMPARE(sink_.messages.size(), std::size_t{1});
    QVERIFY2(sink_.messages[0].detail.contains("Constraints"),
             qPrintable(sink_.messages[0].detail));
    QVERIFY(form_->isVisible());
    QCOMPARE(form_->fieldBox(0)->text(), QString("teh"));
    QCOMPARE(form_->fieldBox(1)->text(), QString("the"));
    // Mended, the same click saves.
    ws_->exec("ALTER TABLE Elsewhere RENAME TO Constraints");
    const int before = static_cast<int>(ws_->rows("Constraints").size());
    QTest::mouseClick(form_->saveButton(), Qt::LeftButton);
    QCOMPARE(newRows(before), QStringList{"TXT|1|teh|the| | |0"});
  }

  void previewFollowsTheFormAsTheUserTypes() {
    QVERIFY(form_->sampleBox()->toPlainText().isEmpty());
    QVERIFY(form_->previewBox()->toPlainText().isEmpty());
    QTest::keyClicks(form_->fileTypeBox(), "txt");
    form_->sampleBox()->setPlainText("teh cat -- (c) 2024\nteh end");
    QTest::keyClicks(form_->fieldBox(0), "teh");
    QTest::keyClicks(form_->fieldBox(1), "the");
    // The saved GEN rows come first, then the row being defined.
    QTRY_COMPARE(form_->previewBox()->toPlainText(),
                 QString("the cat &mdash; &copy; 2024\nthe end"));
    QVERIFY(!form_->previewNote()->isVisible());

    // Another kind empties the fields: a note instead of a result.
    QTest::mouseClick(form_->kindOption(1), Qt::LeftButton);
    QTRY_VERIFY(form_->previewNote()->isVisible());
    QVERIFY2(form_->previewNote()->text().contains("first field"),
             qPrintable(form_->previewNote()->text()));
    QVERIFY(!form_->previewBox()->isVisible());

    // Remove from "cat" to the end of the line.
    QTest::keyClicks(form_->fieldBox(0), "cat");
    QTest::mouseClick(form_->endOfLineBox(), Qt::LeftButton);
    QTRY_VERIFY(form_->previewBox()->isVisible());
    QTRY_COMPARE(form_->previewBox()->toPlainText().section('\n', 1), QString("teh end"));
    QVERIFY(!form_->previewBox()->toPlainText().contains("cat"));
    QVERIFY(!form_->previewBox()->toPlainText().contains("2024"));

    // Nothing of the preview goes into the saved row.
    const int before = static_cast<int>(ws_->rows("Constraints").size());
    QTest::mouseClick(form_->saveButton(), Qt::LeftButton);
    QCOMPARE(newRows(before), QStringList{"TXT|2|cat|(EOL)| | |0"});
    QCOMPARE(form_->sampleBox()->toPlainText(), QString("teh cat -- (c) 2024\nteh end"));
  }

  void previewNotesARowThatNeverEnds() {
    form_->sampleBox()->setPlainText("banana");
    QTest::keyClicks(form_->fieldBox(0), "a");
    QTest::keyClicks(form_->fieldBox(1), "aa");
    QTRY_VERIFY(form_->previewNote()->isVisible());
    QVERIFY2(form_->previewNote()->text().contains("never finish"),
             qPrintable(form_->previewNote()->text()));
  }

  void previewRunsOnceForABurstOfChanges() {
    QSignalSpy updated(form_.get(), &ConstraintForm::previewUpdated);
    // No event is processed between these changes, as in fast typing.
    form_->sampleBox()->setPlainText("x");
    for (const char* text : {"a", "ab", "abc"}) form_->fieldBox(0)->setText(text);
    form_->fileTypeBox()->setText("TXT");
    QCOMPARE(updated.count(), 0);
    QVERIFY(updated.wait(5000));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(form_->previewBox()->toPlainText(), QString("x"));
  }

  void reopeningStartsAfresh() {
    QTest::mouseClick(form_->kindOption(2), Qt::LeftButton);
    form_->fieldBox(2)->setText("<B>");
    form_->fileTypeBox()->setText("TXT");
    QTest::mouseClick(form_->caseSensitiveBox(), Qt::LeftButton);
    form_->close();
    form_->load();
    form_->show();
    QVERIFY(form_->kindOption(0)->isChecked());
    checkRows(2);
    QVERIFY(form_->fieldBox(2)->text().isEmpty());
    QVERIFY(form_->fileTypeBox()->text().isEmpty());
    QVERIFY(!form_->caseSensitiveBox()->isChecked());
  }
};

QTEST_MAIN(ConstraintFormTest)
#include "constraint_form_test.moc"
