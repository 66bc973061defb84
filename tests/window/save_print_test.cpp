// Saving the window's text (CR LF line ends, the saved flag, the two error messages) and
// printing it to a PDF file, whole or by page range.
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <cstdio>
#include <functional>

#include "console/clock.h"
#include "console/window/roc_plot_window.h"
#include "console/window/shell_dialogs.h"
#include "dialogue/session.h"
#include "window_fixture.h"

namespace quelbro::testing {
namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

TEST(WindowSave, EveryLineIsWrittenWithCrLfAndTheSavedFlagIsSet) {
  QTemporaryDir dir;
  Shell s;
  s.text().writeLine(" first");
  s.text().writeLine("");
  s.text().writeLine("third  ");
  s.type("typed");  // the line being typed is saved as well
  s.dialogs.saveName = dir.filePath(QStringLiteral("out.txt"));
  EXPECT_FALSE(s.text().saved());
  s.frame.action(kMenuSave)->trigger();  // no name yet: the dialog comes first
  EXPECT_EQ(s.dialogs.saveDialogs, 1);
  EXPECT_EQ(s.dialogs.lastFilters,
            (QStringList{"Text Files (*.txt)", "All Files (*)", "Data Files (*.dat)"}));
  EXPECT_EQ(s.dialogs.lastSuffix, QStringLiteral("txt"));
  EXPECT_EQ(readAll(*s.dialogs.saveName), QByteArray(" first\r\n\r\nthird  \r\ntyped\r\n"));
  EXPECT_TRUE(s.text().saved());
  EXPECT_EQ(s.frame.ioSubWindow()->windowTitle(), *s.dialogs.saveName);

  // Save again: same file, no dialog; an existing file is replaced, not appended to.
  s.key(Qt::Key_Return);
  s.text().writeLine("more");
  s.frame.action(kMenuSave)->trigger();
  EXPECT_EQ(s.dialogs.saveDialogs, 1);
  EXPECT_EQ(readAll(*s.dialogs.saveName), QByteArray(" first\r\n\r\nthird  \r\ntyped\r\nmore\r\n"));

  // Save As always asks.
  s.dialogs.saveName = dir.filePath(QStringLiteral("other.txt"));
  s.frame.action(kMenuSaveAs)->trigger();
  EXPECT_EQ(s.dialogs.saveDialogs, 2);
  EXPECT_TRUE(QFile::exists(*s.dialogs.saveName));
  // A cancelled dialog saves nothing.
  s.text().writeLine("x");
  s.dialogs.saveName.reset();
  EXPECT_FALSE(s.frame.saveAs());
  EXPECT_FALSE(s.text().saved());
}

TEST(WindowSave, AnyChangeAfterASaveClearsTheSavedFlag) {
  QTemporaryDir dir;
  struct Change {
    const char* name;
    std::function<void(Shell&)> apply;
  };
  const Change changes[] = {
      {"output", [](Shell& s) { s.text().writeLine("out"); }},
      {"empty output", [](Shell& s) { s.text().writeLine(""); }},
      {"typing", [](Shell& s) { s.type("a"); }},
      {"enter", [](Shell& s) { s.key(Qt::Key_Return); }},
      {"tab", [](Shell& s) { s.key(Qt::Key_Tab); }},
      {"insert", [](Shell& s) { s.key(Qt::Key_Insert); }},
      {"paste",
       [](Shell& s) {
         QApplication::clipboard()->setText(QStringLiteral("p"));
         s.frame.action(kMenuPaste)->trigger();
       }},
      {"delete selection",
       [](Shell& s) {
         s.text().select(0, 0, 2);
         s.frame.updateEditActions();
         s.frame.action(kMenuDelete)->trigger();
       }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    Shell s;
    s.text().writeLine("some text");
    s.dialogs.saveName = dir.filePath(QStringLiteral("flag.txt"));
    ASSERT_TRUE(s.frame.save());
    ASSERT_TRUE(s.text().saved());
    c.apply(s);
    EXPECT_FALSE(s.text().saved());
  }
  // Moving the caret, scrolling and selecting change nothing.
  Shell s;
  s.text().writeLine("some text");
  s.type("ab");
  s.dialogs.saveName = dir.filePath(QStringLiteral("flag.txt"));
  ASSERT_TRUE(s.frame.save());
  for (Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End,
                    Qt::Key_PageUp, Qt::Key_PageDown}) {
    s.key(k);
  }
  s.text().select(0, 0, 4);
  EXPECT_TRUE(s.text().saved());
}

TEST(WindowSave, FailuresShowTheirMessageAndLeaveTheWindowUnsaved) {
  QTemporaryDir dir;
  struct Case {
    QString path;
    const char* message;
  };
  const Case cases[] = {
      {dir.filePath(QStringLiteral("no/such/folder/x.txt")), "Cannot create file"},
      {QStringLiteral("/dev/full"), "I/O error while writing file"},
  };
  for (const Case& c : cases) {
    if (c.path == QStringLiteral("/dev/full") && !QFile::exists(c.path)) continue;
    Shell s;
    s.text().writeLine("a");
    s.text().writeLine("b");
    s.dialogs.saveName = c.path;
    EXPECT_FALSE(s.frame.save());
    ASSERT_EQ(s.dialogs.warnings.size(), 1u);
    EXPECT_EQ(s.dialogs.warnings[0], QString::fromLatin1(c.message));
    EXPECT_FALSE(s.text().saved());
    EXPECT_TRUE(s.frame.savedFileName().isEmpty());
    EXPECT_EQ(s.frame.ioSubWindow()->windowTitle(), QStringLiteral("Input/Output"));
    EXPECT_EQ(s.text().storedLineCount(), 2);
  }
}

TEST(WindowSave, NeverOverAFileTheDialogueHoldsOpen) {
  // Each of the dialogue's files, named as it was opened, spelled another way, through a symbolic
  // or a hard link, and after it was moved away: Save As is refused with a message naming the
  // file, and the file keeps every byte.
  struct Role {
    OpenFileRole role;
    const char* file;
    const char* said;
  };
  const Role roles[] = {{OpenFileRole::InputData, "study.dat", "input data file"},
                        {OpenFileRole::Store, "typed.dat", "store file"},
                        {OpenFileRole::Report, "report.out", "output file"}};
  struct Spelling {
    const char* name;
    std::function<QString(const QString& dir, const QString& held)> target;
  };
  const Spelling spellings[] = {
      {"as opened", [](const QString&, const QString& held) { return held; }},
      {"another spelling",
       [](const QString& dir, const QString& held) {
         return dir + QStringLiteral("/./") + QFileInfo(held).fileName();
       }},
      {"symbolic link",
       [](const QString& dir, const QString& held) {
         const QString link = dir + QStringLiteral("/soft.txt");
         EXPECT_TRUE(QFile::link(held, link));
         return link;
       }},
      {"hard link",
       [](const QString& dir, const QString& held) {
         const QString link = dir + QStringLiteral("/hard.txt");
         EXPECT_EQ(::link(QFile::encodeName(held).constData(), QFile::encodeName(link).constData()), 0);
         return link;
       }},
      {"moved away",
       [](const QString& dir, const QString& held) {
         const QString moved = dir + QStringLiteral("/moved.txt");
         EXPECT_TRUE(QFile::rename(held, moved));
         return moved;
       }},
  };
  const FixedClock clock(2024, 3, 5, 9, 30, 0);
  for (const Role& r : roles) {
    for (const Spelling& sp : spellings) {
      SCOPED_TRACE(std::string(r.said) + ", " + sp.name);
      QTemporaryDir dir;
      ASSERT_TRUE(dir.isValid());
      const QString held = dir.filePath(QString::fromLatin1(r.file));
      Shell s;
      WindowConsole console(s.frame);
      Session session(console, clock, "t");
      const QByteArray kept("held line\r\n");
      if (r.role == OpenFileRole::InputData) {
        QFile f(held);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kept);
        f.close();
        session.in = std::fopen(QFile::encodeName(held).constData(), "rb");
        ASSERT_NE(session.in, nullptr);
        session.inPath = held.toStdString();
      } else {
        OutFile& out = r.role == OpenFileRole::Store ? session.store : session.report;
        ASSERT_TRUE(out.create(held.toStdString(), false));
        out.writeLine("held line");
      }
      const QString target = sp.target(dir.path(), held);
      s.text().writeLine("window text");
      s.dialogs.saveName = target;
      s.frame.action(kMenuSaveAs)->trigger();
      ASSERT_EQ(s.dialogs.warnings.size(), 1u);
      EXPECT_TRUE(s.dialogs.warnings[0].contains(target)) << s.dialogs.warnings[0].toStdString();
      EXPECT_TRUE(s.dialogs.warnings[0].contains(QString::fromLatin1(r.said)))
          << s.dialogs.warnings[0].toStdString();
      EXPECT_EQ(readAll(target), kept);
      EXPECT_FALSE(s.text().saved());
      EXPECT_TRUE(s.frame.savedFileName().isEmpty());

      // Once the dialogue has closed it, the file may be saved over.
      session.closeAll();
      s.frame.action(kMenuSaveAs)->trigger();
      EXPECT_EQ(s.dialogs.warnings.size(), 1u);
      EXPECT_EQ(readAll(target), QByteArray("window text\r\n"));
    }
  }

