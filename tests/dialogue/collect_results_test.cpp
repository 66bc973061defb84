// The records a run hands to its observer: a binary-rating study whose areas,
// pseudovalues and analysis are worked out by hand, and a fitted study whose
// records must agree with the figures the report prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/text_console.h"
#include "dialogue/program.h"
#include "results/results.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

class Keeper : public RunObserver {
 public:
  void datasetFinished(const DatasetResults& results) override { kept.push_back(results); }
  std::vector<DatasetResults> kept;
};

// Runs the console dialogue on `data` (answered Y, no report file, then Q)
// in a fresh folder; returns the screen lines.
std::vector<std::string> runOn(const std::string& data, Keeper& keeper) {
  std::string tmpl = (fs::temp_directory_path() / "quelbro-results-XXXXXX").string();
  EXPECT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path work = tmpl;
  std::ofstream(work / "study.dat") << data;
  ScriptedConsole console({"y", "study.dat", "n", "q"});
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  const fs::path home = fs::current_path();
  fs::current_path(work);
  runConsoleProgram(console, clock, &keeper);
  fs::current_path(home);
  fs::remove_all(work);
  return console.lines();
}

// Two readers, two treatments, 4 + 4 cases rated 0 or 1. Each reader and
// treatment has one operating point inside the unit square, so the fit is
// degenerate (type 2, no area) and the jackknife uses trapezoidal areas:
// pseudovalue = 8 A - 7 A(case left out), A = (TPF + 1 - FPF) / 2.
const char* const kBinary =
    "Two readers rating 0 or 1\n"
    "Reader One\n"
    "\"Plain\" \"Contrast\"\n"
    "L L\n"
    "0 0\n0 0\n0 1\n1 1\n*\n"
    "1 1\n1 1\n1 1\n0 0\n*\n"
    "Reader Two\n"
    "0 0\n1 0\n0 0\n0 1\n*\n"
    "1 1\n1 0\n0 1\n1 1\n*\n"
    "#\n";

TEST(CollectResults, BinaryStudyRecordsAgreeWithHandWorkedFigures) {
  Keeper keeper;
  runOn(kBinary, keeper);
  ASSERT_EQ(keeper.kept.size(), 1u);
  const DatasetResults& d = keeper.kept[0];
  EXPECT_EQ(d.dataset, 1);
  EXPECT_EQ(d.description, "Two readers rating 0 or 1");
  EXPECT_EQ(d.inputFile, "study.dat");
  ASSERT_EQ(d.readers, (std::vector<std::string>{"Reader One", "Reader Two"}));
  ASSERT_EQ(d.treatmentCount(), 2);
  EXPECT_EQ(d.treatments[1].description, "Contrast");
  EXPECT_EQ(d.treatments[1].direction, 1);
  EXPECT_EQ(d.negatives, 4);
  EXPECT_EQ(d.positives, 4);
  ASSERT_EQ(d.fits.size(), 4u);

  // FPF, TPF and the trapezoidal area of each reader and treatment.
  struct Cell {
    int r, t;
    double fpf, tpf, area;
  };
  const Cell cells[] = {
      {1, 1, 0.25, 0.75, 0.75}, {1, 2, 0.5, 0.75, 0.625}, {2, 1, 0.25, 0.75, 0.75}, {2, 2, 0.25, 0.75, 0.75}};
  for (const Cell& c : cells) {
    SCOPED_TRACE(testing::Message() << "reader " << c.r << " treatment " << c.t);
    const FitRecord& f = d.fit(c.r, c.t);
    EXPECT_EQ(f.reader, c.r);
    EXPECT_EQ(f.treatment, c.t);
    EXPECT_EQ(f.negatives, 4);
    EXPECT_EQ(f.positives, 4);
    EXPECT_EQ(f.categories, 2);
    EXPECT_EQ(f.status, FitStatus::Degenerate);
    EXPECT_EQ(f.degenerateType, 2);
    EXPECT_TRUE(std::isnan(f.a) && std::isnan(f.az) && std::isnan(f.seAz));
    EXPECT_EQ(f.jackknife, JackknifeStatus::Trapezoidal);
    ASSERT_EQ(f.points.size(), 3u);
    EXPECT_DOUBLE_EQ(f.points[0].fpf, 0.0);
    EXPECT_DOUBLE_EQ(f.points[0].tpf, 0.0);
    EXPECT_DOUBLE_EQ(f.points[1].fpf, c.fpf);
    EXPECT_DOUBLE_EQ(f.points[1].tpf, c.tpf);
    EXPECT_DOUBLE_EQ(f.points[2].fpf, 1.0);
    EXPECT_DOUBLE_EQ(f.points[2].tpf, 1.0);
    EXPECT_EQ(f.negativeCounts,
              (std::vector<int>{static_cast<int>(4 - 4 * c.fpf), static_cast<int>(4 * c.fpf)}));
    EXPECT_NEAR(f.trapezoidalArea, c.area, 1e-12);
  }

  // Pseudovalues case by case. Reader 1, treatment 1: a 0 among the
  // negatives leaves FPF 1/3, A = 17/24, pseudovalue 6 - 7 * 17/24 = 25/24;
  // the 1 leaves FPF 0, A = 7/8, pseudovalue -1/8; likewise the positives.
  const double hi = 25.0 / 24.0, lo = -0.125;
  const std::vector<std::vector<double>> pv = {
      {hi, hi, hi, lo, hi, hi, hi, lo},
      // Treatment 2 (A = 5/8): negative 0 -> 29/24, negative 1 -> 1/24,
      // positive 1 -> 22/24, positive 0 -> -1/4.
      {29.0 / 24, 29.0 / 24, 1.0 / 24, 1.0 / 24, 22.0 / 24, 22.0 / 24, 22.0 / 24, -0.25},
      {hi, lo, hi, hi, hi, hi, lo, hi},
      {hi, hi, hi, lo, hi, lo, hi, hi}};
  for (int r = 1; r <= 2; ++r)
    for (int t = 1; t <= 2; ++t)
      for (int c = 1; c <= 8; ++c)
        EXPECT_NEAR(d.pseudovalue(r, t, c), pv[static_cast<std::size_t>(2 * (r - 1) + t - 1)][c - 1], 1e-9)
            << "reader " << r << " treatment " << t << " case " << c;
  EXPECT_EQ(d.truth(4), 0);
  EXPECT_EQ(d.truth(5), 1);

  ASSERT_TRUE(d.analysis.has_value());
  const AnalysisRecord& a = *d.analysis;
  ASSERT_EQ(a.sources.size(), 8u);
  EXPECT_EQ(a.sources[0].source, "TOT");
  EXPECT_FALSE(a.sources[0].tested);
  EXPECT_TRUE(std::isnan(a.sources[0].ms));
  EXPECT_NEAR(a.treatmentMeans[0], 0.75, 1e-9);
  EXPECT_NEAR(a.treatmentMeans[1], 0.6875, 1e-9);
  EXPECT_NEAR(a.cellMeans[0][1], 0.625, 1e-9);
  // SS(T) = R C sum (mean_t - grand)^2 = 2 * 8 * 2 * (1/32)^2 = 1/32.
  const SourceRecord* t = a.source("T");
  ASSERT_NE(t, nullptr);
  EXPECT_NEAR(t->ss, 1.0 / 32, 1e-12);
  EXPECT_EQ(t->df, 1.0);
  EXPECT_EQ(a.source("TRC")->df, 7.0);
  EXPECT_FALSE(a.source("TRC")->tested);
  EXPECT_EQ(a.source("TOT")->df, 31.0);
  EXPECT_TRUE(a.constrainedCells.empty());

  // Reader 1 alone: the differences are -1/6 (three cases), 1, and 1/8
  // (four cases): mean 1/8, SE = sqrt(49/2688) = 0.1350154, t(.025; 7) =
  // 2.3646243 (the program's table carries three decimals: 2.365).
  ASSERT_TRUE(a.twoTreatments.has_value());
  EXPECT_NEAR(a.twoTreatments->difference, 0.0625, 1e-9);
  ASSERT_EQ(a.singleReaders.size(), 2u);
  const SingleReaderRecord& s = a.singleReaders[0];
  EXPECT_NEAR(s.difference, 0.125, 1e-9);
  EXPECT_NEAR(s.se, std::sqrt(49.0 / 2688), 1e-9);
  EXPECT_EQ(s.df, 7.0);
  EXPECT_NEAR(s.tCritical, 2.3646243, 5e-4);
  EXPECT_NEAR(s.lower, 0.125 - s.tCritical * std::sqrt(49.0 / 2688), 1e-12);
  EXPECT_FALSE(s.significant);
}

