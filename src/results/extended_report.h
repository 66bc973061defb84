// The extended results of a dataset as text and as CSV rows: the titled
// 80-column section appended after a dataset's report, and the rows of the
// tests and sizing tables.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/extended_analysis.h"
#include "results/results.h"

namespace quelbro {

// What the extended analyses need of a dataset's records; nothing when the
// dataset had no analysis of variance.
std::optional<MeanSquareInput> meanSquareInput(const DatasetResults& d);

// The extended analyses of a dataset (not made when it had no analysis).
ExtendedResults extendedResults(const DatasetResults& d, std::optional<double> effect);

// The section's lines, to be written after the dataset's report; none when
// the dataset had no analysis of variance.
std::vector<std::string> extendedSection(const ExtendedResults& x);

// The window's text for the datasets analysed so far: each dataset's number
// and description, then its section (or a line saying it had no analysis).
std::vector<std::string> extendedText(const std::vector<DatasetResults>& datasets,
                                      std::optional<double> effect);

// The CSV tables: the header row's columns, then one row per analysis and pair
// of treatments, and one row per planned study. An undefined figure is an
// empty field.
extern const std::vector<std::string> kTestsColumns;
extern const std::vector<std::string> kSizingColumns;
std::vector<std::string> testsRows(int dataset, const ExtendedResults& x);
std::vector<std::string> sizingRows(int dataset, const ExtendedResults& x);

// The name of an analysis in the tests table: random, fixed-readers, fixed-cases.
const char* analysisName(TestKind kind);

}  // namespace quelbro
