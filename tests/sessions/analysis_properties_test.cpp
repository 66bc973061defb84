// Whole runs of the console program on rating and continuous studies whose
// fits converge: the screen is checked line by line against layout templates
// (numbers as fields of fixed width), and the numbers against what must hold
// between them: each cell's pseudovalue mean close to its fitted area, the
// sums of squares adding up to the total, mean squares, F ratios and their
// probabilities (from an F tail computed here), standard errors, degrees of
// freedom and intervals; the trapezoidal areas and operating points are
// worked out here from the ratings.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/fields.h"
#include "console/text_console.h"
#include "dialogue/program.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

using Lines = std::vector<std::string>;

// ----------------------------------------------------------------- helpers

struct Rng {  // splitmix64 with Box-Muller normals
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double uniform() { return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0; }
  double normal() { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); }
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Lines of a file written with CR LF line ends.
Lines crlfLines(const std::string& text) {
  Lines out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back(text.substr(start));
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

// Runs the console program in a fresh folder holding `study.dat`, answering
// to read it and to write the report to `report.out`.
struct ProgramRun {
  Lines screen;
  Lines report;
  double seconds = 0.0;
};

ProgramRun runStudy(const std::string& data) {
  std::string tmpl = (fs::temp_directory_path() / "quelbro-analysis-XXXXXX").string();
  EXPECT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path work = tmpl;
  std::ofstream(work / "study.dat", std::ios::binary) << data;
  ScriptedConsole console({"y", "study.dat", "y", "report.out", "q"});
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  const fs::path home = fs::current_path();
  fs::current_path(work);
  const auto t0 = std::chrono::steady_clock::now();
  runConsoleProgram(console, clock);
  const auto t1 = std::chrono::steady_clock::now();
  fs::current_path(home);
  ProgramRun run;
  run.screen = console.lines();
  run.report = crlfLines(slurp(work / "report.out"));
  run.seconds = std::chrono::duration<double>(t1 - t0).count();
  fs::remove_all(work);
  return run;
}

// A layout template: literal text with fields {Fw.d} (fixed-point number or
// NaN, exactly w columns), {Iw} (integer, w columns), {Aw} (any w
// characters) and {*} (anything to the end of the line). Matching fills the
// numbers in the order of the F and I fields.
class Template {
 public:
  explicit Template(const std::string& t) : text_(t) {
    std::string re;
    for (std::size_t i = 0; i < t.size();) {
      if (t[i] == '{') {
        std::size_t close = t.find('}', i);
        std::string f = t.substr(i + 1, close - i - 1);
        if (f == "*") {
          re += "(.*)";
          kinds_.push_back('*');
        } else {
          const char kind = f[0];
          const int w = std::stoi(f.substr(1));
          re += "(.{" + std::to_string(w) + "})";
          kinds_.push_back(kind);
          if (kind == 'F') decimals_.push_back(std::stoi(f.substr(f.find('.') + 1)));
          else decimals_.push_back(-1);
        }
        i = close + 1;
      } else {
        if (std::string("\\^$.|?*+()[]{}").find(t[i]) != std::string::npos) re += '\\';
        re += t[i];
        ++i;
      }
    }
    re_ = std::regex(re);
  }

  bool match(const std::string& line, std::vector<double>* numbers = nullptr) const {
    std::smatch m;
    if (!std::regex_match(line, m, re_)) return false;
    std::size_t dec = 0;
    for (std::size_t g = 0; g < kinds_.size(); ++g) {
      const std::string field = m[static_cast<int>(g) + 1].str();
      if (kinds_[g] == 'F') {
        const int d = decimals_[dec++];
        static const std::regex nanField(" *NaN");
        const std::regex num(" *-?[0-9]*\\.[0-9]{" + std::to_string(d) + "}");
        if (std::regex_match(field, nanField)) {
          if (numbers) numbers->push_back(std::nan(""));
        } else if (std::regex_match(field, num)) {
          if (numbers) numbers->push_back(std::stod(field));
        } else {
          return false;
        }
      } else if (kinds_[g] == 'I') {
        ++dec;
        static const std::regex integer(" *-?[0-9]+");
        if (!std::regex_match(field, integer)) return false;
        if (numbers) numbers->push_back(std::stod(field));
      } else if (kinds_[g] == 'A') {
        ++dec;
      }
    }
    return true;
  }
  const std::string& text() const { return text_; }
  // How many numbers a matching line gives (its F and I fields).
  std::size_t numberCount() const {
    std::size_t n = 0;
    for (char k : kinds_) n += (k == 'F' || k == 'I') ? 1 : 0;
    return n;
  }

 private:
  std::string text_;
  std::regex re_;
  std::vector<char> kinds_;
  std::vector<int> decimals_;
};

// Matches consecutive screen lines from `at` against the templates; returns
// the numbers of every line, in order, and advances `at`. A line that does not
// match (or is missing) is reported and gives NaN for each of its numbers, so
// that the checks after it fail instead of reading past the end of a row.
std::vector<std::vector<double>> expectBlock(const Lines& lines, std::size_t& at, const Lines& templates,
                                             const std::string& what) {
  std::vector<std::vector<double>> numbers;
  bool ended = false;
  for (const std::string& t : templates) {
    const Template tmpl(t);
    std::vector<double> nums;
    if (at >= lines.size()) {
      if (!ended) ADD_FAILURE() << what << ": the screen ends where [" << t << "] was expected";
      ended = true;
    } else if (!tmpl.match(lines[at], &nums)) {
      ADD_FAILURE() << what << ", line " << at + 1 << "\n  template: [" << t << "]\n  line:     [" << lines[at]
                    << "]";
      nums.clear();
    }
    if (nums.size() != tmpl.numberCount()) nums.assign(tmpl.numberCount(), std::nan(""));
    numbers.push_back(nums);
    if (!ended) ++at;
  }
  return numbers;
}

TEST(AnalysisOfRatings, AMismatchedReportLineGivesNaNsNotAShortRow) {
  const Lines screen = {" A=  0.5000", " SOMETHING ELSE"};
  std::size_t at = 0;
  std::vector<std::vector<double>> rows;
  EXPECT_NONFATAL_FAILURE(rows = expectBlock(screen, at, {" A={F8.4}", " B={F8.4}  C={I3}"}, "test"),
                          "line 2");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], std::vector<double>{0.5});
  ASSERT_EQ(rows[1].size(), 2u);
  EXPECT_TRUE(std::isnan(rows[1][0]) && std::isnan(rows[1][1]));
  // Beyond the end of the screen.
  EXPECT_NONFATAL_FAILURE(rows = expectBlock(screen, at, {" D={F8.4}", " E={I3}"}, "test"),
                          "the screen ends");
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[1].size(), 1u);
  EXPECT_TRUE(std::isnan(rows[1][0]));
  EXPECT_EQ(at, screen.size());
}

