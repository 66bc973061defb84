// Starting values of a fit: the least-squares line on normal-deviate axes,
// the cut-off searches and the bisection.
#include "fit/inifit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "console/text_console.h"
#include "fit/fit_report.h"
#include "fit/moslop.h"

namespace quelbro {
namespace {

double exactPhi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double exactUpper(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

CatTab tableOf(const std::vector<double>& neg, const std::vector<double>& pos) {
  CatTab ct;
  ct.NCAT = static_cast<int>(neg.size());
  double n0 = 0, n1 = 0;
  for (int c = 1; c <= ct.NCAT; ++c) {
    ct.CNEG[c] = neg[c - 1];
    ct.CPOS[c] = pos[c - 1];
    n0 += neg[c - 1];
    n1 += pos[c - 1];
  }
  ct.NNEG = static_cast<int>(n0);
  ct.NPOS = static_cast<int>(n1);
  FitContext silent;
  OBPNT(ct, 1, silent);
  return ct;
}

// Normal deviates below from a printed table of the standard normal
// distribution (4 decimals); the rational approximation used for the inverse
// is good to 4.5e-4.
TEST(Inifit, LeastSquaresLineThroughTwoInteriorPoints) {
  // Points (0.5, 0.9) and (0.2, 0.6): deviates x = (0, -0.8416),
  // y = (1.2816, 0.2533); B = 1.0283 / 0.8416, A = the y deviate at x = 0.
  CatTab ct = tableOf({5, 3, 2}, {1, 3, 6});
  ct.PARM.fill(7.0);
  INIFIT(ct);
  EXPECT_NEAR(ct.PARM[1], 1.2816, 1.5e-3);
  EXPECT_NEAR(ct.PARM[2], 1.2217, 2.5e-3);
  EXPECT_NEAR(ct.PARM[3], 0.0, 5e-4);
  EXPECT_NEAR(ct.PARM[4], 0.8416, 5e-4);
  for (int j = 5; j <= kMaxCategories + 1; ++j) EXPECT_EQ(ct.PARM[j], 0.0) << j;
}

TEST(Inifit, FractionsOfZeroAndOneAreMovedInByHalfACase) {
  // FPF(3) = 0 becomes 1/20, TPF(2) = 1 becomes 19/20 (10 cases each):
  // x = (-0.2533, -1.6449), y = (1.6449, 0); B = 1.1821, A = 1.9443.
  CatTab ct = tableOf({6, 4, 0}, {0, 5, 5});
  INIFIT(ct);
  EXPECT_NEAR(ct.PARM[3], 0.2533, 5e-4);
  EXPECT_NEAR(ct.PARM[4], 1.6449, 5e-4);
  EXPECT_NEAR(ct.PARM[2], 1.1821, 2.5e-3);
  EXPECT_NEAR(ct.PARM[1], 1.9443, 2.5e-3);
}

TEST(Inifit, EqualDeviatesAreSeparatedByOneTenth) {
  // FPF(2) = FPF(3) = 0.3: the lower-index deviate is raised by 0.1.
  CatTab ct = tableOf({7, 0, 3}, {1, 3, 6});
  INIFIT(ct);
  EXPECT_NEAR(ct.PARM[4], 0.5244, 5e-4);
  EXPECT_NEAR(ct.PARM[4] - ct.PARM[3], 0.1, 1e-12);
  EXPECT_TRUE(std::isfinite(ct.PARM[1]));
  EXPECT_TRUE(std::isfinite(ct.PARM[2]));
}

TEST(Inifit, OneInteriorPointGivesTheUnitSlopeLine) {
  CatTab ct = tableOf({6, 4}, {2, 8});  // point (0.4, 0.8)
  INIFIT(ct);
  EXPECT_EQ(ct.PARM[2], 1.0);
  EXPECT_NEAR(ct.PARM[1], 0.8416 + 0.2533, 1e-3);
}

TEST(Inifit, BisectFindsTheRootOfTheCutOffScore) {
  // With A = 0 and B = 1 both truth states share one distribution; when
  // both put the same share q below the cut-off, the root is Phi^-1(q).
  CatTab ct;
  ct.NNEG = 50;
  ct.NPOS = 50;
  ct.PARM[1] = 0.0;
  ct.PARM[2] = 1.0;
  struct Case {
    double cum, root;
  };
  for (const Case c : {Case{25, 0.0}, Case{40, 0.8416}, Case{10, -0.8416}}) {
    ct.CUMNEG[2] = c.cum;
    ct.CUMPOS[2] = c.cum;
    double lo = -1.5, hi = 2.0;
    const double z = BISECT(ct, lo, hi, 2);
    EXPECT_NEAR(z, c.root, 6e-4) << c.cum;
    EXPECT_LT(std::fabs(hi - lo), 0.001);
  }
}

TEST(Inifit, BisectStopsOnNaN) {
  CatTab ct;
  ct.NNEG = 50;
  ct.NPOS = 50;
  ct.PARM[1] = std::nan("");
  ct.PARM[2] = 1.0;
  ct.CUMNEG[1] = 20;
  ct.CUMPOS[1] = 20;
  double lo = -1.0, hi = 1.0;
  const double z = BISECT(ct, lo, hi, 1);
  EXPECT_TRUE(std::isfinite(z));
}

// Score of the dichotomy at cut-off k, from the model with exact Phi.
double exactScore(const CatTab& ct, int k, double z) {
  auto ell = [&](double t) {
    const double w = ct.PARM[2] * t - ct.PARM[1];
    return ct.CUMNEG[k] * std::log(exactPhi(t)) + (ct.NNEG - ct.CUMNEG[k]) * std::log(exactUpper(t)) +
           ct.CUMPOS[k] * std::log(exactPhi(w)) + (ct.NPOS - ct.CUMPOS[k]) * std::log(exactUpper(w));
  };
  const double h = 1e-6;
  return (ell(z + h) - ell(z - h)) / (2 * h);
}

struct CutoffCase {
  std::vector<double> neg, pos;
};

TEST(Inifit, CutoffPutsEachCutOffAtTheRootOfItsScore) {
  const CutoffCase cases[] = {
      {{30, 12, 8}, {6, 14, 30}},
      {{40, 25, 20, 15}, {10, 15, 25, 50}},
      {{33, 6, 6, 11, 2}, {3, 2, 2, 11, 33}},
      {{20, 18, 14, 10, 6, 2}, {2, 5, 9, 12, 16, 26}},
      {{5, 4, 6, 3, 4, 2, 3, 1, 1, 1}, {1, 1, 2, 2, 3, 3, 4, 5, 6, 8}},
  };
  for (const auto& c : cases) {
    CatTab ct = tableOf(c.neg, c.pos);
    const int k = ct.NCAT;
    SCOPED_TRACE("K = " + std::to_string(k));
    INIFIT(ct);
    LineCollector screen;
    CUTOFF(ct, ct.PARM[1], ct.PARM[2], screen);
    EXPECT_TRUE(screen.lines().empty());
    double sn = 0, sp = 0;
    for (int j = 1; j <= k; ++j) {
      sn += c.neg[j - 1];
      sp += c.pos[j - 1];
      EXPECT_EQ(ct.CUMNEG[j], sn);
      EXPECT_EQ(ct.CUMPOS[j], sp);
    }
    for (int j = 1; j <= k - 1; ++j) {
      const double z = ct.PARM[j + 2];
      EXPECT_LT(exactScore(ct, j, z - 0.002) * exactScore(ct, j, z + 0.002), 0.0) << "cut-off " << j;
      if (j > 1) {
        EXPECT_GT(z, ct.PARM[j + 1]) << "cut-off " << j;
      }
    }
  }
}

TEST(Inifit, CutoffSearchesEndWhenTheScoreIsNotANumber) {
  CatTab ct = tableOf({20, 18, 14, 10, 6, 2}, {2, 5, 9, 12, 16, 26});
  INIFIT(ct);
  LineCollector screen;
  // HF reads A from PARM(1); the starting values use the argument.
  ct.PARM[1] = std::nan("");
  CUTOFF(ct, std::nan(""), ct.PARM[2], screen);
  ASSERT_FALSE(screen.lines().empty());
  for (const auto& line : screen.lines()) EXPECT_EQ(line, "Significance error HF");
  for (int j = 1; j <= 5; ++j) EXPECT_TRUE(std::isfinite(ct.PARM[j + 2])) << j;
}

}  // namespace
}  // namespace quelbro
