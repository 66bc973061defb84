// Fixed-field conventions, each checked against the value worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "console/fields.h"

namespace quelbro {
namespace {

struct FCase {
  double v;
  int w, d;
  const char* expected;
};

class FixedField : public ::testing::TestWithParam<FCase> {};

// The row's name for test selection: the value spelt out and the field, as Minus0Point0625_F6_3.
std::string rowName(const ::testing::TestParamInfo<FCase>& info) {
  std::ostringstream value;
  value << info.param.v;
  std::string name;
  for (char c : value.str()) {
    if (c == '-') {
      name += "Minus";
    } else if (c == '+') {
      name += "Plus";
    } else if (c == '.') {
      name += "Point";
    } else {
      name += c;
    }
  }
  return name + "_F" + std::to_string(info.param.w) + "_" + std::to_string(info.param.d);
}

TEST_P(FixedField, FormatsAsFixedFieldOutput) {
  const FCase& c = GetParam();
  EXPECT_EQ(F(c.v, c.w, c.d), c.expected) << c.v << " in F" << c.w << "." << c.d;
}

INSTANTIATE_TEST_SUITE_P(
    Conventions, FixedField,
    ::testing::Values(
        FCase{0.0625, 5, 3, "0.063"},      // half away from zero on the exact value
        FCase{-0.0625, 6, 3, "-0.063"},
        FCase{0.125, 4, 2, "0.13"},
        FCase{2.675, 5, 2, " 2.67"},       // 2.675 is 2.67499999... in binary
        FCase{-0.0523, 6, 4, "-.0523"},    // optional zero dropped
        FCase{0.5, 4, 3, ".500"},
        FCase{0.5, 5, 3, "0.500"},
        FCase{12.5, 4, 3, "****"},         // too wide even without the zero
        FCase{-0.00001, 7, 4, "-0.0000"},  // rounds to zero, keeps its sign
        FCase{-0.0, 7, 4, " 0.0000"},      // IEEE negative zero prints as zero
        FCase{35.0, 7, 0, "    35."},      // Fw.0 writes the point
        FCase{0.4, 5, 0, "   0."},
        FCase{0.99996, 7, 4, " 1.0000"},   // carry into the integer part
        FCase{9.99996, 6, 4, "******"},
        FCase{-9.99996, 8, 4, "-10.0000"},
        FCase{1.96, 6, 3, " 1.960"},
        FCase{1e20, 8, 2, "********"},
        FCase{123.456, 10, 4, "  123.4560"}),
    rowName);

// The exact decimal expansion of |v| (every double's fraction ends within
// 1074 places), rounded half away from zero at `places` after the point.
std::pair<std::string, std::string> roundedExactly(double v, int places) {
  static char buf[1500];
  std::snprintf(buf, sizeof buf, "%.1080f", std::fabs(v));
  std::string all = buf;
  const std::size_t dot = all.find('.');
  std::string digits = all.substr(0, dot) + all.substr(dot + 1, static_cast<std::size_t>(places));
  if (all[dot + 1 + static_cast<std::size_t>(places)] >= '5') {
    std::size_t k = digits.size();
    while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
    if (k == 0) {
      digits.insert(digits.begin(), '1');
    } else {
      ++digits[k - 1];
    }
  }
  const std::size_t ipLen = digits.size() - static_cast<std::size_t>(places);
  return {digits.substr(0, ipLen), digits.substr(ipLen)};
}

// Values at, just below and just above halves in the last place kept, and a
// spread of magnitudes: the digits are those of the exact value rounded half
// away from zero, in wide fields (no dropped zero, no asterisks).
TEST(FixedField, DigitsOfTheExactValueRoundedHalfAway) {
  std::vector<double> values = {0.5, 2.5, 0.125, 0.0625, 1.005, 2.675, 1e-9, 123456789.125, 0.3};
  std::uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 3000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const double mag = std::pow(10.0, static_cast<double>(x % 17) - 8.0);
    values.push_back(static_cast<double>(x >> 11) / 9007199254740992.0 * mag * ((x & 1) != 0 ? -1 : 1));
  }
  for (int k = 1; k < 2000; k += 7) {
    const double half = (k + 0.5) / 1024.0;  // exact halves at 10 places and fewer
    values.insert(values.end(), {half, std::nextafter(half, 0.0), std::nextafter(half, 1.0)});
  }
  for (double v : values) {
    for (int d : {0, 1, 2, 3, 4, 6, 10}) {
      const auto [ip, fp] = roundedExactly(v, d);
      const bool zero =
          ip.find_first_not_of('0') == std::string::npos && fp.find_first_not_of('0') == std::string::npos;
      std::string s = (v < 0 && !zero ? "-" : "") + ip + "." + fp;
      // Negative values that round to zero keep their sign.
      if (v < 0 && zero) s = "-" + s;
      s.insert(0, 40 - s.size(), ' ');
      EXPECT_EQ(F(v, 40, d), s) << v << " in F40." << d;
    }
  }
}

TEST(FixedField, NanIsRightJustified) {
  EXPECT_EQ(F(std::numeric_limits<double>::quiet_NaN(), 8, 4), "     NaN");
  EXPECT_EQ(F(std::numeric_limits<double>::quiet_NaN(), 2, 0), "**");
}

TEST(IntegerField, RightJustifiedOrAsterisks) {
  EXPECT_EQ(I(42, 5), "   42");
  EXPECT_EQ(I(-7, 3), " -7");
  EXPECT_EQ(I(12345, 4), "****");
  EXPECT_EQ(I(0, 1), "0");
}

TEST(CaseExponentField, ZeroBeforeThePointAndFiveSignificantDigits) {
  EXPECT_EQ(caseE(1.0), " 0.10000E+01");
  EXPECT_EQ(caseE(-0.25), "-0.25000E+00");
  EXPECT_EQ(caseE(0.0), " 0.00000E+00");
  EXPECT_EQ(caseE(3.25), " 0.32500E+01");
  EXPECT_EQ(caseE(1000.0), " 0.10000E+04");
  EXPECT_EQ(caseE(0.0001234567), " 0.12346E-03");
  EXPECT_EQ(caseE(99999.5), " 0.10000E+06");  // rounding carries into the exponent
  EXPECT_EQ(caseE(static_cast<float>(1.5e38)), " 0.15000E+39");
}

TEST(ListItems, WidthsOfIntegersAndReals) {
  EXPECT_EQ(listInt(10), "          10");
  EXPECT_EQ(listReal(1.0f), "   1.000000E+00");
  EXPECT_EQ(listReal(-0.125f), "  -1.250000E-01");
  EXPECT_EQ(listDouble(0.5), "  5.000000000000000E-001");
  EXPECT_EQ(listDouble(-1234.5), " -1.234500000000000E+003");
  EXPECT_EQ(std::string(ListLine().t("Error: Up to ").i(10).t(" readers may be entered")),
            " Error: Up to           10 readers may be entered");
}

TEST(LineBuilder, ColumnsCountFromOneAndWritesOverwrite) {
  EXPECT_EQ(Line().at(61, "DATE - ").t("08-Dec-26").str(), std::string(60, ' ') + "DATE - 08-Dec-26");
  EXPECT_EQ(Line().x(6).t("A= ").f(0.5, 7, 4).str(), "      A=  0.5000");
  Line l;
  l.at(6, "ABCDEFGHIJKLMNOP").at(12, "").x(3).f(1.0, 10, 4);
  EXPECT_EQ(l.str(), "     ABCDEFGHI    1.0000");  // the value overwrites from column 15
  EXPECT_EQ(padTo("abc", 5), "abc  ");
  EXPECT_EQ(padTo("abcdef", 3), "abc");
}

}  // namespace
}  // namespace quelbro
