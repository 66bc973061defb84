// The extended results of a run: the section after each report, the tests and
// sizing tables written and flushed dataset by dataset.
#include "results/extended_observer.h"

namespace quelbro {

std::vector<std::string> extendedTablePaths(const std::string& prefix) {
  return {prefix + "-tests.csv", prefix + "-sizing.csv"};
}

const ExtendedResults& ExtendedObserver::resultsOf(const DatasetResults& d) {
  if (cachedDataset_ != d.dataset) {
    cached_ = extendedResults(d, options_.effect);
    cachedDataset_ = d.dataset;
  }
  return cached_;
}

bool ExtendedObserver::createTables(const std::string& prefix, bool replace) {
  const std::vector<std::string> paths = extendedTablePaths(prefix);
  return files_.create({{paths[0], kTestsColumns}, {paths[1], kSizingColumns}}, replace);
}

void ExtendedObserver::write(std::size_t table, const std::vector<std::string>& rows) {
  std::string block;
  for (const std::string& row : rows) block += row + "\r\n";
  files_.write(table, block);
}

std::vector<std::string> ExtendedObserver::linesAfterReport(const DatasetResults& results) {
  std::vector<std::string> lines;
  if (next_ != nullptr) lines = next_->linesAfterReport(results);
  if (options_.section) {
    const std::vector<std::string> section = extendedSection(resultsOf(results));
    lines.insert(lines.end(), section.begin(), section.end());
  }
  return lines;
}

void ExtendedObserver::datasetFinished(const DatasetResults& results) {
  if (files_.size() == 2) {
    const ExtendedResults& x = resultsOf(results);
    write(0, testsRows(results.dataset, x));
    write(1, sizingRows(results.dataset, x));
  }
  if (next_ != nullptr) next_->datasetFinished(results);
}

}  // namespace quelbro
