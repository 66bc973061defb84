// MAIN: the banner, the cycles of file questions and datasets, the readers and
// their case data, the jackknife per reader and treatment, and the analysis.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "anova/anova.h"
#include "console/fields.h"
#include "dialogue/collect_results.h"
#include "dialogue/entry.h"
#include "dialogue/file_selection.h"
#include "dialogue/jknife.h"
#include "dialogue/program.h"

namespace quelbro {

namespace {

constexpr int kReaderBound = 10;

enum class DatasetEnd {
  Analysed,  // the dataset is done; go on with the next one (file) or cycle (console)
  Restart,   // back to the opening questions
  Quit,      // the program ends (quit, end of console input)
  Short,     // console input ended inside this reader's cases: the reader is incomplete
  Stop       // an inconsistent data file ends the program
};

void banner(Session& s) {
  s.emptyLines(5);
  s.say(blanks(13) + s.title);
  s.say("");
  s.say(blanks(13).append("Maximum Likelihood Estimation of Binormal ROC Curves"));
  s.say(blanks(13).append("From Discrete-Category or Continuously-Distributed "));
  s.say(blanks(13).append("Test Results for Multiple Readers and Multiple Cases"));
  s.emptyLines(2);
}

// Fortran-style integer field: blanks ignored, optional sign, digits.
bool readIntField(std::string_view text, int& v) {
  std::string t;
  for (char c : text)
    if (c != ' ' && c != '\t') t.push_back(c);
  if (t.empty()) {
    v = 0;
    return true;
  }
  std::size_t p = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (p == t.size()) return false;
  long long x = 0;
  for (std::size_t i = p; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    if (x < 1000000000) x = x * 10 + (t[i] - '0');
  }
  v = static_cast<int>(t[0] == '-' ? -x : x);
  return true;
}

// A free-form integer: the first item of the line (items end at a blank, tab,
// comma or slash).
bool readFreeInt(std::string_view line, int& v) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  std::size_t j = i;
  while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != ',' && line[j] != '/') ++j;
  if (j == i) return false;
  return readIntField(line.substr(i, j - i), v);
}

// The number of readers to be typed (1..10); false at the end of the input.
bool askReaders(Session& s, Study& st) {
  std::string line;
  for (;;) {
    s.emptyListLine();
    s.say(cat({" How many readers do you wish to enter (1-", I(kReaderBound, 2), ")? "}));
    if (!s.readInput(line)) return false;
    int n = 0;
    if (readIntField(line.substr(0, std::min<std::size_t>(2, line.size())), n) && n >= 1 &&
        n <= kReaderBound) {
      st.NRDMAX = n;
      return true;
    }
    s.say(ListLine().t("Error: Up to ").i(kReaderBound).t(" readers may be entered"));
  }
}

// The announced numbers of actually-negative and actually-positive cases.
bool askCaseCounts(Session& s, Study& st) {
  std::string line;
  for (;;) {
    s.emptyListLine();
    int n0 = 0, n1 = 0;
    bool ok = true;
    s.say(" How many Actually-Negative cases will you be entering?: ");
    if (!s.readInput(line)) return false;
    ok = readFreeInt(line, n0);
    if (ok) {
      s.say(" How many Actually-Positive cases will you be entering?: ");
      if (!s.readInput(line)) return false;
      ok = readFreeInt(line, n1);
    }
    if (ok && n0 >= 1 && n0 <= kMaxCasesPerState && n1 >= 1 && n1 <= kMaxCasesPerState) {
      st.expectNeg = n0;
      st.expectPos = n1;
      return true;
    }
    s.emptyListLine();
    s.say(ListLine().t("ERROR: Invalid Numer of cases entered."));
    s.say(ListLine().t("       Must be a Number between 1 and 2000."));
    s.emptyListLine();
  }
}

