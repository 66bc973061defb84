// Store and report files whose writes fail part way (a file-size limit in a
// child process), and the console program killed in the middle of typed
// entry: every accepted line must be in the store file and every report block
// written before the kill in the report file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "reliability_support.h"

namespace quelbro::reliability {
namespace {

const std::string kEndOfQuestion1 = " run? (Y/N, R to restart, or Q to quit)";

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// Runs the program in a child process whose files may not grow beyond
// `limit` bytes (SIGXFSZ ignored, so a write beyond it fails with EFBIG).
// Returns the screen lines the child sent back through a pipe.
std::vector<std::string> runWithFileSizeLimit(rlim_t limit, const std::vector<std::string>& answers) {
  int fd[2];
  if (pipe(fd) != 0) return {"pipe failed"};
  pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(2);
    ScriptedConsole console(answers);
    FixedClock clock(2026, 12, 8, 10, 30, 0);
    runConsoleProgram(console, clock);
    const std::string text = console.text();
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = write(fd[1], text.data() + done, text.size() - done);
      if (n <= 0) _exit(3);
      done += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(fd[1]);
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {"child failed"};
  return splitLines(text);
}

// A typed study of one reader with two treatments and three cases each.
std::vector<std::string> typedStudy(std::vector<std::string> opening) {
  std::vector<std::string> rest = {"Limited", "1",   "Ann", "2",   "CT",  "MR", "L S", "3", "3", "1 5", "2 4",
                                   "3 3",     "*",   "4 1", "5 2", "3 1", "*",  "#"};
  opening.insert(opening.end(), rest.begin(), rest.end());
  return opening;
}

std::string lastShown(const std::vector<std::string>& screen) {
  std::string last;
  for (const auto& l : screen)
    if (!blankOrClock(l)) last = l;
  return last;
}

// The store file's first lines, laid out by hand: description padded to 80,
// " " + name padded to 20, " " + header padded to 80, " " + 79 direction columns.
std::string expectedStoreStart() {
  std::string dir(79, ' ');
  dir[6] = 'L', dir[7] = '\t', dir[19] = 'S', dir[20] = '\t';
  std::string header = "\"CT          \"\t\"MR          \"\t";
  header.resize(80, ' ');
  return "Limited" + std::string(73, ' ') + "\r\n" + " Ann" + std::string(17, ' ') + "\r\n" + " " + header + "\r\n" +
         " " + dir + "\r\n";
}

TEST(FileFailure, StoreFileFillsUpPartWay) {
  WorkDir dir;
  ASSERT_EQ(expectedStoreStart().size(), 270u);
  const auto screen = runWithFileSizeLimit(200, typedStudy({"n", "y", "s.dat", "n"}));
  const std::string message = " *** ERROR: cannot write to file s.dat: File too large ***";
  // Told once, when the direction line crosses the limit; the dialogue goes on
  // with the next question and to the end of the study.
  EXPECT_EQ(countLine(screen, message), 1) << around(screen, -1);
  const long at = findBlock(screen, {message});
  ASSERT_GE(at, 0);
  EXPECT_EQ(nextShown(screen, static_cast<std::size_t>(at) + 1),
            " How many Actually-Negative cases will you be entering?: ");
  EXPECT_EQ(countLine(screen, kNotice2), 1);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
  // What reached the file is exactly the first 200 bytes of what was meant.
  EXPECT_EQ(slurp("s.dat"), expectedStoreStart().substr(0, 200));
}

TEST(FileFailure, ReportFileFillsUpPartWay) {
  const std::vector<std::string> answers = typedStudy({"n", "n", "y", "r.out"});
  std::string whole;
  {
    WorkDir full;
    runProgram(answers);
    whole = slurp("r.out");
  }
  ASSERT_GT(whole.size(), 2000u);

  WorkDir dir;
  const auto screen = runWithFileSizeLimit(1000, answers);
  EXPECT_EQ(countLine(screen, " *** ERROR: cannot write to file r.out: File too large ***"), 1)
      << around(screen, -1);
  // The screen report is complete and the run reaches its end.
  EXPECT_EQ(countLine(screen, kNotice2), 1);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
  EXPECT_EQ(slurp("r.out"), whole.substr(0, 1000));
}

// ---------------------------------------------------------------------------
// Nothing lost: quelbro-con killed with SIGKILL in the middle of typed entry.

class Child {
 public:
  explicit Child(const fs::path& dir) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      if (chdir(dir.c_str()) != 0) _exit(126);
      execl(QUELBRO_CON, QUELBRO_CON, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
    signal(SIGPIPE, SIG_IGN);
  }
  ~Child() {
    if (pid_ > 0) kill();
    if (to_ >= 0) close(to_);
    if (from_ >= 0) close(from_);
  }
  bool started() const { return pid_ > 0; }

