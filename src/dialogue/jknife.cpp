// Jackknife pseudovalues of the area under the fitted ROC curve for one reader
// and treatment, with the per-category area cache.
#include "dialogue/jknife.h"

#include <string>
#include <vector>

#include "console/fields.h"
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
  std::vector<std::string> screen, file;
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
           PsflagTable& psflag, CatTab& ct, const FitContext& ctx, FitMemo* memo, FitOutcome* fullFit) {
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
      ctx.out->screen().writeLines(cache->screen);
      if (ctx.out->hasFile()) ctx.out->file()->writeLines(cache->file);
      area = -1.0;
    } else {
      rebuild(ct, sneg, spos, k0);
      if (jstat != 1) {
        area = -1.0;
      } else if (cache == nullptr) {
        ++fits;
        area = ESTBIN(ct, k, t, r, ctx, k == 0 ? fullFit : nullptr) * inFit;
      } else {
        FitMemo::Entry fit;
        const FitMemo::Entry* known = memo != nullptr ? memo->find(ct) : nullptr;
        if (known != nullptr) {
          ctx.out->screen().writeLines(known->screen);
          if (ctx.out->hasFile()) ctx.out->file()->writeLines(known->file);
          fit = *known;
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
          cache->screen = std::move(fit.screen);
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
  return fits;
}

}  // namespace quelbro
