// Full-precision distribution functions of the beta family: incomplete beta by
// its continued fraction (modified Lentz), its inverse by safeguarded Newton
// steps, t and F through them, the noncentral F as a Poisson mixture.
#include "stats/beta_family.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quelbro {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kEps = 1e-16;
constexpr double kTiny = 1e-300;
constexpr double kLnSqrt2Pi = 0.918938533204672741780329736406;
// The continued fraction needs about sqrt(max(a, b)) terms in the worst case.
constexpr int kMaxFractionTerms = 1000000;
constexpr int kMaxNewtonSteps = 2000;

const Tails kUndefinedTails{kNaN, kNaN};

// ln Gamma(x) - the Stirling terms (x - 1/2) ln x - x + ln sqrt(2 pi), for
// x >= 10: the series 1/(12x) - 1/(360x^3) + ...; the first omitted term is
// below 2e-14 at x = 10.
double stirlingRemainder(double x) {
  const double z = 1.0 / (x * x);
  return (1.0 / 12.0 + z * (-1.0 / 360.0 + z * (1.0 / 1260.0 + z * (-1.0 / 1680.0 + z / 1188.0)))) / x;
}

// Modified Lentz evaluation of the continued fraction of I_x(a, b)
// (Numerical Recipes, betacf); converges fast for x < (a + 1) / (a + b + 2).
double betaFraction(double x, double a, double b) {
  const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
  double c = 1.0;
  double d = 1.0 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= kMaxFractionTerms; ++m) {
    const double dm = m, m2 = 2.0 * m;
    double aa = dm * (b - dm) * x / ((qam + m2) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + dm) * (qab + dm) * x / ((a + m2) * (qap + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double del = d * c;
    h *= del;
    if (std::fabs(del - 1.0) < kEps) break;
  }
  return h;
}

// ln x and ln y for x + y = 1, each from the more precise of the two.
double logOf(double x, double y) { return x > 0.5 ? std::log1p(-y) : std::log(x); }

// ln of x^a y^b / B(a, b).
double logFront(double x, double y, double a, double b) {
  return a * logOf(x, y) + b * logOf(y, x) - logBeta(a, b);
}

// Density of Beta(a, b) at x (with y = 1 - x).
double betaDensity(double x, double y, double a, double b) {
  return std::exp((a - 1.0) * logOf(x, y) + (b - 1.0) * logOf(y, x) - logBeta(a, b));
}

// A first guess of the p-quantile of Beta(a, b), p <= 1/2 (Numerical
// Recipes, invbetai), as x and 1 - x.
BetaPoint firstGuess(double p, double a, double b) {
  if (a >= 1.0 && b >= 1.0) {
    const double t = std::sqrt(-2.0 * std::log(p));
    // The upper normal quantile of p (Abramowitz and Stegun 26.2.22).
    const double z = t - (2.30753 + t * 0.27061) / (1.0 + t * (0.99229 + t * 0.04481));
    const double al = (z * z - 3.0) / 6.0;
    const double h = 2.0 / (1.0 / (2.0 * a - 1.0) + 1.0 / (2.0 * b - 1.0));
    const double w = (z * std::sqrt(al + h) / h) -
                     (1.0 / (2.0 * b - 1.0) - 1.0 / (2.0 * a - 1.0)) * (al + 5.0 / 6.0 - 2.0 / (3.0 * h));
    const double e = b * std::exp(2.0 * w);
    if (std::isfinite(e)) return BetaPoint{a / (a + e), e / (a + e)};
  }
  const double lna = std::log(a / (a + b)), lnb = std::log(b / (a + b));
  const double t = std::exp(a * lna) / a, u = std::exp(b * lnb) / b, w = t + u;
  if (p < t / w) {
    const double x = std::pow(a * w * p, 1.0 / a);
    return BetaPoint{x, 1.0 - x};
  }
  const double y = std::pow(b * w * (1.0 - p), 1.0 / b);
  return BetaPoint{1.0 - y, y};
}

// Solves tail(z) = target for z in (0, 1/2]-ish, where the tail is the lower
// one of Beta(a, b) (increasing in z) or the upper one (decreasing): Newton
// steps kept inside a bracket that every evaluation narrows, bisection when a
// step would leave it.
double solveTail(double target, bool lowerTail, double a, double b, double z) {
  double lo = 0.0, hi = 1.0;
  if (!(z > lo && z < hi)) z = 0.5;
  for (int step = 0; step < kMaxNewtonSteps; ++step) {
    const Tails tails = incompleteBeta(z, 1.0 - z, a, b);
    const double value = lowerTail ? tails.lower : tails.upper;
    const double diff = value - target;
    if (diff == 0.0) return z;
    // The root lies above z when the increasing lower tail is short of the
    // target, or the decreasing upper tail is past it.
    if ((diff < 0.0) == lowerTail) {
      lo = z;
    } else {
      hi = z;
    }
    const double slope = betaDensity(z, 1.0 - z, a, b) * (lowerTail ? 1.0 : -1.0);
    double next = z - diff / slope;
    if (!(next > lo && next < hi)) next = lo > 0.0 ? 0.5 * (lo + hi) : hi * 0.5 > z ? 0.5 * hi : 0.5 * z;
    if (std::fabs(next - z) <= 4e-16 * z || hi - lo <= 4e-16 * lo) return next;
    z = next;
  }
  return z;
}

// The p-quantile of Beta(a, b) for p <= 1/2, found in whichever of x and
// 1 - x is the smaller so that neither loses digits to the other.
BetaPoint lowerQuantile(double p, double a, double b) {
  const BetaPoint guess = firstGuess(p, a, b);
  // I_x(a, b) = p is also the upper tail of Beta(b, a) at y = 1 - x: solved
  // for y when the guess puts x above 1/2, and once more the other way when
  // the answer lands on the other side of 1/2 from the guess.
  if (guess.x <= 0.5) {
    const double x = solveTail(p, true, a, b, guess.x);
    if (x <= 0.5) return BetaPoint{x, 1.0 - x};
    const double y = solveTail(p, false, b, a, 1.0 - x);
    return BetaPoint{1.0 - y, y};
  }
  const double y = solveTail(p, false, b, a, guess.y);
  if (y <= 0.5) return BetaPoint{1.0 - y, y};
  const double x = solveTail(p, true, a, b, 1.0 - y);
  return BetaPoint{x, 1.0 - x};
}

bool positive(double v) { return v > 0.0 && std::isfinite(v); }

// u = d1 f / d2 as the pair x = u / (1 + u), y = 1 / (1 + u), without overflow.
void fPoint(double f, double d1, double d2, double& x, double& y) {
  const double u = d1 / d2 * f;
  if (u > 1.0) {
    const double v = 1.0 / u;
    x = 1.0 / (1.0 + v);
    y = v / (1.0 + v);
  } else {
    x = u / (1.0 + u);
    y = 1.0 / (1.0 + u);
  }
}

// Patnaik's approximation (Abramowitz and Stegun 26.6.27): a central F with
// a larger numerator df. Used only where the Poisson mixture would need more
// terms than it is worth: its error falls as the noncentrality grows.
Tails patnaik(double f, double d1, double d2, double lambda) {
  const double nu = (d1 + lambda) / (d1 + 2.0 * lambda) * (d1 + lambda);
  return fTails(f * d1 / (d1 + lambda), nu, d2);
}

}  // namespace

