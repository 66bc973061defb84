// The extended results of a run: the section after each report, the tests and
// sizing tables written and flushed dataset by dataset.
#include "results/extended_observer.h"

#include <filesystem>

namespace quelbro {

std::vector<std::string> extendedTablePaths(const std::string& prefix) {
  return {prefix + "-tests.csv", prefix + "-sizing.csv"};
}

ExtendedObserver::~ExtendedObserver() { close(); }

const ExtendedResults& ExtendedObserver::resultsOf(const DatasetResults& d) {
  if (cachedDataset_ != d.dataset) {
    cached_ = extendedResults(d, options_.effect);
    cachedDataset_ = d.dataset;
  }
  return cached_;
}

bool ExtendedObserver::createTables(const std::string& prefix, bool replace) {
  namespace fs = std::filesystem;
  close();
  files_.clear();
  paths_.clear();
  failed_ = false;
  why_.clear();
  complaint_.text.clear();
  std::error_code ec;
  const fs::path folder = fs::path(prefix).parent_path();
  if (!folder.empty() && !fs::exists(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      why_ = folder.string() + ": " + ec.message();
      return false;
    }
  }
  const std::vector<std::string> names = extendedTablePaths(prefix);
  const std::vector<std::string>* columnsOf[] = {&kTestsColumns, &kSizingColumns};
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string& path = names[k];
    auto file = std::make_unique<OutFile>(&complaint_, "table");
    if (!file->create(path, !replace)) {
      why_ = path + ": " + file->error();
      for (std::size_t i = 0; i < files_.size(); ++i) {
        files_[i]->close();
        fs::remove(paths_[i], ec);
      }
      files_.clear();
      paths_.clear();
      return false;
    }
    files_.push_back(std::move(file));
    paths_.push_back(path);
    std::string header;
    for (const std::string& c : *columnsOf[k]) header += (header.empty() ? "" : ",") + c;
    write(files_.size() - 1, {header});
  }
  return !failed_;
}

void ExtendedObserver::write(std::size_t table, const std::vector<std::string>& rows) {
  std::string block;
  for (const std::string& row : rows) block += row + "\r\n";
  OutFile& f = *files_[table];
  f.writeRaw(block);
  if (f.failed() && !failed_) {
    failed_ = true;
    why_ = complaint_.text.empty() ? paths_[table] + ": cannot be written" : complaint_.text;
    // The message reads " *** ERROR: cannot write to file ...: reason ***".
    const std::size_t from = why_.find("cannot write");
    if (from != std::string::npos) why_ = why_.substr(from);
    const std::size_t stars = why_.rfind(" ***");
    if (stars != std::string::npos) why_.resize(stars);
  }
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

bool ExtendedObserver::close() {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    files_[i]->close();
    if (files_[i]->failed() && !failed_) {
      failed_ = true;
      why_ = paths_[i] + ": cannot be written";
    }
  }
  return !failed_;
}

}  // namespace quelbro
