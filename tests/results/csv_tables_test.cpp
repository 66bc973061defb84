// The CSV fields and tables: numbers whatever the locale, quoting, and a
// round trip of every table through a strict reader.
#include "results/csv_tables.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <random>
#include <sstream>

#include "results/csv_test_support.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

TEST(CsvNumber, TenSignificantDigitsPointAndEmptyForUndefined) {
  struct Case {
    double v;
    const char* text;
  };
  const Case cases[] = {
      {0.75, "0.75"},
      {31.0, "31"},
      {-0.0, "0"},
      {1.0 / 3.0, "0.3333333333"},
      {2.0 / 3.0, "0.6666666667"},           // rounded in the tenth digit
      {-0.0733455478123, "-0.07334554781"},  // ten significant digits, not ten decimals
      {12345678901.0, "1.23456789e+10"},
      {1.5e-7, "1.5e-07"},
      {0.1 + 0.2, "0.3"},
      {0.0001, "0.0001"},       // still fixed
      {0.00001, "1e-05"},       // scientific below 1e-4, as %g
      {9999999999.6, "1e+10"},  // rounding carries into a new digit
      {-0.99999999996, "-1"},
      {1234567890.0, "1234567890"},
      {0.12345678915, "0.1234567891"},  // a tie in the shortest form: the binary value is below it
      {std::nan(""), ""},
      {HUGE_VAL, "Inf"},
      {-HUGE_VAL, "-Inf"},
  };
  for (const Case& c : cases) EXPECT_EQ(csvNumber(c.v), c.text) << c.v;
}

// Every value as the standard library's exactly rounded conversion writes it
// (%.10g): random bit patterns, values near ten-digit ties, and a spread of
// magnitudes.
TEST(CsvNumber, AgreesWithTheExactConversionEverywhere) {
  std::mt19937_64 random(20261208);
  std::uniform_int_distribution<std::uint64_t> bits;
  std::uniform_real_distribution<double> mantissa(1.0, 10.0), power(-12.0, 14.0);
  int differ = 0;
  for (int k = 0; k < 300000; ++k) {
    double v = 0.0;
    switch (k % 4) {
      case 0: {
        const std::uint64_t b = bits(random);
        std::memcpy(&v, &b, sizeof v);
        if (!std::isfinite(v) || v == 0.0) continue;
        break;
      }
      case 1:
        v = mantissa(random) * std::pow(10.0, std::floor(power(random)));
        break;
      case 2:  // halfway at the tenth digit, as near as a double gets
        v = (std::round(mantissa(random) * 1e9) + 0.5) * std::pow(10.0, std::floor(power(random)) - 9);
        break;
      default:
        v = std::round(mantissa(random) * 1e5) / 1e5;
        break;
    }
    if (k % 3 == 0) v = -v;
    char b[40];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::general, 10);
    if (csvNumber(v) != std::string(b, r.ptr) && ++differ <= 5)
      ADD_FAILURE() << std::string(b, r.ptr) << " written as " << csvNumber(v);
  }
  EXPECT_EQ(differ, 0);
}

// A locale that writes numbers with a decimal comma.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(CsvNumber, DecimalPointWhateverTheLocale) {
  const std::locale before = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  std::ostringstream check;
  check << 0.5;
  EXPECT_EQ(check.str(), "0,5");  // the locale is in force
  EXPECT_EQ(csvNumber(0.5), "0.5");
  EXPECT_EQ(CsvRow().number(1.25).number(-2.5).str(), "1.25,-2.5");
  std::locale::global(before);
}

