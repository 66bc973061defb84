// The dialogue's console in the window: a session typed to its end, answers cut to the reader's
// buffer, closing while an answer is awaited, the exit question and the pacing timer.
#include <QApplication>
#include <QLabel>
#include <string>

#include "window_fixture.h"

namespace quelbro::testing {
namespace {

// A small dialogue: greets every name until Q or the end of input.
struct Greeter {
  void operator()(TextConsole& c) {
    c.writeLine(" GREETER\r\n");  // a line end on a written line is not shown
    for (int i = 0; i < 50; ++i) {
      c.writeLine(" Name? (Q to quit)");
      std::string a;
      if (!c.readLine(a)) {
        endedByInput = true;
        questionsWhenEnded = asked ? asked() : 0;
        return;
      }
      answers.push_back(a);
      if (a == "Q") break;
      std::string hello(" Hello, ");
      hello += a;
      c.writeLine(hello);
      c.writeLine("");
    }
    c.writeLine(" Bye");
  }
  std::vector<std::string> answers;
  bool endedByInput = false;
  std::size_t questionsWhenEnded = 0;
  std::function<std::size_t()> asked;
};

TEST(WindowSession, TypedSessionRunsToTheEndAndTheWindowShowsIt) {
  Shell s;
  WindowConsole console(s.frame);
  Greeter g;
  Typist typist(s, console, {"Ann", "  Bob Two ", "Q"});
  bool finished = false;
  QObject::connect(&s.frame, &MainFrame::finished, [&] { finished = true; });
  ASSERT_TRUE(s.frame.startProgram([&] { g(console); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !s.frame.programRunning() && typist.done(); }, 10000));
  QTest::qWait(20);
  EXPECT_FALSE(s.frame.programRunning());
  EXPECT_EQ(g.answers, (std::vector<std::string>{"Ann", "  Bob Two ", "Q"}));
  const std::vector<std::string> expected = {" GREETER",
                                             " Name? (Q to quit)",
                                             "Ann",
                                             " Hello, Ann",
                                             "",
                                             " Name? (Q to quit)",
                                             "  Bob Two ",
                                             " Hello,   Bob Two ",
                                             "",
                                             " Name? (Q to quit)",
                                             "Q",
                                             " Bye",
                                             kDialogueEnded,
                                             ""};
  EXPECT_EQ(windowLines(s.text()), expected);
  // The program has returned but the window stays until the user closes it.
  EXPECT_FALSE(finished);
  EXPECT_TRUE(s.frame.isVisible());
  s.dialogs.saveAnswer = ShellDialogs::Answer::No;
  s.frame.close();
  EXPECT_TRUE(finished);
}

TEST(WindowSession, AnswerLongerThanTheBufferIsCutToItsLengthLessTwo) {
  struct Case {
    std::size_t buffer;
    std::size_t typed;
    std::size_t kept;
  };
  const Case cases[] = {{82, 100, 80}, {82, 80, 80}, {82, 81, 80}, {10, 9, 8}, {10, 3, 3}, {2, 5, 0}};
  for (const Case& c : cases) {
    Shell s;
    WindowConsole console(s.frame, c.buffer);
    std::string typed;
    for (std::size_t i = 0; i < c.typed; ++i) typed.push_back(static_cast<char>('a' + i % 26));
    QTimer::singleShot(0, [&] {
      s.type(typed.c_str());
      s.key(Qt::Key_Return);
    });
    std::string answer;
    ASSERT_TRUE(console.readLine(answer));
    EXPECT_EQ(answer, typed.substr(0, c.kept)) << "buffer " << c.buffer << ", typed " << c.typed;
    // The window itself keeps the whole line.
    EXPECT_EQ(s.text().line(0), typed);
  }
}

TEST(WindowSession, LinesTypedBeforeTheQuestionAreNotItsAnswer) {
  Shell s;
  WindowConsole console(s.frame);
  s.type("early");
  s.key(Qt::Key_Return);
  console.writeLine(" Question?");
  QTimer::singleShot(0, [&] {
    s.type("late");
    s.key(Qt::Key_Return);
  });
  std::string answer;
  ASSERT_TRUE(console.readLine(answer));
  EXPECT_EQ(answer, "late");
}

TEST(WindowSession, ClosingWhileAnAnswerIsAwaitedAsksFirstThenEndsTheInput) {
  Shell s;
  WindowConsole console(s.frame);
  Greeter g;
  g.asked = [&] { return s.dialogs.questions.size(); };
  Typist typist(s, console, {"Ann", "<close>"});
  bool finished = false;
  QObject::connect(&s.frame, &MainFrame::finished, [&] { finished = true; });
  s.dialogs.saveAnswer = ShellDialogs::Answer::No;
  ASSERT_TRUE(s.frame.startProgram([&] { g(console); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
  EXPECT_TRUE(g.endedByInput);
  EXPECT_EQ(g.questionsWhenEnded, 1u);  // the save question came before the end of input
  ASSERT_EQ(s.dialogs.questions.size(), 1u);
  EXPECT_EQ(s.dialogs.questions[0], QStringLiteral("Save the Input/Output window?"));
  EXPECT_FALSE(s.frame.isVisible());
  // Output after the close goes nowhere, and every later read is the end of input.
  const int lines = s.text().lineCount();
  console.writeLine("late");
  EXPECT_EQ(s.text().lineCount(), lines);
  std::string a;
  EXPECT_FALSE(console.readLine(a));
}

TEST(WindowSession, CancelAtTheSaveQuestionKeepsTheProgramWaiting) {
  // Closing the frame or the Input/Output child: the same question, and Cancel keeps both.
  for (const char* how : {"<close>", "<close child>"}) {
    SCOPED_TRACE(how);
    Shell s;
    WindowConsole console(s.frame);
    Greeter g;
    Typist typist(s, console, {how, "Q"});
    s.dialogs.saveAnswer = ShellDialogs::Answer::Cancel;
    ASSERT_TRUE(s.frame.startProgram([&] { g(console); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.frame.programRunning() && typist.done(); }, 10000));
    QTest::qWait(20);
    EXPECT_EQ(s.dialogs.questions, (std::vector<QString>{QStringLiteral("Save the Input/Output window?")}));
    EXPECT_FALSE(s.frame.programRunning());
    EXPECT_FALSE(g.endedByInput);
    EXPECT_EQ(g.answers, (std::vector<std::string>{"Q"}));
    EXPECT_TRUE(s.frame.isVisible());
    EXPECT_FALSE(s.frame.isClosed());
    EXPECT_TRUE(s.frame.ioSubWindow()->isVisible());
    EXPECT_EQ(s.frame.mdiArea()->subWindowList().size(), 1);

    // After the program has returned, closing the child ends the application as the frame does.
    bool finished = false;
    QObject::connect(&s.frame, &MainFrame::finished, [&] { finished = true; });
    s.dialogs.saveAnswer = ShellDialogs::Answer::No;
    clickTitleBarButton(s.frame.ioSubWindow(), QStyle::SC_TitleBarCloseButton);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(s.frame.isVisible());
    EXPECT_EQ(s.dialogs.questions.size(), 2u);
  }
}

TEST(WindowClipboard, PastedLinesAreTypedOneAfterAnotherEachEndedByEnter) {
  Shell s;
  WindowConsole console(s.frame);
  Greeter g;
  // At the first question: lines ended by CR LF, LF and CR, then one without an end, finished by
  // typing; a text with a character beyond Latin-1 is refused whole; then Q.
  Typist typist(s, console, {"<paste>Ann\r\nBob\tTwo\nCy\rDe", "n", "<paste>Eve \u22121\nFay\n", "Q"});
  // Should the dialogue wait for more than the script answers, closing the frame ends its input.
  QTimer watchdog;
  watchdog.setSingleShot(true);
  bool timedOut = false;
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    timedOut = true;
    s.frame.close();
  });
  watchdog.start(10000);
  bool returned = false;
  ASSERT_TRUE(s.frame.startProgram([&] {
    g(console);
    returned = true;
  }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return returned; }, 30000));
  EXPECT_FALSE(timedOut) << "the dialogue did not get its answers";
  EXPECT_EQ(g.answers, (std::vector<std::string>{"Ann", "Bob Two", "Cy", "Den", "Q"}));
  // Each pasted line shows after the question it answers, as if typed there.
  const std::vector<std::string> expected = {" GREETER", " Name? (Q to quit)", "Ann",     " Hello, Ann",
                                             "",         " Name? (Q to quit)", "Bob Two", " Hello, Bob Two",
                                             "",         " Name? (Q to quit)", "Cy",      " Hello, Cy",
                                             "",         " Name? (Q to quit)", "Den",     " Hello, Den",
                                             "",         " Name? (Q to quit)", "Q",       " Bye",
                                             " --- The dialogue has ended; no more answers are taken. ---",
                                             ""};
  EXPECT_EQ(windowLines(s.text()), expected);
  ASSERT_EQ(s.dialogs.warnings.size(), 1u);
  EXPECT_TRUE(s.dialogs.warnings[0].contains(QStringLiteral("U+2212")))
      << s.dialogs.warnings[0].toStdString();

  // After the dialogue has ended, a paste types nothing: no answer is taken any more.
  pasteWithKeys(s.io(), QStringLiteral("one\ntwo\nthree"));
  EXPECT_EQ(windowLines(s.text()), expected);
  s.dialogs.saveAnswer = ShellDialogs::Answer::No;
  s.frame.close();
}

// A fixed list of open files, as the dialogue would tell it.
class ListedFiles : public OpenFileList {
 public:
  std::vector<OpenFile> openFiles() const override { return files; }
  std::vector<OpenFile> files;
};

TEST(WindowStatus, DroppedLinesAreAnnouncedOnceInTheStatusBar) {
  struct Case {
    const char* name;
    bool reportOpen;
    const char* note;
  };
  const Case cases[] = {
      {"without an output file", false,
       "Earlier lines were dropped from the window; without an output file they are gone"},
      {"with an output file", true,
       "Earlier lines were dropped from the window; the output file keeps the whole report"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Shell s;
    WindowConsole console(s.frame);
    ListedFiles files;
    if (c.reportOpen) files.files.push_back({OpenFileRole::Report, "report.out", -1});
    console.setOpenFiles(&files);
    auto* note = s.frame.findChild<QLabel*>(QStringLiteral("droppedLinesNote"));
    ASSERT_NE(note, nullptr);
    std::vector<QString> seen;
    // Each round writes `lines` lines of 80 columns, then asks for an answer.
    std::vector<int> rounds = {700, 200, 1000};
    Typist typist(s, console, {"a", "b", "c"});
    bool returned = false;
    ASSERT_TRUE(s.frame.startProgram([&] {
      for (std::size_t r = 0; r < rounds.size(); ++r) {
        for (int i = 0; i < rounds[r]; ++i) console.writeLine(std::string(79, 'x') + std::to_string(i % 10));
        std::string a;
        console.readLine(a);
        seen.push_back(note->text());
        // Once said, the note stays as it is, whatever the files are afterwards.
        if (r == 1)
          files.files =
              c.reportOpen ? std::vector<OpenFile>{} : std::vector<OpenFile>{{OpenFileRole::Report, "r", -1}};
      }
      returned = true;
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return returned; }, 10000));
    // 700 lines of 80 bytes fit into 64 KB, 900 do not.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], QString());
    EXPECT_EQ(seen[1], QString::fromLatin1(c.note));
    EXPECT_EQ(seen[2], QString::fromLatin1(c.note));
    EXPECT_GT(s.text().droppedLines(), 0);
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(s.frame.droppedLinesNote(), QString::fromLatin1(c.note));
    s.dialogs.saveAnswer = ShellDialogs::Answer::No;
    s.frame.close();
  }
}

TEST(WindowExit, AsksOnlyWhenTheTextIsUnsaved) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("window.txt"));
  struct Case {
    const char* name;
    bool saveFirst;
    std::function<void(Shell&)> afterSave;
    ShellDialogs::Answer answer;
    bool asks;
    bool closes;
  };
  const Case cases[] = {
      {"unsaved, Cancel", false, nullptr, ShellDialogs::Answer::Cancel, true, false},
      {"unsaved, No", false, nullptr, ShellDialogs::Answer::No, true, true},
      {"unsaved, Yes saves", false, nullptr, ShellDialogs::Answer::Yes, true, true},
      {"saved", true, nullptr, ShellDialogs::Answer::Cancel, false, true},
      {"output after save", true, [](Shell& s) { s.text().writeLine("more"); }, ShellDialogs::Answer::Cancel,
       true, false},
      {"typing after save", true, [](Shell& s) { s.type("x"); }, ShellDialogs::Answer::Cancel, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(path);
    Shell s;
    s.dialogs.saveName = path;
    s.text().writeLine("text");
    if (c.saveFirst) {
      ASSERT_TRUE(s.frame.save());
    }
    if (c.afterSave) c.afterSave(s);
    s.dialogs.saveAnswer = c.answer;
    s.frame.action(kMenuExit)->trigger();
    EXPECT_EQ(s.dialogs.questions.size(), c.asks ? 1u : 0u);
    EXPECT_EQ(s.frame.isClosed(), c.closes);
    if (c.answer == ShellDialogs::Answer::Yes && c.asks) {
      EXPECT_TRUE(QFile::exists(path));
      EXPECT_EQ(s.dialogs.saveDialogs, 1);
    }
  }
}

TEST(WindowStart, WithoutATimerTheUserChoosesToGoOnOrToEnd) {
  for (const bool goOn : {true, false}) {
    Shell s;
    s.frame.setTimerSource([](QObject&, int) { return 0; });
    s.dialogs.yes = goOn;
    bool ran = false;
    bool finished = false;
    QObject::connect(&s.frame, &MainFrame::finished, [&] { finished = true; });
    EXPECT_EQ(s.frame.startProgram([&] { ran = true; }), goOn);
    QTest::qWait(20);
    ASSERT_EQ(s.dialogs.questions.size(), 1u);
    EXPECT_EQ(s.dialogs.questions[0], QStringLiteral("No timers available. Continue?"));
    EXPECT_EQ(ran, goOn);
    EXPECT_EQ(finished, !goOn);
  }
  // With a timer nothing is asked.
  Shell s;
  bool ran = false;
  EXPECT_TRUE(s.frame.startProgram([&] { ran = true; }));
  QTest::qWait(20);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(s.dialogs.questions.empty());
}

TEST(WindowSession, TensOfThousandsOfLinesGoThroughQuickly) {
  Shell s;
  WindowConsole console(s.frame);
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < 40000; ++i)
    console.writeLine("   0.1234   0.5678   0.9012 a report line of usual width");
  const qint64 ms = t.elapsed();
  EXPECT_LT(ms, 1500) << "writing 40000 lines took " << ms << " ms";
  // The store kept only the newest lines, and the view follows the last one.
  EXPECT_LE(s.text().bytesUsed(), kTextStoreBytes);
  EXPECT_EQ(s.text().firstLine(), s.text().maxFirstLine());
}

}  // namespace
}  // namespace quelbro::testing
