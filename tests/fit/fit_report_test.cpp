// The fit report, line by line: header (screen and report-file versions),
// operating points, final estimates, fitted curve and critical values.
#include "fit/fit_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "console/text_console.h"

namespace quelbro {
namespace {

using Lines = std::vector<std::string>;

std::string sp(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

struct Report {
  LineCollector screen, file;
  Destinations out{screen, &file};
  FitContext ctx;
  Report() {
    ctx.out = &out;
    ctx.title = "Lung nodule study";
    ctx.datdes = "Two modalities, five readers";
    ctx.readerName = "Dr. Adams";
    ctx.treatmentDes = "CT";
    ctx.input = InputKind::FromFile;
    ctx.fileName = "STUDY.DAT";
    ctx.date = "08-Dec-26";
    ctx.time = "10:30:00";
    ctx.maxdec = 2;
    ctx.direction = 1;
  }
};

CatTab counts(const std::vector<double>& neg, const std::vector<double>& pos) {
  CatTab ct;
  ct.NCAT = static_cast<int>(neg.size());
  ct.KHIGH = ct.NCAT;
  double n0 = 0, n1 = 0;
  for (int c = 1; c <= ct.NCAT; ++c) {
    ct.CNEG[c] = neg[c - 1];
    ct.CPOS[c] = pos[c - 1];
    n0 += neg[c - 1];
    n1 += pos[c - 1];
  }
  ct.NNEG = static_cast<int>(n0);
  ct.NPOS = static_cast<int>(n1);
  return ct;
}

Lines head(const std::string& input) {
  Lines l = {"",
             sp(60) + "DATE - 08-Dec-26",
             sp(61) + "TIME - 10:30:00",
             "",
             "",
             sp(6) + "Lung nodule study" + sp(43),
             sp(10) + "Two modalities, five readers" + sp(32),
             "",
             sp(10) + "Reader:    Dr. Adams" + sp(11),
             sp(10) + "Treatment: CT" + sp(10),
             "",
             ""};
  if (!input.empty()) {
    l.push_back(input);
    l.push_back("");
    l.push_back("");
  }
  return l;
}

Lines direction(const std::string& firstWord) {
  return {sp(6) + firstWord + " VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE",
          "      CASE IS ACTUALLY POSITIVE (E.G., THAT THE PATIENT IS ACTUALLY DISEASED)", ""};
}

Lines join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(FitReport, HeaderOnScreenAndInTheReportFile) {
  struct Case {
    InputKind kind;
    std::string fileLine;
  };
  const Case cases[] = {
      {InputKind::TypedNotSaved, "      NAME OF INPUT FILE BEING USED: (none)"},
      {InputKind::TypedSaved, "      NAME OF CREATED INPUT FILE: STUDY.DAT"},
      {InputKind::FromFile, "      NAME OF INPUT FILE BEING USED: STUDY.DAT"},
  };
  for (const auto& c : cases) {
    Report r;
    r.ctx.input = c.kind;
    CatTab ct = counts({40, 18}, {20, 42});
    OUTINI(ct, 0, 1, 1, r.ctx);
    const Lines counts = {"      NO. OF ACTUALLY-NEGATIVE CASES =    58",
                          "      NO. OF ACTUALLY-POSITIVE CASES =    62"};
    Lines screen = head("");
    screen.insert(screen.begin() + 5, 4, "");  // four more empty lines on the screen only
    EXPECT_EQ(r.screen.lines(), join({screen, direction("LARGER"), counts}));
    EXPECT_EQ(r.file.lines(), join({head(c.fileLine), direction("LARGER"), counts}));
  }
}

TEST(FitReport, DirectionSentenceFollowsTheTreatment) {
  // Smaller values abnormal: the sentence says so even with one category,
  // where KHIGH = NCAT = 1 would suggest the opposite.
  Report r;
  r.ctx.direction = -1;
  CatTab ct = counts({5}, {5});
  ct.KHIGH = 1;
  OUTINI(ct, 0, 1, 1, r.ctx);
  EXPECT_EQ(r.screen.lines()[16],
            "      SMALLER VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE");

  Report larger;
  CatTab ct2 = counts({5, 1}, {1, 5});
  ct2.KHIGH = 1;  // a treatment whose larger values are abnormal
  OUTINI(ct2, 0, 1, 1, larger.ctx);
  EXPECT_EQ(larger.file.lines()[15],
            "      LARGER VALUES OF THE TEST RESULT REPRESENT STRONGER EVIDENCE THAT THE");
}

const std::string kPointsTitle = "      OPERATING POINTS CORRESPONDING TO THE CATEGORIZED INPUT DATA:";

struct PointsCase {
  const char* what;
  std::vector<double> neg, pos;
  Lines expected;
};

TEST(FitReport, OperatingPointsInGroupsOfTen) {
  const std::vector<double> ones9(9, 1.0), ones10(10, 1.0), ones20(20, 1.0), twos20(20, 2.0);
  const PointsCase cases[] = {
      {"K = 2",
       {3, 1},
       {1, 3},
       {"", kPointsTitle, "       FPF: 0.000 0.250 1.000 ", "       TPF: 0.000 0.750 1.000 ", "", ""}},
      {"K = 9",
       ones9,
       {1, 1, 1, 1, 1, 1, 1, 1, 2},
       {"", kPointsTitle, "       FPF: 0.000 0.111 0.222 0.333 0.444 0.556 0.667 0.778 0.889 1.000 ",
        "       TPF: 0.000 0.200 0.300 0.400 0.500 0.600 0.700 0.800 0.900 1.000 ", "", "", ""}},
      {"K = 10",
       ones10,
       {5, 1, 1, 1, 1, 1, 1, 1, 1, 7},
       {"", kPointsTitle, "       FPF: 0.000 0.100 0.200 0.300 0.400 0.500 0.600 0.700 0.800 0.900 ",
        "       TPF: 0.000 0.350 0.400 0.450 0.500 0.550 0.600 0.650 0.700 0.750 ", "", "       FPF: 1.000 ",
        "       TPF: 1.000 ", "", ""}},
      {"K = 20",
       ones20,
       twos20,
       {"", kPointsTitle, "       FPF: 0.000 0.050 0.100 0.150 0.200 0.250 0.300 0.350 0.400 0.450 ",
        "       TPF: 0.000 0.050 0.100 0.150 0.200 0.250 0.300 0.350 0.400 0.450 ", "",
        "       FPF: 0.500 0.550 0.600 0.650 0.700 0.750 0.800 0.850 0.900 0.950 ",
        "       TPF: 0.500 0.550 0.600 0.650 0.700 0.750 0.800 0.850 0.900 0.950 ", "", "       FPF: 1.000",
        "       TPF: 1.000"}},
  };
  for (const auto& c : cases) {
    Report r;
    CatTab ct = counts(c.neg, c.pos);
    OBPNT(ct, 0, r.ctx);
    EXPECT_EQ(r.screen.lines(), c.expected) << c.what;
    EXPECT_EQ(r.file.lines(), c.expected) << c.what;
  }
}

TEST(FitReport, OperatingPointsAreFilledButNotPrintedForALeftOutFit) {
  Report r;
  CatTab ct = counts({3, 1}, {1, 3});
  OBPNT(ct, 5, r.ctx);
  EXPECT_TRUE(r.screen.lines().empty());
  EXPECT_TRUE(r.file.lines().empty());
  EXPECT_EQ(ct.FPF[1], 1.0);
  EXPECT_EQ(ct.FPF[2], 0.25);
  EXPECT_EQ(ct.FPF[3], 0.0);
  EXPECT_EQ(ct.TPF[1], 1.0);
  EXPECT_EQ(ct.TPF[2], 0.75);
  EXPECT_EQ(ct.TPF[3], 0.0);
}

// A = sqrt 2, B = 1: area Phi(1) = 0.841345. Var A = 0.04, Var B = 0.01,
// Cov = 0.01: correlation 0.5; delta method by hand gives SE(Az) = 0.030056.
CatTab estimates(CovMat& cov) {
  CatTab ct = counts({30, 10, 5}, {5, 10, 30});
  ct.PARM[1] = std::sqrt(2.0);
  ct.PARM[2] = 1.0;
  ct.PARM[3] = 0.0;
  ct.PARM[4] = 1.0;
  ct.TRAPA = 0.8125;
  ct.TRAPSE = 0.03125;
  for (auto& row : cov) row.fill(0.0);
  cov[1][1] = 0.04;
  cov[2][2] = 0.01;
  cov[1][2] = cov[2][1] = 0.01;
  return ct;
}

const Lines kFinal = {"",
                      "",
                      "      FINAL ESTIMATES OF THE BINORMAL ROC PARAMETERS A AND B:",
                      "          A=  1.4142",
                      "          B=  1.0000",
                      "",
                      "",
                      "      ESTIMATED STD. DEV. AND CORRELATION OF THESE PARAMETER VALUES:",
                      "          STD. ERROR (A) =  0.2000",
                      "          STD. ERROR (B) =  0.1000",
                      "          CORR(A,B)      =  0.5000",
                      "",
                      "",
                      "",
                      "      AREA UNDER FITTED CURVE (A-SUB-Z) =  0.8413",
                      "      ESTIMATED STD. ERROR OF A-SUB-Z =  0.0301",
                      "",
                      "      TRAPEZOIDAL(WILCOXON) AREA =  0.8125",
                      "      ESTIMATED STD. ERROR OF TRAPEZOIDAL AREA =  0.0313"};

TEST(FitReport, FinalEstimatesOnBothDestinations) {
  Report r;
  CovMat cov;
  const CatTab ct = estimates(cov);
  const double az = OUTRSL(ct, 0, 5, cov, r.ctx);
  EXPECT_NEAR(az, 0.841345, 1e-6);
  EXPECT_EQ(r.screen.lines(), kFinal);
  ASSERT_GT(r.file.lines().size(), kFinal.size());
  EXPECT_EQ(Lines(r.file.lines().begin(), r.file.lines().begin() + kFinal.size()), kFinal);
}

TEST(FitReport, WithoutAReportFileOnlyTheFinalEstimatesAreShown) {
  LineCollector screen;
  Destinations out(screen);
  Report r;
  r.ctx.out = &out;
  CovMat cov;
  const CatTab ct = estimates(cov);
  OUTRSL(ct, 0, 5, cov, r.ctx);
  EXPECT_EQ(screen.lines(), kFinal);
}

TEST(FitReport, LeftOutFitPrintsNothingButReturnsTheArea) {
  Report r;
  CovMat cov;
  CatTab ct = estimates(cov);
  EXPECT_NEAR(OUTRSL(ct, 3, 5, cov, r.ctx), 0.841345, 1e-6);
  OUTINI(ct, 3, 1, 1, r.ctx);
  EXPECT_TRUE(r.screen.lines().empty());
  EXPECT_TRUE(r.file.lines().empty());
}

TEST(FitReport, FittedCurveTableLayout) {
  // B = 0 and no variance in B: every row has TPF = Phi(0.3) = 0.6179 and
  // bounds Phi(0.3 -+ 1.96 x 0.2) = 0.4633 and 0.7555.
  Report r;
  CovMat cov;
  CatTab ct = estimates(cov);
  ct.PARM[1] = 0.3;
  ct.PARM[2] = 0.0;
  for (auto& row : cov) row.fill(0.0);
  cov[1][1] = 0.04;
  OUTRSL(ct, 0, 5, cov, r.ctx);
  const char* fpf[] = {"0.005", "0.010", "0.020", "0.030", "0.040", "0.050", "0.060", "0.070", "0.080",
                       "0.090", "0.100", "0.110", "0.120", "0.130", "0.140", "0.150", "0.200", "0.250",
                       "0.300", "0.400", "0.500", "0.600", "0.700", "0.800", "0.900", "0.950"};
  Lines expected = {"",
                    "",
                    "",
                    "      ESTIMATED BINORMAL ROC CURVE, WITH LOWER AND",
                    "      UPPER BOUNDS OF THE ASYMMETRIC 95% CONFIDENCE",
                    "      INTERVAL FOR TRUE-POSITIVE FRACTION AT A VARIETY",
                    "      OF FALSE-POSITIVE FRACTION:",
                    "",
                    "",
                    "         FPF      TPF        (LOWER BOUND, UPPER BOUND)"};
  for (const char* f : fpf) expected.push_back(sp(7) + f + "    0.6179       (   0.4633  ,   0.7555   )");
  const Lines& file = r.file.lines();
  ASSERT_GE(file.size(), kFinal.size() + expected.size());
  EXPECT_EQ(Lines(file.begin() + kFinal.size(), file.begin() + kFinal.size() + expected.size()), expected);
}

TEST(FitReport, FittedCurveValuesFollowTheBinormalCurve) {
  // A = 1, B = 0.8, Var A = 0.05, Var B = 0.02, Cov = 0.01; reference values
  // with exact normal quantiles (the table's inverse is good to 4.5e-4).
  Report r;
  CovMat cov;
  CatTab ct = estimates(cov);
  ct.PARM[1] = 1.0;
  ct.PARM[2] = 0.8;
  cov[1][1] = 0.05;
  cov[2][2] = 0.02;
  cov[1][2] = cov[2][1] = 0.01;
  OUTRSL(ct, 0, 5, cov, r.ctx);
  const Lines& file = r.file.lines();
  auto exactPhi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  auto quantile = [&](double p) {  // bisection on the exact distribution function
    double lo = -10, hi = 10;
    for (int i = 0; i < 200; ++i) {
      const double mid = 0.5 * (lo + hi);
      (exactPhi(mid) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  };
  for (std::size_t n = 0; n < kFpfTab.size(); ++n) {
    const std::string& line = file[kFinal.size() + 10 + n];
    const double x = quantile(kFpfTab[n]);
    const double v = 1.0 + 0.8 * x;
    const double s = std::sqrt(x * x * 0.02 + 0.05 + 2 * x * 0.01);
    EXPECT_NEAR(std::stod(line.substr(7, 5)), kFpfTab[n], 5e-4);
    EXPECT_NEAR(std::stod(line.substr(16, 6)), exactPhi(v), 3e-4) << line;
    EXPECT_NEAR(std::stod(line.substr(33, 6)), exactPhi(v - 1.96 * s), 3e-4) << line;
    EXPECT_NEAR(std::stod(line.substr(45, 6)), exactPhi(v + 1.96 * s), 3e-4) << line;
  }
}

TEST(FitReport, CriticalValuesFollowTheNumberOfDecimals) {
  // Z(1) = 0, Z(2) = 1, A = B = 1: cut-off 2 at (1 - Phi(1), 1 - Phi(0)) =
  // (0.159, 0.500), cut-off 1 at (0.500, Phi(1)) = (0.500, 0.841).
  struct Case {
    int maxdec, lead, width;
    std::string pi, half;
  };
  const Case cases[] = {
      {0, 18, 9, "3.1", "-0.5"},
      {1, 17, 10, "3.14", "-0.50"},
      {2, 16, 11, "3.142", "-0.500"},
      {3, 15, 12, "3.1416", "-0.5000"},
      {4, 14, 13, "3.14159", "-0.50000"},
      {5, 13, 14, "3.141593", "-0.500000"},
      {6, 12, 15, "3.1415927", "-0.5000000"},
      {7, 12, 15, "3.1415927", "-0.5000000"},
      {-1, 12, 15, "3.1415927", "-0.5000000"},
  };
  const Lines block = {"1",
                       "",
                       "",
                       "          ESTIMATED RELATIONSHIP BETWEEN THE CRITICAL TEST-RESULT VALUE",
                       "          (WHICH SEPARATES 'POSITIVE' RESULTS FROM 'NEGATIVE' RESULTS)",
                       "          AND THE CORRESPONDING OPERATING POINT ON THE FITTED BINORMAL",
                       "          ROC CURVE:",
                       "",
                       "     " + std::string(71, '*'),
                       "",
                       "              CRITICAL TEST           (  FPF ,   TPF )",
                       "              RESULT VALUE",
                       "",
                       ""};
  for (const auto& c : cases) {
    Report r;
    r.ctx.maxdec = c.maxdec;
    CovMat cov;
    CatTab ct = estimates(cov);
    ct.PARM[1] = 1.0;
    ct.PARM[2] = 1.0;
    ct.CUTS[1] = -0.5;
    ct.CUTS[2] = 3.14159265;
    OUTRSL(ct, 0, 5, cov, r.ctx);
    Lines expected = block;
    expected.push_back(sp(c.lead) + sp(c.width - static_cast<int>(c.pi.size())) + c.pi + sp(11) +
                       "( 0.159,  0.500)");
    expected.push_back(sp(c.lead) + sp(c.width - static_cast<int>(c.half.size())) + c.half + sp(11) +
                       "( 0.500,  0.841)");
    const Lines& file = r.file.lines();
    ASSERT_EQ(file.size(), kFinal.size() + 36 + expected.size()) << c.maxdec;
    EXPECT_EQ(Lines(file.end() - static_cast<long>(expected.size()), file.end()), expected) << c.maxdec;
  }
}

TEST(FitReport, TwoCategoriesGiveOneCriticalValueRow) {
  Report r;
  CovMat cov;
  CatTab ct = counts({8, 2}, {3, 7});
  ct.PARM[1] = 1.0;
  ct.PARM[2] = 1.0;
  ct.PARM[3] = 0.0;
  ct.CUTS[1] = 12.0;
  cov = CovMat{};
  cov[1][1] = cov[2][2] = 0.01;
  r.ctx.maxdec = 0;
  OUTRSL(ct, 0, 5, cov, r.ctx);
  EXPECT_EQ(r.file.lines().back(), sp(18) + "     12.0" + sp(11) + "( 0.500,  0.841)");
  EXPECT_EQ(r.file.lines()[r.file.lines().size() - 2], "");
}

}  // namespace
}  // namespace quelbro
