// The ROC Curves child: opened beside the Input/Output child without taking the keyboard, listed
// in the Window menu, curves painted where the formula puts them at any size, saved and printed.
#include "console/window/roc_plot_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMdiArea>
#include <QMenu>
#include <cmath>

#include "console/clock.h"
#include "results/plot_study.h"
#include "results/svg_writer.h"
#include "window_fixture.h"

namespace quelbro::testing {
namespace {

constexpr double kA = 1.2, kB = 0.8;

// One reader, one treatment, no operating points: the only blue in the panel is the curve.
RocFigure knownFigure() {
  DatasetResults s = study("Known curve", {"Reader"}, {"Film"});
  s.inputFile = "known.dat";
  s.fits = {fitted(1, 1, kA, kB)};
  return layoutRocFigure(makeRocPlot(s));
}

bool blueish(const QImage& img, int x, int y) {
  if (!img.valid(x, y)) return false;
  const QColor c = img.pixelColor(x, y);
  return c.blue() > 120 && c.red() < 110 && c.blue() > c.red() + 60;
}

bool blueNear(const QImage& img, int x, int y, int reach) {
  for (int dy = -reach; dy <= reach; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (blueish(img, x + dx, y + dy)) return true;
  return false;
}

// Checks the grabbed widget: curve pixels on TPF = Phi(a + b Phi^-1(FPF)), none mirrored
// below the chance line, with the figure scaled and centred as the window draws it.
void expectCurveIn(const QImage& img, const RocFigure& fig) {
  const double scale = std::min(img.width() / fig.width, img.height() / fig.height);
  const double ox = (img.width() - fig.width * scale) / 2.0, oy = (img.height() - fig.height * scale) / 2.0;
  const FigShape* frame = nullptr;
  for (const FigShape& sh : fig.shapes)
    if (sh.role == "frame" && frame == nullptr) frame = &sh;
  ASSERT_NE(frame, nullptr);
  const double x0 = frame->pts[0].x, y0 = frame->pts[0].y, side = frame->pts[1].x - x0;
  const int reach = std::max(2, static_cast<int>(std::ceil(2.0 * scale)));
  for (double fpf = 0.05; fpf < 0.96; fpf += 0.05) {
    const double tpf = Phi(kA + kB * PhiInverse(fpf));
    const int x = static_cast<int>(ox + (x0 + fpf * side) * scale);
    const int y = static_cast<int>(oy + (y0 + (1.0 - tpf) * side) * scale);
    EXPECT_TRUE(blueNear(img, x, y, reach)) << "no curve at FPF " << fpf << " (" << x << ", " << y << ")";
    const int ym = static_cast<int>(oy + (y0 + tpf * side) * scale);
    EXPECT_FALSE(blueNear(img, x, ym, reach)) << "stray blue at FPF " << fpf;
  }
}

TEST(RocPlotChild, OpensBesideTheTextWithoutTakingTheKeyboard) {
  Shell s;
  s.frame.resize(1500, 700);
  QCoreApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), s.io());
  QMdiSubWindow* sub = openRocPlotChild(s.frame, s.dialogs, knownFigure(), 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(sub->windowTitle(), QStringLiteral("ROC Curves"));
  EXPECT_EQ(QApplication::focusWidget(), s.io());
  EXPECT_EQ(s.frame.mdiArea()->activeSubWindow(), s.frame.ioSubWindow());
  EXPECT_TRUE(sub->isVisible());
  EXPECT_GT(sub->geometry().left(), s.frame.ioSubWindow()->geometry().right());  // beside, not over it
  EXPECT_LE(sub->geometry().right(), s.frame.mdiArea()->viewport()->width());
  // Typing still goes to the Input/Output child.
  s.type("abc");
  EXPECT_EQ(s.current(), "abc");

  // A second dataset gets a child of its own; both are in the Window menu.
  QMdiSubWindow* second = openRocPlotChild(s.frame, s.dialogs, knownFigure(), 2);
  QCoreApplication::processEvents();
  EXPECT_EQ(second->windowTitle(), QStringLiteral("ROC Curves 2"));
  EXPECT_EQ(QApplication::focusWidget(), s.io());
  emit s.frame.windowMenu()->aboutToShow();
  QStringList items;
  for (QAction* a : s.frame.windowMenu()->actions()) items << a->text();
  EXPECT_TRUE(items.contains(QStringLiteral("&2 ROC Curves")))
      << items.join(QStringLiteral("|")).toStdString();
  EXPECT_TRUE(items.contains(QStringLiteral("&3 ROC Curves 2")))
      << items.join(QStringLiteral("|")).toStdString();
}

TEST(RocPlotChild, DrawsTheCurveWhereTheFormulaPutsItAtAnySize) {
  Shell s;
  QMdiSubWindow* sub = openRocPlotChild(s.frame, s.dialogs, knownFigure(), 1);
  auto* plot = qobject_cast<RocPlotWindow*>(sub->widget());
  ASSERT_NE(plot, nullptr);
  for (const QSize size : {QSize(420, 400), QSize(900, 700), QSize(300, 620)}) {
    sub->resize(size);
    QCoreApplication::processEvents();
    const QImage img = plot->grab().toImage();
    ASSERT_EQ(img.size(), plot->size());
    SCOPED_TRACE(::testing::Message() << "size " << img.width() << "x" << img.height());
    expectCurveIn(img, plot->figure());
  }
}

TEST(RocPlotChild, SavesPngAndSvgAndPrints) {
  Shell s;
  QTemporaryDir dir;
  QMdiSubWindow* sub = openRocPlotChild(s.frame, s.dialogs, knownFigure(), 1);
  auto* plot = qobject_cast<RocPlotWindow*>(sub->widget());

  // File > Save As on the active plot child offers the figure's formats.
  s.frame.mdiArea()->setActiveSubWindow(sub);
  s.dialogs.saveName = dir.filePath(QStringLiteral("fig.svg"));
  s.frame.action(kMenuSaveAs)->trigger();
  EXPECT_EQ(s.dialogs.lastFilters, plotSaveFilters());
  QFile svg(dir.filePath(QStringLiteral("fig.svg")));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_EQ(svg.readAll().toStdString(), svgDocument(plot->figure()));  // the writer of quelbro-con
  EXPECT_TRUE(s.text().saved() == false);                               // the text was not saved instead

  s.dialogs.saveName = dir.filePath(QStringLiteral("fig.png"));
  ASSERT_TRUE(plot->saveAs());
  QImage png(dir.filePath(QStringLiteral("fig.png")));
  ASSERT_FALSE(png.isNull());
  EXPECT_EQ(png.width(), qRound(plot->figure().width * 2.0));
  expectCurveIn(png, plot->figure());

  s.dialogs.saveName = dir.filePath(QStringLiteral("no/such/folder/fig.png"));
  EXPECT_FALSE(plot->saveAs());
  ASSERT_EQ(s.dialogs.warnings.size(), 1u);
  EXPECT_EQ(s.dialogs.warnings[0], QStringLiteral("Cannot create file"));

  s.dialogs.printTo = dir.filePath(QStringLiteral("fig.pdf"));
  s.frame.action(kMenuPrint)->trigger();
  EXPECT_EQ(s.dialogs.printDialogs, 1);
  EXPECT_EQ(s.dialogs.printMax, 1);
  QFile pdf(*s.dialogs.printTo);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
  EXPECT_EQ(s.frame.lastPrint().linesPrinted, 0);  // the text was not printed instead
}

TEST(RocPlotChild, TheSaveQuestionAtTheEndSavesTheTextEvenWithThePlotActive) {
  Shell s;
  QTemporaryDir dir;
  s.type("some typed text");
  s.key(Qt::Key_Return);
  QMdiSubWindow* sub = openRocPlotChild(s.frame, s.dialogs, knownFigure(), 1);
  s.frame.mdiArea()->setActiveSubWindow(sub);
  s.dialogs.saveAnswer = ShellDialogs::Answer::Yes;
  s.dialogs.saveName = dir.filePath(QStringLiteral("window.txt"));
  s.frame.close();
  EXPECT_TRUE(s.frame.isClosed());
  EXPECT_EQ(s.dialogs.lastFilters, windowSaveFilters());  // the text's dialog, not the figure's
  QFile saved(*s.dialogs.saveName);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().contains("some typed text"));
  EXPECT_TRUE(s.text().saved());
}

// Keeps a copy of every dataset's records and hands them on to the window.
class Recorder : public RunObserver {
 public:
  explicit Recorder(RunObserver& next) : next_(next) {}
  void datasetFinished(const DatasetResults& r) override {
    seen.push_back(r);
    next_.datasetFinished(r);
  }
  std::vector<DatasetResults> seen;

