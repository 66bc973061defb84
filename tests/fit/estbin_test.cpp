// One fit end to end: what ESTBIN returns and writes for degenerate,
// non-converged and converged fits, on all cases and with a case left out.
#include "fit/estbin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "console/text_console.h"

namespace quelbro {
namespace {

using Lines = std::vector<std::string>;

struct FitRun {
  LineCollector screen, file;
  Destinations out{screen, &file};
  FitContext ctx;
  CatTab ct;
  FitRun(const std::vector<double>& neg, const std::vector<double>& pos) {
    ctx.out = &out;
    ctx.title = "Example study";
    ctx.datdes = "Generated counts";
    ctx.readerName = "Reader one";
    ctx.treatmentDes = "Film";
    ctx.date = "08-Dec-26";
    ctx.time = "10:30:00";
    ctx.maxdec = 1;
    ct.NCAT = static_cast<int>(neg.size());
    ct.KHIGH = ct.NCAT;
    for (int c = 1; c <= ct.NCAT; ++c) {
      ct.CNEG[c] = neg[c - 1];
      ct.CPOS[c] = pos[c - 1];
      ct.NNEG += static_cast<int>(neg[c - 1]);
      ct.NPOS += static_cast<int>(pos[c - 1]);
      if (c < ct.NCAT) ct.CUTS[c] = c + 0.5;
    }
  }
  double fit(int ileave) { return ESTBIN(ct, ileave, 1, 1, ctx); }
};

bool has(const Lines& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

int indexOf(const Lines& lines, const std::string& text) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == text) return static_cast<int>(i);
  return -1;
}

const std::string kRunning = "--- program is running; please wait ---";

// Rounded expected counts of 200000 cases per truth state from A = 1.2,
// B = 0.8 and cut-offs -0.5, 0.3, 1.0, 1.6 (probabilities with erfc).
void workedExample(std::vector<double>& neg, std::vector<double>& pos) {
  auto phi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  const double z[] = {-1e300, -0.5, 0.3, 1.0, 1.6, 1e300};
  neg.clear();
  pos.clear();
  for (int c = 0; c < 5; ++c) {
    neg.push_back(std::round(200000 * (phi(z[c + 1]) - phi(z[c]))));
    pos.push_back(std::round(200000 * (phi(0.8 * z[c + 1] - 1.2) - phi(0.8 * z[c] - 1.2))));
  }
}

TEST(Estbin, ConvergedFitReturnsTheAreaAndWritesTheReport) {
  std::vector<double> neg, pos;
  workedExample(neg, pos);
  FitRun r(neg, pos);
  // Area by hand: Phi(1.2 / sqrt(1.64)) = Phi(0.937043) = 0.825632.
  EXPECT_NEAR(r.fit(0), 0.825632, 5e-5);
  const Lines& s = r.screen.lines();
  EXPECT_TRUE(has(s, "NO. OF ACTUALLY-NEGATIVE CASES =" + std::to_string(r.ct.NNEG)));
  EXPECT_TRUE(has(s, "OPERATING POINTS CORRESPONDING TO THE CATEGORIZED INPUT DATA:"));
  const int running = indexOf(s, kRunning);
  const int final = indexOf(s, "      FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS A AND B:");
  ASSERT_GE(running, 0);
  EXPECT_EQ(final, running + 3);  // two empty lines open the final block
  EXPECT_EQ(s[final + 1], "          A=  1.2000");
  EXPECT_EQ(s[final + 2], "          B=  0.8000");
  EXPECT_TRUE(has(s, "      AREA UNDER FITTED CURVE (A-SUB-Z) =  0.8256"));
  // The running line is for the screen only; the file has the whole report.
  EXPECT_FALSE(has(r.file.lines(), kRunning));
  EXPECT_TRUE(has(r.file.lines(), "      AREA UNDER FITTED CURVE (A-SUB-Z) =  0.8256"));
  EXPECT_TRUE(has(r.file.lines(), "ROC CURVE:"));
}

TEST(Estbin, LeftOutFitIsSilentAndGivesTheSameArea) {
  std::vector<double> neg, pos;
  workedExample(neg, pos);
  FitRun all(neg, pos), left(neg, pos);
  const double a0 = all.fit(0);
  const double a1 = left.fit(7);
  EXPECT_EQ(a0, a1);
  EXPECT_TRUE(left.screen.lines().empty());
  EXPECT_TRUE(left.file.lines().empty());
}

TEST(Estbin, DegenerateDataEndTheFitWithTheSubstituteValue) {
  struct Case {
    const char* what;
    std::vector<double> neg, pos;
    double value;
    std::string message;
  };
  const Case cases[] = {
      {"perfect separation", {5, 0}, {0, 5}, 1.0, "IMPLY PERFECT DECISION"},
      {"single interior point", {5, 3}, {2, 6}, -1.0, "PROVIDE ONLY A SINGLE"},
  };
  for (const auto& c : cases) {
    for (int ileave : {0, 3}) {
      FitRun r(c.neg, c.pos);
      EXPECT_EQ(r.fit(ileave), c.value) << c.what;
      const Lines& s = r.screen.lines();
      EXPECT_TRUE(has(s, c.message)) << c.what << " ileave " << ileave;
      EXPECT_FALSE(has(s, kRunning)) << c.what;
      EXPECT_FALSE(has(s, "FINAL ESTIMATES")) << c.what;
      EXPECT_EQ(has(s, "OPERATING POINTS"), ileave == 0) << c.what;
    }
  }
}

TEST(Estbin, NonConvergedFitReturnsMinusOneWithoutFinalReport) {
  // Positives crowd the two middle categories while negatives avoid the
  // second: no binormal curve comes near, and the iteration wanders to the
  // pass limit.
  FitRun r({297, 0, 345, 316}, {25, 384, 433, 1});
  EXPECT_EQ(r.fit(0), -1.0);
  const Lines& s = r.screen.lines();
  EXPECT_TRUE(has(s, "OPERATING POINTS"));
  EXPECT_GE(indexOf(s, kRunning), 0);
  EXPECT_GE(indexOf(s, "          DOES NOT CONVERGE -- 100 ITERATIONS"), 0);
  EXPECT_FALSE(has(s, "FINAL ESTIMATES"));
  EXPECT_FALSE(has(r.file.lines(), "FINAL ESTIMATES"));
  EXPECT_FALSE(has(r.file.lines(), "DOES NOT CONVERGE"));

  // A left-out fit that fails still says so on the screen, and so do the
  // passes whose information matrix lost significance on the way (A and B
  // run off towards -5e5 and 1e6); nothing goes to the report file.
  FitRun left({297, 0, 345, 316}, {25, 384, 433, 1});
  EXPECT_EQ(left.fit(2), -1.0);
  const Lines& ls = left.screen.lines();
  ASSERT_GE(ls.size(), 2u);
  EXPECT_EQ(ls.back(), "          DOES NOT CONVERGE -- 100 ITERATIONS");
  EXPECT_EQ(ls.front(), " LOSS OF SIGNIFICANCE.  STEP     3+1");
  for (std::size_t i = 0; i + 1 < ls.size(); ++i)
    EXPECT_EQ(ls[i].substr(0, 29), " LOSS OF SIGNIFICANCE.  STEP ");
  EXPECT_TRUE(left.file.lines().empty());
}

TEST(Estbin, WorksWithoutDestinations) {
  std::vector<double> neg, pos;
  workedExample(neg, pos);
  FitRun r(neg, pos);
  r.ctx.out = nullptr;
  EXPECT_NEAR(r.fit(0), 0.825632, 5e-5);
}

}  // namespace
}  // namespace quelbro
