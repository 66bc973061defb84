// The whole windowed program in the window: the opening questions typed with keys, the file
// dialogs with their filters and default extensions, and Q or closing the frame to end it.
#include "dialogue/program.h"

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "console/clock.h"
#include "console/window/qt_file_chooser.h"
#include "results/csv_tables.h"
#include "results/extended_report.h"
#include "window_fixture.h"

namespace quelbro::testing {
namespace {

using Filters = std::vector<FileChooser::Filter>;

class FakeChooser : public FileChooser {
 public:
  struct Call {
    bool open;
    std::vector<std::string> descriptions;
    std::vector<std::string> patterns;
    std::string extension;
  };
  std::optional<std::string> openFile(const Filters& f, const std::string& ext) override {
    return record(true, f, ext);
  }
  std::optional<std::string> saveFile(const Filters& f, const std::string& ext) override {
    return record(false, f, ext);
  }
  std::deque<std::optional<std::string>> results;  // empty: cancelled
  std::vector<Call> calls;

 private:
  std::optional<std::string> record(bool open, const Filters& f, const std::string& ext) {
    Call c{open, {}, {}, ext};
    for (const auto& x : f) {
      c.descriptions.push_back(x.description);
      c.patterns.push_back(x.pattern);
    }
    calls.push_back(c);
    if (results.empty()) return std::nullopt;
    auto r = results.front();
    results.pop_front();
    return r;
  }
};

bool windowHas(const IoText& t, const std::string& needle) {
  for (int i = 0; i < t.lineCount(); ++i) {
    if (t.line(i).find(needle) != std::string::npos) return true;
  }
  return false;
}

struct ProgramRun {
  explicit ProgramRun(std::vector<std::string> answers)
      : console(s.frame), typist(s, console, std::move(answers)) {
    QObject::connect(&s.frame, &MainFrame::finished, [this] { finished = true; });
    s.dialogs.saveAnswer = ShellDialogs::Answer::No;
  }
  // Runs the program to its end. Should the dialogue ask more than the script answers, a watchdog
  // closes the frame, which ends the input, so that the test fails instead of waiting forever.
  bool run() {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this] {
      timedOut = true;
      s.frame.close();
    });
    watchdog.start(15000);
    if (!s.frame.startProgram([this] {
          runWindowedProgram(console, clock, chooser, observe ? &s.frame : nullptr);
          returned = true;
        })) {
      return false;
    }
    const bool ok = QTest::qWaitFor([this] { return returned; }, 30000);
    EXPECT_FALSE(timedOut) << "the dialogue asked more than the script answered";
    return ok && !timedOut;
  }
  Shell s;
  WindowConsole console;
  Typist typist;
  FakeChooser chooser;
  FixedClock clock{2024, 3, 5, 9, 30, 0};
  bool returned = false;
  bool finished = false;
  bool timedOut = false;
  bool observe = false;  // the frame receives the analysed datasets
};

TEST(WindowProgram, QAtTheFirstQuestionEndsTheProgramAndTheWindowStays) {
  ProgramRun r({"q"});
  ASSERT_TRUE(r.run());
  EXPECT_TRUE(windowHas(r.s.text(), "QUELBRO (Windows version 1.0 beta):"));
  EXPECT_TRUE(windowHas(r.s.text(), "input file for the next"));
  EXPECT_TRUE(r.chooser.calls.empty());
  EXPECT_TRUE(r.s.frame.isVisible());
  EXPECT_FALSE(r.finished);
  r.s.frame.close();
  EXPECT_TRUE(r.finished);
}

