// The largest study through the window, from its file to the finished report: the time it takes
// is printed (a measurement, not a pass mark), and the window's text and the report file are
// compared with what the console program shows and writes for the same study.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/fields.h"
#include "dialogue/program.h"
#include "window_fixture.h"

namespace quelbro::testing {
namespace {

// A continuous-result study in the case data file layout: `readers` readers, `treatments`
// treatments, `neg` + `pos` cases, binormal results sharing a per-case difficulty.
void writeStudy(const std::string& path, int readers, int treatments, int neg, int pos) {
  std::ofstream out(path, std::ios::binary);
  std::uint64_t state = 20240305;
  auto uniform = [&state] {  // xorshift64*, in (0, 1)
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return (static_cast<double>((state * 2685821657736338717ULL) >> 11) + 0.5) / 9007199254740992.0;
  };
  auto normal = [&uniform] {
    return std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
  };
  std::vector<double> difficulty(static_cast<std::size_t>(neg + pos));
  for (double& d : difficulty) d = normal();
  char buf[64];
  out << "Largest continuous study for the window\r\n";
  for (int r = 1; r <= readers; ++r) {
    std::snprintf(buf, sizeof buf, " Observer %-11d\r\n", r);
    out << buf;
    if (r == 1) {
      out << ' ';
      for (int t = 1; t <= treatments; ++t) out << "\"Method " << t << "    \"\t";
      out << "\r\n ";
      for (int t = 1; t <= treatments; ++t) out << "L ";
      out << "\r\n";
    }
    for (int positive = 0; positive < 2; ++positive) {
      const int n = positive ? pos : neg;
      for (int c = 0; c < n; ++c) {
        const double d = difficulty[static_cast<std::size_t>(positive ? neg + c : c)];
        for (int t = 1; t <= treatments; ++t) {
          const double mean = positive ? 1.0 + 0.1 * t + 0.03 * r : 0.0;
          std::snprintf(buf, sizeof buf, " %.5E\t", mean + 0.5 * d + 0.85 * normal());
          out << buf;
        }
        out << "\r\n";
      }
      out << "******\r\n";
    }
  }
  out << " #\r\n";
}

// The window's console as the dialogue sees it, keeping every line written and every answer read
// (the window itself keeps only the newest 64 KB).
class TranscriptConsole : public TextConsole {
 public:
  explicit TranscriptConsole(WindowConsole& inner) : inner_(inner) {}
  void writeLine(std::string_view line) override {
    lines.emplace_back(line);
    inner_.writeLine(line);
  }
  void setOpenFiles(const OpenFileList* files) override { inner_.setOpenFiles(files); }
  bool readLine(std::string& line) override {
    const bool ok = inner_.readLine(line);
    if (ok) lines.push_back(line);
    return ok;
  }
  std::vector<std::string> lines;

 private:
  WindowConsole& inner_;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

std::string readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll().toStdString();
}

// The console program's title, padded as the banner pads it, made the window program's.
std::string asWindowTitle(std::string s) {
  const std::string dos = padTo("QUELBRO (DOS version 1.0 beta):", 60);
  const std::string win = padTo("QUELBRO (Windows version 1.0 beta):", 60);
  for (std::size_t at = s.find(dos); at != std::string::npos; at = s.find(dos, at + win.size())) {
    s.replace(at, dos.size(), win);
  }
  return s;
}

// Removes the one place where `run` stands in `lines` as consecutive lines; false when absent.
bool removeRun(std::vector<std::string>& lines, const std::vector<std::string>& run) {
  for (std::size_t i = 0; i + run.size() <= lines.size(); ++i) {
    if (std::equal(run.begin(), run.end(), lines.begin() + static_cast<std::ptrdiff_t>(i))) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i),
                  lines.begin() + static_cast<std::ptrdiff_t>(i + run.size()));
      return true;
    }
  }
  return false;
}

