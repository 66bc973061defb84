// The maximum-likelihood iteration: the returned estimates maximise an
// independently written log-likelihood, the covariance matrix is the inverse
// of an independently computed expected information, and the special passes.
#include "fit/moslop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "console/text_console.h"
#include "fit/fit_report.h"
#include "fit/inifit.h"

namespace quelbro {
namespace {

// Reference functions written from the model, with the C library's erfc.
double exactPhi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double exactUpper(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }
double exactDensity(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2.0 * M_PI); }

// theta = (A, B, Z(1), ..., Z(K-1)); probabilities of the K categories.
std::vector<double> categoryProbs(const std::vector<double>& theta, int k, bool positive) {
  const double a = theta[0], b = theta[1];
  std::vector<double> cdf(k + 1);
  cdf[0] = 0.0;
  cdf[k] = 1.0;
  for (int j = 1; j < k; ++j) cdf[j] = positive ? exactPhi(b * theta[j + 1] - a) : exactPhi(theta[j + 1]);
  std::vector<double> p(k);
  for (int c = 0; c < k; ++c) p[c] = cdf[c + 1] - cdf[c];
  return p;
}

struct Table {
  std::vector<double> neg, pos;
  int k() const { return static_cast<int>(neg.size()); }
  double n0() const {
    double s = 0;
    for (double v : neg) s += v;
    return s;
  }
  double n1() const {
    double s = 0;
    for (double v : pos) s += v;
    return s;
  }
};

double logLik(const Table& t, const std::vector<double>& theta) {
  const auto pn = categoryProbs(theta, t.k(), false);
  const auto pp = categoryProbs(theta, t.k(), true);
  double l = 0.0;
  for (int c = 0; c < t.k(); ++c) {
    if (t.neg[c] > 0) l += t.neg[c] * std::log(pn[c]);
    if (t.pos[c] > 0) l += t.pos[c] * std::log(pp[c]);
  }
  return l;
}

std::vector<double> numericGradient(const Table& t, const std::vector<double>& theta) {
  std::vector<double> g(theta.size());
  const double h = 1e-6;
  for (std::size_t j = 0; j < theta.size(); ++j) {
    auto up = theta, dn = theta;
    up[j] += h;
    dn[j] -= h;
    g[j] = (logLik(t, up) - logLik(t, dn)) / (2 * h);
  }
  return g;
}

// Expected information N sum (dp/du)(dp/dv)/p over both truth states, with the
// derivatives of the category probabilities by central differences.
std::vector<std::vector<double>> expectedInformation(const Table& t, const std::vector<double>& theta) {
  const int np = static_cast<int>(theta.size());
  std::vector<std::vector<double>> info(np, std::vector<double>(np, 0.0));
  const double h = 1e-6;
  for (int state = 0; state < 2; ++state) {
    const bool positive = state == 1;
    const double n = positive ? t.n1() : t.n0();
    const auto p = categoryProbs(theta, t.k(), positive);
    std::vector<std::vector<double>> dp(np);
    for (int j = 0; j < np; ++j) {
      auto up = theta, dn = theta;
      up[j] += h;
      dn[j] -= h;
      const auto pu = categoryProbs(up, t.k(), positive);
      const auto pd = categoryProbs(dn, t.k(), positive);
      dp[j].resize(t.k());
      for (int c = 0; c < t.k(); ++c) dp[j][c] = (pu[c] - pd[c]) / (2 * h);
    }
    for (int u = 0; u < np; ++u)
      for (int v = 0; v < np; ++v)
        for (int c = 0; c < t.k(); ++c) info[u][v] += n * dp[u][c] * dp[v][c] / p[c];
  }
  return info;
}

std::vector<std::vector<double>> gaussJordanInverse(std::vector<std::vector<double>> a) {
  const int n = static_cast<int>(a.size());
  std::vector<std::vector<double>> inv(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i) inv[i][i] = 1.0;
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[piv][c])) piv = r;
    std::swap(a[c], a[piv]);
    std::swap(inv[c], inv[piv]);
    const double d = a[c][c];
    for (int k = 0; k < n; ++k) {
      a[c][k] /= d;
      inv[c][k] /= d;
    }
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[r][c];
      for (int k = 0; k < n; ++k) {
        a[r][k] -= f * a[c][k];
        inv[r][k] -= f * inv[c][k];
      }
    }
  }
  return inv;
}

