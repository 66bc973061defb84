// quelbro-con: the dialogue on standard input and output.
#include "console/std_descriptors.h"
#include "dialogue/program.h"

int main() {
  // Before anything opens a file.
  quelbro::ensureStandardDescriptors();
  quelbro::ignoreFileSizeSignal();
  quelbro::StdioConsole console;
  quelbro::SystemClock clock;
  quelbro::runConsoleProgram(console, clock);
  return console.finish("quelbro-con") ? 0 : 1;
}