// As R's nmath lbeta: Stirling's series for the large arguments.
double logBeta(double a, double b) {
  const double p = std::min(a, b), q = std::max(a, b);
  if (!(p > 0.0) || !std::isfinite(q)) return kNaN;
  if (p >= 10.0) {
    const double corr = stirlingRemainder(p) + stirlingRemainder(q) - stirlingRemainder(p + q);
    return -0.5 * std::log(q) + kLnSqrt2Pi + corr + (p - 0.5) * std::log(p / (p + q)) +
           q * std::log1p(-p / (p + q));
  }
  if (q >= 10.0) {
    const double corr = stirlingRemainder(q) - stirlingRemainder(p + q);
    return std::lgamma(p) + corr + p - p * std::log(p + q) + (q - 0.5) * std::log1p(-p / (p + q));
  }
  return std::lgamma(p) + std::lgamma(q) - std::lgamma(p + q);
}

Tails incompleteBeta(double x, double y, double a, double b) {
  if (!positive(a) || !positive(b) || !(x >= 0.0 && x <= 1.0) || !(y >= 0.0 && y <= 1.0)) {
    return kUndefinedTails;
  }
  if (x == 0.0) return Tails{0.0, 1.0};
  if (y == 0.0) return Tails{1.0, 0.0};
  const double front = std::exp(logFront(x, y, a, b));
  // A front factor that underflows leaves the tail of the branch at 0.
  auto byX = [&] {
    const double lower = front == 0.0 ? 0.0 : std::clamp(front * betaFraction(x, a, b) / a, 0.0, 1.0);
    return Tails{lower, 1.0 - lower};
  };
  auto byY = [&] {
    const double upper = front == 0.0 ? 0.0 : std::clamp(front * betaFraction(y, b, a) / b, 0.0, 1.0);
    return Tails{1.0 - upper, upper};
  };
  // The fraction in x converges fast below (a + 1) / (a + b + 2), the one in
  // y above it. Very near x = 1, though, the fraction in x loses digits like
  // 1e-16 / y (its terms there are 1 - y). When y is below 1e-6, one shape
  // then dwarfs the other, and the fraction in y, a little past its own switch
  // point, still converges in a few dozen terms to full precision; it takes
  // over unless the tail it leaves to a subtraction is small enough to lose
  // more there. The same the other way round.
  const bool inX = x < (a + 1.0) / (a + b + 2.0);
  constexpr double kNearEnd = 1e-6, kReach = 10.0, kSmallTail = 1e-3;
  if (inX && y < kNearEnd && y * (a + b + 2.0) / (b + 1.0) < kReach) {
    const Tails t = byY();
    if (t.lower >= kSmallTail) return t;
  }
  if (!inX && x < kNearEnd && x * (a + b + 2.0) / (a + 1.0) < kReach) {
    const Tails t = byX();
    if (t.upper >= kSmallTail) return t;
  }
  return inX ? byX() : byY();
}

