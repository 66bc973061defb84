// The text layer every line of the dialogue and of the reports passes through:
// a sink that takes whole lines, and a console that also reads answer lines.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "console/open_files.h"

namespace quelbro {

// Anything that takes finished text lines (the screen, the report file).
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void writeLine(std::string_view line) = 0;
  // A block of lines, as if each had been written in turn.
  virtual void writeLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines) writeLine(line);
  }
  // Lines joined, each ended by '\n' (a last one without it is a line too),
  // as if each had been written in turn: a block written again and again is
  // kept joined and handed over whole.
  virtual void writeText(std::string_view text) {
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      writeLine(text.substr(0, end));
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
  }
};

// Lines joined into one text, each ended by '\n' (what writeText takes).
std::string joinLines(const std::vector<std::string>& lines);

// The dialogue's console: writes lines, reads answer lines.
class TextConsole : public LineSink {
 public:
  // Reads one answer line into `line` (without its line end and without a
  // trailing carriage return). Returns false when the input has ended.
  virtual bool readLine(std::string& line) = 0;
  // The dialogue tells which files it holds open (null when it holds none any more); a shell
  // that writes files of its own asks the list before writing. Plain consoles ignore it.
  virtual void setOpenFiles(const OpenFileList* files) { (void)files; }
};

// Longest answer line kept by a console; the dialogue itself reads 80 columns.
inline constexpr std::size_t kMaxConsoleLine = 1024;

// Reads one line from a C stream: keeps at most `keep` characters, consumes the
// rest of the line. A line ends with LF, CR LF or CR alone. A last line without
// a line end is still a line. Returns false at end of input with nothing read.
bool readStreamLine(std::FILE* in, std::string& line, std::size_t keep = kMaxConsoleLine);

// Reads the lines of a data file from its descriptor in large blocks, with
// the rules of readStreamLine: the bytes are looked at once, not a character
// at a time through the stream. Whatever the blocks' sizes (a FIFO hands over
// what has been written so far), the lines are the same. The end of the
// input, and a read error, are final: later calls find no more lines.
class BlockLineReader {
 public:
  static constexpr std::size_t kBlock = 65536;  // bytes asked for with each read
  // Forgets what is buffered (another file comes next).
  void reset() {
    begin_ = end_ = 0;
    ended_ = false;
  }
  bool readLine(int fd, std::string& line, std::size_t keep = kMaxConsoleLine);

 private:
  // Fills the empty buffer; false at the end of the input.
  bool refill(int fd);

  std::string buf_;
  std::size_t begin_ = 0, end_ = 0;  // the bytes not yet taken
  bool ended_ = false;
};

// Standard input and output; output lines end with a plain line feed. Output
// is flushed before every read and at the end (a terminal shows each line at
// once anyway), not after every line: a study can write millions of lines.
class StdioConsole : public TextConsole {
 public:
  StdioConsole(std::FILE* in = stdin, std::FILE* out = stdout) : in_(in), out_(out) {}
  ~StdioConsole() override { std::fflush(out_); }
  StdioConsole(const StdioConsole&) = delete;
  StdioConsole& operator=(const StdioConsole&) = delete;
  void writeLine(std::string_view line) override;
  void writeLines(const std::vector<std::string>& lines) override;
  void writeText(std::string_view text) override;
  bool readLine(std::string& line) override;

  // Flushes the screen at the end of the run. When any of it could not be
  // written (standard output on a full disk), writes one message naming
  // `program` on `err` and returns false: the run then ends with a failure.
  bool finish(std::string_view program, std::FILE* err = stderr);

 private:
  void check(bool ok);

  std::FILE* in_;
  std::FILE* out_;
  int writeError_ = 0;  // errno of the first failed write to the screen
};

// A console for tests: answers come from a list, every written line is kept.
// Answers are also echoed into the transcript when `echo` is set, so that a
// transcript reads like the screen of an interactive run.
class ScriptedConsole : public TextConsole {
 public:
  explicit ScriptedConsole(std::vector<std::string> answers = {}, bool echo = false);
  void writeLine(std::string_view line) override;
  bool readLine(std::string& line) override;

  void addAnswer(std::string answer) { answers_.push_back(std::move(answer)); }
  const std::vector<std::string>& lines() const { return lines_; }
  std::string text() const;  // every line followed by a line feed
  void clear() { lines_.clear(); }

 private:
  std::deque<std::string> answers_;
  std::vector<std::string> lines_;
  bool echo_;
};

// Collects lines (for tests and for blocks written to several destinations).
class LineCollector : public LineSink {
 public:
  void writeLine(std::string_view line) override { lines_.emplace_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }
  std::string text() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace quelbro
