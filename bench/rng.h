// The benchmark programs' random numbers: splitmix64, the same for the same
// seed on every machine, with uniform and normal deviates.
#pragma once

#include <cmath>
#include <cstdint>

namespace bench {

struct Rng {
  std::uint64_t s;
  std::uint64_t next() {  // splitmix64
    std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double uniform() { return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0; }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  double normal() {  // Box-Muller
    double u = uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }
};

}  // namespace bench
