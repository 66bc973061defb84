// Categorization of one treatment's results into truth-state runs, thinned to
// at most 20 categories, with the results replaced by category numbers.
#include "fit/catgrz.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "fit/catgrz_internal.h"
#include "stats/distributions.h"

namespace quelbro {
namespace catgrz_detail {
namespace {

constexpr int kNoState = 2;  // a run state that matches none of +1, -1, 0

std::size_t ix(int i) { return static_cast<std::size_t>(i); }

// Q(j) for j = 0..NB+1; the position beyond the last boundary counts as 0.
double qAt(const CatWork& w, int nb, int j) { return (j >= 0 && j <= nb) ? w.q[ix(j)] : 0.0; }

int clampCount(int n) { return std::clamp(n, 0, kMaxCasesPerState); }

}  // namespace

namespace {

// The order of the case list by radix: each entry's value (a float, as every
// result is), with -0 taken as +0, mapped to an unsigned key that ascends with
// it, then the truth (-1 below +1), then the entry's place in the list. These
// 45 bits are sorted by their three 11-bit digits above the place, lowest
// digit first, each pass keeping the order of equal digits; a bit above them
// keeps the sign of a zero, so that each entry comes back from its key as it was.
//
// The list comes out ordered by (value, truth) as the comparison below orders
// it; entries that compare equal there have the same truth and the same value
// up to the sign of a zero, and nothing after the sort can tell them apart:
// RANKS compares values with ==, and takes the mean of two values only where
// they differ, so at most one of them is a zero, whose sign cannot change the
// sum. Their order (here by place) is therefore not seen in any result.
// False, with the list untouched, when some entry has no such key: a NaN, a
// value that is no float, a truth other than -1 and +1.
bool radixSort(int n, CatWork& w) {
  constexpr int kPlaceBits = 12, kDigitBits = 11, kTruthBit = kPlaceBits, kNegativeZeroBit = 45;
  constexpr std::uint32_t kDigits = 1u << kDigitBits;
  static_assert(kMaxCases < (1 << kPlaceBits));
  std::array<std::uint64_t, kMaxCases> a, b;
  std::array<std::array<std::uint32_t, kDigits>, 3> count{};
  const double floatMax = std::numeric_limits<float>::max();
  for (int i = 0; i < n; ++i) {
    const CaseEntry& e = w.cases[ix(i + 1)];
    if (!(std::fabs(e.value) <= floatMax) || std::fabs(e.truth) != 1.0) return false;
    const float f = static_cast<float>(e.value);
    if (static_cast<double>(f) != e.value) return false;
    std::uint32_t u = std::bit_cast<std::uint32_t>(f == 0.0f ? 0.0f : f);
    u = (u & 0x80000000u) != 0 ? ~u : (u | 0x80000000u);
    const std::uint64_t key = (std::uint64_t{u} << (kTruthBit + 1)) |
                              (std::uint64_t{e.truth > 0.0} << kTruthBit) | ix(i) |
                              (std::uint64_t{f == 0.0f && std::signbit(f)} << kNegativeZeroBit);
    a[ix(i)] = key;
    for (int d = 0; d < 3; ++d) ++count[ix(d)][(key >> (kPlaceBits + kDigitBits * d)) & (kDigits - 1)];
  }
  std::uint64_t* from = a.data();
  std::uint64_t* to = b.data();
  for (int d = 0; d < 3; ++d) {
    std::array<std::uint32_t, kDigits>& c = count[ix(d)];
    std::uint32_t sum = 0;
    for (std::uint32_t& k : c) {
      const std::uint32_t here = k;
      k = sum;
      sum += here;
    }
    const int shift = kPlaceBits + kDigitBits * d;
    for (int i = 0; i < n; ++i) to[c[(from[i] >> shift) & (kDigits - 1)]++] = from[i];
    std::swap(from, to);
  }
  // `from` holds the sorted keys: each entry back from its key.
  for (int i = 0; i < n; ++i) {
    const std::uint64_t key = from[i];
    std::uint32_t u = static_cast<std::uint32_t>(key >> (kTruthBit + 1));
    u = (u & 0x80000000u) != 0 ? (u & 0x7fffffffu) : ~u;
    const double value = (key >> kNegativeZeroBit & 1u) != 0 ? -0.0 : std::bit_cast<float>(u);
    w.cases[ix(i + 1)] = {value, (key >> kTruthBit & 1u) != 0 ? 1.0 : -1.0};
  }
  return true;
}

}  // namespace

void SORT(int n, CatWork& w) {
  n = std::clamp(n, 0, kMaxCases);
  if (radixSort(n, w)) return;
  const auto first = w.cases.begin() + 1, last = w.cases.begin() + 1 + n;
  // Values first, then truth, so that equal inputs always give the same list.
  // Without a NaN among the values (the usual case, looked for first) the
  // plain order of the numbers is strict already.
  if (std::none_of(first, last, [](const CaseEntry& e) { return std::isnan(e.value); })) {
    std::sort(first, last, [](const CaseEntry& a, const CaseEntry& b) {
      return a.value < b.value || (a.value == b.value && a.truth < b.truth);
    });
    return;
  }
  // A NaN sorts below everything so the order stays strict.
  auto less = [](const CaseEntry& a, const CaseEntry& b) {
    const bool na = std::isnan(a.value), nbv = std::isnan(b.value);
    if (na != nbv) return na;
    if (!na && a.value != b.value) return a.value < b.value;
    return a.truth < b.truth;
  };
  std::sort(first, last, less);
}

int RANKS(CatWork& w, int nneg, int npos) {
  const int n = std::clamp(w.n, 0, kMaxCases);
  int negSeen = 0, posSeen = 0;
  double fpf = 0.0, tpf = 0.0;
  bool mixed = false;
  int cur = 0;
  int prev = kNoState;
  int nb = 1;
  w.s[1] = 0.0;  // S(1) = 0: nothing recorded yet
  w.c[1] = 0.0;
  std::fill(w.selected.begin(), w.selected.end(), false);

  for (int i = n; i >= 2; --i) {
    const CaseEntry& e = w.cases[ix(i)];
    const CaseEntry& below = w.cases[ix(i - 1)];
    if (e.truth > 0.0) {
      ++posSeen;
      tpf = npos > 0 ? static_cast<double>(posSeen) / npos : 0.0;
      cur = 1;
    } else {
      ++negSeen;
      fpf = nneg > 0 ? static_cast<double>(negSeen) / nneg : 0.0;
      cur = -1;
    }
    if (below.value == e.value) {
      if (below.truth != e.truth) {
        mixed = true;
        prev = kNoState;
      }
      continue;
    }
    if (mixed) cur = 0;
    if (fpf > 0.0 && tpf > 0.0 && cur != prev) {
      if (w.s[ix(nb)] != 0.0 && nb < kMaxBoundaries) ++nb;
      mixed = false;
    }
    prev = cur;
    // A later boundary of the same run overwrites the entry: each entry ends
    // up at the lower end of its run.
    w.s[ix(nb)] = fpf + tpf;
    w.c[ix(nb)] = (e.value + below.value) / 2.0;
    // One truth state exhausted: everything below is one last category.
    if (tpf > 0.9999 || fpf > 0.9999) break;
  }
  return w.s[1] == 0.0 ? 0 : nb;
}

int SETCUT(CatWork& w, int nb, int cuts) {
  nb = std::clamp(nb, 0, kMaxBoundaries);
  if (nb == 0 || cuts <= 0) return 0;
  const double s1 = w.s[1];
  const double snb = w.s[ix(nb)];

  // Positions onto a normal scale: the first boundary near Phi(-1.96), the
  // last near Phi(1.96), the chance diagonal (S = 1) at one half.
  for (int b = 1; b <= nb; ++b) {
    const double d = w.s[ix(b)] - 1.0;
    const double den = d <= 0.0 ? 1.0 - s1 : snb - 1.0;
    const double x = den != 0.0 ? 1.96 * d / den : 0.0;  // S(1) = 1 lies on the diagonal
    w.q[ix(b)] = Phi(x);
  }
  w.q[0] = s1 < 0.15 ? 0.0 : w.q[1];
  const double lo = w.q[0];
  const double hi = snb > 1.85 ? 1.0 : w.q[ix(nb)];

  int den = cuts;
  if (lo != 0.0 && hi != 1.0) den -= 1;
  if (lo == 0.0 && hi == 1.0) den += 1;
  if (den < 1) den = 1;
  const double step = (hi - lo) / den;
  const int m = lo == 0.0 ? cuts : cuts - 1;
  const double minSpacing = m > 0 ? step / m : step;

  int j = 1;
  double last = 0.0;
  int nsel = 0;
  for (int t = (lo == 0.0 ? 1 : 0); t <= m; ++t) {
    const double target = lo + t * step;
    while (j <= nb) {
      if (std::fabs(qAt(w, nb, j + 1) - target) < std::fabs(w.q[ix(j)] - target) ||
          w.q[ix(j)] - last < minSpacing) {
        ++j;
      } else {
        break;
      }
    }
    if (j > nb) break;
    if (!w.selected[ix(j)]) {
      w.selected[ix(j)] = true;
      ++nsel;
    }
    last = w.q[ix(j)];
  }

  int unselected = 0;
  for (int b = 1; b <= nb; ++b) unselected += w.selected[ix(b)] ? 0 : 1;
  const int missing = std::min(cuts - nsel, unselected);
  int inserted = 0;
  for (int k = 0; k < missing; ++k) {
    if (!INSERT(w, nb)) break;  // nothing left that INSERT could take
    ++inserted;
  }
  return nsel + inserted;
}

bool INSERT(CatWork& w, int nb) {
  nb = std::clamp(nb, 0, kMaxBoundaries);
  if (nb == 0) return false;
  int nsel = 0, nlow = 0;
  for (int b = 1; b <= nb; ++b) {
    if (!w.selected[ix(b)]) continue;
    ++nsel;
    if (w.s[ix(b)] < 1.0) ++nlow;
  }
  const bool down = nlow > nsel / 2;
  auto at = [&](int k) { return down ? nb + 1 - k : k; };  // k-th boundary in scan order

  int a = -1, b = -1;
  int lastSel = -1;
  for (int minDist : {2, 1}) {
    long long best = 0;
    int p = -1;
    for (int k = 1; k <= nb; ++k) {
      const int idx = at(k);
      if (!w.selected[ix(idx)]) continue;
      lastSel = idx;
      if (p < 0) {
        p = idx;
        continue;
      }
      const double x = std::fabs(w.q[ix(p)] - w.q[ix(idx)]) * 100000.0;
      long long gap = static_cast<long long>(x);
      if (x - static_cast<double>(gap) >= 0.5) ++gap;
      if (gap > best && std::abs(idx - p) > minDist) {
        best = gap;
        a = p;
        b = idx;
      }
      p = idx;
    }
    if (a >= 0) break;
  }
  if (a < 0) {
    // No gap between selected boundaries: the stretch from the last selected
    // boundary to the end of the scan (the whole table when none is selected).
    a = lastSel >= 0 ? lastSel : (down ? nb + 1 : 0);
    b = down ? 0 : nb + 1;
  }
  const int first = std::min(a, b) + 1;
  const int lastCand = std::max(a, b) - 1;
  if (first > lastCand) return false;

  const double qa = qAt(w, nb, a);
  const double qb = qAt(w, nb, b);
  int choice = (first + lastCand) / 2;
  double best = std::fabs(qa - qb);
  for (int m = first; m <= lastCand; ++m) {
    const double v = std::fabs(std::fabs(w.q[ix(m)] - qa) - std::fabs(w.q[ix(m)] - qb));
    if (v < best) {
      best = v;
      choice = m;
    }
  }
  if (w.selected[ix(choice)]) return false;
  w.selected[ix(choice)] = true;
  return true;
}

void mirrorBoundaries(CatWork& w, int nb, bool marksToo) {
  nb = std::clamp(nb, 0, kMaxBoundaries);
  std::reverse(w.s.begin() + 1, w.s.begin() + 1 + nb);
  for (int b = 1; b <= nb; ++b) w.s[ix(b)] = 2.0 - w.s[ix(b)];
  if (marksToo) std::reverse(w.selected.begin() + 1, w.selected.begin() + 1 + nb);
}

ThinPlan thinPlan(int nb, int nneg, int npos) {
  ThinPlan plan;
  const bool fewCases = nneg < 40 || npos < 40;
  plan.thin = nb >= 10 && (nb >= 20 || fewCases);
  if (!plan.thin) return plan;
  plan.cuts = fewCases ? 9 : 19;
  plan.mirror = nneg < npos - static_cast<int>(0.1 * (nneg + npos));
  return plan;
}

void CONVRT(int n, ResultTable& table, int ncut, const std::array<double, kMaxCategories>& cuts,
            std::array<double, kMaxCategories + 1>& counts, int treatment) {
  std::fill(counts.begin(), counts.end(), 0.0);
  n = clampCount(n);
  ncut = std::clamp(ncut, 0, kMaxCategories - 1);
  // The categorization's cut-offs ascend strictly: the category is found by
  // bisection (a NaN, below no cut-off, lands in category 1 as below).
  bool ascending = true;
  for (int j = 1; j < ncut; ++j) ascending = ascending && cuts[ix(j)] < cuts[ix(j + 1)];
  if (ascending) {
    const double* lo = cuts.data() + 1;
    for (int i = 1; i <= n; ++i) {
      const double v = table(treatment, i);
      const int cat = static_cast<int>(std::lower_bound(lo, lo + ncut, v) - lo) + 1;
      counts[ix(cat)] += 1.0;
      table(treatment, i) = static_cast<float>(cat);
    }
    return;
  }
  for (int i = 1; i <= n; ++i) {
    const double v = table(treatment, i);
    int cat = 1;
    if (ncut > 0 && !(v <= cuts[1])) {
      if (v > cuts[ix(ncut)]) cat = ncut + 1;
      for (int j = 1; j <= ncut - 1; ++j) {
        if (cuts[ix(j)] < v && v <= cuts[ix(j + 1)]) {
          cat = j + 1;
          break;
        }
      }
    }
    counts[ix(cat)] += 1.0;
    table(treatment, i) = static_cast<float>(cat);
  }
}

}  // namespace catgrz_detail

void CATGRZ(CatTab& ct, int treatment, int ileave, ResultTable& xneg, ResultTable& xpos, int idir) {
  using namespace catgrz_detail;
  ct.CUTS.fill(0.0);
  ct.CNEG.fill(0.0);
  ct.CPOS.fill(0.0);
  ct.NCAT = 1;
  ct.KHIGH = 1;
  if (treatment < 1 || treatment > kMaxTreatments) return;
  const int nneg = clampCount(ct.NNEG);
  const int npos = clampCount(ct.NPOS);
  const bool smallerAbnormal = idir == -1;

  if (smallerAbnormal && ileave == 0) {
    for (int i = 1; i <= nneg; ++i) xneg(treatment, i) = -xneg(treatment, i);
    for (int i = 1; i <= npos; ++i) xpos(treatment, i) = -xpos(treatment, i);
  }

  CatWork w;
  int kneg = 0, kpos = 0;
  for (int i = 1; i <= nneg; ++i) {
    if (i == ileave) continue;
    w.cases[ix(++w.n)] = {static_cast<double>(xneg(treatment, i)), -1.0};
    ++kneg;
  }
  for (int i = 1; i <= npos; ++i) {
    if (nneg + i == ileave) continue;
    w.cases[ix(++w.n)] = {static_cast<double>(xpos(treatment, i)), 1.0};
    ++kpos;
  }

  SORT(w.n, w);
  const int nb = RANKS(w, kneg, kpos);
  const ThinPlan plan = thinPlan(nb, kneg, kpos);
  if (plan.thin) {
    if (plan.mirror) mirrorBoundaries(w, nb, false);
    SETCUT(w, nb, plan.cuts);
    if (plan.mirror) mirrorBoundaries(w, nb, true);
  } else {
    for (int b = 1; b <= nb; ++b) w.selected[ix(b)] = true;
  }

  // Boundary 1 lies at the highest results: walking down the table gives the
  // cut-offs in ascending order.
  int ncut = 0;
  for (int b = nb; b >= 1 && ncut < kMaxCategories - 1; --b) {
    if (w.selected[ix(b)]) ct.CUTS[ix(++ncut)] = w.c[ix(b)];
  }
  ct.NCAT = ncut + 1;

  CONVRT(nneg, xneg, ncut, ct.CUTS, ct.CNEG, treatment);
  CONVRT(npos, xpos, ncut, ct.CUTS, ct.CPOS, treatment);
  // A left-out case gets its category number but is not counted.
  if (ileave >= 1 && ileave <= nneg) {
    ct.CNEG[ix(static_cast<int>(xneg(treatment, ileave)))] -= 1.0;
  } else if (ileave > nneg && ileave <= nneg + npos) {
    ct.CPOS[ix(static_cast<int>(xpos(treatment, ileave - nneg)))] -= 1.0;
  }

  ct.KHIGH = ct.NCAT;
  if (smallerAbnormal) {
    ct.KHIGH = 1;
    for (int k = 1; k <= ncut; ++k) ct.CUTS[ix(k)] = -ct.CUTS[ix(k)];
  }
}

}  // namespace quelbro
