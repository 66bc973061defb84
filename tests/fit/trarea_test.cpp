// Trapezoidal area on categorized results: the category-count sum against the
// pairwise Wilcoxon definition, and the Hanley-McNeil standard error.
#include "fit/trarea.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace quelbro {
namespace {

constexpr int kT = 2;  // treatment column used by the tests

struct Data {
  CatTab ct;
  ResultTable xneg, xpos;
};

Data load(const std::vector<int>& neg, const std::vector<int>& pos) {
  Data d;
  d.ct.NNEG = static_cast<int>(neg.size());
  d.ct.NPOS = static_cast<int>(pos.size());
  for (std::size_t i = 0; i < neg.size(); ++i)
    d.xneg(kT, static_cast<int>(i + 1)) = static_cast<float>(neg[i]);
  for (std::size_t j = 0; j < pos.size(); ++j)
    d.xpos(kT, static_cast<int>(j + 1)) = static_cast<float>(pos[j]);
  return d;
}

// The definition: every negative-positive pair without the left-out case,
// 1 when the negative is lower, one half when equal.
double pairwiseArea(const Data& d, int ileave) {
  double w = 0.0;
  int cn = 0, cp = 0;
  for (int i = 1; i <= d.ct.NNEG; ++i) cn += (i == ileave) ? 0 : 1;
  for (int j = 1; j <= d.ct.NPOS; ++j) cp += (d.ct.NNEG + j == ileave) ? 0 : 1;
  for (int i = 1; i <= d.ct.NNEG; ++i) {
    if (i == ileave) continue;
    for (int j = 1; j <= d.ct.NPOS; ++j) {
      if (d.ct.NNEG + j == ileave) continue;
      const float a = d.xneg(kT, i), b = d.xpos(kT, j);
      if (a < b) w += 1.0;
      if (a == b) w += 0.5;
    }
  }
  return w / (static_cast<double>(cn) * cp);
}

// Hanley-McNeil with Q1 - A^2 and Q2 - A^2 in their factored forms.
double hanleyMcNeilSe(double a, double cn, double cp) {
  const double v =
      (a * (1 - a) + (cp - 1) * a * (1 - a) * (1 - a) / (2 - a) + (cn - 1) * a * a * (1 - a) / (1 + a)) /
      (cn * cp);
  return std::sqrt(v);
}

void run(Data& d, int ileave) {
  const CategoryCounts full = countCategories(d.ct, kT, d.xneg, d.xpos);
  TRAREA(d.ct, kT, ileave, d.xneg, d.xpos, full);
}

TEST(Trarea, CompleteSeparationHasNoError) {
  Data d = load({1, 1, 2, 2}, {3, 4, 4});
  run(d, 0);
  EXPECT_EQ(d.ct.TRAPA, 1.0);
  EXPECT_EQ(d.ct.TRAPSE, 0.0);
  Data r = load({3, 4, 4}, {1, 1, 2, 2});
  run(r, 0);
  EXPECT_EQ(r.ct.TRAPA, 0.0);
  EXPECT_EQ(r.ct.TRAPSE, 0.0);
}

TEST(Trarea, AllTiedIsOneHalf) {
  for (auto [cn, cp] : std::vector<std::pair<int, int>>{{1, 1}, {3, 5}, {40, 7}, {2000, 2000}}) {
    Data d = load(std::vector<int>(static_cast<std::size_t>(cn), 1),
                  std::vector<int>(static_cast<std::size_t>(cp), 1));
    run(d, 0);
    EXPECT_EQ(d.ct.TRAPA, 0.5);
    const double v = (0.25 + (cn + cp - 2) / 12.0) / (static_cast<double>(cn) * cp);
    EXPECT_NEAR(d.ct.TRAPSE, std::sqrt(v), 1e-15) << cn << " " << cp;
  }
}

TEST(Trarea, OneTiedPair) {
  Data d = load({4}, {4});
  run(d, 0);
  EXPECT_EQ(d.ct.TRAPA, 0.5);
  EXPECT_DOUBLE_EQ(d.ct.TRAPSE, 0.5);  // V = 0.25
}

TEST(Trarea, LeavingOutACaseRemovesItsPairs) {
  // Negatives {1,2}, positives {2,3}: pairs 1<2, 1<3, 2=2, 2<3 give 3.5 of 4.
  Data d = load({1, 2}, {2, 3});
  run(d, 0);
  EXPECT_EQ(d.ct.TRAPA, 3.5 / 4);
  run(d, 2);  // without negative 2: 2 of 2
  EXPECT_EQ(d.ct.TRAPA, 1.0);
  run(d, 1);  // without negative 1: 1.5 of 2
  EXPECT_EQ(d.ct.TRAPA, 0.75);
  EXPECT_DOUBLE_EQ(d.ct.TRAPSE, hanleyMcNeilSe(0.75, 1, 2));
  run(d, 3);  // without positive 1 (value 2): 2 of 2
  EXPECT_EQ(d.ct.TRAPA, 1.0);
  run(d, 4);  // without positive 2 (value 3): 1.5 of 2
  EXPECT_EQ(d.ct.TRAPA, 0.75);
  EXPECT_DOUBLE_EQ(d.ct.TRAPSE, hanleyMcNeilSe(0.75, 2, 1));
  // The counts themselves are left alone for the next call.
  EXPECT_EQ(d.ct.NNEG, 2);
  EXPECT_EQ(d.ct.NPOS, 2);
}

TEST(Trarea, OnlyCaseOfItsTruthStateLeftOut) {
  Data d = load({2}, {1, 3, 3});
  run(d, 1);
  EXPECT_EQ(d.ct.TRAPA, 0.5);
  EXPECT_EQ(d.ct.TRAPSE, 0.0);
  Data e = load({1, 2, 2}, {2});
  run(e, 4);
  EXPECT_EQ(e.ct.TRAPA, 0.5);
  EXPECT_EQ(e.ct.TRAPSE, 0.0);
  run(e, 0);
  EXPECT_EQ(e.ct.TRAPA, 2.0 / 3);
}

// The category-count sum equals the pairwise sum exactly, on all cases and
// with every single case left out, over random tables of 1 to 20 categories.
TEST(Trarea, EqualsPairwiseSumOnRandomTables) {
  std::mt19937 rng(20240611);
  int checked = 0;
  for (int rep = 0; rep < 300; ++rep) {
    const int k = 1 + static_cast<int>(rng() % 20);
    const int nn = 1 + static_cast<int>(rng() % 60);
    const int np = 1 + static_cast<int>(rng() % 60);
    std::uniform_int_distribution<int> cat(1, k);
    std::vector<int> neg, pos;
    for (int i = 0; i < nn; ++i) neg.push_back(cat(rng));
    for (int j = 0; j < np; ++j) pos.push_back(cat(rng));
    Data d = load(neg, pos);
    const CategoryCounts full = countCategories(d.ct, kT, d.xneg, d.xpos);
    for (int ileave = 0; ileave <= nn + np; ++ileave) {
      const bool noPairs = (nn == 1 && ileave == 1) || (np == 1 && ileave == nn + 1);
      if (noPairs) continue;
      TRAREA(d.ct, kT, ileave, d.xneg, d.xpos, full);
      const double a = pairwiseArea(d, ileave);
      ASSERT_EQ(d.ct.TRAPA, a) << "rep " << rep << " ileave " << ileave;
      const double cn = nn - (ileave >= 1 && ileave <= nn ? 1 : 0);
      const double cp = np - (ileave > nn ? 1 : 0);
      ASSERT_NEAR(d.ct.TRAPSE, hanleyMcNeilSe(a, cn, cp), 1e-13);
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

TEST(Trarea, LargestStudy) {
  // 2000 per truth state over 20 categories: W is exact at this size too.
  std::vector<int> neg, pos;
  for (int i = 0; i < 2000; ++i) {
    neg.push_back(1 + i % 20);
    pos.push_back(1 + (i * 7 + 3) % 20);
  }
  Data d = load(neg, pos);
  const CategoryCounts full = countCategories(d.ct, kT, d.xneg, d.xpos);
  for (int ileave : {0, 1, 1999, 2000, 2001, 4000}) {
    TRAREA(d.ct, kT, ileave, d.xneg, d.xpos, full);
    EXPECT_EQ(d.ct.TRAPA, pairwiseArea(d, ileave)) << ileave;
  }
}

}  // namespace
}  // namespace quelbro
