// Packed-storage Cholesky factor and inverse, and the storage-mode helpers.
#include "fit/spdinv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace quelbro {
namespace {

struct IdxCase {
  int i, j, n, mode, pos;
};

TEST(Spdinv, MatidxGivesThePositionInEachMode) {
  const IdxCase cases[] = {
      {1, 1, 3, kFullMode, 1},
      {2, 1, 3, kFullMode, 2},
      {1, 2, 3, kFullMode, 4},
      {3, 3, 3, kFullMode, 9},
      {2, 3, 3, kFullMode, 8},
      {1, 1, 3, kPackedMode, 1},
      {1, 2, 3, kPackedMode, 2},
      {2, 1, 3, kPackedMode, 2},
      {2, 2, 3, kPackedMode, 3},
      {1, 3, 3, kPackedMode, 4},
      {3, 2, 3, kPackedMode, 5},
      {3, 3, 3, kPackedMode, 6},
      {21, 21, 21, kPackedMode, 231},
      {2, 2, 3, kDiagMode, 2},
      {1, 2, 3, kDiagMode, 0},
      {3, 1, 3, kDiagMode, 0},
      {4, 1, 3, kFullMode, 0},
      {0, 1, 3, kPackedMode, 0},
      {1, 1, 3, 7, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MATIDX(c.i, c.j, c.n, c.mode), c.pos) << c.i << "," << c.j << " mode " << c.mode;
}

TEST(Spdinv, MatcvtMovesMatricesBetweenModes) {
  // Full 3x3 by columns: element (i, j) = 10 i + j (not symmetric, so the
  // upper triangle is seen to be the one taken).
  std::vector<double> full(9);
  for (int j = 1; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) full[(j - 1) * 3 + i - 1] = 10 * i + j;

  std::vector<double> packed(6, -1.0);
  MATCVT(full, packed, 3, kFullMode, kPackedMode);
  EXPECT_EQ(packed, (std::vector<double>{11, 12, 22, 13, 23, 33}));

  std::vector<double> back(9, -1.0);
  MATCVT(packed, back, 3, kPackedMode, kFullMode);
  // Packed storage is symmetric: (2,1) reads the stored (1,2).
  EXPECT_EQ(back, (std::vector<double>{11, 12, 13, 12, 22, 23, 13, 23, 33}));

  std::vector<double> diag(3, -1.0);
  MATCVT(full, diag, 3, kFullMode, kDiagMode);
  EXPECT_EQ(diag, (std::vector<double>{11, 22, 33}));

  std::vector<double> fromDiag(9, -1.0);
  MATCVT(diag, fromDiag, 3, kDiagMode, kFullMode);
  EXPECT_EQ(fromDiag, (std::vector<double>{11, 0, 0, 0, 22, 0, 0, 0, 33}));

  std::vector<double> packedFromDiag(6, -1.0);
  MATCVT(diag, packedFromDiag, 3, kDiagMode, kPackedMode);
  EXPECT_EQ(packedFromDiag, (std::vector<double>{11, 0, 22, 0, 0, 33}));

  // A destination too short for the order is left alone.
  std::vector<double> shortDst(2, -1.0);
  MATCVT(full, shortDst, 3, kFullMode, kPackedMode);
  EXPECT_EQ(shortDst, (std::vector<double>{-1.0, -1.0}));
}

TEST(Spdinv, CholpkFactorsAKnownMatrix) {
  // M = U'U with U = [[2, 1, -1], [0, 3, 1], [0, 0, sqrt 3]].
  std::vector<double> m = {4, 2, 10, -2, 2, 5};
  int ier = 99;
  CHOLPK(m, 3, 0.001, ier);
  EXPECT_EQ(ier, 0);
  const double expected[] = {2, 1, 3, -1, 1, std::sqrt(3.0)};
  for (int p = 0; p < 6; ++p) EXPECT_NEAR(m[p], expected[p], 1e-14) << p;
}

TEST(Spdinv, SpdinvInvertsKnownMatrices) {
  std::vector<double> m2 = {2, 1, 2};  // [[2,1],[1,2]]^-1 = [[2,-1],[-1,2]]/3
  int ier = 99;
  SPDINV(m2, 2, 0.001, ier);
  EXPECT_EQ(ier, 0);
  EXPECT_NEAR(m2[0], 2.0 / 3, 1e-15);
  EXPECT_NEAR(m2[1], -1.0 / 3, 1e-15);
  EXPECT_NEAR(m2[2], 2.0 / 3, 1e-15);

  // The 3x3 above: inverse by cofactors, det = 108.
  std::vector<double> m3 = {4, 2, 10, -2, 2, 5};
  SPDINV(m3, 3, 0.001, ier);
  EXPECT_EQ(ier, 0);
  const double inv[] = {46.0 / 108, -14.0 / 108, 16.0 / 108, 24.0 / 108, -12.0 / 108, 36.0 / 108};
  for (int p = 0; p < 6; ++p) EXPECT_NEAR(m3[p], inv[p], 1e-14) << p;
}

// Gauss-Jordan with full pivoting on a dense row-major copy.
std::vector<double> gaussJordanInverse(std::vector<double> a, int n) {
  std::vector<double> inv(n * n, 0.0);
  for (int i = 0; i < n; ++i) inv[i * n + i] = 1.0;
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r * n + c]) > std::fabs(a[piv * n + c])) piv = r;
    for (int k = 0; k < n; ++k) {
      std::swap(a[c * n + k], a[piv * n + k]);
      std::swap(inv[c * n + k], inv[piv * n + k]);
    }
    const double d = a[c * n + c];
    for (int k = 0; k < n; ++k) {
      a[c * n + k] /= d;
      inv[c * n + k] /= d;
    }
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[r * n + c];
      for (int k = 0; k < n; ++k) {
        a[r * n + k] -= f * a[c * n + k];
        inv[r * n + k] -= f * inv[c * n + k];
      }
    }
  }
  return inv;
}

