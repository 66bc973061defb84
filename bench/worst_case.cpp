// Finds category count tables whose fit on all cases converges while the fits
// with one case left out do not, and writes a study built from such a table.
//   worst_case search SEED TRIES   random search, prints the best tables found
//   worst_case check               left-out verdicts of the built-in table
//   worst_case emit                the built-in table as a 10 x 5 rating study
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fit/cattab.h"
#include "fit/degene.h"
#include "fit/estbin.h"
#include "fit/fit_report.h"
#include "fit/inifit.h"
#include "fit/moslop.h"
#include "fit/fit_context.h"

namespace {

using quelbro::CatTab;
using quelbro::kMaxCategories;

struct Table {
  std::vector<int> neg, pos;  // category counts, least abnormal first
};

class Recorder : public quelbro::LineSink {
 public:
  void writeLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

enum class Verdict { Area, NoConvergence, OtherNoArea };

struct FitResult {
  Verdict verdict;
  double area;
};

FitResult fit(const std::vector<int>& neg, const std::vector<int>& pos, int ileave) {
  CatTab ct;
  int nneg = 0, npos = 0;
  ct.NCAT = static_cast<int>(neg.size());
  for (std::size_t c = 0; c < neg.size(); ++c) {
    ct.CNEG[c + 1] = neg[c];
    ct.CPOS[c + 1] = pos[c];
    nneg += neg[c];
    npos += pos[c];
  }
  ct.NNEG = nneg;
  ct.NPOS = npos;
  ct.KHIGH = ct.NCAT;
  for (int c = 1; c < ct.NCAT; ++c) ct.CUTS[static_cast<std::size_t>(c)] = c + 0.5;
  ct.TRAPA = 0.5;
  Recorder screen;
  quelbro::Destinations out(screen);
  quelbro::FitContext ctx;
  ctx.out = &out;
  double a = quelbro::ESTBIN(ct, ileave, 1, 1, ctx);
  if (a > 0.0) return {Verdict::Area, a};
  for (const auto& l : screen.lines)
    if (l.find("DOES NOT CONVERGE") != std::string::npos) return {Verdict::NoConvergence, a};
  return {Verdict::OtherNoArea, a};
}

// Pass count of the iteration on a table (0: degenerate data, no iteration).
int passes(const std::vector<int>& neg, const std::vector<int>& pos) {
  CatTab ct;
  int nneg = 0, npos = 0;
  ct.NCAT = static_cast<int>(neg.size());
  for (std::size_t c = 0; c < neg.size(); ++c) {
    ct.CNEG[c + 1] = neg[c];
    ct.CPOS[c + 1] = pos[c];
    nneg += neg[c];
    npos += pos[c];
  }
  ct.NNEG = nneg;
  ct.NPOS = npos;
  Recorder screen;
  quelbro::Destinations out(screen);
  quelbro::FitContext ctx;
  ctx.out = &out;
  quelbro::OBPNT(ct, 1, ctx);
  int ideg = 0, nin = 0;
  quelbro::PointIndex lpt{};
  quelbro::DEGTST(ideg, ct.NCAT, ct.FPF, ct.TPF, nin, lpt);
  if (ideg != 0) return 0;
  quelbro::INIFIT(ct);
  quelbro::CUTOFF(ct, ct.PARM[1], ct.PARM[2], screen);
  quelbro::FitWork work;
  quelbro::CovMat covmat;
  int iter = 0;
  quelbro::MOSLOP(ct, iter, covmat, work, screen);
  return iter;
}

// The jackknife's rebuild of a left-out fit's categories: empty categories go,
// adjacent categories of one truth state only are joined.
void rebuild(const std::vector<int>& sneg, const std::vector<int>& spos, std::vector<int>& neg,
             std::vector<int>& pos) {
  const int k0 = static_cast<int>(sneg.size());
  auto S = [&](const std::vector<int>& v, int i) { return v[static_cast<std::size_t>(i - 1)]; };
  neg.clear();
  pos.clear();
  int s = (S(sneg, 1) == 0 && S(spos, 1) == 0) ? 2 : 1;
  neg.push_back(S(sneg, s));
  pos.push_back(S(spos, s));
  for (int i = s; i <= k0 - 1; ++i) {
    if (S(sneg, i + 1) == 0 && S(sneg, i) == 0) {
      pos.back() += S(spos, i + 1);
    } else if (S(spos, i + 1) == 0 && S(spos, i) == 0) {
      neg.back() += S(sneg, i + 1);
    } else if (S(sneg, i + 1) == 0 && S(spos, i + 1) == 0) {
    } else {
      neg.push_back(S(sneg, i + 1));
      pos.push_back(S(spos, i + 1));
    }
  }
}

struct Score {
  bool fullOk = false;
  int failingCases = 0;     // left-out cases whose fit does not converge
  int failingFits = 0;      // distinct (category, truth state) left-out fits that fail
  int leftOutFits = 0;
};

Score evaluate(const Table& t, bool verbose) {
  Score sc;
  FitResult full = fit(t.neg, t.pos, 0);
  sc.fullOk = full.verdict == Verdict::Area;
  if (verbose) std::printf("full fit: %s area %.6f\n", sc.fullOk ? "converges" : "fails", full.area);
  if (!sc.fullOk) return sc;
  for (int state = 0; state < 2; ++state) {
    for (std::size_t g = 0; g < t.neg.size(); ++g) {
      const int n = state == 0 ? t.neg[g] : t.pos[g];
      if (n == 0) continue;
      std::vector<int> sneg = t.neg, spos = t.pos, neg, pos;
      (state == 0 ? sneg : spos)[g] -= 1;
      rebuild(sneg, spos, neg, pos);
      FitResult r = fit(neg, pos, 1);
      ++sc.leftOutFits;
      if (r.verdict == Verdict::NoConvergence) {
        ++sc.failingFits;
        sc.failingCases += n;
      }
      if (verbose)
        std::printf("  leave out a %s case of category %2zu (%4d cases): %s\n", state == 0 ? "negative" : "positive",
                    g + 1, n,
                    r.verdict == Verdict::Area ? "area" : r.verdict == Verdict::NoConvergence ? "DOES NOT CONVERGE" : "no area");
    }
  }
  return sc;
}

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
};

double Phi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// Spreads `total` cases over categories in proportion to `p` (largest remainders).
std::vector<int> apportion(const std::vector<double>& p, int total) {
  double sum = 0.0;
  for (double x : p) sum += x;
  std::vector<int> n(p.size());
  std::vector<std::pair<double, std::size_t>> rem;
  int used = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    double e = total * p[i] / sum;
    n[i] = static_cast<int>(e);
    used += n[i];
    rem.emplace_back(e - n[i], i);
  }
  std::sort(rem.begin(), rem.end(), [](auto& a, auto& b) { return a.first > b.first; });
  for (std::size_t i = 0; used < total; ++i, ++used) n[rem[i % rem.size()].second] += 1;
  return n;
}

