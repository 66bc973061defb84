// Closed standard descriptors put on the null device; SIGXFSZ ignored.
#include "console/std_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

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

}  // namespace quelbro
