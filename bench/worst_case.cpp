// The jackknife's worst case: category count tables whose fit on all cases
// converges while most fits with one case left out do not (they run the full
// 101 passes), and a largest-size study built from such a table.
//   worst_case search SEED STEPS [CASES [K NEG1..NEGK POS1..POSK]]
//       hill climb from a random table at the edge of convergence (or from
//       the given one) towards more failing left-out fits; prints the best
//   worst_case check [K NEG1..NEGK POS1..POSK]
//       the categories that the emitted ratings give, and the verdict of
//       every left-out fit, for the built-in table (or the given one)
//   worst_case emit [READERS TREATMENTS]
//       the built-in table as a study of 10 readers x 5 treatments (or the
//       given numbers), every reader and treatment holding its counts as
//       ratings
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fit/catgrz.h"
#include "fit/cattab.h"
#include "fit/degene.h"
#include "fit/estbin.h"
#include "fit/fit_report.h"
#include "fit/inifit.h"
#include "fit/moslop.h"
#include "fit/fit_context.h"

#include "rng.h"

namespace {

using quelbro::CatTab;
using quelbro::kMaxCategories;

struct Table {
  std::vector<int> neg, pos;  // category counts, least abnormal first
};

// Found by `worst_case search 2 2500` and checked by `worst_case check`:
// 2000 + 2000 cases in 20 categories; the fit on all cases converges, and 26
// of the 37 distinct left-out fits, covering 3053 of the 4000 cases, do not.
const Table kWorst = {
    {3, 23, 17, 261, 202, 46, 201, 168, 29, 504, 251, 3, 103, 5, 168, 7, 3, 1, 1, 4},
    {33, 4, 0, 7, 3, 3, 0, 2, 1, 5, 2, 1, 3, 1, 11, 2, 2, 0, 1, 1919}};

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

// The fit record of a table: its counts and case numbers.
CatTab record(const std::vector<int>& neg, const std::vector<int>& pos) {
  CatTab ct;
  ct.NCAT = static_cast<int>(neg.size());
  for (std::size_t c = 0; c < neg.size(); ++c) {
    ct.CNEG[c + 1] = neg[c];
    ct.CPOS[c + 1] = pos[c];
    ct.NNEG += neg[c];
    ct.NPOS += pos[c];
  }
  return ct;
}

FitResult fit(const std::vector<int>& neg, const std::vector<int>& pos, int ileave) {
  CatTab ct = record(neg, pos);
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

// Pass count of the iteration on a table, the steps of one fit as ESTBIN
// takes them (0: degenerate data, no iteration). Cheaper than a whole fit.
int passes(const std::vector<int>& neg, const std::vector<int>& pos) {
  CatTab ct = record(neg, pos);
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
      // an emptied category vanishes
    } else {
      neg.push_back(S(sneg, i + 1));
      pos.push_back(S(spos, i + 1));
    }
  }
}

