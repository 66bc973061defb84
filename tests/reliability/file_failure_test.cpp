// Store and report files whose writes fail part way (a file-size limit in a
// child process), and the console program killed in the middle of typed
// entry: every accepted line must be in the store file and every report block
// written before the kill in the report file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

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

// What a program run in a child process left behind.
struct ProgramRun {
  int status = -1;  // as waitpid gives it
  std::string out, err;
};

// Runs quelbro-con in the current folder with the answers on its standard
// input and its standard output and error on two pipes; `setup` runs in the
// child just before the program starts (to close descriptors, set limits).
ProgramRun runConsoleBinary(const std::vector<std::string>& answers, const std::function<void()>& setup) {
  std::string typed;
  for (const auto& a : answers) typed += a + "\n";
  writeFile("answers.in", typed);
  ProgramRun run;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return run;
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("answers.in", O_RDONLY);
    dup2(in, 0);
    close(in);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]), close(out[1]), close(err[0]), close(err[1]);
    alarm(60);  // a run that never ends is ended
    setup();
    execl(QUELBRO_CON, QUELBRO_CON, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&run.out, &run.err};
  for (int open = 2; open > 0;) {
    if (poll(p, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || p[i].revents == 0) continue;
      char buf[65536];
      const ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n > 0) {
        into[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        close(p[i].fd);
        p[i].fd = -1;
        --open;
      }
    }
  }
  waitpid(pid, &run.status, 0);
  return run;
}

struct ChildResult {
  bool skipped = false;  // no private tmpfs could be made; `text` says why
  std::string text;
};

const std::string kStoreFollows = "\n=== the store file ===\n";

// Runs `body` in a child process that sees a tmpfs of 64 KiB mounted on
// `where` (its own mount namespace, made through a user namespace where that
// is allowed) and hands back the text `body` returns.
ChildResult inSmallTmpfs(const fs::path& where, const std::function<std::string()>& body) {
  ChildResult result;
  int fd[2];
  if (pipe(fd) != 0) return {true, "pipe failed"};
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  const pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    auto send = [&](const std::string& text, int code) {
      std::size_t done = 0;
      while (done < text.size()) {
        const ssize_t n = write(fd[1], text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      _exit(code);
    };
    auto put = [](const char* file, const std::string& text) {
      const int f = open(file, O_WRONLY);
      const bool ok = f >= 0 && write(f, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      if (f >= 0) close(f);
      return ok;
    };
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
      send(std::string("no private mount namespace here: ") + std::strerror(errno), 77);
    put("/proc/self/setgroups", "deny");
    if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
      send("cannot map the user into the namespace", 77);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
      send(std::string("cannot mount a tmpfs here: ") + std::strerror(errno), 77);
    if (chdir(where.c_str()) != 0) send("cannot enter the tmpfs", 77);
    alarm(60);
    send(body(), 0);
  }
  close(fd[1]);
  char buf[65536];
  for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) > 0;)
    result.text.append(buf, static_cast<std::size_t>(n));
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
    result.skipped = true;
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    result.text = "the child failed (status " + std::to_string(status) + ")";
  }
  return result;
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

// A case line of the store file with two treatments, laid out by hand.
std::string storedCase(int a, int b, const std::string& comment = "") {
  std::string c = comment;
  c.resize(38, ' ');
  return "  0." + std::to_string(a) + "0000E+01\t  0." + std::to_string(b) + "0000E+01\t" + c + "\r\n";
}

// The whole store file of typedStudy(): every line of it, laid out by hand.
std::string expectedStore() {
  return expectedStoreStart() + storedCase(1, 5) + storedCase(2, 4) + storedCase(3, 3) + "******\r\n" +
         storedCase(4, 1) + storedCase(5, 2) + storedCase(3, 1) + "******\r\n" + " #\r\n";
}

