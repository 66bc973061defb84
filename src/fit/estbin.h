// One binormal fit of the categorized data, end to end: report header,
// operating points, degenerate data, initial estimates, iteration, results.
#pragma once

#include "fit/cattab.h"
#include "fit/fit_context.h"
#include "fit/fit_report.h"

namespace quelbro {

// What a fit found, for those who keep the numbers rather than the report.
// The counts and operating points are those the fit worked on (1-based, as
// in CATTAB); the estimates hold only when kind is Fitted.
struct FitOutcome {
  enum class Kind { Fitted, Degenerate, NotConverged };
  Kind kind = Kind::NotConverged;
  int degenerateType = 0;        // DEGTST's type, 1..10, when Degenerate
  double degenerateArea = -1.0;  // DEGENE's stand-in for the area; -1: none
  BinormalEstimates estimates;
  int iterations = 0;  // scoring passes; 0 when no iteration ran
  int nneg = 0, npos = 0, ncat = 0;
  std::array<double, kMaxCategories + 1> cneg{}, cpos{};
  std::array<double, kMaxCategories + 2> fpf{}, tpf{};  // points 1..ncat+1
  double trapa = 0.0, trapse = 0.0;
};

// Returns the area under the fitted curve, DEGENE's substitute for degenerate
// data, or -1.0 when the iteration does not converge. Prints the report only
// when ileave = 0; treatment and reader are 1-based. When `outcome` is given
// it receives what the fit found (TRAPA and TRAPSE as ct holds them).
double ESTBIN(CatTab& ct, int ileave, int treatment, int reader, const FitContext& ctx,
              FitOutcome* outcome = nullptr);

}  // namespace quelbro
