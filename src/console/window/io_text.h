// The input/output window's text: the bounded line store, the line being typed with its caret,
// the visible part, the one-line selection and the saved flag. No Qt here, so it tests directly.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quelbro {

// Room for the window's text: 65,536 bytes of line text. When a new line or a typed character
// does not fit, the oldest lines are dropped until it does.
inline constexpr std::size_t kTextStoreBytes = 65536;
// The line-start table has as many entries, so a flood of empty lines is bounded too.
inline constexpr std::size_t kTextStoreLines = 65536;

// Columns [start, end) of one line; start < end.
struct TextSelection {
  int line = 0;
  int start = 0;
  int end = 0;
};

class IoText {
 public:
  explicit IoText(std::size_t capacityBytes = kTextStoreBytes, std::size_t capacityLines = kTextStoreLines);

  // --- store ---
  // Lines shown, the line being typed (the last one) included.
  int lineCount() const { return static_cast<int>(lines_.size()); }
  const std::string& line(int index) const { return lines_[static_cast<std::size_t>(index)]; }
  int currentLine() const { return lineCount() - 1; }
  int caretColumn() const { return caret_; }
  // False while the caret sits on a fresh line that nothing has been typed on yet.
  bool currentLineStarted() const { return started_; }
  // Lines held by the store: every line but a fresh, unstarted current line.
  int storedLineCount() const { return started_ ? lineCount() : lineCount() - 1; }
  std::size_t bytesUsed() const { return bytes_; }
  std::size_t capacityBytes() const { return capacityBytes_; }
  // Lines dropped from the top so far, to make room.
  long long droppedLines() const { return dropped_; }
  int widestLine() const { return widest_; }

  // --- output: the line goes into the store and the caret moves to column 0 of a fresh line ---
  void writeLine(std::string_view text);

  // --- the keys, acting on the line being typed ---
  void typeChar(char c);  // inserts at the caret
  void backspace();       // deletes left of the caret
  void tab();             // blanks up to the next multiple of 8 (at least one)
  std::string enter();    // ends the line and returns its text
  void left();
  void right();          // not past the end of the line's text
  void insertBlank();    // opens a blank at the caret
  void deleteAtCaret();  // closes the gap at the caret
  // Inserts text at the caret (paste): only its first line; other control characters become blanks.
  void insertText(std::string_view text);

  // --- view: first visible line and column, rows and columns that fit in the window ---
  void setViewSize(int rows, int columns);
  int rows() const { return rows_; }
  int columns() const { return columns_; }
  int firstLine() const { return firstLine_; }
  int firstColumn() const { return firstColumn_; }
  int maxFirstLine() const;
  int maxFirstColumn() const;
  void scrollTo(int firstLine);
  void scrollBy(int lines) { scrollTo(firstLine_ + lines); }
  void pageUp() { scrollBy(-rows_); }
  void pageDown() { scrollBy(rows_); }
  void home() { scrollTo(0); }
  void end() { scrollTo(maxFirstLine()); }
  void setFirstColumn(int column);

  // --- selection within one line ---
  // Selects columns between a and b (either order, clamped to the line); empty gives no selection.
  void select(int line, int a, int b);
  // Selects the run of non-blanks under column `column` of `line`; a blank gives no selection.
  void selectWord(int line, int column);
  void clearSelection() { selection_.reset(); }
  const std::optional<TextSelection>& selection() const { return selection_; }
  std::string selectedText() const;
  void deleteSelection();

  // --- saved flag: set by a save, cleared by every change ---
  bool saved() const { return saved_; }
  void markSaved() { saved_ = true; }

  // Every stored line, for saving and printing.
  std::vector<std::string> storedLines() const;

 private:
  void changed();
  void startCurrentLine();
  bool makeRoom(std::size_t bytes, std::size_t lines);
  void dropOldest();
  void noteWidth(const std::string& s);
  void keepCaretVisible();
  std::string& current() { return lines_.back(); }

  std::size_t capacityBytes_;
  std::size_t capacityLines_;
  std::deque<std::string> lines_;
  std::size_t bytes_ = 0;
  long long dropped_ = 0;
  bool started_ = false;
  int caret_ = 0;
  int widest_ = 0;
  int rows_ = 1;
  int columns_ = 1;
  int firstLine_ = 0;
  int firstColumn_ = 0;
  std::optional<TextSelection> selection_;
  bool saved_ = false;
};

}  // namespace quelbro