// A binormal table: negatives N(0,1), positives N(a/b, 1/b), K categories.
Table binormal(Rng& rng, int k, int total) {
  double a = -1.0 + 5.0 * rng.uniform();
  double b = std::exp(-3.0 + 6.0 * rng.uniform());
  std::vector<double> cuts;
  for (int i = 0; i < k - 1; ++i) cuts.push_back(-3.0 + 6.0 * rng.uniform());
  std::sort(cuts.begin(), cuts.end());
  std::vector<double> pn, pp;
  double lo = 0.0, lp = 0.0;
  for (int i = 0; i < k; ++i) {
    double cn = i < k - 1 ? Phi(cuts[static_cast<std::size_t>(i)]) : 1.0;
    double cp = i < k - 1 ? Phi(b * cuts[static_cast<std::size_t>(i)] - a) : 1.0;
    pn.push_back(cn - lo);
    pp.push_back(cp - lp);
    lo = cn;
    lp = cp;
  }
  return {apportion(pn, total), apportion(pp, total)};
}

// Keeps the table a valid categorization: no empty category and no two
// adjacent categories holding one and the same truth state only.
bool valid(const Table& t) {
  for (std::size_t i = 0; i < t.neg.size(); ++i) {
    if (t.neg[i] + t.pos[i] == 0) return false;
    if (i > 0) {
      if (t.pos[i] == 0 && t.pos[i - 1] == 0) return false;
      if (t.neg[i] == 0 && t.neg[i - 1] == 0) return false;
    }
  }
  return true;
}

