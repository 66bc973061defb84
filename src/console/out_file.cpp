// Store and report files: CR LF line ends, written line by line on a plain
// descriptor, cut back to a whole line when a write fails, failures told.
#include "console/out_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quelbro {

std::string nonRegularKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::string();
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISFIFO(st.st_mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  return "not a regular file";
}

bool OutFile::create(const std::string& path, bool mustBeNew) {
  close();
  failed_ = false;
  length_ = 0;
  what_.clear();
  error_.clear();
  const int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC;
  int fd = -1;
  if (mustBeNew) {
    fd = ::open(path.c_str(), flags | O_EXCL, 0666);
  } else {
    // Only a regular file is ever emptied: nothing is opened with O_TRUNC, and
    // a FIFO without a reader must not hold the program up (O_NONBLOCK).
    if (!nonRegularKind(path).empty()) {
      error_ = "not a regular file";
      return false;
    }
    fd = ::open(path.c_str(), flags | O_NONBLOCK, 0666);
  }
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error_ = "not a regular file";
    return false;
  }
  if (!mustBeNew) {
    if (::ftruncate(fd, 0) != 0) {
      error_ = std::strerror(errno);
      ::close(fd);
      return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  fd_ = fd;
  path_ = path;
  return true;
}

bool OutFile::replace(const std::string& path, int& displaced) {
  displaced = -1;
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_nlink != 1 ||
      named.st_uid != ::geteuid())
    return create(path, false);
  // Opened for writing first, so that a file this user may not write is
  // refused just as create() refuses it.
  const int old = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat st {};
  if (old < 0 || ::fstat(old, &st) != 0 || st.st_dev != named.st_dev || st.st_ino != named.st_ino ||
      ::unlink(path.c_str()) != 0) {
    if (old >= 0) ::close(old);
    return create(path, false);
  }
  if (!create(path, true)) {
    ::close(old);
    return false;
  }
  ::fchmod(fd_, st.st_mode & 07777);
  displaced = old;
  return true;
}

void OutFile::close() {
  if (fd_ < 0) return;
  flushHeld();
  if (fd_ < 0) return;  // the held lines could not be written and closed it
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR && !failed_) {
    failed_ = true;
    say(" *** ERROR: cannot write to file " + path_ + ": " + std::strerror(errno) + " ***");
  }
}

void OutFile::closeRemovingIfEmpty() {
  flushHeld();
  if (fd_ < 0) return;
  struct stat mine {
  }, named{};
  // The name must still lead to this file itself, not to one put in its place.
  const bool empty = ::fstat(fd_, &mine) == 0 && mine.st_size == 0 && ::lstat(path_.c_str(), &named) == 0 &&
                     named.st_dev == mine.st_dev && named.st_ino == mine.st_ino;
  close();
  if (empty) ::unlink(path_.c_str());
}

void OutFile::writeLine(std::string_view line) { writeLine(line, std::string_view()); }

void OutFile::writeLine(std::string_view line, std::string_view what) {
  if (fd_ < 0 || failed_) return;
  std::string s;
  s.reserve(line.size() + 2);
  s.append(line);
  s += "\r\n";
  write(s, what);
}

void OutFile::writeLines(const std::vector<std::string>& lines) {
  if (fd_ < 0 || failed_ || lines.empty()) return;
  std::string block;
  for (const auto& line : lines) {
    block += line;
    block += "\r\n";
  }
  write(block, std::string_view());
}

void OutFile::writeRaw(std::string_view bytes) { write(bytes, std::string_view()); }

namespace {
constexpr std::size_t kMaxHeld = 256 * 1024;  // held bytes that are written at once
}

void OutFile::hold(std::string_view bytes, std::string_view what) {
  held_.append(bytes);
  heldWhat_ = what;
  if (held_.size() >= kMaxHeld) flushHeld();
}

void OutFile::flushHeld() {
  if (held_.empty()) return;
  std::string block, what;
  block.swap(held_);
  what.swap(heldWhat_);
  const int holds = holds_;
  holds_ = 0;
  write(block, what);
  holds_ = holds;
}

void OutFile::write(std::string_view bytes, std::string_view what) {
  if (fd_ < 0 || failed_ || bytes.empty()) return;
  if (holds_ > 0) {
    hold(bytes, what);
    return;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? errno : ENOSPC, bytes.substr(0, done));
      return;
    }
    done += static_cast<std::size_t>(n);
  }
  length_ += static_cast<long>(bytes.size());
  what_ = what;
}

void OutFile::fail(int err, std::string_view written) {
  failed_ = true;
  say(" *** ERROR: cannot write to file " + path_ + ": " + std::strerror(err) + " ***");
  // Whole lines of a block that did reach the file stay; what they hold is
  // then no longer known by name.
  const std::size_t end = written.rfind('\n');
  if (end != std::string_view::npos) {
    length_ += static_cast<long>(end + 1);
    what_.clear();
  }
  std::string cut;
  if (::ftruncate(fd_, length_) != 0)
    cut = std::string("     (it could not be cut back: ") + std::strerror(errno) + ")";
  ::lseek(fd_, length_, SEEK_SET);
  std::string where = length_ == 0    ? " is empty"
                      : what_.empty() ? " ends with its last whole line"
                                      : " ends with " + what_;
  if (closeOnFailure_) {
    ::close(fd_);
    fd_ = -1;
  }
  say(" *** The " + role_ + " " + path_ + where + (closeOnFailure_ ? " and is closed;" : ";"));
  say("     nothing more is written to it. ***");
  if (!cut.empty()) say(cut);
}

bool OutFile::truncateTo(const Mark& m) {
  flushHeld();
  if (fd_ < 0 || m.length < 0 || m.length > length_) return false;
  if (m.length == length_) return true;
  if (::ftruncate(fd_, m.length) != 0 || ::lseek(fd_, m.length, SEEK_SET) < 0) {
    const int err = errno;
    if (!failed_) {
      failed_ = true;
      say(" *** ERROR: cannot cut back file " + path_ + ": " + std::strerror(err) + " ***");
    }
    return false;
  }
  length_ = m.length;
  what_ = m.what;
  // After a failure the user was told where the file ends: tell the new end.
  if (failed_) {
    say(" *** The " + role_ + " " + path_ +
        (length_ == 0
             ? std::string(" is now empty. ***")
             : " now ends with " + (what_.empty() ? std::string("its last whole line") : what_) + ". ***"));
  }
  return true;
}

void OutFile::say(const std::string& line) {
  if (complain_ != nullptr) complain_->writeLine(line);
}

}  // namespace quelbro
