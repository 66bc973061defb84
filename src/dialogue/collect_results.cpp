// Fills the run's records from the values the fits and the analysis computed.
#include "dialogue/collect_results.h"

#include <cmath>

namespace quelbro {
namespace {

// Names and descriptions without the blanks that pad them to their fields.
std::string trimmed(const std::string& s) {
  const std::size_t begin = s.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  return s.substr(begin, s.find_last_not_of(' ') - begin + 1);
}

std::size_t u(int i) { return static_cast<std::size_t>(i); }

}  // namespace

FitRecord fitRecord(int r, int t, int direction, const FitOutcome& fit, int psflag) {
  FitRecord rec;
  rec.reader = r;
  rec.treatment = t;
  rec.direction = direction;
  rec.negatives = fit.nneg;
  rec.positives = fit.npos;
  const int k = fit.ncat < 1 ? 1 : (fit.ncat > kMaxCategories ? kMaxCategories : fit.ncat);
  rec.categories = fit.ncat;
  for (int c = 1; c <= k; ++c) {
    rec.negativeCounts.push_back(static_cast<int>(fit.cneg[u(c)]));
    rec.positiveCounts.push_back(static_cast<int>(fit.cpos[u(c)]));
  }
  for (int i = k + 1; i >= 1; --i) rec.points.push_back({fit.fpf[u(i)], fit.tpf[u(i)]});
  rec.trapezoidalArea = fit.trapa;
  rec.seTrapezoidal = fit.trapse;
  rec.iterations = fit.iterations;
  switch (fit.kind) {
    case FitOutcome::Kind::Fitted:
      rec.status = FitStatus::Fitted;
      rec.a = fit.estimates.a;
      rec.b = fit.estimates.b;
      rec.seA = fit.estimates.seA;
      rec.seB = fit.estimates.seB;
      rec.corrAB = fit.estimates.corrAB;
      rec.az = fit.estimates.az;
      rec.seAz = fit.estimates.seAz;
      break;
    case FitOutcome::Kind::Degenerate:
      rec.status = FitStatus::Degenerate;
      rec.degenerateType = fit.degenerateType;
      if (fit.degenerateArea >= 0.0) rec.az = fit.degenerateArea;
      break;
    case FitOutcome::Kind::NotConverged:
      rec.status = FitStatus::NotConverged;
      break;
  }
  // The jackknife's flag: 0 complete; n > 0 left-out fits that failed; a
  // failed fit on all cases sets -100 and counts every case down from there.
  if (psflag < 0) {
    rec.jackknife = JackknifeStatus::Trapezoidal;
  } else if (psflag > 0) {
    rec.jackknife = JackknifeStatus::Substituted;
    rec.substitutedCases = psflag;
  }
  return rec;
}

AnalysisRecord analysisRecord(const AnovaFindings& found, int R, int T) {
  const AnovaStats& st = found.stats;
  const AnovaTests& ts = found.tests;
  AnalysisRecord rec;
  struct Row {
    Source s;
    const char* name;
    Source error;  // kSrcTOT: not tested
  };
  static constexpr Row kRows[] = {
      {kSrcTOT, "TOT", kSrcTOT}, {kSrcT, "T", kSrcT},     {kSrcC, "C", kSrcRC},    {kSrcR, "R", kSrcRC},
      {kSrcTC, "TC", kSrcTRC},   {kSrcTR, "TR", kSrcTRC}, {kSrcRC, "RC", kSrcTRC}, {kSrcTRC, "TRC", kSrcTOT}};
  for (const Row& row : kRows) {
    SourceRecord s;
    s.source = row.name;
    s.ss = st.ss[row.s];
    s.df = st.df[row.s];
    if (row.s != kSrcTOT) s.ms = st.ms[row.s];
    s.tested = row.error != kSrcTOT && !(row.s == kSrcRC && ts.nottrc);
    if (s.tested) {
      s.f = ts.f[row.s];
      s.p = ts.p[row.s];
      s.significant = ts.sig[row.s];
      s.errorMs = row.s == kSrcT ? ts.errMsT : st.ms[row.error];
      s.errorDf = row.s == kSrcT ? ts.d2T : st.df[row.error];
    }
    rec.sources.push_back(s);
  }
  rec.errorTermCase = ts.icase;
  if (ts.icase == 4) {
    rec.satterthwaiteDf = ts.nu;
    rec.satterthwaiteMs = ts.e;
  }
  rec.readerCaseTested = !ts.nottrc;
  for (int i = 0; i < found.constraints.count && i < static_cast<int>(found.constraints.cells.size()); ++i) {
    const ConstrainedCell& c = found.constraints.cells[u(i)];
    rec.constrainedCells.push_back({c.r, c.t});
  }
  rec.grandMean = st.grandMean;
  for (int t = 1; t <= T; ++t) {
    rec.treatmentMeans.push_back(st.trtMean[t]);
    rec.readersByCases.push_back({t, st.msR[t], st.msC[t], st.msRC[t]});
  }
  for (int r = 1; r <= R; ++r) {
    rec.readerMeans.push_back(st.readerMean[r]);
    std::vector<double> cells;
    for (int t = 1; t <= T; ++t) cells.push_back(st.cellMean[r][t]);
    rec.cellMeans.push_back(std::move(cells));
  }
  if (found.twoTreatments) {
    const TwoTreatment& tt = found.twoTreatment;
    TwoTreatmentRecord two;
    for (int t = 1; t <= 2; ++t) two.treatments[u(t - 1)] = {tt.area[t], tt.se[t], tt.df[t]};
    two.difference = tt.area[3];
    two.seDifference = tt.se[3];
    two.dfDifference = tt.df[3];
    two.lower = tt.lower;
    two.upper = tt.upper;
    two.significant = ts.sig[kSrcT];
    rec.twoTreatments = two;
    for (int r = 1; r <= R; ++r) {
      const SingleReader& sr = found.singleReaders[u(r)];
      SingleReaderRecord s;
      s.reader = r;
      s.mean1 = sr.mean1;
      s.mean2 = sr.mean2;
      s.difference = sr.mean1 - sr.mean2;
      s.se = sr.se;
      s.df = st.C - 1;
      s.tCritical = sr.t;
      s.lower = sr.lower;
      s.upper = sr.upper;
      s.significant = sr.lower > 0.0 || sr.upper < 0.0;
      rec.singleReaders.push_back(s);
    }
  }
  return rec;
}

DatasetResults collectResults(const Study& st, int dataset, const std::string& inputFile,
                              const AnovaFindings* analysis, bool withPseudovalues) {
  DatasetResults d;
  d.dataset = dataset;
  d.description = trimmed(st.DATDES);
  d.inputFile = inputFile;
  for (int t = 1; t <= st.NTRT; ++t) d.treatments.push_back({t, trimmed(st.TRTDES[u(t)]), st.IDIR[u(t)]});
  for (int r = 1; r <= st.NRDR; ++r) d.readers.push_back(trimmed(st.RDRNAM[u(r)]));
  d.negatives = st.firstNeg;
  d.positives = st.firstPos;
  for (int r = 1; r <= st.NRDR; ++r)
    for (int t = 1; t <= st.NTRT; ++t)
      d.fits.push_back(fitRecord(r, t, st.IDIR[u(t)], st.FITS[u(r)][u(t)], st.PSFLAG[u(r)][u(t)]));
  const int n = withPseudovalues ? d.cases() : 0;
  d.pseudovalues.reserve(static_cast<std::size_t>(st.NRDR) * u(st.NTRT) * u(n));
  for (int r = 1; r <= st.NRDR; ++r)
    for (int t = 1; t <= st.NTRT; ++t)
      for (int c = 1; c <= n; ++c) d.pseudovalues.push_back(st.PV(r, t, c));
  if (analysis != nullptr) d.analysis = analysisRecord(*analysis, st.NRDR, st.NTRT);
  return d;
}

PseudovalueCells pseudovalueCells(const Study& st, int dataset) {
  PseudovalueCells c;
  c.dataset = dataset;
  c.readers = st.NRDR;
  c.treatments = st.NTRT;
  c.negatives = st.firstNeg;
  c.positives = st.firstPos;
  c.first = st.PV.cell(1, 1);
  c.readerStride = static_cast<std::size_t>(st.PV.cell(2, 1) - c.first);
  c.treatmentStride = static_cast<std::size_t>(st.PV.cell(1, 2) - c.first);
  return c;
}

}  // namespace quelbro