// The longest run of whole lines of `text` that fits in `limit` bytes.
std::string wholeLinesWithin(const std::string& text, std::size_t limit) {
  const std::size_t end = text.rfind('\n', limit - 1);
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

TEST(FileFailure, StoreFileFillsUpPartWay) {
  WorkDir dir;
  ASSERT_EQ(expectedStoreStart().size(), 270u);
  const auto screen = runWithFileSizeLimit(200, typedStudy({"n", "y", "s.dat", "n"}));
  const std::vector<std::string> message = {" *** ERROR: cannot write to file s.dat: File too large ***",
                                            " *** The store file s.dat ends with the treatment header;",
                                            "     nothing more is written to it. ***"};
  // Told once, when the direction line crosses the limit; the dialogue goes on
  // with the next question and to the end of the study.
  EXPECT_EQ(countLine(screen, message[0]), 1) << around(screen, -1);
  const long at = findBlock(screen, message);
  ASSERT_GE(at, 0) << around(screen, -1);
  EXPECT_EQ(nextShown(screen, static_cast<std::size_t>(at) + message.size()),
            " How many Actually-Negative cases will you be entering?: ");
  EXPECT_EQ(countLine(screen, kNotice2), 1);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
  // The file ends with the last whole line that fitted: description (82
  // bytes), name (23) and header (83), 188 bytes in all.
  EXPECT_EQ(slurp("s.dat"), wholeLinesWithin(expectedStoreStart(), 200));
  EXPECT_EQ(slurp("s.dat").size(), 188u);
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
  const std::vector<std::string> message = {
      " *** ERROR: cannot write to file r.out: File too large ***",
      " *** The report file r.out ends with its last whole line and is closed;",
      "     nothing more is written to it. ***"};
  EXPECT_EQ(countLine(screen, message[0]), 1) << around(screen, -1);
  EXPECT_GE(findBlock(screen, message), 0) << around(screen, -1);
  // The screen report is complete and the run reaches its end.
  EXPECT_EQ(countLine(screen, kNotice2), 1);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
  EXPECT_EQ(slurp("r.out"), wholeLinesWithin(whole, 1000));
}

// The store file fills up inside a block that is then rejected (too few
// cases): the cut removes the block's stored cases too, and the screen tells
// the new end. Case 1 fits in the limit (270 + 68 bytes), case 2 does not.
TEST(FileFailure, StoreFileFillsUpInsideARejectedBlock) {
  WorkDir dir;
  std::vector<std::string> answers = typedStudy({"n", "y", "s.dat", "n"});
  const auto firstCase = std::find(answers.begin(), answers.end(), "1 5");
  answers.insert(firstCase, {"1 5", "2 4", "*"});
  const auto screen = runWithFileSizeLimit(270 + 68 + 10, answers);
  const long at =
      findBlock(screen, {" *** ERROR: cannot write to file s.dat: File too large ***",
                         " *** The store file s.dat ends with Reader 1 (Ann), Actually-Negative case 1;",
                         "     nothing more is written to it. ***", "- case   3: "});
  EXPECT_GE(at, 0) << around(screen, -1);
  EXPECT_EQ(countLine(screen, " *** The store file s.dat now ends with the direction line. ***"), 1)
      << around(screen, -1);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
  EXPECT_EQ(slurp("s.dat"), expectedStoreStart());
}

// The store file is moved away and another file put under its name while a
// block is typed; the block is then rejected (too few cases) and cut out of
// the store file: of the moved file, never of the one now under its name.
TEST(FileFailure, RejectedBlockIsCutFromTheOpenFileNotTheName) {
  WorkDir dir;
  const std::string other = "someone else's file\n";
  // The first block: two cases and "*" (three were announced): rejected, typed again.
  std::vector<std::string> answers = typedStudy({"n", "y", "s.dat", "n"});
  const auto firstCase = std::find(answers.begin(), answers.end(), "1 5");
  answers.insert(firstCase, {"1 5", "2 4", "*"});
  TriggerConsole run(answers, "- case   3: ", [&] {
    fs::rename("s.dat", "moved.dat");
    writeFile("s.dat", other);
  });
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  runConsoleProgram(run, clock);
  ASSERT_EQ(countLine(run.lines(), "        Only   2 cases entered"), 1) << around(run.lines(), -1);
  EXPECT_EQ(slurp("s.dat"), other);
  EXPECT_EQ(slurp("moved.dat"), expectedStore());
}

// The disk fills while cases are typed, and space is freed again right after
// the failed write. The store file keeps exactly the lines the screen names
// as stored and nothing written later: no half line, no line after a gap.
TEST(FileFailure, DiskFillsThenFreesSpace) {
  WorkDir dir;
  const int kCases = 70;
  std::vector<std::string> answers = {
      "n", "y", "s.dat", "n", "Limited", "1", "Ann", "2", "CT", "MR", "L S", std::to_string(kCases), "1"};
  std::string cases;
  for (int i = 1; i <= kCases; ++i) {
    const int a = i % 9 + 1, b = (i * 7) % 9 + 1;
    answers.push_back(std::to_string(a) + " " + std::to_string(b));
    cases += storedCase(a, b);
  }
  for (const char* a : {"*", "4 1", "*", "#"}) answers.push_back(a);

  const ChildResult got = inSmallTmpfs(dir.path(), [&]() -> std::string {
    // Fill the file system, then give back one page: the store file may hold
    // 4096 bytes. Removing the filler once the failure is told frees the rest.
    const long page = sysconf(_SC_PAGESIZE);
    if (page != 4096) return "page size " + std::to_string(page);
    {
      std::ofstream filler("filler", std::ios::binary);
      const std::string chunk(4096, 'f');
      while (filler.write(chunk.data(), 4096) && filler.flush()) {
      }
    }
    fs::resize_file("filler", fs::file_size("filler") / 4096 * 4096 - 4096);
    TriggerConsole console(answers, " *** ERROR: cannot write to file s.dat", [] { fs::remove("filler"); });
    FixedClock clock(2026, 12, 8, 10, 30, 0);
    runConsoleProgram(console, clock);
    return console.text() + kStoreFollows + slurp("s.dat");
  });
  if (got.skipped) GTEST_SKIP() << got.text;
  const std::size_t split = got.text.find(kStoreFollows);
  ASSERT_NE(split, std::string::npos) << got.text;
  const std::vector<std::string> screen = splitLines(got.text.substr(0, split));
  const std::string stored = got.text.substr(split + kStoreFollows.size());

  // Whatever the screen says: the file is a run of whole lines of what was
  // meant, with nothing after a gap.
  const std::string meant = expectedStoreStart() + cases;
  EXPECT_EQ(stored, wholeLinesWithin(meant, stored.size() + 1));
  // 270 bytes of description, name, header and directions, then 68 bytes per
  // case: (4096 - 270) / 68 = 56.3, so case 57 is the first that does not fit.
  ASSERT_EQ(storedCase(1, 1).size(), 68u);
  const std::string prefix = " *** The store file s.dat ends with Reader 1 (Ann), Actually-Negative case ";
  const long at = findBlock(screen, {" *** ERROR: cannot write to file s.dat: No space left on device ***"});
  ASSERT_GE(at, 0) << around(screen, -1);
  const std::string& where = screen.at(static_cast<std::size_t>(at) + 1);
  ASSERT_EQ(where.substr(0, prefix.size()), prefix) << around(screen, at);
  const int reported = std::atoi(where.c_str() + prefix.size());
  EXPECT_EQ(where, prefix + std::to_string(reported) + ";");
  EXPECT_EQ(reported, 56);
  EXPECT_EQ(stored, expectedStoreStart() + cases.substr(0, 68 * static_cast<std::size_t>(reported)));
  // The typed session goes on after the message and to its end.
  EXPECT_EQ(nextShown(screen, static_cast<std::size_t>(at) + 3), "- case  58: ");
  EXPECT_EQ(countLine(screen, kNotice2), 1);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
}

// A file-size limit with SIGXFSZ left at its default: the program must not be
// ended by the signal; the store and report files end with whole lines.
TEST(FileFailure, FileSizeLimitSignalDoesNotEndTheProgram) {
  WorkDir dir;
  const ProgramRun run = runConsoleBinary(typedStudy({"n", "y", "s.dat", "y", "r.out"}), [] {
    signal(SIGXFSZ, SIG_DFL);
    rlimit rl{200, 200};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(2);
  });
  ASSERT_TRUE(WIFEXITED(run.status)) << "ended by signal " << WTERMSIG(run.status);
  // The run goes to its end; files that could not be written make its status 1.
  EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.err;
  const auto screen = splitLines(run.out);
  EXPECT_GE(findBlock(screen, {" *** ERROR: cannot write to file s.dat: File too large ***",
                               " *** The store file s.dat ends with the treatment header;"}),
            0)
      << around(screen, -1);
  EXPECT_GE(findBlock(screen, {" *** ERROR: cannot write to file r.out: File too large ***",
                               " *** The report file r.out ends with its last whole line and is closed;"}),
            0);
  EXPECT_EQ(lastShown(screen), kEndOfQuestion1);
  EXPECT_EQ(slurp("s.dat"), wholeLinesWithin(expectedStoreStart(), 200));
  const std::string report = slurp("r.out");
  ASSERT_GE(report.size(), 2u);
  EXPECT_LE(report.size(), 200u);
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

// quelbro-con started with standard descriptors closed or on a full disk.
struct Descriptors {
  std::string name;
  std::function<void()> setup;  // in the child, just before the program starts
  int exitStatus;
  std::string err;  // what standard error receives
};

void PrintTo(const Descriptors& d, std::ostream* os) { *os << d.name; }

class StandardDescriptors : public ::testing::TestWithParam<Descriptors> {};

TEST_P(StandardDescriptors, StoreFileHoldsOnlyItsLines) {
  const Descriptors& c = GetParam();
  WorkDir dir;
  const ProgramRun run = runConsoleBinary(typedStudy({"n", "y", "s.dat", "n"}), c.setup);
  ASSERT_TRUE(WIFEXITED(run.status)) << "ended by signal " << WTERMSIG(run.status);
  EXPECT_EQ(WEXITSTATUS(run.status), c.exitStatus);
  EXPECT_EQ(run.err, c.err);
  // Not one prompt in the store file: it reads back as the study typed.
  EXPECT_EQ(slurp("s.dat"), expectedStore());
}

void onFullDisk(int fd) {
  int full = open("/dev/full", O_WRONLY);
  if (full < 0) _exit(2);
  dup2(full, fd);
  close(full);
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, StandardDescriptors,
    ::testing::Values(Descriptors{"OutputClosed", [] { close(1); }, 0, ""},
                      Descriptors{"OutputAndErrorClosed", [] { close(1), close(2); }, 0, ""},
                      Descriptors{"ErrorClosed", [] { close(2); }, 0, ""},
                      Descriptors{"OutputOnFullDisk", [] { onFullDisk(1); }, 1,
                                  "quelbro-con: cannot write to standard output: No space left on device\n"},
                      Descriptors{"OutputOnFullDiskErrorClosed", [] { onFullDisk(1), close(2); }, 1, ""}),
    [](const ::testing::TestParamInfo<Descriptors>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The exit status of quelbro-con itself: 0 when the user ends it, 1 when an
// inconsistent data file ends it or a file could not be written.

// Runs the program with `input` as its standard input and the screen thrown
// away; `fileLimit` bytes (0: none) bound the files it writes. Returns the
// exit status, or -1 when it did not exit normally.
int exitStatusOf(const std::string& input, rlim_t fileLimit = 0) {
  writeFile("answers.in", input);
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("answers.in", O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    if (fileLimit > 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit rl{fileLimit, fileLimit};
      if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(126);
    }
    execl(QUELBRO_CON, QUELBRO_CON, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

TEST(ExitStatus, SaysHowTheRunEnded) {
  const std::string wrongCount = "D\nAnn\n\"A\" \"B\"\nL L\n1 2\n*\n3 4\n*\nBob\n1 2\n2 1\n*\n3 4\n*\n#\n";
  struct Row {
    const char* name;
    std::string input;
    rlim_t fileLimit;
    int status;
  };
  const Row rows[] = {
      {"Q at the first question", "q\n", 0, 0},
      {"the end of the input", "n\n", 0, 0},
      {"a study typed to its end", joined(typedStudy({"n", "n", "n"})) + "q\n", 0, 0},
      {"a data file with a reader of the wrong count", "y\nwrong.dat\nn\n", 0, 1},
      {"a store file that cannot be written", joined(typedStudy({"n", "y", "s.dat", "n"})) + "q\n", 200, 1},
      {"a report file that cannot be written", joined(typedStudy({"n", "n", "y", "r.out"})) + "q\n", 1000, 1},
  };
  for (const Row& row : rows) {
    WorkDir dir;
    writeFile("wrong.dat", wrongCount);
    EXPECT_EQ(exitStatusOf(row.input, row.fileLimit), row.status) << row.name;
  }
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
  // Reads the screen until `what` stands after position `from`. Gives up when
  // the program ends, when it has been asleep (waiting for an answer the test
  // does not give) for two seconds with nothing new on the screen, or after
  // 60 s in all.
  bool waitFor(const std::string& what, std::size_t from = 0) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(60);
    auto quietSince = Clock::now();
    while (screen_.find(what, from) == std::string::npos) {
      const auto now = Clock::now();
      if (now > end) return false;
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) {
        if (!asleep()) quietSince = now;
        if (now - quietSince > std::chrono::seconds(2)) return false;
        continue;
      }
      char buf[4096];
      ssize_t n = read(from_, buf, sizeof buf);
      if (n <= 0) return false;
      screen_.append(buf, static_cast<std::size_t>(n));
      quietSince = Clock::now();
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
  // The child sleeps in the kernel (state S in /proc): blocked on a read, not computing.
  bool asleep() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = all.rfind(')');
    return close != std::string::npos && close + 2 < all.size() && all[close + 2] == 'S';
  }

  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string screen_;
};

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
