// The extended results of a run: the section after each dataset's report and
// the PREFIX-tests.csv and PREFIX-sizing.csv tables, as an observer of the run
// that hands every dataset on to the next observer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/extended_report.h"
#include "results/results.h"
#include "results/table_files.h"

namespace quelbro {

struct ExtendedOptions {
  bool section = false;          // --extended: the section after each report
  std::optional<double> effect;  // --effect D: a sizing for that difference too
};

// PREFIX-tests.csv and PREFIX-sizing.csv, in that order.
std::vector<std::string> extendedTablePaths(const std::string& prefix);

class ExtendedObserver : public RunObserver {
 public:
  ExtendedObserver(ExtendedOptions options, RunObserver* next) : options_(options), next_(next) {}
  ExtendedObserver(const ExtendedObserver&) = delete;
  ExtendedObserver& operator=(const ExtendedObserver&) = delete;

  // Creates PREFIX-tests.csv and PREFIX-sizing.csv with their header rows
  // (an existing name is an error unless `replace`, and only a regular file
  // is replaced), through the report's own file writer: a failed write cuts
  // the file back to whole rows. False with the reason in why() when a file
  // cannot be created, and neither file is left behind.
  bool createTables(const std::string& prefix, bool replace);
  std::vector<std::string> linesAfterReport(const DatasetResults& results) override;
  void pseudovaluesFinished(const PseudovalueCells& cells) override {
    aheadDataset_ = cells.dataset;
    if (next_ != nullptr) next_->pseudovaluesFinished(cells);
  }
  // The extended analysis works from the analysis's figures alone.
  bool needsPseudovalues(int dataset) const override {
    return next_ != nullptr && next_->needsPseudovalues(dataset);
  }
  void pseudovaluesWithdrawn() override {
    aheadDataset_ = -1;
    if (next_ != nullptr) next_->pseudovaluesWithdrawn();
  }
  void datasetFinished(const DatasetResults& results) override;
  // Closes the tables; false when any write failed (the reason in why()).
  bool close() { return files_.close(); }

  const std::string& why() const { return files_.why(); }
  const std::vector<std::string>& paths() const { return files_.paths(); }

 private:
  const ExtendedResults& resultsOf(const DatasetResults& d);
  void write(std::size_t table, const std::vector<std::string>& rows);
  // The tests and sizing tables of the dataset (its extended results worked out when not yet).
  void writeTables(const DatasetResults& results);

  ExtendedOptions options_;
  RunObserver* next_;
  int cachedDataset_ = -1;  // the dataset whose extended results are cached
  int aheadDataset_ = -1;   // the dataset whose pseudovalues the next observer may be writing already
  ExtendedResults cached_;
  TableFileSet files_;
};

}  // namespace quelbro
