// The treatment x reader x case analysis of variance of the pseudovalues and
// its report.
#pragma once

#include <array>
#include <string>

#include "anova/anova_detail.h"
#include "anova/pv_table.h"
#include "console/destinations.h"

namespace quelbro {

struct AnovaContext {
  const Destinations* out = nullptr;        // screen, and the report file when open
  std::array<std::string, 11> readerNames;  // 1-based, 20 characters each
  std::array<std::string, 6> treatmentDes;  // 1-based, 12 characters each
  std::string date;                         // DATSTR text
  std::string time;                         // TIMSTR text
};

// What the analysis found, for those who keep the numbers rather than the
// report: the cells clamped, means and mean squares, the tests, and with two
// treatments the intervals of the difference and each reader's comparison
// (readers 1..R, slot 0 unused).
struct AnovaFindings {
  ConstraintList constraints;
  AnovaStats stats;
  AnovaTests tests;
  bool twoTreatments = false;  // twoTreatment and singleReaders hold only then
  TwoTreatment twoTreatment;
  std::array<SingleReader, 11> singleReaders{};
};

// The analysis of PV (constrained in place) and its report; `found`, when
// given, receives the figures the report prints. With `constrained`, PV was
// constrained already (constrainToFeasible) and that is what it found; PV is
// then only read.
void ANOVA(PvTable& pv, int R, int T, int C, const PsflagTable& psflag, const AnovaContext& ctx,
           AnovaFindings* found = nullptr, const ConstraintList* constrained = nullptr);

}  // namespace quelbro