BetaPoint incompleteBetaInverse(double p, double q, double a, double b) {
  if (!positive(a) || !positive(b) || !(p >= 0.0 && p <= 1.0) || !(q >= 0.0 && q <= 1.0)) {
    return BetaPoint{kNaN, kNaN};
  }
  if (p == 0.0) return BetaPoint{0.0, 1.0};
  if (q == 0.0) return BetaPoint{1.0, 0.0};
  if (p <= q) return lowerQuantile(p, a, b);
  const BetaPoint swapped = lowerQuantile(q, b, a);  // I_y(b, a) = q
  return BetaPoint{swapped.y, swapped.x};
}

Tails tTails(double t, double df) {
  if (!positive(df) || std::isnan(t)) return kUndefinedTails;
  double x, y;  // x = df / (df + t^2), y = t^2 / (df + t^2)
  const double at = std::fabs(t);
  if (at > std::sqrt(df)) {
    const double r = df / at / at;
    x = r / (1.0 + r);
    y = 1.0 / (1.0 + r);
  } else {
    const double s = at / df * at;
    x = 1.0 / (1.0 + s);
    y = s / (1.0 + s);
  }
  const Tails both = incompleteBeta(x, y, 0.5 * df, 0.5);  // lower: P(|T| > |t|)
  const double outside = 0.5 * both.lower, inside = 0.5 + 0.5 * both.upper;
  return t >= 0.0 ? Tails{inside, outside} : Tails{outside, inside};
}

double tQuantile(double p, double df) {
  if (!positive(df) || !(p >= 0.0 && p <= 1.0)) return kNaN;
  if (p == 0.5) return 0.0;
  if (p == 0.0) return -std::numeric_limits<double>::infinity();
  if (p == 1.0) return std::numeric_limits<double>::infinity();
  const double tail = std::min(p, 1.0 - p);
  const BetaPoint bp = incompleteBetaInverse(2.0 * tail, 1.0 - 2.0 * tail, 0.5 * df, 0.5);
  const double t = std::sqrt(df * (bp.y / bp.x));
  return p > 0.5 ? t : -t;
}

