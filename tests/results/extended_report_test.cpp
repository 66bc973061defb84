// The extended section and the two CSV tables of a dataset whose mean squares
// are worked by hand: layout, agreement of text and tables, undefined values.
#include "results/extended_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace quelbro {
namespace {

// t = 2, r = 3, c = 10 (4 negative, 6 positive), the mean squares of
// extended_analysis_test.cpp's hand-worked study.
DatasetResults handDataset(double msTR = 0.004) {
  DatasetResults d;
  d.dataset = 2;
  d.treatments = {{1, "CINE", 1}, {2, "PLAIN", 1}};
  d.readers = {"ONE", "TWO", "THREE"};
  d.negatives = 4;
  d.positives = 6;
  AnalysisRecord a;
  auto src = [](const char* name, double ms) {
    SourceRecord s;
    s.source = name;
    s.ms = ms;
    return s;
  };
  a.sources = {src("TOT", kUndefined), src("T", 0.02),  src("C", 0.01),   src("R", 0.005),
               src("TC", 0.003),       src("TR", msTR), src("RC", 0.002), src("TRC", 0.001)};
  a.treatmentMeans = {0.80, 0.75};
  d.analysis = a;
  return d;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream ss(line);
  std::string item;
  while (std::getline(ss, item, ',')) f.push_back(item);
  if (!line.empty() && line.back() == ',') f.emplace_back();
  return f;
}

TEST(ExtendedReport, MeanSquaresComeFromTheRecords) {
  const std::optional<MeanSquareInput> in = meanSquareInput(handDataset());
  ASSERT_TRUE(in.has_value());
  EXPECT_EQ(in->treatments, 2);
  EXPECT_EQ(in->readers, 3);
  EXPECT_EQ(in->cases, 10);
  EXPECT_EQ(in->msT, 0.02);
  EXPECT_EQ(in->msTR, 0.004);
  EXPECT_EQ(in->msTC, 0.003);
  EXPECT_EQ(in->msTRC, 0.001);
  DatasetResults none = handDataset();
  none.analysis.reset();
  EXPECT_FALSE(meanSquareInput(none).has_value());
  EXPECT_TRUE(extendedSection(extendedResults(none, 0.05)).empty());
  EXPECT_TRUE(testsRows(1, extendedResults(none, 0.05)).empty());
}

TEST(ExtendedReport, SectionFitsEightyColumnsAndAgreesWithTheTables) {
  const ExtendedResults x = extendedResults(handDataset(), 0.1);
  const std::vector<std::string> text = extendedSection(x);
  ASSERT_FALSE(text.empty());
  for (const std::string& line : text) {
    EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(line.find("NaN"), std::string::npos) << line;
    EXPECT_EQ(line.find('*'), std::string::npos) << line;
  }
  // Each tests row's p and bounds, rounded as the text prints them, are on
  // that analysis's lines of the text.
  const std::vector<std::string> rows = testsRows(2, x);
  ASSERT_EQ(rows.size(), 3u);
  const char* labels[] = {"READERS AND CASES RANDOM", "FIXED READERS, CASES RANDOM",
                          "FIXED CASES, READERS RANDOM"};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const std::vector<std::string> f = split(rows[k]);
    ASSERT_EQ(f.size(), kTestsColumns.size());
    EXPECT_EQ(f[0], "2");
    std::vector<std::string> lines;
    for (const std::string& line : text)
      if (line.rfind(std::string(" ") + labels[k], 0) == 0) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u) << labels[k];
    char p[32], lo[32], hi[32];
    std::snprintf(p, sizeof p, "%.4f", std::strtod(f[5].c_str(), nullptr));
    std::snprintf(lo, sizeof lo, "%.4f", std::strtod(f[9].c_str(), nullptr));
    std::snprintf(hi, sizeof hi, "%.4f", std::strtod(f[10].c_str(), nullptr));
    EXPECT_NE(lines[0].find(p), std::string::npos) << lines[0] << " / " << p;
    EXPECT_NE(lines[1].find(lo), std::string::npos) << lines[1] << " / " << lo;
    EXPECT_NE(lines[1].find(hi), std::string::npos) << lines[1] << " / " << hi;
  }
  // Hand values of the random analysis: F = .02/.006, ddf 4.5, difference .05.
  const std::vector<std::string> random = split(rows[0]);
  EXPECT_EQ(random[1], "random");
  EXPECT_NEAR(std::strtod(random[2].c_str(), nullptr), 0.02 / 0.006, 1e-9);
  EXPECT_EQ(random[3], "1");
  EXPECT_EQ(random[4], "4.5");
  EXPECT_EQ(random[6], "1");
  EXPECT_EQ(random[7], "2");
}