TEST(WindowSpeed, TheLargestStudyRunsToItsReportAndMatchesTheConsoleProgram) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // QUELBRO_WINDOW_STUDY names another study to run instead (for instance one of the benchmark
  // generator's); it is copied in as study.dat, so both programs read it by that name.
  const QString study = dir.filePath(QStringLiteral("study.dat"));
  const QString given = qEnvironmentVariable("QUELBRO_WINDOW_STUDY");
  if (given.isEmpty()) {
    writeStudy(study.toStdString(), 10, 5, 2000, 2000);
  } else {
    ASSERT_TRUE(QFile::copy(given, study)) << given.toStdString();
  }
  const FixedClock clock(2024, 3, 5, 9, 30, 0);

  // The window program: Y and the open dialog for the input file, Y and the save dialog for the
  // report, then Q when the opening question comes again.
  Shell s;
  WindowConsole window(s.frame);
  TranscriptConsole console(window);
  Typist typist(s, window, {"y", "y", "q"});
  PaintCounter counter(s.io()->viewport());
  ListedChooser chooser({study.toStdString(), dir.filePath(QStringLiteral("win.out")).toStdString()});
  bool returned = false;
  qint64 ms = -1;
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(s.frame.startProgram([&] {
    runWindowedProgram(console, clock, chooser);
    ms = timer.elapsed();
    returned = true;
  }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return returned; }, 120000));
  EXPECT_TRUE(typist.done());
  const std::vector<std::string> shown = s.text().storedLines();
  const long long written = static_cast<long long>(shown.size()) + s.text().droppedLines();
  std::printf("[ MEASURED ] study through the window to its report: %lld ms, %lld lines, %d paints\n",
              static_cast<long long>(ms), written, counter.paints);
  // The first readers' fits left the window; the status bar says where they are kept.
  EXPECT_GT(s.text().droppedLines(), 0);
  EXPECT_EQ(
      s.frame.droppedLinesNote(),
      QStringLiteral("Earlier lines were dropped from the window; the output file keeps the whole report"));

  // The console program on the same study, typed names given from the study's folder.
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  ScriptedConsole con({"y", "study.dat", "y", "con.out", "q"}, /*echo=*/true);
  runConsoleProgram(con, clock);
  QDir::setCurrent(before);

  // The report files agree byte for byte once the titles agree.
  const std::string winReport = readFile(dir.filePath(QStringLiteral("win.out")));
  const std::string conReport = readFile(dir.filePath(QStringLiteral("con.out")));
  ASSERT_GT(conReport.size(), 100000u);
  EXPECT_TRUE(winReport == asWindowTitle(conReport)) << "the report files differ";

  // The screens agree but for the title and the console's typed-name prompts (the window asks
  // with dialogs); a typed answer shows as a line in both.
  std::vector<std::string> expected;
  for (const std::string& line : con.lines()) expected.push_back(asWindowTitle(line));
  ASSERT_TRUE(removeRun(expected, {" Enter input file name:", "study.dat"}));
  ASSERT_TRUE(
      removeRun(expected, {" enter output file name:",
                           "  (filename must take the form filename.extension, where filename is 1 to 8",
                           "  characters, extension is 1 to 3 characters, and all characters must be",
                           "  alphanumeric. no blanks are allowed in the filename.)", "con.out"}));
  EXPECT_TRUE(console.lines == expected) << "the dialogue's lines differ from the console program's";
  // Then the frame's own last line.
  expected.push_back(kDialogueEnded);
  // The window keeps the newest 64 KB of them; every line went through it.
  EXPECT_EQ(written, static_cast<long long>(expected.size()));
  ASSERT_LE(shown.size(), expected.size());
  const std::vector<std::string> tail(expected.end() - static_cast<std::ptrdiff_t>(shown.size()),
                                      expected.end());
  EXPECT_TRUE(shown == tail) << "the window's text differs from the console program's";
  for (std::size_t i = 0; i < shown.size() && i < tail.size(); ++i) {
    if (shown[i] != tail[i]) {
      ADD_FAILURE() << "first difference at kept line " << i << ":\n window: \"" << shown[i]
                    << "\"\n console: \"" << tail[i] << '"';
      break;
    }
  }
  s.frame.close();
}

TEST(WindowSpeed, ALineWrittenIsDrawnLaterNotWhileItIsWritten) {
  Shell s;
  WindowConsole console(s.frame);
  QCoreApplication::processEvents();
  PaintCounter counter(s.io()->viewport());
  // Bringing the window up to date only asks for a repaint...
  s.text().writeLine(" first");
  s.io()->refresh();
  EXPECT_EQ(counter.paints, 0);
  // ...which happens when the window next handles its events, once for any number of lines.
  QTest::qWait(30);
  EXPECT_EQ(counter.paints, 1);
  // Writing lines services the window at most once per servicing interval (10 ms), however
  // many lines come in it: a burst of lines gives a handful of paints, not one per line.
  const int before = counter.paints;
  QElapsedTimer t;
  t.start();
  const int lines = 3000;
  for (int i = 0; i < lines; ++i) console.writeLine(" another line");
  const qint64 ms = t.elapsed();
  EXPECT_LE(counter.paints - before, 2 + ms / 10) << lines << " lines in " << ms << " ms";
  EXPECT_EQ(s.text().line(s.text().currentLine() - 1), " another line");
}

}  // namespace
}  // namespace quelbro::testing
