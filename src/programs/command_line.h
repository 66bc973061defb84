// The command line of quelbro-con: its options, the usage text, and the run
// they ask for (the dialogue, or a batch run of one data file).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "console/clock.h"

namespace quelbro {

inline constexpr const char* kConProgram = "quelbro-con";

// Exit statuses of quelbro-con.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNotAnalysed = 1;  // the data file could not be analysed
inline constexpr int kExitUsage = 2;        // wrong usage, or a file that cannot be written

struct ConOptions {
  bool help = false;
  bool version = false;
  bool quiet = false;
  bool force = false;
  std::string dataFile;          // empty: the interactive dialogue
  std::string output;            // -o, --output
  std::string resultsPrefix;     // --results
  bool extended = false;         // --extended: the extended section after each report
  std::optional<double> effect;  // --effect D: a sizing for that difference of mean areas
  std::string plotPrefix;        // --plot
};

// Parses the arguments (without the program name). False with a message
// (without the program's name) in `error` on wrong usage.
bool parseConOptions(const std::vector<std::string>& args, ConOptions& options, std::string& error);

// The --help text: every line within 80 columns.
std::string conUsage();

// Runs quelbro-con with these arguments: the dialogue on `in` and `out`
// without a DATAFILE, otherwise the batch run. Errors go to `err`, each
// naming the program. Returns the exit status.
int runConCommandLine(const std::vector<std::string>& args, std::FILE* in, std::FILE* out, std::FILE* err,
                      const Clock& clock);

}  // namespace quelbro
