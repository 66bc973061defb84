// Entry points of the two programs: the same main routine with the typed-name
// or the dialog-based file selection.
#pragma once

#include "console/clock.h"
#include "console/file_chooser.h"
#include "console/text_console.h"

namespace quelbro {

// quelbro-con: typed file names, title "QUELBRO (DOS version 1.0 beta):".
void runConsoleProgram(TextConsole& console, const Clock& clock);

// quelbro-win: dialog-based file selection, title "QUELBRO (Windows version 1.0 beta):".
void runWindowedProgram(TextConsole& console, const Clock& clock, FileChooser& chooser);

}  // namespace quelbro
