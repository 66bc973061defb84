// Shared helpers of the reliability tests: a private working folder, a whole
// console-program run on typed answers, and searches over the screen lines.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/text_console.h"
#include "dialogue/program.h"

namespace quelbro::reliability {

namespace fs = std::filesystem;

// The first line of the first opening question: the state after a restart.
inline const std::string kQuestion1 =
    " Do you want to use data from a previously created input file for the next";
inline const std::string kQuestion2 = " Do you want to create a file to store the data you will input?";
inline const std::string kQuestion3 = " Do you want to create an output file? (Yes/No, or R to restart)";
inline const std::string kReading = " --- program is reading input data; please wait ---";
inline const std::string kRefused = " This dataset cannot be analysed; returning to the opening questions.";
inline const std::string kInvalidForm = "   --- invalid form of input data ---";
inline const std::string kNotice1 =
    "QUELBRO needs at least 2 readers and 2 treatments to correctly compute the ANOVA table";
inline const std::string kNotice2 = "PLEASE use FENDARO for 1 reader - 2 treatments       or 2 Readers - 1 Treatment";

// A fresh folder that is the current folder while the object lives (the
// program names its files relative to it).
class WorkDir {
 public:
  WorkDir() : home_(fs::current_path()) {
    std::string t = (fs::temp_directory_path() / "quelbro-rel-XXXXXX").string();
    if (mkdtemp(t.data()) == nullptr) std::abort();
    path_ = t;
    fs::current_path(path_);
  }
  ~WorkDir() {
    std::error_code ec;
    fs::current_path(home_, ec);
    // Folders made unwritable by a test are made writable again first.
    for (auto it = fs::recursive_directory_iterator(path_, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path home_;
  fs::path path_;
};

inline void writeFile(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the console program in the current folder on the answers; the clock
// shows 08-Dec-26 10:30:00. Returns the screen lines.
inline std::vector<std::string> runProgram(const std::vector<std::string>& answers) {
  ScriptedConsole console(answers);
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  runConsoleProgram(console, clock);
  return console.lines();
}

// A scripted console that does something once, the first time a line
// beginning with `prefix` is shown: a fault injected at a known moment.
class TriggerConsole : public ScriptedConsole {
 public:
  TriggerConsole(std::vector<std::string> answers, std::string prefix, std::function<void()> action)
      : ScriptedConsole(std::move(answers)), prefix_(std::move(prefix)), action_(std::move(action)) {}
  void writeLine(std::string_view line) override {
    ScriptedConsole::writeLine(line);
    if (action_ && line.substr(0, prefix_.size()) == prefix_) {
      auto act = std::move(action_);
      action_ = nullptr;
      act();
    }
  }

 private:
  std::string prefix_;
  std::function<void()> action_;
};

// Index of the first place where `block` stands as consecutive lines, at or
// after `from`; -1 when it does not.
inline long findBlock(const std::vector<std::string>& lines, const std::vector<std::string>& block,
                      std::size_t from = 0) {
  if (block.empty()) return static_cast<long>(from);
  for (std::size_t i = from; i + block.size() <= lines.size(); ++i) {
    bool all = true;
    for (std::size_t k = 0; k < block.size() && all; ++k) all = lines[i + k] == block[k];
    if (all) return static_cast<long>(i);
  }
  return -1;
}

inline bool blankOrClock(const std::string& l) {
  if (l.find_first_not_of(' ') == std::string::npos) return true;
  std::size_t p = l.find_first_not_of(' ');
  return l.compare(p, 7, "DATE - ") == 0 || l.compare(p, 7, "TIME - ") == 0;
}

// The first line after position `at` that is neither blank nor a date or time
// line: the next thing the user is asked or told. Empty at the end of the run.
inline std::string nextShown(const std::vector<std::string>& lines, std::size_t at) {
  for (std::size_t i = at; i < lines.size(); ++i)
    if (!blankOrClock(lines[i])) return lines[i];
  return std::string();
}

inline int countLine(const std::vector<std::string>& lines, const std::string& line) {
  int n = 0;
  for (const auto& l : lines) n += l == line ? 1 : 0;
  return n;
}

inline bool anyContains(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

// The screen for a failed expectation: the lines around `at`.
inline std::string around(const std::vector<std::string>& lines, long at, int before = 3, int after = 12) {
  std::string s;
  long lo = at < 0 ? 0 : at - before;
  long hi = at < 0 ? static_cast<long>(lines.size()) : at + after;
  if (lo < 0) lo = 0;
  if (hi > static_cast<long>(lines.size())) hi = static_cast<long>(lines.size());
  if (at < 0 && hi - lo > 80) lo = hi - 80;
  for (long i = lo; i < hi; ++i) s += "|" + lines[static_cast<std::size_t>(i)] + "|\n";
  return s;
}

}  // namespace quelbro::reliability