// One block of case lines; with typed entry it is repeated until the count
// announced for the study has been entered. A repeated block is cut out of the
// store file again.
// The decimal count of a refused block is that of the lines before it.
// At the end of typed input the block ends with the lines accepted: Done when
// they are the count announced, Quit when they are not.
BlockEnd caseBlock(Session& s, Study& st, int state, int reader, int& count) {
  const OutFile::Mark mark = s.store.mark();
  const int maxdec = st.MAXDEC;
  const int expected = state == 1 ? st.expectNeg : st.expectPos;
  for (;;) {
    BlockEnd end = READIN(s, st, state, reader, count);
    if (end != BlockEnd::Done || s.fromFile()) return end;
    if (count == expected) {
      // Complete but ended by the end of the input: the store file still gets
      // the block's end, so that it reads back as typed.
      if (s.quit && s.store.isOpen())
        s.store.writeLine("******", cat({"the end of the Actually-", state == 1 ? "Negative" : "Positive",
                                         " cases of ", storedReader(st, reader)}));
      return end;
    }
    if (s.quit) return BlockEnd::Quit;
    s.say(cat({" ERROR: expecting ", widenedInt(expected, 3),
               state == 1 ? " Actually-Negative" : " Actually-Positive", " cases"}));
    s.say(cat({"        Only ", widenedInt(count, 3), " cases entered"}));
    if (s.store.isOpen()) s.store.truncateTo(mark);
    st.MAXDEC = maxdec;
  }
}

FitContext fitContext(Session& s, const Study& st, const Destinations& out, int r, int t) {
  FitContext c;
  c.out = &out;
  c.title = s.title;
  c.datdes = st.DATDES;
  c.readerName = st.RDRNAM[static_cast<std::size_t>(r)];
  c.treatmentDes = st.TRTDES[static_cast<std::size_t>(t)];
  c.input = s.inputKind();
  c.fileName = c.input == InputKind::TypedNotSaved ? std::string() : s.reportFileName.substr(0, 20);
  c.maxdec = st.MAXDEC;
  c.direction = st.IDIR[static_cast<std::size_t>(t)];
  c.date = DATSTR(s.clock);
  c.time = TIMSTR(s.clock);
  return c;
}

// Case entry of one reader, the count checks, and the jackknife per treatment.
DatasetEnd readerCases(Session& s, Study& st, int r) {
  const bool typed = !s.fromFile();
  const OutFile::Mark mark = s.store.mark();
  const int maxdec = st.MAXDEC;
  int n0 = 0, n1 = 0;
  // A typed reader is entered again after a failed check; each pass reads input.
  for (;;) {
    st.XNEG.clear();
    st.XPOS.clear();
    if (typed && r == 1 && !askCaseCounts(s, st)) return DatasetEnd::Quit;

    BlockEnd end = caseBlock(s, st, 1, r, n0);
    // Typed input that ends inside the negatives leaves the reader without positives.
    if (end == BlockEnd::Quit || (end == BlockEnd::Done && s.quit)) return DatasetEnd::Short;
    if (end == BlockEnd::Refused) return DatasetEnd::Restart;
    if (typed) {
      s.say(" **** end of actually-negative cases ****");
      s.emptyLines(2);
    }
    end = caseBlock(s, st, 2, r, n1);
    if (end == BlockEnd::Quit) return DatasetEnd::Short;
    if (end == BlockEnd::Refused) return DatasetEnd::Restart;

    if (!typed && (n0 == 0 || n1 == 0)) {
      s.say(ListLine().t(cat({"ERROR: Reader ", std::to_string(r), " has no Actually-",
                              n0 == 0 ? "Negative" : "Positive", " cases in the data file."})));
      s.sayWhere();
      refuseDataset(s);
      return DatasetEnd::Restart;
    }
    // Every reader must have the first reader's numbers of cases in each truth state.
    if (st.NCASE != 0 && (n0 != st.firstNeg || n1 != st.firstPos)) {
      s.say("");
      s.say(" Error: Wrong number of data input for this reader");
      if (!typed) {
        s.sayWhere();
        return DatasetEnd::Stop;
      }
      if (s.store.isOpen()) s.store.truncateTo(mark);
      st.MAXDEC = maxdec;
      continue;
    }
    break;
  }
  if (st.NCASE == 0) {
    st.firstNeg = n0;
    st.firstPos = n1;
  }
  st.NCASE = n0 + n1;
  if (typed) s.say("**** end of actually-positive cases ****");
  s.say(ListLine().t("Starting Analysis for reader").i(r));

  Destinations out = s.destinations();
  for (int t = 1; t <= st.NTRT; ++t) {
    // One treatment's reports reach the report file with one write; nothing
    // is asked before the block is complete.
    OutFile::Held block(s.report);
    JKNIFE(r, t, n0, n1, st.XNEG, st.XPOS, st.PV, st.PSFLAG, st.CATTAB, fitContext(s, st, out, r, t),
           &st.memo, &st.FITS[static_cast<std::size_t>(r)][static_cast<std::size_t>(t)],
           FitThreads{0, &st.fitPool});
  }
  return DatasetEnd::Analysed;
}