  void type(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = write(to_, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  void typeLines(const std::vector<std::string>& lines) {
    for (const auto& l : lines) type(l + "\n");
  }
  // Reads the screen until `what` stands after position `from` (or 60 s pass).
  bool waitFor(const std::string& what, std::size_t from = 0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (screen_.find(what, from) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) return false;
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) continue;
      char buf[4096];
      ssize_t n = read(from_, buf, sizeof buf);
      if (n <= 0) return false;
      screen_.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }
  void kill() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  const std::string& screen() const { return screen_; }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string screen_;
};

// A case line of the store file with two treatments, laid out by hand.
std::string storedCase(int a, int b, const std::string& comment = "") {
  std::string c = comment;
  c.resize(38, ' ');
  return "  0." + std::to_string(a) + "0000E+01\t  0." + std::to_string(b) + "0000E+01\t" + c + "\r\n";
}

TEST(NothingLost, KilledDuringTypedEntry) {
  WorkDir dir;
  Child child(dir.path());
  ASSERT_TRUE(child.started());
  child.typeLines({"n", "y", "s.dat", "y", "r.out", "Nothing lost", "2", "Ann", "2", "CT", "MR", "L S", "3", "3",
                   "1 5", "2 4", "3 3", "*", "4 1 first", "5 2", "3 1", "*"});
  ASSERT_TRUE(child.waitFor(" Enter Name for Reader 2: ")) << child.screen();
  const std::size_t reader2 = child.screen().size();
  child.typeLines({"Bob", "1 4", "2 5"});
  // The prompt for the third case shows once the second line is accepted.
  ASSERT_TRUE(child.waitFor("- case   3: ", reader2)) << child.screen();
  child.type("3 ");  // the line being typed is all that may be lost
  child.kill();

  std::string header = "\"CT          \"\t\"MR          \"\t";
  header.resize(80, ' ');
  std::string direction(79, ' ');
  direction[6] = 'L', direction[7] = '\t', direction[19] = 'S', direction[20] = '\t';
  const std::string expected = "Nothing lost" + std::string(68, ' ') + "\r\n" + " Ann" + std::string(17, ' ') +
                               "\r\n" + " " + header + "\r\n" + " " + direction + "\r\n" + storedCase(1, 5) +
                               storedCase(2, 4) + storedCase(3, 3) + "******\r\n" + storedCase(4, 1, " first") +
                               storedCase(5, 2) + storedCase(3, 1) + "******\r\n" + " Bob" + std::string(17, ' ') +
                               "\r\n" + storedCase(1, 4) + storedCase(2, 5);
  EXPECT_EQ(slurp("s.dat"), expected);

  // Every line of reader 1's fit reports shown on the screen is in the report
  // file, in order; the file ends with a whole line.
  const std::string report = slurp("r.out");
  ASSERT_GE(report.size(), 2u);
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
  std::vector<std::string> fileLines = splitLines(report);
  for (auto& l : fileLines)
    if (!l.empty() && l.back() == '\r') l.pop_back();
  const std::vector<std::string> shown = splitLines(child.screen());
  const long from = findBlock(shown, {" Starting Analysis for reader           1"});
  const long to = findBlock(shown, {" Enter Name for Reader 2: "});
  ASSERT_GE(from, 0);
  ASSERT_GT(to, from);
  int blocksLines = 0;
  std::size_t j = 0;
  for (long i = from + 1; i < to; ++i) {
    const std::string& l = shown[static_cast<std::size_t>(i)];
    if (blankOrClock(l) || l.find("please wait") != std::string::npos) continue;
    while (j < fileLines.size() && fileLines[j] != l) ++j;
    ASSERT_LT(j, fileLines.size()) << "not in the report file: [" << l << "]";
    ++j, ++blocksLines;
  }
  EXPECT_GT(blocksLines, 20);
  EXPECT_NE(report.find("Reader:    Ann"), std::string::npos);
}

}  // namespace
}  // namespace quelbro::reliability
