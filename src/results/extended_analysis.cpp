// The treatment tests with the newer denominator df, the pairwise intervals,
// the variance components and the sizing of a future study, from mean squares.
#include "results/extended_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

double CriticalValues::at(double ddf) {
  std::uint64_t key = 0;
  std::memcpy(&key, &ddf, sizeof key);
  const auto [it, added] = known_.try_emplace(key, 0.0);
  if (added) it->second = fQuantile(0.95, 1.0, ddf);
  return it->second;
}

namespace {

// The two variances of a planned study of r* readers and c* cases:
// within = s2_E + c* s2_TR and all = within + r* s2_TC.
struct Spread {
  double within = 0.0;
  double all = 0.0;
};

Spread spreadOf(const VarianceComponents& v, int readers, int cases) {
  Spread s;
  s.within = v.error + static_cast<double>(cases) * v.treatmentReader;
  s.all = s.within + static_cast<double>(readers) * v.treatmentCase;
  return s;
}

double noncentralityOf(const Spread& s, int readers, int cases, double effect) {
  const double r = readers, c = cases;
  return r * c * (effect * effect / 2.0) / s.all;
}

double ddfOf(const Spread& s, int readers) {
  const double r = readers;
  return s.all * s.all / (s.within * s.within / (r - 1.0));
}

double powerOf(double noncentrality, double ddf, CriticalValues& critical) {
  return noncentralFTails(critical.at(ddf), 1.0, ddf, noncentrality).upper;
}

// lambda = r* c* (d^2 / 2) / (s2_E + c* s2_TR + r* s2_TC);
// ddf* = (s2_E + c* s2_TR + r* s2_TC)^2 / ((s2_E + c* s2_TR)^2 / (r* - 1));
// power = P(F'(1, ddf*, lambda) > F(0.95; 1, ddf*)).
PlannedStudy planned(const VarianceComponents& v, int readers, int cases, double effect,
                     CriticalValues& critical) {
  PlannedStudy s;
  s.readers = readers;
  s.cases = cases;
  const Spread spread = spreadOf(v, readers, cases);
  if (!(spread.all > 0.0) || !(spread.within > 0.0) || readers < 2 || cases < 1) return s;
  s.noncentrality = defined(noncentralityOf(spread, readers, cases, effect));
  s.ddf = defined(ddfOf(spread, readers));
  if (!s.noncentrality || !s.ddf) return s;
  s.power = defined(powerOf(*s.noncentrality, *s.ddf, critical));
  return s;
}

// Whether any larger case count can still reach the target: with more cases
// lambda grows towards r* d^2 / (2 s2_TR) and ddf* falls, and the power
// grows with both, so the power at that limit of lambda and the present
// ddf* bounds every power still to come.
bool reachable(const VarianceComponents& v, int readers, double ddf, double effect,
               CriticalValues& critical) {
  if (!(v.treatmentReader > 0.0)) return effect != 0.0;
  const double lambdaLimit = readers * effect * effect / (2.0 * v.treatmentReader);
  const double bound = powerOf(lambdaLimit, ddf, critical);
  return !(bound < kTargetPower);
}

// Case counts are searched as steps k = 1, 2, ... (k kCaseSearchStep cases);
// the scan tests whether the target is still reachable at every 20th.
constexpr int kSearchSteps = kCaseSearchLimit / kCaseSearchStep;
constexpr int kReachableEvery = 20;
bool reachableTestedAt(int step) { return step % kReachableEvery == 1; }

// Whether lambda and ddf* are finite and positive at every case count of the
// search, and the power therefore defined at each (the noncentral F and its
// quantile are defined for every finite positive df and finite lambda >= 0).
// Computed with the very operations planned() uses: all, within, r* c* d^2/2
// and the squares grow with c* (a rounded sum or product never falls when an
// operand grows), so every lambda is at most r* c_max d^2/2 / all(c_min) and
// every ddf* at most all(c_max)^2 / (within(c_min)^2 / (r* - 1)); and ddf* is
// at least 1, as all^2 >= within^2 >= within^2 / (r* - 1) > 0.
bool everyCountDefined(const VarianceComponents& v, int readers, double effect) {
  if (readers < 2) return false;
  const Spread least = spreadOf(v, readers, kCaseSearchStep);
  const Spread most = spreadOf(v, readers, kCaseSearchLimit);
  if (!(least.within > 0.0) || !(least.all > 0.0)) return false;
  const double r = readers;
  const double lambdaMost = r * static_cast<double>(kCaseSearchLimit) * (effect * effect / 2.0) / least.all;
  const double spreadLeast = least.within * least.within / (r - 1.0);
  const double allSquaredMost = most.all * most.all;
  return std::isfinite(lambdaMost) && spreadLeast > 0.0 && std::isfinite(allSquaredMost) &&
         std::isfinite(allSquaredMost / spreadLeast);
}

// Below this the bound of a block of case counts rules the whole block out.
// The computed powers are within about 1e-13 of the true ones (quantile and
// tails to full precision, the Poisson mixture cut where less than 1e-17 of
// its weight is left), so a bound this far below the target cannot hide a
// computed power at or above it, whatever the rounding.
constexpr double kSkipMargin = 1e-7;

// The first reaching step by skipping blocks of case counts. Across a block
// [c0, c1] lambda grows and ddf* falls with the cases, and the power grows
// with both, so no power in the block exceeds the power at lambda(c1) and
// ddf*(c0); a block whose bound is below the target holds no count reaching
// it, and one whose bound is not is halved, small ones tried count by count.
class BlockSearch {
 public:
  BlockSearch(const VarianceComponents& v, int readers, double effect, CriticalValues& critical)
      : v_(v), readers_(readers), effect_(effect), critical_(critical) {}