// `firstOfFile`: no dataset of this data file has been read yet.
DatasetEnd dataset(Session& s, Study& st, bool firstOfFile) {
  if (!READHL(s, st)) {
    if (s.quit) return DatasetEnd::Quit;
    if (firstOfFile) noDataset(s);
    return DatasetEnd::Restart;
  }
  st.PV.clear();
  for (auto& row : st.PSFLAG) row.fill(0);
  st.MAXDEC = 0;
  st.NTRT = 0;
  st.NRDR = 0;
  st.NCASE = 0;
  st.firstNeg = st.firstPos = 0;

  if (s.fromFile()) {
    st.NRDMAX = kMaxReaders;
  } else if (!askReaders(s, st)) {
    return DatasetEnd::Quit;
  }

  std::string line;
  bool reachedMax = false;
  bool incomplete = false;  // a typed reader was cut short by the end of the input
  while (st.NRDR < st.NRDMAX) {
    if (!s.fromFile()) {
      s.emptyListLine();
      s.say(cat({" Enter Name for Reader ", widenedInt(st.NRDR + 1, 1), ": "}));
    }
    if (!s.readInput(line)) {
      // The end of the input ends the reader list; without a reader there is
      // no dataset at all.
      if (st.NRDR == 0) {
        if (s.quit) return DatasetEnd::Quit;
        if (firstOfFile) noDataset(s);
        return DatasetEnd::Restart;
      }
      break;
    }
    if (line.find('#') != std::string::npos) break;
    st.NRDR += 1;
    const int r = st.NRDR;
    if (lastNonBlank(line) > 20) s.say(ListLine().t("Truncating to 20 Characters"));
    st.RDRNAM[static_cast<std::size_t>(r)] = padTo(line, 20);
    if (s.store.isOpen())
      s.store.writeLine(ListLine().t(st.RDRNAM[static_cast<std::size_t>(r)]).str(),
                        cat({"the name of ", storedReader(st, r)}));
    s.emptyListLine();
    if (r == 1) {
      if (!getdesc(s, st) || !get_key(s, st)) return s.quit ? DatasetEnd::Quit : DatasetEnd::Restart;
    }
    DatasetEnd end = readerCases(s, st, r);
    if (end == DatasetEnd::Short) {
      // Typed input ended inside this reader's cases: the readers before her
      // are analysed; what she typed stays in the store file as typed.
      st.NRDR -= 1;
      if (st.NRDR == 0) return DatasetEnd::Quit;
      s.say(ListLine().t(cat({"The input ended inside the cases of reader ", std::to_string(r),
                              "; the readers before are analysed."})));
      incomplete = true;
      break;
    }
    if (end != DatasetEnd::Analysed) return end;
    reachedMax = st.NRDR == st.NRDMAX;
    if (s.quit) break;  // typed input ended right after the last case of this reader
  }
  if (reachedMax && !s.quit) {
    if (!s.fromFile()) s.say(ListLine().t("Please enter a Pound sign (#)"));
    s.readInput(line);
  }
  if (s.store.isOpen() && !incomplete)
    s.store.writeLine(ListLine().t("#").str(), "the closing line (#) of the dataset");
  s.emptyListLine();
  std::unique_ptr<AnovaFindings> analysis;
  // Pseudovalues handed to the observer are withdrawn again if the dataset
  // does not reach datasetFinished.
  RunObserver* handedOver = nullptr;
  struct Withdraw {
    RunObserver*& observer;
    ~Withdraw() {
      if (observer != nullptr) observer->pseudovaluesWithdrawn();
    }
  } withdraw{handedOver};
  if (st.NRDR < 2 || st.NTRT < 2) {
    s.say("QUELBRO needs at least 2 readers and 2 treatments to correctly compute the ANOVA table");
    s.say("PLEASE use FENDARO for 1 reader - 2 treatments       or 2 Readers - 1 Treatment");
  } else {
    Destinations out = s.destinations();
    AnovaContext ctx;
    ctx.out = &out;
    for (int r = 1; r <= st.NRDR; ++r)
      ctx.readerNames[static_cast<std::size_t>(r)] = st.RDRNAM[static_cast<std::size_t>(r)];
    for (int t = 1; t <= st.NTRT; ++t)
      ctx.treatmentDes[static_cast<std::size_t>(t)] = st.TRTDES[static_cast<std::size_t>(t)];
    ctx.date = DATSTR(s.clock);
    ctx.time = TIMSTR(s.clock);
    // The pseudovalues are final once constrained: tables of them can be
    // written while the analysis reads them.
    ConstraintList constraints;
    constrainToFeasible(st.PV, st.NRDR, st.NTRT, st.NCASE, constraints);
    if (s.observer != nullptr) {
      s.observer->pseudovaluesFinished(pseudovalueCells(st, s.datasetsFinished + 1));
      handedOver = s.observer;
    }
    analysis = std::make_unique<AnovaFindings>();
    OutFile::Held block(s.report);
    ANOVA(st.PV, st.NRDR, st.NTRT, st.NCASE, st.PSFLAG, ctx, analysis.get(), &constraints);
  }
  if (st.NRDR >= 1) {
    s.datasetsFinished += 1;
    if (s.observer != nullptr) {
      const DatasetResults records =
          collectResults(st, s.datasetsFinished, s.fromFile() ? s.inPath : std::string(), analysis.get(),
                         s.observer->needsPseudovalues(s.datasetsFinished));
      const Destinations out = s.destinations();
      for (const std::string& line : s.observer->linesAfterReport(records)) out.toBoth(line);
      handedOver = nullptr;
      s.observer->datasetFinished(records);
    }
  }
  st.NRDR = st.NCASE = st.NRDMAX = 0;
  st.expectNeg = st.expectPos = 0;
  return DatasetEnd::Analysed;
}

