// Categorization of one reader's results under one treatment into truth-state
// runs: CATGRZ and its helpers SORT, RANKS, SETCUT, INSERT, CONVRT.
#pragma once

#include "fit/cattab.h"

namespace quelbro {

// Sets NCAT, CNEG, CPOS, CUTS and KHIGH of `ct` (NNEG and NPOS must be set)
// and replaces the treatment's results in both tables by category numbers.
// `idir` is +1 when larger results are abnormal, -1 when smaller ones are.
void CATGRZ(CatTab& ct, int treatment, int ileave, ResultTable& xneg, ResultTable& xpos, int idir);

}  // namespace quelbro