TEST(CsvText, QuotedOnlyWhenNeeded) {
  EXPECT_EQ(csvText("Film"), "Film");
  EXPECT_EQ(csvText("Dr. Adams, MD"), "\"Dr. Adams, MD\"");
  EXPECT_EQ(csvText("the \"best\""), "\"the \"\"best\"\"\"");
  EXPECT_EQ(csvText("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_EQ(csvText(" padded"), "\" padded\"");
  EXPECT_EQ(csvText(""), "");
}

// A small dataset with awkward names and undefined figures.
DatasetResults awkwardDataset() {
  DatasetResults d;
  d.dataset = 3;
  d.description = "Readers \"A\", B; and a, comma";
  d.inputFile = "x.dat";
  d.treatments = {{1, "Film, plain", 1}, {2, "Dig\"ital", -1}};
  d.readers = {"O'Brien, J.", "Lee"};
  d.negatives = 1;
  d.positives = 2;
  for (int r = 1; r <= 2; ++r)
    for (int t = 1; t <= 2; ++t) {
      FitRecord f;
      f.reader = r;
      f.treatment = t;
      f.direction = t == 1 ? 1 : -1;
      f.negatives = 1;
      f.positives = 2;
      f.categories = 2;
      f.status = r == 1 ? FitStatus::Fitted : FitStatus::Degenerate;
      f.degenerateType = r == 1 ? 0 : 3;
      if (r == 1) {
        f.a = 1.0 / 7.0;
        f.b = 0.9;
        f.seA = 0.25;
        f.seB = 0.125;
        f.corrAB = -0.5;
        f.az = 0.8123456789012;
        f.seAz = 1e-9;
      }
      f.trapezoidalArea = 0.75;
      f.seTrapezoidal = 0.0;
      d.fits.push_back(f);
    }
  for (int k = 0; k < 12; ++k) d.pseudovalues.push_back(k / 3.0 - 1.0);
  AnalysisRecord a;
  for (const char* s : {"TOT", "T", "C", "R", "TC", "TR", "RC", "TRC"}) {
    SourceRecord row;
    row.source = s;
    row.ss = 1.0;
    row.df = 2.0;
    row.tested = std::string(s) == "T";
    if (row.tested) {
      row.f = 3.5;
      row.p = kUndefined;  // an undefined probability
    }
    a.sources.push_back(row);
  }
  a.treatmentMeans = {0.7, 0.8};
  a.cellMeans = {{0.6, 0.7}, {0.8, 0.9}};
  a.readersByCases = {{1, 0.1, 0.2, 0.3}, {2, 0.4, 0.5, 0.6}};
  TwoTreatmentRecord two;
  two.difference = -0.1;
  a.twoTreatments = two;
  a.singleReaders = {SingleReaderRecord{}, SingleReaderRecord{}};
  d.analysis = a;
  return d;
}

TEST(CsvTables, EveryTableReadsBackThroughAStrictParser) {
  std::string tmpl = (fs::temp_directory_path() / "quelbro-csv-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const std::string prefix = (fs::path(tmpl) / "sub" / "run").string();  // the folder is made
  std::string why;
  const DatasetResults d = awkwardDataset();
  ASSERT_TRUE(writeCsvTables(prefix, {d, d}, false, why)) << why;

  // Rows per table for two datasets of 2 readers x 2 treatments, 3 cases.
  const std::map<std::string, std::size_t> rows = {
      {"fits", 8}, {"pseudovalues", 24}, {"anova", 16}, {"treatments", 2 * (2 + 1 + 2 * (2 + 1))}};
  for (const CsvTable& table : csvTables()) {
    SCOPED_TRACE(table.name);
    const auto t = testing_csv::readStrict(csvPath(prefix, table));
    ASSERT_EQ(t.error, "");
    EXPECT_EQ(t.header, table.columns);
    EXPECT_EQ(t.rows.size(), rows.at(table.name));
  }
  const auto fits = testing_csv::readStrict(prefix + "-fits.csv");
  EXPECT_EQ(fits.at(0, "description"), d.description);
  EXPECT_EQ(fits.at(0, "reader_name"), "O'Brien, J.");
  EXPECT_EQ(fits.at(1, "treatment_name"), "Dig\"ital");
  EXPECT_EQ(fits.at(1, "direction"), "S");
  EXPECT_EQ(fits.at(0, "status"), "fitted");
  EXPECT_EQ(fits.at(2, "status"), "degenerate");
  EXPECT_EQ(fits.at(2, "degenerate_type"), "3");
  EXPECT_EQ(fits.at(0, "degenerate_type"), "");
  EXPECT_EQ(fits.at(2, "a"), "");              // undefined: an empty field
  EXPECT_EQ(fits.at(0, "a"), "0.1428571429");  // ten significant digits
  EXPECT_EQ(fits.at(0, "az"), "0.8123456789");
  EXPECT_EQ(fits.at(0, "se_az"), "1e-09");
  const auto pv = testing_csv::readStrict(prefix + "-pseudovalues.csv");
  EXPECT_EQ(pv.at(0, "truth"), "0");
  EXPECT_EQ(pv.at(1, "truth"), "1");
  EXPECT_EQ(pv.at(4, "reader"), "1");
  EXPECT_EQ(pv.at(4, "treatment"), "2");
  EXPECT_EQ(pv.at(4, "case"), "2");
  EXPECT_NEAR(std::strtod(pv.at(4, "pseudovalue").c_str(), nullptr), 4 / 3.0 - 1.0, 1e-10);
  const auto an = testing_csv::readStrict(prefix + "-anova.csv");
  EXPECT_EQ(an.at(1, "source"), "T");
  EXPECT_EQ(an.at(1, "f"), "3.5");
  EXPECT_EQ(an.at(1, "p"), "");
  EXPECT_EQ(an.at(1, "significant"), "FALSE");
  EXPECT_EQ(an.at(0, "significant"), "");  // TOT is not tested
  fs::remove_all(tmpl);
}

// Pseudovalues repeat (one value per category and truth state) and the
// writer keeps the texts of recent values: every row must still be its own.
TEST(CsvTables, EveryPseudovalueRowHoldsItsOwnCase) {
  DatasetResults d;
  d.dataset = 1;
  d.treatments = {{1, "A", 1}, {2, "B", 1}};
  d.readers = {"R"};
  d.negatives = 700;
  d.positives = 800;
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> pick(0, 149);
  std::uniform_real_distribution<double> any(-1.0, 2.0);
  std::vector<double> common(150);
  for (double& v : common) v = any(random);
  for (int k = 0; k < 2 * 1500; ++k)
    d.pseudovalues.push_back(k % 5 == 0 ? any(random) : common[pick(random)]);
  std::string text;
  CsvOut out(text);
  for (const CsvTable& t : csvTables())
    if (t.name == "pseudovalues") t.rows(d, out);
  const auto table = testing_csv::parseStrict("dataset,reader,treatment,case,truth,pseudovalue\r\n" + text);
  ASSERT_EQ(table.error, "");
  ASSERT_EQ(table.rows.size(), 3000u);
  for (std::size_t i = 0; i < table.rows.size(); ++i) {
    const int t = static_cast<int>(i / 1500) + 1, c = static_cast<int>(i % 1500) + 1;
    ASSERT_EQ(table.at(i, "treatment"), std::to_string(t));
    ASSERT_EQ(table.at(i, "case"), std::to_string(c));
    ASSERT_EQ(table.at(i, "truth"), c <= 700 ? "0" : "1");
    ASSERT_EQ(table.at(i, "pseudovalue"), csvNumber(d.pseudovalue(1, t, c))) << "row " << i;
  }

  // Handed on in blocks of whole rows, none much past 64 KiB, together the
  // same text; a receiver that refuses a block is sent nothing more.
  const CsvTable& pseudovalues = csvTables()[1];
  ASSERT_EQ(pseudovalues.name, "pseudovalues");
  for (const bool refuse : {false, true}) {
    SCOPED_TRACE(refuse);
    std::vector<std::string> blocks;
    std::string buffer;
    CsvOut sent(buffer, [&](std::string_view rows) {
      blocks.emplace_back(rows);
      return !refuse;
    });
    pseudovalues.rows(d, sent);
    sent.finish();
    std::string joined;
    for (const std::string& b : blocks) {
      EXPECT_EQ(b.substr(b.size() - 2), "\r\n");
      EXPECT_LT(b.size(), CsvOut::kBlock + 8192);
      joined += b;
    }
    if (refuse) {
      ASSERT_EQ(blocks.size(), 1u);
      EXPECT_TRUE(sent.stopped());
      EXPECT_EQ(joined, text.substr(0, joined.size()));
    } else {
      EXPECT_EQ(blocks.size(), text.size() / CsvOut::kBlock + 1);
      EXPECT_EQ(joined, text);
    }
  }
}

// A study whose pseudovalues fill many blocks of their file.
DatasetResults largeStudy() {
  DatasetResults d;
  d.dataset = 2;
  d.description = "Large";
  d.treatments = {{1, "A", 1}, {2, "B", 1}};
  d.readers = {"R1", "R2"};
  d.negatives = 3000;
  d.positives = 3000;
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> any(-1.0, 2.0);
  for (int k = 0; k < 2 * 2 * 6000; ++k) d.pseudovalues.push_back(any(random));
  return d;
}

TEST(CsvTables, ALargeStudysTablesAreWholeOrEndAtTheirLastWholeRow) {
  const DatasetResults d = largeStudy();
  // Each table's text made in turn, in one piece.
  std::vector<std::string> expected;
  for (const CsvTable& t : csvTables()) {
    CsvRow header;
    for (const std::string& c : t.columns) header.text(c);
    std::string text = header.str() + "\r\n";
    CsvOut out(text);
    t.rows(d, out);
    expected.push_back(text);
  }
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  };
  // The tables written at the end of the dataset, or the pseudovalues' table
  // on a thread of its own from the moment the pseudovalues are final.
  for (const bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "pseudovalues ahead" : "all at the end");
    const auto write = [&](const std::string& prefix, bool replace, std::string& why) {
      if (!ahead) return writeCsvTables(prefix, {d}, replace, why);
      CsvTableFiles files;
      if (!files.create(prefix, replace)) return false;
      EXPECT_TRUE(files.needsPseudovalues(d.dataset));
      files.pseudovaluesFinished(d.cells());
      // Its rows are under way: the record it is then given has none of them.
      EXPECT_FALSE(files.needsPseudovalues(d.dataset));
      DatasetResults without = d;
      without.pseudovalues.clear();
      files.datasetFinished(without);
      EXPECT_TRUE(files.needsPseudovalues(d.dataset));
      const bool closed = files.close();
      why = files.why();
      return closed;
    };
    std::string tmpl = (fs::temp_directory_path() / "quelbro-csv-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::string prefix = (fs::path(tmpl) / "run").string();
    std::string why;
    ASSERT_TRUE(write(prefix, false, why)) << why;
    for (std::size_t i = 0; i < csvTables().size(); ++i)
      EXPECT_EQ(slurp(csvPath(prefix, csvTables()[i])), expected[i]) << csvTables()[i].name;

    // Files of at most 100 KB: the pseudovalues' file stops at its last whole
    // row and takes nothing more; the other tables are whole.
    constexpr rlim_t kLimit = 100 * 1024;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit {
        kLimit, kLimit
      };
      setrlimit(RLIMIT_FSIZE, &limit);
      std::string reason;
      const bool written = write(prefix, true, reason);
      _exit(!written && reason.find("cannot write") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was not reported";
    for (std::size_t i = 0; i < csvTables().size(); ++i) {
      const std::string got = slurp(csvPath(prefix, csvTables()[i]));
      if (csvTables()[i].name != "pseudovalues") {
        EXPECT_EQ(got, expected[i]) << csvTables()[i].name;
        continue;
      }
      ASSERT_GT(got.size(), 1000u);
      EXPECT_LE(got.size(), kLimit);
      EXPECT_EQ(got.substr(got.size() - 2), "\r\n");
      EXPECT_EQ(got, expected[i].substr(0, got.size()));
    }
    fs::remove_all(tmpl);
  }
}

TEST(CsvTables, ExistingFilesAreLeftAloneWithoutReplace) {
  std::string tmpl = (fs::temp_directory_path() / "quelbro-csv-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const std::string prefix = (fs::path(tmpl) / "run").string();
  std::ofstream(prefix + "-anova.csv") << "mine";
  CsvTableFiles files;
  EXPECT_FALSE(files.create(prefix, false));
  EXPECT_NE(files.why().find("run-anova.csv"), std::string::npos) << files.why();
  // Nothing half made is left, and the existing file is intact.
  EXPECT_FALSE(fs::exists(prefix + "-fits.csv"));
  std::ifstream in(prefix + "-anova.csv");
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "mine");
  EXPECT_TRUE(files.create(prefix, true)) << files.why();
  EXPECT_TRUE(files.close());
  fs::remove_all(tmpl);
}

TEST(CsvTables, AFailedWriteIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::string tmpl = (fs::temp_directory_path() / "quelbro-csv-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const std::string prefix = (fs::path(tmpl) / "run").string();
  fs::create_symlink("/dev/full", prefix + "-pseudovalues.csv");
  CsvTableFiles files;
  EXPECT_FALSE(files.create(prefix, true));
  EXPECT_NE(files.why().find("run-pseudovalues.csv"), std::string::npos) << files.why();
  files.close();
  fs::remove_all(tmpl);
}

}  // namespace
}  // namespace quelbro