CatTab makeCatTab(const Table& t) {
  CatTab ct;
  ct.NCAT = t.k();
  ct.NNEG = static_cast<int>(std::lround(t.n0()));
  ct.NPOS = static_cast<int>(std::lround(t.n1()));
  for (int c = 1; c <= t.k(); ++c) {
    ct.CNEG[c] = t.neg[c - 1];
    ct.CPOS[c] = t.pos[c - 1];
  }
  return ct;
}

std::vector<double> thetaOf(const CatTab& ct) {
  std::vector<double> th;
  for (int j = 1; j <= ct.NCAT + 1; ++j) th.push_back(ct.PARM[j]);
  return th;
}

// Counts proportional to the model probabilities, rounded to whole cases.
Table expectedCounts(double a, double b, const std::vector<double>& z, double n0, double n1) {
  std::vector<double> theta = {a, b};
  theta.insert(theta.end(), z.begin(), z.end());
  const int k = static_cast<int>(z.size()) + 1;
  Table t;
  for (double p : categoryProbs(theta, k, false)) t.neg.push_back(std::round(n0 * p));
  for (double p : categoryProbs(theta, k, true)) t.pos.push_back(std::round(n1 * p));
  return t;
}

struct FitResult {
  CatTab ct;
  int iter = 0;
  CovMat cov{};
  std::vector<std::string> screen;
};

// Starting values and iteration as the fitting driver runs them.
FitResult fit(const Table& t) {
  FitResult r;
  r.ct = makeCatTab(t);
  LineCollector screen;
  Destinations out(screen);
  FitContext ctx;
  ctx.out = &out;
  OBPNT(r.ct, 1, ctx);
  INIFIT(r.ct);
  CUTOFF(r.ct, r.ct.PARM[1], r.ct.PARM[2], screen);
  FitWork w;
  MOSLOP(r.ct, r.iter, r.cov, w, screen);
  r.screen = screen.lines();
  return r;
}

const std::vector<Table>& tables() {
  static const std::vector<Table> t = {
      {{33, 6, 6, 11, 2}, {3, 2, 2, 11, 33}},
      {{40, 25, 20, 15}, {10, 15, 25, 50}},
      {{20, 18, 14, 10, 6, 2}, {2, 5, 9, 12, 16, 26}},
      {{12, 0, 9, 4, 3, 2}, {1, 2, 3, 3, 0, 21}},  // empty cells in both truth states
      {{5, 4, 6, 3, 4, 2, 3, 1, 1, 1}, {1, 1, 2, 2, 3, 3, 4, 5, 6, 8}},
      expectedCounts(0.9, 1.4, {-1.2, -0.6, 0.0, 0.5, 1.1, 1.8}, 400, 250),
  };
  return t;
}

TEST(Moslop, EstimatesMaximiseTheLogLikelihood) {
  std::mt19937 rng(11);
  std::normal_distribution<double> nd;
  for (std::size_t n = 0; n < tables().size(); ++n) {
    const Table& t = tables()[n];
    SCOPED_TRACE("table " + std::to_string(n));
    const FitResult r = fit(t);
    ASSERT_LE(r.iter, kMaxPasses);
    EXPECT_GE(r.iter, 3);  // two steps and the covariance pass at least
    EXPECT_TRUE(r.screen.empty());
    const auto theta = thetaOf(r.ct);
    const double best = logLik(t, theta);
    const auto g = numericGradient(t, theta);
    std::vector<double> se(theta.size());
    for (std::size_t j = 0; j < theta.size(); ++j) {
      se[j] = std::sqrt(r.cov[j + 1][j + 1]);
      // Gradient in units of the standard error: a change of the estimate
      // by one SE along the gradient would gain almost nothing.
      EXPECT_LT(std::fabs(g[j]) * se[j], 1e-3) << "parameter " << j + 1;
    }
    for (std::size_t j = 0; j < theta.size(); ++j) {
      for (double sgn : {-1.0, 1.0}) {
        auto p = theta;
        p[j] += sgn * 0.2 * se[j];
        EXPECT_LT(logLik(t, p), best) << "parameter " << j + 1;
      }
    }
    for (int trial = 0; trial < 20; ++trial) {
      auto p = theta;
      for (std::size_t j = 0; j < p.size(); ++j) p[j] += 0.2 * se[j] * nd(rng);
      EXPECT_LT(logLik(t, p), best);
    }
  }
}

