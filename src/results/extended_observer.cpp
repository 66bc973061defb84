// The extended results of a run: the section after each report, the tests and
// sizing tables written and flushed dataset by dataset.
#include "results/extended_observer.h"

#include <future>
#include <system_error>

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
  if (files_.size() != 2) {
    if (next_ != nullptr) next_->datasetFinished(results);
    return;
  }
  // The sizing is worked out while the next observer writes its tables (the
  // pseudovalues take as long): here when their writing is under way on a
  // thread of its own already, else on another core. Each reads the results
  // only, and each writes files of its own.
  const bool pseudovaluesUnderWay = aheadDataset_ == results.dataset;
  aheadDataset_ = -1;
  if (pseudovaluesUnderWay) {
    writeTables(results);  // before the next observer waits for them
    if (next_ != nullptr) next_->datasetFinished(results);
    return;
  }
  std::future<ExtendedResults> ahead;
  if (cachedDataset_ != results.dataset && next_ != nullptr) {
    try {
      ahead = std::async(std::launch::async,
                         [&results, effect = options_.effect] { return extendedResults(results, effect); });
    } catch (const std::system_error&) {
      // no thread to be had: worked out below, in turn
    }
  }
  if (next_ != nullptr) next_->datasetFinished(results);
  if (ahead.valid()) {
    cached_ = ahead.get();
    cachedDataset_ = results.dataset;
  }
  writeTables(results);
}

void ExtendedObserver::writeTables(const DatasetResults& results) {
  const ExtendedResults& x = resultsOf(results);
  write(0, testsRows(results.dataset, x));
  write(1, sizingRows(results.dataset, x));
}

}  // namespace quelbro
