// Fits made ahead of the jackknife's loop, several at a time on the machine's
// cores: each on its own copy of the table, its lines recorded to be written later.
#pragma once

#include <cstddef>
#include <string>
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

// Makes the fits on up to `threads` threads, the calling one included; every
// thread started is joined before the return. When fits[0] is the fit on all
// cases it is made first, on the calling thread, and when it gives no area
// the fits not yet begun are abandoned (the jackknife would not use them).
// Each fit writes only to its own recording of its lines: none touches the
// screen, the report file or anything else shared. Never throws: a fit that
// could not be made (no memory for its lines) keeps made = false, and a thread
// that cannot be started leaves its share to the others.
void makeFitsAhead(std::vector<AheadFit>& fits, int threads, int treatment, int reader,
                   const FitContext& ctx) noexcept;

}  // namespace quelbro
