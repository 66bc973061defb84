// The CSV table files of a run, made, written and closed as one set.
#include "results/table_files.h"

#include <unistd.h>

#include <filesystem>

#include "results/csv_tables.h"

namespace quelbro {

void TableFileSet::forget() {
  files_.clear();
  paths_.clear();
  failed_ = false;
  why_.clear();
  complaint_.text.clear();
}

bool TableFileSet::create(const std::vector<Table>& tables, bool replace) {
  namespace fs = std::filesystem;
  close();
  forget();
  std::error_code ec;
  const fs::path folder = tables.empty() ? fs::path() : fs::path(tables.front().path).parent_path();
  if (!folder.empty() && !fs::exists(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      why_ = folder.string() + ": " + ec.message();
      return false;
    }
  }
  for (const Table& table : tables) {
    auto file = std::make_unique<OutFile>(&complaint_, "table");
    int displaced = -1;
    const bool made = replace ? file->replace(table.path, displaced) : file->create(table.path, true);
    if (displaced >= 0) displaced_.push_back(displaced);
    if (!made) {
      const std::string why = table.path + ": " + file->error();
      for (std::size_t i = 0; i < files_.size(); ++i) {
        files_[i]->close();
        fs::remove(paths_[i], ec);
      }
      forget();
      closeDisplaced();
      why_ = why;
      return false;
    }
    files_.push_back(std::move(file));
    paths_.push_back(table.path);
    CsvRow header;
    for (const std::string& c : table.columns) header.text(c);
    write(files_.size() - 1, header.str() + "\r\n");
  }
  closeDisplaced();
  return !failed_;
}

void TableFileSet::closeDisplaced() {
  if (displaced_.empty()) return;
  std::vector<int> fds;
  fds.swap(displaced_);
  try {
    closer_ = std::jthread([fds] {
      for (const int fd : fds) ::close(fd);
    });
  } catch (...) {
    for (const int fd : fds) ::close(fd);  // no thread to be had: closed here
  }
}

void TableFileSet::write(std::size_t k, std::string_view rows) {
  OutFile& f = *files_[k];
  f.writeRaw(rows);
  if (!f.failed()) return;
  const std::lock_guard<std::mutex> lock(m_);
  if (!failed_) {
    failed_ = true;
    {
      const std::lock_guard<std::mutex> first(complaint_.m);
      why_ = complaint_.text.empty() ? paths_[k] + ": cannot be written" : complaint_.text;
    }
    // The message reads " *** ERROR: cannot write to file ...: reason ***".
    const std::size_t from = why_.find("cannot write");
    if (from != std::string::npos) why_ = why_.substr(from);
    const std::size_t stars = why_.rfind(" ***");
    if (stars != std::string::npos) why_.resize(stars);
  }
}

bool TableFileSet::close() {
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
