// The banner of the analysis report and the notes naming the reader-treatment
// cells whose pseudovalues were constrained to the feasible space.
#include "anova/anova_detail.h"
#include "console/fields.h"

namespace quelbro {

void ANHEAD(int flag, int count, const std::array<ConstrainedCell, 50>& list, LineSink& out) {
  out.writeLine("");
  out.writeLine("");
  out.writeLine(Line().at(32, "KORV16  1.55").str());
  out.writeLine(Line().at(12, "MULTIREADER-MULTICASE ROC ANALYSIS OF VARIANCE USING").str());
  out.writeLine(Line().at(27, "GAUSSIAN DISTRIBUTION").str());
  out.writeLine(Line().at(19, "QUELBRO PROJECT, STATISTICS WORKING GROUP").str());
  out.writeLine(Line().at(28, "QUELBRO PROJECT RELEASE").str());
  out.writeLine("");
  out.writeLine("");

  if (flag == 0 || count <= 0) {
    out.writeLine(" NOTE : PSEUDOVALUES ARE UNCONSTRAINED.");
    out.writeLine("");
    return;
  }
  const int n = count < static_cast<int>(list.size()) ? count : static_cast<int>(list.size());
  const ConstrainedCell& first = list[0];
  Line head(" NOTE: PSEUDOVALUES FOR TREATMENT");
  head.i(first.t, 2).t(", READER").i(first.r, 2);
  if (n == 1) {
    out.writeLine(head.t(" ARE CONSTRAINED TO THE FEASIBLE").str());
    // "SPACE." stands under "PSEUDOVALUES" of the line above.
    out.writeLine(Line().at(8, "SPACE.").str());
    out.writeLine("");
    return;
  }
  out.writeLine(head.t(",").str());
  for (int k = 1; k < n - 1; ++k) {
    const ConstrainedCell& cell = list[static_cast<std::size_t>(k)];
    Line mid;
    mid.at(8, "PSEUDOVALUES FOR ").t("TREATMENT").i(cell.t, 3).t(", READER").i(cell.r, 3).t(",");
    out.writeLine(mid.str());
  }
  const ConstrainedCell& last = list[static_cast<std::size_t>(n - 1)];
  Line tail;
  tail.at(8, "AND FOR TREATMENT").i(last.t, 3).t(", READER").i(last.r, 3);
  tail.t(" ARE CONSTRAINED TO THE FEASIBLE SPACE.");
  out.writeLine(tail.str());
  out.writeLine("");
}

}  // namespace quelbro
