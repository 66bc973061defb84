// The extended analyses against a study whose mean squares are worked by hand
// (numbers in the comments; probabilities and quantiles from
// tests/stats/tools/beta_reference.py, which sums its own series).
#include "results/extended_analysis.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quelbro {
namespace {

// t = 2, r = 3, c = 10.
MeanSquareInput handStudy() {
  MeanSquareInput in;
  in.treatments = 2;
  in.readers = 3;
  in.cases = 10;
  in.msT = 0.02;
  in.msTR = 0.004;
  in.msTC = 0.003;
  in.msTRC = 0.001;
  in.treatmentMeans = {0.80, 0.75};
  return in;
}

TEST(ExtendedAnalysis, ThreeTestsOfAHandWorkedStudy) {
  struct Row {
    TestKind kind;
    double error, f, ddf, p, tcrit, se;
  };
  const Row rows[] = {
      // E = .004 + (.003 - .001) = .006; ddf = .006^2 / (.004^2 / 2) = 4.5; SE = sqrt(2 E / 30) = .02
      {TestKind::Random, 0.006, 0.02 / 0.006, 4.5, 0.1339258010448775, 2.658912347204401, 0.02},
      // MS(TC) with (t-1)(c-1) = 9 df
      {TestKind::FixedReaders, 0.003, 0.02 / 0.003, 9.0, 0.029599892428243568, 2.2621571627982027,
       std::sqrt(0.006 / 30)},
      // MS(TR) with 2 df: P(F(1, 2) > 5) = 1 - sqrt(5/7)
      {TestKind::FixedCases, 0.004, 5.0, 2.0, 1.0 - std::sqrt(5.0 / 7.0), 4.302652729749456,
       std::sqrt(0.008 / 30)},
  };
  for (const Row& r : rows) {
    const TreatmentTest t = treatmentTest(handStudy(), r.kind);
    SCOPED_TRACE(static_cast<int>(r.kind));
    EXPECT_NEAR(*t.errorMs, r.error, 1e-15);
    EXPECT_NEAR(*t.f, r.f, 1e-12);
    EXPECT_EQ(t.ndf, 1.0);
    EXPECT_NEAR(*t.ddf, r.ddf, 1e-12);
    EXPECT_NEAR(*t.p, r.p, 1e-10);
    ASSERT_EQ(t.pairs.size(), 1u);
    EXPECT_EQ(t.pairs[0].i, 1);
    EXPECT_EQ(t.pairs[0].j, 2);
    EXPECT_NEAR(t.pairs[0].difference, 0.05, 1e-15);
    EXPECT_NEAR(*t.pairs[0].lower, 0.05 - r.tcrit * r.se, 1e-10);
    EXPECT_NEAR(*t.pairs[0].upper, 0.05 + r.tcrit * r.se, 1e-10);
  }
}

TEST(ExtendedAnalysis, SizingOfAHandWorkedStudy) {
  const VarianceComponents v = varianceComponents(handStudy());
  EXPECT_NEAR(v.treatmentReader, 0.0003, 1e-15);   // (.004 - .001) / 10
  EXPECT_NEAR(v.treatmentCase, 0.002 / 3, 1e-15);  // (.003 - .001) / 3
  EXPECT_NEAR(v.error, 0.001, 1e-15);
  EXPECT_FALSE(v.treatmentReaderNegative || v.treatmentCaseNegative);
  // r* = 3, c* = 50: .001 + 50 * .0003 + 3 * .002/3 = .018; lambda = 150 * .00125 / .018;
  // ddf = .018^2 / (.016^2 / 2) = 2.53125
  PlannedStudy s = plannedStudy(v, 3, 50, 0.05);
  EXPECT_NEAR(*s.noncentrality, 10.416666666666666, 1e-12);
  EXPECT_NEAR(*s.ddf, 2.53125, 1e-12);
  EXPECT_NEAR(*s.power, 0.5240605919868148, 1e-9);
  s = plannedStudy(v, 10, 400, 0.05);
  EXPECT_NEAR(*s.noncentrality, 39.1644908616188, 1e-10);
  EXPECT_NEAR(*s.ddf, 10.019056075404682, 1e-10);
  EXPECT_NEAR(*s.power, 0.9998565139614867, 1e-9);
}

TEST(ExtendedAnalysis, SmallestCasesAreTheFirstMultipleOfTenReaching80Percent) {
  const VarianceComponents v = varianceComponents(handStudy());
  const SizingTable table = sizingTable(v, 1, 2, 0.05, true);
  ASSERT_EQ(table.rows.size(), 8u);
  for (const SizingTable::Row& row : table.rows) {
    ASSERT_EQ(row.studies.size(), 4u);
    if (!row.smallest) {
      // Never reached: not even near the limit of the search.
      EXPECT_LT(*plannedStudy(v, row.readers, kCaseSearchLimit, 0.05).power, kTargetPower);
      continue;
    }
    const int c = row.smallest->cases;
    EXPECT_EQ(c % 10, 0);
    EXPECT_GE(*row.smallest->power, kTargetPower);
    if (c > 10) {
      EXPECT_LT(*plannedStudy(v, row.readers, c - 10, 0.05).power, kTargetPower);
    }
  }
  // Three readers: the reader component caps lambda at 3 d^2 / (2 s2_TR) = 12.5;
  // even with that and 2 ddf the power stays below 80%.
  EXPECT_FALSE(table.rows[0].smallest.has_value());
  EXPECT_TRUE(table.rows[7].smallest.has_value());
}

// The search that skips blocks of case counts finds what trying every count
// in turn finds, for every planned reader count: where the power is not
// monotone in the cases (a large case component: ddf* falls faster than
// lambda grows), where it never reaches 80%, and where it is undefined.
TEST(ExtendedAnalysis, BlockSearchFindsWhatTheScanFinds) {
  struct Row {
    const char* what;
    double error, treatmentReader, treatmentCase, effect;
    int fourReaders;  // the smallest count of cases for 4 readers (0: not checked)
    bool fallsBack;   // the power of 4 readers falls below 80% again at more cases
    bool never;       // no reader count reaches 80%
  };
  const Row rows[] = {
      {"hand-worked study", 0.001, 0.0003, 0.002 / 3, 0.05, 0, false, false},
      // Four readers reach 80% at 840 cases and fall below it again after 2180.
      {"power rising and falling", 0.001, 0.001, 0.1, 0.09, 840, true, false},
      {"falling power, target reached at once", 0.001, 0.001, 0.1, 0.3, 0, false, false},
      {"never 80%: capped by the reader component", 0.001, 0.001, 0.01, 0.03, 0, false, true},
      {"no reader component: ddf* fixed, lambda unbounded", 0.01, 0.0, 0.001, 0.02, 0, false, false},
      {"no effect", 0.001, 0.0003, 0.002 / 3, 0.0, 0, false, true},
      {"no variance at all: undefined", 0.0, 0.0, 0.0, 0.05, 0, false, true},
      {"lambda overflowing at many cases", 0.001, 0.0003, 0.001, 1e152, 0, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VarianceComponents v;
    v.error = row.error;
    v.treatmentReader = row.treatmentReader;
    v.treatmentCase = row.treatmentCase;
    for (int r = kPlannedReadersFrom; r <= kPlannedReadersTo; ++r) {
      SCOPED_TRACE(r);
      CriticalValues shared, own;
      const std::optional<PlannedStudy> fast = smallestStudy(v, r, row.effect, shared);
      const std::optional<PlannedStudy> scan = smallestStudyByScan(v, r, row.effect, own);
      ASSERT_EQ(fast.has_value(), scan.has_value());
      EXPECT_FALSE(row.never && fast.has_value());
      if (!fast) continue;
      EXPECT_EQ(fast->cases, scan->cases);
      EXPECT_EQ(*fast->power, *scan->power);
      EXPECT_EQ(*fast->ddf, *scan->ddf);
      EXPECT_EQ(*fast->noncentrality, *scan->noncentrality);
    }
    CriticalValues critical;
    const std::optional<PlannedStudy> four = smallestStudy(v, 4, row.effect, critical);
    if (row.fourReaders > 0) {
      ASSERT_TRUE(four.has_value());
      EXPECT_EQ(four->cases, row.fourReaders);
    }
    if (row.fallsBack) {
      EXPECT_LT(*plannedStudy(v, 4, 2500, row.effect).power, kTargetPower);
      EXPECT_GT(*plannedStudy(v, 4, 1000, row.effect).power, kTargetPower);
    }
  }
  // Sizings sharing their critical values give what separate ones give.
  VarianceComponents v;
  v.error = 0.001;
  v.treatmentReader = 0.001;
  v.treatmentCase = 0.1;
  CriticalValues shared;
  sizingTable(v, 1, 2, 0.2, true, &shared);
  const SizingTable again = sizingTable(v, 1, 2, 0.09, true, &shared);
  const SizingTable alone = sizingTable(v, 1, 2, 0.09, true);
  for (std::size_t k = 0; k < again.rows.size(); ++k) {
    ASSERT_EQ(again.rows[k].smallest.has_value(), alone.rows[k].smallest.has_value());
    if (alone.rows[k].smallest) {
      EXPECT_EQ(*again.rows[k].smallest->power, *alone.rows[k].smallest->power);
    }
    EXPECT_EQ(*again.rows[k].studies[3].power, *alone.rows[k].studies[3].power);
  }
}

TEST(ExtendedAnalysis, NegativeComponentIsClampedAndTheMaxDropsMsTc) {
  MeanSquareInput in = handStudy();
  in.msTC = 0.0005;  // below MS(TRC)
  const TreatmentTest t = treatmentTest(in, TestKind::Random);
  EXPECT_NEAR(*t.errorMs, 0.004, 1e-15);  // E = MS(TR) alone
  EXPECT_NEAR(*t.ddf, 2.0, 1e-12);        // E^2 / (MS(TR)^2 / 2)
  EXPECT_NEAR(*t.p, 0.15484574527148331, 1e-10);
  const VarianceComponents v = varianceComponents(in);
  EXPECT_TRUE(v.treatmentCaseNegative);
  EXPECT_EQ(v.treatmentCase, 0.0);
  // r* = 4, c* = 100: all = .001 + 100 * .0003 = within; ddf = r* - 1
  const PlannedStudy s = plannedStudy(v, 4, 100, 0.05);
  EXPECT_NEAR(*s.ddf, 3.0, 1e-12);
  EXPECT_NEAR(*s.noncentrality, 400 * 0.00125 / 0.031, 1e-12);
}

TEST(ExtendedAnalysis, ZeroTreatmentReaderMeanSquareLeavesDdfUndefined) {
  MeanSquareInput in = handStudy();
  in.msTR = 0.0;
  const ExtendedResults x = extendedAnalysis(in, std::nullopt);
  ASSERT_TRUE(x.made);
  const TreatmentTest& random = x.tests[0];
  EXPECT_FALSE(random.ddf.has_value());
  EXPECT_FALSE(random.p.has_value());
  EXPECT_NEAR(*random.f, 0.02 / 0.002, 1e-12);  // E = 0 + .002 still divides
  EXPECT_FALSE(random.pairs[0].lower.has_value());
  const TreatmentTest& fixedCases = x.tests[2];  // MS(TR) = 0 is its error: no F
  EXPECT_FALSE(fixedCases.f.has_value());
  EXPECT_FALSE(fixedCases.p.has_value());
  EXPECT_EQ(*fixedCases.pairs[0].lower, fixedCases.pairs[0].difference);  // an interval of width 0
  EXPECT_TRUE(x.tests[1].p.has_value());
  EXPECT_TRUE(x.components.treatmentReaderNegative);

  // All mean squares zero: nothing defined, nothing NaN, no endless search.
  in = handStudy();
  in.msT = in.msTR = in.msTC = in.msTRC = 0.0;
  const ExtendedResults z = extendedAnalysis(in, 0.05);
  for (const TreatmentTest& t : z.tests) {
    EXPECT_FALSE(t.f.has_value());
    EXPECT_FALSE(t.p.has_value());
  }
  for (const SizingTable& s : z.sizing) {
    for (const SizingTable::Row& row : s.rows) {
      EXPECT_FALSE(row.smallest.has_value());
      for (const PlannedStudy& p : row.studies) EXPECT_FALSE(p.power.has_value());
    }
  }
}

TEST(ExtendedAnalysis, FiveTreatmentsTwoReaders) {
  MeanSquareInput in;
  in.treatments = 5;
  in.readers = 2;
  in.cases = 20;
  in.msT = 0.01;
  in.msTR = 0.002;
  in.msTC = 0.0015;
  in.msTRC = 0.001;
  in.treatmentMeans = {0.9, 0.85, 0.8, 0.87, 0.7};
  const ExtendedResults x = extendedAnalysis(in, 0.03);
  ASSERT_TRUE(x.made);
  const TreatmentTest& random = x.tests[0];
  // E = .002 + .0005; ddf = E^2 / (.002^2 / 4) = 6.25
  EXPECT_NEAR(*random.ddf, 6.25, 1e-12);
  EXPECT_EQ(random.ndf, 4.0);
  EXPECT_NEAR(*random.p, 0.06140823180564825, 1e-10);
  ASSERT_EQ(random.pairs.size(), 10u);
  EXPECT_EQ(random.pairs[9].i, 4);
  EXPECT_EQ(random.pairs[9].j, 5);
  EXPECT_NEAR(random.pairs[9].difference, 0.17, 1e-14);
  EXPECT_NEAR(*random.pairs[9].upper - 0.17, 2.4233810303648307 * std::sqrt(2 * 0.0025 / 40), 1e-10);
  EXPECT_NEAR(*x.tests[2].ddf, 4.0, 0.0);   // (t-1)(r-1)
  EXPECT_NEAR(*x.tests[1].ddf, 76.0, 0.0);  // (t-1)(c-1)
  ASSERT_EQ(x.sizing.size(), 20u);          // 10 pairs, observed and chosen effect
  EXPECT_TRUE(x.sizing[0].observed);
  EXPECT_FALSE(x.sizing[1].observed);
  EXPECT_EQ(x.sizing[1].effect, 0.03);
  // r* = 4, c* = 100, d = .03: s2_TR = .001/20, s2_TC = .0005/2, s2_E = .001
  const PlannedStudy& s = x.sizing[1].rows[1].studies[1];
  EXPECT_EQ(s.readers, 4);
  EXPECT_EQ(s.cases, 100);
  EXPECT_NEAR(*s.ddf, 4.083333333333334, 1e-12);
  EXPECT_NEAR(*s.noncentrality, 25.71428571428571, 1e-10);
  EXPECT_NEAR(*s.power, 0.9615695210837648, 1e-9);
}

TEST(ExtendedAnalysis, NotMadeBelowTwoTreatmentsOrReaders) {
  MeanSquareInput in = handStudy();
  in.readers = 1;
  EXPECT_FALSE(extendedAnalysis(in, std::nullopt).made);
  in = handStudy();
  in.treatments = 1;
  in.treatmentMeans = {0.8};
  EXPECT_FALSE(extendedAnalysis(in, std::nullopt).made);
}

}  // namespace
}  // namespace quelbro