int total(const std::vector<int>& counts) {
  int n = 0;
  for (int c : counts) n += c;
  return n;
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
      // The jackknife fits nothing when the left-out case is the only one of
      // its truth state.
      if (n == 0 || total(state == 0 ? t.neg : t.pos) < 2) continue;
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

using bench::Rng;

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

// A table from the command line: K, then K negative and K positive counts.
bool tableFrom(int argc, char** argv, int at, Table& t) {
  if (argc <= at) return false;
  const int k = std::atoi(argv[at]);
  if (k < 1 || k > kMaxCategories || argc < at + 1 + 2 * k) return false;
  t = {};
  for (int i = 0; i < k; ++i) t.neg.push_back(std::atoi(argv[at + 1 + i]));
  for (int i = 0; i < k; ++i) t.pos.push_back(std::atoi(argv[at + 1 + k + i]));
  return true;
}

int objective(const Score& s) { return s.failingCases + 50 * s.failingFits; }

int search(Rng& rng, int steps, int total, Table t) {
  // Start: a random binormal table whose fit on all cases fails, with
  // actually-positive cases moved from the lowest category to the highest
  // until it converges: the edge of convergence.
  for (int tries = 0; t.neg.empty() && tries < 1000000; ++tries) {
    Table u = binormal(rng, 4 + rng.below(kMaxCategories - 3), total);
    if (!valid(u) || passes(u.neg, u.pos) <= quelbro::kMaxPasses) continue;
    for (int m = 0; m < total && u.pos[0] > 0 && passes(u.neg, u.pos) > quelbro::kMaxPasses; ++m) {
      u.pos[0] -= 1;
      u.pos.back() += 1;
    }
    if (valid(u) && passes(u.neg, u.pos) <= quelbro::kMaxPasses) t = u;
  }
  if (t.neg.empty()) return 1;
  Score cur = evaluate(t, false);
  std::printf("start, K=%zu: %d of %d left-out fits fail, %d cases\n", t.neg.size(), cur.failingFits,
              cur.leftOutFits, cur.failingCases);
  print(t);
  // Moves of cases of one truth state from one category to another, kept when
  // the fit on all cases still converges and no fewer left-out fits fail.
  for (int it = 0; it < steps; ++it) {
    Table u = t;
    const int k = static_cast<int>(u.neg.size());
    auto& v = rng.below(2) == 0 ? u.neg : u.pos;
    const auto from = static_cast<std::size_t>(rng.below(k));
    const auto to = static_cast<std::size_t>(rng.below(k));
    const int amount = 1 + rng.below(std::max(1, v[from] / 4 + 1));
    if (from == to || v[from] < amount) continue;
    v[from] -= amount;
    v[to] += amount;
    if (!valid(u) || passes(u.neg, u.pos) > quelbro::kMaxPasses) continue;
    Score s = evaluate(u, false);
    if (!s.fullOk || objective(s) < objective(cur)) continue;
    if (objective(s) > objective(cur))
      std::printf("step %d: %d of %d left-out fits fail, %d cases\n", it, s.failingFits, s.leftOutFits,
                  s.failingCases);
    t = u;
    cur = s;
  }
  std::printf("best:\n");
  print(t);
  return 0;
}

// The cases of one truth state as ratings 1..K, category c holding counts[c-1]
// of them, in an order shuffled by `rng`.
std::vector<int> ratings(const std::vector<int>& counts, Rng& rng) {
  std::vector<int> v;
  for (std::size_t c = 0; c < counts.size(); ++c) v.insert(v.end(), static_cast<std::size_t>(counts[c]), static_cast<int>(c) + 1);
  for (std::size_t i = v.size(); i > 1; --i)
    std::swap(v[i - 1], v[static_cast<std::size_t>(rng.below(static_cast<int>(i)))]);
  return v;
}

// Runs the categorization on the ratings and compares its categories with the
// table: ratings are tie groups, a tie group of both truth states is a
// category of its own and so is a run of one truth state between them.
bool categorizesAsTable(const Table& t) {
  Rng rng{7};
  const std::vector<int> neg = ratings(t.neg, rng), pos = ratings(t.pos, rng);
  if (neg.size() > static_cast<std::size_t>(quelbro::kMaxCasesPerState) ||
      pos.size() > static_cast<std::size_t>(quelbro::kMaxCasesPerState))
    return false;
  auto xneg = std::make_unique<quelbro::ResultTable>();
  auto xpos = std::make_unique<quelbro::ResultTable>();
  for (std::size_t i = 0; i < neg.size(); ++i) (*xneg)(1, static_cast<int>(i) + 1) = static_cast<float>(neg[i]);
  for (std::size_t j = 0; j < pos.size(); ++j) (*xpos)(1, static_cast<int>(j) + 1) = static_cast<float>(pos[j]);
  CatTab ct;
  ct.NNEG = static_cast<int>(neg.size());
  ct.NPOS = static_cast<int>(pos.size());
  quelbro::CATGRZ(ct, 1, 0, *xneg, *xpos, 1);
  bool same = ct.NCAT == static_cast<int>(t.neg.size());
  std::printf("categorization of the ratings: %d categories\n  neg:", ct.NCAT);
  for (int c = 1; c <= ct.NCAT; ++c) std::printf(" %g", ct.CNEG[static_cast<std::size_t>(c)]);
  std::printf("\n  pos:");
  for (int c = 1; c <= ct.NCAT; ++c) std::printf(" %g", ct.CPOS[static_cast<std::size_t>(c)]);
  std::printf("\n");
  for (std::size_t c = 0; same && c < t.neg.size(); ++c)
    same = ct.CNEG[c + 1] == t.neg[c] && ct.CPOS[c + 1] == t.pos[c];
  std::printf("%s the table\n", same ? "same as" : "DIFFERENT FROM");
  return same;
}

// Tables for a study whose cells all differ: the worst table with a few cases
// moved between two categories of one truth state, kept only where the fit on
// all cases still converges and at least 20 left-out fits still fail, so that
// no left-out fit can be reused across cells.
std::vector<Table> distinctTables(int wanted) {
  std::vector<Table> found;
  const int k = static_cast<int>(kWorst.neg.size());
  for (int amount = 1; amount <= 3 && static_cast<int>(found.size()) < wanted; ++amount)
    for (int state = 0; state < 2 && static_cast<int>(found.size()) < wanted; ++state)
      for (int from = 0; from < k && static_cast<int>(found.size()) < wanted; ++from)
        for (int to = 0; to < k && static_cast<int>(found.size()) < wanted; ++to) {
          Table u = kWorst;
          std::vector<int>& v = state == 0 ? u.neg : u.pos;
          if (from == to || v[static_cast<std::size_t>(from)] < amount + 1) continue;
          v[static_cast<std::size_t>(from)] -= amount;
          v[static_cast<std::size_t>(to)] += amount;
          const Score sc = evaluate(u, false);
          if (sc.fullOk && sc.failingFits >= 20) found.push_back(u);
        }
  return found;
}

void emit(const Table& t, int readers, int treatments, const std::vector<Table>* cells) {
  Rng rng{20261208};
  std::printf("Worst case: left-out fits that do not converge, %d x %d x (%d + %d)\r\n", readers, treatments,
              total(t.neg), total(t.pos));
  for (int r = 1; r <= readers; ++r) {
    std::printf(" Reader %-13d\r\n", r);
    if (r == 1) {
      std::string header, dirs;
      for (int tr = 1; tr <= treatments; ++tr) {
        header += " \"Modality ";
        header += std::to_string(tr);
        header += "  \"\t";
        dirs += " L";
      }
      std::printf("%s\r\n%s\r\n", header.c_str(), dirs.c_str());
    }
    for (int state = 0; state < 2; ++state) {
      // Every treatment has the table's counts, each in its own case order.
      std::vector<std::vector<int>> cols;
      for (int tr = 1; tr <= treatments; ++tr) {
        const std::size_t i = static_cast<std::size_t>((r - 1) * treatments + tr - 1);
        const Table& cell = cells != nullptr && i < cells->size() ? (*cells)[i] : t;
        cols.push_back(ratings(state == 0 ? cell.neg : cell.pos, rng));
      }
      for (std::size_t c = 0; c < cols[0].size(); ++c) {
        for (const auto& col : cols) std::printf(" %d\t", col[c]);
        std::printf("\r\n");
      }
      std::printf("******\r\n");
    }
  }
  std::printf(" #\r\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "search" && argc >= 4) {
    Rng rng{std::strtoull(argv[2], nullptr, 10)};
    const int total = argc > 4 ? std::atoi(argv[4]) : quelbro::kMaxCasesPerState;
    Table t;
    tableFrom(argc, argv, 5, t);
    return search(rng, std::atoi(argv[3]), std::clamp(total, 1, quelbro::kMaxCasesPerState), t);
  }
  if (mode == "check") {
    Table t = kWorst;
    if (argc > 2 && !tableFrom(argc, argv, 2, t)) return 2;
    const bool same = categorizesAsTable(t);
    const Score s = evaluate(t, true);
    std::printf("%d of %d left-out fits fail, %d of %d cases\n", s.failingFits, s.leftOutFits, s.failingCases,
                total(t.neg) + total(t.pos));
    return same && s.fullOk ? 0 : 1;
  }
  if (mode == "emit") {
    // A smaller study with the same table in every reader and treatment
    // serves to compare with a jackknife run without its caches.
    const int readers = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, quelbro::kMaxReaders) : quelbro::kMaxReaders;
    const int treatments =
        argc > 3 ? std::clamp(std::atoi(argv[3]), 1, quelbro::kMaxTreatments) : quelbro::kMaxTreatments;
    emit(kWorst, readers, treatments, nullptr);
    return 0;
  }
  if (mode == "emit-distinct") {
    // Every reader and treatment with counts of its own: the worst case for
    // the fitting itself, since no left-out fit is met twice.
    const std::vector<Table> cells = distinctTables(quelbro::kMaxReaders * quelbro::kMaxTreatments);
    emit(kWorst, quelbro::kMaxReaders, quelbro::kMaxTreatments, &cells);
    return 0;
  }
  if (mode == "check-distinct") {
    const std::vector<Table> cells = distinctTables(quelbro::kMaxReaders * quelbro::kMaxTreatments);
    int failing = 0, fits = 0, cases = 0;
    for (const Table& c : cells) {
      const Score s = evaluate(c, false);
      failing += s.failingFits;
      fits += s.leftOutFits;
      cases += s.failingCases;
    }
    std::printf("%zu distinct tables: %d of %d left-out fits fail, %d cases\n", cells.size(), failing, fits, cases);
    return 0;
  }
  std::fprintf(stderr,
               "usage: worst_case search SEED STEPS [CASES [K NEG.. POS..]] | check [K NEG.. POS..] |"
               " emit [READERS TREATMENTS]\n");
  return 2;
}
