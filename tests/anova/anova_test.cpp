// Tests of ANOVA on constructed pseudovalue tables: the feasible-space
// constraint and its notes, the sums of squares against definitional formulas,
// the error-term cases and their messages, and the per-reader analyses.
#include "anova/anova.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "anova/anova_detail.h"
#include "anova_study.h"
#include "console/fields.h"

namespace quelbro {
namespace {

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// Deterministic values in [lo, hi).
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : s_(seed) {}
  double next(double lo, double hi) {
    s_ = s_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return lo + (hi - lo) * static_cast<double>(s_ >> 11) / 9007199254740992.0;
  }

 private:
  std::uint64_t s_;
};

void fillRandom(PvTable& pv, int R, int T, int C, std::uint64_t seed, double lo = 0.2, double hi = 0.95) {
  Lcg g(seed);
  for (int r = 1; r <= R; ++r)
    for (int t = 1; t <= T; ++t)
      for (int c = 1; c <= C; ++c) pv(r, t, c) = g.next(lo, hi);
}

std::vector<std::string> slice(const std::vector<std::string>& v, int from, int n) {
  std::vector<std::string> out;
  for (int k = from; k < from + n && k < static_cast<int>(v.size()); ++k)
    out.push_back(v[static_cast<std::size_t>(k)]);
  return out;
}

// ---------------------------------------------------------------- constraint

std::vector<std::string> notesOf(const Study& s) {
  const int k = s.findPrefix(" NOTE");
  EXPECT_GE(k, 0);
  std::vector<std::string> out;
  for (int j = k; j < static_cast<int>(s.lines().size()) && !s.lines()[static_cast<std::size_t>(j)].empty();
       ++j)
    out.push_back(s.lines()[static_cast<std::size_t>(j)]);
  return out;
}

TEST(AnovaConstraint, CellMeansInsideLeaveSingleOutliersAlone) {
  Study s(false);
  fillRandom(s.pv, 2, 2, 6, 11);
  s.pv(1, 1, 3) = 1.4;
  s.pv(2, 2, 5) = -0.3;
  PvTable before = s.pv;
  s.run(2, 2, 6);
  EXPECT_EQ(notesOf(s), std::vector<std::string>{" NOTE : PSEUDOVALUES ARE UNCONSTRAINED."});
  for (int r = 1; r <= 2; ++r)
    for (int t = 1; t <= 2; ++t)
      for (int c = 1; c <= 6; ++c) EXPECT_EQ(s.pv(r, t, c), before(r, t, c));
}

TEST(AnovaConstraint, OneCellAboveOneIsClampedAndNamed) {
  Study s(false);
  fillRandom(s.pv, 2, 2, 8, 12);
  s.pv(2, 1, 4) = 1.1;  // single values outside [0, 1] in cells whose mean is inside
  s.pv(2, 2, 2) = -0.05;
  const double cell[8] = {0.5, 0.8, 1.0, 1.2, 1.4, 1.4, 1.4, 1.9};  // mean 1.2
  for (int c = 1; c <= 8; ++c) s.pv(1, 2, c) = cell[c - 1];
  s.run(2, 2, 8);
  EXPECT_EQ(notesOf(s), (std::vector<std::string>{
                            " NOTE: PSEUDOVALUES FOR TREATMENT 2, READER 1 ARE CONSTRAINED TO THE FEASIBLE",
                            "       SPACE."}));
  const double clamped[8] = {0.5, 0.8, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  for (int c = 1; c <= 8; ++c) EXPECT_EQ(s.pv(1, 2, c), clamped[c - 1]) << c;
  EXPECT_EQ(s.pv(2, 1, 4), 1.1);
  EXPECT_EQ(s.pv(2, 2, 2), -0.05);
}

TEST(AnovaConstraint, TwoCellsHaveNoMiddleLine) {
  Study s(false);
  fillRandom(s.pv, 3, 2, 4, 13);
  const double high[4] = {1.3, 1.5, 0.9, 1.2};
  const double low[4] = {-0.4, 0.1, -0.2, 0.3};  // mean -0.05
  for (int c = 1; c <= 4; ++c) {
    s.pv(1, 2, c) = high[c - 1];
    s.pv(3, 1, c) = low[c - 1];
  }
  s.run(3, 2, 4);
  EXPECT_EQ(notesOf(s),
            (std::vector<std::string>{
                " NOTE: PSEUDOVALUES FOR TREATMENT 2, READER 1,",
                "       AND FOR TREATMENT  1, READER  3 ARE CONSTRAINED TO THE FEASIBLE SPACE."}));
  const double lowClamped[4] = {0.0, 0.1, 0.0, 0.3};
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(s.pv(1, 2, c), c == 3 ? 0.9 : 1.0);
    EXPECT_EQ(s.pv(3, 1, c), lowClamped[c - 1]);
  }
}

TEST(AnovaConstraint, FiveCellsInReaderMajorOrder) {
  Study s(false);
  fillRandom(s.pv, 3, 2, 3, 14);
  const int cells[5][2] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1}};  // (reader, treatment)
  for (int k = 0; k < 5; ++k)
    for (int c = 1; c <= 3; ++c) s.pv(cells[k][0], cells[k][1], c) = k % 2 == 0 ? 1.2 + 0.1 * c : -0.1 * c;
  s.run(3, 2, 3);
  EXPECT_EQ(notesOf(s),
            (std::vector<std::string>{
                " NOTE: PSEUDOVALUES FOR TREATMENT 1, READER 1,",
                "       PSEUDOVALUES FOR TREATMENT  2, READER  1,",
                "       PSEUDOVALUES FOR TREATMENT  1, READER  2,",
                "       PSEUDOVALUES FOR TREATMENT  2, READER  2,",
                "       AND FOR TREATMENT  1, READER  3 ARE CONSTRAINED TO THE FEASIBLE SPACE."}));
}

