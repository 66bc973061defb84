// ANOVA: constrains the pseudovalues, runs the treatment x reader x case analysis
// of variance with its tests and intervals, and writes the analysis report.
#include "anova/anova.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "anova/anova_detail.h"
#include "console/fields.h"

namespace quelbro {

namespace {

// The 80-column heading buffer: each entry written at a column blanks the
// rest of the buffer from there on; the buffer is written whole.
class HeadingBuffer {
 public:
  HeadingBuffer() : s_(80, ' ') {}
  void put(int col, const std::string& text) {
    const std::size_t p = static_cast<std::size_t>(col - 1);
    if (p >= s_.size()) return;
    s_.replace(p, std::string::npos, s_.size() - p, ' ');
    s_.replace(p, text.size() < s_.size() - p ? text.size() : s_.size() - p, text.substr(0, s_.size() - p));
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

struct Report {
  const AnovaStats& st;
  const AnovaTests& tests;
  const ConstraintList& constraints;
  const AnovaContext& ctx;
};

std::string readerName(const AnovaContext& ctx, int r, std::size_t n) {
  return padTo(ctx.readerNames[static_cast<std::size_t>(r)], n);
}
std::string treatmentDes(const AnovaContext& ctx, int t) {
  return padTo(ctx.treatmentDes[static_cast<std::size_t>(t)], 12);
}

long long dfInt(double df) { return std::llround(df); }

void writeDateTime(const AnovaContext& ctx, LineSink& out) {
  out.writeLine(Line().at(61, "DATE - ").t(ctx.date).str());
  out.writeLine(Line().at(62, "TIME - ").t(ctx.time).str());
  out.writeLine("");
  out.writeLine("");
}

void writeTable(const Report& rep, LineSink& out) {
  const AnovaStats& st = rep.st;
  const AnovaTests& ts = rep.tests;
  Line head;
  head.at(2, "SOURCE").at(9, "SUMS OF SQUARES").at(25, "   DF   ").at(34, "MEAN SQUARES");
  head.at(47, "F RATIOS  ").at(59, "PROB.").at(64, "   DECISION");
  out.writeLine(head.str());
  out.writeLine(" ------ --------------- -------- ------------ ----------- ----------------");

  auto start = [&](Source s, std::string_view label) {
    Line row;
    row.at(7 - static_cast<int>(label.size()), label).at(7, F(st.ss[s], 14, 4));
    row.at(24, I(dfInt(st.df[s]), 5));
    return row;
  };
  auto tested = [&](Source s, std::string_view label) {
    Line row = start(s, label);
    row.at(31, F(st.ms[s], 10, 4)).at(43, F(ts.f[s], 10, 4)).at(57, F(ts.p[s], 8, 4));
    row.at(70, padTo(ts.sig[s] ? "SIG." : "", 10));
    return row;
  };

  out.writeLine(start(kSrcTOT, "TOT").str());
  if (ts.icase == 4) {
    Line row = start(kSrcT, "T");
    out.writeLine(row.at(31, F(st.ms[kSrcT], 10, 4)).at(50, "*").at(62, "*").str());
  } else {
    out.writeLine(tested(kSrcT, "T").str());
  }
  out.writeLine(tested(kSrcC, "C").str());
  out.writeLine(tested(kSrcR, "R").str());
  out.writeLine(tested(kSrcTC, "TC").str());
  out.writeLine(tested(kSrcTR, "TR").str());
  if (ts.nottrc) {
    Line row = start(kSrcRC, "RC");
    out.writeLine(row.at(31, F(st.ms[kSrcRC], 10, 4)).at(50, "**").at(62, "**").str());
  } else {
    out.writeLine(tested(kSrcRC, "RC").str());
  }
  out.writeLine(start(kSrcTRC, "TRC").at(31, F(st.ms[kSrcTRC], 10, 4)).str());
  out.writeLine(Line().at(2, std::string(73, '-')).str());
  out.writeLine(Line().at(3, "ALPHA EQUALS 0.05.").str());
}

void writeTestMessages(const AnovaTests& ts, LineSink& out) {
  if (ts.icase == 4) {
    out.writeLine("");
    out.writeLine(" *  SATTERTHWAITE APROXIMATION :");
    out.writeLine("");
    out.writeLine(Line(" ").t("     SATTERTHWAITE DF =").f(ts.nu, 6, 0).str());
    out.writeLine(Line(" ").t("     SATTERTHWAITE MEAN SQUARE ERROR TERM =").f(ts.e, 8, 4).str());
    out.writeLine(Line(" ").t("     SATTERTHWAITE F RATIO = ").f(ts.f[kSrcT], 8, 4).str());
    Line prob(" ");
    prob.t("     THE SATTERTHWAITE F RATIO HAS A PROB. VALUE OF").f(ts.p[kSrcT], 6, 4).t(" AND IT IS");
    out.writeLine(prob.str());
    out.writeLine(Line(" ").t(satterthwaiteVerdict(ts.p[kSrcT])).str());
  } else {
    static const char* const kFirst[4] = {
        "", " *  TR AND TC SOURCE OF VARIANCE ARE ASSUMED NEGLIGIBLE. THEREFORE, TRC MEAN",
        " *  TC SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TR MEAN SQUARE",
        " *  TR SOURCE OF VARIANCE IS ASSUMED NEGLIGIBLE. THEREFORE, TC MEAN SQUARE"};
    static const char* const kSecond[4] = {"", "    SQUARE USED AS AN ERROR TERM.",
                                           "    USED AS AN ERROR TERM.", "    USED AS AN ERROR TERM."};
    out.writeLine("");
    out.writeLine(kFirst[ts.icase]);
    out.writeLine(kSecond[ts.icase]);
    out.writeLine("");
  }
  if (ts.nottrc) {
    out.writeLine("");
    out.writeLine(" ** TRC SOURCE OF VARIANCE MAY NOT BE NEGLIGIBLE. THEREFORE, READER BY");
    out.writeLine("    CASE INTERACTION IS NOT TESTED.");
    out.writeLine("");
  }
}

void writeReadersByCases(const Report& rep, LineSink& out) {
  const AnovaStats& st = rep.st;
  out.writeLine("");
  out.writeLine(Line().at(24, "READERS BY CASES ANOVAs").str());
  out.writeLine("");
  out.writeLine(Line().at(30, "MEAN SQUARES").str());
  HeadingBuffer head;
  head.put(2, "SOURCE");
  head.put(12, "DF");
  for (int t = 1; t <= st.T; ++t) {
    std::string entry("     TREAT");
    entry += I(t, 2);
    entry += ' ';
    head.put(14 + 13 * (t - 1), entry);
  }
  out.writeLine(head.str());
  HeadingBuffer des;
  for (int t = 1; t <= st.T; ++t) des.put(17 + 13 * (t - 1), treatmentDes(rep.ctx, t));
  out.writeLine(des.str());
  out.writeLine("");

  Line rowR;
  rowR.at(6, "R").at(10, I(st.R - 1, 4));
  // Per treatment 1X, F10.4, 2X (resp. F11.4, 2X): a stride of 13 columns;
  // the trailing skip writes nothing.
  for (int t = 1; t <= st.T; ++t) rowR.at(15 + 13 * (t - 1), F(st.msR[t], 10, 4));
  out.writeLine(rowR.str());
  Line rowC;
  rowC.at(6, "C").at(10, I(st.C - 1, 4));
  for (int t = 1; t <= st.T; ++t) rowC.at(14 + 13 * (t - 1), F(st.msC[t], 11, 4));
  out.writeLine(rowC.str());
  Line rowRC;
  rowRC.at(5, "RC").at(10, I(static_cast<long long>(st.R - 1) * (st.C - 1), 4));
  for (int t = 1; t <= st.T; ++t) rowRC.at(14 + 13 * (t - 1), F(st.msRC[t], 11, 4));
  out.writeLine(rowRC.str());
}

void writeInterval(double lower, double upper, LineSink& out) {
  out.writeLine("");
  out.writeLine(" THE 95% CONFIDENCE INTERVAL FOR THE POPULATION MEAN DIFFERENCE");
  Line ci(" FOR TREATMENT 1 MINUS TREATMENT 2 IS (");
  out.writeLine(ci.f(lower, 6, 4).t(",").f(upper, 6, 4).t(")").str());
  out.writeLine("");
}

void writeSecondPass(const Report& rep, const TwoTreatment& tt, LineSink& out) {
  const AnovaStats& st = rep.st;
  const AnovaContext& ctx = rep.ctx;
  out.writeLine("");
  out.writeLine(Line().at(13, "STANDARD ERRORS AND 95% CONFIDENCE INTERVAL").str());
  out.writeLine(Line().at(24, "FOR KORV ANALYSES").str());
  out.writeLine("");
  out.writeLine(Line().at(16, "TREATMENT 1").at(30, "TREATMENT 2").at(43, "DIFFERENCE").str());
  out.writeLine(Line().at(16, treatmentDes(ctx, 1)).at(30, treatmentDes(ctx, 2)).str());
  auto values = [&](std::string_view label, const double* v) {
    Line row;
    row.at(2, label).at(14, F(v[1], 8, 4)).at(28, F(v[2], 8, 4)).at(42, F(v[3], 8, 4));
    out.writeLine(row.str());
  };
  values("AREA      ", tt.area);
  values("STD. ERROR", tt.se);
  Line dfRow;
  dfRow.at(2, "DF        ").at(15, F(tt.df[1], 7, 0)).at(22, "*").at(28, F(tt.df[2], 7, 0)).at(35, "*");
  dfRow.at(43, F(tt.df[3], 7, 0)).at(50, rep.tests.icase == 4 ? "*" : " ");
  out.writeLine(dfRow.str());
  out.writeLine(Line().at(6, "* SATTERTHWAITE DF.").str());
  writeInterval(tt.lower, tt.upper, out);

  out.writeLine("");
  out.writeLine(" READER MEANS:- ");
  for (int r = 1; r <= st.R; ++r) {
    Line row;
    row.at(3, I(r, 2)).at(6, readerName(ctx, r, 12)).at(20, F(st.readerMean[r], 6, 4));
    out.writeLine(row.str());
  }
  out.writeLine("");
  out.writeLine(" TREATMENT MEANS:- ");
  for (int t = 1; t <= st.T; ++t) {
    Line row;
    row.at(3, I(t, 2)).at(6, treatmentDes(ctx, t)).at(20, F(st.trtMean[t], 6, 4));
    out.writeLine(row.str());
  }

  out.writeLine("");
  out.writeLine(Line().at(32, "TREATMENT MEANS").str());
  Line numbers;
  numbers.at(5, "READER");
  for (int t = 1; t <= st.T; ++t) numbers.at(20 + 13 * (t - 1), I(t, 2));
  out.writeLine(numbers.str());
  HeadingBuffer des;
  for (int t = 1; t <= st.T; ++t) des.put(17 + 13 * (t - 1), treatmentDes(ctx, t));
  out.writeLine(des.str());
  for (int r = 1; r <= st.R; ++r) {
    // The value fields start in column 15, so the name shows in columns 6 to
    // 14 only: a longer name is cut there rather than left to peek out between
    // the value fields.
    Line row;
    row.at(3, I(r, 2)).at(6, readerName(ctx, r, 9));
    for (int t = 1; t <= st.T; ++t) row.at(15 + 13 * (t - 1), F(st.cellMean[r][t], 10, 4));
    out.writeLine(row.str());
  }
  out.writeLine("");
}

void writeSingleReader(const AnovaContext& ctx, int C, int r, const SingleReader& sr, LineSink& out) {
  out.writeLine("");
  out.writeLine(Line().at(2, std::string(55, '=')).str());
  out.writeLine(Line(" READER").i(r, 4).t(": ").t(readerName(ctx, r, 20)).str());
  out.writeLine(Line().at(2, std::string(30, '_')).str());
  out.writeLine(Line().at(6, "TREATMENT MEANS").str());
  out.writeLine(Line().at(7, "1").at(20, "2").str());
  HeadingBuffer des;
  des.put(5, treatmentDes(ctx, 1));
  des.put(18, treatmentDes(ctx, 2));
  out.writeLine(des.str());
  out.writeLine(Line().at(3, F(sr.mean1, 8, 4)).at(16, F(sr.mean2, 8, 4)).str());
  out.writeLine("");
  out.writeLine(Line(" SE(MEAN DIFF) = ").f(sr.se, 8, 4).str());
  out.writeLine(Line(" t(.025,DF=").i(C - 1, 3).t(") =").f(sr.t, 8, 4).str());
  writeInterval(sr.lower, sr.upper, out);
  out.writeLine(Line().at(2, std::string(55, '=')).str());
}

void writeReference(LineSink& out) {
  for (int k = 0; k < 4; ++k) out.writeLine("");
  out.writeLine(Line().at(27, "REFERENCE").str());
  out.writeLine(" JACKKNIFE PSEUDOVALUES OF THE AREA UNDER THE FITTED BINORMAL ROC CURVE,");
  out.writeLine(" ANALYSED BY A TREATMENT X READER X CASE ANALYSIS OF VARIANCE WITH");
  out.writeLine(" TREATMENT FIXED AND READERS AND CASES RANDOM.");
  out.writeLine(" QUELBRO PROJECT NOTES ON MULTIREADER-MULTICASE ROC ANALYSIS.");
}

void writeReport(const Report& rep, const AnovaFindings& found, const Destinations& dest) {
  const AnovaStats& st = rep.st;
  const std::vector<LineSink*> passes = dest.passes();
  for (LineSink* out : passes) {
    writeDateTime(rep.ctx, *out);
    ANHEAD(rep.constraints.flag, rep.constraints.count, rep.constraints.cells, *out);
    writeTable(rep, *out);
    writeTestMessages(rep.tests, *out);
    writeReadersByCases(rep, *out);
  }
  if (found.twoTreatments) {
    for (LineSink* out : passes) writeSecondPass(rep, found.twoTreatment, *out);

    for (LineSink* out : passes) {
      out->writeLine("");
      out->writeLine("");
      out->writeLine(Line().at(22, "SINGLEREADER-MULTICASES ROC ANALYSIS").str());
    }
    for (int r = 1; r <= st.R; ++r) {
      for (LineSink* out : passes) {
        writeSingleReader(rep.ctx, st.C, r, found.singleReaders[static_cast<std::size_t>(r)], *out);
      }
    }
  }
  writeReference(dest.hasFile() ? *dest.file() : dest.screen());
}

}  // namespace

void ANOVA(PvTable& pv, int R, int T, int C, const PsflagTable& /*psflag*/, const AnovaContext& ctx,
           AnovaFindings* found, const ConstraintList* constrained) {
  // The caller keeps the study within the table sizes; nothing is read outside them.
  if (R < 1 || R > PvTable::kR || T < 1 || T > PvTable::kT || C < 1 || C > PvTable::kC) return;
  std::unique_ptr<AnovaFindings> own;
  if (found == nullptr) own = std::make_unique<AnovaFindings>();
  AnovaFindings& f = found != nullptr ? *found : *own;
  f = AnovaFindings{};
  if (constrained != nullptr) {
    f.constraints = *constrained;
  } else {
    constrainToFeasible(pv, R, T, C, f.constraints);
  }
  computeAnovaStats(pv, R, T, C, f.stats);
  runTests(f.stats, f.tests);
  if (T == 2) {
    f.twoTreatments = true;
    twoTreatmentIntervals(f.stats, f.tests, f.twoTreatment);
    for (int r = 1; r <= R; ++r) singleReader(pv, f.stats, r, f.singleReaders[static_cast<std::size_t>(r)]);
  }
  const Report rep{f.stats, f.tests, f.constraints, ctx};
  if (ctx.out != nullptr) {
    writeReport(rep, f, *ctx.out);
  } else {
    // No destination set: the screen only.
    StdioConsole screen;
    writeReport(rep, f, Destinations(screen));
  }
}

}  // namespace quelbro
