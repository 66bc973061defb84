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

inline FitRecord fitted(int r, int t, double a, double b, std::vector<RocPoint> points = {}) {
  FitRecord f;
  f.status = FitStatus::Fitted;
  f.reader = r;
  f.treatment = t;
  f.a = a;
  f.b = b;
  f.az = Phi(a / std::sqrt(1.0 + b * b));
  f.seAz = 0.04;
  f.points = std::move(points);
  return f;
}

inline FitRecord degenerate(int r, int t, int type, std::vector<RocPoint> points) {
  FitRecord f;
  f.reader = r;
  f.treatment = t;
  f.status = FitStatus::Degenerate;
  f.degenerateType = type;
  f.points = std::move(points);
  return f;
}

// Three readers, two treatments: reader 3 is degenerate (perfect) under treatment 2.
inline DatasetResults study(std::string description, std::vector<std::string> readers,
                            std::vector<std::string> treatments) {
  DatasetResults s;
  s.dataset = 1;
  s.description = std::move(description);
  s.readers = std::move(readers);
  for (std::size_t t = 0; t < treatments.size(); ++t)
    s.treatments.push_back({static_cast<int>(t) + 1, treatments[t], 1});
  return s;
}

inline DatasetResults threeReaders() {
  DatasetResults s =
      study("Film versus digital", {"Dr. Adams", "Dr. Baker", "Dr. Chen"}, {"Film", "Digital"});
  s.inputFile = "/home/someone/studies/study.dat";
  const std::vector<RocPoint> pts = {{0, 0}, {0.1, 0.45}, {0.3, 0.7}, {0.6, 0.9}, {1, 1}};
  s.fits = {fitted(1, 1, 1.0, 0.8, pts), fitted(1, 2, 1.6, 1.1, pts),
            fitted(2, 1, 1.5, 1.0, pts), fitted(2, 2, 2.0, 0.9, pts),
            fitted(3, 1, 2.0, 1.2, pts), degenerate(3, 2, 9, {{0, 0}, {0, 1}, {1, 1}})};
  return s;
}

}  // namespace quelbro::testing
