// The treatment-means-by-reader table with reader names of every length.
#include <gtest/gtest.h>

#include "anova_study.h"

namespace quelbro {
namespace {

TEST(TreatmentMeansByReader, NameShowsInColumnsSixToFourteenOnly) {
  Study s(false);
  s.setNames({"ABCDEFGHIJKLMNOPQRST", "Bo"}, {"CT", "MRI"});
  // Cell means 0.6, 0.7 (reader 1) and 0.8, 0.9 (reader 2), two cases each.
  const double mean[3][3] = {{0, 0, 0}, {0, 0.6, 0.7}, {0, 0.8, 0.9}};
  for (int r = 1; r <= 2; ++r)
    for (int t = 1; t <= 2; ++t) {
      s.pv(r, t, 1) = mean[r][t] - 0.05 * t;
      s.pv(r, t, 2) = mean[r][t] + 0.05 * t;
    }
  s.run(2, 2, 2);
  int head = s.find(std::string(31, ' ') + "TREATMENT MEANS");
  ASSERT_GE(head, 0);
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(head) + 3], "   1 ABCDEFGHI    0.6000       0.7000");
  EXPECT_EQ(s.lines()[static_cast<std::size_t>(head) + 4], "   2 Bo           0.8000       0.9000");
}

}  // namespace
}  // namespace quelbro