TEST(WindowProgram, AfterTheDialogueEndsTheLastLineSaysSoAndTypingIsRefused) {
  ProgramRun r({"q"});
  ASSERT_TRUE(r.run());
  IoText& t = r.s.text();
  ASSERT_GT(t.lineCount(), 0);
  int last = t.lineCount() - 1;
  while (last > 0 && t.line(last).empty()) --last;
  EXPECT_EQ(t.line(last), kDialogueEnded);
  const int lines = t.lineCount();
  const std::string before = t.line(lines - 1);
  QTest::keyClicks(r.s.io(), QStringLiteral("y"));
  QTest::keyClick(r.s.io(), Qt::Key_Return);
  r.s.io()->paste();
  EXPECT_EQ(t.lineCount(), lines) << "typing after the end was echoed";
  EXPECT_EQ(t.line(lines - 1), before);
  r.s.frame.close();
  EXPECT_TRUE(r.finished);
}

TEST(WindowProgram, TheOpeningQuestionsUseTheOpenAndSaveDialogsWithTheirFilters) {
  QTemporaryDir dir;
  const std::string store = dir.filePath(QStringLiteral("typed.dat")).toStdString();
  // Y at question 1 (cancelled), N; Y at question 2 (cancelled, then a file); Y at question 3
  // (cancelled), N; then the frame is closed while the study description is awaited.
  ProgramRun r({"y", "N", "yes", "Y", "y", "n", "<close>"});
  r.chooser.results = {std::nullopt, std::nullopt, store, std::nullopt};
  ASSERT_TRUE(r.run());
  EXPECT_TRUE(r.finished);  // closed and returned: the application may quit

  ASSERT_EQ(r.chooser.calls.size(), 4u);
  const std::vector<std::string> openDescriptions = {"Data Files (*.dat)", "Text Files (*.txt)",
                                                     "All Files (*.*)"};
  const std::vector<std::string> openPatterns = {"*.dat", "*.txt", "*.*"};
  const std::vector<std::string> saveDescriptions = {"Text Files (*.txt)", "All Files (*.*)",
                                                     "Data Files (*.dat)"};
  const std::vector<std::string> savePatterns = {"*.txt", "*.*", "*.dat"};
  EXPECT_TRUE(r.chooser.calls[0].open);
  EXPECT_EQ(r.chooser.calls[0].descriptions, openDescriptions);
  EXPECT_EQ(r.chooser.calls[0].patterns, openPatterns);
  EXPECT_EQ(r.chooser.calls[0].extension, "dat");
  for (std::size_t i = 1; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(r.chooser.calls[i].open);
    EXPECT_EQ(r.chooser.calls[i].descriptions, saveDescriptions);
    EXPECT_EQ(r.chooser.calls[i].patterns, savePatterns);
    EXPECT_EQ(r.chooser.calls[i].extension, "txt");
  }
  // The store file was created by the dialogue (question 3 followed), and removed again
  // when the input ended with nothing stored in it.
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(store)));
}

TEST(WindowProgram, AStudyFromADataFileRunsThroughTheWindowQuickly) {
  // The example study of the repository, found from the test program's folder (build/tests).
  const QString study = QDir(QCoreApplication::applicationDirPath())
                            .absoluteFilePath(QStringLiteral("../../examples/study.dat"));
  if (!QFileInfo::exists(study)) GTEST_SKIP() << "no example study at " << study.toStdString();
  ProgramRun r({"y", "n", "q"});
  r.chooser.results = {study.toStdString()};
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(r.run());
  const qint64 ms = t.elapsed();
  // Every line written went through the window (the oldest may have been dropped).
  const long long lines = r.s.text().lineCount() + r.s.text().droppedLines();
  std::printf("study.dat: %lld lines in %lld ms\n", lines, static_cast<long long>(ms));
  EXPECT_TRUE(r.typist.done());
  EXPECT_LT(ms, 20000);
  ASSERT_EQ(r.chooser.calls.size(), 1u);
  EXPECT_TRUE(r.chooser.calls[0].open);
  // Two cycles: the one that read the file and the one answered with Q.
  int cycles = 0;
  for (int i = 0; i < r.s.text().lineCount(); ++i) {
    if (r.s.text().line(i).find("input file for the next") != std::string::npos) ++cycles;
  }
  EXPECT_EQ(cycles, 2);
}