TEST(Spdinv, LargestOrderMatchesGaussJordan) {
  constexpr int n = 21;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  // S = G'G + I is symmetric positive definite.
  std::vector<double> g(n * n), s(n * n, 0.0);
  for (auto& v : g) v = u(rng);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      for (int k = 0; k < n; ++k) s[i * n + j] += g[k * n + i] * g[k * n + j];
      if (i == j) s[i * n + j] += 1.0;
    }
  std::vector<double> packed(n * (n + 1) / 2);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= j; ++i) packed[MATIDX(i, j, n, kPackedMode) - 1] = s[(i - 1) * n + j - 1];
  int ier = 99;
  SPDINV(packed, n, 0.001, ier);
  EXPECT_EQ(ier, 0);
  const auto ref = gaussJordanInverse(s, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      EXPECT_NEAR(packed[MATIDX(i, j, n, kPackedMode) - 1], ref[(i - 1) * n + j - 1], 1e-10);
}

struct IerCase {
  const char* what;
  std::vector<double> m;
  int n;
  double tol;
  int ier;
};

TEST(Spdinv, StatusReportsLossOfSignificanceAndIndefiniteMatrices) {
  const IerCase cases[] = {
      {"indefinite at row 2", {1, 2, 1}, 2, 0.001, -1},
      {"zero pivot at row 1", {0, 0, 1}, 2, 0.001, -1},
      {"negative diagonal", {-4}, 1, 0.001, -1},
      {"order 0", {1}, 0, 0.001, -1},
      {"NaN element", {1, std::nan(""), 1}, 2, 0.001, -1},
      // Pivot 0.0005 at row 2 is not above 0.001 x 1.0005.
      {"loss at row 2", {1, 1, 1.0005}, 2, 0.001, 1},
      // Only row 3 is nearly dependent: pivot 1e-4 against 0.5 x 1.0001.
      {"loss at row 3", {1, 0, 1, 1, 0, 1.0001}, 3, 0.5, 2},
      // With tol 2 every row loses; row 1 cannot be recorded (0), row 2 is.
      {"loss at every row", {1, 0, 1, 0, 0, 1}, 3, 2.0, 1},
      {"well conditioned", {1, 0, 1, 0, 0, 1}, 3, 0.001, 0},
  };
  for (const auto& c : cases) {
    auto m = c.m;
    int ier = 99;
    SPDINV(m, c.n, c.tol, ier);
    EXPECT_EQ(ier, c.ier) << c.what;
    auto m2 = c.m;
    int ier2 = 99;
    CHOLPK(m2, c.n, c.tol, ier2);
    EXPECT_EQ(ier2, c.ier) << c.what << " (CHOLPK)";
  }
}

