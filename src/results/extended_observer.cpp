// The extended results of a run: the section after each report, the tests and
// sizing tables written and flushed dataset by dataset.
#include "results/extended_observer.h"

#include <cerrno>
#include <cstring>
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
  failed_ = false;
  why_.clear();
  std::error_code ec;
  const fs::path folder = fs::path(prefix).parent_path();
  if (!folder.empty() && !fs::exists(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      why_ = folder.string() + ": " + ec.message();
      return false;
    }
  }
  const std::pair<const char*, const std::vector<std::string>*> tables[] = {{"-tests.csv", &kTestsColumns},
                                                                            {"-sizing.csv", &kSizingColumns}};
  for (const auto& [ending, columns] : tables) {
    const std::string path = prefix + ending;
    std::FILE* fp = std::fopen(path.c_str(), replace ? "wb" : "wbx");
    if (fp == nullptr) {
      why_ = path + ": " + std::strerror(errno);
      for (std::size_t i = 0; i < files_.size(); ++i) {
        std::fclose(files_[i]);
        fs::remove(paths_[i], ec);
      }
      files_.clear();
      paths_.clear();
      return false;
    }
    files_.push_back(fp);
    paths_.push_back(path);
    std::string header;
    for (const std::string& c : *columns) header += (header.empty() ? "" : ",") + c;
    write(files_.size() - 1, {header});
  }
  return !failed_;
}

void ExtendedObserver::write(std::size_t table, const std::vector<std::string>& rows) {
  std::string block;
  for (const std::string& row : rows) block += row + "\r\n";
  std::FILE* fp = files_[table];
  if (std::fwrite(block.data(), 1, block.size(), fp) != block.size() || std::fflush(fp) != 0) {
    if (!failed_) why_ = paths_[table] + ": " + std::strerror(errno);
    failed_ = true;
    std::clearerr(fp);
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
    if (std::fclose(files_[i]) != 0 && !failed_) {
      why_ = paths_[i] + ": " + std::strerror(errno);
      failed_ = true;
    }
  }
  files_.clear();
  return !failed_;
}

}  // namespace quelbro
