// The distribution functions: normal and its inverse, log-gamma, beta and
// chi-square distribution functions, two-sided 5% t critical values.
#pragma once

#include <cmath>

namespace quelbro {

// Abramowitz and Stegun 26.2.17; absolute error below 7.5e-8. Defined here so
// that the fitting loops, which call it tens of millions of times in a long
// run, have it inline.
// PNORM comes in three steps, for loops that take many points at once (the
// divisions and exponentials of all points are then under way together):
// each step is the same operations on the same values as PNORM, so the
// results are the same bit for bit.
inline double pnormT(double x) { return 1.0 / (1.0 + 0.2316419 * std::fabs(x)); }
inline double pnormDensity(double x) {
  return std::fabs(x) <= 18.0 ? 0.3989423 * std::exp(-x * x / 2.0) : 0.0;
}
// pnormDensity in two steps, for loops that take the exponentials of many points in one
// call: the exponent (0 where the density is 0 without one), then the density from the
// exponential of that exponent. The same operations on the same values as pnormDensity.
inline double pnormExponent(double x) { return std::fabs(x) <= 18.0 ? -x * x / 2.0 : 0.0; }
inline double pnormDensityFrom(double x, double e) { return std::fabs(x) <= 18.0 ? 0.3989423 * e : 0.0; }
inline double pnormProbability(double x, double t, double d) {
  const double p =
      1.0 - d * t * (0.3193815 + t * (-0.3565638 + t * (1.781478 + t * (-1.821256 + t * 1.330274))));
  return x < 0.0 ? 1.0 - p : p;
}
inline void PNORM(double x, double& p, double& d) {
  const double t = pnormT(x);
  d = pnormDensity(x);
  p = pnormProbability(x, t, d);
}

void PINVN(double p, double& x, double& d, int& status);
void GAMLN(double x, double& l, int& status);
void BETAP(double x, double a, double b, double& p, double& d, int& status);
void CHIP(double x, double nu, double& p, double& d, int& status);
double TCRIT(int n);

// Shorthands for the fitting code.
inline double Phi(double x) {
  double p, d;
  PNORM(x, p, d);
  return p;
}
inline double phi(double x) {
  double p, d;
  PNORM(x, p, d);
  return d;
}
inline double PhiInv(double p) {
  double x, d;
  int s;
  PINVN(p, x, d, s);
  return x;
}

}  // namespace quelbro
