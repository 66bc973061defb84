// Degenerate operating-point configurations: DEGTST classifies the points of
// the categorized data, DEGENE writes the message and the area substitute.
#include "fit/degene.h"

#include <string>
#include <string_view>

#include "stats/distributions.h"
#include "console/fields.h"

namespace quelbro {
namespace {

using Fractions = std::array<double, kMaxCategories + 2>;

constexpr int kIndent = 22;

// Operating point index kept inside the tables whatever a caller passes.
std::size_t pt(int i) {
  if (i < 0) return 0;
  if (i > kMaxCategories + 1) return kMaxCategories + 1;
  return static_cast<std::size_t>(i);
}

void emptyLines(const Destinations& out, int n) {
  for (int k = 0; k < n; ++k) out.toBoth("");
}

void text(const Destinations& out, std::string_view s) { out.toBoth(Line(blanks(kIndent)).t(s).str()); }

// A text followed by a value in F8.4 and an optional closing text.
void textValue(const Destinations& out, std::string_view s, double v, std::string_view tail = {}) {
  out.toBoth(Line(blanks(kIndent)).t(s).f(v, 8, 4).t(tail).str());
}

}  // namespace

void DEGTST(int& ideg, int ncat, const Fractions& fpf, const Fractions& tpf, int& nin, PointIndex& lpt) {
  ideg = 0;
  nin = 0;
  lpt.fill(0);
  if (ncat < 1) ncat = 1;
  if (ncat > kMaxCategories) ncat = kMaxCategories;
  auto fp = [&](int i) { return fpf[pt(i)]; };
  auto tp = [&](int i) { return tpf[pt(i)]; };

  for (int i = 2; i <= ncat; ++i) {
    if (fp(i) * (1.0 - fp(i)) * tp(i) * (1.0 - tp(i)) != 0.0) lpt[pt(++nin)] = i;
  }
  if (ncat == 1) {
    ideg = 1;
    return;
  }

  if (nin >= 1) {
    const int first = lpt[1];
    const int last = lpt[pt(nin)];
    const int f = first - 1;
    const int g = last + 1;
    if (ncat == 2) {
      ideg = 2;
    } else if (nin == 1) {
      const bool acrossF = fp(f) == 1.0 && fp(g) == 0.0;
      const bool acrossT = tp(f) == 1.0 && tp(g) == 0.0;
      if (acrossF && !acrossT) ideg = 5;
      if (acrossT && !acrossF) ideg = 6;
    } else {
      if (tp(first) == tp(last) && fp(f) == 1.0 && fp(g) == 0.0) ideg = 7;
      if (tp(f) == 1.0 && tp(g) == 0.0 && fp(first) == fp(last)) ideg = 8;
    }
    return;
  }

  // No point inside the square: every point lies on a border.
  int cF = 0, cT = 0;
  for (int i = 1; i <= ncat + 1; ++i) {
    if (fp(i) != 0.0 && fp(i) != 1.0) ++cF;
    if (tp(i) != 0.0 && tp(i) != 1.0) ++cT;
  }
  int nR = 0, nL = 0, nT = 0, nB = 0;
  for (int i = 2; i <= ncat; ++i) {
    if (fp(i) == 1.0 && tp(i) != 1.0) {
      ++nR;
      lpt[1] = i;  // the last right-border point
    } else if (fp(i) == 0.0 && tp(i) != 0.0) {
      if (nL++ == 0) lpt[2] = i;  // the first left-border point
    }
  }
  for (int i = 2; i <= ncat; ++i) {
    if (tp(i) == 1.0 && fp(i) != 1.0) {
      ++nT;
      lpt[3] = i;  // the last top-border point
    } else if (tp(i) == 0.0 && fp(i) != 0.0) {
      if (nB++ == 0) lpt[4] = i;  // the first bottom-border point
    }
  }

  if ((cF == 0 || cT == 0) && (cF != 0 || (nR > 0 && nL > 0)) && (cT != 0 || (nT > 0 && nB > 0))) {
    if (cF == 0 && nR > 0 && nL > 0) {
      ideg = 3;
    } else {
      ideg = 4;
      lpt[1] = lpt[3];
      lpt[2] = lpt[4];
    }
    return;
  }
  if ((nT > 0 && fp(lpt[3] + 1) == 0.0) || (nL > 0 && tp(lpt[2] - 1) == 1.0)) ideg = 9;
  if ((nR > 0 && tp(lpt[1] + 1) == 0.0) || (nB > 0 && fp(lpt[4] - 1) == 1.0)) ideg = 10;
}

double DEGENE(int ideg, const PointIndex& lpt, const Fractions& fpf, const Fractions& tpf,
              const Destinations& out) {
  const std::size_t l1 = pt(lpt[1]);
  const std::size_t l2 = pt(lpt[2]);
  switch (ideg) {
    case 1:
      emptyLines(out, 3);
      text(out, "DATA ARE DEGENERATE AND PROVIDE NO OPERATING POINTS");
      text(out, "OFF THE (0,0) AND (1,1) CORNERS.");
      emptyLines(out, 2);
      // Every case got the same result: the test does not discriminate.
      return 0.5;
    case 2: {
      const double dprime = PhiInv(tpf[l1]) - PhiInv(fpf[l1]);
      emptyLines(out, 3);
      text(out, "DATA ARE DEGENERATE AND PROVIDE ONLY A SINGLE ");
      text(out, "OPERATING POINT OFF THE (0,0) AND (1,1) CORNERS.");
      text(out, "BINORMAL ROC CURVE CANNOT BE ESTIMATED UNIQUELY. ");
      textValue(out, "UNIT SLOPE ROC CURVE (B=1) WOULD HAVE A=D'=", dprime, ".");
      emptyLines(out, 2);
      return -1.0;
    }
    case 3:
      emptyLines(out, 3);
      text(out, "DATA ARE DEGENERATE AND PRODUCE NO OPERATING POINTS");
      text(out, "OFF THE BORDERS OF THE UNIT SQUARE.  IMPLIED");
      text(out, "EXACT-FIT BINORMAL ROC CURVE IS HORIZONTAL AT");
      textValue(out, "UNDETERMINED HEIGHT BETWEEN TPF=", tpf[l2], " AND");
      textValue(out, "TPF=", tpf[l1], " .");
      emptyLines(out, 2);
      return (tpf[l2] + tpf[l1]) / 2.0;
    case 4:
      emptyLines(out, 3);
      text(out, "DATA ARE DEGENERATE AND PRODUCE NO OPERATING POINTS");
      text(out, "OFF THE BORDERS OF THE UNIT SQUARE.  IMPLIED ");
      text(out, "EXACT-FIT BINORMAL ROC CURVE IS VERTICAL AT ");
      textValue(out, "UNDETERMINED POSITION BETWEEN FPF=", fpf[l2]);
      textValue(out, "AND FPF=", fpf[l1], " .");
      emptyLines(out, 2);
      return 1.0 - (fpf[l1] + fpf[l2]) / 2.0;
    case 5:
    case 7:
      emptyLines(out, 2);
      text(out, "DATA ARE DEGENERATE.  IMPLIED EXACT-FIT");
      text(out, "BINORMAL ROC CURVE IS HORIZONTAL AT CONSTANT");
      textValue(out, "TPF=", tpf[l1], " .");
      emptyLines(out, 2);
      return tpf[l1];
    case 6:
    case 8:
      emptyLines(out, 2);
      text(out, "DATA ARE DEGENERATE.  IMPLIED EXACT-FIT");
      text(out, "BINORMAL ROC CURVE IS VERTICAL AT CONSTANT");
      textValue(out, "FPF=", fpf[l1], " .");
      emptyLines(out, 2);
      return 1.0 - fpf[l1];
    case 9:
      emptyLines(out, 3);
      text(out, "DATA ARE DEGENERATE AND IMPLY PERFECT DECISION");
      text(out, "PERFORMANCE.");
      emptyLines(out, 2);
      return 1.0;
    default:
      emptyLines(out, 3);
      text(out, "DATA ARE DEGENERATE AND IMPLY PERFECT (BUT PERVERSE)");
      text(out, "DECISION PERFORMANCE.");
      emptyLines(out, 2);
      // A reversed test is not a perfect one: no fitted area, so the caller
      // falls back to the trapezoidal area.
      return -1.0;
  }
}

}  // namespace quelbro
