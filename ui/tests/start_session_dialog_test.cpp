// The Start Session dialog: what each way of closing it leaves for the
// session, what it remembers, and how the trees fill the path boxes.

#include "ui/start_session_dialog.h"

#include <QtTest>
#include <QtWidgets>

#include "ui/tests/test_support.h"

using loomui::StartSessionDialog;
using loomui::testing::click;
using namespace Qt::Literals::StringLiterals;

class StartSessionDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir settingsDir_;

  static QFileSystemModel* model(const StartSessionDialog& d) {
    return qobject_cast<QFileSystemModel*>(d.tree(0)->model());
  }

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  }
  void init() { QSettings().clear(); }

  void closingLeavesThePair_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("pair");  // "-": nothing, the session keeps its pair
    QTest::newRow("plain") << u"/texts"_s << u"/site"_s << u"use"_s << u"/texts,/site"_s;
    QTest::newRow("blanks trimmed")
        << u"  /d/in "_s << u" /d/out  "_s << u"use"_s << u"/d/in,/d/out"_s;
    QTest::newRow("blanks only count as filled")
        << u"   "_s << u"/site"_s << u"use"_s << u",/site"_s;
    QTest::newRow("comma in a path") << u"/a,b"_s << u"/c"_s << u"use"_s << u"/a,b,/c"_s;
    QTest::newRow("left empty") << u""_s << u"/site"_s << u"use"_s << u"-"_s;
    QTest::newRow("right empty") << u"/texts"_s << u""_s << u"use"_s << u"-"_s;
    QTest::newRow("cancel") << u"/in"_s << u"/out"_s << u"cancel"_s << u""_s;
    QTest::newRow("close box") << u"/in"_s << u"/out"_s << u"close"_s << u"-"_s;
    QTest::newRow("enter and escape do nothing") << u"/in"_s << u"/out"_s << u"keys"_s << u"-"_s;
  }

  void closingLeavesThePair() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QString, how);
    QFETCH(QString, pair);
    StartSessionDialog d;
    d.load();
    d.show();
    for (QPushButton* b : {d.useButton(), d.cancelButton()}) {
      QVERIFY(!b->isDefault() && !b->autoDefault());  // neither answers Enter by itself
    }
    d.pathBox(0)->setText(input);
    d.pathBox(1)->setText(output);
    if (how == "keys") {
      QTest::keyClick(d.pathBox(0), Qt::Key_Return);
      QTest::keyClick(d.pathBox(0), Qt::Key_Escape);
    } else if (how == "close") {
      d.close();
    } else {
      click(how == "use" ? d.useButton() : d.cancelButton());
    }
    QCOMPARE(d.isVisible(), how == "keys");
    QCOMPARE(d.sessionPaths().value_or("-"), pair);
  }

  void remembersTheLastAcceptedPair() {
    StartSessionDialog d;
    d.load();
    QVERIFY(!d.keepUpToDate() && !d.prune());  // nothing remembered yet
    d.show();
    d.pathBox(0)->setText(" /texts ");
    d.pathBox(1)->setText("/site");
    click(d.keepUpToDateBox());
    click(d.useButton());
    for (int session = 0; session < 2; ++session) {  // the second after a cancelled one
      d.load();
      QCOMPARE(d.pathBox(0)->text() + "," + d.pathBox(1)->text(), QString("/texts,/site"));
      QVERIFY(d.keepUpToDate() && !d.prune());
      d.show();
      d.pathBox(0)->setText("/other");
      click(d.pruneBox());
      click(d.cancelButton());
    }
  }

  void treesFillTheirOwnColumn_data() {
    QTest::addColumn<bool>("atRoot");  // the current directory the trees start in
    QTest::newRow("a directory") << false;
    QTest::newRow("the root: home instead") << true;
  }

  void treesFillTheirOwnColumn() {
    QFETCH(bool, atRoot);
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("texts");
    const QString texts = tmp.filePath("texts"), before = QDir::currentPath();
    QDir::setCurrent(atRoot ? QDir::rootPath() : tmp.path());
    StartSessionDialog d;
    QStringList asked;
    d.setFolderNamer([&asked](QWidget*, const QString& parent) {
      asked << parent;
      return QString(" 2024 ");
    });
    d.load();
    QDir::setCurrent(before);
    for (int column = 0; column < 2; ++column) {
      QCOMPARE(model(d)->filePath(d.tree(column)->rootIndex()),
               atRoot ? QDir::homePath() : QFileInfo(tmp.path()).canonicalFilePath());
    }
    emit d.tree(0)->activated(model(d)->index(texts));
    QCOMPARE(d.pathBox(0)->text() + "|" + d.pathBox(1)->text(), texts + "|");
    // A new folder goes into the directory chosen in its column.
    d.tree(1)->setCurrentIndex(model(d)->index(texts));
    click(d.newFolderButton(1));
    QCOMPARE(asked, QStringList{texts});
    QCOMPARE(d.pathBox(1)->text(), texts + "/2024");
    QVERIFY(QFileInfo(texts + "/2024").isDir());
    // Choosing a volume moves the tree there and names it in the box.
    QComboBox* volumes = d.volumes(1);
    volumes->setCurrentIndex(volumes->findData(QDir::rootPath()));
    emit volumes->activated(volumes->currentIndex());
    QCOMPARE(model(d)->filePath(d.tree(1)->rootIndex()), QDir::rootPath());
    QCOMPARE(d.pathBox(0)->text() + "|" + d.pathBox(1)->text(), texts + "|" + QDir::rootPath());
  }
};

QTEST_MAIN(StartSessionDialogTest)
#include "start_session_dialog_test.moc"
