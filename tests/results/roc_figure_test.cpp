// The figure's layout: square panels with ticks every 0.2, the chance line, the legends, and
// locale-free numbers.
#include "results/roc_figure.h"

#include <gtest/gtest.h>

#include <clocale>
#include <set>

#include "plot_study.h"

namespace quelbro {
namespace {

TEST(RocFigure, EveryPanelHasSquareAxesTicksEveryFifthAndTheChanceLine) {
  const RocFigure fig = layoutRocFigure(makeRocPlot(testing::threeReaders()));
  std::vector<const FigShape*> frames, diagonals;
  std::multiset<std::string> tickLabels;
  for (const FigShape& s : fig.shapes) {
    if (s.role == "frame") frames.push_back(&s);
    if (s.role == "diagonal") diagonals.push_back(&s);
    if (s.role == "tick-label") tickLabels.insert(s.text);
  }
  ASSERT_EQ(frames.size(), 4u);  // three readers and the averages
  ASSERT_EQ(diagonals.size(), 4u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const FigPoint tl = frames[i]->pts[0], br = frames[i]->pts[1];
    EXPECT_DOUBLE_EQ(br.x - tl.x, br.y - tl.y) << "panel " << i;
    // The chance line runs from (0,0), the bottom left corner, to (1,1), the top right.
    EXPECT_DOUBLE_EQ(diagonals[i]->pts[0].x, tl.x);
    EXPECT_DOUBLE_EQ(diagonals[i]->pts[0].y, br.y);
    EXPECT_DOUBLE_EQ(diagonals[i]->pts[1].x, br.x);
    EXPECT_DOUBLE_EQ(diagonals[i]->pts[1].y, tl.y);
  }
  // Both axes of each panel: 0.0, 0.2, ..., 1.0.
  for (const char* label : {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}) EXPECT_EQ(tickLabels.count(label), 8u);
  EXPECT_EQ(tickLabels.size(), 48u);
}

TEST(RocFigure, LegendsGiveEachTreatmentWithItsAreaOrWhyThereIsNone) {
  const RocFigure fig = layoutRocFigure(makeRocPlot(testing::threeReaders()));
  std::vector<std::string> legend;
  for (const FigShape& s : fig.shapes)
    if (s.role == "legend" && s.kind == FigShape::Kind::Text) legend.push_back(s.text);
  // Dr. Chen (third panel): Film fitted with a = 2, b = 1.2, Az = Phi(2 / sqrt 2.44) = 0.8999;
  // Digital degenerate. The averages: Film Az = Phi(1.5 / sqrt 2) = 0.8556.
  ASSERT_EQ(legend.size(), 16u);
  EXPECT_EQ(legend[8], "Film");
  EXPECT_EQ(legend[9], "Az 0.900 (SE 0.040)");
  EXPECT_EQ(legend[10], "Digital");
  EXPECT_EQ(legend[11], "no curve: perfect performance");
  EXPECT_EQ(legend[13], "Az 0.856 (a 1.50, b 1.00; 3 readers)");
  EXPECT_EQ(legend[15], "Az 0.898 (a 1.80, b 1.00; 2 readers)");
}

TEST(RocFigure, TreatmentsDifferInColourDashAndMarker) {
  std::set<std::string> colours;
  std::set<std::vector<double>> dashes;
  std::set<int> markers;
  for (int t = 1; t <= 5; ++t) {
    const TreatmentStyle s = treatmentStyle(t);
    colours.insert(s.color);
    dashes.insert(s.dash);
    markers.insert(s.marker);
  }
  EXPECT_EQ(colours.size(), 5u);
  EXPECT_EQ(dashes.size(), 5u);
  EXPECT_EQ(markers.size(), 5u);
}

TEST(FixedText, DecimalPointWhateverTheLocaleAndNoNegativeZero) {
  const char* const german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(fixedText(0.8556, 3), "0.856");
  EXPECT_EQ(fixedText(1.0, 1), "1.0");
  EXPECT_EQ(fixedText(-0.0001, 3), "0.000");
  EXPECT_EQ(fixedText(-1.25, 2), "-1.25");
  EXPECT_EQ(fixedText(std::nan(""), 3), "-");
  if (german != nullptr) std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
}  // namespace quelbro