// The dialogue constrains the pseudovalues before the analysis (their tables
// are written meanwhile) and hands over what was clamped: the report and the
// values are those of the analysis constraining them itself.
TEST(AnovaConstraint, AConstraintFoundBeforehandReportsTheSame) {
  struct Case {
    int R, T, C;
    std::vector<std::array<int, 2>> high, low;  // cells (reader, treatment) whose mean lies above 1 / below 0
  };
  for (const Case& k : {Case{2, 2, 6, {}, {}}, Case{2, 2, 8, {{1, 2}}, {}}, Case{3, 2, 4, {{1, 2}}, {{3, 1}}},
                        Case{3, 5, 3, {{1, 1}, {2, 2}, {3, 5}}, {{1, 2}, {2, 1}, {3, 4}}}}) {
    Study own(true), before(true);
    for (Study* s : {&own, &before}) {
      fillRandom(s->pv, k.R, k.T, k.C, 17);
      for (const auto& [r, t] : k.high)
        for (int c = 1; c <= k.C; ++c) s->pv(r, t, c) = 1.05 + 0.2 * c;
      for (const auto& [r, t] : k.low)
        for (int c = 1; c <= k.C; ++c) s->pv(r, t, c) = 0.3 - 0.25 * c;
    }
    own.run(k.R, k.T, k.C);
    ConstraintList found;
    constrainToFeasible(before.pv, k.R, k.T, k.C, found);
    EXPECT_EQ(found.count, static_cast<int>(k.high.size() + k.low.size()));
    const PvTable constrained = before.pv;
    ANOVA(before.pv, k.R, k.T, k.C, before.psflag, before.ctx, nullptr, &found);
    EXPECT_EQ(before.lines(), own.lines()) << k.R << "x" << k.T;
    EXPECT_EQ(before.file.lines(), own.file.lines());
    for (int r = 1; r <= k.R; ++r)
      for (int t = 1; t <= k.T; ++t)
        for (int c = 1; c <= k.C; ++c) {
          EXPECT_EQ(before.pv(r, t, c), own.pv(r, t, c));
          EXPECT_EQ(before.pv(r, t, c), constrained(r, t, c));  // only read
        }
  }
}

// ------------------------------------------------------------ sums of squares