void print(const Table& t) {
  std::printf("  neg:");
  for (int x : t.neg) std::printf(" %d", x);
  std::printf("\n  pos:");
  for (int x : t.pos) std::printf(" %d", x);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "search") == 0) {
    Rng rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1};
    int tries = argc > 3 ? std::atoi(argv[3]) : 1000;
    int best = -1;
    int hist[104] = {};
    if (argc > 4) {
      for (int i = 0; i < tries; ++i) {
        int k = 4 + rng.below(17);
        Table t = binormal(rng, k, 2000);
        if (!valid(t)) continue;
        int np = passes(t.neg, t.pos);
        hist[std::min(np, 103)]++;
        if (np > 12) { std::printf("%d passes\n", np); print(t); }
      }
      for (int i = 0; i < 104; ++i) if (hist[i]) std::printf("%3d passes: %d\n", i, hist[i]);
      return 0;
    }
    for (int i = 0; i < tries; ++i) {
      int k = 4 + rng.below(17);
      Table t = binormal(rng, k, 2000);
      Table t2 = t;
      t2.pos = binormal(rng, k, 2000).pos;
      (void)t2;
      if (!valid(t)) continue;
      Score s = evaluate(t, false);
      if (s.fullOk && s.failingCases > best) {
        best = s.failingCases;
        std::printf("try %d: K=%d, %d of %d left-out fits fail, %d cases\n", i, k, s.failingFits, s.leftOutFits,
                    s.failingCases);
        print(t);
        std::fflush(stdout);
      }
    }
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "climb") == 0) {
    Rng rng{argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1};
    int iters = argc > 3 ? std::atoi(argv[3]) : 1000;
    // A start: a random binormal table whose fit on all cases fails, with
    // actually-positive cases moved from the lowest category to the highest
    // until it converges.
    Table t;
    for (;;) {
      int k = 4 + rng.below(17);
      t = binormal(rng, k, 2000);
      if (!valid(t) || passes(t.neg, t.pos) <= quelbro::kMaxPasses) continue;
      while (t.pos[0] > 0 && passes(t.neg, t.pos) > quelbro::kMaxPasses) {
        t.pos[0] -= 1;
        t.pos.back() += 1;
      }
      if (valid(t) && passes(t.neg, t.pos) <= quelbro::kMaxPasses) break;
    }
    Score cur = evaluate(t, false);
    std::printf("start K=%zu: %d of %d fail, %d cases\n", t.neg.size(), cur.failingFits, cur.leftOutFits,
                cur.failingCases);
    print(t);
    for (int it = 0; it < iters; ++it) {
      Table u = t;
      const std::size_t k = u.neg.size();
      auto& v = rng.below(2) == 0 ? u.neg : u.pos;
      std::size_t from = static_cast<std::size_t>(rng.below(static_cast<int>(k)));
      std::size_t to = static_cast<std::size_t>(rng.below(static_cast<int>(k)));
      int amount = 1 + rng.below(std::max(1, v[from] / 4 + 1));
      if (from == to || v[from] < amount) continue;
      v[from] -= amount;
      v[to] += amount;
      if (!valid(u) || passes(u.neg, u.pos) > quelbro::kMaxPasses) continue;
      Score s = evaluate(u, false);
      if (s.failingCases >= cur.failingCases) {
        if (s.failingCases > cur.failingCases)
          std::printf("iter %d: %d of %d fail, %d cases\n", it, s.failingFits, s.leftOutFits, s.failingCases);
        t = u;
        cur = s;
      }
    }
    print(t);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "passes") == 0) {
    // passes K n1..nK p1..pK: pass counts of the full fit and of each left-out fit
    int k = std::atoi(argv[2]);
    Table t;
    for (int i = 0; i < k; ++i) t.neg.push_back(std::atoi(argv[3 + i]));
    for (int i = 0; i < k; ++i) t.pos.push_back(std::atoi(argv[3 + k + i]));
    std::printf("%d", passes(t.neg, t.pos));
    for (int state = 0; state < 2; ++state) {
      std::printf(" |");
      for (std::size_t g = 0; g < t.neg.size(); ++g) {
        std::vector<int> sneg = t.neg, spos = t.pos, neg, pos;
        if ((state == 0 ? sneg : spos)[g] == 0) { std::printf(" -"); continue; }
        (state == 0 ? sneg : spos)[g] -= 1;
        rebuild(sneg, spos, neg, pos);
        std::printf(" %d", passes(neg, pos));
      }
    }
    std::printf("\n");
    return 0;
  }
  std::fprintf(stderr, "usage: worst_case search SEED TRIES | check | emit\n");
  return 2;
}
