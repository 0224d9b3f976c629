// SPDX-License-Identifier: MIT
// Takes a picture of every window for the documentation:
//   loomwise-screenshots <directory>
// Run it on a display (xvfb-run -a works) with the bundled example rules
// and texts; nothing outside a temporary directory is touched.

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "rules/rule_database.h"
#include "ui/constraint_form.h"
#include "ui/main_window.h"
#include "ui/message_sink.h"
#include "ui/setup_window.h"
#include "ui/start_session_dialog.h"

namespace {

class QuietSink : public loomui::MessageSink {
 public:
  int show(QWidget*, const loomui::Message& message) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(message.text));
    return -1;
  }
};

void settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool shoot(QWidget* window, const QString& path) {
  window->show();
  window->raise();
  settle(400);
  if (window->grab().save(path)) {
    std::printf("%s\n", qPrintable(path));
    return true;
  }
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // A home of its own, so the directory trees show a tidy, typical one.
  QTemporaryDir home;
  for (const char* dir : {"Documents", "Music", "Pictures", "Projects/harbour-texts",
                          "Projects/harbour-site", "Projects/old notes"}) {
    QDir(home.path()).mkpath(dir);
  }
  qputenv("HOME", home.path().toLocal8Bit());
  // The Start Session dialog's trees start in the current directory.
  QDir::setCurrent(home.path());
  QApplication app(argc, argv);
  // The Start Session dialog remembers its pair; not in the user's settings.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
  if (argc != 2) {
    std::fprintf(stderr, "usage: loomwise-screenshots <directory>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir work;
  const QString rules = work.filePath("loomwise.mdb");
  loom::createRuleDatabase(rules.toStdString(), loom::NewDatabaseContents::Bundled);
  const QString input = work.filePath("texts");
  const QString output = work.filePath("site");
  QDir().mkpath(input);
  QDir().mkpath(output);
  const QDir examples(QStringLiteral(LOOMWISE_SOURCE_DIR "/examples"));
  for (const QString& name : examples.entryList(QDir::Files)) {
    QFile::copy(examples.filePath(name), QDir(input).filePath(name));
  }

  QuietSink sink;
  bool ok = true;
  {
    loomui::MainWindowOptions options;
    options.rulesPath = rules;
    options.messages = &sink;
    loomui::MainWindow idle(options);
    idle.load();
    ok = shoot(&idle, out.filePath("main-window.png")) && ok;

    options.argumentText = input + "," + output;
    loomui::MainWindow afterRun(options);
    QEventLoop wait;
    QObject::connect(&afterRun, &loomui::MainWindow::runEnded, &wait, &QEventLoop::quit);
    afterRun.load();
    if (afterRun.isRunning()) wait.exec();
    ok = shoot(&afterRun, out.filePath("main-window-after-run.png")) && ok;
    afterRun.hide();

    loomui::StartSessionDialog session(&idle);
    session.load();
    session.show();
    settle(600);  // the directory model fills in the background
    const QDir projects(home.filePath("Projects"));
    for (int column = 0; column < 2; ++column) {
      auto* model = static_cast<QFileSystemModel*>(session.tree(column)->model());
      const QString chosen = projects.filePath(column == 0 ? "harbour-texts" : "harbour-site");
      session.tree(column)->expand(model->index(projects.path()));
      settle(300);
      session.tree(column)->setCurrentIndex(model->index(chosen));
      emit session.tree(column)->activated(model->index(chosen));
    }
    session.pathBox(0)->setCursorPosition(0);
    ok = shoot(&session, out.filePath("start-session.png")) && ok;
    session.hide();

    loomui::SetupWindow setup(rules, sink, &idle);
    setup.load();
    const char* names[] = {"about-setup", "file-types",      "file-groups",
                           "constraints", "global-settings", "about"};
    for (int tab = 0; tab < setup.tabs()->count(); ++tab) {
      setup.tabs()->setCurrentIndex(tab);
      ok = shoot(&setup, out.filePath(QStringLiteral("setup-%1.png").arg(names[tab]))) && ok;
    }

    loomui::ConstraintForm form(rules, sink, &setup);
    form.load();
    form.kindOption(2)->click();
    form.fieldBox(0)->setText(QStringLiteral("*"));
    form.fieldBox(1)->setText(QStringLiteral("*"));
    form.fieldBox(2)->setText(QStringLiteral("<B>"));
    form.fieldBox(3)->setText(QStringLiteral("</B>"));
    form.fileTypeBox()->setText(QStringLiteral("TXT"));
    form.sampleBox()->setPlainText(
        QStringLiteral("The *old pier* -- rebuilt in 1911 -- is open again.\n"
                       "Ferries leave _every hour_ from the *north quay*.\n"
                       "(c) Harbour Town Notes"));
    ok = shoot(&form, out.filePath("constraint-form.png")) && ok;
    form.hide();
    setup.hide();
  }
  return ok ? 0 : 1;
}
