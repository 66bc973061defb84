// quelbro-con: the dialogue on standard input and output.
#include "dialogue/program.h"

int main() {
  quelbro::StdioConsole console;
  quelbro::SystemClock clock;
  quelbro::runConsoleProgram(console, clock);
  return 0;
}