std::size_t findLine(const Lines& lines, const std::string& text, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].find(text) != std::string::npos) return i;
  return lines.size();
}

std::string pad(const std::string& s, std::size_t n) {
  std::string r = s.substr(0, n);
  r.resize(n, ' ');
  return r;
}

// ------------------------------------------------------ independent numbers

// Two-sided 5% t critical value: the published table to 7 df, then the
// Cornish-Fisher expansion about z = 1.96 (A&S 26.7.5).
double tTable(int n) {
  static const double table[7] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365};
  if (n >= 1 && n <= 7) return table[n - 1];
  const double z = 1.96, z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z, z9 = z7 * z * z;
  const double g1 = (z3 + z) / 4, g2 = (5 * z5 + 16 * z3 + 3 * z) / 96;
  const double g3 = (3 * z7 + 19 * z5 + 17 * z3 - 15 * z) / 384;
  const double g4 = (79 * z9 + 776 * z7 + 1482 * z5 - 1920 * z3 - 945 * z) / 92160;
  const double dn = n;
  return z + g1 / dn + g2 / (dn * dn) + g3 / (dn * dn * dn) + g4 / (dn * dn * dn * dn);
}

// Upper tail of the F distribution: the beta distribution of
// x = d1 F / (d1 F + d2) integrated by Simpson's rule, over the shorter side
// of x, with a square substitution at the end point that removes the
// singularity of the density there.
double fUpperTail(double f, double d1, double d2) {
  const double a = d1 / 2, b = d2 / 2;
  const double x0 = d1 * f / (d1 * f + d2);
  const double lbeta = std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b);
  const bool lowerSide = x0 < 0.5;
  // lower side: x = x0 w^2; upper side: x = 1 - (1 - x0) w^2; w from 0 to 1.
  auto g = [&](double w) {
    if (lowerSide) {
      const double x = x0 * w * w;
      return 2.0 * std::pow(w, 2 * a - 1) * std::exp(a * std::log(x0) + (b - 1) * std::log1p(-x) - lbeta);
    }
    const double x = 1.0 - (1.0 - x0) * w * w;
    return 2.0 * std::pow(w, 2 * b - 1) * std::exp(b * std::log1p(-x0) + (a - 1) * std::log(x) - lbeta);
  };
  const int n = 20000;
  const double h = 1.0 / n;
  double s = g(0.0) + g(1.0);
  for (int i = 1; i < n; ++i) s += g(i * h) * (i % 2 == 1 ? 4.0 : 2.0);
  const double part = s * h / 3.0;
  return lowerSide ? 1.0 - part : part;
}

