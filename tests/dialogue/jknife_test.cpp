// The jackknife of one reader and treatment: how many fits it runs, and every
// pseudovalue checked against a plain recomputation that recounts the
// categories for each left-out case, fits them with a separate ESTBIN call
// and counts the trapezoidal area pair by pair.
#include "dialogue/jknife.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "console/fields.h"
#include "console/text_console.h"
#include "dialogue/fits_ahead.h"
#include "fit/estbin.h"

namespace quelbro {
namespace {

using Ratings = std::vector<int>;

// Ratings in the order of the given counts per rating 1..K, spread over the
// case numbers by a fixed stride so that neighbouring cases differ in rating.
Ratings spread(const std::vector<int>& counts) {
  Ratings sorted;
  for (std::size_t k = 0; k < counts.size(); ++k)
    for (int c = 0; c < counts[k]; ++c) sorted.push_back(static_cast<int>(k) + 1);
  const std::size_t n = sorted.size();
  std::size_t stride = 7;
  while (n > 1 && std::gcd(stride, n) != 1) ++stride;
  Ratings out(n);
  for (std::size_t i = 0; i < n; ++i) out[(i * stride) % n] = sorted[i];
  return out;
}

// Counts per category (1-based, K entries used) of the ratings, one case left out.
struct Counts {
  std::vector<double> neg, pos;
};

Counts countsLeavingOut(const Ratings& neg, const Ratings& pos, int k0, int leave) {
  Counts c{std::vector<double>(static_cast<std::size_t>(k0) + 1, 0.0),
           std::vector<double>(static_cast<std::size_t>(k0) + 1, 0.0)};
  const int n0 = static_cast<int>(neg.size());
  for (int i = 1; i <= n0; ++i)
    if (i != leave) c.neg[static_cast<std::size_t>(neg[static_cast<std::size_t>(i - 1)])] += 1.0;
  for (int j = 1; j <= static_cast<int>(pos.size()); ++j)
    if (n0 + j != leave) c.pos[static_cast<std::size_t>(pos[static_cast<std::size_t>(j - 1)])] += 1.0;
  return c;
}

// The categories a left-out fit runs on: a category is joined to the one
// before it when both hold no negatives (or both no positives), dropped when
// it is empty, and kept as a category of its own otherwise. The comparison is
// always with the counts of the previous category as they were.
Counts merged(const Counts& c) {
  const std::size_t k0 = c.neg.size() - 1;
  std::size_t first = (c.neg[1] == 0.0 && c.pos[1] == 0.0) ? 2 : 1;
  Counts out{{0.0, c.neg[first]}, {0.0, c.pos[first]}};
  for (std::size_t i = first + 1; i <= k0; ++i) {
    const bool noNeg = c.neg[i] == 0.0 && c.neg[i - 1] == 0.0;
    const bool noPos = c.pos[i] == 0.0 && c.pos[i - 1] == 0.0;
    if (noNeg) {
      out.pos.back() += c.pos[i];
    } else if (noPos) {
      out.neg.back() += c.neg[i];
    } else if (c.neg[i] == 0.0 && c.pos[i] == 0.0) {
      continue;
    } else {
      out.neg.push_back(c.neg[i]);
      out.pos.push_back(c.pos[i]);
    }
  }
  return out;
}

// Trapezoidal area counted over every pair, ties one half.
double pairwiseArea(const Ratings& neg, const Ratings& pos, int leave) {
  const int n0 = static_cast<int>(neg.size());
  double w = 0.0, pairs = 0.0;
  for (int i = 1; i <= n0; ++i) {
    if (i == leave) continue;
    for (int j = 1; j <= static_cast<int>(pos.size()); ++j) {
      if (n0 + j == leave) continue;
      const int x = neg[static_cast<std::size_t>(i - 1)], y = pos[static_cast<std::size_t>(j - 1)];
      w += x < y ? 1.0 : (x == y ? 0.5 : 0.0);
      pairs += 1.0;
    }
  }
  return w / pairs;
}

class Silent : public LineSink {
 public:
  void writeLine(std::string_view) override {}
};

// A separate fit of the given category counts.
double fitOf(const Counts& c, int ileave) {
  Silent nowhere;
  Destinations out(nowhere);
  FitContext ctx;
  ctx.out = &out;
  ctx.date = "08-Dec-26";
  ctx.time = "10:30:00";
  CatTab ct;
  ct.NCAT = static_cast<int>(c.neg.size()) - 1;
  ct.KHIGH = ct.NCAT;
  for (int k = 1; k <= ct.NCAT; ++k) {
    ct.CNEG[static_cast<std::size_t>(k)] = c.neg[static_cast<std::size_t>(k)];
    ct.CPOS[static_cast<std::size_t>(k)] = c.pos[static_cast<std::size_t>(k)];
    ct.NNEG += static_cast<int>(c.neg[static_cast<std::size_t>(k)]);
    ct.NPOS += static_cast<int>(c.pos[static_cast<std::size_t>(k)]);
    if (k < ct.NCAT) ct.CUTS[static_cast<std::size_t>(k)] = k + 0.5;
  }
  return ESTBIN(ct, ileave, 1, 1, ctx);
}

// The pseudovalues worked out case by case, without any cache.
struct Expected {
  double fullArea = 0.0;  // per case: fitted, or trapezoidal when the fit gave none
  bool fullFailed = false;
  std::vector<double> pv;  // 1-based
  int psflag = 0;
};

Expected plainJackknife(const Ratings& neg, const Ratings& pos, int k0) {
  const int n0 = static_cast<int>(neg.size()), n1 = static_cast<int>(pos.size()), n = n0 + n1;
  Expected e;
  e.pv.assign(static_cast<std::size_t>(n) + 1, 0.0);
  const double full = fitOf(merged(countsLeavingOut(neg, pos, k0, 0)), 0);
  e.fullFailed = !(full > 0.0);
  e.fullArea = e.fullFailed ? pairwiseArea(neg, pos, 0) : full;
  if (e.fullFailed) e.psflag = -100;
  for (int k = 1; k <= n; ++k) {
    if ((k <= n0 && n0 == 1) || (k > n0 && n1 == 1)) {
      e.pv[static_cast<std::size_t>(k)] = e.fullArea;
      if (e.fullFailed) e.psflag -= 1;  // -100 - N counts every case
      continue;
    }
    double ak = -1.0;
    if (!e.fullFailed) ak = fitOf(merged(countsLeavingOut(neg, pos, k0, k)), k);
    if (!(ak > 0.0)) {
      ak = pairwiseArea(neg, pos, k);
      e.psflag += e.fullFailed ? -1 : 1;
    }
    e.pv[static_cast<std::size_t>(k)] = n * e.fullArea - (n - 1) * ak;
  }
  return e;
}

// One call of JKNIFE for reader 2, treatment 3 with the screen scripted and
// the report file collected.
struct JackknifeRun {
  ScriptedConsole screen;
  LineCollector file;
  Destinations out{screen, &file};
  std::unique_ptr<ResultTable> xneg = std::make_unique<ResultTable>();
  std::unique_ptr<ResultTable> xpos = std::make_unique<ResultTable>();
  std::unique_ptr<PvTable> pv = std::make_unique<PvTable>();
  PsflagTable psflag{};
  CatTab ct;
  int fits = 0;
  static constexpr int kR = 2, kT = 3;

