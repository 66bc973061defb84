// quelbro-con's command line: options in the usual conventions, the usage
// text, and the batch run with its files checked before anything is written.
#include "programs/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "console/out_file.h"
#include "console/text_console.h"
#include "console/version.h"
#include "dialogue/program.h"
#include "results/csv_tables.h"
#include "results/extended_observer.h"
#include "results/run_observers.h"
#include "results/svg_writer.h"

namespace quelbro {

namespace {

namespace fs = std::filesystem;

enum class Takes { Nothing, Value };

struct LongOption {
  std::string_view name;
  char shortName;  // 0: none
  Takes takes;
};

// Every option; --help lists the same ones.
constexpr LongOption kOptions[] = {
    {"help", 0, Takes::Nothing},     {"version", 0, Takes::Nothing}, {"output", 'o', Takes::Value},
    {"results", 0, Takes::Value},    {"quiet", 'q', Takes::Nothing}, {"force", 0, Takes::Nothing},
    {"extended", 0, Takes::Nothing}, {"effect", 0, Takes::Value},    {"plot", 0, Takes::Value},
};

// --effect D: a difference of two mean areas, so within [-1, 1]; 0 is no
// difference to plan for. The whole argument must be the number.
bool parseEffect(const std::string& value, double& d) {
  const char* begin = value.c_str();
  char* end = nullptr;
  errno = 0;
  d = std::strtod(begin, &end);
  return end != begin && *end == '\0' && errno == 0 && std::isfinite(d) && d != 0.0 && std::fabs(d) <= 1.0;
}

void apply(ConOptions& o, std::string_view name, const std::string& value) {
  if (name == "help") o.help = true;
  if (name == "version") o.version = true;
  if (name == "output") o.output = value;
  if (name == "results") o.resultsPrefix = value;
  if (name == "plot") o.plotPrefix = value;
  if (name == "quiet") o.quiet = true;
  if (name == "force") o.force = true;
  if (name == "extended") o.extended = true;
}

const LongOption* findLong(std::string_view name) {
  for (const LongOption& opt : kOptions)
    if (opt.name == name) return &opt;
  return nullptr;
}

const LongOption* findShort(char c) {
  for (const LongOption& opt : kOptions)
    if (opt.shortName != 0 && opt.shortName == c) return &opt;
  return nullptr;
}

// The console of a batch run: the screen text goes to standard output unless
// quiet; the dialogue's error messages are kept for standard error.
class BatchConsole : public TextConsole {
 public:
  BatchConsole(std::FILE* out, bool quiet) : screen_(stdin, out), quiet_(quiet) {}
  void writeLine(std::string_view line) override {
    if (!quiet_) screen_.writeLine(line);
    keepError(line);
  }
  void writeLines(const std::vector<std::string>& lines) override {
    if (!quiet_) screen_.writeLines(lines);
    for (const std::string& l : lines) keepError(l);
  }
  // Joined lines (a failed fit's, again for each case of its category) reach the
  // screen whole; they are looked at line by line only when one of them could
  // start or continue an error message.
  void writeText(std::string_view text) override {
    if (!quiet_) screen_.writeText(text);
    if (!inError_ && text.find("ERROR") == std::string_view::npos &&
        text.find("Error") == std::string_view::npos && text.find("***") == std::string_view::npos)
      return;
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      keepError(text.substr(0, end));
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
  }
  bool readLine(std::string& line) override {
    line.clear();
    return false;  // a batch run asks nothing
  }
  const std::vector<std::string>& errors() const { return errors_; }
  const std::vector<std::string>& writeErrors() const { return writeErrors_; }
  // Flushes the screen; false (with a message on `err`) when it could not be written.
  bool finishScreen(std::FILE* err) { return screen_.finish(kConProgram, err); }

