// The input/output window's text store, caret, view position and selection.
#include "console/window/io_text.h"

#include <algorithm>

namespace quelbro {

IoText::IoText(std::size_t capacityBytes, std::size_t capacityLines)
    : capacityBytes_(std::max<std::size_t>(capacityBytes, 1)),
      capacityLines_(std::max<std::size_t>(capacityLines, 1)) {
  lines_.emplace_back();
}

void IoText::changed() {
  saved_ = false;
  // A selection on the line being typed would no longer cover the same characters.
  if (selection_ && selection_->line == currentLine()) selection_.reset();
}

bool IoText::makeRoom(std::size_t bytes, std::size_t lines) {
  auto over = [&] {
    return bytes_ + bytes > capacityBytes_ ||
           static_cast<std::size_t>(storedLineCount()) + lines > capacityLines_;
  };
  // The line being typed is never dropped: at most every line before it goes.
  while (over() && lines_.size() > 1) dropOldest();
  return !over();
}

void IoText::dropOldest() {
  bytes_ -= lines_.front().size();
  lines_.pop_front();
  ++dropped_;
  firstLine_ = std::max(0, firstLine_ - 1);
  if (selection_) {
    if (selection_->line == 0) {
      selection_.reset();
    } else {
      --selection_->line;
    }
  }
}

void IoText::noteWidth(const std::string& s) { widest_ = std::max(widest_, static_cast<int>(s.size())); }

void IoText::keepCaretVisible() {
  const int cur = currentLine();
  if (cur < firstLine_) firstLine_ = cur;
  if (cur >= firstLine_ + rows_) firstLine_ = cur - rows_ + 1;
  if (caret_ < firstColumn_) firstColumn_ = caret_;
  if (caret_ >= firstColumn_ + columns_) firstColumn_ = caret_ - columns_ + 1;
  firstLine_ = std::clamp(firstLine_, 0, maxFirstLine());
  firstColumn_ = std::max(firstColumn_, 0);
}

void IoText::writeLine(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.size() > capacityBytes_) text = text.substr(0, capacityBytes_);
  makeRoom(text.size(), 1);
  if (started_) {
    lines_.emplace_back(text);
  } else {
    current().assign(text);
  }
  bytes_ += text.size();
  noteWidth(lines_.back());
  lines_.emplace_back();
  started_ = false;
  caret_ = 0;
  firstColumn_ = 0;
  changed();
  keepCaretVisible();
}

void IoText::startCurrentLine() { started_ = true; }

void IoText::typeChar(char c) {
  if (!makeRoom(1, started_ ? 0 : 1)) return;
  changed();
  startCurrentLine();
  current().insert(static_cast<std::size_t>(caret_), 1, c);
  ++bytes_;
  ++caret_;
  noteWidth(current());
  keepCaretVisible();
}

void IoText::backspace() {
  if (caret_ == 0) return;
  changed();
  --caret_;
  current().erase(static_cast<std::size_t>(caret_), 1);
  --bytes_;
  keepCaretVisible();
}

void IoText::tab() {
  // At most 8 blanks; stops early when the store has no room left.
  for (int i = 0; i < 8; ++i) {
    const int before = caret_;
    typeChar(' ');
    if (caret_ == before || caret_ % 8 == 0) break;
  }
}

std::string IoText::enter() {
  std::string text = current();
  if (!started_) makeRoom(0, 1);
  changed();
  lines_.emplace_back();
  started_ = false;
  caret_ = 0;
  firstColumn_ = 0;
  keepCaretVisible();
  return text;
}

void IoText::left() {
  if (caret_ > 0) --caret_;
  keepCaretVisible();
}

void IoText::right() {
  if (caret_ < static_cast<int>(current().size())) ++caret_;
  keepCaretVisible();
}

void IoText::insertBlank() {
  if (!makeRoom(1, started_ ? 0 : 1)) return;
  changed();
  startCurrentLine();
  current().insert(static_cast<std::size_t>(caret_), 1, ' ');
  ++bytes_;
  noteWidth(current());
  keepCaretVisible();
}

void IoText::deleteAtCaret() {
  if (caret_ >= static_cast<int>(current().size())) return;
  changed();
  current().erase(static_cast<std::size_t>(caret_), 1);
  --bytes_;
}

