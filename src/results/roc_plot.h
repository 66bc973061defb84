// The ROC plot model of one dataset: per reader and treatment the fitted binormal curve
// with the operating points, per treatment the curve of the readers' mean parameters.
#pragma once

#include <string>
#include <vector>

#include "results/results.h"

namespace quelbro {

using RocPoint = OperatingPoint;

// One reader's curve under one treatment, or its operating points only.
struct ReaderCurve {
  int treatment = 0;  // 1-based
  bool fitted = false;
  double a = 0.0, b = 0.0, az = 0.0, seAz = 0.0;
  std::vector<RocPoint> curve;   // from FPF 0 to FPF 1; empty when not fitted
  std::vector<RocPoint> points;  // operating points off the (0,0) and (1,1) corners
  std::string reason;            // why there is no curve
};

struct ReaderPanel {
  int reader = 0;  // 1-based
  std::string name;
  std::vector<ReaderCurve> curves;  // one per treatment that has a fit, in treatment order
};

// The binormal curve of the mean a and mean b of one treatment's fitted readers.
struct AverageCurve {
  int treatment = 0;  // 1-based
  int readers = 0;    // fitted readers averaged; 0: no curve
  double meanA = 0.0, meanB = 0.0, az = 0.0;
  std::vector<RocPoint> curve;
  std::string reason;  // why there is no curve
};

struct RocPlotModel {
  std::string description;
  std::string fileName;                 // empty for typed data
  std::vector<std::string> treatments;  // descriptions, treatment t at t - 1
  int negatives = 0, positives = 0;
  std::vector<ReaderPanel> panels;
  std::vector<AverageCurve> averages;  // one per treatment
};

// The standard normal distribution function (through erfc, accurate in the tails).
double normalCdf(double x);

// TPF = Phi(a + b x) at FPF = Phi(x), from FPF 0 to FPF 1. Neighbouring points are at most
// kCurveStep apart in each coordinate, except where the curve runs along a border of the square.
inline constexpr double kCurveStep = 0.005;
std::vector<RocPoint> binormalCurve(double a, double b);

// Why a reader has no curve, in a few words (degenerate data or no convergence).
std::string noCurveReason(FitStatus status, int degenerateType);

// The model of one dataset from its records; the file is named without its folder.
RocPlotModel makeRocPlot(const DatasetResults& in);

}  // namespace quelbro