// The analysis of variance from its definitions: every mean as a table, every
// sum of squares as a sum of squared deviations (the three-way one directly,
// not as a residual).
struct Definitional {
  double ss[kNumSources] = {};
  double msR[6] = {}, msC[6] = {}, msRC[6] = {};
};

Definitional definitional(const PvTable& pv, int R, int T, int C) {
  auto y = [&](int r, int t, int c) { return pv(r, t, c); };
  std::vector<double> mr(R + 1), mt(T + 1), mc(C + 1);
  std::vector<std::vector<double>> mrt(R + 1, std::vector<double>(T + 1));
  std::vector<std::vector<double>> mrc(R + 1, std::vector<double>(C + 1));
  std::vector<std::vector<double>> mtc(T + 1, std::vector<double>(C + 1));
  double g = 0.0;
  for (int r = 1; r <= R; ++r)
    for (int t = 1; t <= T; ++t)
      for (int c = 1; c <= C; ++c) {
        const double v = y(r, t, c);
        g += v / (R * T * C);
        mr[r] += v / (T * C);
        mt[t] += v / (R * C);
        mc[c] += v / (R * T);
        mrt[r][t] += v / C;
        mrc[r][c] += v / T;
        mtc[t][c] += v / R;
      }
  Definitional d;
  for (int r = 1; r <= R; ++r)
    for (int t = 1; t <= T; ++t)
      for (int c = 1; c <= C; ++c) {
        auto sq = [](double x) { return x * x; };
        d.ss[kSrcTOT] += sq(y(r, t, c) - g);
        d.ss[kSrcR] += sq(mr[r] - g);
        d.ss[kSrcT] += sq(mt[t] - g);
        d.ss[kSrcC] += sq(mc[c] - g);
        d.ss[kSrcTR] += sq(mrt[r][t] - mr[r] - mt[t] + g);
        d.ss[kSrcRC] += sq(mrc[r][c] - mr[r] - mc[c] + g);
        d.ss[kSrcTC] += sq(mtc[t][c] - mt[t] - mc[c] + g);
        d.ss[kSrcTRC] += sq(y(r, t, c) - mrt[r][t] - mrc[r][c] - mtc[t][c] + mr[r] + mt[t] + mc[c] - g);
        // Readers-by-cases analysis of treatment t.
        d.msR[t] += sq(mrt[r][t] - mt[t]) / (R - 1);
        d.msC[t] += sq(mtc[t][c] - mt[t]) / (C - 1);
        d.msRC[t] += sq(y(r, t, c) - mrt[r][t] - mtc[t][c] + mt[t]) / ((R - 1) * (C - 1));
      }
  return d;
}

TEST(AnovaStats, SumsOfSquaresMatchDefinitions) {
  struct Shape {
    int R, T, C;
    std::uint64_t seed;
  };
  for (const Shape& sh : {Shape{3, 3, 7, 21}, Shape{4, 2, 9, 22}, Shape{2, 5, 3, 23}, Shape{10, 5, 40, 24}}) {
    PvTable pv;
    fillRandom(pv, sh.R, sh.T, sh.C, sh.seed);
    AnovaStats st;
    computeAnovaStats(pv, sh.R, sh.T, sh.C, st);
    const Definitional d = definitional(pv, sh.R, sh.T, sh.C);
    for (int s = 0; s < kNumSources; ++s)
      EXPECT_NEAR(st.ss[s], d.ss[s], 1e-10) << "source " << s << " R " << sh.R;
    const double dfs[kNumSources] = {sh.T - 1.0,
                                     sh.R - 1.0,
                                     sh.C - 1.0,
                                     (sh.T - 1.0) * (sh.R - 1),
                                     (sh.T - 1.0) * (sh.C - 1),
                                     (sh.R - 1.0) * (sh.C - 1),
                                     (sh.T - 1.0) * (sh.R - 1) * (sh.C - 1),
                                     sh.T * sh.R * sh.C - 1.0};
    for (int s = 0; s < kNumSources; ++s) EXPECT_EQ(st.df[s], dfs[s]);
    for (int s = 0; s < kSrcTOT; ++s) EXPECT_NEAR(st.ms[s], d.ss[s] / dfs[s], 1e-10);
    for (int t = 1; t <= sh.T; ++t) {
      EXPECT_NEAR(st.msR[t], d.msR[t], 1e-10);
      EXPECT_NEAR(st.msC[t], d.msC[t], 1e-10);
      EXPECT_NEAR(st.msRC[t], d.msRC[t], 1e-10);
    }
  }
}