TEST(AnalysisOfRatings, FTailUsedForCheckingAgreesWithClosedForms) {
  // P(F(2, d2) > f) = (1 + 2 f / d2)^(-d2 / 2); F(d, d) has median 1;
  // P(F(1, 1) > f) = 1 - (2 / pi) atan(sqrt(f)).
  for (double f : {0.05, 0.7, 1.0, 3.0, 12.0})
    for (double d2 : {1.0, 4.0, 59.0}) EXPECT_NEAR(fUpperTail(f, 2, d2), std::pow(1 + 2 * f / d2, -d2 / 2), 1e-7);
  for (double d : {1.0, 2.0, 59.0, 143.0}) EXPECT_NEAR(fUpperTail(1.0, d, d), 0.5, 1e-7);
  for (double f : {0.01, 0.5, 2.0, 40.0})
    EXPECT_NEAR(fUpperTail(f, 1, 1), 1 - 2 / 3.141592653589793 * std::atan(std::sqrt(f)), 1e-7);
}

// ------------------------------------------------------ the rating study

struct RatingStudy {
  int R = 2, T = 2, n0 = 30, n1 = 30;
  // ratings[r][t][case], negatives first.
  std::vector<std::vector<std::vector<int>>> ratings;
  std::string file;
};

RatingStudy makeRatingStudy(std::uint64_t seed) {
  RatingStudy st;
  Rng rng{seed};
  const int n = st.n0 + st.n1;
  std::vector<double> caseEffect(static_cast<std::size_t>(n));
  for (double& e : caseEffect) e = 0.5 * rng.normal();
  st.ratings.assign(2, std::vector<std::vector<int>>(2, std::vector<int>(static_cast<std::size_t>(n))));
  const double cut[4] = {-0.6, 0.2, 0.9, 1.7};
  for (int r = 0; r < st.R; ++r)
    for (int t = 0; t < st.T; ++t) {
      const double mu = 1.1 + 0.3 * t - 0.2 * r;
      for (int c = 0; c < n; ++c) {
        const double x = caseEffect[static_cast<std::size_t>(c)] + (c >= st.n0 ? mu : 0.0) + 0.85 * rng.normal();
        int rating = 1;
        for (double k : cut)
          if (x > k) ++rating;
        st.ratings[static_cast<std::size_t>(r)][static_cast<std::size_t>(t)][static_cast<std::size_t>(c)] = rating;
      }
    }
  std::ostringstream f;
  f << "Rating study, two readers, two treatments\n";
  const char* names[2] = {"Dr. Rating One", "Dr. Rating Two"};
  for (int r = 0; r < st.R; ++r) {
    f << names[r] << "\n";
    if (r == 0) f << "\"Plain film\" \"Tomography\"\nL L\n";
    for (int c = 0; c < n; ++c) {
      if (c == st.n0) f << "*\n";
      f << st.ratings[static_cast<std::size_t>(r)][0][static_cast<std::size_t>(c)] << " "
        << st.ratings[static_cast<std::size_t>(r)][1][static_cast<std::size_t>(c)] << "\n";
    }
    f << "*\n";
  }
  f << "#\n";
  st.file = f.str();
  return st;
}

// Every rating appears in both truth states: the rating groups are the
// categories.
bool everyRatingMixed(const RatingStudy& st) {
  for (const auto& byT : st.ratings)
    for (const auto& v : byT)
      for (int g = 1; g <= 5; ++g) {
        bool neg = false, pos = false;
        for (int c = 0; c < st.n0 + st.n1; ++c)
          if (v[static_cast<std::size_t>(c)] == g) (c < st.n0 ? neg : pos) = true;
        if (!neg || !pos) return false;
      }
  return true;
}

