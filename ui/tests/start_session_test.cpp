// The Start Session dialog on its own: its texts, the keyboard order, the
// directory trees, and what each way of closing it leaves for the session.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTreeView>
#include <QtTest>

#include "ui/start_session_dialog.h"
#include "ui/tests/test_support.h"

using loomui::StartSessionDialog;

class StartSessionTest : public QObject {
  Q_OBJECT

  QTemporaryDir settingsDir_;

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  }
  void init() { QSettings().clear(); }

  void buttonsAndColumns() {
    StartSessionDialog d;
    d.load();
    d.show();
    QVERIFY(!d.useButton()->isDefault() && !d.useButton()->autoDefault());
    QVERIFY(!d.cancelButton()->isDefault() && !d.cancelButton()->autoDefault());
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(!(d.windowFlags() & Qt::WindowMaximizeButtonHint));
    // The input column is on the left.
    QVERIFY(d.pathBox(0)->mapTo(&d, QPoint()).x() < d.pathBox(1)->mapTo(&d, QPoint()).x());
  }

  void keyboardOrder() {
    StartSessionDialog d;
    d.load();
    const QList<QWidget*> expected = {d.pathBox(0), d.pathBox(1), d.volumes(0),  d.tree(0),
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
    QTest::newRow("plain") << "/texts"
                           << "/site" << true << "/texts,/site";
    QTest::newRow("blanks trimmed") << "  /d/in "
                                    << " /d/out  " << true << "/d/in,/d/out";
    QTest::newRow("left blanks only") << "   "
                                      << "/site" << true << ",/site";
    QTest::newRow("right blanks only") << "/texts"
                                       << "  " << true << "/texts,";
    QTest::newRow("same on both sides") << "/x"
                                        << "/x" << true << "/x,/x";
    QTest::newRow("comma in a path") << "/a,b"
                                     << "/c" << true << "/a,b,/c";
    QTest::newRow("left empty") << ""
                                << "/site" << false << "";
    QTest::newRow("right empty") << "/texts"
                                 << "" << false << "";
    QTest::newRow("tab stays") << "\t/in"
                               << "/out" << true << "\t/in,/out";
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

  void treesStartInTheCurrentDirectory_data() {
    QTest::addColumn<bool>("atRoot");
    QTest::newRow("a directory") << false;
    QTest::newRow("the root: home instead") << true;
  }

  void treesStartInTheCurrentDirectory() {
    QFETCH(bool, atRoot);
    QTemporaryDir tmp;
    const QString before = QDir::currentPath();
    QDir::setCurrent(atRoot ? QDir::rootPath() : tmp.path());
    StartSessionDialog d;
    d.load();
    QDir::setCurrent(before);
    auto* model = qobject_cast<QFileSystemModel*>(d.tree(0)->model());
    for (int column = 0; column < 2; ++column) {
      QCOMPARE(model->filePath(d.tree(column)->rootIndex()),
               atRoot ? QDir::homePath() : QFileInfo(tmp.path()).canonicalFilePath());
      QVERIFY(d.volumes(column)->count() >= 2);  // at least home and the root volume
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

  void remembersTheLastPair() {
    StartSessionDialog d;
    d.load();
    d.show();
    d.pathBox(0)->setText(" /texts ");
    d.pathBox(1)->setText("/site");
    QVERIFY(!d.keepUpToDate() && !d.prune());  // nothing remembered yet
    QTest::mouseClick(d.keepUpToDateBox(), Qt::LeftButton);
    QVERIFY(d.keepUpToDate() && !d.prune());
    QTest::mouseClick(d.useButton(), Qt::LeftButton);
    StartSessionDialog next;  // as in the next program session
    next.load();
    QCOMPARE(next.pathBox(0)->text(), QString("/texts"));
    QCOMPARE(next.pathBox(1)->text(), QString("/site"));
    QVERIFY(next.keepUpToDate() && !next.prune());
    // A cancelled session forgets nothing.
    next.show();
    next.pathBox(0)->setText("/other");
    QTest::mouseClick(next.pruneBox(), Qt::LeftButton);
    QTest::mouseClick(next.keepUpToDateBox(), Qt::LeftButton);
    QTest::mouseClick(next.cancelButton(), Qt::LeftButton);
    next.load();
    QCOMPARE(next.pathBox(0)->text(), QString("/texts"));
    QVERIFY(next.keepUpToDate() && !next.prune());
    // The next accepted session remembers its own choice.
    next.show();
    QTest::mouseClick(next.pruneBox(), Qt::LeftButton);
    QTest::mouseClick(next.keepUpToDateBox(), Qt::LeftButton);
    QTest::mouseClick(next.useButton(), Qt::LeftButton);
    next.load();
    QVERIFY(!next.keepUpToDate() && next.prune());
  }

  void newFolderIsMadeInTheChosenDirectory() {
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("site");
    StartSessionDialog d;
    QStringList asked;
    d.setFolderNamer([&asked](QWidget*, const QString& parent) {
      asked << parent;
      return QString(" 2024 ");
    });
    d.load();
    auto* model = qobject_cast<QFileSystemModel*>(d.tree(1)->model());
    const QModelIndex site = model->index(tmp.filePath("site"));
    QVERIFY(site.isValid());
    d.tree(1)->setCurrentIndex(site);
    QTest::mouseClick(d.newFolderButton(1), Qt::LeftButton);
    QCOMPARE(asked, QStringList{tmp.filePath("site")});
    QVERIFY(QFileInfo(tmp.filePath("site/2024")).isDir());
    QCOMPARE(d.pathBox(1)->text(), tmp.filePath("site/2024"));
    QVERIFY(d.pathBox(0)->text().isEmpty());
  }
};

QTEST_MAIN(StartSessionTest)
#include "start_session_test.moc"
