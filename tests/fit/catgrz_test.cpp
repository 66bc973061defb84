// Categorization into truth-state runs: separated and tied data, mixed tie
// groups, thinning thresholds, the mirrored selection, smaller-is-abnormal.
#include "fit/catgrz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "console/destinations.h"
#include "console/text_console.h"
#include "fit/catgrz_internal.h"
#include "fit/degene.h"

namespace quelbro {
namespace {

using catgrz_detail::CaseEntry;
using catgrz_detail::CatWork;

constexpr int kT = 3;  // treatment column used by the tests

std::size_t ix(int i) { return static_cast<std::size_t>(i); }

struct Study {
  std::vector<double> neg, pos;  // results as entered
  CatTab ct;
  ResultTable xneg, xpos;
};

Study categorize(std::vector<double> neg, std::vector<double> pos, int idir = 1) {
  Study s;
  s.neg = std::move(neg);
  s.pos = std::move(pos);
  s.ct.NNEG = static_cast<int>(s.neg.size());
  s.ct.NPOS = static_cast<int>(s.pos.size());
  for (std::size_t i = 0; i < s.neg.size(); ++i)
    s.xneg(kT, static_cast<int>(i + 1)) = static_cast<float>(s.neg[i]);
  for (std::size_t j = 0; j < s.pos.size(); ++j)
    s.xpos(kT, static_cast<int>(j + 1)) = static_cast<float>(s.pos[j]);
  CATGRZ(s.ct, kT, 0, s.xneg, s.xpos, idir);
  return s;
}

// Truth-state runs from the highest results down: (truth, number of cases).
// Every case gets its own integer value, the top one the largest.
using Runs = std::vector<std::pair<int, int>>;

Study categorizeRuns(const Runs& runs, int idir = 1) {
  int n = 0;
  for (auto [t, c] : runs) n += c;
  std::vector<double> neg, pos;
  double v = n;
  for (auto [t, c] : runs) {
    for (int k = 0; k < c; ++k, v -= 1.0) (t > 0 ? pos : neg).push_back(idir * v);
  }
  return categorize(neg, pos, idir);
}

Runs alternating(int nruns, int size) {
  Runs r;
  for (int k = 0; k < nruns; ++k) r.push_back({k % 2 == 0 ? 1 : -1, size});
  return r;
}

std::vector<double> cnegOf(const CatTab& ct) {
  return std::vector<double>(ct.CNEG.begin() + 1, ct.CNEG.begin() + 1 + ct.NCAT);
}
std::vector<double> cposOf(const CatTab& ct) {
  return std::vector<double>(ct.CPOS.begin() + 1, ct.CPOS.begin() + 1 + ct.NCAT);
}
std::vector<double> cutsOf(const CatTab& ct) {
  return std::vector<double>(ct.CUTS.begin() + 1, ct.CUTS.begin() + ct.NCAT);
}

// What must hold for every categorization (larger results abnormal): cut-offs
// ascending, no empty category, counts adding up, and every stored category
// number equal to one plus the number of cut-offs below the entered result.
void expectConsistent(const Study& s) {
  const CatTab& ct = s.ct;
  ASSERT_GE(ct.NCAT, 1);
  ASSERT_LE(ct.NCAT, 20);
  const std::vector<double> cuts = cutsOf(ct);
  for (std::size_t k = 1; k < cuts.size(); ++k) EXPECT_LT(cuts[k - 1], cuts[k]);
  double tn = 0, tp = 0;
  for (int k = 1; k <= ct.NCAT; ++k) {
    EXPECT_GT(ct.CNEG[ix(k)] + ct.CPOS[ix(k)], 0.0) << "empty category " << k;
    tn += ct.CNEG[ix(k)];
    tp += ct.CPOS[ix(k)];
  }
  EXPECT_EQ(tn, ct.NNEG);
  EXPECT_EQ(tp, ct.NPOS);
  auto expected = [&](double v) {
    return 1.0 +
           static_cast<double>(std::count_if(cuts.begin(), cuts.end(), [&](double c) { return c < v; }));
  };
  for (std::size_t i = 0; i < s.neg.size(); ++i)
    EXPECT_EQ(s.xneg(kT, static_cast<int>(i + 1)), expected(s.neg[i]));
  for (std::size_t j = 0; j < s.pos.size(); ++j)
    EXPECT_EQ(s.xpos(kT, static_cast<int>(j + 1)), expected(s.pos[j]));
  EXPECT_EQ(ct.KHIGH, ct.NCAT);
}

// Operating points of the category counts, as the fit forms them.
int degenerateType(const CatTab& ct) {
  std::array<double, kMaxCategories + 2> fpf{}, tpf{};
  for (int i = 1; i <= ct.NCAT + 1; ++i) {
    double n = 0, p = 0;
    for (int k = i; k <= ct.NCAT; ++k) {
      n += ct.CNEG[ix(k)];
      p += ct.CPOS[ix(k)];
    }
    fpf[ix(i)] = n / ct.NNEG;
    tpf[ix(i)] = p / ct.NPOS;
  }
  int ideg = -1, nin = 0;
  PointIndex lpt{};
  DEGTST(ideg, ct.NCAT, fpf, tpf, nin, lpt);
  return ideg;
}

TEST(Catgrz, SeparatedDataGiveTwoCategories) {
  Study s = categorize({1, 2, 3}, {4, 5, 6});
  EXPECT_EQ(s.ct.NCAT, 2);
  EXPECT_EQ(cutsOf(s.ct), std::vector<double>({3.5}));
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({3, 0}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({0, 3}));
  expectConsistent(s);
  EXPECT_EQ(degenerateType(s.ct), 9);
}

TEST(Catgrz, AllResultsTiedGiveOneCategory) {
  Study s = categorize({2.5, 2.5, 2.5, 2.5}, {2.5, 2.5});
  EXPECT_EQ(s.ct.NCAT, 1);
  EXPECT_EQ(s.ct.KHIGH, 1);
  for (double c : s.ct.CUTS) EXPECT_EQ(c, 0.0);
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({4}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({2}));
  expectConsistent(s);
  EXPECT_EQ(degenerateType(s.ct), 1);
}

TEST(Catgrz, MixedTieGroupsFormTheirOwnCategories) {
  // Sorted: 1- 2- 3- 3+ 4- 4+ 5+ 6+. The tie groups at 3 and at 4 each hold
  // both truth states: categories {1,2} {3,3} {4,4} {5,6}.
  Study s = categorize({1, 2, 3, 4}, {3, 4, 5, 6});
  EXPECT_EQ(s.ct.NCAT, 4);
  EXPECT_EQ(cutsOf(s.ct), std::vector<double>({2.5, 3.5, 4.5}));
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({2, 1, 1, 0}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({0, 1, 1, 2}));
  expectConsistent(s);
}

TEST(Catgrz, MixedTieGroupInsideARunSplitsIt) {
  // Negatives 1 2 3(tied with a positive) 4 5, positives 3 6 7: the tie at 3
  // cuts the negative run 1..5 into {1,2}, {3,3}, {4,5}.
  Study s = categorize({1, 2, 3, 4, 5}, {3, 6, 7});
  EXPECT_EQ(cutsOf(s.ct), std::vector<double>({2.5, 3.5, 5.5}));
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({2, 1, 2, 0}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({0, 1, 0, 2}));
  expectConsistent(s);
}

TEST(Catgrz, TiesWithinOneTruthStateStayTogether) {
  // Discrete ratings 1..5 with every rating used by both truth states: each
  // rating is a mixed tie group and so a category of its own.
  Study s = categorize({1, 1, 1, 2, 2, 3, 4, 5}, {1, 2, 3, 3, 4, 4, 5, 5, 5});
  EXPECT_EQ(s.ct.NCAT, 5);
  EXPECT_EQ(cutsOf(s.ct), std::vector<double>({1.5, 2.5, 3.5, 4.5}));
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({3, 2, 1, 1, 1}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({1, 1, 2, 2, 3}));
  expectConsistent(s);
}

TEST(Catgrz, SmallerIsAbnormalGivesDescendingCutoffs) {
  // Negated: negatives -5 -6 -7 -8, positives -1 -2 -3 -6. Categories from the
  // least abnormal: {8,7} {6,6} {5} {3,2,1} as entered.
  Study s = categorize({5, 6, 7, 8}, {1, 2, 3, 6}, -1);
  EXPECT_EQ(s.ct.NCAT, 4);
  EXPECT_EQ(s.ct.KHIGH, 1);
  EXPECT_EQ(cutsOf(s.ct), std::vector<double>({6.5, 5.5, 4.0}));
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({2, 1, 1, 0}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({0, 1, 0, 3}));
  const std::vector<float> negCats = {3, 2, 1, 1}, posCats = {4, 4, 4, 2};
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(s.xneg(kT, i), negCats[ix(i - 1)]);
    EXPECT_EQ(s.xpos(kT, i), posCats[ix(i - 1)]);
  }
}

TEST(Catgrz, SmallerIsAbnormalMirrorsLargerIsAbnormal) {
  // Negating every result and the direction gives the same categories and
  // the negated cut-offs.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> val(0, 60);
  for (int rep = 0; rep < 20; ++rep) {
    std::vector<double> neg, pos, negN, posN;
    for (int i = 0; i < 50; ++i) neg.push_back(val(rng));
    for (int i = 0; i < 45; ++i) pos.push_back(val(rng) + 10);
    for (double v : neg) negN.push_back(-v);
    for (double v : pos) posN.push_back(-v);
    Study up = categorize(neg, pos, 1);
    Study down = categorize(negN, posN, -1);
    ASSERT_EQ(up.ct.NCAT, down.ct.NCAT);
    EXPECT_EQ(down.ct.KHIGH, 1);
    EXPECT_EQ(cnegOf(up.ct), cnegOf(down.ct));
    EXPECT_EQ(cposOf(up.ct), cposOf(down.ct));
    for (int k = 1; k < up.ct.NCAT; ++k) EXPECT_EQ(down.ct.CUTS[ix(k)], -up.ct.CUTS[ix(k)]);
  }
}

// Alternating runs of one size: NB = number of runs - 1.
struct ThinCase {
  const char* name;
  int runs, size;
  int ncat;
};

class Thinning : public ::testing::TestWithParam<ThinCase> {};

TEST_P(Thinning, NumberOfCategories) {
  const ThinCase& c = GetParam();
  Study s = categorizeRuns(alternating(c.runs, c.size));
  EXPECT_EQ(s.ct.NCAT, c.ncat);
  expectConsistent(s);
  // Every cut-off lies at a run boundary: between the last case of a run and
  // the first of the next, i.e. at an integer minus one half.
  std::set<double> boundaries;
  const int n = c.runs * c.size;
  for (int k = 1; k < c.runs; ++k) boundaries.insert(n - k * c.size + 0.5);
  for (double cut : cutsOf(s.ct)) EXPECT_TRUE(boundaries.count(cut) == 1) << cut;
  if (c.ncat == c.runs) {
    // Not thinned: each category is one run, so adjacent categories hold
    // opposite truth states.
    for (int k = 1; k <= s.ct.NCAT; ++k) {
      EXPECT_TRUE(s.ct.CNEG[ix(k)] == 0 || s.ct.CPOS[ix(k)] == 0);
      if (k > 1) {
        EXPECT_NE(s.ct.CNEG[ix(k)] == 0, s.ct.CNEG[ix(k - 1)] == 0);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Thresholds, Thinning,
                         ::testing::Values(ThinCase{"Nb9FewCasesKept", 10, 2, 10},           // 10/10 cases
                                           ThinCase{"Nb9ManyCasesKept", 10, 9, 10},          // 45/45
                                           ThinCase{"Nb10FewCasesThinnedTo9", 11, 3, 10},    // 18/15
                                           ThinCase{"Nb10ManyCasesKept", 11, 8, 11},         // 48/40
                                           ThinCase{"Nb19ManyCasesKept", 20, 4, 20},         // 40/40
                                           ThinCase{"Nb20ManyCasesThinnedTo19", 21, 4, 20},  // 44/40
                                           ThinCase{"Nb20FewCasesThinnedTo9", 21, 2, 10},    // 22/20
                                           ThinCase{"Nb10OneStateBelow40", 11, 7, 10},       // 42/35
                                           ThinCase{"Nb99ThinnedTo19", 100, 20, 20},         // 1000/1000
                                           ThinCase{"Nb3999ThinnedTo19", 4000, 1, 20}),      // 2000/2000
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Catgrz, ThinningPlan) {
  struct Row {
    int nb, nneg, npos;
    bool thin;
    int cuts;
    bool mirror;
  };
  for (const Row& r : std::vector<Row>{{9, 10, 10, false, 0, false},
                                       {10, 39, 100, true, 9, true},
                                       {10, 40, 40, false, 0, false},
                                       {19, 2000, 2000, false, 0, false},
                                       {20, 40, 40, true, 19, false},
                                       {30, 30, 70, true, 9, true},  // 30 < 70 - 10
                                       {30, 70, 30, true, 9, false},
                                       {30, 45, 50, true, 19, false},  // 45 < 50 - 9 is false
                                       {30, 40, 50, true, 19, true},   // 40 < 50 - 9
                                       {30, 41, 50, true, 19, false}}) {
    const catgrz_detail::ThinPlan p = catgrz_detail::thinPlan(r.nb, r.nneg, r.npos);
    EXPECT_EQ(p.thin, r.thin) << r.nb << " " << r.nneg << " " << r.npos;
    if (!r.thin) continue;
    EXPECT_EQ(p.cuts, r.cuts) << r.nb << " " << r.nneg << " " << r.npos;
    EXPECT_EQ(p.mirror, r.mirror) << r.nb << " " << r.nneg << " " << r.npos;
  }
}

// Boundary positions (2b - 1)/10, b = 1..10, symmetric about the diagonal.
// Worked by hand: lo = 0 (S(1) < 0.15), hi = 1 (S(10) > 1.85), step 0.1,
// targets 0.1..0.9, Q(b) = Phi(1.96 (2b - 11)/9) = .025 .064 .138 .257 .414
// .586 .743 .862 .936 .975. The targets select 2, 4, 5, ..., 10; the last
// target runs past the table. One missing: the selected boundaries below the
// diagonal (2, 4, 5) are not more than half, so INSERT scans upwards, finds
// the only pair two apart (2, 4) and takes 3. Boundary 1, nearest the (0,0)
// corner, is the one dropped.
TEST(Setcut, SymmetricTableDropsTheFirstBoundary) {
  CatWork w;
  for (int b = 1; b <= 10; ++b) w.s[ix(b)] = (2.0 * b - 1.0) / 10.0;
  EXPECT_EQ(catgrz_detail::SETCUT(w, 10, 9), 9);
  EXPECT_FALSE(w.selected[1]);
  for (int b = 2; b <= 10; ++b) EXPECT_TRUE(w.selected[ix(b)]) << b;
  EXPECT_NEAR(w.q[1], 0.0249979, 1e-6);
  EXPECT_NEAR(w.q[10], 0.9750021, 1e-6);
  EXPECT_EQ(w.q[0], 0.0);
}

// Runs from the top: 7+, then (6-, 14+) four times, 6-, 7+: 30 negatives, 70
// positives, positions .1 .3 ... 1.9 as in the table above. 30 < 70 - 10, so
// the selection runs on the mirrored table: the boundary dropped is the one
// nearest the (1,1) corner, and the two lowest runs (6- and 7+) merge.
Runs symmetricRuns30x70() {
  Runs r{{1, 7}};
  for (int k = 0; k < 4; ++k) {
    r.push_back({-1, 6});
    r.push_back({1, 14});
  }
  r.push_back({-1, 6});
  r.push_back({1, 7});
  return r;
}

Runs swapped(const Runs& runs) {
  Runs r;
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) r.push_back({-it->first, it->second});
  return r;
}

TEST(Catgrz, MirroredSelectionWhenNegativesAreFewer) {
  Study s = categorizeRuns(symmetricRuns30x70());
  ASSERT_EQ(s.ct.NNEG, 30);
  ASSERT_EQ(s.ct.NPOS, 70);
  ASSERT_EQ(s.ct.NCAT, 10);
  EXPECT_EQ(s.ct.CNEG[1], 6.0);  // lowest two runs merged
  EXPECT_EQ(s.ct.CPOS[1], 7.0);
  EXPECT_EQ(s.ct.CNEG[10], 0.0);  // highest run alone
  EXPECT_EQ(s.ct.CPOS[10], 7.0);
  expectConsistent(s);
}

TEST(Catgrz, UnmirroredSelectionWhenPositivesAreFewer) {
  // The same table with the truth states exchanged and the order reversed:
  // 70 negatives, 30 positives, not mirrored, so the highest two runs merge.
  Study s = categorizeRuns(swapped(symmetricRuns30x70()));
  ASSERT_EQ(s.ct.NNEG, 70);
  ASSERT_EQ(s.ct.NPOS, 30);
  ASSERT_EQ(s.ct.NCAT, 10);
  EXPECT_EQ(s.ct.CNEG[10], 7.0);
  EXPECT_EQ(s.ct.CPOS[10], 6.0);
  EXPECT_EQ(s.ct.CNEG[1], 7.0);
  EXPECT_EQ(s.ct.CPOS[1], 0.0);
  expectConsistent(s);
}

// 45 negatives, 50 positives in 21 runs whose positions lie within 0.015 of
// (2b - 1)/20: not mirrored (45 < 50 - 9 is false). As for the 10-boundary
// table, the targets .05 .. .95 select 2, 4, 5, ..., 20 and INSERT adds 3, so
// the two highest runs (2+ and 5-) merge into the top category and the
// lowest run (2+) stays alone.
TEST(Catgrz, NotMirroredAt45And50) {
  const std::vector<int> pos = {2, 5, 5, 5, 5, 6, 5, 5, 5, 5, 2};
  const std::vector<int> neg = {5, 4, 5, 4, 5, 4, 5, 4, 5, 4};
  Runs r;
  for (std::size_t k = 0; k < neg.size(); ++k) {
    r.push_back({1, pos[k]});
    r.push_back({-1, neg[k]});
  }
  r.push_back({1, pos.back()});
  Study s = categorizeRuns(r);
  ASSERT_EQ(s.ct.NNEG, 45);
  ASSERT_EQ(s.ct.NPOS, 50);
  ASSERT_EQ(s.ct.NCAT, 20);
  EXPECT_EQ(s.ct.CNEG[20], 5.0);
  EXPECT_EQ(s.ct.CPOS[20], 2.0);
  EXPECT_EQ(s.ct.CNEG[1], 0.0);
  EXPECT_EQ(s.ct.CPOS[1], 2.0);
  expectConsistent(s);
}

TEST(Catgrz, LargestStudyWithManyRuns) {
  std::mt19937 rng(99);
  std::normal_distribution<double> g(0.0, 1.0);
  std::vector<double> neg, pos;
  for (int i = 0; i < 2000; ++i) neg.push_back(std::round(g(rng) * 1000.0) / 1000.0);
  for (int i = 0; i < 2000; ++i) pos.push_back(std::round((g(rng) * 1.2 + 1.0) * 1000.0) / 1000.0);
  Study s = categorize(neg, pos);
  EXPECT_EQ(s.ct.NCAT, 20);
  expectConsistent(s);
}

TEST(Catgrz, RandomStudiesStayConsistent) {
  std::mt19937 rng(4242);
  for (int rep = 0; rep < 200; ++rep) {
    const int nn = 1 + static_cast<int>(rng() % 120);
    const int np = 1 + static_cast<int>(rng() % 120);
    const int levels = 2 + static_cast<int>(rng() % 200);
    std::uniform_int_distribution<int> val(0, levels);
    std::vector<double> neg, pos;
    for (int i = 0; i < nn; ++i) neg.push_back(val(rng));
    for (int i = 0; i < np; ++i) pos.push_back(val(rng) + static_cast<int>(rng() % 5));
    Study s = categorize(neg, pos);
    expectConsistent(s);
    if (::testing::Test::HasFailure()) FAIL() << "rep " << rep;
  }
}

TEST(Catgrz, LeftOutCaseIsSkippedAndNotCounted) {
  // Without negative 3 (value 5, above every positive) the data separate.
  Study s;
  s.ct.NNEG = 3;
  s.ct.NPOS = 2;
  const std::vector<float> neg = {1, 2, 5}, pos = {3, 4};
  for (int i = 1; i <= 3; ++i) s.xneg(kT, i) = neg[ix(i - 1)];
  for (int j = 1; j <= 2; ++j) s.xpos(kT, j) = pos[ix(j - 1)];
  CATGRZ(s.ct, kT, 3, s.xneg, s.xpos, 1);
  EXPECT_EQ(s.ct.NCAT, 2);
  EXPECT_EQ(cutsOf(s.ct), std::vector<double>({2.5}));
  EXPECT_EQ(cnegOf(s.ct), std::vector<double>({2, 0}));
  EXPECT_EQ(cposOf(s.ct), std::vector<double>({0, 2}));
  EXPECT_EQ(s.xneg(kT, 3), 2.0f);  // still given its category number
  EXPECT_EQ(s.ct.NNEG, 3);
}

TEST(Catgrz, ExtremeResultsKeepFiniteCutoffs) {
  Study s = categorize({-3.0e38, 0.0, 1.0e-30}, {2.0e-30, 3.0e38});
  EXPECT_EQ(s.ct.NCAT, 2);
  EXPECT_EQ(s.ct.CUTS[1], static_cast<double>(1.0e-30f) / 2 + static_cast<double>(2.0e-30f) / 2);
  expectConsistent(s);
}

TEST(Ranks, NoBoundaryWhenEveryResultIsTied) {
  CatWork w;
  w.n = 5;
  for (int i = 1; i <= 5; ++i) w.cases[ix(i)] = {1.0, i <= 2 ? -1.0 : 1.0};
  catgrz_detail::SORT(w.n, w);
  EXPECT_EQ(catgrz_detail::RANKS(w, 2, 3), 0);
}

TEST(Sort, OrdersByValueAndKeepsTruthWithIt) {
  CatWork w;
  const std::vector<std::pair<double, double>> in = {{3, 1}, {1, -1}, {2, 1}, {1, 1}, {-4, -1}};
  w.n = static_cast<int>(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) w.cases[i + 1] = {in[i].first, in[i].second};
  catgrz_detail::SORT(w.n, w);
  const std::vector<std::pair<double, double>> out = {{-4, -1}, {1, -1}, {1, 1}, {2, 1}, {3, 1}};
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(w.cases[i + 1].value, out[i].first);
    EXPECT_EQ(w.cases[i + 1].truth, out[i].second);
  }
}

// The case list comes out in the order of (value, truth) whatever way it is
// sorted: lists of floats with many ties, both zeros, the extremes of single
// precision and subnormals, and lists that a float key cannot take (a NaN, a
// value that is no float, another truth), checked against a plain stable sort.
TEST(Sort, AnyListComesOutInValueThenTruthOrder) {
  const double fmax = std::numeric_limits<float>::max();
  const double tiny = std::numeric_limits<float>::denorm_min();
  std::vector<std::vector<CaseEntry>> lists = {
      {{0.0, 1}, {-0.0, -1}, {-0.0, 1}, {0.0, -1}, {tiny, -1}, {-tiny, 1}, {fmax, -1}, {-fmax, 1}, {1.0, 1}},
      {{2.0, 1}, {std::nan(""), -1}, {1.0, -1}, {std::nan(""), 1}, {1.0, 1}},
      {{0.1, 1}, {0.1f, -1}, {0.1, -1}, {-0.1, 1}},
      {{3.0, 0.0}, {3.0, -1}, {1.0, 1}, {3.0, 1}},
      {}};
  std::mt19937 rng(17);
  for (int n : {1, 2, 100, 4000}) {
    std::vector<CaseEntry> l;
    std::uniform_int_distribution<int> pick(-40, 40);
    for (int i = 0; i < n; ++i)
      l.push_back({static_cast<double>(static_cast<float>(pick(rng) / 7.0)), (rng() & 1) != 0 ? 1.0 : -1.0});
    lists.push_back(l);
  }
  for (const auto& l : lists) {
    CatWork w;
    w.n = static_cast<int>(l.size());
    std::copy(l.begin(), l.end(), w.cases.begin() + 1);
    catgrz_detail::SORT(w.n, w);
    std::vector<CaseEntry> expected = l;
    std::stable_sort(expected.begin(), expected.end(), [](const CaseEntry& a, const CaseEntry& b) {
      const bool na = std::isnan(a.value), nb = std::isnan(b.value);
      if (na != nb) return na;
      if (!na && a.value != b.value) return a.value < b.value;
      return a.truth < b.truth;
    });
    for (std::size_t i = 0; i < l.size(); ++i) {
      const CaseEntry& got = w.cases[i + 1];
      // Bit for bit: equal entries keep their order (a zero its sign) on the float-key path.
      EXPECT_TRUE(std::bit_cast<std::uint64_t>(got.value) ==
                      std::bit_cast<std::uint64_t>(expected[i].value) ||
                  (std::isnan(got.value) && std::isnan(expected[i].value)))
          << "list of " << l.size() << ", place " << i + 1 << ": " << got.value << " for "
          << expected[i].value;
      EXPECT_EQ(got.truth, expected[i].truth) << "list of " << l.size() << ", place " << i + 1;
    }
  }
}

// With S(1) exactly 1 the scaling of the first boundary is 0/0: it is put on
// the diagonal, Q(1) = 1/2, and the selection goes on with finite quantiles.
TEST(Setcut, FirstBoundaryOnTheDiagonal) {
  CatWork w;
  for (int b = 1; b <= 10; ++b) w.s[ix(b)] = 1.0 + (b - 1) / 10.0;
  const int got = catgrz_detail::SETCUT(w, 10, 9);
  EXPECT_NEAR(w.q[1], 0.5, 1e-6);  // Phi(0) within the accuracy of the normal approximation
  for (int b = 0; b <= 10; ++b) EXPECT_TRUE(std::isfinite(w.q[ix(b)])) << b;
  EXPECT_EQ(got, 9);
  int marked = 0;
  for (int b = 1; b <= 10; ++b) marked += w.selected[ix(b)] ? 1 : 0;
  EXPECT_EQ(marked, 9);
}

// Quantiles b/10 with boundaries 1, 5 and 9 selected: the gaps (1,5) and
// (5,9) are equal, so the scan direction decides. Downwards (most selected
// boundaries below the diagonal) the pair (9,5) comes first and its middle
// 7 is taken; upwards (1,5) comes first and 3 is taken.
TEST(Insert, WidestGapInScanOrder) {
  for (bool below : {true, false}) {
    CatWork w;
    for (int b = 1; b <= 9; ++b) {
      w.s[ix(b)] = below ? 0.1 * b : 1.0 + 0.1 * b;
      w.q[ix(b)] = 0.1 * b;
    }
    w.selected[1] = w.selected[5] = w.selected[9] = true;
    EXPECT_TRUE(catgrz_detail::INSERT(w, 9));
    EXPECT_TRUE(w.selected[ix(below ? 7 : 3)]);
    EXPECT_FALSE(w.selected[ix(below ? 3 : 7)]);
  }
}

// Selected boundaries next to each other leave no gap; the fallback stretch
// from the last selected boundary to the end of the scan is empty when that
// boundary is the last of the table in scan order. Nothing is selected.
TEST(Insert, EmptyFallbackSelectsNothing) {
  for (bool below : {true, false}) {
    CatWork w;
    const int nb = 5;
    for (int b = 1; b <= nb; ++b) {
      w.s[ix(b)] = below ? 0.1 * b : 1.0 + 0.1 * b;
      w.q[ix(b)] = 0.15 * b;
    }
    // Downward scan ends at 1; upward scan ends at NB.
    if (below) {
      w.selected[1] = w.selected[2] = true;
    } else {
      w.selected[4] = w.selected[5] = true;
    }
    const auto before = w.selected;
    EXPECT_FALSE(catgrz_detail::INSERT(w, nb));
    EXPECT_EQ(w.selected, before);
  }
}

TEST(Insert, FallbackStretchTakesItsMiddle) {
  // Selected 4 and 5 (adjacent) below the diagonal: downward scan, no pair,
  // fallback between 4 and the position before boundary 1 (Q(0) = 0).
  CatWork w;
  for (int b = 1; b <= 5; ++b) {
    w.s[ix(b)] = 0.1 * b;
    w.q[ix(b)] = 0.2 * b;
  }
  w.q[0] = 0.0;
  w.selected[4] = w.selected[5] = true;
  EXPECT_TRUE(catgrz_detail::INSERT(w, 5));
  // Candidates 1..3 between Q(0) = 0 and Q(4) = .8: boundary 2 (Q .4) is
  // equally far from both.
  EXPECT_TRUE(w.selected[2]);
  EXPECT_FALSE(w.selected[1]);
  EXPECT_FALSE(w.selected[3]);
}

TEST(Convrt, ResultOnACutoffBelongsToTheLowerCategory) {
  ResultTable t;
  const std::vector<float> v = {-100.0f, 1.5f, 1.75f, 2.5f, 3.5f, 3.75f, 100.0f};
  for (std::size_t i = 0; i < v.size(); ++i) t(kT, static_cast<int>(i + 1)) = v[i];
  std::array<double, kMaxCategories> cuts{};
  cuts[1] = 1.5;
  cuts[2] = 2.5;
  cuts[3] = 3.5;
  std::array<double, kMaxCategories + 1> counts{};
  counts[7] = 99.0;  // cleared first
  catgrz_detail::CONVRT(static_cast<int>(v.size()), t, 3, cuts, counts, kT);
  const std::vector<float> cat = {1, 1, 2, 2, 3, 4, 4};
  for (std::size_t i = 0; i < v.size(); ++i) EXPECT_EQ(t(kT, static_cast<int>(i + 1)), cat[i]) << v[i];
  EXPECT_EQ(counts[1], 2.0);
  EXPECT_EQ(counts[2], 2.0);
  EXPECT_EQ(counts[3], 1.0);
  EXPECT_EQ(counts[4], 2.0);
  EXPECT_EQ(counts[7], 0.0);
}

TEST(Convrt, NanAndCutoffsOutOfOrderFollowTheFirstMatchingInterval) {
  ResultTable t;
  const std::vector<float> v = {std::nanf(""), 2.0f, 4.0f, 1.0f};
  for (std::size_t i = 0; i < v.size(); ++i) t(kT, static_cast<int>(i + 1)) = v[i];
  std::array<double, kMaxCategories> cuts{};
  std::array<double, kMaxCategories + 1> counts{};
  // Ascending: a NaN is below no cut-off and counts in category 1.
  cuts[1] = 1.5, cuts[2] = 2.5, cuts[3] = 3.5;
  catgrz_detail::CONVRT(static_cast<int>(v.size()), t, 3, cuts, counts, kT);
  EXPECT_EQ(t(kT, 1), 1.0f);
  EXPECT_EQ(t(kT, 2), 2.0f);
  EXPECT_EQ(t(kT, 3), 4.0f);
  EXPECT_EQ(t(kT, 4), 1.0f);
  // Out of order (3.5, 1.5, 2.5): 2.0 is not above the first cut-off, so it
  // is in category 1; 4.0 lies above the last.
  for (std::size_t i = 0; i < v.size(); ++i) t(kT, static_cast<int>(i + 1)) = v[i];
  cuts[1] = 3.5, cuts[2] = 1.5, cuts[3] = 2.5;
  catgrz_detail::CONVRT(static_cast<int>(v.size()), t, 3, cuts, counts, kT);
  EXPECT_EQ(t(kT, 2), 1.0f);
  EXPECT_EQ(t(kT, 3), 4.0f);
  EXPECT_EQ(counts[1], 3.0);
  EXPECT_EQ(counts[4], 1.0);
}

TEST(Convrt, NoCutoffPutsEverythingInCategoryOne) {
  ResultTable t;
  for (int i = 1; i <= 4; ++i) t(kT, i) = static_cast<float>(i * 10);
  std::array<double, kMaxCategories> cuts{};
  std::array<double, kMaxCategories + 1> counts{};
  catgrz_detail::CONVRT(4, t, 0, cuts, counts, kT);
  EXPECT_EQ(counts[1], 4.0);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(t(kT, i), 1.0f);
}

TEST(Catgrz, OtherTreatmentsAreLeftAlone) {
  Study s;
  s.ct.NNEG = 2;
  s.ct.NPOS = 2;
  for (int t = 1; t <= kMaxTreatments; ++t) {
    s.xneg(t, 1) = 1;
    s.xneg(t, 2) = 2;
    s.xpos(t, 1) = 3;
    s.xpos(t, 2) = 4;
  }
  CATGRZ(s.ct, kT, 0, s.xneg, s.xpos, -1);
  for (int t = 1; t <= kMaxTreatments; ++t) {
    if (t == kT) continue;
    EXPECT_EQ(s.xneg(t, 2), 2.0f);
    EXPECT_EQ(s.xpos(t, 2), 4.0f);
  }
  // Smaller abnormal and negatives below: a perfectly reversed test.
  EXPECT_EQ(s.ct.NCAT, 2);
  EXPECT_EQ(degenerateType(s.ct), 10);
}

}  // namespace
}  // namespace quelbro
