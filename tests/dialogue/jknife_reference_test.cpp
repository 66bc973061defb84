// The jackknife's fast paths (per-category area cache, cache of failed fits
// with their messages replayed, incremental counts, trapezoidal area from
// category counts) against a plain jackknife written out case by case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "console/fields.h"
#include "console/text_console.h"
#include "dialogue/jknife.h"
#include "fit/catgrz.h"
#include "fit/estbin.h"

namespace quelbro {
namespace {

using Lines = std::vector<std::string>;

// A study of one reader under one treatment: the results, their direction,
// and where in the tables (reader, treatment) the jackknife is run.
struct Study {
  std::string name;
  std::vector<float> neg, pos;
  int direction = 1;
  int reader = 1, treatment = 1;
  bool reportFile = true;
};

struct Outcome {
  Lines screen, file;
  std::vector<double> pv;  // cases 1..N
  int psflag = 0;
  int fits = 0;  // fits actually run
};

FitContext contextFor(const Study& s, const Destinations& out) {
  FitContext ctx;
  ctx.out = &out;
  ctx.title = "Reference comparison";
  ctx.datdes = s.name;
  ctx.readerName = "Reader R";
  ctx.treatmentDes = "Treatment T";
  ctx.input = InputKind::FromFile;
  ctx.fileName = "small.dat";
  ctx.maxdec = 2;
  ctx.direction = s.direction;
  ctx.date = "08-Dec-26";
  ctx.time = "09:15:00";
  return ctx;
}

void load(const Study& s, ResultTable& xneg, ResultTable& xpos) {
  xneg.clear();
  xpos.clear();
  for (std::size_t i = 0; i < s.neg.size(); ++i) xneg(s.treatment, static_cast<int>(i) + 1) = s.neg[i];
  for (std::size_t j = 0; j < s.pos.size(); ++j) xpos(s.treatment, static_cast<int>(j) + 1) = s.pos[j];
  // Other treatments hold values the jackknife must not touch.
  for (int t = 1; t <= kMaxTreatments; ++t) {
    if (t == s.treatment) continue;
    for (int i = 1; i <= kMaxCasesPerState; ++i) xneg(t, i) = xpos(t, i) = 7.25f;
  }
}

// The jackknife written out plainly: every step recounts the
// categories of all cases but the left-out one, merges them, computes the
// Wilcoxon area pair by pair, and runs the fit. Where an earlier case of the
// same category and truth state already gave an area, the fast jackknife runs
// no fit and writes nothing; the plain one runs the fit anyway, checks that it
// gives the same area, and drops what it wrote.
Outcome plainJackknife(const Study& s, PvTable& pv, PsflagTable& psflag) {
  Outcome o;
  LineCollector screen, file;
  Destinations out(screen, s.reportFile ? &file : nullptr);
  const FitContext ctx = contextFor(s, out);
  LineCollector dropped;
  Destinations nowhere(dropped, s.reportFile ? &dropped : nullptr);
  FitContext quiet = ctx;
  quiet.out = &nowhere;

  ResultTable xneg, xpos;
  load(s, xneg, xpos);
  const int t = s.treatment, r = s.reader;
  const int n0 = static_cast<int>(s.neg.size()), n1 = static_cast<int>(s.pos.size()), n = n0 + n1;
  CatTab ct;
  ct.NNEG = n0;
  ct.NPOS = n1;
  CATGRZ(ct, t, 0, xneg, xpos, s.direction);
  const int k0 = ct.NCAT;

  int jstat = 1;
  double fulla = 0.0;
  int& flag = psflag[static_cast<std::size_t>(r)][static_cast<std::size_t>(t)];
  // Area of the first fit of each (truth state, category) that gave one.
  std::vector<double> firstNeg(static_cast<std::size_t>(k0) + 2, 0.0), firstPos = firstNeg;

  for (int k = 0; k <= n; ++k) {
    const bool leftNeg = k >= 1 && k <= n0;
    const bool leftPos = k > n0;
    // Counts of the categories as CATGRZ numbered them, case k left out.
    std::vector<double> sneg(static_cast<std::size_t>(k0) + 2, 0.0), spos = sneg;
    for (int i = 1; i <= n0; ++i)
      if (!(leftNeg && i == k)) sneg[static_cast<std::size_t>(xneg(t, i))] += 1.0;
    for (int j = 1; j <= n1; ++j)
      if (!(leftPos && n0 + j == k)) spos[static_cast<std::size_t>(xpos(t, j))] += 1.0;
    const int cN = leftNeg ? n0 - 1 : n0;
    const int cP = leftPos ? n1 - 1 : n1;

    if (k >= 1 && (cN == 0 || cP == 0)) {
      // The jackknife gives the only case of its truth state no influence.
      pv(r, t, k) = fulla / n;
      continue;
    }

    // Wilcoxon-Mann-Whitney statistic, pair by pair, ties counting one half,
    // and the Hanley-McNeil standard error.
    double w = 0.0;
    for (int i = 1; i <= n0; ++i) {
      if (leftNeg && i == k) continue;
      for (int j = 1; j <= n1; ++j) {
        if (leftPos && n0 + j == k) continue;
        if (xneg(t, i) < xpos(t, j)) w += 1.0;
        if (xneg(t, i) == xpos(t, j)) w += 0.5;
      }
    }
    const double a = w / (static_cast<double>(cN) * cP);
    const double q1 = a / (2.0 - a);
    const double q2 = 2.0 * a * a / (1.0 + a);
    ct.TRAPA = a;
    ct.TRAPSE = std::sqrt(
        std::max(0.0, (a * (1.0 - a) + (cP - 1.0) * (q1 - a * a) + (cN - 1.0) * (q2 - a * a)) / (static_cast<double>(cN) * cP)));

    // Merge: an emptied category goes, a category of one truth state next to
    // one of the same truth state joins it (judged on the unmerged counts).
    ct.NNEG = cN;
    ct.NPOS = cP;
    ct.CNEG.fill(0.0);
    ct.CPOS.fill(0.0);
    const int first = (sneg[1] == 0.0 && spos[1] == 0.0) ? 2 : 1;
    int m = 1;
    ct.CNEG[1] = sneg[static_cast<std::size_t>(first)];
    ct.CPOS[1] = spos[static_cast<std::size_t>(first)];
    for (int c = first + 1; c <= k0; ++c) {
      const auto u = static_cast<std::size_t>(c);
      if (sneg[u] == 0.0 && sneg[u - 1] == 0.0) {
        ct.CPOS[static_cast<std::size_t>(m)] += spos[u];
      } else if (spos[u] == 0.0 && spos[u - 1] == 0.0) {
        ct.CNEG[static_cast<std::size_t>(m)] += sneg[u];
      } else if (sneg[u] != 0.0 || spos[u] != 0.0) {
        ++m;
        ct.CNEG[static_cast<std::size_t>(m)] = sneg[u];
        ct.CPOS[static_cast<std::size_t>(m)] = spos[u];
      }
    }
    ct.NCAT = m;

    const double inFit = cN + cP;
    double area = -1.0;
    if (jstat == 1) {
      double* firstArea = nullptr;
      if (leftNeg) firstArea = &firstNeg[static_cast<std::size_t>(xneg(t, k))];
      if (leftPos) firstArea = &firstPos[static_cast<std::size_t>(xpos(t, k - n0))];
      if (firstArea != nullptr && *firstArea > 0.0) {
        area = ESTBIN(ct, k, t, r, quiet) * inFit;
        EXPECT_EQ(area, *firstArea) << s.name << ": equal counts gave a different fit at case " << k;
      } else {
        ++o.fits;
        area = ESTBIN(ct, k, t, r, ctx) * inFit;
        if (firstArea != nullptr && area > 0.0) *firstArea = area;
      }
    }

    if (k == 0) {
      fulla = area;
      if (!(area > 0.0)) {
        jstat = -1;
        fulla = inFit * ct.TRAPA;
        flag = -100;
      }
    } else if (area > 0.0 && jstat >= 1) {
      pv(r, t, k) = fulla - area;
    } else {
      flag += jstat;
      pv(r, t, k) = fulla - inFit * ct.TRAPA;
    }
  }
  if (jstat < 0) out.toScreen(ListLine().t("Degenerate").i(jstat).i(flag).str());

  o.screen = screen.lines();
  o.file = file.lines();
  for (int k = 1; k <= n; ++k) o.pv.push_back(pv(r, t, k));
  o.psflag = flag;
  return o;
}

Outcome fastJackknife(const Study& s, PvTable& pv, PsflagTable& psflag) {
  Outcome o;
  LineCollector screen, file;
  Destinations out(screen, s.reportFile ? &file : nullptr);
  const FitContext ctx = contextFor(s, out);
  ResultTable xneg, xpos;
  load(s, xneg, xpos);
  CatTab ct;
  const int n0 = static_cast<int>(s.neg.size()), n1 = static_cast<int>(s.pos.size());
  o.fits = JKNIFE(s.reader, s.treatment, n0, n1, xneg, xpos, pv, psflag, ct, ctx);
  o.screen = screen.lines();
  o.file = file.lines();
  for (int k = 1; k <= n0 + n1; ++k) o.pv.push_back(pv(s.reader, s.treatment, k));
  o.psflag = psflag[static_cast<std::size_t>(s.reader)][static_cast<std::size_t>(s.treatment)];
  return o;
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
  double normal() { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); }
};

// Cases with the given ratings per category (rating c for category c), in a
// shuffled order so that cases of one category are not neighbours.
std::vector<float> ratings(const std::vector<int>& counts, Rng& rng, int direction) {
  std::vector<float> v;
  for (std::size_t c = 0; c < counts.size(); ++c)
    for (int i = 0; i < counts[c]; ++i) v.push_back(static_cast<float>(direction * static_cast<int>(c + 1)));
  for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[static_cast<std::size_t>(rng.below(static_cast<int>(i)))]);
  return v;
}