  // Save with the name of an earlier save that the dialogue has since chosen as its store file.
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("window.txt"));
  Shell s;
  WindowConsole console(s.frame);
  Session session(console, clock, "t");
  s.text().writeLine("first");
  s.dialogs.saveName = path;
  ASSERT_TRUE(s.frame.save());
  ASSERT_TRUE(session.store.create(path.toStdString(), false));
  session.store.writeLine("case line");
  s.text().writeLine("second");
  EXPECT_FALSE(s.frame.save());
  ASSERT_EQ(s.dialogs.warnings.size(), 1u);
  EXPECT_TRUE(s.dialogs.warnings[0].contains(path));
  EXPECT_EQ(readAll(path), QByteArray("case line\r\n"));
}

// File > Export Results never writes a table over a file the dialogue holds open: a message
// names it, and no table is written.
TEST(WindowSave, ExportNeverOverAFileTheDialogueHoldsOpen) {
  const FixedClock clock(2024, 3, 5, 9, 30, 0);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString held = dir.filePath(QStringLiteral("run-anova.csv"));
  Shell s;
  WindowConsole console(s.frame);
  Session session(console, clock, "t");
  ASSERT_TRUE(session.report.create(held.toStdString(), false));
  session.report.writeLine("held line");
  DatasetResults d;
  d.dataset = 1;
  d.readers = {"R"};
  d.treatments = {{1, "A", 1}};
  s.frame.datasetFinished(d);

  s.dialogs.saveName = dir.filePath(QStringLiteral("run.csv"));
  s.frame.action(kMenuExportResults)->trigger();
  ASSERT_EQ(s.dialogs.warnings.size(), 1u);
  EXPECT_TRUE(s.dialogs.warnings[0].contains(QDir::toNativeSeparators(held)))
      << s.dialogs.warnings[0].toStdString();
  EXPECT_TRUE(s.dialogs.warnings[0].contains(QStringLiteral("output file")));
  EXPECT_EQ(readAll(held), QByteArray("held line\r\n"));
  EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("run-fits.csv"))));

  // Once the dialogue has closed it, the tables are written.
  session.closeAll();
  EXPECT_TRUE(s.frame.exportResults());
  EXPECT_EQ(s.dialogs.warnings.size(), 1u);
  EXPECT_TRUE(readAll(held).startsWith("dataset,source,"));
}

