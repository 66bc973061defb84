// The ROC plot model of one dataset: per reader and treatment the fitted binormal curve
// with the operating points, per treatment the curve of the readers' mean parameters.
#pragma once

#include <string>
#include <vector>

namespace quelbro {

struct RocPoint {
  double fpf = 0.0;
  double tpf = 0.0;
};

// What the plot needs of one reader and treatment's fit on all cases.
struct PlotFitInput {
  enum class Status { Fitted, Degenerate, NotConverged };
  int reader = 0;     // 1-based
  int treatment = 0;  // 1-based
  Status status = Status::Fitted;
  int degenerateType = 0;  // 1..10 when degenerate
  double a = 0.0, b = 0.0;
  double az = 0.0, seAz = 0.0;
  std::vector<RocPoint> points;  // operating points of the categorized data, corners included
};

// What the plot needs of one dataset.
struct PlotStudyInput {
  std::string description;              // the data description
  std::string fileName;                 // data file (or store file); empty for typed data not saved
  std::vector<std::string> readers;     // names, reader r at r - 1
  std::vector<std::string> treatments;  // descriptions, treatment t at t - 1
  int negatives = 0, positives = 0;     // cases per reader; 0 when not known
  std::vector<PlotFitInput> fits;
};

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
  std::string fileName;
  std::vector<std::string> treatments;
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
std::string noCurveReason(PlotFitInput::Status status, int degenerateType);

RocPlotModel makeRocPlot(const PlotStudyInput& in);

}  // namespace quelbro