TEST(AnalysisOfRatings, ConvergingFitsGiveAConsistentReport) {
  // The first study from a fixed seed on in which every rating occurs in both
  // truth states for every reader and treatment.
  RatingStudy st;
  for (std::uint64_t seed = 2026; seed < 3026; ++seed) {
    st = makeRatingStudy(seed);
    if (everyRatingMixed(st)) break;
  }
  ASSERT_TRUE(everyRatingMixed(st));
  const ProgramRun run = runStudy(st.file);
  const Lines& s = run.screen;
  const int R = st.R, C = st.n0 + st.n1;
  const std::string date = "08-Dec-26", time = "10:30:00";

  // Per reader and treatment: the fit report, whose areas are kept.
  double az[2][2] = {};
  std::size_t at = findLine(s, " --- program is reading input data; please wait ---");
  ASSERT_LT(at, s.size());
  ++at;
  expectBlock(s, at, {" ", " "}, "after reading");
  const char* names[2] = {"Dr. Rating One", "Dr. Rating Two"};
  const char* des[2] = {"Plain film", "Tomography"};
  for (int r = 0; r < R; ++r) {
    expectBlock(s, at, {" "}, "after the reader name");
    if (r == 0) expectBlock(s, at, {" "}, "after the treatment header");
    expectBlock(s, at, {" Starting Analysis for reader" + I(r + 1, 12)}, "start");
    for (int t = 0; t < 2; ++t) {
      const auto& v = st.ratings[static_cast<std::size_t>(r)][static_cast<std::size_t>(t)];
      Lines head = {"",
                    std::string(60, ' ') + "DATE - " + date,
                    std::string(61, ' ') + "TIME - " + time,
                    "", "", "", "", "", "",
                    "      " + pad("QUELBRO (DOS version 1.0 beta):", 60),
                    "          " + pad("Rating study, two readers, two treatments", 60),
                    "",
                    "          Reader:    " + pad(names[r], 20),
                    "          Treatment: " + pad(des[t], 12),
                    "", "",
                    "      LARGER VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE",
                    "      CASE IS ACTUALLY POSITIVE (E.G., THAT THE PATIENT IS ACTUALLY DISEASED)",
                    "",
                    "      NO. OF ACTUALLY-NEGATIVE CASES =" + I(st.n0, 6),
                    "      NO. OF ACTUALLY-POSITIVE CASES =" + I(st.n1, 6),
                    "",
                    "      OPERATING POINTS CORRESPONDING TO THE CATEGORIZED INPUT DATA:"};
      expectBlock(s, at, head, "fit header");
      // Operating points from (0,0) to (1,1), worked out from the ratings.
      std::string fpf = "       FPF: ", tpf = "       TPF: ";
      for (int i = 6; i >= 1; --i) {
        double nf = 0, nt = 0;
        for (int c = 0; c < C; ++c)
          if (v[static_cast<std::size_t>(c)] >= i) (c < st.n0 ? nf : nt) += 1;
        fpf += F(nf / st.n0, 5, 3) + " ";
        tpf += F(nt / st.n1, 5, 3) + " ";
      }
      expectBlock(s, at, {fpf, tpf, "", "", "--- program is running; please wait ---"}, "operating points");
      // Trapezoidal area pair by pair and its Hanley-McNeil error.
      double w = 0;
      for (int i = 0; i < st.n0; ++i)
        for (int j = st.n0; j < C; ++j) {
          const int x = v[static_cast<std::size_t>(i)], y = v[static_cast<std::size_t>(j)];
          w += x < y ? 1.0 : (x == y ? 0.5 : 0.0);
        }
      const double a = w / (st.n0 * st.n1);
      const double q1 = a / (2 - a), q2 = 2 * a * a / (1 + a);
      const double var =
          (a * (1 - a) + (st.n1 - 1) * (q1 - a * a) + (st.n0 - 1) * (q2 - a * a)) / (st.n0 * st.n1);
      auto nums = expectBlock(
          s, at,
          {"", "", "      FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS A AND B:", "          A= {F7.4}",
           "          B= {F7.4}", "", "", "      ESTIMATED STD. DEV. AND CORRELATION OF THESE PARAMETER VALUES:",
           "          STD. ERROR (A) = {F7.4}", "          STD. ERROR (B) = {F7.4}",
           "          CORR(A,B)      = {F7.4}", "", "", "", "      AREA UNDER FITTED CURVE (A-SUB-Z) = {F7.4}",
           "      ESTIMATED STD. ERROR OF A-SUB-Z = {F7.4}", "",
           "      TRAPEZOIDAL(WILCOXON) AREA = " + F(a, 7, 4),
           "      ESTIMATED STD. ERROR OF TRAPEZOIDAL AREA = " + F(std::sqrt(var), 7, 4)},
          "final estimates");
      ASSERT_EQ(nums.size(), 19u);
      ASSERT_EQ(nums[14].size(), 1u);
      az[r][t] = nums[14][0];
      // The fitted area from A and B: Phi(A / sqrt(1 + B^2)), to the printed digits.
      const double A = nums[3][0], B = nums[4][0];
      EXPECT_NEAR(az[r][t], 0.5 * std::erfc(-A / std::sqrt(1 + B * B) / std::sqrt(2.0)), 2e-3);
    }
  }
  expectBlock(s, at, {" "}, "after the closing line");
  const std::size_t analysisStart = at;

  // The analysis: first pass.
  auto head = expectBlock(
      s, at,
      {std::string(60, ' ') + "DATE - " + date, std::string(61, ' ') + "TIME - " + time, "", "", "", "",
       std::string(31, ' ') + "KORV16  1.55",
       std::string(11, ' ') + "MULTIREADER-MULTICASE ROC ANALYSIS OF VARIANCE USING",
       std::string(26, ' ') + "GAUSSIAN DISTRIBUTION", std::string(18, ' ') + "{*}", std::string(27, ' ') + "{*}",
       "", "", " NOTE : PSEUDOVALUES ARE UNCONSTRAINED.", "",
       " SOURCE SUMS OF SQUARES    DF    MEAN SQUARES F RATIOS    PROB.   DECISION",
       " ------ --------------- -------- ------------ ----------- ----------------",
       "   TOT{F14.4}   {I5}"},
      "analysis header");
  ASSERT_GE(s.size(), at + 10);
  const bool case4 = s[at].size() >= 50 && s[at][49] == '*';
  Lines rows;
  const std::string tested = "{F14.4}   {I5}  {F10.4}  {F10.4}    {F8.4}     {A10}";
  const std::string starred = "{F14.4}   {I5}  {F10.4}         *           *";
  rows.push_back("     T" + (case4 ? starred : tested));
  rows.push_back("     C" + tested);
  rows.push_back("     R" + tested);
  rows.push_back("    TC" + tested);
  rows.push_back("    TR" + tested);
  auto table = expectBlock(s, at, rows, "analysis table");
  const bool nottrc = s[at].size() >= 51 && s[at].substr(49, 2) == "**";
  auto lower = expectBlock(s, at,
                           {"    RC" + (nottrc ? std::string("{F14.4}   {I5}  {F10.4}         **          **")
                                              : tested),
                            "   TRC{F14.4}   {I5}  {F10.4}", " " + std::string(73, '-'), "  ALPHA EQUALS 0.05."},
                           "analysis table");
  ASSERT_EQ(table.size(), 5u);
  ASSERT_EQ(lower.size(), 4u);

  // The table's numbers: SS, df, MS, F, P per source.
  struct Row {
    double ss, df, ms, f, p;
  };
  auto rowOf = [](const std::vector<double>& v) {
    Row r{v.at(0), v.at(1), v.size() > 2 ? v[2] : NAN, v.size() > 3 ? v[3] : NAN, v.size() > 4 ? v[4] : NAN};
    return r;
  };
  const Row TOT = rowOf(head.back()), T_ = rowOf(table[0]), C_ = rowOf(table[1]), R_ = rowOf(table[2]),
            TC = rowOf(table[3]), TR = rowOf(table[4]), RC = rowOf(lower[0]), TRC = rowOf(lower[1]);
  // Sums of squares add up to the total, to the rounding of eight printed values.
  EXPECT_NEAR(TOT.ss, T_.ss + C_.ss + R_.ss + TC.ss + TR.ss + RC.ss + TRC.ss, 8 * 0.00005 + 1e-9);
  EXPECT_EQ(TOT.df, 2 * R * C - 1);
  EXPECT_EQ(T_.df, 1);
  EXPECT_EQ(C_.df, C - 1);
  EXPECT_EQ(R_.df, R - 1);
  EXPECT_EQ(TC.df, C - 1);
  EXPECT_EQ(TR.df, R - 1);
  EXPECT_EQ(RC.df, (R - 1) * (C - 1));
  EXPECT_EQ(TRC.df, (R - 1) * (C - 1));
  for (const Row* row : {&T_, &C_, &R_, &TC, &TR, &RC, &TRC})
    EXPECT_NEAR(row->ms, row->ss / row->df, 0.00005 + 0.00005 / row->df + 1e-9);
  // F ratios over their error terms, and their probabilities.
  auto checkTest = [&](const Row& src, const Row& err, const char* name) {
    const double f = src.ms / err.ms;
    EXPECT_NEAR(src.f, f, 0.0001 + f * (0.00005 / src.ms + 0.00005 / err.ms)) << name;
    const double p = fUpperTail(src.f, src.df, err.df);
    EXPECT_NEAR(src.p, p, 3e-4) << name;
  };
  checkTest(C_, RC, "C");
  checkTest(R_, RC, "R");
  checkTest(TC, TRC, "TC");
  checkTest(TR, TRC, "TR");
  if (!nottrc) checkTest(RC, TRC, "RC");
  const bool trOver = TR.f > 1, tcOver = TC.f > 1;
  EXPECT_EQ(nottrc, trOver || tcOver);
  EXPECT_EQ(case4, trOver && tcOver);
  double errMs = TRC.ms, errDf = TRC.df;
  if (trOver && !tcOver) errMs = TR.ms, errDf = TR.df;
  if (!trOver && tcOver) errMs = TC.ms, errDf = TC.df;
  if (case4) {
    errMs = TR.ms + TC.ms - TRC.ms;
    errDf = errMs * errMs / (TRC.ms * TRC.ms / TRC.df + TC.ms * TC.ms / TC.df + TR.ms * TR.ms / TR.df);
  } else {
    checkTest(T_, Row{0, errDf, errMs, 0, 0}, "T");
  }
  // Decisions: "SIG." exactly where the probability is at most 0.05.
  for (std::size_t k = 0; k < table.size(); ++k) {
    ASSERT_LT(analysisStart + 18 + k, s.size());
    const std::string& line = s[analysisStart + 18 + k];
    if (k == 0 && case4) continue;
    const double p = table[k][4];
    EXPECT_EQ(line.substr(69), p <= 0.05 ? "SIG.      " : "          ") << line;
  }

  // Satterthwaite block or the error-term message.
  if (case4) {
    auto sat = expectBlock(s, at,
                           {"", " *  SATTERTHWAITE APROXIMATION :", "", "      SATTERTHWAITE DF ={F6.0}",
                            "      SATTERTHWAITE MEAN SQUARE ERROR TERM ={F8.4}",
                            "      SATTERTHWAITE F RATIO = {F8.4}",
                            "      THE SATTERTHWAITE F RATIO HAS A PROB. VALUE OF{F6.4} AND IT IS", "      {*}"},
                           "Satterthwaite block");
    EXPECT_NEAR(sat[4][0], errMs, 0.0002);
    EXPECT_NEAR(sat[5][0], T_.ms / errMs, 0.01 * std::fabs(T_.ms / errMs) + 0.001);
    EXPECT_NEAR(sat[6][0], fUpperTail(sat[5][0], 1, errDf), 2e-3);
  } else if (trOver) {
    expectBlock(s, at,
                {"", " *  TC SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TR MEAN SQUARE",
                 "    USED AS AN ERROR TERM.", ""},
                "case 2");
  } else if (tcOver) {
    expectBlock(s, at,
                {"", " *  TR SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TC MEAN SQUARE",
                 "    USED AS AN ERROR TERM.", ""},
                "case 3");
  } else {
    expectBlock(s, at,
                {"", " *  TR AND TC SOURCE OF VARIANCE ARE ASSUMED NEGLIGIBLE. THEREFORE, TRC MEAN",
                 "    SQUARE USED AS AN ERROR TERM.", ""},
                "case 1");
  }
  if (nottrc)
    expectBlock(s, at,
                {"", " ** TRC SOURCE OF VARIANCE MAY NOT BE NEGLIGIBLE. THEREFORE, READER BY",
                 "    CASE INTERACTION IS NOT TESTED.", ""},
                "TRC message");

  // Readers by cases.
  auto rbc = expectBlock(
      s, at,
      {"", std::string(23, ' ') + "READERS BY CASES ANOVAs", "", std::string(29, ' ') + "MEAN SQUARES",
       pad(" SOURCE    DF     TREAT 1      TREAT 2 ", 80), pad(std::string(16, ' ') + pad(des[0], 13) + des[1], 80),
       "", "     R   {I4} {F10.4}   {F10.4}", "     C   {I4}{F11.4}  {F11.4}", "    RC   {I4}{F11.4}  {F11.4}"},
      "readers by cases");
  const double msR[2] = {rbc[7][1], rbc[7][2]}, msC[2] = {rbc[8][1], rbc[8][2]}, msRC[2] = {rbc[9][1], rbc[9][2]};
  EXPECT_EQ(rbc[7][0], R - 1);
  EXPECT_EQ(rbc[8][0], C - 1);
  EXPECT_EQ(rbc[9][0], (R - 1) * (C - 1));

  // Second pass: standard errors and the interval of the difference.
  auto se = expectBlock(
      s, at,
      {"", std::string(12, ' ') + "STANDARD ERRORS AND 95% CONFIDENCE INTERVAL", std::string(23, ' ') + "FOR KORV ANALYSES",
       "", "               TREATMENT 1   TREATMENT 2  DIFFERENCE", std::string(15, ' ') + pad(des[0], 14) + pad(des[1], 12),
       " AREA        {F8.4}      {F8.4}      {F8.4}", " STD. ERROR  {F8.4}      {F8.4}      {F8.4}",
       std::string(" DF           {F7.0}*     {F7.0}*       {F7.0}") + (case4 ? "*" : " "), "     * SATTERTHWAITE DF.", "",
       " THE 95% CONFIDENCE INTERVAL FOR THE POPULATION MEAN DIFFERENCE",
       " FOR TREATMENT 1 MINUS TREATMENT 2 IS ({F6.4},{F6.4})", "", "", " READER MEANS:- ",
       "   1 " + pad(names[0], 12) + "  {F6.4}", "   2 " + pad(names[1], 12) + "  {F6.4}", "", " TREATMENT MEANS:- ",
       "   1 " + pad(des[0], 12) + "  {F6.4}", "   2 " + pad(des[1], 12) + "  {F6.4}", "",
       std::string(31, ' ') + "TREATMENT MEANS", "    READER          1            2",
       pad(std::string(16, ' ') + pad(des[0], 13) + des[1], 80), "   1 " + pad(names[0], 9) + "{F10.4}   {F10.4}",
       "   2 " + pad(names[1], 9) + "{F10.4}   {F10.4}", ""},
      "second pass");
  ASSERT_EQ(se.size(), 29u);
  const double cell[2][2] = {{se[26][0], se[26][1]}, {se[27][0], se[27][1]}};

  // Each cell's pseudovalue mean lies close to its fitted area.
  for (int r = 0; r < 2; ++r)
    for (int t = 0; t < 2; ++t) EXPECT_NEAR(cell[r][t], az[r][t], 0.02) << "reader " << r + 1 << " treatment " << t + 1;
  // Means of the cells.
  for (int r = 0; r < 2; ++r) EXPECT_NEAR(se[16 + r][0], (cell[r][0] + cell[r][1]) / 2, 1.1e-4);
  for (int t = 0; t < 2; ++t) EXPECT_NEAR(se[20 + t][0], (cell[0][t] + cell[1][t]) / 2, 1.1e-4);
  const double m1 = se[6][0], m2 = se[6][1];
  EXPECT_NEAR(m1, se[20][0], 1e-4);
  EXPECT_NEAR(m2, se[21][0], 1e-4);
  EXPECT_NEAR(se[6][2], m1 - m2, 1.1e-4);
  // Treatment standard errors and Satterthwaite df from the readers-by-cases mean squares.
  for (int t = 0; t < 2; ++t) {
    const double v = msR[t] + msC[t] - msRC[t];
    ASSERT_GT(v, 0.0);
    EXPECT_NEAR(se[7][static_cast<std::size_t>(t)], std::sqrt(v / (R * C)), 2e-4);
    const double df = v * v / (msRC[t] * msRC[t] / ((R - 1) * (C - 1)) + msC[t] * msC[t] / (C - 1) +
                               msR[t] * msR[t] / (R - 1));
    EXPECT_NEAR(se[8][static_cast<std::size_t>(t)], df, 0.02 * df + 1.0);
  }
  // The difference: error term of the treatment test, its df, the interval.
  const double seDiff = std::sqrt(2.0 / (R * C) * errMs);
  EXPECT_NEAR(se[7][2], seDiff, 2e-4);
  EXPECT_NEAR(se[8][2], errDf, case4 ? 0.02 * errDf + 1.0 : 0.0);
  const double half = tTable(static_cast<int>(std::lround(se[8][2]))) * se[7][2];
  EXPECT_NEAR(se[12][0], se[6][2] - half, 3e-4);
  EXPECT_NEAR(se[12][1], se[6][2] + half, 3e-4);

  // Single-reader analyses.
  expectBlock(s, at, {"", "", std::string(21, ' ') + "SINGLEREADER-MULTICASES ROC ANALYSIS"}, "single reader");
  for (int r = 0; r < 2; ++r) {
    auto sr = expectBlock(
        s, at,
        {"", " " + std::string(55, '='), " READER" + I(r + 1, 4) + ": " + pad(names[r], 20), " " + std::string(30, '_'),
         "     TREATMENT MEANS", "      1            2", pad("    " + pad(des[0], 13) + des[1], 80),
         "  {F8.4}     {F8.4}", "", " SE(MEAN DIFF) = {F8.4}", " t(.025,DF= 59) =" + F(tTable(C - 1), 8, 4), "",
         " THE 95% CONFIDENCE INTERVAL FOR THE POPULATION MEAN DIFFERENCE",
         " FOR TREATMENT 1 MINUS TREATMENT 2 IS ({F6.4},{F6.4})", "", " " + std::string(55, '=')},
        "single reader");
    EXPECT_NEAR(sr[7][0], cell[r][0], 1e-12);
    EXPECT_NEAR(sr[7][1], cell[r][1], 1e-12);
    const double d = cell[r][0] - cell[r][1], h = tTable(C - 1) * sr[9][0];
    EXPECT_NEAR(sr[13][0], d - h, 2.5e-4);
    EXPECT_NEAR(sr[13][1], d + h, 2.5e-4);
  }
  // The end of the file begins a new cycle.
  expectBlock(s, at, {"", "", "", "", "", "", "", std::string(60, ' ') + "DATE - " + date}, "new cycle");
  EXPECT_EQ(findLine(s, "REFERENCE"), s.size()) << "the reference block goes to the report file only";

  // The report file holds the same analysis, then the reference block.
  const Lines analysis(s.begin() + static_cast<long>(analysisStart), s.begin() + static_cast<long>(at) - 8);
  const std::size_t inFile = findLine(run.report, "KORV16  1.55");
  ASSERT_LT(inFile, run.report.size());
  ASSERT_GE(inFile, 6u);
  const Lines fileAnalysis(run.report.begin() + static_cast<long>(inFile) - 6, run.report.end());
  ASSERT_EQ(fileAnalysis.size(), analysis.size() + 9);
  for (std::size_t i = 0; i < analysis.size(); ++i) EXPECT_EQ(fileAnalysis[i], analysis[i]) << i;
  const Lines tail(fileAnalysis.end() - 9, fileAnalysis.end());
  EXPECT_EQ(tail[4], std::string(26, ' ') + "REFERENCE");
  for (int k = 0; k < 4; ++k) EXPECT_EQ(tail[static_cast<std::size_t>(k)], "");
}

