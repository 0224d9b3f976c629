// The Start Session dialog on its own: its texts, the keyboard order, the
// directory trees, and what each way of closing it leaves for the session.

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include "ui/start_session_dialog.h"
#include "ui/tests/test_support.h"

using loomui::StartSessionDialog;

class StartSessionTest : public QObject {
  Q_OBJECT

 private slots:
  void textsAndCaption() {
    StartSessionDialog d;
    d.load();
    d.show();
    QCOMPARE(d.windowTitle(), QString("Starting a Loomwise Session..."));
    QCOMPARE(d.useButton()->text(), QString("&Use these directories"));
    QCOMPARE(d.cancelButton()->text(), QString("&Cancel Session"));
    const QStringList labels = loomui::testing::labelTexts(&d);
    for (const char* text :
         {"To start a Loomwise session you must specify two locations for your working files.  "
          "Use the directory controls to indicate these paths:",
          "Directory containing text files to be input:",
          "Directory that results will be written to:"}) {
      QVERIFY2(labels.contains(text), text);
    }
    QCOMPARE(labels.count("You have specified:"), 2);
    QVERIFY(!d.useButton()->isDefault() && !d.useButton()->autoDefault());
    QVERIFY(!d.cancelButton()->isDefault() && !d.cancelButton()->autoDefault());
    QCOMPARE(d.minimumSize(), d.maximumSize());
    // The input column is on the left.
    QVERIFY(d.pathBox(0)->mapTo(&d, QPoint()).x() < d.pathBox(1)->mapTo(&d, QPoint()).x());
  }

  void keyboardOrder() {
    StartSessionDialog d;
    d.load();
    const QList<QWidget*> expected = {d.pathBox(0), d.pathBox(1), d.volumes(0), d.tree(0),
                                      d.volumes(1), d.tree(1),    d.useButton(), d.cancelButton()};
    QWidget* w = expected.front();
    for (int i = 1; i < expected.size(); ++i) {
      do {
        w = w->nextInFocusChain();
      } while (!(w->focusPolicy() & Qt::TabFocus) || !expected.contains(w));
      QCOMPARE(w, expected[i]);
    }
  }

  void acceptTrimsAndJoins_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("pair");
    QTest::newRow("plain") << "/texts" << "/site" << true << "/texts,/site";
    QTest::newRow("blanks trimmed") << "  /d/in " << " /d/out  " << true << "/d/in,/d/out";
    QTest::newRow("left blanks only") << "   " << "/site" << true << ",/site";
    QTest::newRow("right blanks only") << "/texts" << "  " << true << "/texts,";
    QTest::newRow("same on both sides") << "/x" << "/x" << true << "/x,/x";
    QTest::newRow("comma in a path") << "/a,b" << "/c" << true << "/a,b,/c";
    QTest::newRow("left empty") << "" << "/site" << false << "";
    QTest::newRow("right empty") << "/texts" << "" << false << "";
    QTest::newRow("tab stays") << "\t/in" << "/out" << true << "\t/in,/out";
  }

  void acceptTrimsAndJoins() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(bool, chosen);
    QFETCH(QString, pair);
    StartSessionDialog d;
    d.load();
    d.show();
    d.pathBox(0)->setText(input);
    d.pathBox(1)->setText(output);
    QTest::mouseClick(d.useButton(), Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.sessionPaths().has_value(), chosen);
    if (chosen) QCOMPARE(*d.sessionPaths(), pair);
  }

  void cancelClearsAndCloseBoxKeeps() {
    StartSessionDialog d;
    d.load();
    d.show();
    d.pathBox(0)->setText("/in");
    d.pathBox(1)->setText("/out");
    QTest::mouseClick(d.cancelButton(), Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.sessionPaths(), std::optional<QString>(QString()));

    d.load();  // loaded afresh: empty boxes, no result
    QVERIFY(d.pathBox(0)->text().isEmpty() && d.pathBox(1)->text().isEmpty());
    d.show();
    d.pathBox(0)->setText("/in");
    d.pathBox(1)->setText("/out");
    d.close();
    QVERIFY(!d.isVisible());
    QVERIFY(!d.sessionPaths().has_value());
  }

  void enterAndEscapeDoNothing() {
    StartSessionDialog d;
    d.load();
    d.show();
    d.pathBox(0)->setText("/in");
    d.pathBox(1)->setText("/out");
    d.pathBox(0)->setFocus();
    QTest::keyClick(d.pathBox(0), Qt::Key_Return);
    QTest::keyClick(d.pathBox(0), Qt::Key_Escape);
    QVERIFY(d.isVisible());
    QVERIFY(!d.sessionPaths().has_value());
  }

  void openingADirectoryFillsItsColumn() {
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("left/texts");
    StartSessionDialog d;
    d.load();
    auto* model = qobject_cast<QFileSystemModel*>(d.tree(0)->model());
    QVERIFY(model);
    const QModelIndex left = model->index(tmp.filePath("left/texts"));
    QVERIFY(left.isValid());
    emit d.tree(0)->activated(left);
    QCOMPARE(d.pathBox(0)->text(), tmp.filePath("left/texts"));
    QVERIFY(d.pathBox(1)->text().isEmpty());  // only its own column
    emit d.tree(1)->activated(model->index(tmp.path()));
    QCOMPARE(d.pathBox(1)->text(), tmp.path());
    QCOMPARE(d.pathBox(0)->text(), tmp.filePath("left/texts"));
  }

  void treesStartAtHomeAndOfferVolumes() {
    StartSessionDialog d;
    d.load();
    auto* model = qobject_cast<QFileSystemModel*>(d.tree(0)->model());
    for (int column = 0; column < 2; ++column) {
      QCOMPARE(model->filePath(d.tree(column)->rootIndex()), QDir::homePath());
      QVERIFY(d.volumes(column)->count() >= 2);  // home and at least the root volume
      QVERIFY(d.pathBox(column)->text().isEmpty());
    }
    // Choosing a volume moves the tree there and names it in the box.
    QComboBox* volumes = d.volumes(1);
    const int root = volumes->findData(QDir::rootPath());
    QVERIFY(root >= 0);
    volumes->setCurrentIndex(root);
    emit volumes->activated(root);
    QCOMPARE(model->filePath(d.tree(1)->rootIndex()), QDir::rootPath());
    QCOMPARE(d.pathBox(1)->text(), QDir::rootPath());
    QVERIFY(d.pathBox(0)->text().isEmpty());
  }
};

QTEST_MAIN(StartSessionTest)
#include "start_session_test.moc"
