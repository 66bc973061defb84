// Fixed-field output: Fw.d, Iw, the exponent field of a case line, list items,
// and a line builder that places text at a column.
//
// The fields follow the long-standing conventions of fixed-field output:
// rounding half away from zero on the exact binary value, the zero before the
// point dropped when it does not fit, a field of asterisks when even that does
// not fit, a point written in Fw.0, IEEE negative zero written as zero and NaN
// written right-justified as "NaN".
#pragma once

#include <string>
#include <string_view>

namespace quelbro {

std::string F(double v, int w, int d);        // Fw.d
std::string I(long long v, int w);            // Iw
std::string caseE(double v);                  // " 0.10000E+01": width 12, 5 decimals
std::string blanks(int n);                    // n blanks (none when n <= 0)
std::string padTo(std::string_view s, std::size_t n);  // cut or blank-pad to n characters

// List-output items.
std::string listInt(long long v);    // right-justified in 12 columns
std::string listReal(float v);       // 15 columns, d.dddddde+xx form
std::string listDouble(double v);    // 24 columns, 15 decimals, three-digit exponent

// A line assembled from left to right with a write position that can also be
// moved back (writes overwrite what stands there). Columns count from 1.
class Line {
 public:
  Line() = default;
  explicit Line(std::string_view start) : s_(start), pos_(start.size()) {}

  Line& x(int n);                  // move the write position n columns right
  Line& col(int c);                // move the write position to column c
  Line& t(std::string_view text);  // write text at the write position
  Line& f(double v, int w, int d) { return t(F(v, w, d)); }
  Line& i(long long v, int w) { return t(I(v, w)); }
  Line& at(int c, std::string_view text) { return col(c).t(text); }

  const std::string& str() const { return s_; }
  operator std::string() const { return s_; }

 private:
  std::string s_;
  std::size_t pos_ = 0;
};

// A list-output line: one blank, then the items with no separator.
class ListLine {
 public:
  ListLine() : s_(" ") {}
  ListLine& t(std::string_view text) {
    s_ += text;
    return *this;
  }
  ListLine& i(long long v) {
    s_ += listInt(v);
    return *this;
  }
  ListLine& r(float v) {
    s_ += listReal(v);
    return *this;
  }
  ListLine& d(double v) {
    s_ += listDouble(v);
    return *this;
  }
  const std::string& str() const { return s_; }
  operator std::string() const { return s_; }

 private:
  std::string s_;
};

}  // namespace quelbro
