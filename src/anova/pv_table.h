// The pseudovalue table (reader x treatment x case) and the status flags.
#pragma once

#include <array>
#include <vector>

namespace quelbro {

// PV, 1-based in all three indices: readers 1..10, treatments 1..5, cases
// 1..4000 (actually-negative cases first). Allocated once, for the whole run.
class PvTable {
 public:
  static constexpr int kR = 10, kT = 5, kC = 4000;
  PvTable() : v_(static_cast<std::size_t>((kR + 1) * (kT + 1) * (kC + 1)), 0.0) {}
  double& operator()(int r, int t, int c) { return v_[index(r, t, c)]; }
  double operator()(int r, int t, int c) const { return v_[index(r, t, c)]; }
  void clear() { std::fill(v_.begin(), v_.end(), 0.0); }
  // The cell's cases 1..kC lie side by side from here on.
  double* cell(int r, int t) { return &v_[index(r, t, 1)]; }
  const double* cell(int r, int t) const { return &v_[index(r, t, 1)]; }

 private:
  static std::size_t index(int r, int t, int c) {
    return (static_cast<std::size_t>(r) * (kT + 1) + static_cast<std::size_t>(t)) * (kC + 1) +
           static_cast<std::size_t>(c);
  }
  std::vector<double> v_;
};

// PSFLAG, 1-based: [reader][treatment].
using PsflagTable = std::array<std::array<int, 6>, 11>;

}  // namespace quelbro
