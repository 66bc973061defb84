// Tests of the distribution functions against values from standard statistical
// tables and closed forms, within the accuracy of each approximation.
#include "stats/distributions.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>

namespace quelbro {
namespace {

// Published maximum absolute errors of the two normal approximations
// (Abramowitz and Stegun 26.2.17 and 26.2.23).
constexpr double kPnormErr = 7.5e-8;
constexpr double kPinvnErr = 4.5e-4;

// 26.2.17's bound holds for its nine-digit constants; the routine carries them
// to six or seven digits. The extra error this adds at x is at most
// phi(x) * sum |b_i(routine) - b_i(published)| t^i, plus the rounding of
// 1/sqrt(2 pi) to 0.3989423 times the tail.
double pnormBound(double x) {
  const double t = 1.0 / (1.0 + 0.2316419 * std::fabs(x));
  const double db[5] = {0.3193815 - 0.319381530, -0.3565638 + 0.356563782, 1.781478 - 1.781477937,
                        -1.821256 + 1.821255978, 1.330274 - 1.330274429};
  double sum = 0.0, tp = t;
  for (double e : db) {
    sum += std::fabs(e) * tp;
    tp *= t;
  }
  const double dens = 0.3989422804014327 * std::exp(-x * x / 2);
  return kPnormErr + dens * sum + 2e-8 * std::exp(-x * x / 2);
}

// Upper-tail probability of F(d1, d2) at f, the way the F tests form it.
double fUpper(double f, double d1, double d2, int* status = nullptr) {
  double p, d;
  int s;
  BETAP(d2 / (f * d1 + d2), d2 / 2.0, d1 / 2.0, p, d, s);
  if (status) *status = s;
  return p;
}

struct NormalCase {
  double x, p;
};

TEST(Pnorm, MatchesNormalTableWithinPublishedError) {
  // Phi(x) to 10 places from the standard normal table.
  const NormalCase cases[] = {{1.0, 0.8413447461},  {1.96, 0.9750021049}, {-1.5, 0.0668072013},
                              {2.5, 0.9937903347},  {-3.0, 0.0013498980}, {0.5, 0.6914624613},
                              {-1.0, 0.1586552539}, {4.0, 0.9999683288}};
  for (const auto& c : cases) {
    double p, d;
    PNORM(c.x, p, d);
    EXPECT_NEAR(p, c.p, pnormBound(c.x)) << "x = " << c.x;
    // The density, against its definition with full-precision 1/sqrt(2 pi).
    EXPECT_NEAR(d, 0.3989422804014327 * std::exp(-c.x * c.x / 2), 1e-7) << "x = " << c.x;
  }
}

TEST(Pnorm, EdgeCases) {
  double p, d;
  PNORM(0.0, p, d);
  EXPECT_NEAR(p, 0.5, pnormBound(0.0));
  EXPECT_NEAR(p, 0.5, 5e-7);  // about 7 digits
  EXPECT_DOUBLE_EQ(d, 0.3989423);
  PNORM(-20.0, p, d);
  EXPECT_EQ(p, 0.0);
  EXPECT_EQ(d, 0.0);
  PNORM(20.0, p, d);
  EXPECT_EQ(p, 1.0);
  EXPECT_EQ(d, 0.0);
  // Symmetry: Phi(-x) = 1 - Phi(x) holds exactly by construction of the tails.
  for (double x : {0.1, 0.7, 1.3, 2.9}) EXPECT_NEAR(Phi(-x), 1.0 - Phi(x), 1e-15);
}

TEST(Pinvn, MatchesNormalQuantilesWithinPublishedError) {
  // Quantiles z_p of the standard normal table.
  const NormalCase cases[] = {{1.9599639845, 0.975},  {1.6448536270, 0.95}, {2.3263478740, 0.99},
                              {3.0902323062, 0.999},  {1.2815515655, 0.9},  {-1.9599639845, 0.025},
                              {-3.0902323062, 0.001}, {-0.6744897502, 0.25}};
  for (const auto& c : cases) {
    double x, d;
    int s = 99;
    PINVN(c.p, x, d, s);
    EXPECT_EQ(s, 0);
    EXPECT_NEAR(x, c.x, kPinvnErr) << "p = " << c.p;
    EXPECT_NEAR(d, 0.3989423 * std::exp(-x * x / 2), 1e-15);
  }
}

TEST(Pinvn, EdgeCasesAndSentinels) {
  double x, d;
  int s;
  PINVN(0.975, x, d, s);
  EXPECT_NEAR(x, 1.96, kPinvnErr);
  PINVN(0.5, x, d, s);
  EXPECT_NEAR(x, 0.0, kPinvnErr);
  EXPECT_EQ(s, 0);
  PINVN(1.2, x, d, s);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(x, 9.9999e37);
  EXPECT_EQ(d, 9.9999e37);
  PINVN(-0.1, x, d, s);
  EXPECT_EQ(s, -1);
  PINVN(0.0, x, d, s);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(x, -9.9999e37);
  EXPECT_EQ(d, 0.0);
  PINVN(1.0, x, d, s);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(x, 9.9999e37);
  EXPECT_EQ(d, 0.0);
  PINVN(std::nan(""), x, d, s);
  EXPECT_EQ(s, -1);
}

TEST(Gamln, MatchesKnownValues) {
  struct Case {
    double x, l, tol;
  };
  const Case cases[] = {
      {1.0, 0.0, 1e-12},
      {2.0, 0.0, 1e-12},
      {0.5, 0.5723649429247001, 1e-12},   // ln sqrt(pi)
      {10.0, 12.801827480081469, 1e-11},  // ln 9!
      {3.5, 1.2009736023470743, 1e-12},   // ln(15 sqrt(pi) / 8)
      {100.0, 359.1342053695754, 1e-10},  // ln 99!
      {25.0, 54.78472939811232, 1e-10},   // ln 24!
  };
  for (const auto& c : cases) {
    double l;
    int s = 99;
    GAMLN(c.x, l, s);
    EXPECT_EQ(s, 0);
    EXPECT_NEAR(l, c.l, c.tol) << "x = " << c.x;
  }
}

TEST(Gamln, DomainAndRanges) {
  double l;
  int s;
  GAMLN(0.0, l, s);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(l, -1e75);
  GAMLN(-3.0, l, s);
  EXPECT_EQ(s, -1);
  GAMLN(std::nan(""), l, s);
  EXPECT_EQ(s, -1);
  GAMLN(1e20, l, s);
  EXPECT_EQ(s, 0);
  EXPECT_NEAR(l / (1e20 * (std::log(1e20) - 1.0)), 1.0, 1e-12);
  GAMLN(1e80, l, s);
  EXPECT_EQ(s, 1);
  EXPECT_TRUE(std::isfinite(l));
}

struct FCase {
  double f, d1, d2, upper;
};

TEST(Betap, FUpperTailsMatchFTables) {
  // Critical values of F at the 5% and 1% points from the F tables; the
  // tabled values are rounded to 5 figures, which moves the tail by < 1e-5.
  const FCase cases[] = {{4.9646, 1, 10, 0.05}, {3.4928, 2, 20, 0.05}, {3.4903, 3, 12, 0.05},
                         {2.6896, 4, 30, 0.05}, {161.45, 1, 1, 0.05},  {3.3258, 5, 10, 0.05},
                         {4.1709, 1, 30, 0.05}, {10.044, 1, 10, 0.01}, {4.9382, 3, 20, 0.01},
                         {2.9782, 10, 10, 0.05}};
  for (const auto& c : cases) {
    int s = 99;
    EXPECT_NEAR(fUpper(c.f, c.d1, c.d2, &s), c.upper, 1e-5) << c.f << " " << c.d1 << " " << c.d2;
    EXPECT_EQ(s, 0);
  }
}

TEST(Betap, ClosedFormsAndEdgeCases) {
  double p, d;
  int s;
  // An F ratio of 0 gives x = 1.
  BETAP(1.0, 5.0, 0.5, p, d, s);
  EXPECT_EQ(p, 1.0);
  EXPECT_EQ(s, 0);
  BETAP(0.5, 1.0, 1.0, p, d, s);
  EXPECT_EQ(p, 0.5);
  EXPECT_NEAR(d, 1.0, 1e-12);
  // I_x(1/2, 1/2) = (2/pi) asin(sqrt x), the arcsine law.
  BETAP(0.2, 0.5, 0.5, p, d, s);
  EXPECT_NEAR(p, 2.0 / M_PI * std::asin(std::sqrt(0.2)), 1e-7);
  // I_x(2, 3) = 6x^2(1-x)^2 + 4x^3(1-x) + x^4.
  BETAP(0.9, 2.0, 3.0, p, d, s);
  EXPECT_NEAR(p, 0.9963, 1e-7);
  EXPECT_NEAR(d, 12.0 * 0.9 * 0.01, 1e-9);  // 1/B(2,3) x (1-x)^2
  // a = 1 and b = 1 have the closed forms 1 - (1-x)^b and x^a.
  BETAP(0.3, 1.0, 4.0, p, d, s);
  EXPECT_NEAR(p, 1.0 - std::pow(0.7, 4), 1e-12);
  BETAP(0.3, 3.0, 1.0, p, d, s);
  EXPECT_NEAR(p, std::pow(0.3, 3), 1e-12);
  // Lower end: density infinite, finite or zero by the first shape.
  BETAP(0.0, 0.5, 2.0, p, d, s);
  EXPECT_EQ(p, 0.0);
  EXPECT_EQ(d, 1e38);
  BETAP(0.0, 1.0, 3.0, p, d, s);
  EXPECT_NEAR(d, 3.0, 1e-9);  // 1/B(1,3)
  BETAP(0.0, 2.0, 3.0, p, d, s);
  EXPECT_EQ(d, 0.0);
  // Domain errors.
  for (const auto& [x, a, b] : {std::array<double, 3>{0.5, 0.4, 2.0},
                                {0.5, 2.0, 0.4},
                                {0.5, 2e5, 2.0},
                                {-0.1, 2.0, 2.0},
                                {std::nan(""), 2.0, 2.0}}) {
    BETAP(x, a, b, p, d, s);
    EXPECT_EQ(s, -2);
    EXPECT_EQ(p, -1e38);
    EXPECT_EQ(d, -1e38);
  }
  // A negative F ratio puts x above 1: the upper end.
  BETAP(1.3, 4.0, 2.0, p, d, s);
  EXPECT_EQ(p, 1.0);
  EXPECT_EQ(s, 0);
  // Tiny tails snap to 0.
  EXPECT_EQ(fUpper(1000.0, 3, 40), 0.0);
}

TEST(Betap, LargeDenominatorDfGoesThroughChiSquareLimit) {
  // a = 1500 (d2 = 3000), b = 0.5 (d1 = 1): the tail is 1 - Pr(chi2(1) <= F).
  double pc, dc;
  int sc;
  CHIP(3.8415, 1.0, pc, dc, sc);
  EXPECT_NEAR(fUpper(3.8415, 1, 3000), 1.0 - pc, 1e-13);
  // The exact F(1, 3000) tail there is 0.05009; the chi-square limit gives 0.05.
  EXPECT_NEAR(fUpper(3.8415, 1, 3000), 0.05, 2e-5);
  // b > 1000 (d1 = 2400): I_x(a, b) = Pr(chi2(2a) <= 2b x/(1-x)).
  double p, d;
  int s;
  BETAP(0.4, 2.0, 1200.0, p, d, s);
  CHIP(2400.0 * 0.4 / 0.6, 4.0, pc, dc, sc);
  EXPECT_EQ(p, pc);
}

struct ChiCase {
  double x, nu, p;
};

TEST(Chip, MatchesChiSquareTable) {
  // Upper 5% and 1% points from the chi-square table, plus two lower values
  // from the closed forms for 1 and 3 df.
  const ChiCase cases[] = {{3.841459, 1, 0.95},  {5.991465, 2, 0.95},    {7.814728, 3, 0.95},
                           {11.0705, 5, 0.95},   {18.30704, 10, 0.95},   {43.77297, 30, 0.95},
                           {13.2767, 4, 0.99},   {14.06714, 7, 0.95},    {24.99579, 15, 0.95},
                           {37.65248, 25, 0.95}, {1.0, 3, 0.1987480431}, {0.5, 1, 0.5204998778}};
  for (const auto& c : cases) {
    double p, d;
    int s = 99;
    CHIP(c.x, c.nu, p, d, s);
    EXPECT_EQ(s, 0);
    EXPECT_NEAR(p, c.p, 1e-6) << "x = " << c.x << " nu = " << c.nu;
  }
}

TEST(Chip, DensityAndEdgeCases) {
  double p, d;
  int s;
  // Density with 4 df: x e^{-x/2} / 4.
  CHIP(3.0, 4.0, p, d, s);
  EXPECT_NEAR(d, 3.0 * std::exp(-1.5) / 4.0, 1e-12);
  CHIP(0.0, 1.0, p, d, s);
  EXPECT_EQ(p, 0.0);
  EXPECT_EQ(d, 1e38);
  CHIP(0.0, 2.0, p, d, s);
  EXPECT_EQ(d, 0.5);
  CHIP(0.0, 5.0, p, d, s);
  EXPECT_EQ(d, 0.0);
  CHIP(2e6, 5.0, p, d, s);
  EXPECT_EQ(p, 1.0);
  CHIP(2500.0, 50.0, p, d, s);
  EXPECT_EQ(p, 1.0);
  EXPECT_EQ(s, 0);
  for (const auto& [x, nu] : {std::pair{1.0, 0.4}, {1.0, 3e5}, {-1.0, 3.0}, {std::nan(""), 3.0}}) {
    CHIP(x, nu, p, d, s);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(p, -1e38);
    EXPECT_EQ(d, -1e38);
  }
}

TEST(Chip, WilsonHilfertyAboveThousandDf) {
  // 5% and 95% points of chi-square with 1200 df.
  double p, d;
  int s;
  CHIP(1281.701949, 1200.0, p, d, s);
  EXPECT_NEAR(p, 0.95, 1e-4);
  CHIP(1120.571904, 1200.0, p, d, s);
  EXPECT_NEAR(p, 0.05, 1e-4);
  EXPECT_EQ(s, 0);
}

TEST(Tcrit, TableAndExpansionMatchTTable) {
  // Two-sided 5% points of Student's t from the t table. The expansion is
  // taken about 1.96 rather than z = 1.959964, which moves every expanded
  // value up by about 4e-5; at 8 and 10 df the omitted n^-5 term dominates.
  struct Case {
    int n;
    double t, tol;
  };
  const Case cases[] = {{1, 12.706, 0.0},     {2, 4.303, 0.0},      {3, 3.182, 0.0},
                        {4, 2.776, 0.0},      {5, 2.571, 0.0},      {6, 2.447, 0.0},
                        {7, 2.365, 0.0},      {8, 2.306004, 5e-4},  {10, 2.228139, 2e-4},
                        {20, 2.085963, 6e-5}, {30, 2.042272, 6e-5}, {60, 2.000298, 6e-5},
                        {120, 1.979930, 6e-5}};
  for (const auto& c : cases) EXPECT_NEAR(TCRIT(c.n), c.t, c.tol) << "n = " << c.n;
  EXPECT_NEAR(TCRIT(30), 2.042, 5e-4);
}

TEST(Tcrit, NoDfHasNoCriticalValue) {
  EXPECT_TRUE(std::isnan(TCRIT(0)));
  EXPECT_TRUE(std::isnan(TCRIT(-3)));
}

}  // namespace
}  // namespace quelbro
