// Closing the frame in the middle of typed data entry: every case line the dialogue accepted is
// in the store file, in the case data file layout, and the program ends with its files closed.
#include <dirent.h>
#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <climits>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "console/clock.h"
#include "dialogue/program.h"
#include "window_fixture.h"

namespace quelbro::testing {
namespace {

// The window's console as the dialogue sees it, noting what every read returned.
class WatchedConsole : public TextConsole {
 public:
  explicit WatchedConsole(WindowConsole& inner) : inner_(inner) {}
  void writeLine(std::string_view line) override { inner_.writeLine(line); }
  void setOpenFiles(const OpenFileList* files) override { inner_.setOpenFiles(files); }
  bool readLine(std::string& line) override {
    const bool ok = inner_.readLine(line);
    results.push_back(ok);
    return ok;
  }
  std::vector<bool> results;

 private:
  WindowConsole& inner_;
};

// Paths of this process's open file descriptors.
std::vector<std::string> openPaths() {
  std::vector<std::string> out;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return out;
  for (int guard = 0; guard < 100000; ++guard) {
    const dirent* e = readdir(d);
    if (e == nullptr) break;
    if (e->d_name[0] == '.') continue;
    char target[PATH_MAX];
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0) out.emplace_back(target, static_cast<std::size_t>(n));
  }
  closedir(d);
  return out;
}

// Types each answer with keys when a read is pending; "<close>" closes the frame by its close
// box, "<exit>" chooses File Exit, "<close child>" clicks the close box of the Input/Output child,
// "<paste>text" pastes the text with Ctrl+V, "<save as>" chooses File Save As.
class Keyboard {
 public:
  Keyboard(Shell& shell, WindowConsole& console, std::vector<std::string> script)
      : shell_(shell), console_(console), script_(script.begin(), script.end()) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start(1);
  }
  bool done() const { return script_.empty(); }
  // The files open when the frame was closed.
  std::vector<std::string> openAtClose;

 private:
  void tick() {
    if (!console_.isReading() || script_.empty()) return;
    const std::string a = script_.front();
    script_.pop_front();
    if (a == "<close>" || a == "<exit>" || a == "<close child>") {
      openAtClose = openPaths();
      if (a == "<close>")
        shell_.frame.close();
      else if (a == "<exit>")
        shell_.frame.action(kMenuExit)->trigger();
      else
        clickTitleBarButton(shell_.frame.ioSubWindow(), QStyle::SC_TitleBarCloseButton);
    } else if (a == "<save as>") {
      shell_.frame.action(kMenuSaveAs)->trigger();
    } else if (a.rfind("<paste>", 0) == 0) {
      pasteWithKeys(shell_.io(), QString::fromStdString(a.substr(7)));
    } else {
      QTest::keyClicks(shell_.io(), QString::fromStdString(a));
      QTest::keyClick(shell_.io(), Qt::Key_Return);
    }
  }
  Shell& shell_;
  WindowConsole& console_;
  std::deque<std::string> script_;
  QTimer timer_;
};