// Pages of a PDF file written by Qt: one "/Type /Page" object per page.
int pdfPages(const QString& path) {
  const QByteArray pdf = readAll(path);
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
  return static_cast<int>(QString::fromLatin1(pdf).count(page));
}

TEST(WindowPrint, AllLinesOrThoseOfAPageRangeGoToThePrinter) {
  QTemporaryDir dir;
  Shell s;
  const int n = 250;
  for (int i = 1; i <= n; ++i) s.text().writeLine("printed line " + std::to_string(i));
  const QString all = dir.filePath(QStringLiteral("all.pdf"));
  s.dialogs.printTo = all;
  s.frame.action(kMenuPrint)->trigger();
  EXPECT_EQ(s.dialogs.printMin, 1);
  EXPECT_EQ(s.dialogs.printMax, 32767);
  const PrintReport whole = s.frame.lastPrint();
  const int lpp = whole.linesPerPage;
  // A page of a common paper size in a screen font holds a few dozen lines.
  ASSERT_GT(lpp, 20);
  ASSERT_LT(lpp, n / 2);
  EXPECT_EQ(whole.firstLine, 0);
  EXPECT_EQ(whole.linesPrinted, n);
  EXPECT_EQ(whole.pages, (n + lpp - 1) / lpp);
  EXPECT_EQ(pdfPages(all), whole.pages);
  EXPECT_FALSE(whole.cancelled);

  struct Case {
    int from;
    int to;
    int first;  // 1-based line numbers, worked out from lines-per-page
    int last;
  };
  const int lastPage = (n + lpp - 1) / lpp;
  const Case cases[] = {
      {1, 1, 1, lpp},
      {2, 3, lpp + 1, 3 * lpp},
      {2, 500, lpp + 1, n},  // a range past the end stops at the last line
      {lastPage, lastPage, (lastPage - 1) * lpp + 1, n},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "pages " << c.from << "-" << c.to);
    const QString file = dir.filePath(QStringLiteral("range-%1-%2.pdf").arg(c.from).arg(c.to));
    s.dialogs.printTo = file;
    s.dialogs.pages = std::make_pair(c.from, c.to);
    s.frame.print();
    const PrintReport r = s.frame.lastPrint();
    EXPECT_EQ(r.linesPerPage, lpp);
    EXPECT_EQ(r.firstLine + 1, c.first);
    EXPECT_EQ(r.linesPrinted, c.last - c.first + 1);
    const int pages = (c.last - c.first + 1 + lpp - 1) / lpp;
    EXPECT_EQ(r.pages, pages);
    EXPECT_EQ(pdfPages(file), pages);
  }
  // A range that starts after the last line prints nothing at all.
  const QString none = dir.filePath(QStringLiteral("none.pdf"));
  s.dialogs.printTo = none;
  s.dialogs.pages = std::make_pair(lastPage + 1, lastPage + 5);
  s.frame.print();
  EXPECT_EQ(s.frame.lastPrint().linesPrinted, 0);
  EXPECT_FALSE(QFile::exists(none));
  EXPECT_TRUE(s.frame.isEnabled());
}

