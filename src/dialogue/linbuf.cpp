// LINBUF, GETWRD and TONUM: the line parsing every answer and data line goes through.
#include "dialogue/linbuf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace quelbro {

namespace {

bool isDelimiter(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Largest magnitude that still rounds to a finite float (FLT_MAX plus half an ulp).
const double kFloatLimit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);

}  // namespace

void LineBuffer::set(std::string_view line) {
  const std::size_t n = std::min(line.size(), kLineWidth);
  std::copy_n(line.data(), n, buf_.data());
  std::fill(buf_.data() + n, buf_.data() + kLineWidth, ' ');
  start_ = 0;
}

Word GETWRD(LineBuffer& lin) {
  Word w;
  const char* b = lin.buf_.data();
  // Columns 1..80 are b[start .. start+80); everything behind the line's own
  // 80 columns is blank, so a word ends at b[80] at the latest and the start
  // never passes 80: the 160 characters always hold the 80 columns.
  const std::size_t start = lin.start_, stop = start + kLineWidth;
  std::size_t i = start;
  while (i < stop && isDelimiter(b[i])) ++i;
  if (i >= stop) return w;
  w.noword = false;
  std::size_t j = i;
  while (j < stop && !isDelimiter(b[j])) ++j;
  w.text = std::string_view(b + i, j - i);
  if (j >= stop) {
    w.toEnd = true;
    lin.clear();
  } else {
    // The delimiter that ended the word becomes column 1; the columns behind
    // the line are blanks, as a shift to the left would have brought in.
    lin.start_ = j;
  }
  return w;
}

NumberRead TONUM(std::string_view word, int& maxdec) {
  NumberRead r;
  const std::size_t n = word.size();
  std::size_t p = 0;
  if (p < n && (word[p] == '+' || word[p] == '-')) ++p;
  std::size_t intDigits = 0, fracDigits = 0;
  // Where the first and last nonzero mantissa digits stand, counting digits
  // only (the point not counted).
  long long firstNonzero = -1, lastNonzero = -1;
  // The digits from the first nonzero one on, as an integer while they fit
  // in 19 digits.
  std::uint64_t mantissa = 0;
  int mantissaDigits = 0;
  auto digit = [&](std::size_t at) {
    if (word[p] != '0') {
      if (firstNonzero < 0) firstNonzero = static_cast<long long>(at);
      lastNonzero = static_cast<long long>(at);
    }
    if (firstNonzero >= 0 && mantissaDigits++ < 19)
      mantissa = mantissa * 10 + static_cast<unsigned>(word[p] - '0');
  };
  while (p < n && isDigit(word[p])) digit(intDigits), ++p, ++intDigits;
  bool point = false;
  if (p < n && word[p] == '.') {
    point = true;
    ++p;
    while (p < n && isDigit(word[p])) digit(intDigits + fracDigits), ++p, ++fracDigits;
  }
  if (intDigits + fracDigits == 0) return r;
  bool exponent = false;
  long long expValue = 0;
  if (p < n && (word[p] == 'e' || word[p] == 'E')) {
    exponent = true;
    ++p;
    bool expNegative = false;
    if (p < n && (word[p] == '+' || word[p] == '-')) {
      expNegative = word[p] == '-';
      ++p;
    }
    std::size_t expDigits = 0;
    while (p < n && isDigit(word[p])) {
      if (expValue < 100000) expValue = expValue * 10 + (word[p] - '0');  // saturates far out of range
      ++p, ++expDigits;
    }
    if (expDigits == 0) return r;
    if (expNegative) expValue = -expValue;
  }
  if (p != n) return r;

  double value = 0.0;
  // The word's value is mantissa x 10^scale. When the mantissa has at most 2^53
  // (every such integer is a double) and |scale| <= 22 (10^22 = 2^22 x 5^22 with
  // 5^22 < 2^53 is a double too), one multiplication or division of two exact
  // doubles gives it: IEEE arithmetic rounds that one operation to the nearest
  // double, ties to even, which is the value a correctly rounded conversion of
  // the text (from_chars) gives as well. The sign is applied exactly, so a
  // negative zero stays one. Everything else goes the long way.
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const long long scale = expValue - static_cast<long long>(fracDigits);
  if (mantissaDigits <= 19 && mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
    const double m = static_cast<double>(mantissa);
    value = scale >= 0 ? m * kPow10[scale] : m / kPow10[-scale];
    if (word[0] == '-') value = -value;
  } else {
    std::string_view body = word.substr(word[0] == '+' ? 1 : 0);
    auto res = std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
      // Zero digits read as zero whatever the exponent; otherwise the value is
      // too large or too small for a double, outside single precision either way.
      if (firstNonzero >= 0) return r;
      value = 0.0;
    } else if (res.ec != std::errc() || res.ptr != body.data() + body.size()) {
      return r;
    }
  }
  if (!std::isfinite(value) || std::fabs(value) >= kFloatLimit) return r;
  // Below the smallest normal single-precision number a value would be
  // stored with lost digits or as zero: refused like one above the range.
  if (value != 0.0 && std::fabs(value) < static_cast<double>(std::numeric_limits<float>::min())) return r;

  int decimals = 0;
  if (exponent) {
    // Decimals of the value once the exponent is applied, trailing zeros not counted.
    if (lastNonzero >= 0) {
      long long d = lastNonzero + 1 - static_cast<long long>(intDigits) - expValue;
      decimals = static_cast<int>(std::clamp(d, 0LL, 99LL));
    }
  } else if (point) {
    decimals = static_cast<int>(n - (word.find('.') + 1));
  }
  if (decimals > maxdec) maxdec = decimals;
  r.error = false;
  r.value = value;
  r.decimals = decimals;
  return r;
}

int lastNonBlank(std::string_view s) {
  for (std::size_t i = s.size(); i > 0; --i)
    if (s[i - 1] != ' ') return static_cast<int>(i);
  return 0;
}

bool isBlankText(std::string_view s) {
  for (char c : s)
    if (!isDelimiter(c)) return false;
  return true;
}

}  // namespace quelbro
