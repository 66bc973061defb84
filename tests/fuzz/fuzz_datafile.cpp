// Fuzz target: the input is a case data file, read through the whole dialogue
// and analysis (answers y, the file's name, n, q).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "console/clock.h"
#include "console/text_console.h"
#include "dialogue/program.h"
#include "fuzz_workdir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quelbro::fuzz::workDir();
  quelbro::fuzz::emptyWorkDir();
  std::FILE* f = std::fopen("f.dat", "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  quelbro::ScriptedConsole console({"y", "f.dat", "n", "q"});
  quelbro::FixedClock clock(2026, 12, 8, 10, 30, 0);
  quelbro::runConsoleProgram(console, clock);
  // The run must end at the quit answer or at an inconsistent file, never by
  // running out of answers somewhere else: the four answers are enough.
  return 0;
}
