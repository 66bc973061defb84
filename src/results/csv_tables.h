// The CSV tables of a run (RFC 4180, one row per result, a header row): each
// table is a file PREFIX-<name>.csv, written as the datasets are analysed.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/out_file.h"
#include "results/results.h"

namespace quelbro {

// A number as the tables write it: '.' as decimal point whatever the locale,
// at most 10 significant digits, the shortest form that holds them (so 0.75,
// 31, 1.5e-07); an undefined value (NaN) gives an empty field, an infinite
// one Inf or -Inf.
std::string csvNumber(double v);

// A text field, quoted (with inner quotes doubled) when it holds a comma, a
// double quote, a line end, or blanks at either end.
std::string csvText(std::string_view text);

// One row of fields, joined with commas: kept by the row (str()), or
// appended straight to a table's text, where end() closes it with CR LF.
class CsvRow {
 public:
  CsvRow() : out_(&own_) {}
  explicit CsvRow(std::string& table) : out_(&table) {}
  CsvRow(const CsvRow&) = delete;
  CsvRow& operator=(const CsvRow&) = delete;

  CsvRow& number(double v);
  CsvRow& integer(long long v);
  CsvRow& text(std::string_view t);
  CsvRow& flag(bool v);  // TRUE or FALSE
  CsvRow& empty();
  void end() { out_->append("\r\n"); }
  const std::string& str() const { return own_; }

 private:
  void next() {
    if (!first_) out_->push_back(',');
    first_ = false;
  }
  std::string own_;
  std::string* out_;
  bool first_ = true;
};

// A table: the file name's ending, its columns, and the rows of a dataset
// appended to `out`, each ended with CR LF.
struct CsvTable {
  std::string name;  // the file is PREFIX-<name>.csv
  std::vector<std::string> columns;
  void (*rows)(const DatasetResults& d, std::string& out);
};

// The tables of a run, in the order they are written.
const std::vector<CsvTable>& csvTables();

// The path of one table's file for a prefix.
std::string csvPath(const std::string& prefix, const CsvTable& table);

// Writes the tables' files as datasets arrive: create() makes every file and
// writes its header row; each dataset's rows are appended at once, so a run
// that stops early leaves whole rows behind, and a write that fails cuts its
// file back to the last whole row and stops that file.
class CsvTableFiles : public RunObserver {
 public:
  CsvTableFiles() = default;
  ~CsvTableFiles() override;
  CsvTableFiles(const CsvTableFiles&) = delete;
  CsvTableFiles& operator=(const CsvTableFiles&) = delete;

  // Creates the files (and the prefix's folder when missing). Without
  // `replace` an existing name is an error and is left alone; with it only a
  // regular file is replaced. False with the reason in why() when a file
  // cannot be created; files already made are removed again.
  bool create(const std::string& prefix, bool replace);
  void datasetFinished(const DatasetResults& results) override;
  // Closes the files; false when any write failed (the reason in why()).
  bool close();

  bool failed() const { return failed_; }
  const std::string& why() const { return why_; }
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  // Keeps the first message of a failed write.
  class Complaint : public LineSink {
   public:
    void writeLine(std::string_view line) override {
      if (text.empty()) text = line;
    }
    std::string text;
  };
  void write(std::size_t table, const std::string& block);
  Complaint complaint_;
  std::vector<std::unique_ptr<OutFile>> files_;
  std::vector<std::string> paths_;
  bool failed_ = false;
  std::string why_;
};

// All tables of `datasets` at once (the window's export). False with the
// reason in `why` when a file cannot be written.
bool writeCsvTables(const std::string& prefix, const std::vector<DatasetResults>& datasets, bool replace,
                    std::string& why);

}  // namespace quelbro
