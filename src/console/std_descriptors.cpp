// Closed standard descriptors put on the null device; SIGXFSZ ignored; a
// large buffer for standard output that is not a terminal.
#include "console/std_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>

namespace quelbro {

void ensureStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() returns the lowest free descriptor, which is this one.
    const int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (got >= 0 && got != fd) {
      ::dup2(got, fd);
      ::close(got);
    }
  }
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

void bufferStandardOutput() {
  if (::isatty(STDOUT_FILENO) == 1) return;  // a terminal shows each line as it comes
  // The stream is flushed at the very end of the process, after every
  // object has been destroyed: its buffer is never freed. A failure leaves
  // the stream as it was.
  constexpr std::size_t kSize = std::size_t{1} << 20;
  static char* const buffer = new char[kSize];
  std::setvbuf(stdout, buffer, _IOFBF, kSize);
}

}  // namespace quelbro
