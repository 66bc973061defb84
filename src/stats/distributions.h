// The distribution functions: normal and its inverse, log-gamma, beta and
// chi-square distribution functions, two-sided 5% t critical values.
#pragma once

namespace quelbro {

void PNORM(double x, double& p, double& d);
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
