// Symmetric positive-definite inverse by Cholesky factorization in packed
// storage, with the loss-of-significance test on each pivot.
#include "fit/spdinv.h"

#include <cmath>
#include <cstddef>

#include "fit/wide_clones.h"

namespace quelbro {
namespace {

// Slot of (i, j), i <= j, in packed upper storage (0-based).
inline std::size_t pk(int i, int j) { return static_cast<std::size_t>(j * (j - 1) / 2 + i - 1); }

}  // namespace

int matrixSlots(int n, int mode) {
  if (n < 1) return 0;
  switch (mode) {
    case kFullMode:
      return n * n;
    case kPackedMode:
      return n * (n + 1) / 2;
    case kDiagMode:
      return n;
    default:
      return 0;
  }
}

int MATIDX(int i, int j, int n, int mode) {
  if (i < 1 || j < 1 || i > n || j > n) return 0;
  switch (mode) {
    case kFullMode:
      return (j - 1) * n + i;
    case kPackedMode: {
      int hi = i > j ? i : j;
      int lo = i > j ? j : i;
      return hi * (hi - 1) / 2 + lo;
    }
    case kDiagMode:
      return i == j ? i : 0;
    default:
      return 0;
  }
}

void MATCVT(std::span<const double> src, std::span<double> dst, int n, int modeSrc, int modeDst) {
  int ns = matrixSlots(n, modeSrc);
  int nd = matrixSlots(n, modeDst);
  if (ns == 0 || nd == 0) return;
  if (src.size() < static_cast<std::size_t>(ns) || dst.size() < static_cast<std::size_t>(nd)) return;
  // The two conversions of every scoring pass, written out directly.
  if (modeSrc == kFullMode && modeDst == kPackedMode) {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) dst[pk(i, j)] = src[static_cast<std::size_t>((j - 1) * n + i - 1)];
    return;
  }
  if (modeSrc == kPackedMode && modeDst == kFullMode) {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= n; ++i)
        dst[static_cast<std::size_t>((j - 1) * n + i - 1)] = i <= j ? src[pk(i, j)] : src[pk(j, i)];
    return;
  }
  for (int j = 1; j <= n; ++j) {
    int i0 = 1;
    int i1 = modeDst == kFullMode ? n : j;  // other modes: only pairs with J >= I
    for (int i = i0; i <= i1; ++i) {
      int pd = MATIDX(i, j, n, modeDst);
      if (pd <= 0) continue;
      dst[static_cast<std::size_t>(pd - 1)] = 0.0;
      int ps = MATIDX(i, j, n, modeSrc);
      if (ps > 0) dst[static_cast<std::size_t>(pd - 1)] = src[static_cast<std::size_t>(ps - 1)];
    }
  }
}

void CHOLPK(std::span<double> m, int n, double tol, int& ier) {
  ier = 0;
  if (n < 1 || m.size() < static_cast<std::size_t>(n * (n + 1) / 2)) {
    ier = -1;
    return;
  }
  for (int i = 1; i <= n; ++i) {
    double diag = m[pk(i, i)];
    double d = diag;
    for (int k = 1; k < i; ++k) d -= m[pk(k, i)] * m[pk(k, i)];
    // A NaN pivot counts as not positive, so that a broken matrix is refused.
    if (!(d > 0.0)) {
      ier = -1;
      return;
    }
    if (d <= std::fabs(tol * diag) && ier == 0) ier = i - 1;
    double u = std::sqrt(d);
    m[pk(i, i)] = u;
    for (int j = i + 1; j <= n; ++j) {
      double s = m[pk(i, j)];
      for (int k = 1; k < i; ++k) s -= m[pk(k, i)] * m[pk(k, j)];
      m[pk(i, j)] = s / u;
    }
  }
}

void SPDINV(std::span<double> m, int n, double tol, int& ier) {
  CHOLPK(m, n, tol, ier);
  if (ier < 0) return;
  // U^-1 in place, from the last row upwards. Row i of U^-1 needs U(i, k) for
  // k <= j, so its entries are formed from the right.
  for (int i = n; i >= 1; --i) {
    double rii = 1.0 / m[pk(i, i)];
    m[pk(i, i)] = rii;
    for (int j = n; j > i; --j) {
      double s = 0.0;
      for (int k = i + 1; k <= j; ++k) s += m[pk(i, k)] * m[pk(k, j)];
      m[pk(i, j)] = -rii * s;
    }
  }
  // M^-1 = U^-1 (U^-1)': element (i, j), i <= j, is the sum over k >= j of
  // U^-1(i, k) U^-1(j, k); row i is overwritten left to right, rows below are
  // still U^-1.
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      double s = 0.0;
      for (int k = j; k <= n; ++k) s += m[pk(i, k)] * m[pk(j, k)];
      m[pk(i, j)] = s;
    }
  }
}

