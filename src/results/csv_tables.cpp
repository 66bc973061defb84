// The CSV tables: number and text fields, the rows of each table, and the
// files they are written to.
#include "results/csv_tables.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace quelbro {

namespace {

// Ten significant digits of a finite nonzero value, rounded from the exact
// binary value, in the form printf's %.10g gives. The shortest decimal that
// reads back as v (std::to_chars) is rounded to ten digits: that decimal
// lies so close to v that no ten-digit rounding boundary can fall between
// them, unless it sits on the boundary itself, and then the slower exact
// conversion decides. About a third faster than the exact conversion, which
// counts for the hundreds of thousands of pseudovalues of a large study.
void appendTenDigits(std::string& out, double v) {
  char b[40];
  const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::scientific);
  const char* p = b;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[24];
  int n = 0;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int exponent = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), r.ptr, exponent);
  if (n > 10) {
    bool up = digits[10] > '5';
    if (digits[10] == '5') {
      bool beyond = false;
      for (int i = 11; i < n; ++i) beyond = beyond || digits[i] != '0';
      if (!beyond) {
        const auto exact = std::to_chars(b, b + sizeof b, v, std::chars_format::general, 10);
        out.append(b, exact.ptr);
        return;
      }
      up = true;
    }
    n = 10;
    if (up) {
      int i = 9;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {
        digits[0] = '1';
        ++exponent;
      }
    }
  }
  while (n > 1 && digits[n - 1] == '0') --n;
  if (negative) out += '-';
  if (exponent < -4 || exponent >= 10) {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out.append(digits + 1, static_cast<std::size_t>(n - 1));
    }
    out += exponent < 0 ? "e-" : "e+";
    const int e = exponent < 0 ? -exponent : exponent;
    if (e < 10) out += '0';
    char eb[8];
    const auto er = std::to_chars(eb, eb + sizeof eb, e);
    out.append(eb, er.ptr);
  } else if (exponent >= 0) {
    const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
    if (static_cast<std::size_t>(n) <= whole) {
      out.append(digits, static_cast<std::size_t>(n));
      out.append(whole - static_cast<std::size_t>(n), '0');
    } else {
      out.append(digits, whole);
      out += '.';
      out.append(digits + whole, static_cast<std::size_t>(n) - whole);
    }
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out.append(digits, static_cast<std::size_t>(n));
  }
}

void appendNumber(std::string& out, double v) {
  if (std::isnan(v)) return;
  if (std::isinf(v)) {
    out += v > 0 ? "Inf" : "-Inf";
    return;
  }
  if (v == 0.0) {
    out += '0';  // no "-0"
    return;
  }
  appendTenDigits(out, v);
}

}  // namespace

