// The run's input and output state: the console, the input source (console or
// case data file), the store and report files, LINBUF and the cycle flags.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "console/clock.h"
#include "console/destinations.h"
#include "console/fields.h"
#include "console/open_files.h"
#include "console/out_file.h"
#include "console/text_console.h"
#include "dialogue/linbuf.h"
#include "fit/fit_context.h"
#include "results/results.h"

namespace quelbro {

// Joins texts (a plain `"literal" + std::string` trips a false -Wrestrict in g++ 12).
inline std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p);
  return s;
}

// Passes a file's failure message on to the screen and remembers that a
// file could not be written (the program's exit status says so).
class WriteFailures : public LineSink {
 public:
  explicit WriteFailures(LineSink& screen) : screen_(screen) {}
  void writeLine(std::string_view line) override {
    seen_ = true;
    screen_.writeLine(line);
  }
  bool seen() const { return seen_; }

 private:
  LineSink& screen_;
  bool seen_ = false;
};

struct Session : OpenFileList {
  Session(TextConsole& console, const Clock& clk, std::string titleText)
      : con(console),
        clock(clk),
        title(std::move(titleText)),
        writeFailures(console),
        store(&writeFailures, "store file"),
        report(&writeFailures, "report file", true) {
    con.setOpenFiles(this);
  }
  ~Session() override {
    con.setOpenFiles(nullptr);
    closeAll();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  TextConsole& con;
  const Clock& clock;
  std::string title;  // 60 characters
  WriteFailures writeFailures;

  std::FILE* in = nullptr;  // the case data file being read; null: console input
  BlockLineReader inLines;  // reads `in`'s lines (through its descriptor, not the stream)
  std::string inPath;
  OutFile store;               // typed data saved as a case data file
  OutFile report;              // the report file
  std::string reportFileName;  // name of the input or store file, 20 characters at most

  // The line last read from the input source, as read (up to kMaxConsoleLine
  // columns), and its number in the data file (0 before the first).
  std::string lastLine;
  long inLineNo = 0;
  bool inEnded = false;    // the data file has been read to its end
  bool inAllBlank = true;  // every line read from the data file so far is blank

  LineBuffer lin;                   // LINBUF
  RunObserver* observer = nullptr;  // receives each analysed dataset's records
  int datasetsFinished = 0;         // datasets analysed so far in the run
  int datasetsRefused = 0;          // datasets of a data file that could not be analysed
  bool quit = false;
  bool restart = false;

  bool fromFile() const { return in != nullptr; }

  // One line of the input source (console or data file), cut to 80 columns.
  // False at the end of the input; at the end of console input the quit flag
  // is set, since the dialogue cannot go on.
  bool readInput(std::string& line);
  // One answer line typed at the console (the file questions), cut to `keep`.
  bool readConsole(std::string& line, std::size_t keep = kLineWidth);
  // Reads the next line of the input source into LINBUF.
  bool readIntoLinbuf();
  // Reads the next line of the input source into lastLine (uncut); false at
  // the end of the input.
  bool readSourceLine();
  // True when the line last read holds a character other than a blank or tab
  // in column 81: a word ending in column 80 was cut there.
  bool cutAtColumn80() const;
  // After a message about a line of a data file: which file, which line, and
  // the line's first 60 characters. Nothing with console input.
  void sayWhere();

  void say(std::string_view line) { con.writeLine(line); }
  void say(const ListLine& line) { con.writeLine(line.str()); }
  void say(const Line& line) { con.writeLine(line.str()); }
  void emptyLines(int n) {
    for (int i = 0; i < n; ++i) con.writeLine("");
  }
  void emptyListLine() { con.writeLine(" "); }

  void closeInput();
  // A store file that holds nothing (the input ended before the first answer
  // was stored) is removed as it is closed.
  void closeStore() { store.closeRemovingIfEmpty(); }
  void closeAll();
  // The input data, store and report files open at this moment.
  std::vector<OpenFile> openFiles() const override;
  // Where report blocks go: the screen and, when open, the report file.
  Destinations destinations() { return Destinations(con, report.isOpen() ? &report : nullptr); }
  InputKind inputKind() const;
};

}  // namespace quelbro