TEST(WindowPrint, TheFrameIsDisabledWhilePrintingAndCancelStopsIt) {
  QTemporaryDir dir;
  Shell s;
  for (int i = 1; i <= 3000; ++i) s.text().writeLine("line " + std::to_string(i));
  s.dialogs.printTo = dir.filePath(QStringLiteral("cancel.pdf"));
  bool frameEnabled = true;
  bool boxShown = false;
  s.dialogs.onPrint = [&] {
    QTimer::singleShot(0, [&] {
      frameEnabled = s.frame.isEnabled();
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("printingBox") && w->isVisible()) {
          boxShown = true;
          auto* cancel = w->findChild<QPushButton*>(QStringLiteral("printingCancel"));
          if (cancel != nullptr) QTest::mouseClick(cancel, Qt::LeftButton);
        }
      }
    });
  };
  s.frame.print();
  EXPECT_TRUE(boxShown);
  EXPECT_FALSE(frameEnabled);
  EXPECT_TRUE(s.frame.lastPrint().cancelled);
  EXPECT_LT(s.frame.lastPrint().linesPrinted, 3000);
  EXPECT_TRUE(s.frame.isEnabled());
  EXPECT_FALSE(s.frame.isPrinting());
}

// Runs `work` with the current folder set to `dir`, then goes back.
void inFolder(const QString& dir, const std::function<void()>& work) {
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir));
  work();
  QDir::setCurrent(before);
}

TEST(WindowPrint, PrintingToAFileOffersTheProgramNameInTheCurrentFolder) {
  // Whatever the frame's title says: a maximised child adds its own title to it, and after a
  // save that is the saved file's path.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  inFolder(dir.path(), [&] {
    Shell s;
    s.text().writeLine("x");
    s.dialogs.saveName = dir.filePath(QStringLiteral("sub/../window.txt"));
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    ASSERT_TRUE(s.frame.save());
    clickTitleBarButton(s.frame.ioSubWindow(), QStyle::SC_TitleBarMaxButton);
    ASSERT_TRUE(s.frame.ioSubWindow()->isMaximized());
    ASSERT_TRUE(s.frame.windowTitle().contains(QStringLiteral("sub/../window.txt")));
    s.frame.action(kMenuPrint)->trigger();
    ASSERT_EQ(s.dialogs.printDialogs, 1);
    EXPECT_EQ(s.dialogs.printDefaultFile,
              QDir(dir.path()).absoluteFilePath(QStringLiteral("quelbro-win.pdf")));
  });
}

