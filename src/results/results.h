// What a run found, as plain records: for each dataset the fits on all cases,
// the pseudovalues and the analysis, and the observer that receives them.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quelbro {

// Every number is the value the report rounds, at full precision. A figure
// that does not exist (a test not made, an error with no variance, an
// undefined df) holds kUndefined: test it with std::isnan. Readers,
// treatments and cases keep their 1-based numbers in the fields that name
// them; vectors are 0-based ([0] is reader 1, treatment 1, case 1 ...).
inline constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

// One operating point of the categorized data.
struct OperatingPoint {
  double fpf = 0.0;  // false-positive fraction
  double tpf = 0.0;  // true-positive fraction
};

enum class FitStatus {
  Fitted,       // the binormal estimates exist
  Degenerate,   // the points allow no fit; degenerateType says which case
  NotConverged  // the iteration did not converge (or gave no usable numbers)
};

enum class JackknifeStatus {
  Complete,     // every left-out fit gave its area
  Substituted,  // substitutedCases left-out fits failed: their trapezoidal areas stand in
  Trapezoidal   // the fit on all cases gave no area: trapezoidal areas throughout
};

// The fit of one reader and treatment on all cases.
struct FitRecord {
  int reader = 0;     // 1-based
  int treatment = 0;  // 1-based
  int direction = 1;  // +1: larger results are more abnormal; -1: smaller ones
  int negatives = 0;  // actually-negative cases in the fit
  int positives = 0;  // actually-positive cases in the fit
  int categories = 0;
  // Cases per category and truth state; [0] is category 1, the least
  // abnormal results.
  std::vector<int> negativeCounts;
  std::vector<int> positiveCounts;
  // The categories' operating points, categories + 1 of them, in the order
  // the report prints them: from (0, 0) up to (1, 1).
  std::vector<OperatingPoint> points;
  FitStatus status = FitStatus::NotConverged;
  int degenerateType = 0;  // 1..10 when Degenerate, else 0
  // The binormal estimates: undefined unless Fitted.
  double a = kUndefined;
  double b = kUndefined;
  double seA = kUndefined;
  double seB = kUndefined;
  double corrAB = kUndefined;
  // Area under the fitted curve and its standard error. When Degenerate, az
  // is the area that stands in for it (undefined when there is none) and
  // seAz is undefined.
  double az = kUndefined;
  double seAz = kUndefined;
  double trapezoidalArea = kUndefined;  // Wilcoxon area of the categorized data
  double seTrapezoidal = kUndefined;
  int iterations = 0;  // scoring passes; 0 when none ran
  JackknifeStatus jackknife = JackknifeStatus::Complete;
  int substitutedCases = 0;  // left-out fits whose trapezoidal areas stood in
};

struct TreatmentRecord {
  int treatment = 0;        // 1-based
  std::string description;  // blanks at either end removed
  int direction = 1;        // +1: larger results are more abnormal; -1: smaller ones
};

// One row of the analysis of variance table.
struct SourceRecord {
  std::string source;  // "TOT", "T", "C", "R", "TC", "TR", "RC" or "TRC"
  double ss = kUndefined;
  double df = kUndefined;
  double ms = kUndefined;  // undefined for TOT
  // The test of the source: undefined when it is not tested (TOT, TRC, and
  // RC when the reader x case interaction is not tested). For T the error
  // term is the one errorTermCase picks.
  bool tested = false;
  double f = kUndefined;
  double p = kUndefined;        // probability of a larger F
  bool significant = false;     // p <= 0.05
  double errorMs = kUndefined;  // the mean square in the F ratio's denominator
  double errorDf = kUndefined;  // its df
};

// Mean squares of the readers-by-cases analysis of one treatment.
struct ReadersByCasesRecord {
  int treatment = 0;         // 1-based
  double msR = kUndefined;   // df readers - 1
  double msC = kUndefined;   // df cases - 1
  double msRC = kUndefined;  // df (readers - 1)(cases - 1)
};

struct AreaEstimate {
  double area = kUndefined;
  double se = kUndefined;
  double df = kUndefined;  // Satterthwaite df
};

// Two treatments: each treatment's mean area, and treatment 1 minus 2.
struct TwoTreatmentRecord {
  std::array<AreaEstimate, 2> treatments{};  // [0] treatment 1, [1] treatment 2
  double difference = kUndefined;
  double seDifference = kUndefined;
  double dfDifference = kUndefined;  // the treatment test's error df
  double lower = kUndefined;         // 95% confidence bounds of the difference
  double upper = kUndefined;
  bool significant = false;  // the treatment test's decision at 0.05
};

// Two treatments, one reader: the paired comparison over the cases.
struct SingleReaderRecord {
  int reader = 0;  // 1-based
  double mean1 = kUndefined;
  double mean2 = kUndefined;
  double difference = kUndefined;  // mean1 - mean2
  double se = kUndefined;
  double df = kUndefined;         // cases - 1
  double tCritical = kUndefined;  // t(0.025; df)
  double lower = kUndefined;      // 95% confidence bounds of the difference
  double upper = kUndefined;
  bool significant = false;  // the interval leaves out 0
};

struct ConstrainedCellRecord {
  int reader = 0;     // 1-based
  int treatment = 0;  // 1-based
};

