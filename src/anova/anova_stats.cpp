// The numbers of the multireader analysis: feasible-space constraint, sums of
// squares of the treatment x reader x case design, F tests and intervals.
#include <cmath>
#include <limits>

#include "anova/anova_detail.h"
#include "stats/distributions.h"
#include "console/fields.h"

namespace quelbro {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isProbability(double p) { return p >= 0.0 && p <= 1.0; }

}  // namespace

void constrainToFeasible(PvTable& pv, int R, int T, int C, ConstraintList& list) {
  list = ConstraintList{};
  // A clamped cell's mean lies in [0, 1], so each cell is clamped at most once
  // and R*T + 1 scans always end the loop.
  for (int scan = 0; scan <= R * T; ++scan) {
    bool clamped = false;
    for (int r = 1; r <= R && !clamped; ++r) {
      for (int t = 1; t <= T && !clamped; ++t) {
        double sum = 0.0;
        for (int c = 1; c <= C; ++c) sum += pv(r, t, c);
        const double mean = sum / C;
        if (!(mean > 1.0 || mean < 0.0)) continue;
        if (list.count < static_cast<int>(list.cells.size())) {
          list.cells[static_cast<std::size_t>(list.count)] = ConstrainedCell{t, r};
          ++list.count;
        }
        list.flag = 1;
        for (int c = 1; c <= C; ++c) {
          double& y = pv(r, t, c);
          if (y > 1.0) y = 1.0;
          if (y < 0.0) y = 0.0;
        }
        clamped = true;
      }
    }
    if (!clamped) return;
  }
}

void computeAnovaStats(const PvTable& pv, int R, int T, int C, AnovaStats& st) {
  st = AnovaStats{};
  st.R = R;
  st.T = T;
  st.C = C;
  const double dR = R, dT = T, dC = C;

  double cellSum[11][6] = {};
  double sumSq = 0.0;
  double trtSumSq[6] = {};
  for (int r = 1; r <= R; ++r) {
    for (int t = 1; t <= T; ++t) {
      double s = 0.0, q = 0.0;
      for (int c = 1; c <= C; ++c) {
        const double y = pv(r, t, c);
        s += y;
        q += y * y;
      }
      cellSum[r][t] = s;
      st.cellMean[r][t] = s / dC;
      trtSumSq[t] += q;
      sumSq += q;
    }
  }
  double grand = 0.0;
  double trtSum[6] = {};
  for (int r = 1; r <= R; ++r) {
    double s = 0.0;
    for (int t = 1; t <= T; ++t) {
      s += cellSum[r][t];
      trtSum[t] += cellSum[r][t];
    }
    st.readerMean[r] = s / (dT * dC);
    grand += s;
  }
  for (int t = 1; t <= T; ++t) st.trtMean[t] = trtSum[t] / (dR * dC);
  const double G = grand / (dT * dR * dC);
  st.grandMean = G;

  double ssR = 0.0, ssT = 0.0, ssTR = 0.0;
  for (int r = 1; r <= R; ++r) ssR += (st.readerMean[r] - G) * (st.readerMean[r] - G);
  for (int t = 1; t <= T; ++t) ssT += (st.trtMean[t] - G) * (st.trtMean[t] - G);
  for (int r = 1; r <= R; ++r) {
    for (int t = 1; t <= T; ++t) {
      const double d = st.cellMean[r][t] - st.readerMean[r] - st.trtMean[t] + G;
      ssTR += d * d;
    }
  }

  // The case-indexed means are needed one case at a time only.
  double ssC = 0.0, ssTC = 0.0, ssRC = 0.0;
  double caseSumSq[6] = {};
  for (int c = 1; c <= C; ++c) {
    double tcSum[6] = {};
    double rcSum[11] = {};
    double all = 0.0;
    for (int r = 1; r <= R; ++r) {
      for (int t = 1; t <= T; ++t) {
        const double y = pv(r, t, c);
        tcSum[t] += y;
        rcSum[r] += y;
        all += y;
      }
    }
    const double caseMean = all / (dR * dT);
    ssC += (caseMean - G) * (caseMean - G);
    for (int t = 1; t <= T; ++t) {
      const double d = tcSum[t] / dR - caseMean - st.trtMean[t] + G;
      ssTC += d * d;
      caseSumSq[t] += tcSum[t] * tcSum[t];
    }
    for (int r = 1; r <= R; ++r) {
      const double d = rcSum[r] / dT - caseMean - st.readerMean[r] + G;
      ssRC += d * d;
    }
  }

  st.ss[kSrcR] = dT * dC * ssR;
  st.ss[kSrcT] = dR * dC * ssT;
  st.ss[kSrcC] = dT * dR * ssC;
  st.ss[kSrcTR] = dC * ssTR;
  st.ss[kSrcTC] = dR * ssTC;
  st.ss[kSrcRC] = dT * ssRC;
  st.ss[kSrcTOT] = sumSq - dT * dR * dC * G * G;
  st.ss[kSrcTRC] = st.ss[kSrcTOT] - st.ss[kSrcR] - st.ss[kSrcC] - st.ss[kSrcT] - st.ss[kSrcTC] -
                   st.ss[kSrcRC] - st.ss[kSrcTR];

  st.df[kSrcT] = dT - 1.0;
  st.df[kSrcR] = dR - 1.0;
  st.df[kSrcC] = dC - 1.0;
  st.df[kSrcTR] = (dT - 1.0) * (dR - 1.0);
  st.df[kSrcTC] = (dT - 1.0) * (dC - 1.0);
  st.df[kSrcRC] = (dR - 1.0) * (dC - 1.0);
  st.df[kSrcTRC] = (dT - 1.0) * (dR - 1.0) * (dC - 1.0);
  st.df[kSrcTOT] = dT * dR * dC - 1.0;
  for (int s = kSrcT; s <= kSrcTRC; ++s) st.ms[s] = st.ss[s] / st.df[s];

  // Readers-by-cases analysis of each treatment from its raw sums.
  for (int t = 1; t <= T; ++t) {
    const double k = trtSum[t] * trtSum[t] / (dR * dC);
    const double total = trtSumSq[t] - k;
    double readerSq = 0.0;
    for (int r = 1; r <= R; ++r) readerSq += cellSum[r][t] * cellSum[r][t];
    const double ssRt = readerSq / dC - k;
    const double ssCt = caseSumSq[t] / dR - k;
    st.msR[t] = ssRt / (dR - 1.0);
    st.msC[t] = ssCt / (dC - 1.0);
    st.msRC[t] = (total - ssRt - ssCt) / ((dR - 1.0) * (dC - 1.0));
  }
}

