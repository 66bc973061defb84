// Tests of the full-precision beta-family functions against published
// quantiles, closed forms and the independent sums of tools/beta_reference.py.
#include "stats/beta_family.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quelbro {
namespace {

TEST(IncompleteBeta, MatchesPowerSeries) {
  struct Row {
    double x, a, b, lower;
  };
  // tools/beta_reference.py (hypergeometric series summed exactly).
  const Row rows[] = {
      {0.3, 2.5, 4.0, 0.3521975859067661},      {0.9, 0.5, 7.25, 0.9999999878725331},
      {0.05, 12.0, 3.5, 4.563201024545152e-14}, {0.6, 30.0, 25.0, 0.7905836213605995},
      {0.001, 0.7, 0.3, 0.002923041355577558},
  };
  for (const Row& r : rows) {
    const Tails t = incompleteBeta(r.x, r.a, r.b);
    EXPECT_NEAR(t.lower, r.lower, 1e-13 * std::max(r.lower, 1e-3)) << r.x << " " << r.a << " " << r.b;
    EXPECT_NEAR(t.lower + t.upper, 1.0, 1e-15);
  }
  // The upper tail keeps its own digits where 1 - lower would lose them.
  EXPECT_NEAR(incompleteBeta(0.9, 0.5, 7.25).upper, 1.0 - 0.9999999878725331, 1e-15);
}

TEST(IncompleteBeta, ClosedForms) {
  // I_x(a, 1) = x^a, I_x(1, b) = 1 - (1 - x)^b, I_x(1/2, 1/2) = 2/pi asin(sqrt x).
  for (double x : {1e-12, 0.01, 0.37, 0.5, 0.93, 1.0 - 1e-9}) {
    for (double s : {0.25, 1.0, 3.5, 40.0, 1e4}) {
      EXPECT_NEAR(incompleteBeta(x, s, 1.0).lower, std::pow(x, s), 1e-13 * std::max(std::pow(x, s), 1e-3));
      EXPECT_NEAR(incompleteBeta(x, 1.0, s).upper, std::pow(1.0 - x, s),
                  1e-12 * std::max(std::pow(1.0 - x, s), 1e-3));
    }
    // (each tail where its closed form is well conditioned)
    if (x <= 0.5) {
      EXPECT_NEAR(incompleteBeta(x, 0.5, 0.5).lower, 2.0 / M_PI * std::asin(std::sqrt(x)), 1e-14);
    } else {
      EXPECT_NEAR(incompleteBeta(x, 0.5, 0.5).upper, 2.0 / M_PI * std::asin(std::sqrt(1.0 - x)), 1e-14);
    }
  }
}

TEST(IncompleteBeta, UndefinedArgumentsGiveNaNNotAHang) {
  for (const auto& [x, a, b] : {std::tuple{0.5, 0.0, 1.0},
                                {0.5, 1.0, -2.0},
                                {-0.1, 1.0, 1.0},
                                {1.5, 1.0, 1.0},
                                {NAN, 1.0, 1.0},
                                {0.5, INFINITY, 1.0}}) {
    EXPECT_TRUE(std::isnan(incompleteBeta(x, a, b).lower));
  }
  EXPECT_EQ(incompleteBeta(0.0, 2.0, 3.0).lower, 0.0);
  EXPECT_EQ(incompleteBeta(1.0, 2.0, 3.0).upper, 0.0);
}

TEST(IncompleteBetaInverse, InvertsToTenDigits) {
  for (double a : {0.3, 0.5, 1.0, 2.5, 17.0, 400.0, 5e6}) {
    for (double b : {0.5, 1.0, 4.0, 90.0, 2e5}) {
      for (double p : {1e-12, 1e-5, 0.025, 0.3, 0.5, 0.8, 0.975, 1.0 - 1e-9}) {
        const BetaPoint bp = incompleteBetaInverse(p, 1.0 - p, a, b);
        ASSERT_FALSE(std::isnan(bp.x)) << a << " " << b << " " << p;
        const Tails back = incompleteBeta(bp.x, bp.y, a, b);
        const double tail = p <= 0.5 ? back.lower : back.upper, want = p <= 0.5 ? p : 1.0 - p;
        EXPECT_NEAR(tail, want, 1e-10 * want) << a << " " << b << " " << p;
      }
    }
  }
  EXPECT_EQ(incompleteBetaInverse(0.0, 1.0, 2.0, 3.0).x, 0.0);
  EXPECT_EQ(incompleteBetaInverse(1.0, 0.0, 2.0, 3.0).x, 1.0);
  EXPECT_TRUE(std::isnan(incompleteBetaInverse(1.2, -0.2, 2.0, 3.0).x));
}

TEST(Quantiles, MatchPublishedTables) {
  struct Row {
    double p, d1, d2, want;  // d1 = 0: a t quantile with d2 df
  };
  const Row rows[] = {
      {0.975, 0, 1, 12.7062047361747},   {0.975, 0, 10, 2.22813885198627},  {0.975, 0, 3.7, 2.86752070719119},
      {0.995, 0, 2.2, 8.53471527980769}, {0.9, 0, 150.5, 1.28720199404869}, {0.95, 1, 10, 4.96460274373071},
      {0.95, 1, 2.6, 12.0977528820411},  {0.99, 4, 17.3, 4.64068008241972}, {0.5, 3, 3, 1.0},
  };
  for (const Row& r : rows) {
    const double got = r.d1 == 0 ? tQuantile(r.p, r.d2) : fQuantile(r.p, r.d1, r.d2);
    EXPECT_NEAR(got, r.want, 1e-10 * r.want) << r.p << " " << r.d1 << " " << r.d2;
  }
  EXPECT_NEAR(tQuantile(0.975, 1), 12.7062047, 5e-8);
  EXPECT_NEAR(tQuantile(0.975, 10), 2.2281389, 5e-8);
  EXPECT_NEAR(fQuantile(0.95, 1, 10), 4.9646027, 5e-8);
  EXPECT_NEAR(tQuantile(0.025, 10), -2.2281389, 5e-8);
  EXPECT_EQ(tQuantile(0.5, 7.0), 0.0);
}

TEST(Quantiles, HugeDfApproachTheNormal) {
  // z(0.975) = 1.959963984540054; t's excess over it is about (z^3 + z) / (4 df).
  // Up to 1e7 df ten digits hold; beyond, the continued fraction loses a few
  // more (still far below anything the reports print).
  for (double df : {1e3, 1e5, 1e7, 1e9, 1e12, 1e15, 1e300}) {
    const double z = 1.959963984540054, want = z + (z * z * z + z) / (4.0 * df);
    const double tol = df <= 1e7 ? 1e-10 : 1e-5;
    if (df >= 1e5) {
      EXPECT_NEAR(tQuantile(0.975, df), want, tol * 20) << df;
    }
    EXPECT_NEAR(tTails(want, df).upper, 0.025, tol + 1.0 / (df * df)) << df;
    if (df >= 1e5) {
      EXPECT_NEAR(fQuantile(0.95, 1, df), want * want, tol * 40) << df;
    }
  }
}

TEST(Tails, TAndFAgree) {
  // F(1, n) is t(n) squared; t(1) is Cauchy; t(2) has a closed form.
  for (double t : {0.0, 0.3, 1.0, 2.2281389, 12.7, 1e3, 1e200}) {
    EXPECT_NEAR(2.0 * tTails(t, 10.0).upper, fTails(t * t, 1.0, 10.0).upper, 1e-15);
    EXPECT_NEAR(tTails(t, 1.0).upper, 0.5 - std::atan(t) / M_PI, 1e-15);
    EXPECT_NEAR(tTails(-t, 2.0).lower, 0.5 - 0.5 / std::sqrt(2.0 / t / t + 1.0), 1e-15);
  }
  EXPECT_NEAR(fTails(4.96460274373071, 1, 10).upper, 0.05, 1e-13);
}

TEST(NoncentralF, MatchesIndependentSums) {
  struct Row {
    double f, d1, d2, lambda, upper;
  };
  // tools/beta_reference.py: a Poisson sum of power-series incomplete betas.
  const Row rows[] = {
      {4.9646027437307, 1, 10, 5.0, 0.52387531883001}, {2.5, 3, 20, 10.0, 0.769283045101059},
      {1.0, 4, 7.5, 0.5, 0.515887850096313},           {7.0, 1, 4.3, 12.0, 0.769219560681309},
      {90.0, 2, 30, 200.0, 0.673195274956596},         {6.0, 1, 2.5, 1.0, 0.208251917663382},
  };
  for (const Row& r : rows) {
    const Tails t = noncentralFTails(r.f, r.d1, r.d2, r.lambda);
    EXPECT_NEAR(t.upper, r.upper, 1e-11) << r.f << " " << r.lambda;
    EXPECT_NEAR(t.lower + t.upper, 1.0, 1e-13);
  }
}

TEST(NoncentralF, ClosedFormWithTwoDenominatorDf) {
  // With d2 = 2 every I_x(a + j, 1) is x^(a + j): P(F' <= f) = x^a exp(-lambda (1 - x) / 2).
  for (double d1 : {1.0, 2.0, 3.3, 12.0}) {
    for (double lambda : {1e-6, 0.7, 8.0, 75.0, 3000.0, 2e5}) {
      for (double f : {0.05, 1.0, 4.0, 60.0, 5000.0}) {
        const double x = d1 * f / (d1 * f + 2.0);
        const double want = std::exp(0.5 * d1 * std::log(x) - 0.5 * lambda * (1.0 - x));
        EXPECT_NEAR(noncentralFTails(f, d1, 2.0, lambda).lower, want, 1e-12 + 1e-10 * want)
            << d1 << " " << lambda << " " << f;
      }
    }
  }
}

TEST(NoncentralF, LargeDenominatorDfIsTheNoncentralChiSquare) {
  // P(chi2'(1, lambda) > c) = Phi(-sqrt c - sqrt lambda) + Phi(-sqrt c + sqrt lambda).
  auto upperNormal = [](double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); };
  for (double lambda : {0.0, 0.5, 7.85, 40.0, 1000.0}) {
    for (double c : {1.0, 3.841458820694124, 9.0}) {
      const double want =
          upperNormal(std::sqrt(c) + std::sqrt(lambda)) + upperNormal(std::sqrt(c) - std::sqrt(lambda));
      EXPECT_NEAR(noncentralFTails(c, 1.0, 1e9, lambda).upper, want, 1e-8) << lambda << " " << c;
    }
  }
}