// The treatment x reader x case analysis of the pseudovalues.
struct AnalysisRecord {
  // The table in the report's order: TOT, T, C, R, TC, TR, RC, TRC.
  std::vector<SourceRecord> sources;
  // The error term of the treatment test: 1 MS(TRC), 2 MS(TR), 3 MS(TC),
  // 4 the Satterthwaite term MS(TR) + MS(TC) - MS(TRC).
  int errorTermCase = 1;
  double satterthwaiteDf = kUndefined;  // case 4 only
  double satterthwaiteMs = kUndefined;  // case 4 only
  bool readerCaseTested = true;
  std::vector<ConstrainedCellRecord> constrainedCells;  // clamped into [0, 1], in the order found
  double grandMean = kUndefined;
  std::vector<double> treatmentMeans;                // [t - 1]
  std::vector<double> readerMeans;                   // [r - 1]
  std::vector<std::vector<double>> cellMeans;        // [r - 1][t - 1]
  std::vector<ReadersByCasesRecord> readersByCases;  // [t - 1]
  std::optional<TwoTreatmentRecord> twoTreatments;   // two treatments only
  std::vector<SingleReaderRecord> singleReaders;     // [r - 1], two treatments only
  const SourceRecord* source(const std::string& name) const {
    for (const SourceRecord& s : sources)
      if (s.source == name) return &s;
    return nullptr;
  }
};

// A dataset's pseudovalues where they are kept: cell(r, t) points to cases
// 1..negatives + positives of reader r under treatment t, side by side.
struct PseudovalueCells {
  int dataset = 0;
  int readers = 0;
  int treatments = 0;
  int negatives = 0;
  int positives = 0;
  const double* first = nullptr;  // case 1 of reader 1, treatment 1
  std::size_t readerStride = 0;   // values from one reader's cell to the next's
  std::size_t treatmentStride = 0;
  const double* cell(int r, int t) const {
    return first + static_cast<std::size_t>(r - 1) * readerStride +
           static_cast<std::size_t>(t - 1) * treatmentStride;
  }
};

// Everything one dataset of the run found.
struct DatasetResults {
  int dataset = 0;                          // 1-based, in the order the run analysed them
  std::string description;                  // the data description, blanks at either end removed
  std::string inputFile;                    // the case data file; empty for typed data
  std::vector<TreatmentRecord> treatments;  // [t - 1]
  std::vector<std::string> readers;         // names, blanks at either end removed; [r - 1]
  int negatives = 0;                        // cases 1..negatives are actually negative,
  int positives = 0;                        // the next positives cases actually positive
  std::vector<FitRecord> fits;              // reader-major: use fit(r, t)
  // After the analysis's constraint when there was an analysis; use
  // pseudovalue(r, t, c).
  std::vector<double> pseudovalues;
  std::optional<AnalysisRecord> analysis;  // none with fewer than 2 readers or treatments

  int readerCount() const { return static_cast<int>(readers.size()); }
  int treatmentCount() const { return static_cast<int>(treatments.size()); }
  int cases() const { return negatives + positives; }
  int truth(int c) const { return c <= negatives ? 0 : 1; }  // 0 negative, 1 positive
  const FitRecord& fit(int r, int t) const {
    return fits[static_cast<std::size_t>((r - 1) * treatmentCount() + (t - 1))];
  }
  double pseudovalue(int r, int t, int c) const { return pseudovalues[pseudovalueIndex(r, t, c)]; }
  PseudovalueCells cells() const {
    const auto n = static_cast<std::size_t>(cases());
    return {dataset,
            readerCount(),
            treatmentCount(),
            negatives,
            positives,
            pseudovalues.empty() ? nullptr : pseudovalues.data(),
            static_cast<std::size_t>(treatmentCount()) * n,
            n};
  }
  std::size_t pseudovalueIndex(int r, int t, int c) const {
    return (static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(treatmentCount()) +
            static_cast<std::size_t>(t - 1)) *
               static_cast<std::size_t>(cases()) +
           static_cast<std::size_t>(c - 1);
  }
};

// Receives each dataset as soon as it has been analysed and its report
// written: the CSV tables, the window's export and the plots all read the
// same records.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Lines that follow the dataset's report on the screen and in the report
  // file, asked for just before datasetFinished; none unless an observer
  // adds a section of its own.
  virtual std::vector<std::string> linesAfterReport(const DatasetResults&) { return {}; }
  // The dataset's pseudovalues, final, handed over before its analysis is
  // worked out and reported. They stay where they are, unchanged, until
  // datasetFinished of the same dataset returns: work an observer starts on
  // them is done by then.
  virtual void pseudovaluesFinished(const PseudovalueCells& /*cells*/) {}
  // The dataset ends without datasetFinished (an exception on the way): the
  // pseudovalues are about to go, and nothing may read them any more.
  virtual void pseudovaluesWithdrawn() {}
  // Whether datasetFinished needs the pseudovalues in its DatasetResults: they
  // are copied out of the study tables only then. An observer that had all it
  // needs of them from pseudovaluesFinished says no.
  virtual bool needsPseudovalues(int /*dataset*/) const { return true; }
  virtual void datasetFinished(const DatasetResults& results) = 0;
};

}  // namespace quelbro
