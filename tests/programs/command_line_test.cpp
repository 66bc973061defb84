// quelbro-con's command line: option errors, exit statuses, the batch run
// against the dialogue's screen and report, the CSV tables against the
// figures the report prints, and the dialogue unchanged without a DATAFILE.
#include "programs/command_line.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/std_descriptors.h"
#include "results/csv_test_support.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

using testing_csv::Table;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::string readAll(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
  return s;
}

// A fresh folder holding copies of `files`; the run happens inside it.
class Folder {
 public:
  Folder() {
    std::string tmpl = (fs::temp_directory_path() / "quelbro-cli-XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path = tmpl;
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the command line in `dir` with `input` on standard input and the clock
// fixed at 08-Dec-26 10:30:00.
Outcome run(const fs::path& dir, const std::vector<std::string>& args, const std::string& input = "") {
  Outcome r;
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::fputs(input.c_str(), in);
  std::rewind(in);
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  r.status = runConCommandLine(args, in, out, err, clock);
  fs::current_path(home);
  r.out = readAll(out);
  r.err = readAll(err);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return r;
}

fs::path session(const std::string& name) { return fs::path(QUELBRO_TEST_DIR) / "sessions" / name; }

// ------------------------------------------------------------------ options

TEST(ConOptions, ParsesTheUsualForms) {
  struct Case {
    std::vector<std::string> args;
    std::string data, output, results;
    bool quiet, force;
  };
  const Case cases[] = {
      {{"s.dat"}, "s.dat", "", "", false, false},
      {{"-o", "r.txt", "s.dat"}, "s.dat", "r.txt", "", false, false},
      {{"s.dat", "--output=r.txt"}, "s.dat", "r.txt", "", false, false},
      {{"-or.txt", "s.dat"}, "s.dat", "r.txt", "", false, false},
      {{"-qo", "r.txt", "s.dat"}, "s.dat", "r.txt", "", true, false},
      {{"--results", "out/s", "--quiet", "--force", "s.dat"}, "s.dat", "", "out/s", true, true},
      {{"--results=p", "--", "-odd.dat"}, "-odd.dat", "", "p", false, false},
      {{"-"}, "-", "", "", false, false},  // a lone dash is a name
  };
  for (const Case& c : cases) {
    ConOptions o;
    std::string error;
    ASSERT_TRUE(parseConOptions(c.args, o, error)) << c.args[0] << ": " << error;
    EXPECT_EQ(o.dataFile, c.data);
    EXPECT_EQ(o.output, c.output);
    EXPECT_EQ(o.resultsPrefix, c.results);
    EXPECT_EQ(o.quiet, c.quiet);
    EXPECT_EQ(o.force, c.force);
  }
}

TEST(ConOptions, WrongUsageIsExitTwoWithAMessageNamingTheProgram) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus", "s.dat"}, "unrecognized option '--bogus'"},
      {{"-x", "s.dat"}, "invalid option -- 'x'"},
      {{"s.dat", "-o"}, "option requires an argument -- 'o'"},
      {{"s.dat", "--results"}, "option '--results' requires an argument"},
      {{"s.dat", "--output="}, "requires a non-empty argument"},
      {{"s.dat", "--quiet=yes"}, "doesn't allow an argument"},
      {{"a.dat", "b.dat"}, "only one DATAFILE"},
      {{"-o", "r.txt"}, "need a DATAFILE"},
      {{"--results", "p"}, "need a DATAFILE"},
      {{"-q"}, "need a DATAFILE"},
      {{"--results", "out/", "s.dat"}, "names a folder"},
      {{"--extended"}, "need a DATAFILE"},
      {{"s.dat", "--effect", "2"}, "needs a difference of mean areas"},
      {{"s.dat", "--effect=0", "--extended"}, "needs a difference of mean areas"},
      {{"s.dat", "--effect", "0.05x", "--extended"}, "needs a difference of mean areas"},
      {{"s.dat", "--effect", "0.1"}, "needs --extended or --results"},
  };
  Folder dir;
  for (const Case& c : cases) {
    const Outcome r = run(dir.path, c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("quelbro-con: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Try 'quelbro-con --help'"), std::string::npos);
  }
}

TEST(ConOptions, HelpFitsEightyColumnsAndAgreesWithTheReadme) {
  Folder dir;
  const Outcome r = run(dir.path, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (const std::string& line : splitLines(r.out)) EXPECT_LE(line.size(), 80u) << line;
  // The long options of --help and of the README's "Batch use" section.
  const std::regex longOption("--[a-z][a-z-]*");
  auto options = [&](const std::string& text) {
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), longOption); it != std::sregex_iterator();
         ++it)
      found.insert(it->str());
    return found;
  };
  const std::string readme = slurp(fs::path(QUELBRO_SOURCE_DIR) / "README.md");
  const std::size_t from = readme.find("## Batch use");
  ASSERT_NE(from, std::string::npos);
  const std::size_t to = readme.find("\n## ", from + 1);
  EXPECT_EQ(options(readme.substr(from, to == std::string::npos ? std::string::npos : to - from)),
            options(r.out));

  const Outcome v = run(dir.path, {"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("quelbro-con ", 0), 0u);
}

// ------------------------------------------------------------ exit statuses

TEST(ConExitStatus, EachEndHasItsStatusAndMessage) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string message;  // on standard error; empty: nothing there
  };
  const Case cases[] = {
      {"done", {"-q", "binary2.dat", "-o", "new.out"}, 0, ""},
      {"missing data file", {"-q", "nothere.dat"}, 1, "nothere.dat: No such file or directory"},
      {"folder", {"-q", "sub"}, 1, "sub: is a folder, not a data file"},
      {"empty data file",
       {"-q", "empty.dat"},
       1,
       "empty.dat: ERROR: the data file (empty.dat) holds no dataset"},
      {"inconsistent",
       {"-q", "count.dat"},
       1,
       "count.dat: Error: Wrong number of data input for this reader"},
      {"refused",
       {"-q", "noquote.dat"},
       1,
       "noquote.dat: ERROR: Treatment headings must be enclosed in quotes"},
      {"report exists",
       {"-q", "binary2.dat", "-o", "old.out"},
       2,
       "old.out: the file exists (--force replaces it)"},
      {"report is the data",
       {"-q", "binary2.dat", "-o", "./binary2.dat", "--force"},
       2,
       "the output cannot be the data file"},
      {"table exists", {"-q", "binary2.dat", "--results", "old"}, 2, "old-anova.csv: the file exists"},
      {"report folder missing",
       {"-q", "binary2.dat", "-o", "no/such/dir/r.out", "--results", "t"},
       2,
       "r.out: the folder no/such/dir does not exist"},
      {"same file twice", {"-q", "binary2.dat", "-o", "t-fits.csv", "--results", "t"}, 2, "named twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Folder dir;
    fs::copy_file(session("analysis-binary-two-treatments") / "binary2.dat", dir.path / "binary2.dat");
    fs::copy_file(session("file-wrong-count") / "count.dat", dir.path / "count.dat");
    fs::copy_file(session("file-header-without-quotes") / "noquote.dat", dir.path / "noquote.dat");
    fs::create_directory(dir.path / "sub");
    std::ofstream(dir.path / "empty.dat").close();
    std::ofstream(dir.path / "old.out") << "keep";
    std::ofstream(dir.path / "old-anova.csv") << "keep";
    const Outcome r = run(dir.path, c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");  // quiet
    if (c.message.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find("quelbro-con: "), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    if (c.status != 0) {
      EXPECT_FALSE(fs::exists(dir.path / "t-fits.csv")) << "tables made although the run could not start";
    }
    // Nothing that existed was touched.
    EXPECT_EQ(slurp(dir.path / "old.out"), "keep");
    EXPECT_EQ(slurp(dir.path / "old-anova.csv"), "keep");
  }
}

TEST(ConExitStatus, ForceReplacesExistingOutputs) {
  Folder dir;
  fs::copy_file(session("analysis-binary-two-treatments") / "binary2.dat", dir.path / "binary2.dat");
  std::ofstream(dir.path / "old.out") << "keep";
  std::ofstream(dir.path / "old-anova.csv") << "keep";
  const Outcome r = run(dir.path, {"-q", "--force", "binary2.dat", "-o", "old.out", "--results", "old"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp(dir.path / "old.out"),
            slurp(session("analysis-binary-two-treatments") / "expected-binary2.out"));
  EXPECT_EQ(testing_csv::readStrict((dir.path / "old-anova.csv").string()).rows.size(), 8u);
}

TEST(ConExitStatus, AReportOrTableThatCannotBeWrittenIsExitTwo) {
  Folder dir;
  fs::copy_file(session("analysis-binary-two-treatments") / "binary2.dat", dir.path / "binary2.dat");
  // Only regular files are replaced.
  Outcome r = run(dir.path, {"-q", "--force", "binary2.dat", "-o", "/dev/null"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("/dev/null: is a device, not a file that can be replaced"), std::string::npos)
      << r.err;
  r = run(dir.path, {"-q", "--force", "binary2.dat", "--results", "/dev/null/t"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("quelbro-con: /dev/null"), std::string::npos) << r.err;

  // A screen that cannot be written (not quiet).
  if (std::FILE* full = std::fopen("/dev/full", "w")) {
    std::FILE* err = std::tmpfile();
    FixedClock clock(2026, 12, 8, 10, 30, 0);
    const fs::path home = fs::current_path();
    fs::current_path(dir.path);
    const int status = runConCommandLine({"binary2.dat"}, stdin, full, err, clock);
    fs::current_path(home);
    EXPECT_EQ(status, 2);
    EXPECT_NE(readAll(err).find("quelbro-con: cannot write to standard output"), std::string::npos);
    std::fclose(err);
    std::fclose(full);
  }

  // A file-size limit stops the report (about 11.7 kB) half way, and the
  // pseudovalue table (about 1.5 kB) fits.
  ignoreFileSizeSignal();
  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  struct rlimit small = before;
  small.rlim_cur = 4000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  r = run(dir.path, {"-q", "binary2.dat", "-o", "r.out", "--results", "t"});
  setrlimit(RLIMIT_FSIZE, &before);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("r.out: the report file could not be written"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("cannot write to file r.out"), std::string::npos) << r.err;
  const std::string kept = slurp(dir.path / "r.out");
  EXPECT_LE(kept.size(), 4000u);
  EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n");  // whole lines only
  EXPECT_EQ(testing_csv::readStrict((dir.path / "t-anova.csv").string()).error, "");
}

// --------------------------------------------------- batch against dialogue

// The lines the dialogue asks its questions with; a batch run asks none.
bool isPrompt(const std::string& line) {
  static const char* const kPrompts[] = {
      " Do you want to use data from a previously created input file for the next",
      " run? (Y/N, R to restart, or Q to quit)",
      " Enter input file name:",
      " Do you want to create an output file? (Yes/No, or R to restart)",
      " enter output file name:",
      "  (filename must take the form filename.extension, where filename is 1 to 8",
      "  characters, extension is 1 to 3 characters, and all characters must be",
      "  alphanumeric. no blanks are allowed in the filename.)"};
  for (const char* p : kPrompts)
    if (line == p) return true;
  return false;
}

class BinarySession : public ::testing::TestWithParam<std::string> {};

// The dialogue's screen of the session without its questions, ending before
// the next cycle's date and time: what the batch run shows.
TEST_P(BinarySession, BatchShowsTheDialoguesScreenWithoutQuestionsAndWritesItsReport) {
  const fs::path dir = session("analysis-binary-" + GetParam());
  const std::vector<std::string> answers = splitLines(slurp(dir / "answers.txt"));
  const std::string data = answers[1], report = answers[3];
  Folder work;
  fs::copy_file(dir / data, work.path / data);
  const Outcome r = run(work.path, {data, "-o", report});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  std::vector<std::string> want;
  for (const std::string& l : splitLines(slurp(dir / "expected-screen.txt")))
    if (!isPrompt(l)) want.push_back(l);
  ASSERT_GE(want.size(), 5u);
  ASSERT_EQ(want[want.size() - 5].substr(0, 67),
            "                                                            DATE - ");
  want.resize(want.size() - 5);
  EXPECT_EQ(splitLines(r.out), want);
  EXPECT_EQ(slurp(work.path / report), slurp(dir / ("expected-" + report)));
}

// --extended adds its section after each dataset's report, on the screen and
// in the report file, and nothing else; the section agrees with the tables.
TEST_P(BinarySession, ExtendedAddsItsSectionAfterTheReportAndNothingElse) {
  const fs::path dir = session("analysis-binary-" + GetParam());
  const std::vector<std::string> answers = splitLines(slurp(dir / "answers.txt"));
  const std::string data = answers[1], report = answers[3];
  Folder work;
  fs::copy_file(dir / data, work.path / data);
  const Outcome plain = run(work.path, {data, "-o", "plain.out"});
  const Outcome r =
      run(work.path, {data, "-o", report, "--extended", "--effect", "-0.08", "--results", "x/s"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string head = " " + std::string(31, ' ') + "EXTENDED RESULTS";
  const std::size_t at = r.out.find(head + "\n");
  ASSERT_NE(at, std::string::npos);
  // The screen: the plain screen with the section (two empty lines, the
  // title, ...) before its closing empty lines.
  const std::size_t start = r.out.rfind("\n\n\n", at) + 1;
  const std::size_t end = r.out.find("\n\n", r.out.find("80% POWER", r.out.rfind("(CHOSEN)"))) + 2;
  EXPECT_EQ(r.out.substr(0, start) + r.out.substr(end), plain.out);
  const std::string section = r.out.substr(start, end - start);
  EXPECT_NE(section.find("EFFECT -0.0800 (CHOSEN)"), std::string::npos);
  // The report file: the plain report, then the same section.
  std::string file = slurp(work.path / report), sectionCrLf;
  for (const std::string& l : splitLines(section)) sectionCrLf += l + "\r\n";
  const std::string plainFile = slurp(work.path / "plain.out");
  EXPECT_EQ(file, plainFile + sectionCrLf);
  // The tests table's p of the random analysis is the text's, rounded.
  const std::string tests = slurp(work.path / "x/s-tests.csv");
  const std::size_t row = tests.find("\n1,random,");
  ASSERT_NE(row, std::string::npos);
  std::vector<std::string> f;
  std::istringstream fields(tests.substr(row + 1, tests.find('\r', row + 1) - row - 1));
  for (std::string x; std::getline(fields, x, ',');) f.push_back(x);
  ASSERT_GE(f.size(), 6u);
  if (!f[5].empty()) {
    char p[32];
    std::snprintf(p, sizeof p, "%11.4f", std::strtod(f[5].c_str(), nullptr));
    EXPECT_NE(section.find(std::string(" READERS AND CASES RANDOM")), std::string::npos);
    EXPECT_NE(section.find(p), std::string::npos) << p;
  }
  EXPECT_NE(slurp(work.path / "x/s-sizing.csv").find(",-0.08,10,400,"), std::string::npos);
}

// Without a DATAFILE the program is the dialogue, byte for byte.
TEST_P(BinarySession, WithoutADataFileTheDialogueIsUnchanged) {
  const fs::path dir = session("analysis-binary-" + GetParam());
  const std::vector<std::string> answers = splitLines(slurp(dir / "answers.txt"));
  Folder work;
  fs::copy_file(dir / answers[1], work.path / answers[1]);
  const Outcome r = run(work.path, {}, slurp(dir / "answers.txt"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, slurp(dir / "expected-screen.txt"));
  EXPECT_EQ(slurp(work.path / answers[3]), slurp(dir / ("expected-" + answers[3])));
}

// ------------------------------------------------- CSV against the report

// A field of the report: the text at columns [from, from + width) (1-based).
std::string field(const std::string& line, int from, int width) {
  const std::size_t p = static_cast<std::size_t>(from - 1);
  if (p >= line.size()) return "";
  return line.substr(p, static_cast<std::size_t>(width));
}

bool isNumber(const std::string& s) {
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return end != s.c_str() && s.find('*') == std::string::npos && s.find("NaN") == std::string::npos;
}

// Half a unit in the last place of a printed figure ("0.1250", "-.4673", "9.").
double halfUnit(const std::string& printed) {
  std::string t = printed;
  t.erase(0, t.find_first_not_of(' '));
  t.erase(t.find_last_not_of(' ') + 1);
  const std::size_t point = t.find('.');
  const std::size_t decimals = point == std::string::npos ? 0 : t.size() - point - 1;
  return 0.5 * std::pow(10.0, -static_cast<double>(decimals)) + 1e-12;
}

// Checks that the CSV value agrees with the printed figure within its
// rounding; a printed NaN or asterisks must be an empty (or huge) value.
void agrees(const std::string& csv, const std::string& printed, const std::string& what) {
  SCOPED_TRACE(what + ": printed [" + printed + "], CSV [" + csv + "]");
  if (printed.find("NaN") != std::string::npos) {
    EXPECT_EQ(csv, "");
    return;
  }
  if (printed.find('*') != std::string::npos) return;  // too wide to print
  ASSERT_TRUE(isNumber(printed));
  ASSERT_TRUE(isNumber(csv));
  EXPECT_NEAR(std::strtod(csv.c_str(), nullptr), std::strtod(printed.c_str(), nullptr), halfUnit(printed));
}

// The first line from `from` on that starts with `start`; lines.size() when none.
std::size_t findLine(const std::vector<std::string>& lines, const std::string& start, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind(start, 0) == 0) return i;
  return lines.size();
}

std::size_t lineStarting(const std::vector<std::string>& lines, const std::string& start,
                         std::size_t from = 0) {
  const std::size_t i = findLine(lines, start, from);
  if (i == lines.size()) ADD_FAILURE() << "no line starting [" << start << "]";
  return i;
}

// The two bounds of an interval line "... IS (lower,upper)".
std::pair<std::string, std::string> bounds(const std::string& line) {
  const std::size_t open = line.find('('), comma = line.find(',', open), close = line.find(')', comma);
  return {line.substr(open + 1, comma - open - 1), line.substr(comma + 1, close - comma - 1)};
}

// The rows of a table with the given values in the given columns.
std::size_t rowWith(const Table& t, const std::vector<std::pair<std::string, std::string>>& keys) {
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    bool all = true;
    for (const auto& [col, val] : keys) all = all && t.at(i, col) == val;
    if (all) return i;
  }
  ADD_FAILURE() << "no row with " << keys.front().first << "=" << keys.front().second;
  return 0;
}

TEST_P(BinarySession, EveryTableFigureAgreesWithTheReportWithinItsRounding) {
  const fs::path dir = session("analysis-binary-" + GetParam());
  const std::vector<std::string> answers = splitLines(slurp(dir / "answers.txt"));
  const std::string data = answers[1], report = answers[3];
  Folder work;
  fs::copy_file(dir / data, work.path / data);
  const Outcome r = run(work.path, {"-q", data, "--results", "out/t"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> rep;
  for (std::string l : splitLines(slurp(dir / ("expected-" + report)))) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    rep.push_back(l);
  }
  const Table anova = testing_csv::readStrict((work.path / "out/t-anova.csv").string());
  const Table trt = testing_csv::readStrict((work.path / "out/t-treatments.csv").string());
  const Table fits = testing_csv::readStrict((work.path / "out/t-fits.csv").string());
  const Table pv = testing_csv::readStrict((work.path / "out/t-pseudovalues.csv").string());
  for (const Table* t : {&anova, &trt, &fits, &pv}) ASSERT_EQ(t->error, "");

  // The analysis of variance table: SS F14.4 at 7, DF I5 at 24, MS F10.4 at
  // 31, F F10.4 at 43, P F8.4 at 57.
  std::size_t at = lineStarting(rep, " SOURCE SUMS OF SQUARES");
  int checked = 0;
  for (std::size_t i = at + 2; i < rep.size() && rep[i].rfind(" ---", 0) != 0; ++i) {
    std::string src = field(rep[i], 1, 6);
    src.erase(0, src.find_first_not_of(' '));
    const std::size_t row = rowWith(anova, {{"source", src}});
    agrees(anova.at(row, "ss"), field(rep[i], 7, 14), src + " ss");
    agrees(anova.at(row, "df"), field(rep[i], 24, 5) + ".", src + " df");
    if (src != "TOT") agrees(anova.at(row, "ms"), field(rep[i], 31, 10), src + " ms");
    const std::string f = field(rep[i], 43, 10), p = field(rep[i], 57, 8);
    if (isNumber(f) || f.find("NaN") != std::string::npos) {
      agrees(anova.at(row, "f"), f, src + " f");
      agrees(anova.at(row, "p"), p, src + " p");
      EXPECT_EQ(anova.at(row, "significant") == "TRUE", field(rep[i], 70, 4) == "SIG.") << src;
    }
    ++checked;
  }
  EXPECT_EQ(checked, 8);
  const std::size_t satt = findLine(rep, " *  SATTERTHWAITE APROXIMATION");
  if (satt < rep.size()) {
    const std::size_t t = rowWith(anova, {{"source", "T"}});
    EXPECT_EQ(anova.at(t, "error_term_case"), "4");
    agrees(anova.at(t, "error_df"), rep[satt + 2].substr(24), "Satterthwaite df");
    agrees(anova.at(t, "error_ms"), rep[satt + 3].substr(44), "Satterthwaite MS");
    agrees(anova.at(t, "f"), rep[satt + 4].substr(29), "Satterthwaite F");
    agrees(anova.at(t, "p"), rep[satt + 5].substr(52, 6), "Satterthwaite p");
  }

  // Readers-by-cases mean squares per treatment: F10.4 / F11.4 in strides of 13.
  at = lineStarting(rep, "                       READERS BY CASES ANOVAs");
  const int T = static_cast<int>(std::count_if(
      trt.rows.begin(), trt.rows.end(), [&](const auto& row) { return row[1].empty() && row[5].empty(); }));
  for (int t = 1; t <= T; ++t) {
    const std::size_t row = rowWith(trt, {{"reader", ""}, {"treatment", std::to_string(t)}, {"versus", ""}});
    agrees(trt.at(row, "ms_r"), field(rep[at + 6], 15 + 13 * (t - 1), 10), "MS R");
    agrees(trt.at(row, "ms_c"), field(rep[at + 7], 14 + 13 * (t - 1), 11), "MS C");
    agrees(trt.at(row, "ms_rc"), field(rep[at + 8], 14 + 13 * (t - 1), 11), "MS RC");
  }

  if (T == 2) {
    // Areas, errors, df and the interval of the difference.
    at = lineStarting(rep, " AREA      ");
    const std::size_t t1 = rowWith(trt, {{"reader", ""}, {"treatment", "1"}, {"versus", ""}});
    const std::size_t t2 = rowWith(trt, {{"reader", ""}, {"treatment", "2"}, {"versus", ""}});
    const std::size_t dd = rowWith(trt, {{"reader", ""}, {"treatment", "1"}, {"versus", "2"}});
    // F8.4 at columns 14, 28, 42; the df F7.0 at 15, 28, 43.
    const std::size_t rows[3] = {t1, t2, dd};
    const int valueAt[3] = {14, 28, 42}, dfAt[3] = {15, 28, 43};
    for (int k = 0; k < 3; ++k) {
      agrees(trt.at(rows[k], "area"), field(rep[at], valueAt[k], 8), "area");
      agrees(trt.at(rows[k], "se"), field(rep[at + 1], valueAt[k], 8), "se");
      agrees(trt.at(rows[k], "df"), field(rep[at + 2], dfAt[k], 7), "df");
    }
    const auto ci = bounds(rep[lineStarting(rep, " FOR TREATMENT 1 MINUS TREATMENT 2 IS (", at)]);
    agrees(trt.at(dd, "lower"), ci.first, "lower");
    agrees(trt.at(dd, "upper"), ci.second, "upper");

    // Each reader's cell means (F10.4 at 15 + 13 (t - 1)) and single-reader analysis.
    const std::size_t means = lineStarting(rep, "                               TREATMENT MEANS");
    const int R = static_cast<int>(fits.rows.size()) / T;
    for (int rd = 1; rd <= R; ++rd) {
      for (int t = 1; t <= 2; ++t) {
        const std::size_t row =
            rowWith(trt, {{"reader", std::to_string(rd)}, {"treatment", std::to_string(t)}, {"versus", ""}});
        agrees(trt.at(row, "area"),
               field(rep[means + 2 + static_cast<std::size_t>(rd)], 15 + 13 * (t - 1), 10), "cell mean");
      }
      const std::size_t head = lineStarting(
          rep, " READER" + std::string(4 - std::to_string(rd).size(), ' ') + std::to_string(rd) + ": ");
      ASSERT_LT(head + 7, rep.size());
      const std::size_t row = rowWith(trt, {{"reader", std::to_string(rd)}, {"versus", "2"}});
      agrees(trt.at(row, "se"), rep[head + 7].substr(17), "single-reader se");
      const auto b = bounds(rep[lineStarting(rep, " FOR TREATMENT 1 MINUS TREATMENT 2 IS (", head)]);
      agrees(trt.at(row, "lower"), b.first, "single-reader lower");
      agrees(trt.at(row, "upper"), b.second, "single-reader upper");
    }
  }

  // Binary ratings: each fit is degenerate with one point inside the square,
  // its operating point printed in F5.3; the pseudovalues of a cell average
  // to the cell mean.
  for (std::size_t i = 0; i < fits.rows.size(); ++i) {
    EXPECT_EQ(fits.at(i, "status"), "degenerate");
    EXPECT_EQ(fits.at(i, "degenerate_type"), "2");
    EXPECT_EQ(fits.at(i, "az"), "");
    EXPECT_EQ(fits.at(i, "jackknife"), "trapezoidal");
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, BinarySession,
                         ::testing::Values("two-treatments", "three-treatments", "undefined-errors"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

// A fitted study: every fit's figures against its printed report lines.
TEST(ConTables, FittedStudyAgreesWithEachFitsReport) {
  Folder work;
  fs::copy_file(fs::path(QUELBRO_SOURCE_DIR) / "examples" / "study.dat", work.path / "study.dat");
  const Outcome r = run(work.path, {"-q", "study.dat", "-o", "report.txt", "--results", "s"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> rep;
  for (std::string l : splitLines(slurp(work.path / "report.txt"))) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    rep.push_back(l);
  }
  const Table fits = testing_csv::readStrict((work.path / "s-fits.csv").string());
  ASSERT_EQ(fits.error, "");
  // The fits' reports come in the order of the table's rows.
  const std::pair<const char*, const char*> lines[] = {
      {"          A= ", "a"},
      {"          B= ", "b"},
      {"          STD. ERROR (A) = ", "se_a"},
      {"          STD. ERROR (B) = ", "se_b"},
      {"          CORR(A,B)      = ", "corr_ab"},
      {"      AREA UNDER FITTED CURVE (A-SUB-Z) = ", "az"},
      {"      ESTIMATED STD. ERROR OF A-SUB-Z = ", "se_az"},
      {"      TRAPEZOIDAL(WILCOXON) AREA = ", "trapezoidal_area"},
      {"      ESTIMATED STD. ERROR OF TRAPEZOIDAL AREA = ", "se_trapezoidal"}};
  std::size_t from = 0;
  for (std::size_t i = 0; i < fits.rows.size(); ++i) {
    SCOPED_TRACE("fit " + std::to_string(i + 1));
    ASSERT_EQ(fits.at(i, "status"), "fitted");
    const std::size_t start = lineStarting(rep, "      FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS", from);
    ASSERT_LT(start, rep.size());
    for (const auto& [label, column] : lines) {
      const std::size_t l = lineStarting(rep, label, start);
      ASSERT_LT(l, rep.size());
      agrees(fits.at(i, column), rep[l].substr(std::string(label).size()), column);
    }
    from = start + 1;
  }
  EXPECT_EQ(fits.rows.size(), 8u);
}

}  // namespace
}  // namespace quelbro
