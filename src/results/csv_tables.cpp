// The CSV tables: number and text fields, the rows of each table, and the
// files they are written to.
#include "results/csv_tables.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace quelbro {

std::string csvNumber(double v) {
  if (std::isnan(v)) return std::string();
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  if (v == 0.0) return "0";  // no "-0"
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 10);
  return std::string(buf, r.ptr);
}

std::string csvText(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string s = "\"";
  for (char c : text) {
    if (c == '"') s += '"';
    s += c;
  }
  s += '"';
  return s;
}

void CsvRow::next() {
  if (!first_) line_ += ',';
  first_ = false;
}
CsvRow& CsvRow::number(double v) {
  next();
  line_ += csvNumber(v);
  return *this;
}
CsvRow& CsvRow::integer(long long v) {
  next();
  line_ += std::to_string(v);
  return *this;
}
CsvRow& CsvRow::text(std::string_view t) {
  next();
  line_ += csvText(t);
  return *this;
}
CsvRow& CsvRow::flag(bool v) {
  next();
  line_ += v ? "TRUE" : "FALSE";
  return *this;
}
CsvRow& CsvRow::empty() {
  next();
  return *this;
}

namespace {

const char* statusText(FitStatus s) {
  switch (s) {
    case FitStatus::Fitted:
      return "fitted";
    case FitStatus::Degenerate:
      return "degenerate";
    case FitStatus::NotConverged:
      break;
  }
  return "not converged";
}

const char* jackknifeText(JackknifeStatus s) {
  switch (s) {
    case JackknifeStatus::Complete:
      return "complete";
    case JackknifeStatus::Substituted:
      return "substituted";
    case JackknifeStatus::Trapezoidal:
      break;
  }
  return "trapezoidal";
}

const std::string& readerName(const DatasetResults& d, int r) {
  return d.readers[static_cast<std::size_t>(r - 1)];
}
const std::string& treatmentName(const DatasetResults& d, int t) {
  return d.treatments[static_cast<std::size_t>(t - 1)].description;
}

bool constrained(const DatasetResults& d, int r, int t) {
  if (!d.analysis) return false;
  for (const ConstrainedCellRecord& c : d.analysis->constrainedCells)
    if (c.reader == r && c.treatment == t) return true;
  return false;
}

void fitRows(const DatasetResults& d, std::vector<CsvRow>& out) {
  for (const FitRecord& f : d.fits) {
    CsvRow row;
    row.integer(d.dataset).text(d.description).integer(f.reader).text(readerName(d, f.reader));
    row.integer(f.treatment).text(treatmentName(d, f.treatment)).text(f.direction < 0 ? "S" : "L");
    row.integer(f.negatives).integer(f.positives).integer(f.categories).text(statusText(f.status));
    if (f.status == FitStatus::Degenerate) {
      row.integer(f.degenerateType);
    } else {
      row.empty();
    }
    row.number(f.a).number(f.b).number(f.seA).number(f.seB).number(f.corrAB).number(f.az).number(f.seAz);
    row.number(f.trapezoidalArea).number(f.seTrapezoidal).integer(f.iterations);
    row.text(jackknifeText(f.jackknife))
        .integer(f.substitutedCases)
        .flag(constrained(d, f.reader, f.treatment));
    out.push_back(std::move(row));
  }
}

void pseudovalueRows(const DatasetResults& d, std::vector<CsvRow>& out) {
  const int n = d.cases();
  out.reserve(out.size() + d.pseudovalues.size());
  for (int r = 1; r <= d.readerCount(); ++r)
    for (int t = 1; t <= d.treatmentCount(); ++t)
      for (int c = 1; c <= n; ++c) {
        CsvRow row;
        row.integer(d.dataset)
            .integer(r)
            .integer(t)
            .integer(c)
            .integer(d.truth(c))
            .number(d.pseudovalue(r, t, c));
        out.push_back(std::move(row));
      }
}

void anovaRows(const DatasetResults& d, std::vector<CsvRow>& out) {
  if (!d.analysis) return;
  for (const SourceRecord& s : d.analysis->sources) {
    CsvRow row;
    row.integer(d.dataset).text(s.source).number(s.ss).number(s.df).number(s.ms);
    row.number(s.f).number(s.errorMs).number(s.errorDf).number(s.p);
    if (s.tested) {
      row.flag(s.significant);
    } else {
      row.empty();
    }
    row.integer(d.analysis->errorTermCase);
    out.push_back(std::move(row));
  }
}

// Columns: dataset, reader, reader_name, treatment, treatment_name, versus,
// versus_name, area, se, df, lower, upper, significant, ms_r, ms_c, ms_rc.
CsvRow treatmentRow(const DatasetResults& d, int reader, int t, int versus) {
  CsvRow row;
  row.integer(d.dataset);
  if (reader > 0) {
    row.integer(reader).text(readerName(d, reader));
  } else {
    row.empty().empty();
  }
  row.integer(t).text(treatmentName(d, t));
  if (versus > 0) {
    row.integer(versus).text(treatmentName(d, versus));
  } else {
    row.empty().empty();
  }
  return row;
}

void treatmentRows(const DatasetResults& d, std::vector<CsvRow>& out) {
  if (!d.analysis) return;
  const AnalysisRecord& a = *d.analysis;
  const auto& two = a.twoTreatments;
  for (int t = 1; t <= d.treatmentCount(); ++t) {
    const std::size_t i = static_cast<std::size_t>(t - 1);
    CsvRow row = treatmentRow(d, 0, t, 0);
    row.number(a.treatmentMeans[i]);
    if (two && t <= 2) {
      row.number(two->treatments[i].se).number(two->treatments[i].df);
    } else {
      row.empty().empty();
    }
    row.empty().empty().empty();
    row.number(a.readersByCases[i].msR).number(a.readersByCases[i].msC).number(a.readersByCases[i].msRC);
    out.push_back(std::move(row));
  }
  if (two) {
    CsvRow row = treatmentRow(d, 0, 1, 2);
    row.number(two->difference).number(two->seDifference).number(two->dfDifference);
    row.number(two->lower).number(two->upper).flag(two->significant).empty().empty().empty();
    out.push_back(std::move(row));
  }
  for (int r = 1; r <= d.readerCount(); ++r) {
    for (int t = 1; t <= d.treatmentCount(); ++t) {
      CsvRow row = treatmentRow(d, r, t, 0);
      row.number(a.cellMeans[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(t - 1)]);
      for (int k = 0; k < 8; ++k) row.empty();
      out.push_back(std::move(row));
    }
    if (two) {
      const SingleReaderRecord& s = a.singleReaders[static_cast<std::size_t>(r - 1)];
      CsvRow row = treatmentRow(d, r, 1, 2);
      row.number(s.difference).number(s.se).number(s.df).number(s.lower).number(s.upper).flag(s.significant);
      row.empty().empty().empty();
      out.push_back(std::move(row));
    }
  }
}

}  // namespace

