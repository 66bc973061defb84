// Maximum-likelihood fit of the binormal ROC model to category counts: Fisher
// scoring with step halving on the expected information of the category counts.
#include "fit/moslop.h"

#include <algorithm>
#include <cmath>

#include "console/fields.h"
#include "fit/spdinv.h"
#include "fit/wide_clones.h"
#include "stats/batch_math.h"
#include "stats/distributions.h"

namespace quelbro {
namespace {

constexpr double kProbFloor = 5e-8;
constexpr double kInvTol = 0.001;
constexpr double kConvCrit = 0.001;
constexpr double kSqrt2Pi = 2.506628275;

int categories(const CatTab& ct) { return std::clamp(ct.NCAT, 1, kMaxCategories); }

// A category probability below the floor (or a NaN from broken parameters) is
// raised to the floor, so every logarithm and quotient stays finite.
inline double floored(double p) { return p >= kProbFloor ? p : kProbFloor; }

}  // namespace

QUELBRO_WIDE_CLONES void TERMS(const CatTab& ct, FitWork& w) {
  const int k = categories(ct);
  const double a = ct.PARM[1];
  const double b = ct.PARM[2];
  // The line search calls this for every trial point: the ends are set and
  // the slots past K + 1 cleared one by one instead of clearing every array.
  w.CDFPOS[0] = w.PDFPOS[0] = w.CDFNEG[0] = w.PDFNEG[0] = w.PRPOS[0] = w.PRNEG[0] = 0.0;
  w.CDFPOS[1] = w.PDFPOS[1] = w.CDFNEG[1] = w.PDFNEG[1] = 0.0;
  w.CDFPOS[k + 1] = w.CDFNEG[k + 1] = 1.0;
  w.PDFPOS[k + 1] = w.PDFNEG[k + 1] = 0.0;
  // (Tested first: at the most categories there is nothing to clear.)
  if (k < kMaxCategories) {
    for (int i = k + 2; i <= kMaxCategories + 1; ++i)
      w.CDFPOS[i] = w.PDFPOS[i] = w.CDFNEG[i] = w.PDFNEG[i] = 0.0;
    for (int c = k + 1; c <= kMaxCategories; ++c) w.PRPOS[c] = w.PRNEG[c] = 0.0;
  }
  // PNORM at the boundaries, step by step over all of them (see PNORM): the
  // same values as one PNORM call per boundary, with the work of several
  // boundaries in flight at once.
  std::array<double, kMaxCategories + 1> xpos, tpos, tneg;
  for (int i = 2; i <= k; ++i) {
    xpos[i] = b * ct.PARM[i + 1] - a;
    tpos[i] = pnormT(xpos[i]);
    tneg[i] = pnormT(ct.PARM[i + 1]);
  }
  // The densities (see pnormDensity): the exponents of both truth states' boundaries, positive
  // boundaries first, replaced by their exponentials in one call.
  const int nb = k - 1;
  std::array<double, 2 * kMaxCategories> ex;
  for (int i = 2; i <= k; ++i) {
    ex[i - 2] = pnormExponent(xpos[i]);
    ex[nb + i - 2] = pnormExponent(ct.PARM[i + 1]);
  }
  expMany(ex.data(), ex.data(), 2 * nb);
  for (int i = 2; i <= k; ++i) {
    w.PDFPOS[i] = pnormDensityFrom(xpos[i], ex[i - 2]);
    w.PDFNEG[i] = pnormDensityFrom(ct.PARM[i + 1], ex[nb + i - 2]);
  }
  for (int i = 2; i <= k; ++i) {
    w.CDFPOS[i] = pnormProbability(xpos[i], tpos[i], w.PDFPOS[i]);
    w.CDFNEG[i] = pnormProbability(ct.PARM[i + 1], tneg[i], w.PDFNEG[i]);
  }
  // The logarithms first, all in one call (negative states' categories, then positive ones'),
  // then their sum in the order of the categories. An empty category adds nothing (every
  // probability is at least 5e-8); its logarithm is taken with the others but not used.
  std::array<double, 2 * kMaxCategories> lg;
  for (int c = 1; c <= k; ++c) {
    w.PRPOS[c] = floored(w.CDFPOS[c + 1] - w.CDFPOS[c]);
    w.PRNEG[c] = floored(w.CDFNEG[c + 1] - w.CDFNEG[c]);
    lg[c - 1] = w.PRNEG[c];
    lg[k + c - 1] = w.PRPOS[c];
  }
  logMany(lg.data(), lg.data(), 2 * k);
  double logl = 0.0;
  for (int c = 1; c <= k; ++c) {
    const double ln = ct.CNEG[c] != 0.0 ? ct.CNEG[c] * lg[c - 1] : 0.0;
    const double lp = ct.CPOS[c] != 0.0 ? ct.CPOS[c] * lg[k + c - 1] : 0.0;
    logl += ln + lp;
  }
  w.LOGL = logl;
}

QUELBRO_WIDE_CLONES void PDEV(const CatTab& ct, FitWork& w) {
  const int k = categories(ct);
  const double b = ct.PARM[2];
  const double n1 = ct.NPOS;
  const double n0 = ct.NNEG;
  // Finite cut-offs Z(1..K-1); the infinite ones Z(0) and Z(K) only ever meet
  // a zero density, so their products are taken as 0.
  auto z = [&](int j) { return (j >= 1 && j <= k - 1) ? ct.PARM[j + 2] : 0.0; };
  const auto& pp = w.PDFPOS;
  const auto& pn = w.PDFNEG;
  const auto& prp = w.PRPOS;
  const auto& prn = w.PRNEG;

  for (auto& row : w.HESS) row.fill(0.0);
  w.GRAD.fill(0.0);

  double g1 = 0.0, g2 = 0.0, h11 = 0.0, h22 = 0.0, h12 = 0.0;
  // Each quotient of category i - 1 below is the one of category i in the
  // step before: it is carried over, not divided again.
  double qp = ct.CPOS[1] / prp[1], qn = ct.CNEG[1] / prn[1];
  double ua = (pp[2] - pp[1]) / prp[1];
  double ub = (pp[2] * z(1) - pp[1] * z(0)) / prp[1];
  double ip = 1.0 / prp[1], in = 1.0 / prn[1];
  for (int i = 2; i <= k; ++i) {
    const double qpi = ct.CPOS[i] / prp[i], qni = ct.CNEG[i] / prn[i];
    const double uai = (pp[i + 1] - pp[i]) / prp[i];
    const double ubi = (pp[i + 1] * z(i) - pp[i] * z(i - 1)) / prp[i];
    const double ipi = 1.0 / prp[i], ini = 1.0 / prn[i];
    const double rp = qp - qpi;
    const double rn = qn - qni;
    const double ea = ua - uai;
    const double eb = ub - ubi;
    g1 -= pp[i] * rp;
    g2 += pp[i] * z(i - 1) * rp;
    w.GRAD[i + 1] = b * pp[i] * rp + pn[i] * rn;
    h11 += pp[i] * ea;
    h22 += pp[i] * z(i - 1) * eb;
    h12 += pp[i] * z(i - 1) * ea;
    w.HESS[1][i + 1] = w.HESS[i + 1][1] = n1 * b * pp[i] * ea;
    w.HESS[2][i + 1] = w.HESS[i + 1][2] = -n1 * b * pp[i] * eb;
    w.HESS[i + 1][i + 1] = -(n1 * (b * pp[i]) * (b * pp[i]) * (ip + ipi) + n0 * pn[i] * pn[i] * (in + ini));
    if (i <= k - 1) {
      w.HESS[i + 1][i + 2] = w.HESS[i + 2][i + 1] =
          n1 * b * b * pp[i] * pp[i + 1] / prp[i] + n0 * pn[i] * pn[i + 1] / prn[i];
    }
    qp = qpi, qn = qni, ua = uai, ub = ubi, ip = ipi, in = ini;
  }
  w.GRAD[1] = g1;
  w.GRAD[2] = g2;
  w.HESS[1][1] = -n1 * h11;
  w.HESS[2][2] = -n1 * h22;
  w.HESS[1][2] = w.HESS[2][1] = n1 * h12;
}

void MOSLOP(CatTab& ct, int& iter, CovMat& covmat, FitWork& w, LineSink& screen) {
  const int k = categories(ct);
  const int npar = k + 1;
  const int ncut = k - 1;
  double step = 1.0;
  double crit = 1.0;
  double llold = 0.0;
  bool conv = false;
  // Scoring direction in parameter order (DA, DB, DZ(1..)). Before any
  // direction exists it is zero, so a retreat on the first pass stays put.
  std::array<double, kMaxParams + 1> delta{};
  w.LOGL = 0.0;
  iter = 0;
  for (auto& row : covmat) row.fill(0.0);

  // A pass that detects convergence starts one more pass without the pass
  // limit test; that pass ends the fit at the latest at pass limit + 2.
  while (iter <= kMaxPasses + 1) {
    ++iter;
    // Every pass after the first begins where the line search of the pass
    // before ended, and that search's last step already evaluated TERMS
    // there: the probabilities and LOGL are those of the current PARM.
    if (iter == 1) TERMS(ct, w);
    PDEV(ct, w);
    if (iter == 1) llold = w.LOGL;

    // Expected information (the negated leading block), inverted. Only the
    // upper triangle is read; outside the block the covariance stays 0.
    SquareMatrix& info = w.info;
    for (int i = 1; i <= npar; ++i)
      for (int j = i; j <= npar; ++j) info[i][j] = -w.HESS[i][j];
    int ier = 0;
    SPDINV(info, npar, kInvTol, ier);

    if (ier < 0) {
      // Not positive definite: no new direction; retreat along the last one.
      step = -std::fabs(step) * 0.5;
    } else {
      if (ier > 0) screen.writeLine(Line().t(" LOSS OF SIGNIFICANCE.  STEP ").i(ier, 5).t("+1").str());
      for (int i = 1; i <= npar; ++i) {
        covmat[i][i] = info[i][i];
        for (int j = i + 1; j <= npar; ++j) covmat[i][j] = covmat[j][i] = info[i][j];
      }
      if (conv || k < 4) return;
      for (int i = 1; i <= npar; ++i) {
        double s = 0.0;
        for (int j = 1; j <= npar; ++j) s += covmat[i][j] * w.GRAD[j];
        delta[i] = s;
      }
      step = 1.0;
    }

    // Line search: full step, then back to 1/2, 1/4, ... of the direction
    // while the log-likelihood has fallen noticeably (at most ~21 trials).
    bool restart = false;
    for (int trial = 0; trial < 64; ++trial) {
      ct.PARM[1] += step * delta[1];
      ct.PARM[2] += step * delta[2];
      for (int i = 1; i <= ncut; ++i) ct.PARM[i + 2] += step * delta[i + 2];
      if (step == 1.0) llold = w.LOGL;
      TERMS(ct, w);
      if (step == 1.0 && iter != 1) {
        double s = 0.0;
        for (int j = 1; j <= npar; ++j) s += std::fabs(delta[j]);
        crit = 6.0 * s / (k + 1);
        if (crit <= kConvCrit) {
          conv = true;
          restart = true;
          break;
        }
      }
      if (w.LOGL >= llold) break;
      const double r = std::fabs((w.LOGL - llold) / crit);
      if (std::fabs(step) > 1e-6 && r > 1e-5) {
        step = -std::fabs(step) * 0.5;
        continue;
      }
      break;
    }
    if (restart) continue;
    if (iter > kMaxPasses) break;
  }
  screen.writeLine(Line().x(10).t("DOES NOT CONVERGE -- 100 ITERATIONS").str());
}

double HF(const CatTab& ct, int k, double z) {
  if (k < 1 || k > kMaxCategories - 1) return 0.0;
  const double n0 = ct.NNEG;
  const double n1 = ct.NPOS;
  const double cn = ct.CUMNEG[k];
  const double cs = ct.CUMPOS[k];
  const double a = ct.PARM[1];
  const double b = ct.PARM[2];
  const double z2 = z * z;

  // Beyond five standard deviations the tail probability is replaced by
  // phi(t) (t^2 - 1) / |t|^3 and the opposite probability by 1.
  double t1;
  if (z < -5.0) {
    t1 = -(z2 * z * kSqrt2Pi * std::exp(z2 / 2.0) * cn / (z2 - 1.0) + n0 - cn);
  } else if (z <= 5.0) {
    const double p = Phi(z);
    t1 = cn / p - (n0 - cn) / (1.0 - p);
  } else {
    t1 = cn - (n0 - cn) * z2 * z * kSqrt2Pi * std::exp(z2 / 2.0) / (z2 - 1.0);
  }

  const double w = b * z - a;
  const double w2 = w * w;
  double t2;
  if (w < -5.0) {
    t2 = -b * std::exp(z2 / 2.0) * (kSqrt2Pi * w2 * w * cs / (w2 - 1.0) + std::exp(-w2 / 2.0) * (n1 - cs));
  } else if (w <= 5.0) {
    const double p = Phi(w);
    t2 =
        b * std::exp(((1.0 - b * b) * z2 + 2.0 * a * b * z - a * a) / 2.0) * (cs / p - (n1 - cs) / (1.0 - p));
  } else {
    t2 = b * std::exp(z2 / 2.0) * (cs * std::exp(-w2 / 2.0) - kSqrt2Pi * (n1 - cs) * w2 * w / (w2 - 1.0));
  }
  return t1 + t2;
}

}  // namespace quelbro
