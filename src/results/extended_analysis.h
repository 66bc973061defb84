// The analyses beyond the specified report, from the mean squares of the
// treatment x reader x case analysis: the treatment test with the newer
// denominator df, its fixed-reader and fixed-case forms, pairwise intervals,
// and the sizing of a future study by the noncentral F.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quelbro {

// What the analysis needs of a study: its shape, four mean squares of the
// pseudovalue analysis and the treatment means ([t - 1]).
struct MeanSquareInput {
  int treatments = 0;
  int readers = 0;
  int cases = 0;
  double msT = 0.0;
  double msTR = 0.0;
  double msTC = 0.0;
  double msTRC = 0.0;
  std::vector<double> treatmentMeans;
};

// Every figure that can be undefined (a zero error mean square, an undefined
// df) is an empty optional: it is never a NaN.
using Figure = std::optional<double>;

enum class TestKind {
  Random,        // readers and cases random
  FixedReaders,  // cases random
  FixedCases     // readers random
};

// Difference of the mean areas of treatments i and j (i < j, 1-based), mean
// of i minus mean of j, with its 95% interval.
struct PairInterval {
  int i = 0;
  int j = 0;
  double difference = 0.0;
  Figure lower;
  Figure upper;
};

struct TreatmentTest {
  TestKind kind = TestKind::Random;
  Figure errorMs;  // the denominator of F
  Figure f;
  double ndf = 0.0;
  Figure ddf;
  Figure p;  // probability of a larger F
  std::vector<PairInterval> pairs;
};

// Pseudovalue variance components, each negative estimate taken as 0.
struct VarianceComponents {
  double treatmentReader = 0.0;  // (MS(TR) - MS(TRC)) / c
  double treatmentCase = 0.0;    // (MS(TC) - MS(TRC)) / r
  double error = 0.0;            // MS(TRC)
  bool treatmentReaderNegative = false;
  bool treatmentCaseNegative = false;
};

// One planned two-treatment study.
struct PlannedStudy {
  int readers = 0;
  int cases = 0;
  Figure ddf;
  Figure noncentrality;
  Figure power;
};

inline constexpr int kPlannedReadersFrom = 3;
inline constexpr int kPlannedReadersTo = 10;
inline constexpr int kPlannedCases[] = {50, 100, 200, 400};
inline constexpr double kTargetPower = 0.8;
// The smallest number of cases is searched in steps of 10 up to this.
inline constexpr int kCaseSearchStep = 10;
inline constexpr int kCaseSearchLimit = 10000;

// The sizing of one pair for one effect.
struct SizingTable {
  int i = 0;  // the pair, 1-based, i < j
  int j = 0;
  double effect = 0.0;    // difference of mean areas to detect
  bool observed = false;  // the pair's observed difference, not a chosen one
  // Per planned reader count (3..10): the studies with 50, 100, 200 and 400
  // cases, and the smallest case count (a multiple of 10) reaching 80%
  // power, absent when none up to kCaseSearchLimit does.
  struct Row {
    int readers = 0;
    std::vector<PlannedStudy> studies;
    std::optional<PlannedStudy> smallest;
  };
  std::vector<Row> rows;
};

struct ExtendedResults {
  bool made = false;                 // false for fewer than 2 treatments or readers
  std::vector<TreatmentTest> tests;  // Random, FixedReaders, FixedCases
  VarianceComponents components;
  std::vector<SizingTable> sizing;  // per pair: observed effect, then the chosen one
};

// The critical values F(0.95; 1, ddf*) already worked out, by the exact ddf*:
// ddf* does not depend on the effect, so the sizings of every pair of a
// study share them.
class CriticalValues {
 public:
  double at(double ddf);

 private:
  std::unordered_map<std::uint64_t, double> known_;
};

TreatmentTest treatmentTest(const MeanSquareInput& in, TestKind kind);
VarianceComponents varianceComponents(const MeanSquareInput& in);
PlannedStudy plannedStudy(const VarianceComponents& v, int readers, int cases, double effect);
// `critical`, when given, keeps the critical values for the next sizing.
SizingTable sizingTable(const VarianceComponents& v, int i, int j, double effect, bool observed,
                        CriticalValues* critical = nullptr);

// The smallest case count (a multiple of kCaseSearchStep up to
// kCaseSearchLimit) at which `readers` readers reach kTargetPower: the first
// one in order of cases, none when the power of one is undefined before, or
// when a test every 200 cases finds the target out of reach for good.
std::optional<PlannedStudy> smallestStudy(const VarianceComponents& v, int readers, double effect,
                                          CriticalValues& critical);
// The same by trying every case count in turn: what smallestStudy must equal.
std::optional<PlannedStudy> smallestStudyByScan(const VarianceComponents& v, int readers, double effect,
                                                CriticalValues& critical);

// Everything above for one study; `effect` adds a sizing for that difference.
ExtendedResults extendedAnalysis(const MeanSquareInput& in, std::optional<double> effect);

}  // namespace quelbro
