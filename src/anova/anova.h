// The treatment x reader x case analysis of variance of the pseudovalues and
// its report.
#pragma once

#include <array>
#include <string>

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

void ANOVA(PvTable& pv, int R, int T, int C, const PsflagTable& psflag, const AnovaContext& ctx);

}  // namespace quelbro