double fProbability(double f, double d1, double d2) {
  double p, d;
  int status;
  BETAP(d2 / (f * d1 + d2), d2 / 2.0, d1 / 2.0, p, d, status);
  return isProbability(p) ? p : kNaN;
}

void runTests(const AnovaStats& st, AnovaTests& tests) {
  tests = AnovaTests{};
  const double* ms = st.ms;
  const double* df = st.df;
  auto test = [&](Source s, double errMs, double d2) {
    tests.f[s] = ms[s] / errMs;
    tests.p[s] = fProbability(tests.f[s], df[s], d2);
  };
  test(kSrcC, ms[kSrcRC], df[kSrcRC]);
  test(kSrcR, ms[kSrcRC], df[kSrcRC]);
  test(kSrcTC, ms[kSrcTRC], df[kSrcTRC]);
  test(kSrcRC, ms[kSrcTRC], df[kSrcTRC]);
  test(kSrcTR, ms[kSrcTRC], df[kSrcTRC]);

  // An undefined ratio (0/0) is no evidence of an interaction: it counts as
  // not exceeding 1.
  const bool trLarge = tests.f[kSrcTR] > 1.0;
  const bool tcLarge = tests.f[kSrcTC] > 1.0;
  tests.nottrc = trLarge || tcLarge;
  tests.nu = kNaN;
  if (!trLarge && !tcLarge) {
    tests.icase = 1;
    tests.errMsT = ms[kSrcTRC];
    tests.d2T = df[kSrcTRC];
  } else if (trLarge && !tcLarge) {
    tests.icase = 2;
    tests.errMsT = ms[kSrcTR];
    tests.d2T = df[kSrcTR];
  } else if (!trLarge && tcLarge) {
    tests.icase = 3;
    tests.errMsT = ms[kSrcTC];
    tests.d2T = df[kSrcTC];
  } else {
    tests.icase = 4;
    tests.e = ms[kSrcTR] + ms[kSrcTC] - ms[kSrcTRC];
    const double nu = tests.e * tests.e /
                      (ms[kSrcTRC] * ms[kSrcTRC] / df[kSrcTRC] + ms[kSrcTC] * ms[kSrcTC] / df[kSrcTC] +
                       ms[kSrcTR] * ms[kSrcTR] / df[kSrcTR]);
    // Below one df the F distribution is not defined here: undefined.
    tests.nu = nu >= 1.0 ? nu : kNaN;
    tests.errMsT = tests.e;
    tests.d2T = tests.nu;
  }
  tests.f[kSrcT] = ms[kSrcT] / tests.errMsT;
  tests.p[kSrcT] = std::isnan(tests.d2T) ? kNaN : fProbability(tests.f[kSrcT], df[kSrcT], tests.d2T);

  // Every tested source: T, R, C and the three two-way interactions.
  for (int s = kSrcT; s <= kSrcRC; ++s) tests.sig[s] = isProbability(tests.p[s]) && tests.p[s] <= 0.05;
  if (tests.nottrc) tests.sig[kSrcRC] = false;  // reader x case is then not tested
}

