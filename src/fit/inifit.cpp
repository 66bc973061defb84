// Initial estimates of a binormal fit: a least-squares line on normal-deviate
// axes for A and B, and per cut-off the root of the single-cut-off score HF.
#include "fit/inifit.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "fit/moslop.h"
#include "stats/distributions.h"

namespace quelbro {
namespace {

constexpr double kSignificanceStep = 0.1;  // outer cut-off search step
constexpr int kMaxOuterSteps = 400;        // 40 standard deviations
constexpr int kMaxWidenSteps = 1000;       // bracket grows by 2 at most
constexpr int kMaxBisectSteps = 200;
constexpr double kZLimit = 20.0;  // beyond this HF's exponentials lose all meaning

void significanceError(LineSink& screen) { screen.writeLine("Significance error HF"); }

// A starting cut-off that can be evaluated: infinite deviates (a fraction of 0
// or 1) are pulled in to kZLimit; a NaN takes the fallback.
double usableZ(double z, double fallback) {
  if (std::isnan(z)) return fallback;
  return std::clamp(z, -kZLimit, kZLimit);
}

// Deviates of one coordinate of the interior operating points, with 0 and 1
// moved in by half a case and equal deviates separated by 0.1.
void deviates(std::array<double, kMaxCategories>& v, int m, int n) {
  const double half = 1.0 / (2.0 * n);
  for (int i = 1; i <= m; ++i) {
    if (v[i] == 0.0) v[i] = half;
    if (std::fabs(v[i] - 1.0) < 0.00001) v[i] = 1.0 - half;
    v[i] = PhiInv(v[i]);
  }
  for (int i = m - 1; i >= 1; --i)
    if (v[i] <= v[i + 1]) v[i] = v[i + 1] + 0.1;
}

}  // namespace

void INIFIT(CatTab& ct) {
  const int k = std::clamp(ct.NCAT, 1, kMaxCategories);
  const int m = k - 1;
  std::array<double, kMaxCategories> x{};
  std::array<double, kMaxCategories> y{};
  for (int i = 1; i <= m; ++i) {
    x[i] = ct.FPF[i + 1];
    y[i] = ct.TPF[i + 1];
  }
  deviates(x, m, ct.NNEG);
  deviates(y, m, ct.NPOS);

  double sx = 0.0, sy = 0.0, sxy = 0.0, sxx = 0.0;
  for (int i = 1; i <= m; ++i) {
    sx += x[i];
    sy += y[i];
    sxy += x[i] * y[i];
    sxx += x[i] * x[i];
  }
  double a = 0.0, b = 1.0;
  const double den = m * sxx - sx * sx;
  if (m >= 2 && den != 0.0 && std::isfinite(den)) {
    b = (m * sxy - sx * sy) / den;
    a = sy / m - b * sx / m;
  } else if (m >= 1) {
    // One point fixes no slope: take the unit-slope line through it.
    a = (sy - sx) / m;
  }
  ct.PARM.fill(0.0);
  ct.PARM[1] = a;
  ct.PARM[2] = b;
  for (int i = 1; i <= m; ++i) ct.PARM[i + 2] = -x[i];
}

double BISECT(const CatTab& ct, double& lo, double& hi, int k) {
  return BISECT(ct, lo, hi, k, HF(ct, k, lo));
}

double BISECT(const CatTab& ct, double& lo, double& hi, int k, double flo) {
  // HF(lo) is carried along: lo only ever moves to a point just evaluated.
  for (int n = 0; n < kMaxBisectSteps; ++n) {
    const double mid = (lo + hi) * 0.5;
    const double fmid = HF(ct, k, mid);
    const double p = fmid * flo;
    if (p < 0.0) {
      hi = mid;
    } else if (p == 0.0) {
      return mid;
    } else if (p > 0.0) {
      lo = mid;
      flo = fmid;
    } else {
      return mid;  // NaN: no sign to follow
    }
    if (!(std::fabs(hi - lo) >= 0.001)) break;
  }
  return (hi + lo) * 0.5;
}

void CUTOFF(CatTab& ct, double a, double b, LineSink& screen) {
  const int k = std::clamp(ct.NCAT, 1, kMaxCategories);
  ct.CUMNEG.fill(0.0);
  ct.CUMPOS.fill(0.0);
  ct.CUMNEG[1] = ct.CNEG[1];
  ct.CUMPOS[1] = ct.CPOS[1];
  for (int c = 2; c <= k; ++c) {
    ct.CUMNEG[c] = ct.CUMNEG[c - 1] + ct.CNEG[c];
    ct.CUMPOS[c] = ct.CUMPOS[c - 1] + ct.CPOS[c];
  }
  // A single cut-off has no neighbour to start its search from: it keeps its
  // initial value.
  if (k < 3) return;
  const double tn = ct.CUMNEG[k];
  const double ts = ct.CUMPOS[k];
  auto zc = [&](int c) -> double& { return ct.PARM[c + 2]; };

  // Inner cut-offs: the root lies between the best cut-off for the negative
  // cases alone and that for the positive cases alone.
  for (int c = 2; c <= k - 2; ++c) {
    const double start = usableZ(zc(c), 0.0);
    const double zn = usableZ(PhiInv(ct.CUMNEG[c] / tn), start);
    const double zs = usableZ((a + PhiInv(ct.CUMPOS[c] / ts)) / b, zn);
    if (zn == zs) {
      zc(c) = zn;
      continue;
    }
    double lo = std::min(zn, zs);
    double hi = std::max(zn, zs);
    bool bracketed = false;
    double flo = 0.0;
    for (int n = 0; n <= kMaxWidenSteps; ++n) {
      flo = HF(ct, c, lo);
      const double p = flo * HF(ct, c, hi);
      if (p < 0.0) {
        bracketed = true;
        break;
      }
      if (std::isnan(p)) break;
      lo -= 0.001;
      hi += 0.001;
    }
    if (bracketed) {
      zc(c) = BISECT(ct, lo, hi, c, flo);
    } else {
      significanceError(screen);
      zc(c) = (zn + zs) * 0.5;
    }
  }

  // Lowest cut-off: step down from Z(2) until HF changes sign.
  {
    double hi = usableZ(zc(2), 0.0);
    const double fhi = HF(ct, 1, hi);
    double t = hi;
    bool done = false;
    for (int n = 0; n < kMaxOuterSteps && !done; ++n) {
      const double next = t - kSignificanceStep;
      if (next == t) break;
      t = next;
      const double ft = HF(ct, 1, t);
      const double p = ft * fhi;
      if (p < 0.0) {
        zc(1) = BISECT(ct, t, hi, 1, ft);
        done = true;
      } else if (p == 0.0) {
        zc(1) = t;
        done = true;
      } else if (std::isnan(p)) {
        break;
      }
    }
    if (!done) {
      significanceError(screen);
      zc(1) = t;
    }
  }

  // Highest cut-off: step up from Z(K-2) until HF changes sign.
  {
    double lo = usableZ(zc(k - 2), 0.0);
    const double flo = HF(ct, k - 1, lo);
    double t = lo;
    bool done = false;
    for (int n = 0; n < kMaxOuterSteps && !done; ++n) {
      const double next = t + kSignificanceStep;
      if (next == t) break;
      t = next;
      const double p = HF(ct, k - 1, t) * flo;
      if (p < 0.0) {
        zc(k - 1) = BISECT(ct, lo, t, k - 1, flo);
        done = true;
      } else if (p == 0.0) {
        zc(k - 1) = t;
        done = true;
      } else if (std::isnan(p)) {
        break;
      }
    }
    if (!done) {
      significanceError(screen);
      zc(k - 1) = t;
    }
  }
}

}  // namespace quelbro