TEST(AnovaStats, FixedTestsUseTheirErrorTerms) {
  PvTable pv;
  fillRandom(pv, 3, 3, 6, 31);
  AnovaStats st;
  computeAnovaStats(pv, 3, 3, 6, st);
  AnovaTests ts;
  runTests(st, ts);
  const Definitional d = definitional(pv, 3, 3, 6);
  const double msRC = d.ss[kSrcRC] / 10, msTRC = d.ss[kSrcTRC] / 20;
  EXPECT_NEAR(ts.f[kSrcC], d.ss[kSrcC] / 5 / msRC, 1e-9);
  EXPECT_NEAR(ts.f[kSrcR], d.ss[kSrcR] / 2 / msRC, 1e-9);
  EXPECT_NEAR(ts.f[kSrcTC], d.ss[kSrcTC] / 10 / msTRC, 1e-9);
  EXPECT_NEAR(ts.f[kSrcTR], d.ss[kSrcTR] / 4 / msTRC, 1e-9);
  EXPECT_NEAR(ts.f[kSrcRC], d.ss[kSrcRC] / 10 / msTRC, 1e-9);
}

// Every tested source gets "SIG." exactly when its probability is at most
// 0.05. With 2 and 2 df, Pr(F(2, 2) > f) = 1 / (1 + f): f = 1/p - 1 puts a
// source's probability just below, at and just above 0.05.
TEST(AnovaStats, DecisionOfEverySourceAtTheFivePercentEdge) {
  struct Row {
    Source s;
    Source err;  // error term of the source's test
    const char* name;
  };
  const Row rows[] = {{kSrcT, kSrcTRC, "T"},   {kSrcC, kSrcRC, "C"},    {kSrcR, kSrcRC, "R"},
                      {kSrcTC, kSrcTRC, "TC"}, {kSrcTR, kSrcTRC, "TR"}, {kSrcRC, kSrcTRC, "RC"}};
  struct Edge {
    double p;
    bool sig;
  };
  for (const Row& row : rows) {
    for (const Edge e : {Edge{0.0499, true}, Edge{0.05, true}, Edge{0.0501, false}}) {
      AnovaStats st;
      for (int s = 0; s < kNumSources; ++s) st.ms[s] = st.df[s] = 2.0;
      // Every other ratio is 1 or below: probability 0.5 or more, error-term case 1
      // unless an interaction is the source swept (then it is the treatment's error term).
      st.ms[row.s] = (1.0 / e.p - 1.0) * st.ms[row.err];
      AnovaTests ts;
      runTests(st, ts);
      EXPECT_NEAR(ts.p[row.s], e.p, 1e-12) << row.name;
      EXPECT_EQ(ts.sig[row.s], e.sig) << row.name << " at p = " << e.p;
      for (int s = kSrcT; s <= kSrcRC; ++s) {
        if (s == row.s) continue;
        EXPECT_FALSE(ts.sig[s]) << "source " << s << " while " << row.name << " is swept";
      }
    }
  }
}

// ------------------------------------------------------- error-term cases

// Base 2 x 2 x 2 study: MS(T) = 8/64 = 0.125, MS(TRC) = 8/1024 = 0.0078125.
Effects withInteractions(double ab, double ag, double e) {
  return Effects{0.5, 0.125, 0.0625, 0.0625, ab, ag, 0.03125, e};
}

const char* const kAlpha = "  ALPHA EQUALS 0.05.";
const char* const kNottrc1 = " ** TRC SOURCE OF VARIANCE MAY NOT BE NEGLIGIBLE. THEREFORE, READER BY";
const char* const kNottrc2 = "    CASE INTERACTION IS NOT TESTED.";

