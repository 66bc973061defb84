// The extended section of the report and the rows of the tests and sizing
// tables, both from the same ExtendedResults.
#include "results/extended_report.h"

#include <charconv>
#include <cmath>

#include "console/fields.h"

namespace quelbro {

namespace {

std::string padLeft(std::string_view s, int w) {
  return s.size() >= static_cast<std::size_t>(w) ? std::string(s)
                                                 : blanks(w - static_cast<int>(s.size())) + std::string(s);
}

// A figure in Fw.d; fewer decimals when the value needs the room, the word
// UNDEFINED when there is no value (every width used here holds it).
std::string fig(const Figure& v, int w, int d) {
  if (!v) return padLeft("UNDEFINED", w);
  for (int dd = d; dd >= 0; --dd) {
    const std::string s = F(*v, w, dd);
    if (s.find('*') == std::string::npos) return s;
  }
  return F(*v, w, 0);
}

const char* analysisLabel(TestKind kind) {
  switch (kind) {
    case TestKind::Random:
      return "READERS AND CASES RANDOM";
    case TestKind::FixedReaders:
      return "FIXED READERS, CASES RANDOM";
    case TestKind::FixedCases:
      return "FIXED CASES, READERS RANDOM";
  }
  return "";
}

std::string csvNumber(const Figure& v) {
  if (!v || std::isnan(*v)) return std::string();
  if (std::isinf(*v)) return *v > 0 ? "Inf" : "-Inf";
  if (*v == 0.0) return "0";
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, *v, std::chars_format::general, 10);
  return std::string(buf, r.ptr);
}

std::string join(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k > 0) line += ',';
    line += fields[k];
  }
  return line;
}

void testsBlock(const ExtendedResults& x, std::vector<std::string>& out) {
  out.push_back(" TREATMENT TEST WITH THE NEWER DENOMINATOR DF");
  out.push_back(Line()
                    .at(2, "ANALYSIS")
                    .at(33, "ERROR MS")
                    .at(45, "F RATIO")
                    .at(54, "NDF")
                    .at(65, "DDF")
                    .at(71, "PROB > F"));
  for (const TreatmentTest& t : x.tests) {
    out.push_back(Line()
                      .at(2, analysisLabel(t.kind))
                      .col(30)
                      .t(fig(t.errorMs, 11, 6))
                      .t(fig(t.f, 11, 4))
                      .t(I(static_cast<long long>(t.ndf), 5))
                      .t(fig(t.ddf, 11, 2))
                      .t(fig(t.p, 11, 4)));
  }
  out.emplace_back();
  out.push_back(" DIFFERENCES OF MEAN AREAS, TREATMENT I MINUS J, WITH 95% CONFIDENCE INTERVALS");
  out.push_back(
      Line().at(2, "ANALYSIS").at(32, "I").at(36, "J").at(40, "DIFFERENCE").at(56, "LOWER").at(67, "UPPER"));
  for (const TreatmentTest& t : x.tests) {
    for (const PairInterval& p : t.pairs) {
      out.push_back(Line()
                        .at(2, analysisLabel(t.kind))
                        .col(30)
                        .t(I(p.i, 3))
                        .t(I(p.j, 4))
                        .t(fig(p.difference, 13, 4))
                        .t(fig(p.lower, 11, 4))
                        .t(fig(p.upper, 11, 4)));
    }
  }
}

void componentsBlock(const VarianceComponents& v, std::vector<std::string>& out) {
  out.push_back(" VARIANCE COMPONENTS OF THE PSEUDOVALUES");
  auto row = [&out](const char* label, double value, bool negative) {
    Line l;
    l.at(4, label).col(27).t(fig(value, 12, 8));
    if (negative) l.t("  (ESTIMATE NEGATIVE, TAKEN AS 0)");
    out.push_back(l);
  };
  row("TREATMENT X READER", v.treatmentReader, v.treatmentReaderNegative);
  row("TREATMENT X CASE", v.treatmentCase, v.treatmentCaseNegative);
  row("ERROR (TRC)", v.error, false);
}

void sizingBlock(const SizingTable& s, std::vector<std::string>& out) {
  out.push_back(Line()
                    .at(2, "SIZING A FUTURE STUDY OF TREATMENTS")
                    .t(I(s.i, 2))
                    .t(" AND")
                    .t(I(s.j, 2))
                    .t(": EFFECT")
                    .t(fig(s.effect, 8, 4))
                    .t(s.observed ? " (OBSERVED)" : " (CHOSEN)"));
  out.push_back(" POWER OF THE TEST WITH READERS AND CASES RANDOM, AT THE 0.05 LEVEL");
  out.push_back(Line().at(16, "POWER WITH THIS MANY CASES").at(66, "CASES FOR"));
  Line head;
  head.at(2, "READERS");
  for (int c : kPlannedCases) head.t(I(c, 11));
  head.at(66, "80% POWER");
  out.push_back(head);
  for (const SizingTable::Row& row : s.rows) {
    Line l;
    l.t(I(row.readers, 6)).col(9);
    for (const PlannedStudy& p : row.studies) l.t(fig(p.power, 11, 4));
    const bool undefined = !row.studies.empty() && !row.studies.front().power;
    if (row.smallest) {
      l.t(I(row.smallest->cases, 22));
    } else if (undefined) {
      l.t(padLeft("UNDEFINED", 22));
    } else {
      l.t(padLeft("OVER " + std::to_string(kCaseSearchLimit), 22));
    }
    out.push_back(l);
  }
}

}  // namespace

