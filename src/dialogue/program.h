// Entry points of the two programs: the same main routine with the typed-name
// or the dialog-based file selection.
#pragma once

#include <string>

#include "console/clock.h"
#include "console/file_chooser.h"
#include "console/text_console.h"
#include "results/results.h"

namespace quelbro {

// The exit status of a dialogue run: 0 when the user ended it (Q, the end of
// the input), 1 when an inconsistent data file ended it or a file could not be written.
inline constexpr int kExitEnded = 0;
inline constexpr int kExitFailed = 1;

// quelbro-con: typed file names, title "QUELBRO (DOS version 1.0 beta):".
// Each dataset analysed is handed to `observer` when one is given. Returns the exit status.
int runConsoleProgram(TextConsole& console, const Clock& clock, RunObserver* observer = nullptr);

// quelbro-win: dialog-based file selection, title "QUELBRO (Windows version 1.0 beta):".
// Returns the exit status.
int runWindowedProgram(TextConsole& console, const Clock& clock, FileChooser& chooser,
                       RunObserver* observer = nullptr);

// quelbro-con DATAFILE: every dataset of one data file without questions, as
// the dialogue runs them when answered Y with that file's name.
struct BatchRun {
  std::string dataFile;
  std::string reportFile;      // empty: no report file
  bool replaceReport = false;  // an existing report file is replaced, not refused
};

enum class BatchEnd {
  Done,         // every dataset analysed
  NotAnalysed,  // the data file cannot be read, holds no dataset or an inconsistent one
  NotWritten    // the report file cannot be created or written
};

// Runs the batch; `why` says what went wrong when the end is not Done.
BatchEnd runBatchProgram(TextConsole& console, const Clock& clock, const BatchRun& run, RunObserver* observer,
                         std::string& why);

}  // namespace quelbro