std::string satterthwaiteVerdict(double p) {
  const char* kSignificant = "     SIGNIFICANT AT ALPHA =";
  std::string line(kSignificant);
  if (!isProbability(p) || p > 0.05) return "     NOT SIGNIFICANT.";
  const double level = p < 0.001 ? 0.001 : (p <= 0.01 ? 0.010 : 0.050);
  line += F(level, 5, 3);
  line += " LEVEL.";
  return line;
}

double tcritOfDf(double df) {
  if (!std::isfinite(df)) return kNaN;
  const double n = std::round(df);  // halves away from zero
  if (n <= 0.0) return kNaN;
  return TCRIT(n > 2e9 ? 2000000000 : static_cast<int>(n));
}

void twoTreatmentIntervals(const AnovaStats& st, const AnovaTests& tests, TwoTreatment& tt) {
  tt = TwoTreatment{};
  const double dR = st.R, dC = st.C;
  for (int t = 1; t <= 2; ++t) {
    const double v = st.msR[t] + st.msC[t] - st.msRC[t];
    tt.area[t] = st.trtMean[t];
    tt.se[t] = std::sqrt(v / (dR * dC));  // NaN (undefined) when v < 0
    const double denom = st.msRC[t] * st.msRC[t] / ((dR - 1.0) * (dC - 1.0)) +
                         st.msC[t] * st.msC[t] / (dC - 1.0) + st.msR[t] * st.msR[t] / (dR - 1.0);
    tt.df[t] = denom == 0.0 ? 0.0 : v * v / denom;
  }
  tt.area[3] = tt.area[1] - tt.area[2];
  tt.se[3] = std::sqrt(2.0 / (dR * dC) * tests.errMsT);
  const double t = tcritOfDf(tests.d2T);
  tt.df[3] = std::isnan(t) ? kNaN : tests.d2T;  // a df rounding to 0 or less is undefined
  const double half = t * tt.se[3];
  tt.lower = tt.area[3] - half;
  tt.upper = tt.area[3] + half;
}

void singleReader(const PvTable& pv, const AnovaStats& st, int r, SingleReader& sr) {
  sr = SingleReader{};
  double s1 = 0.0, s2 = 0.0;
  for (int c = 1; c <= st.C; ++c) {
    const double d = pv(r, 1, c) - pv(r, 2, c);
    s1 += d;
    s2 += d * d;
  }
  const double n = st.C;
  double var = s2 / (n * n - n) - s1 * s1 / (n * n * n - n * n);
  if (var < 0.0) var = 0.0;  // a sum of squares: below 0 only by rounding
  sr.se = std::sqrt(var);
  sr.t = TCRIT(st.C - 1);
  sr.mean1 = st.cellMean[r][1];
  sr.mean2 = st.cellMean[r][2];
  const double diff = sr.mean1 - sr.mean2;
  sr.lower = diff - sr.t * sr.se;
  sr.upper = diff + sr.t * sr.se;
}

}  // namespace quelbro
