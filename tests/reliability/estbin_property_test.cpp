// Every numerical loop ends: random category tables (1 to 20 categories, 0 to
// 50 cases per category and truth state) with a random case left out, through
// the fit and through the whole jackknife. Each call returns, gives an area in
// range, and no number of the fit report is NaN or infinite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "console/destinations.h"
#include "console/text_console.h"
#include "dialogue/jknife.h"
#include "fit/estbin.h"

namespace quelbro {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kTables = 20000;  // the sanitizer build runs the same loop, fewer times
constexpr int kJackknifeEvery = 40;
#else
constexpr int kTables = 100000;
constexpr int kJackknifeEvery = 10;
#endif

struct Counts {
  std::array<double, kMaxCategories + 2> neg{}, pos{};  // 1-based
  int k = 0;
  int nneg() const {
    double s = 0;
    for (int c = 1; c <= k; ++c) s += neg[static_cast<std::size_t>(c)];
    return static_cast<int>(s);
  }
  int npos() const {
    double s = 0;
    for (int c = 1; c <= k; ++c) s += pos[static_cast<std::size_t>(c)];
    return static_cast<int>(s);
  }
};

// A random table whose categories each hold at least one case, with at least
// one case of each truth state.
Counts randomTable(std::mt19937_64& rng) {
  std::uniform_int_distribution<int> kDist(1, kMaxCategories), count(0, 50), coin(0, 3);
  Counts raw;
  raw.k = kDist(rng);
  for (int c = 1; c <= raw.k; ++c) {
    // Zero counts are drawn often, so that one-state categories and empty
    // categories are common.
    raw.neg[static_cast<std::size_t>(c)] = coin(rng) == 0 ? 0 : count(rng);
    raw.pos[static_cast<std::size_t>(c)] = coin(rng) == 0 ? 0 : count(rng);
  }
  Counts t;
  for (int c = 1; c <= raw.k; ++c) {
    auto u = static_cast<std::size_t>(c);
    if (raw.neg[u] == 0 && raw.pos[u] == 0) continue;
    ++t.k;
    t.neg[static_cast<std::size_t>(t.k)] = raw.neg[u];
    t.pos[static_cast<std::size_t>(t.k)] = raw.pos[u];
  }
  if (t.k == 0) t.k = 1;
  if (t.nneg() == 0) t.neg[static_cast<std::size_t>(std::uniform_int_distribution<int>(1, t.k)(rng))] = 1;
  if (t.npos() == 0) t.pos[static_cast<std::size_t>(std::uniform_int_distribution<int>(1, t.k)(rng))] = 1;
  return t;
}

// The categories of a fit with one case left out, rebuilt from the counts as
// the jackknife describes it: a first category emptied by the left-out case
// is skipped, an emptied category vanishes, and adjacent categories holding
// cases of one truth state only are joined.
void rebuildInto(CatTab& ct, const Counts& s) {
  ct.CNEG.fill(0.0);
  ct.CPOS.fill(0.0);
  const int start = (s.neg[1] == 0 && s.pos[1] == 0) ? 2 : 1;
  int m = 1;
  ct.CNEG[1] = s.neg[static_cast<std::size_t>(start)];
  ct.CPOS[1] = s.pos[static_cast<std::size_t>(start)];
  for (int i = start; i <= s.k - 1; ++i) {
    const double n0 = s.neg[static_cast<std::size_t>(i)], n1 = s.neg[static_cast<std::size_t>(i + 1)];
    const double p0 = s.pos[static_cast<std::size_t>(i)], p1 = s.pos[static_cast<std::size_t>(i + 1)];
    if (n1 == 0 && n0 == 0) {
      ct.CPOS[static_cast<std::size_t>(m)] += p1;
    } else if (p1 == 0 && p0 == 0) {
      ct.CNEG[static_cast<std::size_t>(m)] += n1;
    } else if (n1 == 0 && p1 == 0) {
      // nothing: the emptied category vanishes
    } else {
      ++m;
      ct.CNEG[static_cast<std::size_t>(m)] = n1;
      ct.CPOS[static_cast<std::size_t>(m)] = p1;
    }
  }
  ct.NCAT = m;
}

bool badNumberIn(const LineCollector& c, std::string& which) {
  for (const auto& l : c.lines()) {
    if (l.find("NaN") != std::string::npos || l.find("Inf") != std::string::npos) {
      which = l;
      return true;
    }
  }
  return false;
}

bool anyDegenerate(const LineCollector& c) {
  for (const auto& l : c.lines())
    if (l.find("DATA ARE DEGENERATE") != std::string::npos) return true;
  return false;
}

FitContext context(const Destinations& out) {
  FitContext ctx;
  ctx.out = &out;
  ctx.title = std::string(60, ' ');
  ctx.datdes = std::string(60, ' ');
  ctx.readerName = "Random              ";
  ctx.treatmentDes = "Table       ";
  ctx.input = InputKind::FromFile;
  ctx.fileName = "random.dat";
  ctx.maxdec = 0;
  ctx.date = "08-Dec-26";
  ctx.time = "10:30:00";
  return ctx;
}

// The jackknife of one table: the results are the category numbers, in a
// random order of cases.
void jackknifeTable(const Counts& t, std::mt19937_64& rng, ResultTable& xneg, ResultTable& xpos, PvTable& pv) {
  std::vector<float> neg, pos;
  for (int c = 1; c <= t.k; ++c) {
    neg.insert(neg.end(), static_cast<std::size_t>(t.neg[static_cast<std::size_t>(c)]), static_cast<float>(c));
    pos.insert(pos.end(), static_cast<std::size_t>(t.pos[static_cast<std::size_t>(c)]), static_cast<float>(c));
  }
  std::shuffle(neg.begin(), neg.end(), rng);
  std::shuffle(pos.begin(), pos.end(), rng);
  const int n0 = static_cast<int>(neg.size()), n1 = static_cast<int>(pos.size()), n = n0 + n1;
  for (int i = 1; i <= n0; ++i) xneg(1, i) = neg[static_cast<std::size_t>(i - 1)];
  for (int i = 1; i <= n1; ++i) xpos(1, i) = pos[static_cast<std::size_t>(i - 1)];

  LineCollector screen, file;
  Destinations out(screen, &file);
  CatTab ct;
  PsflagTable flags{};
  const int fits = JKNIFE(1, 1, n0, n1, xneg, xpos, pv, flags, ct, context(out));
  // The area cache: one fit per category and truth state, plus the fit on all cases.
  ASSERT_LE(fits, 41);
  const int flag = flags[1][1];
  EXPECT_TRUE((flag >= 0 && flag <= n) || (flag <= -100 && flag >= -100 - n)) << flag;

  // Leaving out any case of one category and truth state gives the same
  // counts, hence the same pseudovalue.
  std::array<double, kMaxCategories + 1> negPv{}, posPv{};
  std::array<bool, kMaxCategories + 1> negSeen{}, posSeen{};
  for (int k = 1; k <= n; ++k) {
    const double v = pv(1, 1, k);
    ASSERT_TRUE(std::isfinite(v)) << "pseudovalue " << k << " of " << n;
    const bool isNeg = k <= n0;
    const int g = static_cast<int>(isNeg ? xneg(1, k) : xpos(1, k - n0));
    ASSERT_GE(g, 1);
    ASSERT_LE(g, kMaxCategories);
    auto& seen = isNeg ? negSeen : posSeen;
    auto& first = isNeg ? negPv : posPv;
    if (!seen[static_cast<std::size_t>(g)]) {
      seen[static_cast<std::size_t>(g)] = true;
      first[static_cast<std::size_t>(g)] = v;
    } else {
      EXPECT_EQ(v, first[static_cast<std::size_t>(g)]) << "case " << k << " category " << g;
    }
  }
  std::string which;
  EXPECT_FALSE(badNumberIn(screen, which)) << which;
  EXPECT_FALSE(badNumberIn(file, which)) << which;
}

TEST(NumericalLoopsEnd, RandomCategoryTables) {
  std::mt19937_64 rng(20261208);
  auto xneg = std::make_unique<ResultTable>();
  auto xpos = std::make_unique<ResultTable>();
  auto pv = std::make_unique<PvTable>();
  int failedFits = 0, degenerate = 0, fitted = 0, jackknives = 0;
  for (int n = 0; n < kTables; ++n) {
    const Counts t = randomTable(rng);
    const int n0 = t.nneg(), n1 = t.npos();

    // A random left-out case (0: none), numbered as the jackknife numbers them.
    int leave = std::uniform_int_distribution<int>(0, n0 + n1)(rng);
    Counts s = t;
    CatTab ct;
    ct.NNEG = n0;
    ct.NPOS = n1;
    if (leave >= 1) {
      const bool isNeg = leave <= n0;
      // The category of the left-out case: the cases of a truth state are
      // numbered through the categories in order.
      int rank = isNeg ? leave : leave - n0, g = 0;
      auto& col = isNeg ? s.neg : s.pos;
      while (rank > 0) rank -= static_cast<int>(col[static_cast<std::size_t>(++g)]);
      if ((isNeg ? n0 : n1) == 1) {
        leave = 0;  // the only case of its truth state: no fit is made for it
      } else {
        col[static_cast<std::size_t>(g)] -= 1.0;
        (isNeg ? ct.NNEG : ct.NPOS) -= 1;
      }
    }
    rebuildInto(ct, s);

    LineCollector screen, file;
    Destinations out(screen, &file);
    const double area = ESTBIN(ct, leave, 1, 1, context(out));
    ASSERT_TRUE(area == -1.0 || (area >= 0.0 && area <= 1.0)) << "table " << n << " area " << area;
    std::string which;
    ASSERT_FALSE(badNumberIn(screen, which)) << "table " << n << ": " << which;
    ASSERT_FALSE(badNumberIn(file, which)) << "table " << n << ": " << which;
    if (area == -1.0) {
      ++failedFits;
    } else if (anyDegenerate(screen)) {
      ++degenerate;
    } else {
      ++fitted;
    }

    if (n % kJackknifeEvery == 0) {
      ++jackknives;
      jackknifeTable(t, rng, *xneg, *xpos, *pv);
      if (HasFatalFailure()) return;
    }
  }
  // The tables reach every outcome of a fit.
  EXPECT_GT(fitted, kTables / 10);
  EXPECT_GT(degenerate, 0);
  EXPECT_GT(failedFits, 0);
  RecordProperty("tables", kTables);
  RecordProperty("jackknives", jackknives);
  std::printf("%d tables: %d fitted, %d degenerate, %d without area; %d whole jackknives\n", kTables, fitted,
              degenerate, failedFits, jackknives);
}

}  // namespace
}  // namespace quelbro