// ------------------------------------------------------- the large study

std::string continuousStudy(int readers, int treatments, int n0, int n1, std::uint64_t seed) {
  Rng rng{seed};
  std::string out;
  out.reserve(static_cast<std::size_t>(readers) * (n0 + n1) * treatments * 10 + 1000);
  out += "Continuous results, ten readers, five treatments\n";
  char buf[32];
  for (int r = 1; r <= readers; ++r) {
    out += "Reader " + std::to_string(r) + "\n";
    if (r == 1) {
      for (int t = 1; t <= treatments; ++t) out += "\"Mode " + std::to_string(t) + "\" ";
      out += "\n";
      for (int t = 1; t <= treatments; ++t) out += t % 2 == 0 ? "S " : "L ";
      out += "\n";
    }
    for (int c = 0; c < n0 + n1; ++c) {
      if (c == n0) out += "*\n";
      for (int t = 1; t <= treatments; ++t) {
        double x = rng.normal() + (c >= n0 ? 0.8 + 0.1 * t : 0.0);
        if (t % 2 == 0) x = -x;  // smaller values abnormal
        std::snprintf(buf, sizeof buf, "%.3f ", x);
        out += buf;
      }
      out += "\n";
    }
    out += "*\n";
  }
  out += "#\n";
  return out;
}

