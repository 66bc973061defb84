// Full-precision distribution functions of the beta family: the regularized
// incomplete beta and its inverse, the t and F distributions, the noncentral F.
#pragma once

namespace quelbro {

// Both tails of one distribution at one point; lower + upper = 1 up to rounding,
// each carried to full relative precision on its own. NaN in both when undefined.
struct Tails {
  double lower = 0.0;
  double upper = 0.0;
};

// ln B(a, b) without the cancellation of three log-gammas when a or b is large.
double logBeta(double a, double b);

// I_x(a, b) and 1 - I_x(a, b); y = 1 - x is passed as well so that a point
// close to 1 keeps its precision. a, b > 0 and 0 <= x <= 1, else NaN.
Tails incompleteBeta(double x, double y, double a, double b);
inline Tails incompleteBeta(double x, double a, double b) { return incompleteBeta(x, 1.0 - x, a, b); }

// The point x with I_x(a, b) = p, with y = 1 - x, where q = 1 - p is passed as
// well. Relative accuracy near 1e-14 in the smaller of x and y.
struct BetaPoint {
  double x = 0.0;
  double y = 0.0;
};
BetaPoint incompleteBetaInverse(double p, double q, double a, double b);

// Student's t with df > 0 degrees of freedom (df may be non-integer).
Tails tTails(double t, double df);
double tQuantile(double p, double df);

// F with d1, d2 > 0 degrees of freedom.
Tails fTails(double f, double d1, double d2);
double fQuantile(double p, double d1, double d2);

// Noncentral F with noncentrality lambda >= 0 (the sum of squared standardized
// means, so that its mean is d2 (d1 + lambda) / (d1 (d2 - 2))).
Tails noncentralFTails(double f, double d1, double d2, double lambda);

}  // namespace quelbro
