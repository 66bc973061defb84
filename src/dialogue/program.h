// Entry points of the two programs: the same main routine with the typed-name
// or the dialog-based file selection.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/text_console.h"

namespace quelbro {

// Picks a file in a platform dialog (the window program); tests inject their own.
class FileChooser {
 public:
  struct Filter {
    std::string description;  // "Data Files (*.dat)"
    std::string pattern;      // "*.dat"
  };
  virtual ~FileChooser() = default;
  // The chosen path, or nothing when the dialog was cancelled.
  virtual std::optional<std::string> openFile(const std::vector<Filter>& filters,
                                              const std::string& defaultExtension) = 0;
  // The save dialog asks before replacing an existing file.
  virtual std::optional<std::string> saveFile(const std::vector<Filter>& filters,
                                              const std::string& defaultExtension) = 0;
};

// quelbro-con: typed file names, title "QUELBRO (DOS version 1.0 beta):".
void runConsoleProgram(TextConsole& console, const Clock& clock);

// quelbro-win: dialog-based file selection, title "QUELBRO (Windows version 1.0 beta):".
void runWindowedProgram(TextConsole& console, const Clock& clock, FileChooser& chooser);

}  // namespace quelbro