// Lines between "ALPHA EQUALS 0.05." and the readers-by-cases block.
std::vector<std::string> messagesOf(const Study& s) {
  const int a = s.find(kAlpha);
  const int b = s.find(sp(23) + "READERS BY CASES ANOVAs");
  EXPECT_GE(a, 0);
  EXPECT_GT(b, a);
  return slice(s.lines(), a + 1, b - a - 2);
}

std::string rowOf(const Study& s, const std::string& label6) {
  const int k = s.findPrefix(label6 + " ");
  return k < 0 ? std::string() : s.lines()[static_cast<std::size_t>(k)];
}

TEST(AnovaCases, CaseOneIncludingRatiosOfExactlyOne) {
  const std::vector<std::string> msg{
      "", " *  TR AND TC SOURCE OF VARIANCE ARE ASSUMED NEGLIGIBLE. THEREFORE, TRC MEAN",
      "    SQUARE USED AS AN ERROR TERM.", ""};
  // F(TR) = F(TC) = 1/4; then both exactly 1 (dyadic values: exact sums).
  for (double ab : {0.015625, 0.03125}) {
    Study s(false);
    fillEffects(s.pv, withInteractions(ab, ab, 0.03125));
    s.run(2, 2, 2);
    EXPECT_EQ(messagesOf(s), msg) << ab;
    // F(T) = MS(T)/MS(TRC) = 16 with 1 and 1 df: Pr = (2/pi) atan(1/4) = 0.1560.
    EXPECT_EQ(rowOf(s, "     T").substr(42, 22), "   16.0000      0.1560");
    EXPECT_EQ(rowOf(s, "    RC").substr(42, 22), "    1.0000      0.5000");
  }
}

struct TreatmentErrorCase {
  double ab, ag;
  std::vector<std::string> messages;
};

TEST(AnovaCases, CasesTwoAndThreeUseOneInteractionAsErrorTerm) {
  const TreatmentErrorCase cases[] = {
      {0.0625,
       0.015625,  // F(TR) = 4, F(TC) = 1/4
       {"", " *  TC SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TR MEAN SQUARE",
        "    USED AS AN ERROR TERM.", "", "", kNottrc1, kNottrc2, ""}},
      {0.015625,
       0.0625,  // F(TR) = 1/4, F(TC) = 4
       {"", " *  TR SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TC MEAN SQUARE",
        "    USED AS AN ERROR TERM.", "", "", kNottrc1, kNottrc2, ""}},
  };
  for (const auto& c : cases) {
    Study s(false);
    fillEffects(s.pv, withInteractions(c.ab, c.ag, 0.03125));
    s.run(2, 2, 2);
    EXPECT_EQ(messagesOf(s), c.messages);
    // F(T) = MS(T) over the larger interaction's MS: (1/8)/(1/32) = 4, with
    // (T-1)(R-1) = 1 resp. (T-1)(C-1) = 1 denominator df: (2/pi) atan(1/2).
    EXPECT_EQ(rowOf(s, "     T").substr(42, 22), "    4.0000      0.2952");
    // The reader x case source is not tested.
    EXPECT_EQ(rowOf(s, "    RC"),
              "    RC        0.0078" + sp(3) + "    1" + sp(2) + "    0.0078" + sp(9) + "**" + sp(10) + "**");
  }
}