Tails fTails(double f, double d1, double d2) {
  if (!positive(d1) || !positive(d2) || std::isnan(f)) return kUndefinedTails;
  if (f <= 0.0) return Tails{0.0, 1.0};
  if (std::isinf(f)) return Tails{1.0, 0.0};
  double x, y;
  fPoint(f, d1, d2, x, y);
  return incompleteBeta(x, y, 0.5 * d1, 0.5 * d2);
}

double fQuantile(double p, double d1, double d2) {
  if (!positive(d1) || !positive(d2) || !(p >= 0.0 && p <= 1.0)) return kNaN;
  if (p == 1.0) return std::numeric_limits<double>::infinity();
  const BetaPoint bp = incompleteBetaInverse(p, 1.0 - p, 0.5 * d1, 0.5 * d2);
  return d2 / d1 * (bp.x / bp.y);
}

// P(F' <= f) = sum_j Pois(j; lambda/2) I_x(d1/2 + j, d2/2) (Abramowitz and
// Stegun 26.6.22). The sum starts at the largest Poisson weight and walks
// outwards, the neighbouring incomplete betas following from one another by
// I_x(a + 1, b) = I_x(a, b) - x^a y^b / (a B(a, b)) (as in Lenth's AS 226);
// each direction stops when the Poisson mass left is below 1e-17.
Tails noncentralFTails(double f, double d1, double d2, double lambda) {
  if (!positive(d1) || !positive(d2) || !(lambda >= 0.0) || std::isnan(f) || std::isinf(lambda)) {
    return kUndefinedTails;
  }
  if (lambda == 0.0) return fTails(f, d1, d2);
  if (f <= 0.0) return Tails{0.0, 1.0};
  if (std::isinf(f)) return Tails{1.0, 0.0};
  const double mu = 0.5 * lambda;
  constexpr double kMixtureLimit = 1e7;
  if (mu > kMixtureLimit) return patnaik(f, d1, d2, lambda);

  double x, y;
  fPoint(f, d1, d2, x, y);
  const double a = 0.5 * d1, b = 0.5 * d2;
  const double k = std::floor(mu);
  const double wk = std::exp(-mu + k * std::log(mu) - std::lgamma(k + 1.0));
  const Tails ik = incompleteBeta(x, y, a + k, b);
  // term(a') = x^a' y^b / (a' B(a', b))
  const double termK = std::exp(logFront(x, y, a + k, b) - std::log(a + k));

  const int maxSteps = static_cast<int>(40.0 * std::sqrt(mu)) + 200;
  double sumW = wk, sumL = wk * ik.lower, sumU = wk * ik.upper;

  // Upwards: j = k + 1, k + 2, ...
  double w = wk, lower = ik.lower, upper = ik.upper, term = termK;
  for (int step = 1; step <= maxSteps; ++step) {
    const double j = k + step, aj = a + j - 1.0;  // aj: the shape before the step
    lower = std::max(0.0, lower - term);
    upper = std::min(1.0, upper + term);
    term *= x * (aj + b) / (aj + 1.0);
    w *= mu / j;
    sumW += w;
    sumL += w * lower;
    sumU += w * upper;
    if (j > mu && w / (1.0 - mu / (j + 1.0)) < 1e-17) break;
  }
  // Downwards: j = k - 1, ..., 0.
  w = wk;
  lower = ik.lower;
  upper = ik.upper;
  term = termK;
  for (int step = 1; step <= maxSteps && k - step >= 0.0; ++step) {
    const double j = k - step, aj = a + j;  // aj: the shape after the step
    term *= (aj + 1.0) / (x * (aj + b));
    lower = std::min(1.0, lower + term);
    upper = std::max(0.0, upper - term);
    w *= (j + 1.0) / mu;
    sumW += w;
    sumL += w * lower;
    sumU += w * upper;
    if (j < mu && w * (j / mu) / (1.0 - j / mu) < 1e-17) break;
  }
  // Dividing by the weights summed takes out the rounding of the first weight.
  return Tails{sumL / sumW, sumU / sumW};
}

}  // namespace quelbro
