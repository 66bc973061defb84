// Test helpers: a study wired to a scripted screen and a collected report
// file, and pseudovalue tables built from known effects.
#pragma once

#include <string>
#include <vector>

#include "anova/anova.h"
#include "console/destinations.h"
#include "console/text_console.h"

namespace quelbro {

// +1 for an even index, -1 for an odd one: effects of a 2-level factor.
inline double sgn(int i) { return i % 2 == 0 ? 1.0 : -1.0; }

// Effects of a 2 x 2 x 2 table (reader, treatment, case): the grand value and
// one amplitude per main effect and interaction. Each source's sum of squares
// is 8 x amplitude^2 with 1 df.
struct Effects {
  double mu, a, b, g, ab, ag, bg, e;  // a treatment, b reader, g case
};

inline void fillEffects(PvTable& pv, const Effects& m) {
  for (int r = 1; r <= 2; ++r)
    for (int t = 1; t <= 2; ++t)
      for (int c = 1; c <= 2; ++c)
        pv(r, t, c) = m.mu + m.a * sgn(t) + m.b * sgn(r) + m.g * sgn(c) + m.ab * sgn(r) * sgn(t) +
                      m.ag * sgn(t) * sgn(c) + m.bg * sgn(r) * sgn(c) + m.e * sgn(r) * sgn(t) * sgn(c);
}

struct Study {
  explicit Study(bool withFile) : dest(screen, withFile ? &file : nullptr) {
    ctx.out = &dest;
    ctx.date = "05-Mar-24";
    ctx.time = "10:20:30";
    for (int r = 1; r <= 10; ++r)
      ctx.readerNames[static_cast<std::size_t>(r)] = "READER NO " + std::to_string(r);
    for (int t = 1; t <= 5; ++t) ctx.treatmentDes[static_cast<std::size_t>(t)] = "TRT " + std::to_string(t);
  }
  void setNames(const std::vector<std::string>& readers, const std::vector<std::string>& treatments) {
    for (std::size_t k = 0; k < readers.size(); ++k) ctx.readerNames[k + 1] = readers[k];
    for (std::size_t k = 0; k < treatments.size(); ++k) ctx.treatmentDes[k + 1] = treatments[k];
  }
  void run(int R, int T, int C) { ANOVA(pv, R, T, C, psflag, ctx); }
  const std::vector<std::string>& lines() const { return screen.lines(); }
  // Index of the first screen line equal to `text`, or -1.
  int find(const std::string& text, int from = 0) const {
    const auto& v = screen.lines();
    for (std::size_t k = static_cast<std::size_t>(from); k < v.size(); ++k)
      if (v[k] == text) return static_cast<int>(k);
    return -1;
  }
  // Index of the first screen line that starts with `prefix`, or -1.
  int findPrefix(const std::string& prefix, int from = 0) const {
    const auto& v = screen.lines();
    for (std::size_t k = static_cast<std::size_t>(from); k < v.size(); ++k)
      if (v[k].rfind(prefix, 0) == 0) return static_cast<int>(k);
    return -1;
  }

  PvTable pv;
  PsflagTable psflag{};
  ScriptedConsole screen;
  LineCollector file;
  Destinations dest;
  AnovaContext ctx;
};

}  // namespace quelbro
