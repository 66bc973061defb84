// The fit record shared by every routine of one binormal fit, and the case
// result tables of the current reader.
#pragma once

#include <array>

namespace quelbro {

inline constexpr int kMaxReaders = 10;
inline constexpr int kMaxTreatments = 5;
inline constexpr int kMaxCasesPerState = 2000;
inline constexpr int kMaxCases = 2 * kMaxCasesPerState;
inline constexpr int kMaxCategories = 20;

// Results of one reader, treatment x case, single precision. 1-based in both
// indices (row 0 and column 0 unused). After categorization a treatment's
// entries hold category numbers 1..NCAT.
struct ResultTable {
  std::array<std::array<float, kMaxCasesPerState + 1>, kMaxTreatments + 1> v{};
  float& operator()(int t, int i) { return v[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)]; }
  float operator()(int t, int i) const { return v[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)]; }
  void clear() {
    for (auto& row : v) row.fill(0.0f);
  }
};

// CATTAB. Every array is 1-based: slot 0 is unused, so that CNEG[k] is the
// count of category k and PARM[1] = A, PARM[2] = B, PARM[k + 2] = Z(k).
struct CatTab {
  int NNEG = 0;
  int NPOS = 0;
  int NCAT = 0;
  int KHIGH = 0;
  std::array<double, kMaxCategories + 1> CNEG{};
  std::array<double, kMaxCategories + 1> CPOS{};
  std::array<double, kMaxCategories + 2> FPF{};
  std::array<double, kMaxCategories + 2> TPF{};
  std::array<double, kMaxCategories + 2> PARM{};
  std::array<double, kMaxCategories + 1> CUMNEG{};
  std::array<double, kMaxCategories + 1> CUMPOS{};
  std::array<double, kMaxCategories> CUTS{};
  double TRAPA = 0.0;
  double TRAPSE = 0.0;
};

// COVMAT: 21 x 21, 1-based in both indices.
using CovMat = std::array<std::array<double, kMaxCategories + 2>, kMaxCategories + 2>;

}  // namespace quelbro
