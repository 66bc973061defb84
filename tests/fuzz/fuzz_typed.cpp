// Fuzz target: the input's lines are typed answers, given to the whole
// dialogue (file questions, typed entry, store and report files, analysis).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/text_console.h"
#include "dialogue/program.h"
#include "fuzz_workdir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quelbro::fuzz::workDir();
  quelbro::fuzz::emptyWorkDir();
  std::vector<std::string> answers(1);
  for (std::size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == '\n') {
      answers.emplace_back();
    } else {
      // A typed name never leaves the working folder.
      answers.back().push_back(c == '/' ? '_' : c);
    }
  }
  quelbro::ScriptedConsole console(std::move(answers));
  quelbro::FixedClock clock(2026, 12, 8, 10, 30, 0);
  quelbro::runConsoleProgram(console, clock);
  return 0;
}
