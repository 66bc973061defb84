// quelbro-con: the dialogue on standard input and output, or with a DATAFILE
// on its command line the batch run of that file.
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/std_descriptors.h"
#include "programs/command_line.h"

int main(int argc, char** argv) {
  // Before anything opens a file.
  quelbro::ensureStandardDescriptors();
  quelbro::ignoreFileSizeSignal();
  quelbro::bufferStandardOutput();
  const std::vector<std::string> args =
      argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  quelbro::SystemClock clock;
  return quelbro::runConCommandLine(args, stdin, stdout, stderr, clock);
}
