// Standard-input console, scripted console and line collector.
#include "console/text_console.h"

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

void StdioConsole::check(bool ok) {
  if (!ok && writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
}

void StdioConsole::writeLine(std::string_view line) {
  check(std::fwrite(line.data(), 1, line.size(), out_) == line.size());
  check(std::fputc('\n', out_) != EOF);
}

void StdioConsole::writeLines(const std::vector<std::string>& lines) {
  std::string block;
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 1;
  block.reserve(size);
  for (const auto& line : lines) {
    block += line;
    block += '\n';
  }
  check(std::fwrite(block.data(), 1, block.size(), out_) == block.size());
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

static std::string joinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) {
    s += l;
    s += '\n';
  }
  return s;
}

std::string ScriptedConsole::text() const { return joinLines(lines_); }
std::string LineCollector::text() const { return joinLines(lines_); }

}  // namespace quelbro