  JackknifeRun(const Ratings& neg, const Ratings& pos) {
    FitContext ctx;
    ctx.out = &out;
    ctx.title = "QUELBRO (DOS version 1.0 beta):";
    ctx.datdes = "Jackknife study";
    ctx.readerName = "Reader two";
    ctx.treatmentDes = "Third";
    ctx.date = "08-Dec-26";
    ctx.time = "10:30:00";
    for (std::size_t i = 0; i < neg.size(); ++i)
      (*xneg)(kT, static_cast<int>(i) + 1) = static_cast<float>(neg[i]);
    for (std::size_t j = 0; j < pos.size(); ++j)
      (*xpos)(kT, static_cast<int>(j) + 1) = static_cast<float>(pos[j]);
    // Other treatments hold other values: the jackknife must not read them.
    for (int i = 1; i <= kMaxCasesPerState; ++i) (*xneg)(1, i) = (*xpos)(1, i) = 9.0f;
    fits = JKNIFE(kR, kT, static_cast<int>(neg.size()), static_cast<int>(pos.size()), *xneg, *xpos, *pv,
                  psflag, ct, ctx);
  }
  double at(int k) const { return (*pv)(kR, kT, k); }
  int flag() const { return psflag[kR][kT]; }
  int countScreen(const std::string& text) const {
    return static_cast<int>(
        std::count_if(screen.lines().begin(), screen.lines().end(),
                      [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
  int countFile(const std::string& text) const {
    return static_cast<int>(
        std::count_if(file.lines().begin(), file.lines().end(),
                      [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
};

const std::string kHeader = "NO. OF ACTUALLY-NEGATIVE CASES =";
const std::string kType2 = "DATA ARE DEGENERATE AND PROVIDE ONLY A SINGLE ";
const std::string kTypes5To8 = "DATA ARE DEGENERATE.  IMPLIED EXACT-FIT";

void expectPseudovalues(const JackknifeRun& run, const Expected& e, int n) {
  for (int k = 1; k <= n; ++k) {
    ASSERT_TRUE(std::isfinite(run.at(k))) << "case " << k;
    EXPECT_NEAR(run.at(k), e.pv[static_cast<std::size_t>(k)], 1e-9) << "case " << k;
  }
  EXPECT_EQ(run.flag(), e.psflag);
}

// Ratings 1..K of distinct values whose rating groups are runs of their own
// keep their rating as category number.
void expectCategoriesAreRatings(const JackknifeRun& run, const Ratings& neg, const Ratings& pos) {
  for (std::size_t i = 0; i < neg.size(); ++i)
    ASSERT_EQ((*run.xneg)(JackknifeRun::kT, static_cast<int>(i) + 1), static_cast<float>(neg[i]));
  for (std::size_t j = 0; j < pos.size(); ++j)
    ASSERT_EQ((*run.xpos)(JackknifeRun::kT, static_cast<int>(j) + 1), static_cast<float>(pos[j]));
}

TEST(Jknife, FiveCategoriesOfConvergingFitsMakeAtMostElevenFits) {
  const Ratings neg = spread({30, 25, 20, 15, 10});
  const Ratings pos = spread({8, 12, 20, 25, 35});
  JackknifeRun run(neg, pos);
  expectCategoriesAreRatings(run, neg, pos);

  // One fit on all cases and one per category and truth state: every one of
  // the ten groups leaves different counts, so each needs its own fit.
  EXPECT_LE(run.fits, 11);
  EXPECT_EQ(run.fits, 11);
  EXPECT_EQ(run.flag(), 0);

  // Equal pseudovalues within a category and truth state.
  for (int state = 0; state < 2; ++state) {
    const Ratings& r = state == 0 ? neg : pos;
    const int offset = state == 0 ? 0 : static_cast<int>(neg.size());
    for (int g = 1; g <= 5; ++g) {
      double first = std::nan("");
      for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i] != g) continue;
        const double v = run.at(offset + static_cast<int>(i) + 1);
        if (std::isnan(first)) first = v;
        EXPECT_EQ(v, first) << "state " << state << " category " << g << " case " << i + 1;
      }
    }
  }

  // PV = N x A - (N - 1) x A(case left out), both from separate fits.
  const Expected e = plainJackknife(neg, pos, 5);
  ASSERT_FALSE(e.fullFailed);
  expectPseudovalues(run, e, 200);

  // Only the fit on all cases writes its report; no degenerate fit at all.
  EXPECT_EQ(run.countScreen(kHeader), 1);
  EXPECT_EQ(run.countFile(kHeader), 1);
  EXPECT_EQ(run.countScreen("Degenerate"), 0);
}

// Leaving out the only case of one truth state in a category: the emptied
// category vanishes, or the category left with one truth state is joined to
// its neighbour of that truth state.
struct MergeCase {
  const char* name;
  std::vector<int> negCounts, posCounts;
  bool negative;  // the left-out case is actually negative
  int category;   // its category (it is the only case of its truth state there)
  std::vector<double> mergedNeg, mergedPos;
};

class JknifeMerge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(JknifeMerge, LeftOutCaseThatEmptiesItsCategoryMergesIt) {
  const MergeCase& mc = GetParam();
  const Ratings neg = spread(mc.negCounts), pos = spread(mc.posCounts);
  const int n0 = static_cast<int>(neg.size()), n = n0 + static_cast<int>(pos.size());
  JackknifeRun run(neg, pos);
  expectCategoriesAreRatings(run, neg, pos);

  const Ratings& side = mc.negative ? neg : pos;
  const int k = static_cast<int>(std::find(side.begin(), side.end(), mc.category) - side.begin()) + 1 +
                (mc.negative ? 0 : n0);

  Counts want{{0.0}, {0.0}};
  for (double v : mc.mergedNeg) want.neg.push_back(v);
  for (double v : mc.mergedPos) want.pos.push_back(v);
  const double full = fitOf(countsLeavingOut(neg, pos, 5, 0), 0);
  const double left = fitOf(want, k);
  ASSERT_GT(full, 0.0);
  ASSERT_GT(left, 0.0) << "the merged counts must give a fitted area";
  EXPECT_NEAR(run.at(k), n * full - (n - 1) * left, 1e-9);

  // Every other pseudovalue as well.
  expectPseudovalues(run, plainJackknife(neg, pos, 5), n);
}

INSTANTIATE_TEST_SUITE_P(Jknife, JknifeMerge,
                         ::testing::Values(MergeCase{"EmptiedCategoryVanishes",
                                                     {30, 25, 1, 15, 10},
                                                     {8, 12, 0, 25, 35},
                                                     true,
                                                     3,
                                                     {30, 25, 15, 10},
                                                     {8, 12, 25, 35}},
                                           MergeCase{"PositivesOnlyJoinTheirNeighbour",
                                                     {30, 25, 1, 0, 10},
                                                     {8, 12, 5, 20, 35},
                                                     true,
                                                     3,
                                                     {30, 25, 0, 10},
                                                     {8, 12, 25, 35}},
                                           MergeCase{"NegativesOnlyJoinTheirNeighbour",
                                                     {30, 25, 5, 15, 10},
                                                     {8, 12, 1, 0, 35},
                                                     false,
                                                     3,
                                                     {30, 25, 20, 10},
                                                     {8, 12, 0, 35}}),
                         [](const ::testing::TestParamInfo<MergeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(Jknife, FailedFitOnAllCasesGivesTrapezoidalPseudovalues) {
  // Two categories whose single interior point lies inside the square.
  const Ratings neg = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
  const Ratings pos = {1, 0, 1, 1, 0, 1, 1, 1, 0, 1};
  const int n = 20;
  JackknifeRun run(neg, pos);
  EXPECT_EQ(run.fits, 1);  // no further fits once the fit on all cases failed
  EXPECT_EQ(run.flag(), -100 - n);

  const double all = pairwiseArea(neg, pos, 0);
  EXPECT_DOUBLE_EQ(all, (7 * 9.5 + 3 * 4.5) / 100.0);
  for (int k = 1; k <= n; ++k)
    EXPECT_NEAR(run.at(k), n * all - (n - 1) * pairwiseArea(neg, pos, k), 1e-12) << k;

  // The fit report of the fit on all cases, then the status line (list layout).
  EXPECT_EQ(run.countScreen(kType2), 1);
  EXPECT_EQ(run.countFile(kType2), 1);
  ASSERT_FALSE(run.screen.lines().empty());
  EXPECT_EQ(run.screen.lines().back(), " Degenerate" + I(-1, 12) + I(-100 - n, 12));
  EXPECT_EQ(run.screen.lines().back(), " Degenerate          -1        -120");
  EXPECT_EQ(run.countFile("Degenerate"), 0);
}

// A fit on all cases that gives an area (here a degenerate configuration with
// its substitute area) and one left-out fit that gives none: that pseudovalue
// uses the trapezoidal area of its own step, with the full case counts and
// the left-out case skipped, also after earlier left-out cases.
struct FallbackCase {
  const char* name;
  Ratings neg, pos;
  int failingCase;   // the case whose left-out fit gives no area
  double fullArea;   // the area substitute of the fit on all cases
  int messages5To8;  // degenerate messages with a substitute area
};

class JknifeFallback : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(JknifeFallback, LeftOutFitWithoutAreaFallsBackToItsTrapezoidalArea) {
  const FallbackCase& fc = GetParam();
  const int n = static_cast<int>(fc.neg.size() + fc.pos.size());
  JackknifeRun run(fc.neg, fc.pos);
  expectCategoriesAreRatings(run, fc.neg, fc.pos);
  EXPECT_EQ(run.flag(), 1);
  const double want = n * fc.fullArea - (n - 1) * pairwiseArea(fc.neg, fc.pos, fc.failingCase);
  EXPECT_NEAR(run.at(fc.failingCase), want, 1e-12);
  expectPseudovalues(run, plainJackknife(fc.neg, fc.pos, 3), n);
  // The failed left-out fit writes its message to the screen and the file;
  // the fits that gave an area write theirs once per category and truth state.
  EXPECT_EQ(run.countScreen(kType2), 1);
  EXPECT_EQ(run.countFile(kType2), 1);
  EXPECT_EQ(run.countScreen(kTypes5To8), fc.messages5To8);
  EXPECT_EQ(run.countScreen("Degenerate"), 0);
}

INSTANTIATE_TEST_SUITE_P(Jknife, JknifeFallback,
                         ::testing::Values(
                             // Category 2 holds one positive only: the interior points share their
                             // FPF (vertical line, area 1 - 5/11). Without that positive two
                             // categories are left, with one point inside the square.
                             FallbackCase{"OnlyPositiveOfACategory",
                                          {1, 3, 1, 3, 1, 3, 1, 3, 1, 3, 1},
                                          {3, 1, 3, 3, 1, 3, 2, 3, 1, 3, 3, 1, 3},
                                          11 + 7,
                                          6.0 / 11.0,
                                          1 + 4},
                             // Category 2 holds one negative only (case 4): horizontal line at
                             // TPF 8/12.
                             FallbackCase{"OnlyNegativeOfACategory",
                                          {1, 3, 1, 2, 1, 3, 1, 3, 1, 3, 1, 3},
                                          {3, 1, 3, 3, 1, 3, 3, 1, 3, 3, 1, 3},
                                          4,
                                          8.0 / 12.0,
                                          1 + 4}),
                         [](const ::testing::TestParamInfo<FallbackCase>& info) {
                           return std::string(info.param.name);
                         });

// A truth state with a single case: leaving it out leaves no pair, and its
// pseudovalue is the area estimated on all cases (not counted as a failure).
struct SingleCase {
  const char* name;
  Ratings neg, pos;
  int single;  // case number of the lone case
  bool fullFitFails = false;
};

class JknifeSingle : public ::testing::TestWithParam<SingleCase> {};

TEST_P(JknifeSingle, LoneCaseOfATruthStateGetsTheAreaOnAllCases) {
  const SingleCase& sc = GetParam();
  const int n = static_cast<int>(sc.neg.size() + sc.pos.size());
  JackknifeRun run(sc.neg, sc.pos);
  expectCategoriesAreRatings(run, sc.neg, sc.pos);
  const Expected e = plainJackknife(sc.neg, sc.pos, 3);
  ASSERT_TRUE(std::isfinite(run.at(sc.single)));
  EXPECT_NEAR(run.at(sc.single), e.fullArea, 1e-12);
  expectPseudovalues(run, e, n);
  // A failed fit on all cases counts every left-out case, the lone one too.
  EXPECT_EQ(run.flag(), sc.fullFitFails ? -100 - n : 0);
  if (sc.fullFitFails) {
    ASSERT_FALSE(run.screen.lines().empty());
    EXPECT_EQ(run.screen.lines().back(), " Degenerate" + I(-1, 12) + I(-100 - n, 12));
  }
}

INSTANTIATE_TEST_SUITE_P(Jknife, JknifeSingle,
                         ::testing::Values(
                             // All points on the left and right borders: the fit on all cases gives
                             // the substitute area (1/2 + 5/6) / 2.
                             SingleCase{"OneNegative", {2}, {1, 2, 3, 2, 3, 3}, 1},
                             SingleCase{"OnePositive", {1, 2, 1, 3, 1, 2}, {2}, 7},
                             // The negative above two of the three positives: perverse
                             // performance, no fitted area, and the lone case gets the trapezoidal
                             // area on all cases.
                             SingleCase{"OneNegativeFullFitFails", {2}, {1, 1, 2}, 1, true}),
                         [](const ::testing::TestParamInfo<SingleCase>& info) {
                           return std::string(info.param.name);
                         });

// The fits made ahead on several threads against the loop making every fit
// in place on one: the same pseudovalues, flags, fit count, memo entries and
// the same lines, screen and report file interleaved, in the same order.
struct ThreadsCase {
  const char* name;
  Ratings neg, pos;
  bool withFile;        // a report file is open
  bool fullFitFails;    // the fit on all cases gives no area
  const char* mustSee;  // a line the row is about ("" none)
};

// Both destinations write into one list, so that the order between screen
// and report-file lines is seen too.
class Tagged : public LineSink {
 public:
  Tagged(std::vector<std::string>& all, char tag) : all_(all), tag_(tag) {}
  void writeLine(std::string_view line) override { all_.push_back(tag_ + std::string(line)); }

 private:
  std::vector<std::string>& all_;
  char tag_;
};

struct ThreadedRun {
  std::vector<std::string> lines;
  std::vector<double> pv;  // 1-based
  int flag = 0, fits = 0, ready = -1;
  FitOutcome full;
};

ThreadedRun runThreaded(const ThreadsCase& tc, int threads, FitMemo* memo, int reader = 2,
                        FitPool* pool = nullptr) {
  ThreadedRun run;
  Tagged screen(run.lines, 'S'), file(run.lines, 'F');
  Destinations out(screen, tc.withFile ? &file : nullptr);
  FitContext ctx;
  ctx.out = &out;
  ctx.title = "QUELBRO threads";
  ctx.readerName = "Reader";
  ctx.treatmentDes = "Only";
  ctx.date = "08-Dec-26";
  ctx.time = "10:30:00";
  auto xneg = std::make_unique<ResultTable>(), xpos = std::make_unique<ResultTable>();
  auto pv = std::make_unique<PvTable>();
  PsflagTable psflag{};
  CatTab ct;
  const int t = 2, n0 = static_cast<int>(tc.neg.size()), n1 = static_cast<int>(tc.pos.size());
  for (int i = 1; i <= n0; ++i) (*xneg)(t, i) = static_cast<float>(tc.neg[static_cast<std::size_t>(i - 1)]);
  for (int j = 1; j <= n1; ++j) (*xpos)(t, j) = static_cast<float>(tc.pos[static_cast<std::size_t>(j - 1)]);
  run.fits = JKNIFE(reader, t, n0, n1, *xneg, *xpos, *pv, psflag, ct, ctx, memo, &run.full,
                    FitThreads{threads, pool, &run.ready});
  for (int k = 0; k <= n0 + n1; ++k) run.pv.push_back((*pv)(reader, t, k));
  run.flag = psflag[static_cast<std::size_t>(reader)][t];
  return run;
}

void expectSameRun(const ThreadedRun& one, const ThreadedRun& many) {
  EXPECT_EQ(many.fits, one.fits);
  EXPECT_EQ(many.flag, one.flag);
  ASSERT_EQ(many.pv.size(), one.pv.size());
  for (std::size_t k = 1; k < one.pv.size(); ++k)
    EXPECT_EQ(many.pv[k], one.pv[k]) << "case " << k;  // bit for bit
  EXPECT_EQ(many.full.kind, one.full.kind);
  EXPECT_EQ(many.full.iterations, one.full.iterations);
  EXPECT_EQ(many.full.estimates.az, one.full.estimates.az);
  EXPECT_EQ(many.full.degenerateArea, one.full.degenerateArea);
  ASSERT_EQ(many.lines.size(), one.lines.size());
  for (std::size_t i = 0; i < one.lines.size(); ++i) ASSERT_EQ(many.lines[i], one.lines[i]) << "line " << i;
}

class JknifeThreads : public ::testing::TestWithParam<ThreadsCase> {};

TEST_P(JknifeThreads, FitsMadeAheadOnSeveralThreadsChangeNothing) {
  const ThreadsCase& tc = GetParam();
  FitMemo memoOne, memoMany;
  FitPool pool;  // kept from one reader to the next, as in a run
  const ThreadedRun one = runThreaded(tc, 1, &memoOne);
  EXPECT_EQ(one.ready, 0);  // one thread: every fit made in place, as always
  EXPECT_EQ(one.flag <= -100, tc.fullFitFails);
  if (*tc.mustSee != '\0') {
    EXPECT_TRUE(std::any_of(one.lines.begin(), one.lines.end(), [&](const std::string& l) {
      return l.find(tc.mustSee) != std::string::npos;
    })) << tc.mustSee;
  }
  for (int threads : {2, 3, 5}) {
    SCOPED_TRACE(threads);
    FitMemo memo;
    const ThreadedRun many =
        threads == 3 ? runThreaded(tc, threads, &memoMany, 2, &pool) : runThreaded(tc, threads, &memo);
    expectSameRun(one, many);
    // Every fit the loop made was taken ready-made; after a failed fit on all
    // cases the left-out ones are neither made nor used.
    EXPECT_EQ(many.ready, one.fits);
  }
  // Without a memo the loop meets equal tables again.
  expectSameRun(runThreaded(tc, 1, nullptr), runThreaded(tc, 2, nullptr));

  // The memos hold the same fits: another reader with the same ratings fits
  // only on all cases and writes the same lines either way.
  const ThreadedRun againOne = runThreaded(tc, 1, &memoOne, 3);
  const ThreadedRun againMany = runThreaded(tc, 3, &memoMany, 3, &pool);
  expectSameRun(againOne, againMany);
  EXPECT_EQ(againOne.fits, 1);
}

// 300 + 300 cases whose fit on all cases converges while 24 of the 35
// left-out fits run all their passes, losing significance on the way.
const Ratings kHardNeg = spread({1, 2, 4, 6, 29, 15, 68, 43, 1, 75, 20, 2, 6, 1, 7, 11, 4, 1, 1, 3});
const Ratings kHardPos = spread({15, 1, 3, 0, 3, 1, 4, 2, 0, 5, 1, 0, 1, 0, 1, 3, 2, 0, 1, 257});

INSTANTIATE_TEST_SUITE_P(
    Jknife, JknifeThreads,
    ::testing::Values(
        ThreadsCase{"ConvergingFits", spread({30, 25, 20, 15, 10}), spread({8, 12, 20, 25, 35}), true, false,
                    ""},
        ThreadsCase{"ConvergingFitsNoReportFile", spread({30, 25, 20, 15, 10}), spread({8, 12, 20, 25, 35}),
                    false, false, ""},
        ThreadsCase{"FullFitFails",
                    {0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
                    {1, 0, 1, 1, 0, 1, 1, 1, 0, 1},
                    true,
                    true,
                    "DATA ARE DEGENERATE AND PROVIDE ONLY A SINGLE"},
        ThreadsCase{"LeftOutFitsFailWithMessages",
                    {1, 3, 1, 3, 1, 3, 1, 3, 1, 3, 1},
                    {3, 1, 3, 3, 1, 3, 2, 3, 1, 3, 3, 1, 3},
                    true,
                    false,
                    "DATA ARE DEGENERATE.  IMPLIED EXACT-FIT"},
        ThreadsCase{"LeftOutFitsDoNotConverge", kHardNeg, kHardPos, true, false, "DOES NOT CONVERGE"},
        ThreadsCase{"OneNegative", {2}, {1, 2, 3, 2, 3, 3}, true, false, ""},
        ThreadsCase{"OneNegativeFullFitFails", {2}, {1, 1, 2}, true, true, ""},
        ThreadsCase{"AllInOneCategory", {4, 4, 4, 4}, {4, 4, 4, 4, 4}, true, false, "DEGENERATE"}),
    [](const ::testing::TestParamInfo<ThreadsCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quelbro