// A value printed in Fw.d on the line starting (after blanks) with `label`.
double printed(const std::vector<std::string>& screen, const std::string& label, std::size_t from = 0) {
  for (std::size_t i = from; i < screen.size(); ++i) {
    const std::size_t p = screen[i].find(label);
    if (p != std::string::npos) return std::stod(screen[i].substr(p + label.size()));
  }
  ADD_FAILURE() << "no line with " << label;
  return kUndefined;
}

TEST(CollectResults, FittedStudyRecordsRoundToThePrintedFigures) {
  std::ifstream in(fs::path(QUELBRO_SOURCE_DIR) / "examples" / "study.dat", std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Keeper keeper;
  const std::vector<std::string> screen = runOn(data, keeper);
  ASSERT_EQ(keeper.kept.size(), 1u);
  const FitRecord& f = keeper.kept[0].fit(1, 1);
  ASSERT_EQ(f.status, FitStatus::Fitted);
  EXPECT_GT(f.iterations, 0);
  // The area from the estimates by the binormal formula (the program's
  // normal distribution is a rational approximation good to about 1e-7).
  EXPECT_NEAR(f.az, 0.5 * std::erfc(-f.a / std::sqrt(1.0 + f.b * f.b) / std::sqrt(2.0)), 2e-7);
  // The first fit's report: F7.4 values, so within 0.00005.
  EXPECT_NEAR(f.a, printed(screen, "A= "), 5e-5);
  EXPECT_NEAR(f.b, printed(screen, "B= "), 5e-5);
  EXPECT_NEAR(f.seA, printed(screen, "STD. ERROR (A) = "), 5e-5);
  EXPECT_NEAR(f.seB, printed(screen, "STD. ERROR (B) = "), 5e-5);
  EXPECT_NEAR(f.corrAB, printed(screen, "CORR(A,B)      = "), 5e-5);
  EXPECT_NEAR(f.az, printed(screen, "(A-SUB-Z) = "), 5e-5);
  EXPECT_NEAR(f.seAz, printed(screen, "STD. ERROR OF A-SUB-Z = "), 5e-5);
  EXPECT_NEAR(f.trapezoidalArea, printed(screen, "TRAPEZOIDAL(WILCOXON) AREA = "), 5e-5);
  EXPECT_NEAR(f.seTrapezoidal, printed(screen, "STD. ERROR OF TRAPEZOIDAL AREA = "), 5e-5);
  EXPECT_EQ(f.points.front().fpf, 0.0);
  EXPECT_EQ(f.points.back().tpf, 1.0);
  EXPECT_EQ(static_cast<int>(f.points.size()), f.categories + 1);
}

}  // namespace
}  // namespace quelbro