TEST(AnovaCases, CaseFourSatterthwaite) {
  Study s(false);
  // MS(TR) = MS(TC) = 1/32 = 4 MS(TRC): E = 7/128 = 0.0546875,
  // nu = E^2 / (MS(TRC)^2 + 2 MS(TR)^2) = 49/33 = 1.4848, F(T) = (1/8)/E = 16/7;
  // Pr(F(1, 49/33) > 16/7) = 0.30890 (incomplete beta function).
  fillEffects(s.pv, withInteractions(0.0625, 0.0625, 0.03125));
  s.run(2, 2, 2);
  EXPECT_EQ(messagesOf(s), (std::vector<std::string>{
                               "",
                               " *  SATTERTHWAITE APROXIMATION :",
                               "",
                               "      SATTERTHWAITE DF =    1.",
                               "      SATTERTHWAITE MEAN SQUARE ERROR TERM =  0.0547",
                               "      SATTERTHWAITE F RATIO =   2.2857",
                               "      THE SATTERTHWAITE F RATIO HAS A PROB. VALUE OF0.3089 AND IT IS",
                               "      NOT SIGNIFICANT.",
                               "",
                               kNottrc1,
                               kNottrc2,
                               "",
                           }));
  EXPECT_EQ(rowOf(s, "     T"),
            "     T        0.1250" + sp(3) + "    1" + sp(2) + "    0.1250" + sp(9) + "*" + sp(11) + "*");
  // Difference: SE = sqrt(2/4 x E), df = nu (rounded to 1 for t: 12.706); "*" after its df.
  const int k = s.findPrefix(" DF        ");
  ASSERT_GE(k, 0);
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(k)].substr(42), "     1.*");
  const double se = std::sqrt(0.5 * 0.0546875);
  const std::string ci = " FOR TREATMENT 1 MINUS TREATMENT 2 IS (" + F(-0.25 - 12.706 * se, 6, 4) + "," +
                         F(-0.25 + 12.706 * se, 6, 4) + ")";
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(k + 4)], ci);
}

TEST(AnovaCases, SatterthwaiteDfBelowOneIsUndefined) {
  Study s(false);
  // MS(TR) = MS(TC) = 1.5625 MS(TRC): nu = 2.125^2 / (1 + 2 x 1.5625^2) = 0.77.
  fillEffects(s.pv, withInteractions(0.0390625, 0.0390625, 0.03125));
  s.run(2, 2, 2);
  const std::vector<std::string> m = messagesOf(s);
  ASSERT_GE(m.size(), 8u);
  EXPECT_EQ(m[3], "      SATTERTHWAITE DF =   NaN");
  EXPECT_EQ(m[4], "      SATTERTHWAITE MEAN SQUARE ERROR TERM =  0.0166");  // 2.125/128
  EXPECT_EQ(m[6], "      THE SATTERTHWAITE F RATIO HAS A PROB. VALUE OF   NaN AND IT IS");
  EXPECT_EQ(m[7], "      NOT SIGNIFICANT.");
  const int k = s.findPrefix(" DF        ");
  ASSERT_GE(k, 0);
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(k)].substr(42), "    NaN*");
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(k + 4)],
            " FOR TREATMENT 1 MINUS TREATMENT 2 IS (   NaN,   NaN)");
}

TEST(AnovaCases, UndefinedRatiosCountAsNotExceedingOne) {
  Study s(false);
  for (int r = 1; r <= 2; ++r)
    for (int t = 1; t <= 2; ++t)
      for (int c = 1; c <= 3; ++c) s.pv(r, t, c) = 0.75;  // every sum of squares exactly 0
  s.run(2, 2, 3);
  EXPECT_EQ(messagesOf(s)[1], " *  TR AND TC SOURCE OF VARIANCE ARE ASSUMED NEGLIGIBLE. THEREFORE, TRC MEAN");
  for (const char* label : {"     T", "     C", "     R", "    TC", "    TR", "    RC"}) {
    const std::string row = rowOf(s, label);
    ASSERT_EQ(row.size(), 79u) << label;
    EXPECT_EQ(row.substr(42, 10), "       NaN") << label;
    EXPECT_EQ(row.substr(56, 8), "     NaN") << label;
    EXPECT_EQ(row.substr(69), sp(10)) << label;  // no "SIG."
  }
  // Single-reader analyses of identical treatments: SE 0, both bounds 0.
  EXPECT_EQ(s.find(" SE(MEAN DIFF) =   0.0000"), s.findPrefix(" SE(MEAN DIFF)"));
}

