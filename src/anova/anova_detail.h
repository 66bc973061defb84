// The working pieces of ANOVA: the feasible-space constraint, the sums of
// squares and mean squares, the F tests and the two-treatment intervals.
#pragma once

#include <array>
#include <string>

#include "anova/pv_table.h"
#include "console/text_console.h"

namespace quelbro {

// A reader-treatment cell whose pseudovalues were clamped into [0, 1].
struct ConstrainedCell {
  int t = 0;
  int r = 0;
};

// The cells clamped, in the order found (reader-major); at most 10 x 5.
struct ConstraintList {
  int flag = 0;  // 1 when at least one cell was clamped
  int count = 0;
  std::array<ConstrainedCell, 50> cells{};
};

// Clamps every cell whose mean lies outside [0, 1], one cell per scan, until
// a scan finds none.
void constrainToFeasible(PvTable& pv, int R, int T, int C, ConstraintList& list);

// Sources of the analysis of variance.
enum Source { kSrcT = 0, kSrcR, kSrcC, kSrcTR, kSrcTC, kSrcRC, kSrcTRC, kSrcTOT, kNumSources };

// Means, sums of squares, df and mean squares; index 0 of the 1-based tables unused.
struct AnovaStats {
  int R = 0, T = 0, C = 0;
  double cellMean[11][6] = {};
  double readerMean[11] = {};
  double trtMean[6] = {};
  double grandMean = 0.0;
  double ss[kNumSources] = {};
  double df[kNumSources] = {};
  double ms[kNumSources] = {};  // none for TOT
  // Readers-by-cases mean squares per treatment.
  double msR[6] = {};
  double msC[6] = {};
  double msRC[6] = {};
};

void computeAnovaStats(const PvTable& pv, int R, int T, int C, AnovaStats& st);

// Upper-tail probability of an F ratio; NaN when undefined (a result of
// BETAP outside [0, 1], which is how its domain errors and breakdowns show).
double fProbability(double f, double d1, double d2);

// The F tests with the data-dependent error term of the treatment test.
struct AnovaTests {
  double f[kNumSources] = {};
  double p[kNumSources] = {};  // NaN when undefined
  bool sig[kNumSources] = {};
  int icase = 1;
  bool nottrc = false;
  double nu = 0.0;      // Satterthwaite df of case 4; NaN when below 1
  double e = 0.0;       // Satterthwaite error mean square of case 4
  double d2T = 0.0;     // denominator df of the treatment test
  double errMsT = 0.0;  // error mean square of the treatment test
};

void runTests(const AnovaStats& st, AnovaTests& tests);

// The verdict line of the Satterthwaite treatment test for probability p.
std::string satterthwaiteVerdict(double p);

// Two treatments: standard errors, Satterthwaite df and the 95% interval of
// the difference. Index 1, 2 the treatments, 3 the difference.
struct TwoTreatment {
  double area[4] = {};
  double se[4] = {};
  double df[4] = {};  // NaN for an undefined df of the difference
  double lower = 0.0, upper = 0.0;
};

void twoTreatmentIntervals(const AnovaStats& st, const AnovaTests& tests, TwoTreatment& tt);

// Paired comparison of the two treatments for one reader.
struct SingleReader {
  double mean1 = 0.0, mean2 = 0.0;
  double se = 0.0;
  double t = 0.0;
  double lower = 0.0, upper = 0.0;
};

void singleReader(const PvTable& pv, const AnovaStats& st, int r, SingleReader& sr);

// The t critical value for a df held as a real: rounded to the nearest integer
// (halves away from zero); NaN when that is not a positive number.
double tcritOfDf(double df);

// The banner and the constraint notes.
void ANHEAD(int flag, int count, const std::array<ConstrainedCell, 50>& list, LineSink& out);

}  // namespace quelbro
