// A set of CSV table files written side by side: made together with their
// header rows, fed blocks of whole rows, closed together.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "console/out_file.h"

namespace quelbro {

class TableFileSet {
 public:
  struct Table {
    std::string path;
    std::vector<std::string> columns;
  };

  TableFileSet() = default;
  ~TableFileSet() { close(); }
  TableFileSet(const TableFileSet&) = delete;
  TableFileSet& operator=(const TableFileSet&) = delete;

  // Makes the folder of the files when missing, then every file with its
  // header row. Without `replace` an existing name is an error and is left
  // alone; with it only a regular file is replaced. False with the reason in
  // why() when one cannot be made; the files made before it are removed.
  bool create(const std::vector<Table>& tables, bool replace);
  // Appends whole rows to table `k`. A write that fails cuts that file back
  // to the last whole row and stops it; the first failure's reason is kept.
  // Different tables may be written on different threads at once.
  void write(std::size_t k, std::string_view rows);
  // Whether table `k` still takes rows.
  bool writable(std::size_t k) const { return k < files_.size() && !files_[k]->failed(); }
  // Closes the files; false when any write failed (the reason in why()).
  bool close();

  std::size_t size() const { return files_.size(); }
  bool failed() const { return failed_; }
  const std::string& why() const { return why_; }
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  // Keeps the first message of a failed write.
  class Complaint : public LineSink {
   public:
    void writeLine(std::string_view line) override {
      const std::lock_guard<std::mutex> lock(m);
      if (text.empty()) text = line;
    }
    std::mutex m;
    std::string text;
  };
  void forget();
  // Closes the files that tables took the names of, on a thread of their own.
  void closeDisplaced();

  Complaint complaint_;
  std::vector<std::unique_ptr<OutFile>> files_;
  std::vector<std::string> paths_;
  std::mutex m_;  // over failed_ and why_ while tables are written on several threads
  bool failed_ = false;
  std::string why_;
  std::vector<int> displaced_;  // old files whose names new tables took, still open
  std::jthread closer_;         // last: joined before anything else goes
};

}  // namespace quelbro