TEST(Spdinv, InverseIsStillFormedAfterALossOfSignificance) {
  // [[1,1],[1,1.0005]]^-1 = [[1.0005,-1],[-1,1]] / 0.0005.
  std::vector<double> m = {1, 1, 1.0005};
  int ier = 0;
  SPDINV(m, 2, 0.001, ier);
  EXPECT_EQ(ier, 1);
  EXPECT_NEAR(m[0], 1.0005 / 0.0005, 1e-6);
  EXPECT_NEAR(m[1], -1.0 / 0.0005, 1e-6);
  EXPECT_NEAR(m[2], 1.0 / 0.0005, 1e-6);
}

// The square-storage inverse of the scoring iteration gives every element bit
// for bit as the packed routine does, also after a loss of significance, for
// every order, on well and badly conditioned matrices and on the arrowhead
// plus tridiagonal pattern of the binormal information.
TEST(Spdinv, SquareStorageMatchesPackedBitForBit) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int losses = 0, refused = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + trial % kMaxOrder;
    const int shape = (trial / kMaxOrder) % 4;
    // S = G'G + eps I.
    std::vector<double> g(static_cast<std::size_t>(n * n)), s(static_cast<std::size_t>(n * n), 0.0);
    for (auto& v : g) v = u(rng);
    if (shape == 1 && n > 1) {
      // The last column of G nearly repeats the first: its pivot loses significance.
      for (int k = 0; k < n; ++k)
        g[static_cast<std::size_t>(k * n + n - 1)] = g[static_cast<std::size_t>(k * n)] + 1e-3 * u(rng);
    }
    const double eps = shape == 1 ? 1e-9 : shape == 0 ? 1.0 : 0.5;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int k = 0; k < n; ++k)
          sum += g[static_cast<std::size_t>(k * n + i)] * g[static_cast<std::size_t>(k * n + j)];
        if (i == j) sum += eps;
        s[static_cast<std::size_t>(i * n + j)] = sum;
      }
    if (shape == 2) {
      // Two dense rows and a tridiagonal rest, as the binormal information.
      for (int i = 2; i < n; ++i)
        for (int j = 2; j < n; ++j)
          if (std::abs(i - j) > 1) s[static_cast<std::size_t>(i * n + j)] = 0.0;
    }
    if (shape == 3 && n > 1) s[static_cast<std::size_t>((n - 1) * n + n - 1)] = -1.0;  // indefinite
    std::vector<double> packed(static_cast<std::size_t>(n * (n + 1) / 2));
    SquareMatrix sq{};
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) {
        const double v = s[static_cast<std::size_t>((i - 1) * n + j - 1)];
        packed[static_cast<std::size_t>(MATIDX(i, j, n, kPackedMode) - 1)] = v;
        sq[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = v;
      }
    int ierPacked = 99, ierSquare = 99;
    SPDINV(packed, n, 0.001, ierPacked);
    SPDINV(sq, n, 0.001, ierSquare);
    ASSERT_EQ(ierSquare, ierPacked) << "trial " << trial;
    losses += ierPacked > 0 ? 1 : 0;
    refused += ierPacked < 0 ? 1 : 0;
    if (ierPacked < 0) continue;
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) {
        const double p = packed[static_cast<std::size_t>(MATIDX(i, j, n, kPackedMode) - 1)];
        const double q = sq[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
        ASSERT_EQ(std::memcmp(&p, &q, sizeof p), 0)
            << "trial " << trial << " (" << i << "," << j << ") " << p << " " << q;
      }
  }
  // The table really holds both kinds of trouble.
  EXPECT_GT(losses, 10) << losses;
  EXPECT_GT(refused, 10) << refused;
  int ier = 0;
  SquareMatrix big{};
  SPDINV(big, kMaxOrder + 1, 0.001, ier);
  EXPECT_EQ(ier, -1);
}

}  // namespace
}  // namespace quelbro
