// Working tables and helper routines of the categorization, visible to the
// tests of the run search, the thinning and the counting.
#pragma once

#include <array>

#include "fit/cattab.h"

namespace quelbro::catgrz_detail {

inline constexpr int kMaxBoundaries = kMaxCases - 1;

struct CaseEntry {
  double value = 0.0;
  double truth = 0.0;  // -1 actually negative, +1 actually positive
};

// The working tables of one categorization, all 1-based (slot 0 unused except
// q[0], the quantile below the first boundary). About 160 kB: fine on the stack.
struct CatWork {
  int n = 0;                                     // entries in the case list
  std::array<CaseEntry, kMaxCases + 1> cases{};  // case list 1..n
  std::array<double, kMaxBoundaries + 1> s{};    // position FPF + TPF of boundary b
  std::array<double, kMaxBoundaries + 1> c{};    // cut value of boundary b
  std::array<bool, kMaxBoundaries + 1> selected{};
  std::array<double, kMaxBoundaries + 1> q{};  // quantiles Q(0..NB)
};

// Sorts cases 1..n by value, ascending (ties in any order).
void SORT(int n, CatWork& w);

// Run search over the sorted case list; returns NB, 0 when no boundary exists.
int RANKS(CatWork& w, int nneg, int npos);

// Selects about `cuts` of the NB boundaries; returns the number selected.
int SETCUT(CatWork& w, int nb, int cuts);

// Selects one more boundary in the widest gap; false when none could be added.
bool INSERT(CatWork& w, int nb);

// Reverses the boundary positions (and, with `marksToo`, the selection marks)
// and maps each position S to 2 - S.
void mirrorBoundaries(CatWork& w, int nb, bool marksToo);

struct ThinPlan {
  bool thin = false;    // thinning needed at all
  int cuts = 0;         // cut-offs asked of SETCUT (9 or 19)
  bool mirror = false;  // selection starts from the (1,1) end
};
ThinPlan thinPlan(int nb, int nneg, int npos);

// Counts the n cases of one truth state per category and writes category
// numbers into the treatment's column of `table`.
void CONVRT(int n, ResultTable& table, int ncut, const std::array<double, kMaxCategories>& cuts,
            std::array<double, kMaxCategories + 1>& counts, int treatment);

}  // namespace quelbro::catgrz_detail