std::string padded(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

// A stored case line with two treatments: two 13-column fields, each followed by a tab, then the
// first 64 - 26 = 38 columns of the rest of the typed line.
std::string caseLine(const char* first, const char* second, const char* rest = "") {
  std::string s = first;
  s += '\t';
  s += second;
  s += '\t';
  s += padded(rest, 38);
  return s;
}

// A list line: one blank, then the text.
std::string listLine(const std::string& text) {
  std::string s(1, ' ');
  s += text;
  return s;
}

// The lines every case below stores before its first case: description, first reader, the
// treatment header (one blank, then 15 columns per treatment in an 80-column text) and the
// direction line (one blank, then the letters in columns 7 and 20 of 79, each with a tab).
std::vector<std::string> storedOpening() {
  return {padded("A typed study", 80), padded(" Reader One", 21),
          listLine(padded("\"CT          \"\t\"MRI         \"\t", 80)),
          listLine(padded("      L\t           S\t", 79))};
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(WindowClose, ClosingDuringTypedEntryKeepsEveryAcceptedLineAndEndsCleanly) {
  // Opening answers: no input file; Y to the store file and to the report file (both from the
  // save dialog); the study: description, 2 readers, the first reader's name, 2 treatments CT
  // and MRI, directions L and S, 3 negative and 3 positive cases.
  const std::vector<std::string> opening = {"n", "y",  "y",   "A typed study", "2", "Reader One",
                                            "2", "CT", "MRI", "L S",           "3", "3"};
  const std::vector<std::string> reader1 = {"1.5 2", "3 4 comment here", "bad 1", "2.25e1 -1", "*", "7 8",
                                            "9 10",  "0.125 5e-3",       "*"};
  const std::vector<std::string> reader1Stored = {
      caseLine("  0.15000E+01", "  0.20000E+01"), caseLine("  0.30000E+01", "  0.40000E+01", " comment here"),
      caseLine("  0.22500E+02", " -0.10000E+01"), "******",
      caseLine("  0.70000E+01", "  0.80000E+01"), caseLine("  0.90000E+01", "  0.10000E+02"),
      caseLine("  0.12500E+00", "  0.50000E-02"), "******"};
  struct Case {
    const char* name;
    std::vector<std::string> script;  // after the opening answers; ends with how the frame closes
    std::vector<std::string> stored;  // after the opening lines
  };
  const Case cases[] = {
      {"at the direction question", {"<close>"}, {}},
      {"in the negative block, after a refused line",
       {"1.5 2", "3 4 comment here", "bad 1", "<close>"},
       {reader1Stored[0], reader1Stored[1]}},
      {"in the positive block, by Exit",
       {"1.5 2", "3 4 comment here", "bad 1", "2.25e1 -1", "*", "7 8", "<exit>"},
       {reader1Stored.begin(), reader1Stored.begin() + 5}},
      {"in the positive block, by the close box of the Input/Output child",
       {"1.5 2", "3 4 comment here", "bad 1", "2.25e1 -1", "*", "7 8", "<close child>"},
       {reader1Stored.begin(), reader1Stored.begin() + 5}},
      {"after both blocks pasted from a spreadsheet, the last line typed",
       {"<paste>1.5\t2\r\n3\t4 comment here\r\nbad\t1\r\n2.25e1\t-1\r\n*\r\n7\t8\r\n9\t10\r\n0.125\t5e-3", "",
        "*", "<close>"},
       // The reader's cases are complete: when closing ends the input, the dataset is closed too.
       concat(reader1Stored, {" #"})},
      {"after Save As chose the store file, refused",
       {"1.5 2", "<save as>", "3 4 comment here", "<close>"},
       {reader1Stored[0], reader1Stored[1]}},
      {"after a case line with too few results",
       {"1.5 2", "3 4 comment here", "bad 1", "2.25e1 -1", "*", "7 8", "9", "<close>"},
       {reader1Stored.begin(), reader1Stored.begin() + 5}},
      {"in the second reader's negative block",
       concat(reader1, {"Reader Two", "11 12", "-3E2 .5", "<close>"}),
       concat(reader1Stored, {padded(" Reader Two", 21), caseLine("  0.11000E+02", "  0.12000E+02"),
                              caseLine(" -0.30000E+03", "  0.50000E+00")})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string store = dir.filePath(QStringLiteral("typed.dat")).toStdString();
    const std::string report = dir.filePath(QStringLiteral("typed.out")).toStdString();
    const std::vector<std::string> script = concat(opening, c.script);

    Shell s;
    s.dialogs.saveAnswer = ShellDialogs::Answer::No;
    s.dialogs.saveName = QString::fromStdString(store);  // Save As picks the store file
    WindowConsole window(s.frame);
    WatchedConsole console(window);
    Keyboard keyboard(s, window, script);
    ListedChooser chooser({store, report});
    const FixedClock clock(2024, 3, 5, 9, 30, 0);
    bool returned = false;
    bool finished = false;
    QObject::connect(&s.frame, &MainFrame::finished, [&] { finished = true; });
    ASSERT_TRUE(s.frame.startProgram([&] {
      runWindowedProgram(console, clock, chooser);
      returned = true;
    }));
    // Should the dialogue ask for more than the script answers, closing the frame ends it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return returned || keyboard.done(); }, 60000));
    if (!QTest::qWaitFor([&] { return returned; }, 5000)) {
      ADD_FAILURE() << "the program did not end after the frame was closed";
      s.frame.close();
      ASSERT_TRUE(QTest::qWaitFor([&] { return returned; }, 30000));
    }

    // Saving over the store file was refused with a message naming it.
    const auto saves = std::count(c.script.begin(), c.script.end(), std::string("<save as>"));
    EXPECT_EQ(s.dialogs.warnings.size(), static_cast<std::size_t>(saves));
    for (const QString& w : s.dialogs.warnings) EXPECT_TRUE(w.contains(QString::fromStdString(store)));

    // The save question was asked once, answered No; the program ran to its end.
    ASSERT_EQ(s.dialogs.questions.size(), 1u);
    EXPECT_EQ(s.dialogs.questions[0], QStringLiteral("Save the Input/Output window?"));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(s.frame.isVisible());
    ASSERT_FALSE(console.results.empty());
    EXPECT_FALSE(console.results.back()) << "the last read did not report the end of input";
    EXPECT_EQ(std::count(console.results.begin(), console.results.end(), false), 1)
        << "the dialogue read on after the end of input";

    // The store and report files were open when the frame was closed, and are closed now.
    const std::string storePath = std::filesystem::canonical(store).string();
    const std::string reportPath = std::filesystem::canonical(report).string();
    const auto isOpen = [](const std::vector<std::string>& open, const std::string& p) {
      return std::find(open.begin(), open.end(), p) != open.end();
    };
    EXPECT_TRUE(isOpen(keyboard.openAtClose, storePath));
    EXPECT_TRUE(isOpen(keyboard.openAtClose, reportPath));
    EXPECT_FALSE(isOpen(openPaths(), storePath));
    EXPECT_FALSE(isOpen(openPaths(), reportPath));

    // The store file holds exactly the accepted lines, each ending with CR LF.
    QFile f(QString::fromStdString(store));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const std::string got = f.readAll().toStdString();
    std::string want;
    for (const std::string& line : concat(storedOpening(), c.stored)) {
      want += line;
      want += "\r\n";
    }
    EXPECT_EQ(got, want);
  }
}

}  // namespace
}  // namespace quelbro::testing
