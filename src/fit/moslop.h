// Maximum-likelihood fit of the binormal ROC model by Fisher scoring with step
// halving (MOSLOP), its probabilities and derivatives (TERMS, PDEV), and the
// score of a single cut-off (HF) used by the cut-off search.
#pragma once

#include <array>

#include "console/text_console.h"
#include "fit/cattab.h"
#include "fit/spdinv.h"

namespace quelbro {

inline constexpr int kMaxParams = kMaxCategories + 1;  // A, B and 19 cut-offs
inline constexpr int kMaxPasses = 100;                 // ITER above this: no convergence

// Working arrays of one fit, owned by the caller of MOSLOP and reused from fit
// to fit. All arrays are 1-based (slot 0 unused): boundaries i = 1..K+1,
// categories k = 1..K, parameters 1..K+1 in the order A, B, Z(1), ...
struct FitWork {
  std::array<double, kMaxCategories + 2> CDFPOS{};
  std::array<double, kMaxCategories + 2> PDFPOS{};
  std::array<double, kMaxCategories + 2> CDFNEG{};
  std::array<double, kMaxCategories + 2> PDFNEG{};
  std::array<double, kMaxCategories + 1> PRPOS{};
  std::array<double, kMaxCategories + 1> PRNEG{};
  double LOGL = 0.0;
  std::array<double, kMaxParams + 1> GRAD{};
  std::array<std::array<double, kMaxParams + 1>, kMaxParams + 1> HESS{};  // expected d2 LOGL
  // The expected information, inverted in place (square storage).
  SquareMatrix info{};
};

// Category probabilities (floored at 5e-8) and LOGL at ct.PARM.
void TERMS(const CatTab& ct, FitWork& w);

// Gradient and expected second-derivative matrix of LOGL at ct.PARM; must
// follow TERMS at the same PARM.
void PDEV(const CatTab& ct, FitWork& w);

// Runs the scoring iteration from ct.PARM, rewriting it. Returns in `iter` the
// number of passes (above kMaxPasses: no convergence) and in `covmat` the
// inverse expected information (leading (K+1) x (K+1) block, rest 0).
// Loss-of-significance and non-convergence lines go to `screen`.
void MOSLOP(CatTab& ct, int& iter, CovMat& covmat, FitWork& w, LineSink& screen);

// For fixed A = PARM(1) and B = PARM(2): derivative by z of the log-likelihood
// of categories 1..k against k+1..K, divided by the normal density at z. Uses
// CUMNEG(k) and CUMPOS(k).
double HF(const CatTab& ct, int k, double z);

}  // namespace quelbro
