// The jackknife of one reader and treatment: categorize once, fit on all cases
// and with each case left out, and turn the areas into pseudovalues.
#pragma once

#include "anova/pv_table.h"
#include "fit/cattab.h"
#include "fit/fit_context.h"

namespace quelbro {

// Fills PV(r, t, 1..n0+n1) and PSFLAG(r, t). The treatment-t results of xneg
// (cases 1..n0) and xpos (cases 1..n1) are replaced by category numbers. The
// fit report of the fit on all cases goes to ctx.out; ctx carries the reader
// name, treatment description and direction of this reader and treatment.
// Returns the number of fits actually run (the area cache saves the others).
int JKNIFE(int r, int t, int n0, int n1, ResultTable& xneg, ResultTable& xpos, PvTable& pv,
            PsflagTable& psflag, CatTab& ct, const FitContext& ctx);

}  // namespace quelbro
