// Fuzz target: GETWRD takes every word of the input's first 80 columns and
// TONUM reads each; the results are checked against the rules of the line
// parser and against an independent reading with strtod.
#include <cmath>
#include <limits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dialogue/linbuf.h"

namespace {

bool delimiter(char c) { return c == ' ' || c == '\t'; }
bool digit(char c) { return c >= '0' && c <= '9'; }

// The accepted form, written out independently: sign, digits with an optional
// point and at least one digit, then optionally e/E, an optional sign, digits.
bool wellFormed(std::string_view w) {
  std::size_t p = 0, n = w.size(), mant = 0;
  if (p < n && (w[p] == '+' || w[p] == '-')) ++p;
  while (p < n && digit(w[p])) ++p, ++mant;
  if (p < n && w[p] == '.') {
    ++p;
    while (p < n && digit(w[p])) ++p, ++mant;
  }
  if (mant == 0) return false;
  if (p < n && (w[p] == 'e' || w[p] == 'E')) {
    ++p;
    if (p < n && (w[p] == '+' || w[p] == '-')) ++p;
    std::size_t e = 0;
    while (p < n && digit(w[p])) ++p, ++e;
    if (e == 0) return false;
  }
  return p == n;
}

void check(std::string_view word) {
  int maxdec = 0;
  quelbro::NumberRead r = quelbro::TONUM(word, maxdec);
  if (!wellFormed(word)) {
    if (!r.error) std::abort();  // only the decimal forms are numbers
    return;
  }
  const double ref = std::strtod(std::string(word).c_str(), nullptr);
  // Rounds to a finite float: below the largest float plus half its spacing.
  const bool fitsFloat = std::fabs(ref) < std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
  // Non-zero values below the smallest normal float are refused too.
  // (A non-zero mantissa whose value underflows even a double counts as tiny.)
  bool nonzeroMantissa = false;
  for (char c : word) {
    if (c == 'e' || c == 'E') break;
    if (c >= '1' && c <= '9') nonzeroMantissa = true;
  }
  const bool tiny =
      nonzeroMantissa && std::fabs(ref) < static_cast<double>(std::numeric_limits<float>::min());
  if (r.error) {
    // Refused only when out of single-precision range.
    if (fitsFloat && !tiny) std::abort();
    return;
  }
  if (tiny) std::abort();
  if (!std::isfinite(r.value) || !fitsFloat) std::abort();
  // The value as stored (single precision) is the correctly rounded one.
  if (static_cast<float>(r.value) != static_cast<float>(ref)) std::abort();
  if (r.decimals < 0 || maxdec != r.decimals) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The whole input as one word, whatever it holds.
  check(text);

  quelbro::LineBuffer lin;
  lin.set(text);
  const std::string line(lin.text());
  if (line.size() != quelbro::kLineWidth) std::abort();
  // Independent word list of the 80 columns.
  std::size_t pos = 0;
  for (int taken = 0;; ++taken) {
    if (taken > 41) std::abort();  // 80 columns hold at most 40 words
    quelbro::Word w = quelbro::GETWRD(lin);
    if (lin.text().size() != quelbro::kLineWidth) std::abort();
    while (pos < line.size() && delimiter(line[pos])) ++pos;
    if (pos >= line.size()) {
      if (!w.noword) std::abort();
      break;
    }
    std::size_t end = pos;
    while (end < line.size() && !delimiter(line[end])) ++end;
    if (w.noword || w.text != line.substr(pos, end - pos)) std::abort();
    pos = end;
    check(w.text);
  }
  return 0;
}
