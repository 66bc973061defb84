// Fits made ahead of the jackknife's loop, several at a time on the machine's
// cores: each on its own copy of the table, its lines recorded to be written later.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/destinations.h"
#include "fit/cattab.h"
#include "fit/estbin.h"
#include "fit/fit_context.h"

namespace quelbro {

// The lines one fit wrote, in the order it wrote them.
struct FitTranscript {
  std::vector<std::string> screen, file;
  std::vector<bool> toFile;  // per line, in writing order: true for a report-file line

  // Writes the lines again, each to where it went: report-file lines only
  // when `out` has a report file.
  void replay(const Destinations& out) const;
};

// One fit to make ahead, and what it found.
struct AheadFit {
  CatTab ct;            // the table to fit; afterwards, as the fit left it
  int ileave = 0;       // ESTBIN's ileave: 0 is the fit on all cases, with its report
  std::string key;      // the counts of ct before the fit (FitMemo::key)
  bool made = false;    // false: not made (abandoned, or no resources): to be made in place
  double result = 0.0;  // what ESTBIN returned
  FitOutcome outcome;   // the fit on all cases only
  FitTranscript lines;
};

// Threads for `fits` fits, the calling one included. `asked` 0: as many as the
// machine has cores, at most kMaxFitThreads, and one when there are fewer than
// kMinFitsPerThreads fits (starting a thread costs about one small fit);
// otherwise `asked`. Never more than `fits`, never less than 1.
inline constexpr int kMaxFitThreads = 4;
inline constexpr std::size_t kMinFitsPerThreads = 4;
int fitThreads(int asked, std::size_t fits);

// Makes a list of fits on up to `threads` threads, the calling one included.
// The constructor starts the other threads, makes fits[0] first when it is
// the fit on all cases (when it gives no area, the fits not yet begun are
// abandoned: the jackknife would not use them), then helps with the rest
// until none is left to begin; fits still being made by other threads are
// waited for one by one with `finished`, so that the caller can write the
// lines of those made while the last ones are under way. The destructor
// joins every thread. Each fit writes only to its own recording of its lines
// and works on its own table: none touches the screen, the report file or
// anything else shared, and `ctx` is read only by the constructor. Nothing
// throws: a fit that could not be made (no memory for its lines) ends with
// made = false, and a thread that cannot be started leaves its share to the
// others. `fits` must outlive this object and keep its size.
class FitsAhead {
 public:
  FitsAhead(std::vector<AheadFit>& fits, int threads, int treatment, int reader,
            const FitContext& ctx) noexcept;
  ~FitsAhead();
  FitsAhead(const FitsAhead&) = delete;
  FitsAhead& operator=(const FitsAhead&) = delete;

  // Waits until fits[i] is made, abandoned or given up; true when made.
  bool finished(std::size_t i) const noexcept;

 private:
  enum State : int { kPending, kMade, kNotMade };
  void attempt(std::size_t i) noexcept;
  void share() noexcept;

  std::vector<AheadFit>& fits_;
  int treatment_, reader_;
  FitContext ctx_;   // a copy, with the destinations' report file noted below
  bool reportFile_;  // the fit on all cases has a report file to write to
  bool haveOut_;     // the fit on all cases has destinations at all
  std::unique_ptr<std::atomic<int>[]> state_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> abandon_{false};
  std::vector<std::jthread> helpers_;  // joined by the destructor
};

}  // namespace quelbro
