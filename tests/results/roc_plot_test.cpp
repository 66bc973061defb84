// The plot model: fitted curves against the binormal formula, their smoothness and ends, the
// treatment averages against the mean parameters, and degenerate readers with points only.
#include "results/roc_plot.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plot_study.h"

namespace quelbro {
namespace {

using testing::Phi;
using testing::PhiInverse;

// Every point off the borders lies on TPF = Phi(a + b Phi^-1(FPF)); consecutive points are at
// most kCurveStep apart except along the borders; the ends are the limits of the curve.
void expectBinormal(const std::vector<RocPoint>& curve, double a, double b) {
  ASSERT_GE(curve.size(), 50u);
  int checked = 0;
  for (const RocPoint& p : curve) {
    if (p.fpf > 1e-9 && p.fpf < 1.0 - 1e-9) {
      EXPECT_NEAR(p.tpf, Phi(a + b * PhiInverse(p.fpf)), 1e-6) << "FPF " << p.fpf;
      ++checked;
    }
  }
  EXPECT_GT(checked, 40);
  for (std::size_t i = 1; i < curve.size(); ++i) {
    EXPECT_GE(curve[i].fpf, curve[i - 1].fpf);
    const bool border = curve[i - 1].fpf < 1e-9 || curve[i].fpf > 1.0 - 1e-9;
    if (!border) {
      EXPECT_LE(std::fabs(curve[i].fpf - curve[i - 1].fpf), kCurveStep + 1e-12) << i;
      EXPECT_LE(std::fabs(curve[i].tpf - curve[i - 1].tpf), kCurveStep + 1e-12) << i;
    }
  }
  EXPECT_EQ(curve.front().fpf, 0.0);
  EXPECT_EQ(curve.back().fpf, 1.0);
}

struct CurveCase {
  double a, b;
  double tpfAtZero, tpfAtOne;
};

class BinormalCurve : public ::testing::TestWithParam<CurveCase> {};

TEST_P(BinormalCurve, FollowsTheFormulaSmoothlyToItsEnds) {
  const CurveCase c = GetParam();
  const std::vector<RocPoint> curve = binormalCurve(c.a, c.b);
  expectBinormal(curve, c.a, c.b);
  EXPECT_NEAR(curve.front().tpf, c.tpfAtZero, 1e-12);
  EXPECT_NEAR(curve.back().tpf, c.tpfAtOne, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Curves, BinormalCurve,
                         ::testing::Values(CurveCase{1.2, 0.8, 0, 1},   // a usual fit
                                           CurveCase{0.0, 1.0, 0, 1},   // chance
                                           CurveCase{2.5, 0.3, 0, 1},   // steep at FPF 0
                                           CurveCase{0.6, 4.0, 0, 1},   // steep late
                                           CurveCase{3.5, 1.0, 0, 1},   // hugging the corner
                                           CurveCase{0.8, -0.5, 1, 0},  // a perverse slope
                                           CurveCase{1.0, 0.0, Phi(1.0), Phi(1.0)}));

TEST(BinormalCurve, DenseWhereTheCurveIsSteep) {
  // With b = 0.3 the curve climbs to TPF 0.5 before FPF 0.001: the grid must follow it there.
  const std::vector<RocPoint> curve = binormalCurve(2.5, 0.3);
  int nearZero = 0;
  for (const RocPoint& p : curve)
    if (p.fpf > 0.0 && p.fpf < 0.001) ++nearZero;
  EXPECT_GT(nearZero, 40);
}

TEST(BinormalCurve, NoCurveFromEstimatesThatAreNotNumbers) {
  EXPECT_TRUE(binormalCurve(std::nan(""), 1.0).empty());
  EXPECT_TRUE(binormalCurve(1.0, INFINITY).empty());
}

TEST(RocPlot, EachFittedReaderCarriesItsCurveAndPoints) {
  const RocPlotModel m = makeRocPlot(testing::threeReaders());
  ASSERT_EQ(m.panels.size(), 3u);
  const ReaderCurve& c = m.panels[1].curves[1];  // Dr. Baker, Digital
  EXPECT_EQ(m.panels[1].name, "Dr. Baker");
  EXPECT_EQ(m.fileName, "study.dat");  // without the folder
  EXPECT_EQ(c.treatment, 2);
  ASSERT_TRUE(c.fitted);
  expectBinormal(c.curve, 2.0, 0.9);
  EXPECT_NEAR(c.az, Phi(2.0 / std::sqrt(1.81)), 1e-12);
  // The corners (0,0) and (1,1) are not operating points worth a marker.
  ASSERT_EQ(c.points.size(), 3u);
  EXPECT_EQ(c.points[0].fpf, 0.1);
  EXPECT_EQ(c.points[0].tpf, 0.45);
}

TEST(RocPlot, DegenerateReadersCarryPointsAndNoCurve) {
  const RocPlotModel m = makeRocPlot(testing::threeReaders());
  const ReaderCurve& c = m.panels[2].curves[1];  // Dr. Chen, Digital: perfect performance
  EXPECT_FALSE(c.fitted);
  EXPECT_TRUE(c.curve.empty());
  ASSERT_EQ(c.points.size(), 1u);
  EXPECT_EQ(c.points[0].fpf, 0.0);
  EXPECT_EQ(c.points[0].tpf, 1.0);
  EXPECT_EQ(c.reason, "perfect performance");

  DatasetResults s = testing::threeReaders();
  s.fits[0].status = FitStatus::NotConverged;
  EXPECT_EQ(makeRocPlot(s).panels[0].curves[0].reason, "fit did not converge");
  EXPECT_TRUE(makeRocPlot(s).panels[0].curves[0].curve.empty());
}

TEST(RocPlot, AverageCurveIsTheCurveOfTheMeanParameters) {
  const RocPlotModel m = makeRocPlot(testing::threeReaders());
  ASSERT_EQ(m.averages.size(), 2u);
  // Film: a = 1.0, 1.5, 2.0 and b = 0.8, 1.0, 1.2, so mean a 1.5, mean b 1.0,
  // Az = Phi(1.5 / sqrt 2) = 0.8555778 (worked out on its own).
  const AverageCurve& film = m.averages[0];
  EXPECT_EQ(film.readers, 3);
  EXPECT_NEAR(film.meanA, 1.5, 1e-12);
  EXPECT_NEAR(film.meanB, 1.0, 1e-12);
  EXPECT_NEAR(film.az, 0.8555778168, 1e-9);
  expectBinormal(film.curve, 1.5, 1.0);
  // Digital: the degenerate reader stays out of the mean.
  const AverageCurve& digital = m.averages[1];
  EXPECT_EQ(digital.readers, 2);
  EXPECT_NEAR(digital.meanA, 1.8, 1e-12);
  EXPECT_NEAR(digital.meanB, 1.0, 1e-12);
  expectBinormal(digital.curve, 1.8, 1.0);
}

TEST(RocPlot, TreatmentWithoutAnyFittedReaderHasNoAverageCurve) {
  DatasetResults s = testing::threeReaders();
  for (FitRecord& f : s.fits)
    if (f.treatment == 2) f = testing::degenerate(f.reader, 2, 2, {{0, 0}, {0.4, 0.7}, {1, 1}});
  const RocPlotModel m = makeRocPlot(s);
  EXPECT_EQ(m.averages[1].readers, 0);
  EXPECT_TRUE(m.averages[1].curve.empty());
  EXPECT_FALSE(m.averages[1].reason.empty());
  EXPECT_EQ(m.averages[0].readers, 3);
}

}  // namespace
}  // namespace quelbro
