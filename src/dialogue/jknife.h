// The jackknife of one reader and treatment: categorize once, fit on all cases
// and with each case left out, and turn the areas into pseudovalues.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "anova/pv_table.h"
#include "fit/cattab.h"
#include "fit/estbin.h"
#include "fit/fit_context.h"

namespace quelbro {

// The left-out fits of a whole run, by their category counts. A fit is
// determined by its counts, so a table met again (another reader or
// treatment with the same counts) is not fitted again: its result and the
// messages it wrote are reused. Holds at most kMaxBytes of messages.
class FitMemo {
 public:
  struct Entry {
    double result = 0.0;  // what ESTBIN returned
    std::vector<std::string> screen, file;
  };
  static constexpr std::size_t kMaxBytes = 16u << 20;

  const Entry* find(const CatTab& ct) const;
  void add(const CatTab& ct, const Entry& entry);
  void clear() {
    map_.clear();
    bytes_ = 0;
  }
  // What a fit depends on: the numbers of cases and the category counts.
  static std::string key(const CatTab& ct);

 private:
  std::unordered_map<std::string, Entry> map_;
  std::size_t bytes_ = 0;
};

// Fills PV(r, t, 1..n0+n1) and PSFLAG(r, t). The treatment-t results of xneg
// (cases 1..n0) and xpos (cases 1..n1) are replaced by category numbers. The
// fit report of the fit on all cases goes to ctx.out; ctx carries the reader
// name, treatment description and direction of this reader and treatment.
// Returns the number of fits actually run (the area cache saves the others).
// When `fullFit` is given it receives what the fit on all cases found.
// The fits are made ahead on `threads.count` threads; whatever the number,
// every result, flag and line comes out the same and in the same order.
class FitPool;
struct FitThreads {
  int count = 0;            // threads, the calling one included; 0: as the machine has cores
  FitPool* pool = nullptr;  // threads kept for the run; null: threads of this call's own
  int* ready = nullptr;     // when given: receives how many fits were taken ready-made
};
int JKNIFE(int r, int t, int n0, int n1, ResultTable& xneg, ResultTable& xpos, PvTable& pv,
           PsflagTable& psflag, CatTab& ct, const FitContext& ctx, FitMemo* memo = nullptr,
           FitOutcome* fullFit = nullptr, FitThreads threads = {});

}  // namespace quelbro
