// The Start Session dialog: what each way of closing it leaves for the
// session, what it remembers, and how the trees fill the path boxes.

#include "ui/start_session_dialog.h"

#include <QtTest>
#include <QtWidgets>

#include "ui/tests/test_support.h"

using loomui::StartSessionDialog;
using loomui::testing::click;

class StartSessionDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir settingsDir_;

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  }
  void init() { QSettings().clear(); }

  void closingLeavesThePair() {
    const struct {
      const char *input, *output, *how;
      QString pair;  // "-": nothing, the session keeps its pair
    } cases[] = {
        {"  /d/in ", " /d/out  ", "use", "/d/in,/d/out"},
        {"   ", "/site", "use", ",/site"},  // blanks count as filled; the run judges them
        {"", "/site", "use", "-"},
        {"/texts", "", "use", "-"},
        {"/in", "/out", "cancel", ""},
        {"/in", "/out", "close", "-"},
        {"/in", "/out", "keys", "-"},  // Enter and Escape do nothing
    };
    for (const auto& c : cases) {
      StartSessionDialog d;
      d.load();
      d.show();
      d.pathBox(0)->setText(c.input);
      d.pathBox(1)->setText(c.output);
      if (c.how == QString("keys")) {
        QTest::keyClick(d.pathBox(0), Qt::Key_Return);
        QTest::keyClick(d.pathBox(0), Qt::Key_Escape);
      } else if (c.how == QString("close")) {
        d.close();
      } else {
        click(c.how == QString("use") ? d.useButton() : d.cancelButton());
      }
      QCOMPARE(d.isVisible(), c.how == QString("keys"));
      QCOMPARE(d.sessionPaths().value_or("-"), c.pair);
    }
  }

  void remembersTheLastAcceptedPair() {
    StartSessionDialog d;
    d.load();
    QVERIFY(!d.keepUpToDate() && !d.prune());  // nothing remembered yet
    d.pathBox(0)->setText(" /texts ");
    d.pathBox(1)->setText("/site");
    click(d.keepUpToDateBox());
    click(d.useButton());
    for (int session = 0; session < 2; ++session) {  // the second after a cancelled one
      d.load();
      QCOMPARE(d.pathBox(0)->text() + "," + d.pathBox(1)->text(), QString("/texts,/site"));
      QVERIFY(d.keepUpToDate() && !d.prune());
      d.pathBox(0)->setText("/other");
      click(d.pruneBox());
      click(d.cancelButton());
    }
  }

  void treesFillTheirOwnColumn() {
    for (const bool atRoot : {false, true}) {  // at the root, the trees start at home instead
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
      auto* model = qobject_cast<QFileSystemModel*>(d.tree(0)->model());
      for (int column = 0; column < 2; ++column) {
        QCOMPARE(model->filePath(d.tree(column)->rootIndex()),
                 atRoot ? QDir::homePath() : QFileInfo(tmp.path()).canonicalFilePath());
      }
      emit d.tree(0)->activated(model->index(texts));
      QCOMPARE(d.pathBox(0)->text() + "|" + d.pathBox(1)->text(), texts + "|");
      // A new folder goes into the directory chosen in its column.
      d.tree(1)->setCurrentIndex(model->index(texts));
      click(d.newFolderButton(1));
      QCOMPARE(asked, QStringList{texts});
      QCOMPARE(d.pathBox(1)->text(), texts + "/2024");
      QVERIFY(QFileInfo(texts + "/2024").isDir());
      // Choosing a volume moves the tree there and names it in the box.
      QComboBox* volumes = d.volumes(1);
      volumes->setCurrentIndex(volumes->findData(QDir::rootPath()));
      emit volumes->activated(volumes->currentIndex());
      QCOMPARE(model->filePath(d.tree(1)->rootIndex()), QDir::rootPath());
      QCOMPARE(d.pathBox(0)->text() + "|" + d.pathBox(1)->text(), texts + "|" + QDir::rootPath());
    }
  }
};

QTEST_MAIN(StartSessionDialogTest)
#include "start_session_dialog_test.moc"