Study fromCounts(std::string name, const std::vector<int>& neg, const std::vector<int>& pos, std::uint64_t seed,
                 int direction = 1) {
  Rng rng{seed};
  Study s;
  s.name = std::move(name);
  s.direction = direction;
  s.neg = ratings(neg, rng, direction);
  s.pos = ratings(pos, rng, direction);
  return s;
}

// Binormal results to two decimals: negatives N(0,1), positives N(mu, sd).
Study continuous(std::string name, int n0, int n1, double mu, double sd, std::uint64_t seed, int direction) {
  Rng rng{seed};
  Study s;
  s.name = std::move(name);
  s.direction = direction;
  auto round2 = [](double x) { return static_cast<float>(std::round(x * 100.0) / 100.0); };
  for (int i = 0; i < n0; ++i) s.neg.push_back(round2(direction * rng.normal()));
  for (int j = 0; j < n1; ++j) s.pos.push_back(round2(direction * (mu + sd * rng.normal())));
  return s;
}

// Ratings 1..levels drawn from a binormal model: many ties, few categories,
// so left-out fits often lose a category or become degenerate.
Study coarse(std::string name, int n0, int n1, int levels, double mu, std::uint64_t seed) {
  Rng rng{seed};
  Study s;
  s.name = std::move(name);
  auto rate = [&](double x) {
    int v = 1 + static_cast<int>(std::floor((x + 1.5) / 3.5 * levels));
    return static_cast<float>(std::clamp(v, 1, levels));
  };
  for (int i = 0; i < n0; ++i) s.neg.push_back(rate(rng.normal()));
  for (int j = 0; j < n1; ++j) s.pos.push_back(rate(mu + rng.normal()));
  return s;
}