 private:
  RunObserver& next_;
};

TEST(RocPlotChild, OpensForEachDatasetTheProgramAnalyses) {
  const QString study = QDir(QCoreApplication::applicationDirPath())
                            .absoluteFilePath(QStringLiteral("../../examples/study.dat"));
  ASSERT_TRUE(QFileInfo::exists(study)) << study.toStdString();
  Shell s;
  WindowConsole console(s.frame);
  Typist typist(s, console, {"y", "n", "q"});
  ListedChooser chooser({study.toStdString()});
  FixedClock clock{2026, 12, 8, 10, 30, 0};
  RocPlotOpener opener(s.frame, s.dialogs);
  Recorder recorder(opener);
  bool returned = false;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] { s.frame.close(); });
  watchdog.start(20000);
  ASSERT_TRUE(s.frame.startProgram([&] {
    runWindowedProgram(console, clock, chooser, &recorder);
    returned = true;
  }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return returned; }, 30000));
  ASSERT_TRUE(watchdog.isActive()) << "the dialogue asked more than the script answered";
  ASSERT_EQ(recorder.seen.size(), 1u);

  std::vector<RocPlotWindow*> plots;
  for (QMdiSubWindow* sub : s.frame.mdiArea()->subWindowList())
    if (auto* p = qobject_cast<RocPlotWindow*>(sub->widget())) plots.push_back(p);
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_EQ(plots[0]->windowTitle(), QStringLiteral("ROC Curves"));
  // The keyboard stayed with the dialogue.
  EXPECT_EQ(QApplication::focusWidget(), s.io());
  EXPECT_EQ(s.frame.mdiArea()->activeSubWindow(), s.frame.ioSubWindow());

  // One curve per fitted reader and treatment, one average per treatment with a fitted reader.
  const DatasetResults& r = recorder.seen[0];
  std::size_t fittedFits = 0, curves = 0, averages = 0;
  for (const FitRecord& f : r.fits) fittedFits += f.status == FitStatus::Fitted ? 1 : 0;
  for (const FigShape& sh : plots[0]->figure().shapes) {
    curves += sh.role == "curve" ? 1 : 0;
    averages += sh.role == "average-curve" ? 1 : 0;
  }
  EXPECT_GT(fittedFits, 0u);
  EXPECT_EQ(curves, fittedFits);
  EXPECT_EQ(averages, static_cast<std::size_t>(r.treatmentCount()));
  EXPECT_NE(plots[0]->figure().title.find("study.dat"), std::string::npos);
}

}  // namespace
}  // namespace quelbro::testing
