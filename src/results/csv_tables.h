// The CSV tables of a run (RFC 4180, one row per result, a header row): each
// table is a file PREFIX-<name>.csv, written as the datasets are analysed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "results/results.h"
#include "results/table_files.h"

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

// Where a table's rows go: appended to text(), whole rows at a time. With a
// receiver, the text is handed on in blocks of whole rows once it holds
// kBlock bytes (rowsEnded()) and at the end (finish()), so that it never
// grows much past a block; without one, every row stays in the text.
class CsvOut {
 public:
  static constexpr std::size_t kBlock = 64 * 1024;
  // Receives a block; false when it takes no more rows.
  using Receiver = std::function<bool(std::string_view)>;

  explicit CsvOut(std::string& text) : text_(text) {}
  CsvOut(std::string& buffer, Receiver receiver) : text_(buffer), receiver_(std::move(receiver)) {}
  CsvOut(const CsvOut&) = delete;
  CsvOut& operator=(const CsvOut&) = delete;

  std::string& text() { return text_; }
  // Call where the text ends with a whole row.
  void rowsEnded() {
    if (receiver_ && text_.size() >= kBlock) send();
  }
  void finish() {
    if (receiver_ && !text_.empty()) send();
  }
  // Whole rows put together elsewhere: handed on as they are, after any
  // text still here (or added to the text when there is no receiver).
  void sendRows(std::string_view rows) {
    if (!receiver_) {
      text_.append(rows);
      return;
    }
    if (!text_.empty()) send();
    if (!stopped_) stopped_ = !receiver_(rows);
  }
  // The receiver takes no more rows: the rest need not be made.
  bool stopped() const { return stopped_; }

 private:
  void send() {
    if (!stopped_) stopped_ = !receiver_(text_);
    text_.clear();
  }
  std::string& text_;
  Receiver receiver_;
  bool stopped_ = false;
};

// A table: the file name's ending, its columns, and the rows of a dataset.
struct CsvTable {
  std::string name;  // the file is PREFIX-<name>.csv
  std::vector<std::string> columns;
  void (*rows)(const DatasetResults& d, CsvOut& out);
};

// The tables of a run, in the order they are written.
const std::vector<CsvTable>& csvTables();

// The path of one table's file for a prefix.
std::string csvPath(const std::string& prefix, const CsvTable& table);

// Writes the tables' files as datasets arrive: create() makes every file and
// writes its header row; each dataset's rows follow in blocks of whole rows,
// so a run that stops early leaves whole rows behind, and a write that fails
// cuts its file back to the last whole row and stops that file.
class CsvTableFiles : public RunObserver {
 public:
  CsvTableFiles() = default;
  CsvTableFiles(const CsvTableFiles&) = delete;
  CsvTableFiles& operator=(const CsvTableFiles&) = delete;

  // Creates the files (and the prefix's folder when missing). Without
  // `replace` an existing name is an error and is left alone; with it only a
  // regular file is replaced. False with the reason in why() when a file
  // cannot be created; files already made are removed again.
  bool create(const std::string& prefix, bool replace);
  // The pseudovalues' table is written on a thread of its own while the
  // analysis is worked out; datasetFinished writes the others and waits for it.
  void pseudovaluesFinished(const PseudovalueCells& cells) override;
  void pseudovaluesWithdrawn() override { finishAhead(); }
  bool needsPseudovalues(int dataset) const override {
    return !(ahead_.joinable() && aheadDataset_ == dataset);
  }
  void datasetFinished(const DatasetResults& results) override;
  // Closes the files; false when any write failed (the reason in why()).
  bool close() {
    finishAhead();
    return files_.close();
  }

  bool failed() const { return files_.failed(); }
  const std::string& why() const { return files_.why(); }
  const std::vector<std::string>& paths() const { return files_.paths(); }

 private:
  // Rows made by `rows(CsvOut&)` go to table `table` in blocks, through `buffer`.
  template <typename Rows>
  void writeRows(std::size_t table, std::string& buffer, Rows rows);
  void writeTable(std::size_t table, const DatasetResults& results, std::string& buffer);
  void finishAhead();

  TableFileSet files_;
  std::string buffer_;
  std::string aheadBuffer_;  // the pseudovalue thread's
  int aheadDataset_ = -1;    // the dataset whose pseudovalues that thread writes
  std::jthread ahead_;       // last: joined before anything it uses goes
};

// All tables of `datasets` at once (the window's export). False with the
// reason in `why` when a file cannot be written.
bool writeCsvTables(const std::string& prefix, const std::vector<DatasetResults>& datasets, bool replace,
                    std::string& why);

}  // namespace quelbro