 private:
  static std::string_view trim(std::string_view s) {
    const std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
  }
  // An error message starts with ERROR or Error (after blanks or "***");
  // the indented lines right after it continue it.
  void keepError(std::string_view line) {
    std::string_view t = trim(line);
    if (t.substr(0, 3) == "***") {
      // A file that cannot be written: " *** ERROR: cannot write to file F: why ***".
      t = trim(t.substr(3));
      if (t.size() > 3 && t.substr(t.size() - 3) == "***") t = trim(t.substr(0, t.size() - 3));
      if (writeErrors_.size() < kMaxErrors) writeErrors_.emplace_back(t);
      inError_ = false;
      return;
    }
    const bool starts = t.substr(0, 5) == "ERROR" || t.substr(0, 5) == "Error";
    if (starts) {
      if (errors_.size() < kMaxErrors) errors_.emplace_back(t);
      inError_ = errors_.size() <= kMaxErrors;
      return;
    }
    if (inError_ && !t.empty() && line.substr(0, 4) == "    " && !errors_.empty()) {
      errors_.back() += ' ';
      errors_.back() += t;
      return;
    }
    inError_ = false;
  }
  static constexpr std::size_t kMaxErrors = 10;
  StdioConsole screen_;
  bool quiet_;
  bool inError_ = false;
  std::vector<std::string> errors_;
  std::vector<std::string> writeErrors_;
};

void complain(std::FILE* err, const std::string& what) {
  std::fprintf(err, "%s: %s\n", kConProgram, what.c_str());
}

int usageError(std::FILE* err, const std::string& what) {
  complain(err, what);
  std::fprintf(err, "Try '%s --help' for more information.\n", kConProgram);
  return kExitUsage;
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  const bool eq = fs::equivalent(a, b, ec);
  return !ec && eq;
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

int batch(const ConOptions& o, std::FILE* out, std::FILE* err, const Clock& clock) {
  // The data file first: nothing is written when it cannot be read.
  std::error_code ec;
  if (fs::is_directory(o.dataFile, ec)) {
    complain(err, o.dataFile + ": is a folder, not a data file");
    return kExitNotAnalysed;
  }
  if (std::FILE* probe = std::fopen(o.dataFile.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    complain(err, o.dataFile + ": " + std::strerror(errno));
    return kExitNotAnalysed;
  }

  // Then every file to be written: none may be the data file, none may be
  // replaced without --force.
  std::vector<std::string> targets;
  if (!o.output.empty()) targets.push_back(o.output);
  if (!o.resultsPrefix.empty()) {
    for (const CsvTable& t : csvTables()) targets.push_back(csvPath(o.resultsPrefix, t));
    for (const std::string& t : extendedTablePaths(o.resultsPrefix)) targets.push_back(t);
  }
  // The figures: how many there will be is known only at the end; the first stands for them.
  if (!o.plotPrefix.empty()) targets.push_back(plotFileName(o.plotPrefix, 1));
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::string& path = targets[i];
    if (sameFile(path, o.dataFile)) {
      complain(err, path + ": the output cannot be the data file");
      return kExitUsage;
    }
    for (std::size_t j = 0; j < i; ++j)
      if (path == targets[j] || sameFile(path, targets[j])) {
        complain(err, path + ": named twice as an output file");
        return kExitUsage;
      }
    if (!o.force && exists(path)) {
      complain(err, path + ": the file exists (--force replaces it)");
      return kExitUsage;
    }
    const std::string kind = nonRegularKind(path);
    if (!kind.empty()) {
      complain(err, path + ": is " + kind + ", not a file that can be replaced");
      return kExitUsage;
    }
  }
  // The report's folder must be there; the tables' folder is made.
  if (!o.output.empty()) {
    const fs::path folder = fs::path(o.output).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
      complain(err, o.output + ": the folder " + folder.string() + " does not exist");
      return kExitUsage;
    }
  }

  // A missing folder for the figures is made, as for the tables.
  if (!o.plotPrefix.empty()) {
    const fs::path folder = fs::path(plotFileName(o.plotPrefix, 1)).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec) && !fs::create_directories(folder, ec)) {
      complain(err, folder.string() + ": cannot make the folder for the figures: " + ec.message());
      return kExitUsage;
    }
  }
  CsvTableFiles tables;
  if (!o.resultsPrefix.empty() && !tables.create(o.resultsPrefix, o.force)) {
    complain(err, tables.why());
    return kExitUsage;
  }
  // The extended section and tables see every dataset first and hand it on.
  ExtendedObserver extended(ExtendedOptions{o.extended, o.effect},
                            o.resultsPrefix.empty() ? nullptr : &tables);
  if (!o.resultsPrefix.empty() && !extended.createTables(o.resultsPrefix, o.force)) {
    complain(err, extended.why());
    tables.close();
    std::error_code removed;
    for (const std::string& p : tables.paths()) fs::remove(p, removed);
    return kExitUsage;
  }
  RunObserver* observer = nullptr;
  if (o.extended || !o.resultsPrefix.empty()) observer = &extended;