std::string fileText(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return "<cannot open " + path.toStdString() + ">";
  return f.readAll().toStdString();
}

TEST(WindowExport, ExportResultsWritesTheBatchRunsTablesForTheDatasetsAnalysed) {
  const QString study = QDir(QCoreApplication::applicationDirPath())
                            .absoluteFilePath(QStringLiteral("../../examples/study.dat"));
  if (!QFileInfo::exists(study)) GTEST_SKIP() << "no example study at " << study.toStdString();
  QTemporaryDir dir;
  ProgramRun r({"y", "n", "q"});
  r.observe = true;
  r.chooser.results = {study.toStdString()};
  EXPECT_FALSE(r.s.frame.action(kMenuExportResults)->isEnabled());  // nothing analysed yet
  ASSERT_TRUE(r.run());
  ASSERT_EQ(r.s.frame.analysedDatasets().size(), 1u);
  EXPECT_TRUE(r.s.frame.action(kMenuExportResults)->isEnabled());

  // The tables of the same file from the batch run, for comparison.
  const std::string batch = dir.filePath(QStringLiteral("batch")).toStdString();
  CsvTableFiles tables;
  ASSERT_TRUE(tables.create(batch, false)) << tables.why();
  class Silent : public TextConsole {
   public:
    void writeLine(std::string_view) override {}
    bool readLine(std::string&) override { return false; }
  } silent;
  std::string why;
  ASSERT_EQ(runBatchProgram(silent, r.clock, BatchRun{study.toStdString(), "", false}, &tables, why),
            BatchEnd::Done)
      << why;
  ASSERT_TRUE(tables.close());

  r.s.dialogs.saveName = dir.filePath(QStringLiteral("win.csv"));
  r.s.frame.action(kMenuExportResults)->trigger();
  EXPECT_EQ(r.s.dialogs.lastFilters, exportFilters());
  EXPECT_EQ(r.s.dialogs.lastSuffix, QStringLiteral("csv"));
  EXPECT_TRUE(r.s.dialogs.warnings.empty());
  for (const CsvTable& t : csvTables()) {
    SCOPED_TRACE(t.name);
    const std::string win =
        fileText(dir.filePath(QStringLiteral("win-%1.csv").arg(QString::fromStdString(t.name))));
    EXPECT_EQ(win, fileText(QString::fromStdString(csvPath(batch, t))));
    EXPECT_GT(win.size(), 100u);
  }

  // Again over existing tables: asked first, and a No leaves them alone.
  r.s.dialogs.yes = false;
  r.s.dialogs.questions.clear();
  EXPECT_FALSE(r.s.frame.exportResults());
  EXPECT_EQ(r.s.dialogs.questions.size(), 1u);
  // A folder that cannot be written: the warning says so.
  r.s.dialogs.saveName = QStringLiteral("/proc/no/such/run.csv");
  EXPECT_FALSE(r.s.frame.exportResults());
  ASSERT_EQ(r.s.dialogs.warnings.size(), 1u);
  EXPECT_TRUE(r.s.dialogs.warnings[0].startsWith(QStringLiteral("Cannot write the tables: ")));
}

