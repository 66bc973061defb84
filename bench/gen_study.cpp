// Writes a study in the case data file format, the same for the same seed:
// binormal results (negatives N(0,1), positives N(mu, 1/b)), either
// continuous or as ratings 1..5.
//   gen_study READERS TREATMENTS NNEG NPOS continuous|rating SEED
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rng.h"

namespace {

using bench::Rng;

int rating(double x) {
  static const double cut[4] = {-0.5, 0.3, 1.0, 1.8};
  int r = 1;
  for (double c : cut)
    if (x > c) ++r;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: gen_study READERS TREATMENTS NNEG NPOS continuous|rating SEED\n");
    return 2;
  }
  int readers = std::atoi(argv[1]), treatments = std::atoi(argv[2]);
  int nneg = std::atoi(argv[3]), npos = std::atoi(argv[4]);
  bool cont = std::strcmp(argv[5], "continuous") == 0;
  Rng rng{static_cast<std::uint64_t>(std::atoll(argv[6]))};

  std::printf("Generated %s study, %d readers x %d treatments, %d + %d cases\r\n",
              cont ? "continuous" : "rating", readers, treatments, nneg, npos);
  // Case difficulty is shared by readers and treatments, so that readers and
  // treatments are correlated as in a real study.
  const int n = nneg + npos;
  std::vector<double> base(static_cast<std::size_t>(n));
  for (auto& b : base) b = rng.normal();
  for (int r = 1; r <= readers; ++r) {
    std::printf(" Reader %-13d\r\n", r);
    if (r == 1) {
      std::string header, dirs;
      for (int t = 1; t <= treatments; ++t) header += "\"Modality " + std::to_string(t) + "  \"\t";
      for (int t = 1; t <= treatments; ++t) dirs += "L ";
      std::printf(" %s\r\n %s\r\n", header.c_str(), dirs.c_str());
    }
    for (int state = 0; state < 2; ++state) {
      int count = state == 0 ? nneg : npos;
      for (int c = 0; c < count; ++c) {
        auto idx = static_cast<std::size_t>(state == 0 ? c : nneg + c);
        for (int t = 1; t <= treatments; ++t) {
          double mu = state == 0 ? 0.0 : 1.2 + 0.15 * t + 0.05 * r;
          double sd = state == 0 ? 1.0 : 1.0 / (0.9 + 0.05 * t);
          double x = mu + sd * (0.6 * base[idx] + 0.8 * rng.normal());
          if (cont)
            std::printf(" %.5E\t", x);
          else
            std::printf(" %d\t", rating(x));
        }
        std::printf("\r\n");
      }
      std::printf("******\r\n");
    }
  }
  std::printf(" #\r\n");
  return 0;
}
