// Where report blocks go: the screen always, and the report file when open.
#pragma once

#include <string_view>
#include <vector>

#include "console/text_console.h"

namespace quelbro {

class Destinations {
 public:
  explicit Destinations(LineSink& screen, LineSink* file = nullptr) : screen_(&screen), file_(file) {}

  LineSink& screen() const { return *screen_; }
  LineSink* file() const { return file_; }  // null when no report file is open
  bool hasFile() const { return file_ != nullptr; }
  void setFile(LineSink* file) { file_ = file; }

  void toScreen(std::string_view line) const { screen_->writeLine(line); }
  void toFile(std::string_view line) const {
    if (file_ != nullptr) file_->writeLine(line);
  }
  void toBoth(std::string_view line) const {
    toScreen(line);
    toFile(line);
  }
  // The destinations of a block written once to each: the screen, then the file.
  std::vector<LineSink*> passes() const {
    std::vector<LineSink*> v{screen_};
    if (file_ != nullptr) v.push_back(file_);
    return v;
  }

 private:
  LineSink* screen_;
  LineSink* file_;
};

}  // namespace quelbro