  // The first step in [from, to] whose power reaches the target; none when no
  // step does. `surprised` is set by an undefined power, which the test of
  // every count above rules out.
  std::optional<int> first(int from, int to) {
    constexpr int kTriedOneByOne = 4;
    if (to - from < kTriedOneByOne) {
      for (int k = from; k <= to; ++k) {
        const double p = power(k);
        if (!std::isfinite(p)) surprised = true;
        if (p >= kTargetPower) return k;
      }
      return std::nullopt;
    }
    const double bound = powerOf(lambda(to), ddf(from), critical_);
    if (bound < kTargetPower - kSkipMargin) return std::nullopt;
    const int middle = from + (to - from) / 2;
    if (const std::optional<int> k = first(from, middle)) return k;
    return first(middle + 1, to);
  }

  double ddf(int step) const { return ddfOf(spreadOf(v_, readers_, step * kCaseSearchStep), readers_); }
  bool surprised = false;

 private:
  double lambda(int step) const {
    const int cases = step * kCaseSearchStep;
    return noncentralityOf(spreadOf(v_, readers_, cases), readers_, cases, effect_);
  }
  double power(int step) { return powerOf(lambda(step), ddf(step), critical_); }

  const VarianceComponents& v_;
  int readers_;
  double effect_;
  CriticalValues& critical_;
};

}  // namespace

PlannedStudy plannedStudy(const VarianceComponents& v, int readers, int cases, double effect) {
  CriticalValues critical;
  return planned(v, readers, cases, effect, critical);
}

std::optional<PlannedStudy> smallestStudyByScan(const VarianceComponents& v, int readers, double effect,
                                                CriticalValues& critical) {
  for (int k = 1; k <= kSearchSteps; ++k) {
    PlannedStudy s = planned(v, readers, k * kCaseSearchStep, effect, critical);
    if (!s.power) break;  // undefined for one case count: undefined for all
    if (*s.power >= kTargetPower) return s;
    if (reachableTestedAt(k) && !reachable(v, readers, *s.ddf, effect, critical)) break;
  }
  return std::nullopt;
}

// The scan stops at the first count that is undefined, reaches the target,
// or (every 20th) finds it out of reach. Where every count is defined, the
// first reaching count k is found by the block search; the scan returns it
// unless a test before k finds the target out of reach. Such a test bounds
// the power of every later count, so it cannot fail before a count whose
// power is clear of the target by the rounding margin; otherwise those tests
// are made here as the scan makes them.
std::optional<PlannedStudy> smallestStudy(const VarianceComponents& v, int readers, double effect,
                                          CriticalValues& critical) {
  if (!everyCountDefined(v, readers, effect)) return smallestStudyByScan(v, readers, effect, critical);
  BlockSearch search(v, readers, effect, critical);
  const std::optional<int> k = search.first(1, kSearchSteps);
  if (search.surprised) return smallestStudyByScan(v, readers, effect, critical);
  if (!k) return std::nullopt;
  PlannedStudy s = planned(v, readers, *k * kCaseSearchStep, effect, critical);
  if (!s.power) return smallestStudyByScan(v, readers, effect, critical);
  if (*s.power < kTargetPower + kSkipMargin) {
    for (int tested = 1; tested < *k; tested += kReachableEvery)
      if (!reachable(v, readers, search.ddf(tested), effect, critical)) return std::nullopt;
  }
  return s;
}

SizingTable sizingTable(const VarianceComponents& v, int i, int j, double effect, bool observed,
                        CriticalValues* shared) {
  CriticalValues own;
  CriticalValues& critical = shared != nullptr ? *shared : own;
  SizingTable table;
  table.i = i;
  table.j = j;
  table.effect = effect;
  table.observed = observed;
  for (int r = kPlannedReadersFrom; r <= kPlannedReadersTo; ++r) {
    SizingTable::Row row;
    row.readers = r;
    for (int c : kPlannedCases) row.studies.push_back(planned(v, r, c, effect, critical));
    row.smallest = smallestStudy(v, r, effect, critical);
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
  CriticalValues critical;
  for (int i = 1; i <= in.treatments; ++i) {
    for (int j = i + 1; j <= in.treatments; ++j) {
      const double observed = in.treatmentMeans[static_cast<std::size_t>(i - 1)] -
                              in.treatmentMeans[static_cast<std::size_t>(j - 1)];
      out.sizing.push_back(sizingTable(out.components, i, j, observed, true, &critical));
      if (effect) out.sizing.push_back(sizingTable(out.components, i, j, *effect, false, &critical));
    }
  }
  return out;
}

}  // namespace quelbro
