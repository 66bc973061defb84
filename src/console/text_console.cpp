// Standard-input console, scripted console and line collector.
#include "console/text_console.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quelbro {

bool readStreamLine(std::FILE* in, std::string& line, std::size_t keep) {
  line.clear();
  // The program reads each stream from one thread only: no locking per character.
  int c = getc_unlocked(in);
  if (c == EOF) return false;
  // A line ends at LF, CR LF or a CR on its own (files from old systems).
  while (c != EOF && c != '\n' && c != '\r') {
    if (line.size() < keep) line.push_back(static_cast<char>(c));
    c = getc_unlocked(in);
  }
  if (c == '\r') {
    int next = getc_unlocked(in);
    if (next != '\n' && next != EOF) std::ungetc(next, in);
  }
  return true;
}

bool BlockLineReader::refill(int fd) {
  begin_ = end_ = 0;
  if (ended_) return false;
  if (buf_.size() != kBlock) buf_.resize(kBlock);
  for (;;) {
    const ssize_t got = ::read(fd, buf_.data(), kBlock);
    if (got > 0) {
      end_ = static_cast<std::size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    // End of the input, or a read error that ends it as a stream's EOF would.
    ended_ = true;
    return false;
  }
}

bool BlockLineReader::readLine(int fd, std::string& line, std::size_t keep) {
  line.clear();
  if (begin_ == end_ && !refill(fd)) return false;
  // Each pass takes the buffered part of the line; a line that goes on past
  // the buffer's end continues after the next refill, which starts with an
  // empty buffer (everything before it has been taken).
  for (;;) {
    const char* p = buf_.data() + begin_;
    const std::size_t avail = end_ - begin_;
    const void* lf = std::memchr(p, '\n', avail);
    const std::size_t toLf =
        lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - p) : avail;
    const void* cr = std::memchr(p, '\r', toLf);
    const std::size_t n = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - p) : toLf;
    if (line.size() < keep) line.append(p, std::min(n, keep - line.size()));
    begin_ += n;
    if (n < avail) {
      // A line end: LF, CR LF or CR alone. The LF after a CR may be the
      // first byte of the next block.
      const bool isCr = buf_[begin_] == '\r';
      ++begin_;
      if (isCr && (begin_ < end_ || refill(fd)) && buf_[begin_] == '\n') ++begin_;
      return true;
    }
    // A last line without a line end is still a line.
    if (!refill(fd)) return true;
  }
}

void StdioConsole::check(bool ok) {
  if (!ok && writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
}

void StdioConsole::writeLine(std::string_view line) {
  check(std::fwrite(line.data(), 1, line.size(), out_) == line.size());
  check(std::fputc('\n', out_) != EOF);
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 1;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

void StdioConsole::writeLines(const std::vector<std::string>& lines) { writeText(joinLines(lines)); }

void StdioConsole::writeText(std::string_view text) {
  check(std::fwrite(text.data(), 1, text.size(), out_) == text.size());
  if (!text.empty() && text.back() != '\n') check(std::fputc('\n', out_) != EOF);
}

bool StdioConsole::readLine(std::string& line) {
  check(std::fflush(out_) == 0);
  return readStreamLine(in_, line);
}

bool StdioConsole::finish(std::string_view program, std::FILE* err) {
  check(std::fflush(out_) == 0);
  check(!std::ferror(out_));
  if (writeError_ == 0) return true;
  std::fprintf(err, "%.*s: cannot write to standard output: %s\n", static_cast<int>(program.size()),
               program.data(), std::strerror(writeError_));
  std::fflush(err);
  return false;
}

ScriptedConsole::ScriptedConsole(std::vector<std::string> answers, bool echo)
    : answers_(answers.begin(), answers.end()), echo_(echo) {}

void ScriptedConsole::writeLine(std::string_view line) { lines_.emplace_back(line); }

bool ScriptedConsole::readLine(std::string& line) {
  if (answers_.empty()) return false;
  line = answers_.front();
  answers_.pop_front();
  if (line.size() > kMaxConsoleLine) line.resize(kMaxConsoleLine);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (echo_) lines_.push_back(line);
  return true;
}

std::string ScriptedConsole::text() const { return joinLines(lines_); }
std::string LineCollector::text() const { return joinLines(lines_); }

}  // namespace quelbro
