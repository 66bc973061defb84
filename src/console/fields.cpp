// Fixed-field number formatting on the exact decimal value of a double.
#include "console/fields.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace quelbro {
namespace {

// Exact decimal expansion of a finite, non-negative double: integer digits
// (no leading zeros, "0" for none) and fractional digits. Every double's
// fraction ends within 1074 places, so 1080 places are exact.
struct Exact {
  std::string ip;
  std::string fp;
};

Exact exactOf(double a) {
  char buf[1500];  // no static: lines are formatted on more than one thread
  int n = std::snprintf(buf, sizeof buf, "%.1080f", a);
  std::string s(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
  auto dot = s.find('.');
  Exact e{s.substr(0, dot), s.substr(dot + 1)};
  return e;
}

// The rounding below needs the digits up to place `d` and whether the rest is
// at least one half. Printing kGuard more places (correctly rounded by the C
// library) settles that unless the guard digits read exactly 5000...0, where
// the value may lie just below the half: only then is the whole exact
// expansion written out.
constexpr int kGuard = 25;

bool ambiguousHalf(const std::string& guard) {
  return guard.size() == static_cast<std::size_t>(kGuard) && guard[0] == '5' &&
         guard.find_first_not_of('0', 1) == std::string::npos;
}

// std::to_chars with a precision writes exactly what printf writes in the "C"
// locale with that precision ("%.*f", "%.*e"), and does so without printf's
// long arithmetic: the digits below are the same either way.
std::string printed(double a, std::chars_format form, int precision) {
  char buf[512];
  const auto r = std::to_chars(buf, buf + sizeof buf, a, form, precision);
  return std::string(buf, r.ec == std::errc() ? r.ptr : buf);
}

Exact fixedDigits(double a, int d) {
  if (d > 60) return exactOf(a);
  std::string s = printed(a, std::chars_format::fixed, d + kGuard);
  auto dot = s.find('.');
  Exact e{s.substr(0, dot), s.substr(dot + 1)};
  if (ambiguousHalf(e.fp.substr(static_cast<std::size_t>(d)))) return exactOf(a);
  return e;
}

// Adds one unit in the last place of a digit string; returns true on carry out.
bool increment(std::string& digits) {
  for (std::size_t k = digits.size(); k-- > 0;) {
    if (digits[k] == '9') {
      digits[k] = '0';
    } else {
      ++digits[k];
      return false;
    }
  }
  return true;
}

std::string stars(int w) { return std::string(w > 0 ? static_cast<std::size_t>(w) : 0, '*'); }

std::string rightJustify(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// Mantissa digits and decimal exponent of |v| rounded half away from zero to
// `sig` significant digits, as 0.d1d2...dsig x 10^exp. Zero gives all zeros.
void significant(double a, int sig, std::string& digits, int& exp) {
  if (a == 0.0) {
    digits.assign(static_cast<std::size_t>(sig), '0');
    exp = 0;
    return;
  }
  {
    std::string s = printed(a, std::chars_format::scientific, sig - 1 + kGuard);
    auto epos = s.find('e');
    std::string mant = s.substr(0, 1) + s.substr(2, epos - 2);
    if (!ambiguousHalf(mant.substr(static_cast<std::size_t>(sig)))) {
      exp = std::atoi(s.c_str() + epos + 1) + 1;
      bool up = mant[static_cast<std::size_t>(sig)] >= '5';
      digits = mant.substr(0, static_cast<std::size_t>(sig));
      if (up && increment(digits)) {
        digits.assign(static_cast<std::size_t>(sig), '0');
        digits[0] = '1';
        ++exp;
      }
      return;
    }
  }
  Exact e = exactOf(a);
  std::string all = e.ip == "0" ? e.fp : e.ip + e.fp;
  int pointAfter = e.ip == "0" ? 0 : static_cast<int>(e.ip.size());
  std::size_t first = all.find_first_not_of('0');
  exp = pointAfter - static_cast<int>(first);
  std::string rest = all.substr(first);
  rest.resize(static_cast<std::size_t>(sig) + 1, '0');
  bool up = rest[static_cast<std::size_t>(sig)] >= '5';
  digits = rest.substr(0, static_cast<std::size_t>(sig));
  if (up && increment(digits)) {
    digits.assign(static_cast<std::size_t>(sig), '0');
    digits[0] = '1';
    ++exp;
  }
}

std::string expo(int e, int width) {
  std::string s = std::to_string(e < 0 ? -e : e);
  if (static_cast<int>(s.size()) < width) s = std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
  return std::string(e < 0 ? "-" : "+") + s;
}

// d.ddd...E+xx with `dec` decimals: one digit before the point.
std::string scientific(double v, int dec, int expWidth, int w) {
  if (std::isnan(v)) return rightJustify("NaN", w);
  if (std::isinf(v)) return rightJustify(v < 0 ? "-Inf" : "Inf", w);
  std::string digits;
  int exp = 0;
  significant(std::fabs(v), dec + 1, digits, exp);
  int e10 = v == 0.0 ? 0 : exp - 1;
  std::string s = (std::signbit(v) && v != 0.0) ? "-" : "";
  s += digits.substr(0, 1) + "." + digits.substr(1) + "E" + expo(e10, expWidth);
  return rightJustify(s, w);
}

}  // namespace

std::string F(double v, int w, int d) {
  if (w <= 0) return "";
  if (std::isnan(v)) return rightJustify("NaN", w);
  if (std::isinf(v)) return rightJustify(v < 0 ? "-Inf" : "Inf", w);
  Exact e = fixedDigits(std::fabs(v), d);
  std::string frac = e.fp.substr(0, static_cast<std::size_t>(d));
  bool up = e.fp[static_cast<std::size_t>(d)] >= '5';
  std::string ip = e.ip;
  if (up) {
    std::string all = ip + frac;
    if (increment(all)) all.insert(all.begin(), '1');
    ip = all.substr(0, all.size() - frac.size());
    frac = all.substr(ip.size());
  }
  bool neg = std::signbit(v) && v != 0.0;
  std::string sign = neg ? "-" : "";
  std::string s = sign + ip + "." + frac;
  if (static_cast<int>(s.size()) > w && ip == "0" && d > 0) s = sign + "." + frac;
  return rightJustify(s, w);
}

std::string I(long long v, int w) { return rightJustify(std::to_string(v), w); }

std::string caseE(double v) {
  const int w = 12;
  if (std::isnan(v)) return rightJustify("NaN", w);
  if (std::isinf(v)) return rightJustify(v < 0 ? "-Inf" : "Inf", w);
  std::string digits;
  int exp = 0;
  significant(std::fabs(v), 5, digits, exp);
  std::string s = (std::signbit(v) && v != 0.0) ? "-" : "";
  s += "0." + digits + "E" + expo(exp, 2);
  return rightJustify(s, w);
}

std::string blanks(int n) { return std::string(n > 0 ? static_cast<std::size_t>(n) : 0, ' '); }

std::string padTo(std::string_view s, std::size_t n) {
  std::string r(s.substr(0, n));
  r.resize(n, ' ');
  return r;
}

std::string listInt(long long v) { return I(v, 12); }
std::string listReal(float v) { return scientific(static_cast<double>(v), 6, 2, 15); }
std::string listDouble(double v) { return scientific(v, 15, 3, 24); }

Line& Line::x(int n) {
  if (n > 0) col(static_cast<int>(pos_) + n + 1);
  return *this;
}

Line& Line::col(int c) {
  std::size_t p = c > 1 ? static_cast<std::size_t>(c - 1) : 0;
  if (s_.size() < p) s_.resize(p, ' ');
  pos_ = p;
  return *this;
}

Line& Line::t(std::string_view text) {
  if (s_.size() < pos_ + text.size()) s_.resize(pos_ + text.size(), ' ');
  s_.replace(pos_, text.size(), text);
  pos_ += text.size();
  return *this;
}

}  // namespace quelbro