TEST(WindowExtended, ExtendedResultsShowsTheSectionsOfTheDatasetsAnalysed) {
  const QString study = QDir(QCoreApplication::applicationDirPath())
                            .absoluteFilePath(QStringLiteral("../../examples/study.dat"));
  if (!QFileInfo::exists(study)) GTEST_SKIP() << "no example study at " << study.toStdString();
  ProgramRun r({"y", "n", "q"});
  r.observe = true;
  r.chooser.results = {study.toStdString()};
  EXPECT_FALSE(r.s.frame.action(kMenuExtendedResults)->isEnabled());  // nothing analysed yet
  ASSERT_TRUE(r.run());
  ASSERT_EQ(r.s.frame.analysedDatasets().size(), 1u);
  ASSERT_TRUE(r.s.frame.action(kMenuExtendedResults)->isEnabled());
  r.s.frame.action(kMenuExtendedResults)->trigger();
  QMdiSubWindow* child = nullptr;
  for (QMdiSubWindow* w : r.s.frame.findChildren<QMdiSubWindow*>())
    if (w->windowTitle() == QStringLiteral("Extended Results")) child = w;
  ASSERT_NE(child, nullptr);
  auto* view = qobject_cast<QPlainTextEdit*>(child->widget());
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isReadOnly());
  QString want;
  for (const std::string& l : extendedText(r.s.frame.analysedDatasets(), std::nullopt))
    want += QString::fromStdString(l) + QLatin1Char('\n');
  auto trimmed = [](QString t) {
    while (t.endsWith(QLatin1Char('\n'))) t.chop(1);
    return t.toStdString();
  };
  EXPECT_EQ(trimmed(view->toPlainText()), trimmed(want));
  EXPECT_TRUE(want.contains(QStringLiteral("EXTENDED RESULTS")));
  // Asked again: the same child, not a second one.
  r.s.frame.action(kMenuExtendedResults)->trigger();
  int count = 0;
  for (QMdiSubWindow* w : r.s.frame.findChildren<QMdiSubWindow*>())
    if (w->windowTitle() == QStringLiteral("Extended Results")) ++count;
  EXPECT_EQ(count, 1);
}

TEST(WindowExport, ThePrefixDropsTheExtensionAndATablesEnding) {
  EXPECT_EQ(exportPrefix("/d/study.csv"), "/d/study");
  EXPECT_EQ(exportPrefix("/d/study-fits.csv"), "/d/study");
  EXPECT_EQ(exportPrefix("/d/study-pseudovalues.csv"), "/d/study");
  EXPECT_EQ(exportPrefix("/d/study"), "/d/study");
  EXPECT_EQ(exportPrefix("/d/study-fits"), "/d/study-fits");  // no extension: taken as it is
}

TEST(QtFileChooser, NameFiltersKeepTheDescriptionsInOrderAndWidenAllFiles) {
  const Filters open = {
      {"Data Files (*.dat)", "*.dat"}, {"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}};
  EXPECT_EQ(qtNameFilters(open), (QStringList{"Data Files (*.dat)", "Text Files (*.txt)", "All Files (*)"}));
  const Filters save = {
      {"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}, {"Data Files (*.dat)", "*.dat"}};
  EXPECT_EQ(qtNameFilters(save), (QStringList{"Text Files (*.txt)", "All Files (*)", "Data Files (*.dat)"}));
  EXPECT_EQ(qtNameFilters(save), windowSaveFilters());  // the window's own Save As offers the same
}

TEST(QtFileChooser, ANamedPipeChosenAsCaseDataIsRefusedAndTheDialogComesBack) {
  // Opening a pipe with no writer would wait, and the window with it.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString pipe = QDir(dir.path()).filePath(QStringLiteral("feed.dat"));
  ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
  QtFileChooser chooser;
  QStringList complaints;
  int dialogsShown = 0;
  int ticks = 0;
  QFileDialog* last = nullptr;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (++ticks > 400) {  // bounded: give up rather than wait
      if (auto* d = qobject_cast<QDialog*>(modal)) d->reject();
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      complaints << box->text();
      box->accept();
      last = nullptr;  // the same dialog comes back
      return;
    }
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr || dialog == last) return;
    last = dialog;
    if (++dialogsShown > 1) {  // back again after the refusal: cancelled
      QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
      return;
    }
    dialog->setDirectory(dir.path());
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(pipe);
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  poll.start(25);
  const auto chosen = chooser.openFile({{"All Files (*.*)", "*.*"}}, "dat");
  poll.stop();
  EXPECT_FALSE(chosen.has_value());
  ASSERT_EQ(complaints.size(), 1);
  EXPECT_EQ(complaints.front(), pipe + QStringLiteral(" is a named pipe; case data are read from a file."));
}

}  // namespace
}  // namespace quelbro::testing