std::string csvNumber(double v) {
  std::string s;
  appendNumber(s, v);
  return s;
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

CsvRow& CsvRow::number(double v) {
  next();
  appendNumber(*out_, v);
  return *this;
}
CsvRow& CsvRow::integer(long long v) {
  next();
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out_->append(buf, r.ptr);
  return *this;
}
CsvRow& CsvRow::text(std::string_view t) {
  next();
  *out_ += csvText(t);
  return *this;
}
CsvRow& CsvRow::flag(bool v) {
  next();
  *out_ += v ? "TRUE" : "FALSE";
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

void fitRows(const DatasetResults& d, CsvOut& sink) {
  std::string& out = sink.text();
  for (const FitRecord& f : d.fits) {
    CsvRow row(out);
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
    row.end();
  }
}

// The texts of recently written numbers. The cases of one category and truth
// state share their pseudovalue, so a reader and treatment has a few dozen
// distinct values among thousands of cases, each written once here.
class NumberTexts {
 public:
  // Room for the longest text, "-1.234567891e-308".
  static constexpr std::size_t kRoom = 24;
  struct Text {
    std::uint64_t key = 0;
    std::uint32_t generation = 0;  // the slot is free unless it is the current one
    std::uint32_t size = 0;
    char text[kRoom] = {};
  };

  // Another reader and treatment: its values are not those of the one
  // before, so every slot is free again.
  void nextCell() { ++generation_; }

  const Text& text(double v) {
    std::uint64_t key = 0;
    std::memcpy(&key, &v, sizeof key);
    const std::size_t home = (key * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits);
    for (std::size_t probe = 0; probe < kProbes; ++probe) {
      Text& slot = slots_[(home + probe) & (kSlots - 1)];
      if (slot.generation != generation_) return fill(slot, key, v);
      if (slot.key == key) return slot;
    }
    return fill(slots_[home], key, v);  // a crowded neighbourhood: its first slot is taken over
  }

 private:
  const Text& fill(Text& slot, std::uint64_t key, double v) {
    std::string s;
    appendNumber(s, v);
    slot.size = static_cast<std::uint32_t>(std::min(s.size(), kRoom));
    std::memcpy(slot.text, s.data(), slot.size);
    slot.key = key;
    slot.generation = generation_;
    return slot;
  }

  // Several times the distinct values of a reader and treatment, so that
  // few of them share a slot.
  static constexpr int kSlotBits = 9;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  static constexpr std::size_t kProbes = 8;
  std::uint32_t generation_ = 1;
  std::vector<Text> slots_ = std::vector<Text>(kSlots);
};

// The start of the pseudovalue rows of one reader and treatment,
// "dataset,reader,treatment,". It is never written to while rows are made:
// a wide copy of bytes just stored one by one waits for them to reach the
// cache, and each row would wait so.
class RowStart {
 public:
  // Room for three integers of 11 characters and their commas.
  static constexpr std::size_t kRoom = 48;

  RowStart(int dataset, int reader, int treatment) {
    std::string s;
    CsvRow(s).integer(dataset).integer(reader).integer(treatment);
    s += ',';
    size_ = std::min(s.size(), kRoom);
    std::memcpy(text_.data(), s.data(), size_);
  }
  const char* data() const { return text_.data(); }
  std::size_t size() const { return size_; }

 private:
  std::array<char, kRoom> text_{};
  std::size_t size_ = 0;
};

// Writes the decimal digits of `n` at `p` (stores only); returns their end.
inline char* writeDigits(char* p, unsigned n) {
  unsigned digits = 1;
  for (unsigned rest = n; rest >= 10; rest /= 10) ++digits;
  char* const end = p + digits;
  char* q = end;
  do {
    *--q = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  return end;
}

// Each row is put together in a block of whole rows that is handed on as it
// is once it holds 64 KiB; its start and its number are copied whole, the
// room they stand in (fixed sizes copy fastest), and the next row overwrites
// what lies beyond their length.
void pseudovalueCellRows(const PseudovalueCells& d, CsvOut& out) {
  const int n = d.negatives + d.positives;
  NumberTexts texts;
  constexpr std::size_t kLongestRow = RowStart::kRoom + 10 + 3 + NumberTexts::kRoom + 2;
  if (n <= 0 || d.first == nullptr) return;
  const auto block = std::make_unique_for_overwrite<char[]>(CsvOut::kBlock + kLongestRow);
  // The cases' numbers as text, eight bytes each, made once for every cell.
  const std::size_t numbered = std::min<std::size_t>(static_cast<std::size_t>(n), 99999999);
  std::vector<std::uint64_t> caseText(numbered + 1);
  std::vector<unsigned char> caseDigits(numbered + 1);
  for (std::size_t c = 1; c <= numbered; ++c) {
    char digits[16] = {};
    caseDigits[c] = static_cast<unsigned char>(writeDigits(digits, static_cast<unsigned>(c)) - digits);
    std::memcpy(&caseText[c], digits, sizeof(std::uint64_t));
  }
  std::size_t used = 0;
  for (int r = 1; r <= d.readers; ++r)
    for (int t = 1; t <= d.treatments; ++t) {
      if (out.stopped()) return;
      const RowStart start(d.dataset, r, t);
      texts.nextCell();
      // Held here: every byte written to the block could, as far as the
      // compiler knows, have changed the dataset's own fields.
      const double* const values = d.cell(r, t);
      const int negatives = d.negatives;
      char* const base = block.get();
      for (int c = 1; c <= n; ++c) {
        char* p = base + used;
        std::memcpy(p, start.data(), RowStart::kRoom);
        p += start.size();
        if (static_cast<std::size_t>(c) <= numbered) {
          std::memcpy(p, &caseText[static_cast<std::size_t>(c)], sizeof(std::uint64_t));
          p += caseDigits[static_cast<std::size_t>(c)];
        } else {
          p = writeDigits(p, static_cast<unsigned>(c));
        }
        *p++ = ',';
        *p++ = c <= negatives ? '0' : '1';
        *p++ = ',';
        const NumberTexts::Text& v = texts.text(values[c - 1]);
        std::memcpy(p, v.text, NumberTexts::kRoom);
        p += v.size;
        *p++ = '\r';
        *p++ = '\n';
        used = static_cast<std::size_t>(p - base);
        if (used >= CsvOut::kBlock) {
          out.sendRows(std::string_view(base, used));
          used = 0;
          if (out.stopped()) return;
        }
      }
    }
  if (used > 0) out.sendRows(std::string_view(block.get(), used));
}

void pseudovalueRows(const DatasetResults& d, CsvOut& out) {
  const int n = d.cases();
  if (n <= 0 || d.pseudovalues.size() < d.pseudovalueIndex(d.readerCount(), d.treatmentCount(), n) + 1)
    return;
  pseudovalueCellRows(d.cells(), out);
}

void anovaRows(const DatasetResults& d, CsvOut& sink) {
  std::string& out = sink.text();
  if (!d.analysis) return;
  for (const SourceRecord& s : d.analysis->sources) {
    CsvRow row(out);
    row.integer(d.dataset).text(s.source).number(s.ss).number(s.df).number(s.ms);
    row.number(s.f).number(s.errorMs).number(s.errorDf).number(s.p);
    if (s.tested) {
      row.flag(s.significant);
    } else {
      row.empty();
    }
    row.integer(d.analysis->errorTermCase);
    row.end();
  }
}

// Columns: dataset, reader, reader_name, treatment, treatment_name, versus,
// versus_name, area, se, df, lower, upper, significant, ms_r, ms_c, ms_rc.
void treatmentStart(CsvRow& row, const DatasetResults& d, int reader, int t, int versus) {
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
}

void treatmentRows(const DatasetResults& d, CsvOut& sink) {
  std::string& out = sink.text();
  if (!d.analysis) return;
  const AnalysisRecord& a = *d.analysis;
  const auto& two = a.twoTreatments;
  for (int t = 1; t <= d.treatmentCount(); ++t) {
    const std::size_t i = static_cast<std::size_t>(t - 1);
    CsvRow row(out);
    treatmentStart(row, d, 0, t, 0);
    row.number(a.treatmentMeans[i]);
    if (two && t <= 2) {
      row.number(two->treatments[i].se).number(two->treatments[i].df);
    } else {
      row.empty().empty();
    }
    row.empty().empty().empty();
    row.number(a.readersByCases[i].msR).number(a.readersByCases[i].msC).number(a.readersByCases[i].msRC);
    row.end();
  }
  if (two) {
    CsvRow row(out);
    treatmentStart(row, d, 0, 1, 2);
    row.number(two->difference).number(two->seDifference).number(two->dfDifference);
    row.number(two->lower).number(two->upper).flag(two->significant).empty().empty().empty();
    row.end();
  }
  for (int r = 1; r <= d.readerCount(); ++r) {
    for (int t = 1; t <= d.treatmentCount(); ++t) {
      CsvRow row(out);
      treatmentStart(row, d, r, t, 0);
      row.number(a.cellMeans[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(t - 1)]);
      for (int k = 0; k < 8; ++k) row.empty();
      row.end();
    }
    if (two) {
      const SingleReaderRecord& s = a.singleReaders[static_cast<std::size_t>(r - 1)];
      CsvRow row(out);
      treatmentStart(row, d, r, 1, 2);
      row.number(s.difference).number(s.se).number(s.df).number(s.lower).number(s.upper).flag(s.significant);
      row.empty().empty().empty();
      row.end();
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

bool CsvTableFiles::create(const std::string& prefix, bool replace) {
  std::vector<TableFileSet::Table> tables;
  for (const CsvTable& table : csvTables()) tables.push_back({csvPath(prefix, table), table.columns});
  return files_.create(tables, replace);
}

namespace {
constexpr std::size_t kPseudovalueTable = 1;
}

template <typename Rows>
void CsvTableFiles::writeRows(std::size_t table, std::string& buffer, Rows rows) {
  if (!files_.writable(table)) return;  // a failed file takes nothing more
  buffer.clear();
  CsvOut out(buffer, [&](std::string_view block) {
    files_.write(table, block);
    return files_.writable(table);
  });
  rows(out);
  out.finish();
}

void CsvTableFiles::writeTable(std::size_t table, const DatasetResults& results, std::string& buffer) {
  writeRows(table, buffer, [&](CsvOut& out) { csvTables()[table].rows(results, out); });
}

void CsvTableFiles::pseudovaluesFinished(const PseudovalueCells& cells) {
  finishAhead();
  if (files_.size() <= kPseudovalueTable || !files_.writable(kPseudovalueTable)) return;
  try {
    ahead_ = std::jthread([this, cells] {
      writeRows(kPseudovalueTable, aheadBuffer_, [&](CsvOut& out) { pseudovalueCellRows(cells, out); });
    });
    aheadDataset_ = cells.dataset;
  } catch (...) {
    // no thread to be had: the table is written with the others
  }
}

void CsvTableFiles::finishAhead() {
  if (ahead_.joinable()) ahead_.join();
  aheadDataset_ = -1;
}

void CsvTableFiles::datasetFinished(const DatasetResults& results) {
  // While the thread writes the pseudovalues' file, nothing here touches it;
  // it is waited for on the way out, whatever happens here.
  const bool ahead = ahead_.joinable() && aheadDataset_ == results.dataset;
  if (!ahead) finishAhead();
  struct Join {
    CsvTableFiles& files;
    ~Join() { files.finishAhead(); }
  } join{*this};
  for (std::size_t i = 0; i < files_.size() && i < csvTables().size(); ++i)
    if (!(ahead && i == kPseudovalueTable)) writeTable(i, results, buffer_);
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
