// Inverse of a symmetric positive-definite matrix in packed storage (SPDINV,
// its Cholesky step CHOLPK) and the storage-mode helpers MATCVT and MATIDX.
#pragma once

#include <array>
#include <span>

namespace quelbro {

// Storage modes of an N x N matrix held in a flat array. Positions are 1-based:
// element (I, J) lives in array slot POS - 1.
inline constexpr int kFullMode = 0;    // by columns, leading dimension N: (J-1)*N + I
inline constexpr int kPackedMode = 1;  // upper triangle by columns: hi*(hi-1)/2 + lo
inline constexpr int kDiagMode = 2;    // diagonal only: I when I = J

// Number of slots an N x N matrix needs in the given mode.
int matrixSlots(int n, int mode);

// Position of element (i, j) of an n x n matrix in `mode`; 0 when the mode does
// not store it (off-diagonal of a diagonal matrix, an index out of 1..n, or an
// unknown mode).
int MATIDX(int i, int j, int n, int mode);

// Copies an n x n matrix between storage modes. Every destination slot visited
// is first cleared, then given the source element when the source stores it.
// Nothing is written when either array is too short for n.
void MATCVT(std::span<const double> src, std::span<double> dst, int n, int modeSrc, int modeDst);

// Cholesky factor M = U'U in packed storage, in place. ier: 0 success; i - 1
// when the pivot of row i >= 2 is positive but not above |tol * M(i,i)| (the
// first such row only); -1 when a pivot is not positive (or M is too short).
void CHOLPK(std::span<double> m, int n, double tol, int& ier);

// In-place inverse of a symmetric positive-definite matrix in packed storage;
// ier as for CHOLPK. When ier < 0 the array holds a partial factor.
void SPDINV(std::span<double> m, int n, double tol, int& ier);

// A matrix of order up to 21 held square, 1-based (row and column 0 unused):
// element (i, j) at a[i][j].
inline constexpr int kMaxOrder = 21;
using SquareMatrix = std::array<std::array<double, kMaxOrder + 1>, kMaxOrder + 1>;

// The same inverse on square storage, for the scoring iteration: the upper
// triangle (i <= j) holds M on entry and its inverse on return, the lower
// triangle is scratch. Every element comes out bit for bit as the packed
// SPDINV gives it (the same products, summed in the same order); only the
// addressing differs. ier as for CHOLPK; n above 21 gives -1.
void SPDINV(SquareMatrix& a, int n, double tol, int& ier);

}  // namespace quelbro
