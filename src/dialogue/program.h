// Entry points of the two programs: the same main routine with the typed-name
// or the dialog-based file selection.
#pragma once

#include "console/clock.h"
#include "console/file_chooser.h"
#include "console/text_console.h"
#include "results/results.h"

namespace quelbro {

// quelbro-con: typed file names, title "QUELBRO (DOS version 1.0 beta):".
// Each dataset analysed is handed to `observer` when one is given.
void runConsoleProgram(TextConsole& console, const Clock& clock, RunObserver* observer = nullptr);

// quelbro-win: dialog-based file selection, title "QUELBRO (Windows version 1.0 beta):".
void runWindowedProgram(TextConsole& console, const Clock& clock, FileChooser& chooser,
                        RunObserver* observer = nullptr);

}  // namespace quelbro
