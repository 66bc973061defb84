// Trapezoidal area of categorized results (the Wilcoxon-Mann-Whitney statistic
// with ties counted one half) and its Hanley-McNeil standard error.
#include "fit/trarea.h"

#include <algorithm>
#include <cmath>

namespace quelbro {
namespace {

std::size_t ix(int i) { return static_cast<std::size_t>(i); }

// Category of a stored result, kept inside the count tables.
int categoryOf(float v) {
  if (!(v >= 1.0f)) return 1;
  if (v >= static_cast<float>(kMaxCategories)) return kMaxCategories;
  return static_cast<int>(v);
}

}  // namespace

CategoryCounts countCategories(const CatTab& ct, int treatment, const ResultTable& xneg,
                               const ResultTable& xpos) {
  CategoryCounts cc;
  if (treatment < 1 || treatment > kMaxTreatments) return cc;
  const int nneg = std::clamp(ct.NNEG, 0, kMaxCasesPerState);
  const int npos = std::clamp(ct.NPOS, 0, kMaxCasesPerState);
  for (int i = 1; i <= nneg; ++i) {
    const int g = categoryOf(xneg(treatment, i));
    cc.neg[ix(g)] += 1.0;
    cc.ncat = std::max(cc.ncat, g);
  }
  for (int j = 1; j <= npos; ++j) {
    const int g = categoryOf(xpos(treatment, j));
    cc.pos[ix(g)] += 1.0;
    cc.ncat = std::max(cc.ncat, g);
  }
  return cc;
}

void TRAREA(CatTab& ct, int treatment, int ileave, const ResultTable& xneg, const ResultTable& xpos,
            const CategoryCounts& full) {
  const int nneg = std::clamp(ct.NNEG, 0, kMaxCasesPerState);
  const int npos = std::clamp(ct.NPOS, 0, kMaxCasesPerState);
  const bool validTreatment = treatment >= 1 && treatment <= kMaxTreatments;
  std::array<double, kMaxCategories + 1> neg = full.neg;
  std::array<double, kMaxCategories + 1> pos = full.pos;
  double cN = nneg, cP = npos;
  if (ileave >= 1 && ileave <= nneg) {
    cN -= 1.0;
    if (validTreatment) neg[ix(categoryOf(xneg(treatment, ileave)))] -= 1.0;
  } else if (ileave > nneg && ileave <= nneg + npos) {
    cP -= 1.0;
    if (validTreatment) pos[ix(categoryOf(xpos(treatment, ileave - nneg)))] -= 1.0;
  }

  if (cN <= 0.0 || cP <= 0.0) {
    // No negative-positive pair is left: nothing is known about discrimination.
    ct.TRAPA = 0.5;
    ct.TRAPSE = 0.0;
    return;
  }

  // W = sum over categories k of (positives in k) x (negatives below k plus
  // half the negatives in k): the pairwise count with ties as halves. Every
  // term is a multiple of one half far below 2^53, so the sum is exact.
  double w = 0.0;
  double negBelow = 0.0;
  for (int k = 1; k <= kMaxCategories; ++k) {
    w += pos[ix(k)] * (negBelow + 0.5 * neg[ix(k)]);
    negBelow += neg[ix(k)];
  }

  const double a = w / (cN * cP);
  const double q1 = a / (2.0 - a);
  const double q2 = 2.0 * a * a / (1.0 + a);
  const double v = (a * (1.0 - a) + (cP - 1.0) * (q1 - a * a) + (cN - 1.0) * (q2 - a * a)) / (cN * cP);
  ct.TRAPA = a;
  ct.TRAPSE = std::sqrt(std::max(v, 0.0));
}

}  // namespace quelbro
