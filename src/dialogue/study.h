// The study tables MAIN owns for the whole run: descriptions, names,
// directions, the current reader's results and the pseudovalues.
#pragma once

#include <array>
#include <string>

#include "anova/pv_table.h"
#include "dialogue/fits_ahead.h"
#include "dialogue/jknife.h"
#include "fit/cattab.h"

namespace quelbro {

struct Study {
  std::string DATDES = std::string(60, ' ');  // data description, 60 characters
  // Reader names (20 characters) and treatment descriptions (12 characters),
  // 1-based: slot 0 unused.
  std::array<std::string, kMaxReaders + 1> RDRNAM{};
  std::array<std::string, kMaxTreatments + 1> TRTDES{};
  std::array<int, kMaxTreatments + 1> IDIR{};  // 1-based: +1 larger values abnormal, -1 smaller
  int NTRT = 0;
  int MAXDEC = 0;
  int NRDR = 0;
  int NRDMAX = 0;
  int NCASE = 0;
  int expectNeg = 0, expectPos = 0;  // announced case counts (typed entry)
  int firstNeg = 0, firstPos = 0;    // the first reader's counts per truth state
  ResultTable XNEG, XPOS;
  PvTable PV;
  PsflagTable PSFLAG{};
  // What each fit on all cases found, [reader][treatment], 1-based.
  std::array<std::array<FitOutcome, kMaxTreatments + 1>, kMaxReaders + 1> FITS{};
  CatTab CATTAB;
  FitMemo memo;     // left-out fits already made in this run, by their counts
  FitPool fitPool;  // the threads the jackknife makes its fits on
};

}  // namespace quelbro
