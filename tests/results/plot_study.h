// Small studies for the plot tests and the independent normal functions they check against.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "results/roc_plot.h"

namespace quelbro::testing {

// Phi and its inverse from erfc, the inverse by bisection: nothing of the code under test.
inline double Phi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
inline double PhiInverse(double p) {
  double lo = -40.0, hi = 40.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (Phi(mid) < p ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

inline PlotFitInput fitted(int r, int t, double a, double b, std::vector<RocPoint> points = {}) {
  PlotFitInput f;
  f.reader = r;
  f.treatment = t;
  f.a = a;
  f.b = b;
  f.az = Phi(a / std::sqrt(1.0 + b * b));
  f.seAz = 0.04;
  f.points = std::move(points);
  return f;
}

inline PlotFitInput degenerate(int r, int t, int type, std::vector<RocPoint> points) {
  PlotFitInput f;
  f.reader = r;
  f.treatment = t;
  f.status = PlotFitInput::Status::Degenerate;
  f.degenerateType = type;
  f.a = 1e38;  // what is left in the record of a degenerate fit is never drawn
  f.points = std::move(points);
  return f;
}

// Three readers, two treatments: reader 3 is degenerate (perfect) under treatment 2.
inline PlotStudyInput threeReaders() {
  PlotStudyInput s;
  s.description = "Film versus digital";
  s.fileName = "study.dat";
  s.readers = {"Dr. Adams", "Dr. Baker", "Dr. Chen"};
  s.treatments = {"Film        ", "Digital     "};
  const std::vector<RocPoint> pts = {{0, 0}, {0.1, 0.45}, {0.3, 0.7}, {0.6, 0.9}, {1, 1}};
  s.fits = {fitted(1, 1, 1.0, 0.8, pts), fitted(1, 2, 1.6, 1.1, pts),
            fitted(2, 1, 1.5, 1.0, pts), fitted(2, 2, 2.0, 0.9, pts),
            fitted(3, 1, 2.0, 1.2, pts), degenerate(3, 2, 9, {{0, 0}, {0, 1}, {1, 1}})};
  return s;
}

}  // namespace quelbro::testing
