// The treatment tests with the newer denominator df, the pairwise intervals,
// the variance components and the sizing of a future study, from mean squares.
#include "results/extended_analysis.h"

#include <algorithm>
#include <cmath>

#include "stats/beta_family.h"

namespace quelbro {

namespace {

Figure defined(double v) { return std::isfinite(v) ? Figure(v) : std::nullopt; }

bool usable(const MeanSquareInput& in) {
  return in.treatments >= 2 && in.readers >= 2 && in.cases >= 2 &&
         static_cast<int>(in.treatmentMeans.size()) == in.treatments;
}

}  // namespace

// Random readers and cases: E = MS(TR) + max(MS(TC) - MS(TRC), 0) with
// ddf = E^2 / (MS(TR)^2 / ((t-1)(r-1))); fixed readers: MS(TC) with
// (t-1)(c-1) df; fixed cases: MS(TR) with (t-1)(r-1) df. Intervals
// difference +/- t(0.975; ddf) sqrt(2 E / (r c)).
TreatmentTest treatmentTest(const MeanSquareInput& in, TestKind kind) {
  TreatmentTest test;
  test.kind = kind;
  if (!usable(in)) return test;
  const double t = in.treatments, r = in.readers, c = in.cases;
  test.ndf = t - 1.0;
  double error = 0.0;
  Figure ddf;
  switch (kind) {
    case TestKind::Random: {
      error = in.msTR + std::max(in.msTC - in.msTRC, 0.0);
      const double denominator = in.msTR * in.msTR / ((t - 1.0) * (r - 1.0));
      if (denominator > 0.0) ddf = defined(error * error / denominator);
      break;
    }
    case TestKind::FixedReaders:
      error = in.msTC;
      ddf = (t - 1.0) * (c - 1.0);
      break;
    case TestKind::FixedCases:
      error = in.msTR;
      ddf = (t - 1.0) * (r - 1.0);
      break;
  }
  test.errorMs = defined(error);
  test.ddf = ddf;
  if (error > 0.0) test.f = defined(in.msT / error);
  if (test.f && ddf) test.p = defined(fTails(*test.f, test.ndf, *ddf).upper);

  Figure half;
  if (ddf && error >= 0.0) half = defined(tQuantile(0.975, *ddf) * std::sqrt(2.0 * error / (r * c)));
  for (int i = 1; i <= in.treatments; ++i) {
    for (int j = i + 1; j <= in.treatments; ++j) {
      PairInterval pair;
      pair.i = i;
      pair.j = j;
      pair.difference = in.treatmentMeans[static_cast<std::size_t>(i - 1)] -
                        in.treatmentMeans[static_cast<std::size_t>(j - 1)];
      if (half) {
        pair.lower = pair.difference - *half;
        pair.upper = pair.difference + *half;
      }
      test.pairs.push_back(pair);
    }
  }
  return test;
}

VarianceComponents varianceComponents(const MeanSquareInput& in) {
  VarianceComponents v;
  if (!usable(in)) return v;
  const double tr = (in.msTR - in.msTRC) / in.cases;
  const double tc = (in.msTC - in.msTRC) / in.readers;
  v.treatmentReaderNegative = tr < 0.0;
  v.treatmentCaseNegative = tc < 0.0;
  v.treatmentReader = std::max(tr, 0.0);
  v.treatmentCase = std::max(tc, 0.0);
  v.error = std::max(in.msTRC, 0.0);
  return v;
}

// lambda = r* c* (d^2 / 2) / (s2_E + c* s2_TR + r* s2_TC);
// ddf* = (s2_E + c* s2_TR + r* s2_TC)^2 / ((s2_E + c* s2_TR)^2 / (r* - 1));
// power = P(F'(1, ddf*, lambda) > F(0.95; 1, ddf*)).
PlannedStudy plannedStudy(const VarianceComponents& v, int readers, int cases, double effect) {
  PlannedStudy s;
  s.readers = readers;
  s.cases = cases;
  const double r = readers, c = cases;
  const double within = v.error + c * v.treatmentReader;
  const double all = within + r * v.treatmentCase;
  if (!(all > 0.0) || !(within > 0.0) || readers < 2 || cases < 1) return s;
  s.noncentrality = defined(r * c * (effect * effect / 2.0) / all);
  s.ddf = defined(all * all / (within * within / (r - 1.0)));
  if (!s.noncentrality || !s.ddf) return s;
  const double critical = fQuantile(0.95, 1.0, *s.ddf);
  s.power = defined(noncentralFTails(critical, 1.0, *s.ddf, *s.noncentrality).upper);
  return s;
}

namespace {

// Whether any larger case count can still reach the target: with more cases
// lambda grows towards r* d^2 / (2 s2_TR) and ddf* falls, and the power
// grows with both, so the power at that limit of lambda and the present
// ddf* bounds every power still to come.
bool reachable(const VarianceComponents& v, int readers, double ddf, double effect) {
  if (!(v.treatmentReader > 0.0)) return effect != 0.0;
  const double lambdaLimit = readers * effect * effect / (2.0 * v.treatmentReader);
  const double bound = noncentralFTails(fQuantile(0.95, 1.0, ddf), 1.0, ddf, lambdaLimit).upper;
  return !(bound < kTargetPower);
}

}  // namespace

SizingTable sizingTable(const VarianceComponents& v, int i, int j, double effect, bool observed) {
  SizingTable table;
  table.i = i;
  table.j = j;
  table.effect = effect;
  table.observed = observed;
  for (int r = kPlannedReadersFrom; r <= kPlannedReadersTo; ++r) {
    SizingTable::Row row;
    row.readers = r;
    for (int c : kPlannedCases) row.studies.push_back(plannedStudy(v, r, c, effect));
    for (int c = kCaseSearchStep; c <= kCaseSearchLimit; c += kCaseSearchStep) {
      PlannedStudy s = plannedStudy(v, r, c, effect);
      if (!s.power) break;  // undefined for one case count: undefined for all
      if (*s.power >= kTargetPower) {
        row.smallest = s;
        break;
      }
      if ((c / kCaseSearchStep) % 20 == 1 && !reachable(v, r, *s.ddf, effect)) break;
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

ExtendedResults extendedAnalysis(const MeanSquareInput& in, std::optional<double> effect) {
  ExtendedResults out;
  if (!usable(in)) return out;
  out.made = true;
  for (TestKind k : {TestKind::Random, TestKind::FixedReaders, TestKind::FixedCases}) {
    out.tests.push_back(treatmentTest(in, k));
  }
  out.components = varianceComponents(in);
  for (int i = 1; i <= in.treatments; ++i) {
    for (int j = i + 1; j <= in.treatments; ++j) {
      const double observed = in.treatmentMeans[static_cast<std::size_t>(i - 1)] -
                              in.treatmentMeans[static_cast<std::size_t>(j - 1)];
      out.sizing.push_back(sizingTable(out.components, i, j, observed, true));
      if (effect) out.sizing.push_back(sizingTable(out.components, i, j, *effect, false));
    }
  }
  return out;
}

}  // namespace quelbro