void IoText::insertText(std::string_view text) {
  const std::size_t stop = text.find_first_of("\r\n");
  if (stop != std::string_view::npos) text = text.substr(0, stop);
  if (text.empty()) return;
  std::string clean(text);
  for (char& c : clean) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  makeRoom(clean.size(), started_ ? 0 : 1);
  const std::size_t room = capacityBytes_ > bytes_ ? capacityBytes_ - bytes_ : 0;
  if (clean.size() > room) clean.resize(room);
  if (clean.empty()) return;
  changed();
  startCurrentLine();
  current().insert(static_cast<std::size_t>(caret_), clean);
  bytes_ += clean.size();
  caret_ += static_cast<int>(clean.size());
  noteWidth(current());
  keepCaretVisible();
}

void IoText::setViewSize(int rows, int columns) {
  const bool caretShown = currentLine() >= firstLine_ && currentLine() < firstLine_ + rows_;
  rows_ = std::max(rows, 1);
  columns_ = std::max(columns, 1);
  // A window made smaller keeps the caret line in view when it was in view before.
  if (caretShown && currentLine() >= firstLine_ + rows_) firstLine_ = currentLine() - rows_ + 1;
  firstLine_ = std::clamp(firstLine_, 0, maxFirstLine());
  firstColumn_ = std::clamp(firstColumn_, 0, std::max(maxFirstColumn(), firstColumn_));
}

int IoText::maxFirstLine() const { return std::max(0, lineCount() - rows_); }

int IoText::maxFirstColumn() const { return std::max(0, widest_ + 1 - columns_); }

void IoText::scrollTo(int firstLine) { firstLine_ = std::clamp(firstLine, 0, maxFirstLine()); }

void IoText::setFirstColumn(int column) { firstColumn_ = std::clamp(column, 0, maxFirstColumn()); }

void IoText::select(int line, int a, int b) {
  if (line < 0 || line >= lineCount()) {
    selection_.reset();
    return;
  }
  const int len = static_cast<int>(lines_[static_cast<std::size_t>(line)].size());
  a = std::clamp(a, 0, len);
  b = std::clamp(b, 0, len);
  if (a > b) std::swap(a, b);
  if (a == b) {
    selection_.reset();
  } else {
    selection_ = TextSelection{line, a, b};
  }
}

void IoText::selectWord(int line, int column) {
  selection_.reset();
  if (line < 0 || line >= lineCount()) return;
  const std::string& s = lines_[static_cast<std::size_t>(line)];
  const int len = static_cast<int>(s.size());
  if (column < 0 || column >= len || s[static_cast<std::size_t>(column)] == ' ') return;
  int a = column;
  int b = column + 1;
  while (a > 0 && s[static_cast<std::size_t>(a - 1)] != ' ') --a;
  while (b < len && s[static_cast<std::size_t>(b)] != ' ') ++b;
  selection_ = TextSelection{line, a, b};
}

std::string IoText::selectedText() const {
  if (!selection_) return {};
  const std::string& s = lines_[static_cast<std::size_t>(selection_->line)];
  const auto a = std::min(static_cast<std::size_t>(selection_->start), s.size());
  const auto b = std::min(static_cast<std::size_t>(selection_->end), s.size());
  return s.substr(a, b - a);
}

void IoText::deleteSelection() {
  if (!selection_) return;
  const TextSelection sel = *selection_;
  std::string& s = lines_[static_cast<std::size_t>(sel.line)];
  const int len = static_cast<int>(s.size());
  const int a = std::min(sel.start, len);
  const int b = std::min(sel.end, len);
  s.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
  bytes_ -= static_cast<std::size_t>(b - a);
  if (sel.line == currentLine()) {
    if (caret_ >= b) {
      caret_ -= b - a;
    } else if (caret_ > a) {
      caret_ = a;
    }
  }
  selection_.reset();
  changed();
  keepCaretVisible();
}

std::vector<std::string> IoText::storedLines() const {
  const auto n = static_cast<std::size_t>(storedLineCount());
  return {lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(n)};
}

}  // namespace quelbro
