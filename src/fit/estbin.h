// One binormal fit of the categorized data, end to end: report header,
// operating points, degenerate data, initial estimates, iteration, results.
#pragma once

#include "fit/cattab.h"
#include "fit/fit_context.h"

namespace quelbro {

// Returns the area under the fitted curve, DEGENE's substitute for degenerate
// data, or -1.0 when the iteration does not converge. Prints the report only
// when ileave = 0; treatment and reader are 1-based.
double ESTBIN(CatTab& ct, int ileave, int treatment, int reader, const FitContext& ctx);

}  // namespace quelbro
