// The open and save dialogs a file question may use: the window program shows the
// platform's dialogs, tests inject their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quelbro {

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

}  // namespace quelbro