TEST(Moslop, CovarianceIsTheInverseExpectedInformation) {
  for (std::size_t n = 0; n < tables().size(); ++n) {
    SCOPED_TRACE("table " + std::to_string(n));
    const Table& t = tables()[n];
    const FitResult r = fit(t);
    const auto inv = gaussJordanInverse(expectedInformation(t, thetaOf(r.ct)));
    const int np = t.k() + 1;
    for (int i = 1; i <= np; ++i) {
      for (int j = 1; j <= np; ++j) {
        const double scale = std::sqrt(inv[i - 1][i - 1] * inv[j - 1][j - 1]);
        EXPECT_NEAR(r.cov[i][j], inv[i - 1][j - 1], 1e-4 * scale) << i << "," << j;
      }
    }
    for (int i = 1; i <= kMaxParams; ++i)
      for (int j = 1; j <= kMaxParams; ++j)
        if (i > np || j > np) {
          EXPECT_EQ(r.cov[i][j], 0.0);
        }
  }
}

TEST(Moslop, PdevGivesTheGradientAndMinusTheInformationAwayFromTheOptimum) {
  const Table t = tables()[0];
  CatTab ct = makeCatTab(t);
  const std::vector<double> theta = {0.7, 0.6, -0.3, 0.2, 0.9, 1.4};
  for (int j = 1; j <= 6; ++j) ct.PARM[j] = theta[j - 1];
  FitWork w;
  TERMS(ct, w);
  EXPECT_NEAR(w.LOGL, logLik(t, theta), 1e-5);
  PDEV(ct, w);
  const auto g = numericGradient(t, theta);
  const auto info = expectedInformation(t, theta);
  for (int i = 1; i <= 6; ++i) {
    EXPECT_NEAR(w.GRAD[i], g[i - 1], 1e-4 * (1 + std::fabs(g[i - 1]))) << i;
    for (int j = 1; j <= 6; ++j)
      EXPECT_NEAR(-w.HESS[i][j], info[i - 1][j - 1], 1e-4 * (1 + std::fabs(info[i - 1][j - 1])));
  }
  for (int i = 1; i <= kMaxParams; ++i)
    for (int j = 1; j <= kMaxParams; ++j)
      if (i > 6 || j > 6) {
        EXPECT_EQ(w.HESS[i][j], 0.0);
      }
}

TEST(Moslop, ProbabilitiesAreFlooredForImpossibleCategories) {
  // Cut-offs out of order make category 2 impossible for both truth states.
  const Table t = {{5, 3, 2}, {1, 2, 7}};
  CatTab ct = makeCatTab(t);
  ct.PARM[1] = 1.0;
  ct.PARM[2] = 1.0;
  ct.PARM[3] = 0.5;
  ct.PARM[4] = -0.5;
  FitWork w;
  TERMS(ct, w);
  EXPECT_EQ(w.PRNEG[2], 5e-8);
  EXPECT_EQ(w.PRPOS[2], 5e-8);
  EXPECT_TRUE(std::isfinite(w.LOGL));
  PDEV(ct, w);
  for (int i = 1; i <= 4; ++i) EXPECT_TRUE(std::isfinite(w.GRAD[i]));
}

TEST(Moslop, ThreeCategoriesReturnAfterOnePassWithTheStartingValues) {
  const Table t = {{30, 12, 8}, {6, 14, 30}};
  CatTab ct = makeCatTab(t);
  LineCollector screen;
  Destinations out(screen);
  FitContext ctx;
  ctx.out = &out;
  OBPNT(ct, 1, ctx);
  INIFIT(ct);
  CUTOFF(ct, ct.PARM[1], ct.PARM[2], screen);
  const auto start = ct.PARM;
  FitWork w;
  CovMat cov{};
  int iter = 0;
  MOSLOP(ct, iter, cov, w, screen);
  EXPECT_EQ(iter, 1);
  EXPECT_EQ(ct.PARM, start);
  const auto inv = gaussJordanInverse(expectedInformation(t, thetaOf(ct)));
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      EXPECT_NEAR(cov[i][j], inv[i - 1][j - 1], 1e-4 * std::sqrt(inv[i - 1][i - 1] * inv[j - 1][j - 1]));
  EXPECT_TRUE(screen.lines().empty());
}

TEST(Moslop, WorkedExampleRecoversTheGeneratingCurve) {
  // Expected counts of 200000 cases per truth state from A = 1.2, B = 0.8 and
  // cut-offs -0.5, 0.3, 1.0, 1.6: the fit must return the generating values.
  // Area by hand: 1.2 / sqrt(1 + 0.64) = 0.937043, Phi(0.937043) = 0.825632.
  const Table t = expectedCounts(1.2, 0.8, {-0.5, 0.3, 1.0, 1.6}, 200000, 200000);
  const FitResult r = fit(t);
  ASSERT_LE(r.iter, kMaxPasses);
  EXPECT_NEAR(r.ct.PARM[1], 1.2, 5e-5);
  EXPECT_NEAR(r.ct.PARM[2], 0.8, 5e-5);
  const double expectedZ[] = {-0.5, 0.3, 1.0, 1.6};
  for (int j = 1; j <= 4; ++j) EXPECT_NEAR(r.ct.PARM[j + 2], expectedZ[j - 1], 5e-5);
  FitContext silent;
  EXPECT_NEAR(OUTRSL(r.ct, 1, r.iter, r.cov, silent), 0.825632, 5e-5);
}