TEST(AnovaCases, SatterthwaiteVerdictLines) {
  struct Case {
    double p;
    const char* line;
  };
  const Case cases[] = {
      {0.0, "     SIGNIFICANT AT ALPHA =0.001 LEVEL."},
      {0.0009, "     SIGNIFICANT AT ALPHA =0.001 LEVEL."},
      {0.001, "     SIGNIFICANT AT ALPHA =0.010 LEVEL."},
      {0.01, "     SIGNIFICANT AT ALPHA =0.010 LEVEL."},
      {0.0101, "     SIGNIFICANT AT ALPHA =0.050 LEVEL."},
      {0.05, "     SIGNIFICANT AT ALPHA =0.050 LEVEL."},
      {0.0501, "     NOT SIGNIFICANT."},
      {1.0, "     NOT SIGNIFICANT."},
      {std::nan(""), "     NOT SIGNIFICANT."},
      {1e38, "     NOT SIGNIFICANT."},
      {-1e38, "     NOT SIGNIFICANT."},
  };
  for (const Case& c : cases) EXPECT_EQ(satterthwaiteVerdict(c.p), c.line) << c.p;
}

TEST(AnovaCases, ProbabilitiesOutsideTheUnitIntervalAreUndefined) {
  EXPECT_TRUE(std::isnan(fProbability(2.0, 1.0, 0.6)));  // df below BETAP's domain
  EXPECT_TRUE(std::isnan(fProbability(std::nan(""), 1.0, 3.0)));
  EXPECT_NEAR(fProbability(4.9646, 1.0, 10.0), 0.05, 1e-5);  // F table, 5% point
  EXPECT_EQ(fProbability(-0.5, 2.0, 10.0), 1.0);             // negative ratio: no evidence
}

TEST(AnovaCases, DifferenceDfRoundsToNearestForTheCriticalValue) {
  EXPECT_DOUBLE_EQ(tcritOfDf(7.4), 2.365);
  EXPECT_NEAR(tcritOfDf(7.5), 2.306, 5e-4);  // 8 df, from the expansion
  EXPECT_DOUBLE_EQ(tcritOfDf(0.5), 12.706);
  EXPECT_TRUE(std::isnan(tcritOfDf(0.4)));
  EXPECT_TRUE(std::isnan(tcritOfDf(-2.0)));
  EXPECT_TRUE(std::isnan(tcritOfDf(std::nan(""))));
}

// -------------------------------------------------- report shape and blocks

TEST(AnovaReport, FiveTreatmentsHeadingAndBlocks) {
  Study s(false);
  fillRandom(s.pv, 2, 5, 3, 41);
  const PvTable table = s.pv;
  s.run(2, 5, 3);
  const int h = s.find(sp(29) + "MEAN SQUARES");
  ASSERT_GE(h, 0);
  const std::string head = s.lines()[static_cast<std::size_t>(h + 1)];
  ASSERT_EQ(head.size(), 80u);
  EXPECT_EQ(head.substr(0, 13), " SOURCE    DF");
  for (int t = 1; t <= 5; ++t) {
    const std::size_t col = static_cast<std::size_t>(19 + 13 * (t - 1));  // "TREAT" start column
    EXPECT_EQ(head.substr(col - 1, 7), "TREAT " + std::to_string(t)) << t;
  }
  EXPECT_EQ(head.substr(70, 7), "TREAT 5");  // columns 71-77
  const std::string des = s.lines()[static_cast<std::size_t>(h + 2)];
  EXPECT_EQ(des.substr(68, 12), "TRT 5       ");  // columns 69-80
  // Mean squares of each treatment's readers-by-cases analysis, in columns
  // 15-24 + 13k (readers) and 14-24 + 13k (cases, reader x case).
  const Definitional d = definitional(table, 2, 5, 3);
  const std::string rowR = s.lines()[static_cast<std::size_t>(h + 4)];
  const std::string rowC = s.lines()[static_cast<std::size_t>(h + 5)];
  const std::string rowRC = s.lines()[static_cast<std::size_t>(h + 6)];
  EXPECT_EQ(rowR.substr(0, 13), "     R      1");
  EXPECT_EQ(rowC.substr(0, 13), "     C      2");
  EXPECT_EQ(rowRC.substr(0, 13), "    RC      2");
  for (int t = 1; t <= 5; ++t) {
    const std::size_t k = static_cast<std::size_t>(13 * (t - 1));
    EXPECT_EQ(rowR.substr(14 + k, 10), F(d.msR[t], 10, 4));
    EXPECT_EQ(rowC.substr(13 + k, 11), F(d.msC[t], 11, 4));
    EXPECT_EQ(rowRC.substr(13 + k, 11), F(d.msRC[t], 11, 4));
  }
  EXPECT_EQ(rowR.size(), 76u);
  // Blocks 1 and 4 only: the reference block follows the readers-by-cases rows.
  EXPECT_EQ(s.findPrefix(sp(12) + "STANDARD ERRORS"), -1);
  EXPECT_EQ(s.findPrefix(sp(21) + "SINGLEREADER"), -1);
  EXPECT_EQ(static_cast<int>(s.lines().size()), h + 7 + 9);
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(h + 11)], sp(26) + "REFERENCE");
}