std::optional<MeanSquareInput> meanSquareInput(const DatasetResults& d) {
  if (!d.analysis) return std::nullopt;
  const AnalysisRecord& a = *d.analysis;
  const SourceRecord* t = a.source("T");
  const SourceRecord* tr = a.source("TR");
  const SourceRecord* tc = a.source("TC");
  const SourceRecord* trc = a.source("TRC");
  if (!t || !tr || !tc || !trc) return std::nullopt;
  MeanSquareInput in;
  in.treatments = d.treatmentCount();
  in.readers = d.readerCount();
  in.cases = d.cases();
  in.msT = t->ms;
  in.msTR = tr->ms;
  in.msTC = tc->ms;
  in.msTRC = trc->ms;
  in.treatmentMeans = a.treatmentMeans;
  return in;
}

ExtendedResults extendedResults(const DatasetResults& d, std::optional<double> effect) {
  const std::optional<MeanSquareInput> in = meanSquareInput(d);
  if (!in) return ExtendedResults{};
  return extendedAnalysis(*in, effect);
}

std::vector<std::string> extendedSection(const ExtendedResults& x) {
  std::vector<std::string> out;
  if (!x.made) return out;
  out.emplace_back();
  out.emplace_back();
  out.push_back(Line().at(33, "EXTENDED RESULTS"));
  out.push_back(Line().at(8, "(BEYOND THE ANALYSIS ABOVE: NEWER TREATMENT TESTS, SIZING A NEW STUDY)"));
  out.emplace_back();
  testsBlock(x, out);
  out.emplace_back();
  componentsBlock(x.components, out);
  for (const SizingTable& s : x.sizing) {
    out.emplace_back();
    sizingBlock(s, out);
  }
  out.emplace_back();
  return out;
}

std::vector<std::string> extendedText(const std::vector<DatasetResults>& datasets,
                                      std::optional<double> effect) {
  std::vector<std::string> out;
  for (const DatasetResults& d : datasets) {
    if (!out.empty()) out.emplace_back();
    out.push_back(Line().t(" DATASET").t(I(d.dataset, 3)).t(": ").t(d.description));
    const std::vector<std::string> section = extendedSection(extendedResults(d, effect));
    if (section.empty()) {
      out.push_back(" NO ANALYSIS OF VARIANCE: IT NEEDS AT LEAST 2 READERS AND 2 TREATMENTS.");
    } else {
      out.insert(out.end(), section.begin(), section.end());
    }
  }
  return out;
}

const std::vector<std::string> kTestsColumns = {"dataset",    "analysis", "f",           "ndf",
                                                "ddf",        "p",        "treatment_i", "treatment_j",
                                                "difference", "lower",    "upper"};
const std::vector<std::string> kSizingColumns = {
    "dataset", "treatment_i", "treatment_j", "effect", "readers", "cases", "ddf", "noncentrality", "power"};

const char* analysisName(TestKind kind) {
  switch (kind) {
    case TestKind::Random:
      return "random";
    case TestKind::FixedReaders:
      return "fixed-readers";
    case TestKind::FixedCases:
      return "fixed-cases";
  }
  return "";
}

std::vector<std::string> testsRows(int dataset, const ExtendedResults& x) {
  std::vector<std::string> rows;
  for (const TreatmentTest& t : x.tests) {
    for (const PairInterval& p : t.pairs) {
      rows.push_back(join({std::to_string(dataset), analysisName(t.kind), csvNumber(t.f), csvNumber(t.ndf),
                           csvNumber(t.ddf), csvNumber(t.p), std::to_string(p.i), std::to_string(p.j),
                           csvNumber(p.difference), csvNumber(p.lower), csvNumber(p.upper)}));
    }
  }
  return rows;
}

std::vector<std::string> sizingRows(int dataset, const ExtendedResults& x) {
  std::vector<std::string> rows;
  auto add = [&](const SizingTable& s, const PlannedStudy& p) {
    rows.push_back(join({std::to_string(dataset), std::to_string(s.i), std::to_string(s.j),
                         csvNumber(s.effect), std::to_string(p.readers), std::to_string(p.cases),
                         csvNumber(p.ddf), csvNumber(p.noncentrality), csvNumber(p.power)}));
  };
  for (const SizingTable& s : x.sizing) {
    for (const SizingTable::Row& row : s.rows) {
      // The planned case counts and the smallest one reaching 80%, in order
      // of cases; a smallest count among the planned ones is not repeated.
      bool smallestWritten = !row.smallest;
      for (const PlannedStudy& p : row.studies) {
        if (!smallestWritten && row.smallest->cases <= p.cases) {
          if (row.smallest->cases < p.cases) add(s, *row.smallest);
          smallestWritten = true;
        }
        add(s, p);
      }
      if (!smallestWritten) add(s, *row.smallest);
    }
  }
  return rows;
}

}  // namespace quelbro