  PlotFiles plots(o.plotPrefix, o.force);
  RunObservers observers({observer, o.plotPrefix.empty() ? nullptr : &plots});

  BatchConsole console(out, o.quiet);
  BatchRun run;
  run.dataFile = o.dataFile;
  run.reportFile = o.output;
  run.replaceReport = o.force;
  std::string why;
  const BatchEnd end = runBatchProgram(console, clock, run, observers.empty() ? nullptr : &observers, why);
  const bool screenWritten = o.quiet || console.finishScreen(err);
  const bool tablesWritten = tables.close();
  const bool extendedWritten = extended.close();

  int status = kExitDone;
  if (end == BatchEnd::NotAnalysed) {
    if (console.errors().empty()) complain(err, o.dataFile + ": " + why);
    for (const std::string& e : console.errors()) complain(err, o.dataFile + ": " + e);
    status = kExitNotAnalysed;
  }
  if (end == BatchEnd::NotWritten) {
    complain(err, o.output + ": " + why);
    for (const std::string& e : console.writeErrors()) complain(err, e);
    status = kExitUsage;
  }
  if (!tablesWritten) {
    complain(err, tables.why());
    status = kExitUsage;
  }
  if (!extendedWritten) {
    complain(err, extended.why());
    status = kExitUsage;
  }
  for (const std::string& failure : plots.failures()) {
    complain(err, failure);
    status = kExitUsage;
  }
  if (!screenWritten) status = kExitUsage;  // finishScreen said why
  return status;
}

}  // namespace

bool parseConOptions(const std::vector<std::string>& args, ConOptions& o, std::string& error) {
  o = ConOptions{};
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      operands.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (a[1] == '-') {
      const std::size_t eq = a.find('=');
      const std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      const LongOption* opt = findLong(name);
      if (opt == nullptr) {
        error = "unrecognized option '" + a + "'";
        return false;
      }
      std::string value;
      if (opt->takes == Takes::Value) {
        if (eq != std::string::npos) {
          value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          error = "option '--" + name + "' requires an argument";
          return false;
        }
        if (value.empty()) {
          error = "option '--" + name + "' requires a non-empty argument";
          return false;
        }
      } else if (eq != std::string::npos) {
        error = "option '--" + name + "' doesn't allow an argument";
        return false;
      }
      if (opt->name == "effect") {
        double d = 0.0;
        if (!parseEffect(value, d)) {
          error =
              "option '--effect' needs a difference of mean areas, a number from -1 to 1 other than 0 (not "
              "'" +
              value + "')";
          return false;
        }
        o.effect = d;
      }
      apply(o, opt->name, value);
      continue;
    }
    // Short options, possibly grouped (-qo FILE, -oFILE).
    for (std::size_t k = 1; k < a.size(); ++k) {
      const LongOption* opt = findShort(a[k]);
      if (opt == nullptr) {
        error = std::string("invalid option -- '") + a[k] + "'";
        return false;
      }
      std::string value;
      if (opt->takes == Takes::Value) {
        if (k + 1 < a.size()) {
          value = a.substr(k + 1);
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          error = std::string("option requires an argument -- '") + a[k] + "'";
          return false;
        }
        if (value.empty()) {
          error = std::string("option requires a non-empty argument -- '") + a[k] + "'";
          return false;
        }
        apply(o, opt->name, value);
        break;
      }
      apply(o, opt->name, value);
    }
  }
  if (o.help || o.version) return true;
  if (!o.resultsPrefix.empty() && o.resultsPrefix.back() == '/') {
    error = "the --results PREFIX '" + o.resultsPrefix + "' names a folder; add the tables' name (" +
            o.resultsPrefix + "study)";
    return false;
  }
  if (!o.plotPrefix.empty() && o.plotPrefix.back() == '/') {
    error = "the --plot PREFIX '" + o.plotPrefix + "' names a folder; add the figures' name (" +
            o.plotPrefix + "study)";
    return false;
  }
  if (operands.size() > 1) {
    error = "only one DATAFILE may be given ('" + operands[1] + "' is a second)";
    return false;
  }
  if (!operands.empty()) {
    o.dataFile = operands[0];
    if (o.dataFile.empty()) {
      error = "the DATAFILE name is empty";
      return false;
    }
  } else if (!o.output.empty() || !o.resultsPrefix.empty() || !o.plotPrefix.empty() || o.quiet || o.force ||
             o.extended || o.effect) {
    error = "options -o, --results, --plot, --extended, --effect, -q and --force need a DATAFILE";
    return false;
  }
  if (o.effect && !o.extended && o.resultsPrefix.empty()) {
    error = "option '--effect' needs --extended or --results";
    return false;
  }
  return true;
}