TEST(ExtendedReport, SizingRowsHoldThePlannedStudiesAndTheSmallest) {
  const ExtendedResults x = extendedResults(handDataset(), 0.1);
  const std::vector<std::string> rows = sizingRows(2, x);
  // Two tables (observed .05, chosen .1) of 8 reader counts with 4 planned
  // case counts each, plus the smallest counts that are not among them.
  int smallestExtra = 0;
  for (const SizingTable& s : x.sizing) {
    for (const SizingTable::Row& r : s.rows) {
      const int c = r.smallest ? r.smallest->cases : 50;
      if (c != 50 && c != 100 && c != 200 && c != 400) ++smallestExtra;
    }
  }
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(2 * 8 * 4 + smallestExtra));
  const std::vector<std::string> first = split(rows[0]);
  ASSERT_EQ(first.size(), kSizingColumns.size());
  EXPECT_EQ(first[4], "3");
  EXPECT_EQ(first[5], "50");
  EXPECT_EQ(first[6], "2.53125");  // hand value
  EXPECT_NEAR(std::strtod(first[8].c_str(), nullptr), 0.5240605919868148, 1e-9);
  // Within a reader count, cases ascend.
  for (std::size_t k = 1; k < rows.size(); ++k) {
    const std::vector<std::string> a = split(rows[k - 1]), b = split(rows[k]);
    if (a[3] == b[3] && a[4] == b[4]) {
      EXPECT_LT(std::stoi(a[5]), std::stoi(b[5])) << rows[k];
    }
  }
}

TEST(ExtendedReport, UndefinedDdfIsAnEmptyFieldAndAWord) {
  const ExtendedResults x = extendedResults(handDataset(0.0), std::nullopt);
  const std::vector<std::string> f = split(testsRows(1, x)[0]);
  EXPECT_EQ(f[1], "random");
  EXPECT_EQ(f[4], "");   // ddf
  EXPECT_EQ(f[5], "");   // p
  EXPECT_EQ(f[9], "");   // lower
  EXPECT_EQ(f[10], "");  // upper
  bool word = false;
  for (const std::string& line : extendedSection(x)) {
    EXPECT_EQ(line.find("NaN"), std::string::npos) << line;
    if (line.rfind(" READERS AND CASES RANDOM", 0) == 0 && line.find("UNDEFINED") != std::string::npos)
      word = true;
  }
  EXPECT_TRUE(word);
}

TEST(ExtendedReport, WindowTextNamesEachDataset) {
  DatasetResults first = handDataset(), second = handDataset();
  first.dataset = 1;
  first.description = "Pilot";
  second.analysis.reset();
  second.description = "One reader";
  const std::vector<std::string> text = extendedText({first, second}, std::nullopt);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text[0], " DATASET  1: Pilot");
  const std::vector<std::string> section = extendedSection(extendedResults(first, std::nullopt));
  EXPECT_TRUE(std::equal(section.begin(), section.end(), text.begin() + 1));
  EXPECT_EQ(text[section.size() + 2], " DATASET  2: One reader");
  EXPECT_EQ(text.back(), " NO ANALYSIS OF VARIANCE: IT NEEDS AT LEAST 2 READERS AND 2 TREATMENTS.");
  EXPECT_TRUE(extendedText({}, std::nullopt).empty());
}

}  // namespace
}  // namespace quelbro