TEST(NoncentralF, EdgesStayFiniteAndBounded) {
  EXPECT_DOUBLE_EQ(noncentralFTails(3.0, 1, 10, 0.0).upper, fTails(3.0, 1, 10).upper);
  EXPECT_EQ(noncentralFTails(0.0, 1, 10, 4.0).upper, 1.0);
  EXPECT_EQ(noncentralFTails(INFINITY, 1, 10, 4.0).upper, 0.0);
  EXPECT_TRUE(std::isnan(noncentralFTails(3.0, 1, 10, -1.0).upper));
  EXPECT_TRUE(std::isnan(noncentralFTails(3.0, 0, 10, 1.0).upper));
  EXPECT_TRUE(std::isnan(noncentralFTails(3.0, 1, 10, NAN).upper));
  // Very large noncentralities and df: a number in [0, 1], found in bounded time.
  for (double lambda : {1e6, 1e8, 1e12, 1e300}) {
    for (double d2 : {2.0, 50.0, 1e12}) {
      const double p = noncentralFTails(4.0, 1.0, d2, lambda).upper;
      EXPECT_TRUE(p >= 0.0 && p <= 1.0) << lambda << " " << d2;
      EXPECT_GT(p, 0.99);
    }
  }
  // Continuity across the switch to Patnaik's approximation.
  const double below = noncentralFTails(2.0e7, 1.0, 4.0, 1.999e7).upper;
  const double above = noncentralFTails(2.0e7, 1.0, 4.0, 2.001e7).upper;
  EXPECT_NEAR(below, above, 1e-3);
}

}  // namespace
}  // namespace quelbro