TEST(Moslop, SingularInformationAtTheStartRunsToThePassLimit) {
  // No actually-positive cases: A and B carry no information, so the matrix
  // is not positive definite at the start and never becomes so.
  const Table t = {{10, 8, 6, 4}, {0, 0, 0, 0}};
  CatTab ct = makeCatTab(t);
  ct.PARM[1] = 1.0;
  ct.PARM[2] = 1.0;
  ct.PARM[3] = -0.5;
  ct.PARM[4] = 0.2;
  ct.PARM[5] = 0.8;
  const auto start = ct.PARM;
  LineCollector screen;
  FitWork w;
  CovMat cov{};
  int iter = 0;
  MOSLOP(ct, iter, cov, w, screen);
  EXPECT_EQ(iter, kMaxPasses + 1);
  EXPECT_EQ(ct.PARM, start);  // zero direction: the point never moves
  ASSERT_EQ(screen.lines().size(), 1u);
  EXPECT_EQ(screen.lines()[0], "          DOES NOT CONVERGE -- 100 ITERATIONS");
}

TEST(Moslop, BrokenParametersEndAtThePassLimitWithoutHanging) {
  const Table t = {{10, 8, 6, 4}, {2, 5, 8, 12}};
  CatTab ct = makeCatTab(t);
  ct.PARM[1] = std::nan("");
  ct.PARM[2] = 1.0;
  ct.PARM[3] = -0.5;
  ct.PARM[4] = 0.2;
  ct.PARM[5] = 0.8;
  LineCollector screen;
  FitWork w;
  CovMat cov{};
  int iter = 0;
  MOSLOP(ct, iter, cov, w, screen);
  EXPECT_EQ(iter, kMaxPasses + 1);
  ASSERT_EQ(screen.lines().size(), 1u);
}

// ---- HF ----

// Log-likelihood of the dichotomy at cut-off k as a function of z.
double dichotomy(double z, double a, double b, double n0, double n1, double cn, double cs) {
  const double w = b * z - a;
  return cn * std::log(exactPhi(z)) + (n0 - cn) * std::log(exactUpper(z)) + cs * std::log(exactPhi(w)) +
         (n1 - cs) * std::log(exactUpper(w));
}

struct HfCase {
  double z, a, b;
  double relTol;
};

TEST(Moslop, HfIsTheCutOffScoreOverTheNormalDensity) {
  CatTab ct;
  ct.NNEG = 60;
  ct.NPOS = 40;
  ct.CUMNEG[3] = 45;
  ct.CUMPOS[3] = 12;
  const HfCase cases[] = {
      {-2.0, 1.0, 1.0, 1e-4},
      {-0.5, 1.0, 1.0, 1e-4},
      {0.0, 1.5, 0.7, 1e-4},
      {0.8, 1.5, 0.7, 1e-4},
      // At +-5 the exact form divides by a tail of 3e-7 that the rational
      // approximation of Phi knows to 7.5e-8 absolute.
      {2.5, 0.5, 1.2, 1e-4},
      {5.0, 0.0, 0.5, 1e-2},
      {-5.0, 0.0, 0.5, 1e-2},
      // Beyond five standard deviations the tail forms hold to about 3/t^4.
      {-6.0, 0.0, 0.5, 1e-2},
      {6.5, 0.0, 0.5, 1e-2},
      {1.0, 7.0, 1.0, 1e-2},
      {1.0, -5.5, 1.0, 1e-2},
  };
  for (const auto& c : cases) {
    ct.PARM[1] = c.a;
    ct.PARM[2] = c.b;
    const double h = 1e-5;
    const double d =
        (dichotomy(c.z + h, c.a, c.b, 60, 40, 45, 12) - dichotomy(c.z - h, c.a, c.b, 60, 40, 45, 12)) /
        (2 * h);
    const double expected = d / exactDensity(c.z);
    EXPECT_NEAR(HF(ct, 3, c.z), expected, c.relTol * std::fabs(expected)) << "z=" << c.z << " a=" << c.a;
  }
}

}  // namespace
}  // namespace quelbro
