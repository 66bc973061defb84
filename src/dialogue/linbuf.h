// The shared answer-line buffer LINBUF, word extraction (GETWRD) and the
// conversion of a word to a number (TONUM).
#pragma once

#include <string>
#include <string_view>

namespace quelbro {

inline constexpr std::size_t kLineWidth = 80;  // columns of an answer or data line

struct Word;

// LINBUF: always exactly 80 columns, blank-padded. Words are taken from the
// left; what follows the last word taken stays for the next call.
class LineBuffer {
 public:
  LineBuffer() : buf_(2 * kLineWidth, ' ') {}
  void set(std::string_view line);  // first 80 columns of the line, blank-padded
  void clear() { start_ = kLineWidth; }
  // The 80 columns as they stand now.
  std::string_view text() const { return {buf_.data() + start_, kLineWidth}; }

 private:
  friend Word GETWRD(LineBuffer& lin);
  // The line's 80 columns, then 80 blanks that are never written. The
  // buffer's columns are the 80 from `start_` on: taking a word moves the
  // start instead of moving the rest of the line, and the blanks behind
  // stand in for the ones a shift would bring in at the right end.
  std::string buf_;
  std::size_t start_ = 0;
};

struct Word {
  bool noword = true;
  // The word without padding, its length text.size(). It stands in LINBUF:
  // taking words leaves LINBUF's characters in place, so it is valid until
  // LINBUF is next set.
  std::string_view text;
  bool toEnd = false;  // the word runs to column 80
  int length() const { return static_cast<int>(text.size()); }
};

// Takes the next word (a run of characters up to a blank or tab) off LINBUF.
// The delimiter that ended the word is left in column 1; a word that runs to
// column 80 leaves LINBUF blank.
Word GETWRD(LineBuffer& lin);

struct NumberRead {
  bool error = true;
  double value = 0.0;
  int decimals = 0;  // digits after the point, as the fit report counts them
};

// Reads a word as a decimal number: optional sign, digits with an optional
// point (at least one digit), optional exponent e or E with optional sign and
// digits. Anything else, and values outside single-precision range, is an
// error, and so is a non-zero value smaller in magnitude than the smallest
// normal single-precision number. On success MAXDEC is raised to the word's
// decimal count.
NumberRead TONUM(std::string_view word, int& maxdec);

// Position of the last character that is not a blank, 1-based; 0 when none.
int lastNonBlank(std::string_view s);

// True when every character is a blank or a tab (or the text is empty).
bool isBlankText(std::string_view s);

}  // namespace quelbro