TEST(AnalysisOfContinuousResults, TenReadersFiveTreatmentsFourThousandCasesRunToTheEnd) {
#if defined(__SANITIZE_ADDRESS__)
  const bool sanitized = true;
#else
  const bool sanitized = false;
#endif
  const ProgramRun run = runStudy(continuousStudy(10, 5, 2000, 2000, 77));
  const Lines& s = run.screen;
  EXPECT_LT(run.seconds, sanitized ? 60.0 : 20.0);
  for (int r = 1; r <= 10; ++r)
    EXPECT_LT(findLine(s, " Starting Analysis for reader" + I(r, 12)), s.size()) << "reader " << r;
  // No fit on all cases failed.
  EXPECT_EQ(findLine(s, " Degenerate"), s.size());
  // The analysis table: 199999 total df overflow the five-column field.
  const std::size_t tot = findLine(s, "   TOT");
  ASSERT_LT(tot, s.size());
  EXPECT_TRUE(Template("   TOT{F14.4}   *****").match(s[tot])) << s[tot];
  const std::string tested = "{F14.4}   {I5}  {F10.4}  {F10.4}    {F8.4}     {A10}";
  EXPECT_TRUE(Template("     C{F14.4}   {I5}  {F10.4}  {F10.4}    {F8.4}     {A10}").match(s[tot + 2])) << s[tot + 2];
  EXPECT_TRUE(Template("     R{F14.4}   {I5}  {F10.4}  {F10.4}    {F8.4}     {A10}").match(s[tot + 3])) << s[tot + 3];
  // Five columns of readers-by-cases mean squares, the last heading entry in columns 71-77.
  const std::size_t rbc = findLine(s, "READERS BY CASES ANOVAs");
  ASSERT_LT(rbc + 4, s.size());
  EXPECT_EQ(s[rbc + 3].substr(70, 7), "TREAT 5");
  EXPECT_TRUE(Template("     R   {I4} {F10.4}   {F10.4}   {F10.4}   {F10.4}   {F10.4}").match(s[rbc + 6]))
      << s[rbc + 6];
  // Five treatments: no interval blocks; the report file ends with the reference block.
  EXPECT_EQ(findLine(s, "STANDARD ERRORS AND 95% CONFIDENCE INTERVAL"), s.size());
  EXPECT_EQ(findLine(s, "SINGLEREADER-MULTICASES ROC ANALYSIS"), s.size());
  ASSERT_GE(run.report.size(), 5u);
  EXPECT_EQ(run.report[run.report.size() - 5], std::string(26, ' ') + "REFERENCE");
  // The next cycle was reached and answered.
  EXPECT_EQ(s.back(), " run? (Y/N, R to restart, or Q to quit)");
}

}  // namespace
}  // namespace quelbro