TEST(WindowPrint, ThePrintDialogAcceptedAsOfferedWritesTheProgramNamedFile) {
  // The real print dialog: Print to File as it comes, accepted with Enter.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  inFolder(dir.path(), [&] {
    QtShellDialogs dialogs;
    MainFrame frame(dialogs, QStringLiteral("quelbro-win"));
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    for (int i = 1; i <= 5; ++i) frame.text().writeLine("line " + std::to_string(i));
    clickTitleBarButton(frame.ioSubWindow(), QStyle::SC_TitleBarMaxButton);
    QString offered;
    QStringList complaints;
    QTimer poll;
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      ++ticks;
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {  // the dialog did not accept its file
        complaints << box->text();
        box->reject();
        return;
      }
      auto* print = qobject_cast<QPrintDialog*>(modal);
      if (print == nullptr) return;
      if (ticks > 200) {  // bounded: give up rather than wait
        print->reject();
        return;
      }
      if (!complaints.isEmpty()) {
        print->reject();
        return;
      }
      auto* printers = print->findChild<QComboBox*>(QStringLiteral("printers"));
      auto* name = print->findChild<QLineEdit*>(QStringLiteral("filename"));
      if (printers == nullptr || name == nullptr) {
        print->reject();
        return;
      }
      // A machine with printers of its own offers its default printer first; this test prints to a file.
      if (printers->currentIndex() != printers->count() - 1) printers->setCurrentIndex(printers->count() - 1);
      if (!offered.isNull()) return;  // Enter was pressed; a message box may come
      offered = name->text();
      // Pressed from its own event: a message box it brings runs its own loop, and this poll
      // must go on meanwhile.
      QTimer::singleShot(0, print, [print] { QTest::keyClick(print, Qt::Key_Return); });
    });
    poll.start(10);
    frame.action(kMenuPrint)->trigger();
    poll.stop();
    EXPECT_TRUE(complaints.isEmpty()) << complaints.join(QStringLiteral(" | ")).toStdString();
    const QString expected = QDir(dir.path()).absoluteFilePath(QStringLiteral("quelbro-win.pdf"));
    EXPECT_EQ(offered, expected);
    EXPECT_EQ(frame.lastPrint().linesPrinted, 5);
    EXPECT_EQ(pdfPages(expected), 1);
    frame.text().markSaved();
    frame.close();
  });
}

TEST(WindowPrint, CancelledPrintDialogPrintsNothing) {
  Shell s;
  s.text().writeLine("x");
  s.frame.print();
  EXPECT_EQ(s.dialogs.printDialogs, 1);
  EXPECT_EQ(s.frame.lastPrint().linesPrinted, 0);
}

TEST(WindowSave, ANameFilterOfOneExtensionGivesABareNameThatExtension) {
  struct Row {
    const char* filter;
    const char* suffix;
  };
  const Row rows[] = {
      {"SVG Image (*.svg)", "svg"}, {"PNG Image (*.png)", "png"},  {"CSV Tables (*.csv)", "csv"},
      {"All Files (*)", "txt"},     {"Text (*.txt *.out)", "txt"}, {"Everything", "txt"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(suffixOfNameFilter(QString::fromLatin1(r.filter), QStringLiteral("txt")),
              QString::fromLatin1(r.suffix))
        << r.filter;
}

TEST(WindowSave, TheRealSaveDialogGivesABareNameTheExtensionOfTheChosenType) {
  // The figure's dialog: SVG Image chosen, "curves" typed, Save.
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QtShellDialogs dialogs;
  QTimer poll;
  int ticks = 0;
  bool typed = false;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (++ticks > 200) {  // bounded: give up rather than wait
      if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->reject();
      return;
    }
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || typed) return;
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (types == nullptr || name == nullptr) {
      dialog->reject();
      return;
    }
    typed = true;
    dialog->setDirectory(dir.path());
    types->setCurrentIndex(1);
    // What a choice with the mouse signals.
    emit types->activated(1);
    emit types->textActivated(types->itemText(1));
    name->setText(QStringLiteral("curves"));
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  poll.start(25);
  const auto chosen = dialogs.saveFileName(nullptr, plotSaveFilters(), QString::fromLatin1(kPlotSaveSuffix));
  poll.stop();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, QDir(dir.path()).filePath(QStringLiteral("curves.svg")));
}

}  // namespace
}  // namespace quelbro::testing
