// Degenerate operating-point configurations: each type built from category
// counts, with its message (screen and report file) and its area substitute.
#include "fit/degene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "console/destinations.h"
#include "console/text_console.h"

namespace quelbro {
namespace {

using Fractions = std::array<double, kMaxCategories + 2>;

// Operating points from category counts (category 1 least abnormal): point i
// holds the shares of each truth state in categories i..K.
struct Points {
  int ncat = 0;
  Fractions fpf{};
  Fractions tpf{};
};

Points pointsFrom(const std::vector<int>& neg, const std::vector<int>& pos) {
  Points p;
  p.ncat = static_cast<int>(neg.size());
  int totN = 0, totP = 0;
  for (int v : neg) totN += v;
  for (int v : pos) totP += v;
  for (int i = 1; i <= p.ncat + 1; ++i) {
    int above = 0, aboveP = 0;
    for (int k = i; k <= p.ncat; ++k) {
      above += neg[static_cast<std::size_t>(k - 1)];
      aboveP += pos[static_cast<std::size_t>(k - 1)];
    }
    p.fpf[static_cast<std::size_t>(i)] = static_cast<double>(above) / totN;
    p.tpf[static_cast<std::size_t>(i)] = static_cast<double>(aboveP) / totP;
  }
  return p;
}

std::string ind(const std::string& s) { return std::string(22, ' ') + s; }

struct DegCase {
  const char* name;
  std::vector<int> neg, pos;  // counts per category, category 1 first
  int type;
  double value;
  std::vector<std::string> lines;  // the whole message, empty lines included
};

std::vector<std::string> framed(int before, std::vector<std::string> text) {
  std::vector<std::string> v(static_cast<std::size_t>(before), "");
  for (auto& t : text) v.push_back(ind(t));
  v.push_back("");
  v.push_back("");
  return v;
}

std::vector<DegCase> degCases() {
  return {
      // A single category: points (1,1) and (0,0) only. No discrimination: 0.5.
      {"SingleCategory",
       {5},
       {7},
       1,
       0.5,
       framed(3,
              {"DATA ARE DEGENERATE AND PROVIDE NO OPERATING POINTS", "OFF THE (0,0) AND (1,1) CORNERS."})},
      // Interior point (0.25, 0.75). The inverse normal is the rational
      // approximation of Abramowitz and Stegun 26.2.23; by hand for q = 0.25:
      // s = sqrt(ln 16) = 1.6651092, X = s - 3.8809852 / 3.9165279 = 0.6741843,
      // so d' = 2 X = 1.34837 (the exact 1.34898 lies within the published error).
      {"TwoCategoriesOneInsidePoint",
       {3, 1},
       {1, 3},
       2,
       -1.0,
       framed(3, {"DATA ARE DEGENERATE AND PROVIDE ONLY A SINGLE ",
                  "OPERATING POINT OFF THE (0,0) AND (1,1) CORNERS.",
                  "BINORMAL ROC CURVE CANNOT BE ESTIMATED UNIQUELY. ",
                  "UNIT SLOPE ROC CURVE (B=1) WOULD HAVE A=D'=  1.3484."})},
      // (1,1) (1,.75) (0,.5) (0,0): right border at .75, left border at .5.
      {"LeftAndRightBorders",
       {0, 2, 0},
       {1, 1, 2},
       3,
       0.625,
       framed(3, {"DATA ARE DEGENERATE AND PRODUCE NO OPERATING POINTS",
                  "OFF THE BORDERS OF THE UNIT SQUARE.  IMPLIED",
                  "EXACT-FIT BINORMAL ROC CURVE IS HORIZONTAL AT",
                  "UNDETERMINED HEIGHT BETWEEN TPF=  0.5000 AND", "TPF=  0.7500 ."})},
      // (1,1) (.75,1) (.5,0) (0,0): top border at .75, bottom border at .5.
      {"BottomAndTopBorders",
       {1, 1, 2},
       {0, 2, 0},
       4,
       0.375,
       framed(3, {"DATA ARE DEGENERATE AND PRODUCE NO OPERATING POINTS",
                  "OFF THE BORDERS OF THE UNIT SQUARE.  IMPLIED ",
                  "EXACT-FIT BINORMAL ROC CURVE IS VERTICAL AT ",
                  "UNDETERMINED POSITION BETWEEN FPF=  0.5000", "AND FPF=  0.7500 ."})},
      // (1,1) (1,.5) (.5,.5) (0,.5) (0,0): one inside point on a horizontal line.
      {"OneInsidePointHorizontal",
       {0, 1, 1, 0},
       {1, 0, 0, 1},
       5,
       0.5,
       framed(2, {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS HORIZONTAL AT CONSTANT",
                  "TPF=  0.5000 ."})},
      // (1,1) (.5,1) (.5,.3) (0,0): one inside point on a vertical line.
      {"OneInsidePointVertical",
       {1, 0, 1},
       {0, 7, 3},
       6,
       0.5,
       framed(2, {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS VERTICAL AT CONSTANT",
                  "FPF=  0.5000 ."})},
      // (1,1) (1,.75) (.75,.75) (.25,.75) (0,.75) (0,0).
      {"InsidePointsHorizontal",
       {0, 1, 2, 1, 0},
       {1, 0, 0, 0, 3},
       7,
       0.75,
       framed(2, {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS HORIZONTAL AT CONSTANT",
                  "TPF=  0.7500 ."})},
      // (1,1) (.75,1) (.75,.75) (.75,.25) (.75,0) (0,0).
      {"InsidePointsVertical",
       {1, 0, 0, 0, 3},
       {0, 1, 2, 1, 0},
       8,
       0.25,
       framed(2, {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS VERTICAL AT CONSTANT",
                  "FPF=  0.7500 ."})},
      // Every positive above every negative: the point (0,1).
      {"PerfectSeparation",
       {4, 0},
       {0, 6},
       9,
       1.0,
       framed(3, {"DATA ARE DEGENERATE AND IMPLY PERFECT DECISION", "PERFORMANCE."})},
      // (1,1) (.5,1) (0,1) (0,0): along the top border into the (0,1) corner.
      {"PerfectAlongTopBorder",
       {2, 2, 0},
       {0, 0, 3},
       9,
       1.0,
       framed(3, {"DATA ARE DEGENERATE AND IMPLY PERFECT DECISION", "PERFORMANCE."})},
      // Every positive below every negative: the point (1,0). No area.
      {"PerfectReversal",
       {0, 4},
       {6, 0},
       10,
       -1.0,
       framed(3, {"DATA ARE DEGENERATE AND IMPLY PERFECT (BUT PERVERSE)", "DECISION PERFORMANCE."})},
      // (1,1) (1,.5) (1,0) (0,0): down the right border into the (1,0) corner.
      {"ReversalAlongRightBorder",
       {0, 0, 3},
       {2, 2, 0},
       10,
       -1.0,
       framed(3, {"DATA ARE DEGENERATE AND IMPLY PERFECT (BUT PERVERSE)", "DECISION PERFORMANCE."})},
  };
}

class Degenerate : public ::testing::TestWithParam<DegCase> {};

TEST_P(Degenerate, TypeMessageAndValue) {
  const DegCase& c = GetParam();
  const Points p = pointsFrom(c.neg, c.pos);
  int ideg = -1, nin = -1;
  PointIndex lpt{};
  DEGTST(ideg, p.ncat, p.fpf, p.tpf, nin, lpt);
  ASSERT_EQ(ideg, c.type);

  LineCollector screen, file;
  Destinations out(screen, &file);
  const double v = DEGENE(ideg, lpt, p.fpf, p.tpf, out);
  EXPECT_DOUBLE_EQ(v, c.value);
  EXPECT_EQ(screen.lines(), c.lines);
  EXPECT_EQ(file.lines(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(EveryType, Degenerate, ::testing::ValuesIn(degCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Degenerate, MessageGoesToScreenAloneWithoutReportFile) {
  const Points p = pointsFrom({4, 0}, {0, 6});
  int ideg = 0, nin = 0;
  PointIndex lpt{};
  DEGTST(ideg, p.ncat, p.fpf, p.tpf, nin, lpt);
  LineCollector screen;
  Destinations out(screen);
  EXPECT_DOUBLE_EQ(DEGENE(ideg, lpt, p.fpf, p.tpf, out), 1.0);
  EXPECT_EQ(screen.lines().size(), 7u);
}

struct FitCase {
  const char* name;
  std::vector<int> neg, pos;
  int nin;
  std::vector<int> inside;
};

class NotDegenerate : public ::testing::TestWithParam<FitCase> {};

// Points that a binormal curve can be fitted to: type 0, with the inside
// points listed in increasing order.
TEST_P(NotDegenerate, TypeZeroListsInsidePoints) {
  const FitCase& c = GetParam();
  const Points p = pointsFrom(c.neg, c.pos);
  int ideg = -1, nin = -1;
  PointIndex lpt{};
  DEGTST(ideg, p.ncat, p.fpf, p.tpf, nin, lpt);
  EXPECT_EQ(ideg, 0);
  ASSERT_EQ(nin, c.nin);
  for (int k = 0; k < nin; ++k)
    EXPECT_EQ(lpt[static_cast<std::size_t>(k + 1)], c.inside[static_cast<std::size_t>(k)]);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, NotDegenerate,
    ::testing::Values(FitCase{"FiveRatings", {30, 20, 10, 5, 2}, {3, 7, 12, 20, 25}, 4, {2, 3, 4, 5}},
                      // (1,1) (.75,.75) (.5,.5) (0,0): two inside points on the diagonal.
                      FitCase{"TwoInsidePoints", {1, 1, 2}, {1, 1, 2}, 2, {2, 3}},
                      // (1,1) (.5,1) (.25,.5) (0,.25) (0,0): the neighbours of the one inside
                      // point lie on neither a horizontal nor a vertical line through it.
                      FitCase{"OneInsidePointOffTheLines", {2, 1, 1, 0}, {0, 2, 1, 1}, 1, {3}}),
    [](const auto& info) { return std::string(info.param.name); });

// The horizontal line may start at the (1,1) corner itself: (1,1) (.5,.5)
// (0,.5) (0,0) has its inside point between FPF = 1 and FPF = 0 at TPF .5.
TEST(Degenerate, HorizontalLineMayStartAtTheCorner) {
  const Points p = pointsFrom({1, 1, 0}, {1, 0, 1});
  int ideg = -1, nin = -1;
  PointIndex lpt{};
  DEGTST(ideg, p.ncat, p.fpf, p.tpf, nin, lpt);
  EXPECT_EQ(nin, 1);
  EXPECT_EQ(ideg, 5);
  LineCollector screen;
  EXPECT_DOUBLE_EQ(DEGENE(ideg, lpt, p.fpf, p.tpf, Destinations(screen)), 0.5);
}

}  // namespace
}  // namespace quelbro