// Runs cycles of the opening questions and datasets until the user quits;
// with `once`, a single cycle (the batch run, whose files are already open).
// Returns false when an inconsistent data file stopped the run.
template <typename Select>
bool MAIN(Session& s, Select select, bool once = false) {
  bool stopped = false;
  auto study = std::make_unique<Study>();  // the study tables, allocated once for the run
  Study& st = *study;
  banner(s);
  // Each cycle reads at least one answer, so the end of the input ends the run.
  for (;;) {
    s.quit = s.restart = false;
    st.NRDR = st.NCASE = st.NRDMAX = 0;
    s.say(Line().at(61, "DATE - ").t(DATSTR(s.clock)).str());
    s.say(Line().at(62, "TIME - ").t(TIMSTR(s.clock)).str());
    s.emptyLines(2);
    s.emptyListLine();
    select(s);
    if (s.quit) break;
    if (s.restart) {
      s.emptyLines(7);
      s.closeAll();
      continue;
    }
    if (s.fromFile()) {
      s.say(ListLine().t("--- program is reading input data; please wait ---"));
      s.emptyListLine();
      s.emptyListLine();
    } else {
      s.emptyLines(7);
    }
    DatasetEnd end = DatasetEnd::Analysed;
    // A data file holds datasets until its end; every dataset consumes lines.
    bool first = true;
    do {
      end = dataset(s, st, first);
      first = false;
    } while (end == DatasetEnd::Analysed && s.fromFile());
    // Typed input that ended inside the dataset: its analysis is done, and no
    // answer can come to the next question.
    if (end == DatasetEnd::Quit || s.quit) break;
    if (end == DatasetEnd::Stop) {
      s.closeInput();
      s.report.close();
      stopped = true;
      break;
    }
    if (end == DatasetEnd::Restart) {
      s.emptyLines(7);
      s.closeAll();
    }
    if (once) break;
  }
  s.closeAll();  // a failure to close a file is a failure to write it
  return !stopped;
}

}  // namespace

