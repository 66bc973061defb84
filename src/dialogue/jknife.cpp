// Jackknife pseudovalues of the area under the fitted ROC curve for one reader
// and treatment, with the per-category area cache.
#include "dialogue/jknife.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "console/fields.h"
#include "dialogue/fits_ahead.h"
#include "fit/catgrz.h"
#include "fit/estbin.h"
#include "fit/trarea.h"

namespace quelbro {
namespace {

// Passes lines on and keeps a copy, so that a failed fit's messages can be
// written again for a later case whose fit is known to fail the same way.
class RecordingSink : public LineSink {
 public:
  RecordingSink(LineSink* target, std::vector<std::string>& record) : target_(target), record_(record) {}
  void writeLine(std::string_view line) override {
    record_.emplace_back(line);
    if (target_ != nullptr) target_->writeLine(line);
  }

 private:
  LineSink* target_;
  std::vector<std::string>& record_;
};

// What a left-out fit of one category and truth state gave: leaving out any
// case of the same category and truth state gives the same counts and hence
// the same fit, so the area (or the failure, with its messages) is kept.
struct CachedFit {
  double area = 0.0;  // 0: not known yet; > 0: the area x (cases in the fit)
  bool failed = false;
  std::string screen;  // the failed fit's screen lines, joined: written again for every such case
  std::vector<std::string> file;
};

// Rebuilds the categories of a left-out fit from the counts before rebuilding,
// joining empty categories and adjacent categories of one truth state only.
void rebuild(CatTab& ct, const std::array<double, kMaxCategories + 1>& sneg,
             const std::array<double, kMaxCategories + 1>& spos, int k0) {
  int s = (sneg[1] == 0.0 && spos[1] == 0.0) ? 2 : 1;
  int m = 1;
  ct.CNEG[1] = sneg[static_cast<std::size_t>(s)];
  ct.CPOS[1] = spos[static_cast<std::size_t>(s)];
  for (int i = s; i <= k0 - 1; ++i) {
    auto u = static_cast<std::size_t>(i);
    if (sneg[u + 1] == 0.0 && sneg[u] == 0.0) {
      ct.CPOS[static_cast<std::size_t>(m)] += spos[u + 1];
    } else if (spos[u + 1] == 0.0 && spos[u] == 0.0) {
      ct.CNEG[static_cast<std::size_t>(m)] += sneg[u + 1];
    } else if (sneg[u + 1] == 0.0 && spos[u + 1] == 0.0) {
      // an emptied category vanishes
    } else {
      ++m;
      ct.CNEG[static_cast<std::size_t>(m)] = sneg[u + 1];
      ct.CPOS[static_cast<std::size_t>(m)] = spos[u + 1];
    }
  }
  ct.NCAT = m;
}

int categoryOf(float v) { return static_cast<int>(v); }

struct KnownTrap {
  bool known = false;
  double a = 0.0, se = 0.0;  // TRAPA and TRAPSE
};

using Counts = std::array<double, kMaxCategories + 1>;

// The table of a fit as the loop below sets it up: the counts of every case
// but the left-out one, rebuilt.
CatTab leftOutTable(const CatTab& categorized, int k0, int nneg, int npos, const Counts& sneg,
                    const Counts& spos) {
  CatTab ct = categorized;
  ct.NCAT = k0;
  ct.NNEG = nneg;
  ct.NPOS = npos;
  for (int c = 1; c <= k0; ++c)
    ct.CNEG[static_cast<std::size_t>(c)] = ct.CPOS[static_cast<std::size_t>(c)] = 0.0;
  rebuild(ct, sneg, spos, k0);
  return ct;
}

// The fits the loop below will make, in a list to be made ahead: the fit on
// all cases first, then one per category and truth state with a pair left,
// unless the memo knows its counts already or the list holds them. Each
// left-out fit gets the same table and ileave as the loop's first case of
// that category and truth state would give it. (A left-out fit's lines and
// result do not depend on ileave anyway: ESTBIN only tells 0 from the rest.)
std::vector<AheadFit> planFits(const CatTab& categorized, int t, int n0, int n1, const ResultTable& xneg,
                               const ResultTable& xpos, const CategoryCounts& full, const Counts& sneg,
                               const Counts& spos, const FitMemo* memo) {
  const int k0 = categorized.NCAT;
  std::vector<AheadFit> plan;
  if (k0 < 1 || k0 > kMaxCategories) return plan;
  plan.reserve(2 * static_cast<std::size_t>(k0) + 1);
  AheadFit& all = plan.emplace_back();
  all.ct = leftOutTable(categorized, k0, n0, n1, sneg, spos);
  TRAREA(all.ct, t, 0, xneg, xpos, full);
  all.ileave = 0;
  all.key = FitMemo::key(all.ct);

  for (int state = 0; state < 2; ++state) {
    const bool neg = state == 0;
    const int cases = neg ? n0 : n1;
    // Leaving out the only case of its truth state leaves no pair: no fit.
    if ((neg ? n0 - 1 : n1 - 1) <= 0 || (neg ? n1 : n0) <= 0) continue;
    std::array<bool, kMaxCategories + 1> seen{};
    for (int i = 1; i <= cases; ++i) {
      const int g = categoryOf(neg ? xneg(t, i) : xpos(t, i));
      if (g < 1 || g > k0 || seen[static_cast<std::size_t>(g)]) continue;
      seen[static_cast<std::size_t>(g)] = true;
      Counts less = neg ? sneg : spos;
      less[static_cast<std::size_t>(g)] -= 1.0;
      AheadFit f;
      f.ct = neg ? leftOutTable(categorized, k0, n0 - 1, n1, less, spos)
                 : leftOutTable(categorized, k0, n0, n1 - 1, sneg, less);
      f.key = FitMemo::key(f.ct);
      if (memo != nullptr && memo->find(f.ct) != nullptr) continue;
      if (std::any_of(plan.begin() + 1, plan.end(), [&](const AheadFit& p) { return p.key == f.key; }))
        continue;
      f.ileave = neg ? i : n0 + i;
      plan.push_back(std::move(f));
    }
  }
  return plan;
}

// Takes a fit made ahead as if it had just been made on `ct`: its lines are
// written now, and `ct` is left as the fit left its own copy. The copy was
// set up exactly as `ct` is (same counts and categories), except for the
// trapezoidal area, which the fit only reads, and only when it reports.
double takeFit(const AheadFit& f, CatTab& ct, const FitContext& ctx) {
  if (ctx.out != nullptr) f.lines.replay(*ctx.out);
  const double trapa = ct.TRAPA, trapse = ct.TRAPSE;
  ct = f.ct;
  ct.TRAPA = trapa;
  ct.TRAPSE = trapse;
  return f.result;
}

// The fit made ahead for the counts of `ct`, once it is finished; null when
// none was planned or it could not be made.
const AheadFit* readyFit(const std::vector<AheadFit>& plan, const FitsAhead* ahead, std::size_t first,
                         const CatTab& ct) {
  if (ahead == nullptr || plan.size() <= first) return nullptr;
  const std::string key = FitMemo::key(ct);
  for (std::size_t i = first; i < plan.size(); ++i)
    if (plan[i].key == key) return ahead->finished(i) ? &plan[i] : nullptr;
  return nullptr;
}

}  // namespace

std::string FitMemo::key(const CatTab& ct) {
  std::string k;
  auto put = [&k](int v) { k.append(reinterpret_cast<const char*>(&v), sizeof v); };
  put(ct.NNEG);
  put(ct.NPOS);
  put(ct.NCAT);
  for (int c = 1; c <= ct.NCAT && c <= kMaxCategories; ++c) {
    put(static_cast<int>(ct.CNEG[static_cast<std::size_t>(c)]));
    put(static_cast<int>(ct.CPOS[static_cast<std::size_t>(c)]));
  }
  return k;
}

const FitMemo::Entry* FitMemo::find(const CatTab& ct) const {
  auto it = map_.find(key(ct));
  return it == map_.end() ? nullptr : &it->second;
}

void FitMemo::add(const CatTab& ct, const Entry& entry) {
  std::size_t size = 64;
  for (const auto& l : entry.screen) size += l.size() + 32;
  for (const auto& l : entry.file) size += l.size() + 32;
  if (bytes_ + size > kMaxBytes) return;
  if (map_.emplace(key(ct), entry).second) bytes_ += size;
}

int JKNIFE(int r, int t, int n0, int n1, ResultTable& xneg, ResultTable& xpos, PvTable& pv,
           PsflagTable& psflag, CatTab& ct, const FitContext& ctx, FitMemo* memo, FitOutcome* fullFit,
           FitThreads threads) {
  const int n = n0 + n1;
  int fits = 0;
  int jstat = 1;
  ct.NNEG = n0;
  ct.NPOS = n1;
  CATGRZ(ct, t, 0, xneg, xpos, ctx.direction);
  const CategoryCounts full = countCategories(ct, t, xneg, xpos);

  std::array<double, kMaxCategories + 1> sneg{}, spos{};
  std::array<CachedFit, kMaxCategories + 1> cacheNeg{}, cachePos{};
  for (int c = 1; c <= kMaxCategories; ++c) {
    sneg[static_cast<std::size_t>(c)] = ct.CNEG[static_cast<std::size_t>(c)];
    spos[static_cast<std::size_t>(c)] = ct.CPOS[static_cast<std::size_t>(c)];
  }
  const int k0 = ct.NCAT;
  auto& flag = psflag[static_cast<std::size_t>(r)][static_cast<std::size_t>(t)];
  double fulla = 0.0;
  // The trapezoidal area of a step depends only on the left-out case's truth
  // state and category: it is worked out once for each.
  std::array<KnownTrap, kMaxCategories + 1> trapNeg{}, trapPos{};

  // The fits the loop will make are pure functions of their tables: they are
  // made ahead, several at once, and the loop takes each one ready-made at
  // the very point where it would have made it, writing its recorded lines
  // there. So the loop's decisions, the fit count, the memo's entries (added
  // by the loop in its own order) and every line stay as they were. A fit not
  // made ahead (a table the plan did not foresee, or no resources) is made in
  // place as before; with one thread no plan is made at all.
  std::vector<AheadFit> plan;
  std::optional<FitsAhead> ahead;  // before `plan` ends, its threads are joined
  if (threads.count != 1) {
    plan = planFits(ct, t, n0, n1, xneg, xpos, full, sneg, spos, memo);
    const int count = fitThreads(threads.count, plan.size());
    if (count > 1) ahead.emplace(plan, count, t, r, ctx, threads.pool);
  }
  const FitsAhead* made = ahead ? &*ahead : nullptr;
  int ready = 0;

  for (int k = 0; k <= n; ++k) {
    ct.NCAT = k0;
    ct.NNEG = n0;
    ct.NPOS = n1;
    const int out = k == 0 ? 0 : k <= n0 ? categoryOf(xneg(t, k)) : categoryOf(xpos(t, k - n0));
    KnownTrap* trap = nullptr;
    if (k >= 1 && out >= 1 && out <= kMaxCategories)
      trap = &(k <= n0 ? trapNeg : trapPos)[static_cast<std::size_t>(out)];
    if (trap != nullptr && trap->known) {
      ct.TRAPA = trap->a;
      ct.TRAPSE = trap->se;
    } else {
      TRAREA(ct, t, k, xneg, xpos, full);
      if (trap != nullptr) *trap = {true, ct.TRAPA, ct.TRAPSE};
    }
    for (int c = 1; c <= k0; ++c)
      ct.CNEG[static_cast<std::size_t>(c)] = ct.CPOS[static_cast<std::size_t>(c)] = 0.0;

    // Leave case k out; the previous left-out case returns.
    int g = 0;
    CachedFit* cache = nullptr;
    if (k >= 1 && k <= n0) {
      g = categoryOf(xneg(t, k));
      sneg[static_cast<std::size_t>(g)] -= 1.0;
      ct.NNEG -= 1;
      if (k >= 2) sneg[static_cast<std::size_t>(categoryOf(xneg(t, k - 1)))] += 1.0;
      cache = &cacheNeg[static_cast<std::size_t>(g)];
    } else if (k > n0) {
      const int j = k - n0;
      g = categoryOf(xpos(t, j));
      spos[static_cast<std::size_t>(g)] -= 1.0;
      ct.NPOS -= 1;
      if (j >= 2) {
        spos[static_cast<std::size_t>(categoryOf(xpos(t, j - 1)))] += 1.0;
      } else {
        sneg[static_cast<std::size_t>(categoryOf(xneg(t, n0)))] += 1.0;
      }
      cache = &cachePos[static_cast<std::size_t>(g)];
    }
    const double inFit = static_cast<double>(ct.NNEG + ct.NPOS);

    if (k >= 1 && (ct.NNEG == 0 || ct.NPOS == 0)) {
      // The only case of its truth state: no pair is left and no curve can be
      // drawn. The case is given no influence: its pseudovalue is the area
      // estimated on all cases.
      pv(r, t, k) = fulla / static_cast<double>(n);
      // After a failed fit on all cases every left-out case counts, this one too.
      if (jstat < 0) flag += jstat;
      continue;
    }

    double area = 0.0;
    if (cache != nullptr && cache->area != 0.0) {
      area = cache->area;
    } else if (cache != nullptr && cache->failed) {
      ctx.out->screen().writeText(cache->screen);
      if (ctx.out->hasFile()) ctx.out->file()->writeLines(cache->file);
      area = -1.0;
    } else {
      rebuild(ct, sneg, spos, k0);
      if (jstat != 1) {
        area = -1.0;
      } else if (cache == nullptr) {
        ++fits;
        if (const AheadFit* f = readyFit(plan, made, 0, ct); f != nullptr) {
          ++ready;
          area = takeFit(*f, ct, ctx) * inFit;
          if (fullFit != nullptr) *fullFit = f->outcome;
        } else {
          area = ESTBIN(ct, k, t, r, ctx, k == 0 ? fullFit : nullptr) * inFit;
        }
      } else {
        FitMemo::Entry fit;
        const FitMemo::Entry* known = memo != nullptr ? memo->find(ct) : nullptr;
        if (known != nullptr) {
          ctx.out->screen().writeLines(known->screen);
          if (ctx.out->hasFile()) ctx.out->file()->writeLines(known->file);
          fit = *known;
        } else if (const AheadFit* f = readyFit(plan, made, 1, ct); f != nullptr) {
          ++fits;
          ++ready;
          fit.result = takeFit(*f, ct, ctx);
          fit.screen = f->lines.screen;
          fit.file = f->lines.file;
          if (memo != nullptr) memo->add(ct, fit);
        } else {
          ++fits;
          // The file's lines are recorded even when no report file is open,
          // so that a later run with one gets them too.
          RecordingSink screen(&ctx.out->screen(), fit.screen);
          RecordingSink file(ctx.out->file(), fit.file);
          Destinations recorded(screen, &file);
          FitContext leftOut = ctx;
          leftOut.out = &recorded;
          fit.result = ESTBIN(ct, k, t, r, leftOut);
          if (memo != nullptr) memo->add(ct, fit);
        }
        area = fit.result * inFit;
        if (area > 0.0) {
          cache->area = area;
        } else {
          cache->failed = true;
          cache->screen = joinLines(fit.screen);
          cache->file = std::move(fit.file);
        }
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
  if (jstat < 0) ctx.out->toScreen(ListLine().t("Degenerate").i(jstat).i(flag).str());
  if (threads.ready != nullptr) *threads.ready = ready;
  return fits;
}

}  // namespace quelbro
