// Trapezoidal (Wilcoxon) area of categorized results and its standard error.
#pragma once

#include "fit/cattab.h"

namespace quelbro {

// Per-category counts of one treatment's categorized results on all cases.
struct CategoryCounts {
  int ncat = 0;
  std::array<double, kMaxCategories + 1> neg{};  // 1-based
  std::array<double, kMaxCategories + 1> pos{};  // 1-based
};

// Counts the categorized results of `treatment` (NNEG and NPOS cases of ct).
CategoryCounts countCategories(const CatTab& ct, int treatment, const ResultTable& xneg,
                               const ResultTable& xpos);

// Sets TRAPA and TRAPSE of `ct` for the case set with case `ileave` left out
// (0: none). NNEG and NPOS hold the full counts; `full` the full per-category
// counts, so each call costs O(NCAT). When the left-out case is the only one
// of its truth state no pair is left: TRAPA = 0.5 and TRAPSE = 0.
void TRAREA(CatTab& ct, int treatment, int ileave, const ResultTable& xneg, const ResultTable& xpos,
            const CategoryCounts& full);

}  // namespace quelbro