BatchEnd runBatchProgram(TextConsole& console, const Clock& clock, const BatchRun& run, RunObserver* observer,
                         std::string& why) {
  namespace fs = std::filesystem;
  Session s(console, clock, padTo("QUELBRO (DOS version 1.0 beta):", 60));
  s.observer = observer;
  std::error_code ec;
  if (fs::is_directory(run.dataFile, ec)) {
    why = "is a folder, not a data file";
    return BatchEnd::NotAnalysed;
  }
  s.in = std::fopen(run.dataFile.c_str(), "rb");
  if (s.in == nullptr) {
    why = std::strerror(errno);
    return BatchEnd::NotAnalysed;
  }
  s.inPath = run.dataFile;
  // The report names the data file as it would have been typed; a longer
  // path by its last part.
  s.reportFileName = run.dataFile.size() <= 20 ? run.dataFile : reportNameOf(run.dataFile);
  if (!run.reportFile.empty()) {
    if (namesOpenDataFile(s, run.reportFile)) {
      why = "the report file cannot be the data file";
      return BatchEnd::NotWritten;
    }
    if (!s.report.create(run.reportFile, !run.replaceReport)) {
      why = s.report.error();
      return BatchEnd::NotWritten;
    }
  }
  // The opening questions are answered already: the files stay as opened.
  const bool consistent = MAIN(
      s, [](Session&) {}, true);
  if (s.report.failed()) {
    why = "the report file could not be written";
    return BatchEnd::NotWritten;
  }
  if (!consistent || s.datasetsRefused > 0) {
    why = "the data file is inconsistent; the screen text says where";
    return BatchEnd::NotAnalysed;
  }
  if (s.datasetsFinished == 0) {
    why = "the data file holds no dataset";
    return BatchEnd::NotAnalysed;
  }
  return BatchEnd::Done;
}

int runConsoleProgram(TextConsole& console, const Clock& clock, RunObserver* observer) {
  Session s(console, clock, padTo("QUELBRO (DOS version 1.0 beta):", 60));
  s.observer = observer;
  const bool consistent = MAIN(s, [](Session& ss) { iofilenop(ss); });
  return consistent && !s.writeFailures.seen() ? kExitEnded : kExitFailed;
}

int runWindowedProgram(TextConsole& console, const Clock& clock, FileChooser& chooser,
                       RunObserver* observer) {
  Session s(console, clock, padTo("QUELBRO (Windows version 1.0 beta):", 60));
  s.observer = observer;
  const bool consistent = MAIN(s, [&chooser](Session& ss) { iofile(ss, chooser); });
  return consistent && !s.writeFailures.seen() ? kExitEnded : kExitFailed;
}

}  // namespace quelbro
