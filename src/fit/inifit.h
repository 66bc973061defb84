// Starting values of a binormal fit: INIFIT (least-squares line through the
// operating points on normal-deviate axes), CUTOFF and its root finder BISECT.
#pragma once

#include "console/text_console.h"
#include "fit/cattab.h"

namespace quelbro {

// Initial A, B and latent cut-offs into PARM(1..21) from FPF, TPF, NNEG, NPOS.
void INIFIT(CatTab& ct);

// Fills CUMNEG and CUMPOS, then improves each cut-off Z(k) = PARM(k+2) as the
// root of HF for the given A and B. "Significance error HF" goes to `screen`
// when a search finds no sign change within its step limit.
void CUTOFF(CatTab& ct, double a, double b, LineSink& screen);

// Bisection for the root of HF(k, .) between lo and hi (updated in place) to
// a width of 0.001; returns the root estimate.
double BISECT(const CatTab& ct, double& lo, double& hi, int k);
// The same with HF(k, lo) already known (the bracket search has just
// evaluated it): `flo` must be that value.
double BISECT(const CatTab& ct, double& lo, double& hi, int k, double flo);

}  // namespace quelbro