std::vector<Study> studies() {
  std::vector<Study> v;
  // Left-out fits that do not converge, in categories of several cases each
  // (negatives of categories 3 and 4), so that failures are replayed.
  v.push_back(fromCounts("failing left-out fits", {38, 8, 5, 6, 0}, {30, 0, 1, 0, 66}, 11));
  {
    Study s = fromCounts("failing, smaller abnormal", {38, 8, 5, 6, 0}, {30, 0, 1, 0, 66}, 12, -1);
    s.reader = 3;
    s.treatment = 4;
    s.reportFile = false;
    v.push_back(s);
  }
  v.push_back(fromCounts("failing, one case", {58, 0, 1, 1}, {29, 1, 0, 30}, 13));
  v.push_back(fromCounts("failing, two cases", {103, 2, 1, 0}, {51, 1, 0, 32}, 14));
  // Perfect separation: every fit is degenerate and returns an area.
  v.push_back(fromCounts("separated", {6, 4, 0, 0}, {0, 0, 5, 3}, 15));
  // Two categories with the interior point inside the square: the fit on all
  // cases gives no area, every pseudovalue is trapezoidal.
  v.push_back(fromCounts("no full fit", {9, 4}, {3, 8}, 16));
  // Leaving out the one positive of category 3 leaves two categories with
  // their point inside the square: a degenerate left-out fit without an area.
  v.push_back(fromCounts("degenerate left-out fit", {5, 3, 0}, {2, 3, 1}, 20));
  // Every result equal.
  v.push_back(fromCounts("all tied", {7}, {5}, 17));
  // A single actually-negative case.
  v.push_back(fromCounts("one negative", {1, 0, 0}, {2, 3, 4}, 18));
  v.push_back(continuous("one positive", 12, 1, 1.0, 1.0, 19, 1));
  for (int i = 0; i < 6; ++i) {
    const std::uint64_t seed = 100 + static_cast<std::uint64_t>(i);
    Rng rng{seed};
    const int n0 = 5 + rng.below(40), n1 = 5 + rng.below(40);
    v.push_back(continuous("continuous " + std::to_string(i), n0, n1, 0.5 + 1.5 * rng.uniform(),
                           0.5 + rng.uniform(), seed, i % 2 == 0 ? 1 : -1));
    v.push_back(coarse("coarse " + std::to_string(i), n0, n1, 3 + i % 4, 0.8 + 0.3 * i, seed + 50));
  }
  // Enough cases per truth state that twenty categories are kept.
  v.push_back(continuous("twenty categories", 60, 55, 1.2, 1.3, 31, 1));
  return v;
}