TEST(AnovaReport, ThreeTreatmentsWithReportFile) {
  Study s(true);
  fillRandom(s.pv, 3, 3, 5, 42);
  s.run(3, 3, 5);
  // Screen: the first pass only; the reference block goes to the file.
  EXPECT_EQ(s.screen.lines().back().substr(0, 9), "    RC   ");
  EXPECT_EQ(s.file.lines().size(), s.screen.lines().size() + 9);
  for (std::size_t k = 0; k < s.screen.lines().size(); ++k) EXPECT_EQ(s.file.lines()[k], s.screen.lines()[k]);
  EXPECT_EQ(s.file.lines()[s.screen.lines().size() + 4], sp(26) + "REFERENCE");
}

TEST(AnovaReport, SingleReaderCriticalValueAndStandardError) {
  struct Case {
    int C;
    const char* tline;
  };
  for (const Case& c : {Case{8, " t(.025,DF=  7) =  2.3650"}, Case{101, " t(.025,DF=100) =  1.9840"}}) {
    Study s(false);
    fillRandom(s.pv, 2, 2, c.C, 51);
    const PvTable table = s.pv;
    s.run(2, 2, c.C);
    for (int r = 1; r <= 2; ++r) {
      // Standard deviation of the paired differences over sqrt(C), two-pass.
      double mean = 0.0;
      for (int k = 1; k <= c.C; ++k) mean += (table(r, 1, k) - table(r, 2, k)) / c.C;
      double ss = 0.0;
      for (int k = 1; k <= c.C; ++k) ss += std::pow(table(r, 1, k) - table(r, 2, k) - mean, 2);
      const double se = std::sqrt(ss / (c.C - 1)) / std::sqrt(static_cast<double>(c.C));
      const int hdr = s.findPrefix(" READER" + I(r, 4) + ": ");
      ASSERT_GE(hdr, 0);
      EXPECT_EQ(s.lines()[static_cast<std::size_t>(hdr + 7)], " SE(MEAN DIFF) = " + F(se, 8, 4));
      EXPECT_EQ(s.lines()[static_cast<std::size_t>(hdr + 8)], c.tline);
    }
  }
}

TEST(AnovaReport, SecondCallStartsAfresh) {
  Study s(false);
  fillRandom(s.pv, 3, 2, 6, 61);
  s.run(3, 2, 6);
  const std::vector<std::string> first = s.lines();
  s.screen.clear();
  s.run(3, 2, 6);
  EXPECT_EQ(s.lines(), first);
}

TEST(AnovaReport, LargestStudyRunsToTheEnd) {
  Study s(true);
  fillRandom(s.pv, 10, 5, 4000, 71, -0.5, 1.5);
  s.run(10, 5, 4000);
  EXPECT_EQ(s.file.lines().back(), " QUELBRO PROJECT NOTES ON MULTIREADER-MULTICASE ROC ANALYSIS.");
  for (const std::string& line : s.file.lines()) EXPECT_LE(line.size(), 80u);
}

}  // namespace
}  // namespace quelbro