const std::vector<CsvTable>& csvTables() {
  static const std::vector<CsvTable> kTables = {
      {"fits",
       {"dataset",
        "description",
        "reader",
        "reader_name",
        "treatment",
        "treatment_name",
        "direction",
        "negatives",
        "positives",
        "categories",
        "status",
        "degenerate_type",
        "a",
        "b",
        "se_a",
        "se_b",
        "corr_ab",
        "az",
        "se_az",
        "trapezoidal_area",
        "se_trapezoidal",
        "iterations",
        "jackknife",
        "substituted_cases",
        "constrained"},
       fitRows},
      {"pseudovalues", {"dataset", "reader", "treatment", "case", "truth", "pseudovalue"}, pseudovalueRows},
      {"anova",
       {"dataset", "source", "ss", "df", "ms", "f", "error_ms", "error_df", "p", "significant",
        "error_term_case"},
       anovaRows},
      {"treatments",
       {"dataset", "reader", "reader_name", "treatment", "treatment_name", "versus", "versus_name", "area",
        "se", "df", "lower", "upper", "significant", "ms_r", "ms_c", "ms_rc"},
       treatmentRows},
  };
  return kTables;
}

std::string csvPath(const std::string& prefix, const CsvTable& table) {
  return prefix + "-" + table.name + ".csv";
}

CsvTableFiles::~CsvTableFiles() { close(); }

bool CsvTableFiles::create(const std::string& prefix, bool replace) {
  namespace fs = std::filesystem;
  close();
  failed_ = false;
  why_.clear();
  const fs::path folder = fs::path(prefix).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::exists(folder, ec)) {
    fs::create_directories(folder, ec);
    if (ec) {
      why_ = folder.string() + ": " + ec.message();
      return false;
    }
  }
  const auto& tables = csvTables();
  for (const CsvTable& table : tables) {
    const std::string path = csvPath(prefix, table);
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
    CsvRow header;
    for (const std::string& c : table.columns) header.text(c);
    write(files_.size() - 1, header.str() + "\r\n");
  }
  return !failed_;
}

void CsvTableFiles::write(std::size_t table, const std::string& block) {
  std::FILE* fp = files_[table];
  if (std::fwrite(block.data(), 1, block.size(), fp) != block.size() || std::fflush(fp) != 0) {
    if (!failed_) why_ = paths_[table] + ": " + std::strerror(errno);
    failed_ = true;
    std::clearerr(fp);
  }
}

void CsvTableFiles::datasetFinished(const DatasetResults& results) {
  const auto& tables = csvTables();
  std::vector<CsvRow> rows;
  for (std::size_t i = 0; i < files_.size() && i < tables.size(); ++i) {
    rows.clear();
    tables[i].rows(results, rows);
    std::string block;
    for (const CsvRow& row : rows) {
      block += row.str();
      block += "\r\n";
    }
    write(i, block);
  }
}

bool CsvTableFiles::close() {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (std::fclose(files_[i]) != 0 && !failed_) {
      why_ = paths_[i] + ": " + std::strerror(errno);
      failed_ = true;
    }
  }
  files_.clear();
  return !failed_;
}

bool writeCsvTables(const std::string& prefix, const std::vector<DatasetResults>& datasets, bool replace,
                    std::string& why) {
  CsvTableFiles files;
  if (!files.create(prefix, replace)) {
    why = files.why();
    return false;
  }
  for (const DatasetResults& d : datasets) files.datasetFinished(d);
  if (!files.close()) {
    why = files.why();
    return false;
  }
  return true;
}

}  // namespace quelbro
