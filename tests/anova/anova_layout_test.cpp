// The whole analysis report of a small two-treatment study, line by line, with
// every number worked out by hand from the effects the table was built from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "anova_study.h"

namespace quelbro {
namespace {

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
std::string pad80(std::string s) {
  s.resize(80, ' ');
  return s;
}

// Two readers, two treatments, two cases. Each pseudovalue is the grand value
// plus one +-amplitude per effect, so every sum of squares is 8 x amplitude^2
// with 1 df, and every number below follows by hand:
//   SS(T) = 8(1/16)^2 = 0.03125        SS(R) = 8(1/32)^2 = 0.0078125
//   SS(C) = 8(1/4)^2 = 0.5             SS(TR) = 8(1/64)^2 = 0.001953125
//   SS(TC) = 8(1/128)^2 = 0.00048828   SS(RC) = 8(1/64)^2 = 0.001953125
//   SS(TRC) = 8(1/32)^2 = 0.0078125    SS(TOT) = their sum = 0.55126953125
// F(TR) = 1/4 and F(TC) = 1/16 do not exceed 1: error-term case 1. With 1 and
// 1 df, Pr(F > f) = (2/pi) atan(1/sqrt f): F = 4 gives 0.2952, F = 256 gives
// 0.0397 (significant), F = 1/16 gives 0.8440, F = 1/4 gives 0.7048.
const Effects kStudy{0.625, 0.0625, 0.03125, 0.25, 0.015625, 0.0078125, 0.015625, 0.03125};

std::vector<std::string> firstPass() {
  const std::string blankDecision = sp(10);
  auto row = [](std::string label6, std::string ss, std::string df, std::string ms, std::string f,
                std::string p, std::string dec) {
    return label6 + ss + sp(3) + df + sp(2) + ms + sp(2) + f + sp(4) + p + sp(5) + dec;
  };
  return {
      sp(60) + "DATE - 05-Mar-24",
      sp(61) + "TIME - 10:20:30",
      "",
      "",
      "",
      "",
      sp(31) + "KORV16  1.55",
      sp(11) + "MULTIREADER-MULTICASE ROC ANALYSIS OF VARIANCE USING",
      sp(26) + "GAUSSIAN DISTRIBUTION",
      sp(18) + "QUELBRO PROJECT, STATISTICS WORKING GROUP",
      sp(27) + "QUELBRO PROJECT RELEASE",
      "",
      "",
      " NOTE : PSEUDOVALUES ARE UNCONSTRAINED.",
      "",
      // Heading: SOURCE 2-7, SUMS OF SQUARES 9-23, DF block 25-32, MEAN
      // SQUARES 34-45, F RATIOS 47-56, PROB. 59-63, DECISION block 64-74.
      std::string(" SOURCE") + " " + "SUMS OF SQUARES" + " " + "   DF   " + " " + "MEAN SQUARES" + " " +
          "F RATIOS  " + "  " + "PROB." + "   DECISION",
      " ------ --------------- -------- ------------ ----------- ----------------",
      "   TOT        0.5513" + sp(3) + "    7",
      row("     T", "        0.0313", "    1", "    0.0313", "    4.0000", "  0.2952", blankDecision),
      row("     C", "        0.5000", "    1", "    0.5000", "  256.0000", "  0.0397", "SIG.      "),
      row("     R", "        0.0078", "    1", "    0.0078", "    4.0000", "  0.2952", blankDecision),
      row("    TC", "        0.0005", "    1", "    0.0005", "    0.0625", "  0.8440", blankDecision),
      row("    TR", "        0.0020", "    1", "    0.0020", "    0.2500", "  0.7048", blankDecision),
      row("    RC", "        0.0020", "    1", "    0.0020", "    0.2500", "  0.7048", blankDecision),
      "   TRC        0.0078" + sp(3) + "    1" + sp(2) + "    0.0078",
      " " + std::string(73, '-'),
      "  ALPHA EQUALS 0.05.",
      "",
      " *  TR AND TC SOURCE OF VARIANCE ARE ASSUMED NEGLIGIBLE. THEREFORE, TRC MEAN",
      "    SQUARE USED AS AN ERROR TERM.",
      "",
      "",
      sp(23) + "READERS BY CASES ANOVAs",
      "",
      sp(29) + "MEAN SQUARES",
      pad80(" SOURCE    DF     TREAT 1      TREAT 2 "),
      pad80(sp(16) + "FILM         DIGITAL     "),
      "",
      // MS_t(R) = 4(b -+ ab)^2, MS_t(C) = 4(g -+ ag)^2, MS_t(RC) = 4(bg -+ e)^2.
      "     R   " + std::string("   1") + " " + "    0.0010" + sp(3) + "    0.0088",
      "     C   " + std::string("   1") + "     0.2346" + sp(2) + "     0.2659",
      "    RC   " + std::string("   1") + "     0.0010" + sp(2) + "     0.0088",
  };
}

std::vector<std::string> secondPassAndSingleReaders() {
  std::vector<std::string> v{
      "",
      sp(12) + "STANDARD ERRORS AND 95% CONFIDENCE INTERVAL",
      sp(23) + "FOR KORV ANALYSES",
      "",
      sp(15) + "TREATMENT 1" + sp(3) + "TREATMENT 2" + sp(2) + "DIFFERENCE",
      sp(15) + "FILM        " + sp(2) + "DIGITAL     ",
      // Treatment means 0.625 -+ 1/16; SE(t) = |g -+ ag| since V(t) = 4(g -+ ag)^2;
      // SE of the difference sqrt(2/4 x MS(TRC)) = 1/16.
      " AREA      " + sp(2) + "  0.5625" + sp(6) + "  0.6875" + sp(6) + " -0.1250",
      " STD. ERROR" + sp(2) + "  0.2422" + sp(6) + "  0.2578" + sp(6) + "  0.0625",
      // DF(t) = V^2 / (V^2 + 2 MS_t(R)^2) just below 1; the difference has 1 df.
      " DF        " + sp(3) + "     1.*" + sp(5) + "     1.*" + sp(7) + "     1." + " ",
      "     * SATTERTHWAITE DF.",
      "",
      " THE 95% CONFIDENCE INTERVAL FOR THE POPULATION MEAN DIFFERENCE",
      // -0.125 -+ 12.706 x 0.0625 = (-0.919125, 0.669125)
      " FOR TREATMENT 1 MINUS TREATMENT 2 IS (-.9191,0.6691)",
      "",
      "",
      " READER MEANS:- ",
      "   1 ALICE SMITHS  0.5938",  // 0.625 - 1/32 = 0.59375, rounded half away
      "   2 BOB JONES     0.6563",
      "",
      " TREATMENT MEANS:- ",
      "   1 " + std::string("FILM") + sp(8) + sp(2) + "0.5625",
      "   2 " + std::string("DIGITAL") + sp(5) + sp(2) + "0.6875",
      "",
      sp(31) + "TREATMENT MEANS",
      "    READER" + sp(9) + " 1" + sp(11) + " 2",
      pad80(sp(16) + "FILM         DIGITAL     "),
      // Cell means 0.625 -+ 1/16 -+ 1/32 -+ 1/64.
      "   1 ALICE SMI    0.5469" + sp(3) + "    0.6406",
      "   2 BOB JONES    0.5781" + sp(3) + "    0.7344",
      "",
      "",
      "",
      sp(21) + "SINGLEREADER-MULTICASES ROC ANALYSIS",
  };
  // Paired differences d(c) = -2(a +- ab) -+ 2(ag +- e): SE = 2|ag +- e|.
  struct Reader {
    std::string header, m1, m2, se, ci;
  };
  const Reader readers[2] = {
      {" READER   1: " + std::string("ALICE SMITHSON") + sp(6), "  0.5469", "  0.6406", "  0.0469",
       "(-.6893,0.5018)"},
      {" READER   2: " + std::string("BOB JONES") + sp(11), "  0.5781", "  0.7344", "  0.0781",
       "(******,0.8364)"},
  };
  for (const Reader& r : readers) {
    const std::vector<std::string> block{
        "",
        " " + std::string(55, '='),
        r.header,
        " " + std::string(30, '_'),
        "     TREATMENT MEANS",
        sp(6) + "1" + sp(12) + "2",
        pad80(sp(4) + "FILM         DIGITAL     "),
        "  " + r.m1 + sp(5) + r.m2,
        "",
        " SE(MEAN DIFF) = " + r.se,
        " t(.025,DF=  1) = 12.7060",
        "",
        " THE 95% CONFIDENCE INTERVAL FOR THE POPULATION MEAN DIFFERENCE",
        " FOR TREATMENT 1 MINUS TREATMENT 2 IS " + r.ci,
        "",
        " " + std::string(55, '='),
    };
    v.insert(v.end(), block.begin(), block.end());
  }
  return v;
}

std::vector<std::string> referenceBlock() {
  return {"",
          "",
          "",
          "",
          sp(26) + "REFERENCE",
          " JACKKNIFE PSEUDOVALUES OF THE AREA UNDER THE FITTED BINORMAL ROC CURVE,",
          " ANALYSED BY A TREATMENT X READER X CASE ANALYSIS OF VARIANCE WITH",
          " TREATMENT FIXED AND READERS AND CASES RANDOM.",
          " QUELBRO PROJECT NOTES ON MULTIREADER-MULTICASE ROC ANALYSIS."};
}

void expectLines(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  const std::size_t n = std::min(got.size(), want.size());
  for (std::size_t k = 0; k < n; ++k) EXPECT_EQ(got[k], want[k]) << "line " << k + 1;
  EXPECT_EQ(got.size(), want.size());
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

TEST(AnovaLayout, TwoTreatmentReportOnScreenOnly) {
  Study s(false);
  s.setNames({"ALICE SMITHSON", "BOB JONES"}, {"FILM", "DIGITAL"});
  fillEffects(s.pv, kStudy);
  s.run(2, 2, 2);
  expectLines(s.screen.lines(), concat({firstPass(), secondPassAndSingleReaders(), referenceBlock()}));
}

TEST(AnovaLayout, ReportFileGetsEveryBlockAndTheReferenceBlockAlone) {
  Study s(true);
  s.setNames({"ALICE SMITHSON", "BOB JONES"}, {"FILM", "DIGITAL"});
  fillEffects(s.pv, kStudy);
  s.run(2, 2, 2);
  expectLines(s.screen.lines(), concat({firstPass(), secondPassAndSingleReaders()}));
  expectLines(s.file.lines(), concat({firstPass(), secondPassAndSingleReaders(), referenceBlock()}));
}

}  // namespace
}  // namespace quelbro