std::string conUsage() {
  return std::string("Usage: ") + kConProgram +
         " [OPTIONS] DATAFILE\n"
         "  or:  " +
         kConProgram +
         "\n"
         "Analyse every dataset of the case data file DATAFILE without questions, as\n"
         "the dialogue does when it is answered Y and given DATAFILE, then end.\n"
         "Without DATAFILE the program asks its questions as ever.\n"
         "\n"
         "  -o, --output FILE     write the report file FILE (refused when it is the\n"
         "                          data file; an existing FILE only with --force)\n"
         "      --results PREFIX  write the CSV tables PREFIX-fits.csv,\n"
         "                          PREFIX-pseudovalues.csv, PREFIX-anova.csv and\n"
         "                          PREFIX-treatments.csv, and the extended tables\n"
         "                          PREFIX-tests.csv and PREFIX-sizing.csv\n"
         "      --extended        after the report of each dataset, add the newer\n"
         "                          treatment tests and the sizing of a future study\n"
         "      --effect D        size a future study for the difference D of mean\n"
         "                          areas too (with --extended or --results)\n"
         "      --plot PREFIX     write the ROC curves of each dataset N as the figure\n"
         "                          PREFIX-N.svg\n"
         "      --force           replace existing output files\n"
         "  -q, --quiet           write nothing on standard output; errors still go\n"
         "                          to standard error\n"
         "      --help            show this help and end\n"
         "      --version         show the version and end\n"
         "  --                    end of the options (for a DATAFILE starting with -)\n"
         "\n"
         "Exit status:\n"
         "  0  done\n"
         "  1  the data file could not be analysed (the message says why)\n"
         "  2  wrong usage, or a file that cannot be written\n";
}

int runConCommandLine(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err,
                      const Clock& clock) {
  ConOptions o;
  std::string error;
  if (!parseConOptions(args, o, error)) return usageError(err, error);
  if (o.help) {
    std::fputs(conUsage().c_str(), out);
    return std::fflush(out) == 0 ? kExitDone : kExitUsage;
  }
  if (o.version) {
    std::fprintf(out, "%s %s\n", kConProgram, kVersion);
    return std::fflush(out) == 0 ? kExitDone : kExitUsage;
  }
  if (o.dataFile.empty()) {
    StdioConsole console(in, out);
    // 0 when the user ended the dialogue, 1 when an inconsistent data file
    // ended it or a file (the screen too) could not be written.
    const int status = runConsoleProgram(console, clock);
    return console.finish(kConProgram, err) ? status : kExitNotAnalysed;
  }
  return batch(o, out, err, clock);
}

}  // namespace quelbro