TEST(JknifeReference, FastPathsWriteAndComputeWhatThePlainJackknifeDoes) {
  for (const Study& s : studies()) {
    SCOPED_TRACE(s.name);
    PvTable pvFast, pvPlain;
    PsflagTable flagsFast{}, flagsPlain{};
    const Outcome fast = fastJackknife(s, pvFast, flagsFast);
    const Outcome plain = plainJackknife(s, pvPlain, flagsPlain);
    ASSERT_EQ(fast.screen.size(), plain.screen.size());
    for (std::size_t i = 0; i < fast.screen.size(); ++i) EXPECT_EQ(fast.screen[i], plain.screen[i]) << "screen line " << i;
    ASSERT_EQ(fast.file.size(), plain.file.size());
    for (std::size_t i = 0; i < fast.file.size(); ++i) EXPECT_EQ(fast.file[i], plain.file[i]) << "file line " << i;
    ASSERT_EQ(fast.pv.size(), plain.pv.size());
    for (std::size_t k = 0; k < fast.pv.size(); ++k) EXPECT_EQ(fast.pv[k], plain.pv[k]) << "case " << k + 1;
    EXPECT_EQ(fast.psflag, plain.psflag);
    EXPECT_LE(fast.fits, plain.fits);
  }
}

// The studies above really contain what they are meant to: left-out fits that
// do not converge (replayed for later cases), degenerate left-out fits, a
// failed fit on all cases, and the categories intended by their counts.
TEST(JknifeReference, StudiesCoverFailingAndDegenerateFits) {
  auto count = [](const Lines& lines, const std::string& text) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  const std::vector<Study> all = studies();
  auto find = [&](const std::string& name) {
    return *std::find_if(all.begin(), all.end(), [&](const Study& s) { return s.name == name; });
  };

  {
    // Negatives of category 3 (5 cases) and 4 (6 cases) fail: 11 messages,
    // 11 trapezoidal pseudovalues, but only two failed fits are run.
    const Study s = find("failing left-out fits");
    PvTable pv;
    PsflagTable flags{};
    const Outcome o = fastJackknife(s, pv, flags);
    EXPECT_EQ(count(o.screen, "DOES NOT CONVERGE -- 100 ITERATIONS"), 11);
    EXPECT_EQ(count(o.file, "DOES NOT CONVERGE"), 0);
    EXPECT_EQ(o.psflag, 11);
    // Five categories: one full fit and at most one per category and truth state.
    EXPECT_LE(o.fits, 1 + 5 + 4);
  }
  {
    const Study s = find("separated");
    PvTable pv;
    PsflagTable flags{};
    const Outcome o = fastJackknife(s, pv, flags);
    EXPECT_GE(count(o.screen, "IMPLY PERFECT DECISION"), 2);
    EXPECT_EQ(o.psflag, 0);
  }
  {
    const Study s = find("no full fit");
    PvTable pv;
    PsflagTable flags{};
    const Outcome o = fastJackknife(s, pv, flags);
    EXPECT_EQ(o.psflag, -100 - 24);
    EXPECT_EQ(o.fits, 1);
    EXPECT_EQ(o.screen.back(), ListLine().t("Degenerate").i(-1).i(-124).str());
  }
  {
    const Study s = find("degenerate left-out fit");
    PvTable pv;
    PsflagTable flags{};
    const Outcome o = fastJackknife(s, pv, flags);
    EXPECT_EQ(count(o.screen, "PROVIDE ONLY A SINGLE"), 1);
    EXPECT_EQ(count(o.file, "PROVIDE ONLY A SINGLE"), 1);
    EXPECT_EQ(o.psflag, 1);
  }

  // Ratings of the count-built studies give back their counts as categories.
  for (const std::string name : {"failing left-out fits", "failing, smaller abnormal", "failing, two cases"}) {
    const Study s = find(name);
    ResultTable xneg, xpos;
    load(s, xneg, xpos);
    CatTab ct;
    ct.NNEG = static_cast<int>(s.neg.size());
    ct.NPOS = static_cast<int>(s.pos.size());
    CATGRZ(ct, s.treatment, 0, xneg, xpos, s.direction);
    std::vector<int> neg(static_cast<std::size_t>(ct.NCAT)), pos(neg.size());
    for (float v : s.neg) neg[static_cast<std::size_t>(std::abs(v)) - 1] += 1;
    for (float v : s.pos) pos[static_cast<std::size_t>(std::abs(v)) - 1] += 1;
    for (int c = 1; c <= ct.NCAT; ++c) {
      EXPECT_EQ(ct.CNEG[static_cast<std::size_t>(c)], neg[static_cast<std::size_t>(c) - 1]) << name << " category " << c;
      EXPECT_EQ(ct.CPOS[static_cast<std::size_t>(c)], pos[static_cast<std::size_t>(c) - 1]) << name << " category " << c;
    }
  }
}

}  // namespace
}  // namespace quelbro
