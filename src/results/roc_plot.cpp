// The ROC plot model: binormal curves traced on the normal-deviate scale and refined where
// they bend, the operating points, and the treatment averages of the readers' parameters.
#include "results/roc_plot.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace quelbro {
namespace {

// Phi(-8.5) is about 1e-17: beyond it the curve meets the border of the square.
constexpr double kDeviateEnd = 8.5;
constexpr double kKnotStep = 0.5;
constexpr int kMaxHalvings = 24;

RocPoint at(double a, double b, double z) { return {normalCdf(z), normalCdf(a + b * z)}; }

bool farApart(const RocPoint& p, const RocPoint& q) {
  return std::fabs(p.fpf - q.fpf) > kCurveStep || std::fabs(p.tpf - q.tpf) > kCurveStep;
}

// Appends the points of (z0, z1] to `out`, halving the interval wherever the chord is long.
void refine(double a, double b, double z0, double z1, std::vector<RocPoint>& out) {
  struct Piece {
    double z0, z1;
    int depth;
  };
  std::vector<Piece> todo{{z0, z1, 0}};
  while (!todo.empty()) {
    const Piece p = todo.back();
    todo.pop_back();
    const RocPoint lo = at(a, b, p.z0);
    const RocPoint hi = at(a, b, p.z1);
    if (p.depth < kMaxHalvings && farApart(lo, hi)) {
      const double mid = 0.5 * (p.z0 + p.z1);
      todo.push_back({mid, p.z1, p.depth + 1});  // the upper half after the lower one
      todo.push_back({p.z0, mid, p.depth + 1});
    } else {
      out.push_back(hi);
    }
  }
}

// TPF where FPF reaches 0 (z -> -inf) or 1 (z -> +inf).
double limitTpf(double a, double b, bool atZero) {
  if (b == 0.0) return normalCdf(a);
  return (b > 0.0) == atZero ? 0.0 : 1.0;
}

bool isCorner(const RocPoint& p) { return (p.fpf == 0.0 && p.tpf == 0.0) || (p.fpf == 1.0 && p.tpf == 1.0); }

}  // namespace

double normalCdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

std::vector<RocPoint> binormalCurve(double a, double b) {
  std::vector<RocPoint> out;
  if (!std::isfinite(a) || !std::isfinite(b)) return out;
  out.push_back({0.0, limitTpf(a, b, true)});
  double z = -kDeviateEnd;
  out.push_back(at(a, b, z));
  const int knots = static_cast<int>(2.0 * kDeviateEnd / kKnotStep + 0.5);
  for (int k = 1; k <= knots; ++k) {
    const double next = -kDeviateEnd + k * kKnotStep;
    refine(a, b, z, next, out);
    z = next;
  }
  out.push_back({1.0, limitTpf(a, b, false)});
  return out;
}

std::string noCurveReason(FitStatus status, int degenerateType) {
  if (status == FitStatus::NotConverged) return "fit did not converge";
  switch (degenerateType) {
    case 1:
      return "a single category";
    case 2:
      return "a single operating point";
    case 3:
      return "points on side borders only";
    case 4:
      return "points on top/bottom only";
    case 5:
    case 7:
      return "points on a horizontal line";
    case 6:
    case 8:
      return "points on a vertical line";
    case 9:
      return "perfect performance";
    default:
      return "perverse performance";
  }
}

RocPlotModel makeRocPlot(const DatasetResults& in) {
  RocPlotModel m;
  m.description = in.description;
  m.fileName = in.inputFile.substr(in.inputFile.find_last_of("/\\") + 1);
  for (const TreatmentRecord& t : in.treatments) m.treatments.push_back(t.description);
  m.negatives = in.negatives;
  m.positives = in.positives;
  const int nrdr = in.readerCount();
  const int ntrt = in.treatmentCount();

  std::vector<double> sumA(static_cast<std::size_t>(ntrt), 0.0), sumB(sumA);
  std::vector<int> count(static_cast<std::size_t>(ntrt), 0);

  for (int r = 1; r <= nrdr; ++r) {
    ReaderPanel panel;
    panel.reader = r;
    panel.name = in.readers[static_cast<std::size_t>(r - 1)];
    for (int t = 1; t <= ntrt; ++t) {
      for (const FitRecord& f : in.fits) {
        if (f.reader != r || f.treatment != t) continue;
        ReaderCurve c;
        c.treatment = t;
        for (const RocPoint& p : f.points)
          if (!isCorner(p)) c.points.push_back(p);
        const bool finite = std::isfinite(f.a) && std::isfinite(f.b);
        if (f.status == FitStatus::Fitted && finite) {
          c.fitted = true;
          c.a = f.a;
          c.b = f.b;
          c.az = f.az;
          c.seAz = f.seAz;
          c.curve = binormalCurve(f.a, f.b);
          sumA[static_cast<std::size_t>(t - 1)] += f.a;
          sumB[static_cast<std::size_t>(t - 1)] += f.b;
          count[static_cast<std::size_t>(t - 1)] += 1;
        } else {
          c.reason = f.status == FitStatus::Fitted ? std::string("estimates not finite")
                                                   : noCurveReason(f.status, f.degenerateType);
        }
        panel.curves.push_back(std::move(c));
        break;
      }
    }
    m.panels.push_back(std::move(panel));
  }

  for (int t = 1; t <= ntrt; ++t) {
    const auto u = static_cast<std::size_t>(t - 1);
    AverageCurve avg;
    avg.treatment = t;
    avg.readers = count[u];
    if (count[u] == 0) {
      avg.reason = "no reader's curve was fitted";
    } else {
      avg.meanA = sumA[u] / count[u];
      avg.meanB = sumB[u] / count[u];
      avg.az = normalCdf(avg.meanA / std::sqrt(1.0 + avg.meanB * avg.meanB));
      avg.curve = binormalCurve(avg.meanA, avg.meanB);
    }
    m.averages.push_back(std::move(avg));
  }
  return m;
}

}  // namespace quelbro