QUELBRO_WIDE_CLONES void SPDINV(SquareMatrix& a, int n, double tol, int& ier) {
  ier = 0;
  if (n < 1 || n > kMaxOrder) {
    ier = -1;
    return;
  }
  // Sums of one row, kept apart so that each output element receives its
  // terms in the order of the packed routine while the rows are walked with
  // unit stride, four rows of terms at a time.
  std::array<double, kMaxOrder + 1> s{};

  // U'U = M, row i of U from row i of M less the rows above it.
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) s[j] = a[i][j];
    int k = 1;
    for (; k + 3 < i; k += 4) {
      const double c0 = a[k][i], c1 = a[k + 1][i], c2 = a[k + 2][i], c3 = a[k + 3][i];
      const auto &r0 = a[k], &r1 = a[k + 1], &r2 = a[k + 2], &r3 = a[k + 3];
      for (int j = i; j <= n; ++j) s[j] = s[j] - c0 * r0[j] - c1 * r1[j] - c2 * r2[j] - c3 * r3[j];
    }
    for (; k < i; ++k) {
      const double c = a[k][i];
      for (int j = i; j <= n; ++j) s[j] -= c * a[k][j];
    }
    const double d = s[i];
    if (!(d > 0.0)) {
      ier = -1;
      return;
    }
    if (d <= std::fabs(tol * a[i][i]) && ier == 0) ier = i - 1;
    const double u = std::sqrt(d);
    a[i][i] = u;
    for (int j = i + 1; j <= n; ++j) a[i][j] = s[j] / u;
  }

  // V = U^-1 from the last row upwards: V(i, j) = -V(i, i) sum_{k=i+1..j}
  // U(i, k) V(k, j). Each row of V is copied into the lower triangle as well,
  // so that the product below reads it with unit stride.
  for (int i = n; i >= 1; --i) {
    const double rii = 1.0 / a[i][i];
    a[i][i] = rii;
    for (int j = i + 1; j <= n; ++j) s[j] = 0.0;
    int k = i + 1;
    for (; k + 3 <= n; k += 4) {
      const double c0 = a[i][k], c1 = a[i][k + 1], c2 = a[i][k + 2], c3 = a[i][k + 3];
      const auto &r0 = a[k], &r1 = a[k + 1], &r2 = a[k + 2], &r3 = a[k + 3];
      // Term k reaches columns k.., term k + 1 columns k + 1.., and so on.
      s[k] = s[k] + c0 * r0[k];
      s[k + 1] = s[k + 1] + c0 * r0[k + 1] + c1 * r1[k + 1];
      s[k + 2] = s[k + 2] + c0 * r0[k + 2] + c1 * r1[k + 2] + c2 * r2[k + 2];
      for (int j = k + 3; j <= n; ++j) s[j] = s[j] + c0 * r0[j] + c1 * r1[j] + c2 * r2[j] + c3 * r3[j];
    }
    for (; k <= n; ++k) {
      const double c = a[i][k];
      for (int j = k; j <= n; ++j) s[j] += c * a[k][j];
    }
    for (int j = i + 1; j <= n; ++j) a[j][i] = a[i][j] = -rii * s[j];
  }

  // M^-1 = V V': element (i, j), i <= j, is the sum over k = j..n of
  // V(i, k) V(j, k); V(j, k) is read from its copy at a[k][j].
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) s[j] = 0.0;
    int k = i;
    for (; k + 3 <= n; k += 4) {
      const double c0 = a[i][k], c1 = a[i][k + 1], c2 = a[i][k + 2], c3 = a[i][k + 3];
      const auto &r0 = a[k], &r1 = a[k + 1], &r2 = a[k + 2], &r3 = a[k + 3];
      // Term k reaches columns ..k, term k + 1 columns ..k + 1, and so on.
      for (int j = i; j <= k; ++j) s[j] = s[j] + c0 * r0[j] + c1 * r1[j] + c2 * r2[j] + c3 * r3[j];
      s[k + 1] = s[k + 1] + c1 * r1[k + 1] + c2 * r2[k + 1] + c3 * r3[k + 1];
      s[k + 2] = s[k + 2] + c2 * r2[k + 2] + c3 * r3[k + 2];
      s[k + 3] = s[k + 3] + c3 * r3[k + 3];
    }
    for (; k <= n; ++k) {
      const double c = a[i][k];
      for (int j = i; j <= k; ++j) s[j] += c * a[k][j];
    }
    for (int j = i; j <= n; ++j) a[i][j] = s[j];
  }
}

}  // namespace quelbro
