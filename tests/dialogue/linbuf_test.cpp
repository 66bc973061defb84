// Word extraction and number conversion of answer and data lines.
#include "dialogue/linbuf.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace quelbro {
namespace {

std::string cols(std::string s) {
  s.resize(kLineWidth, ' ');
  return s;
}

TEST(Getwrd, BlankAndTabOnlyLineHasNoWord) {
  LineBuffer lin;
  lin.set(" \t  \t\t   ");
  Word w = GETWRD(lin);
  EXPECT_TRUE(w.noword);
  EXPECT_EQ(w.length(), 0);
}

TEST(Getwrd, TwoDigitWordLeavesBufferBlank) {
  LineBuffer lin;
  lin.set("12");
  Word w = GETWRD(lin);
  ASSERT_FALSE(w.noword);
  EXPECT_EQ(w.text, "12");
  EXPECT_EQ(w.length(), 2);
  EXPECT_EQ(lin.text(), std::string(80, ' '));
  EXPECT_TRUE(GETWRD(lin).noword);
}

TEST(Getwrd, WordsComeInOrderAndTheDelimiterStaysInColumnOne) {
  LineBuffer lin;
  lin.set("  3.5\t4 first  reading");
  EXPECT_EQ(GETWRD(lin).text, "3.5");
  EXPECT_EQ(lin.text(), cols("\t4 first  reading"));
  EXPECT_EQ(GETWRD(lin).text, "4");
  EXPECT_EQ(lin.text(), cols(" first  reading"));
  EXPECT_EQ(GETWRD(lin).text, "first");
  EXPECT_EQ(GETWRD(lin).text, "reading");
  EXPECT_TRUE(GETWRD(lin).noword);
}

TEST(Getwrd, WordRunningToColumn80BlanksTheBuffer) {
  LineBuffer lin;
  lin.set(std::string(70, ' ') + "abcdefghijKLM");  // columns 71..83; 81.. are not read
  Word w = GETWRD(lin);
  EXPECT_EQ(w.text, "abcdefghij");
  EXPECT_EQ(lin.text(), std::string(80, ' '));
}

TEST(Getwrd, OnlyEightyColumnsAreRead) {
  LineBuffer lin;
  lin.set(std::string(80, ' ') + "late");
  EXPECT_TRUE(GETWRD(lin).noword);
}

TEST(Getwrd, BytesAboveAsciiArePartOfWords) {
  LineBuffer lin;
  lin.set("\xC3\xA9t\xC3\xA9 x");
  EXPECT_EQ(GETWRD(lin).text, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(GETWRD(lin).text, "x");
}

struct NumCase {
  const char* word;
  bool ok;
  double value;  // expected value, compared exactly or to float precision
  int decimals;
};

class TonumTable : public ::testing::TestWithParam<NumCase> {};

// The row's name for test selection: what is expected and the word spelt out, as
// Reads_Minus3Point25 or Refuses_1ePlus.
std::string rowName(const ::testing::TestParamInfo<NumCase>& info) {
  std::string name = info.param.ok ? "Reads_" : "Refuses_";
  const std::string word = info.param.word;
  if (word.empty()) return name + "Empty";
  for (char c : word) {
    if (c == '-') {
      name += "Minus";
    } else if (c == '+') {
      name += "Plus";
    } else if (c == '.') {
      name += "Point";
    } else if (c == ',') {
      name += "Comma";
    } else {
      name += c;
    }
  }
  return name;
}

TEST_P(TonumTable, ReadsTheWordWhole) {
  const NumCase& c = GetParam();
  int maxdec = 0;
  NumberRead r = TONUM(c.word, maxdec);
  EXPECT_EQ(!r.error, c.ok) << c.word;
  if (c.ok && !r.error) {
    EXPECT_DOUBLE_EQ(r.value, c.value) << c.word;
    EXPECT_EQ(r.decimals, c.decimals) << c.word;
    EXPECT_EQ(maxdec, c.decimals) << c.word;
  }
  if (!c.ok) {
    EXPECT_EQ(maxdec, 0) << c.word << ": a refused word must not raise MAXDEC";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TonumTable,
    ::testing::Values(
        // Accepted decimal forms.
        NumCase{"7", true, 7.0, 0}, NumCase{"-3.25", true, -3.25, 2}, NumCase{"1e3", true, 1000.0, 0},
        NumCase{"2.5E-1", true, 0.25, 2}, NumCase{".5", true, 0.5, 1}, NumCase{"+4", true, 4.0, 0},
        NumCase{"5.", true, 5.0, 0}, NumCase{"-.75", true, -0.75, 2}, NumCase{"1.50", true, 1.5, 2},
        NumCase{"0.32500E+01", true, 3.25, 2}, NumCase{"0.10000E+01", true, 1.0, 0},
        NumCase{"1.25e-3", true, 0.00125, 5}, NumCase{"120E-1", true, 12.0, 0}, NumCase{"0", true, 0.0, 0},
        NumCase{"-0.0", true, 0.0, 1},
        // Long words are read whole: no cut at 15 characters, no implied decimals.
        NumCase{"1.2345678901e+10", true, 12345678901.0, 0},
        NumCase{"123456789012345", true, 123456789012345.0, 0},
        NumCase{"12345678901234", true, 12345678901234.0, 0},
        NumCase{"0.000000000000000001", true, 1e-18, 18},
        // Near the single-precision limit: 3.4028235e38 rounds to the largest float.
        NumCase{"3.4028235e38", true, 3.4028235e38, 0},
        // Zero written with any exponent is zero.
        NumCase{"0e-500", true, 0.0, 0}, NumCase{"-0.000e-400", true, 0.0, 0},
        // The smallest normal single-precision number is 1.17549435082e-38: the
        // first 8-digit decimal above it is accepted, everything non-zero below refused.
        NumCase{"1.1754944e-38", true, 1.1754944e-38, 45},
        NumCase{"-1.1754944e-38", true, -1.1754944e-38, 45}, NumCase{"1.17549435e-38", false, 0, 0},
        NumCase{"-1e-38", false, 0, 0}, NumCase{"1e-45", false, 0, 0}, NumCase{"1e-120", false, 0, 0},
        NumCase{"-1e-120", false, 0, 0}, NumCase{"1e-400", false, 0, 0},
        NumCase{"0.00000000000000000000000000000000000000001", false, 0, 0},
        // Refused words.
        NumCase{"abc", false, 0, 0}, NumCase{"-", false, 0, 0}, NumCase{"+", false, 0, 0},
        NumCase{".", false, 0, 0}, NumCase{"-.", false, 0, 0}, NumCase{"e5", false, 0, 0},
        NumCase{"1e", false, 0, 0}, NumCase{"1e+", false, 0, 0}, NumCase{"1.2.3", false, 0, 0},
        NumCase{"1d3", false, 0, 0}, NumCase{"1D3", false, 0, 0}, NumCase{"0x1A", false, 0, 0},
        NumCase{"nan", false, 0, 0}, NumCase{"NaN", false, 0, 0}, NumCase{"inf", false, 0, 0},
        NumCase{"-infinity", false, 0, 0}, NumCase{"3.5e38", false, 0, 0}, NumCase{"-1e39", false, 0, 0},
        NumCase{"1e400", false, 0, 0}, NumCase{"12abc", false, 0, 0}, NumCase{"1,5", false, 0, 0},
        NumCase{"--1", false, 0, 0}, NumCase{"1e5.0", false, 0, 0}, NumCase{"", false, 0, 0}),
    rowName);

TEST(Tonum, MaxdecOnlyRises) {
  int maxdec = 0;
  TONUM("1.234", maxdec);
  EXPECT_EQ(maxdec, 3);
  TONUM("2.5", maxdec);
  EXPECT_EQ(maxdec, 3);
  TONUM("0.1234567", maxdec);
  EXPECT_EQ(maxdec, 7);
}

TEST(Tonum, ValuesFitInSinglePrecision) {
  // Every accepted value converts to a finite float.
  int maxdec = 0;
  for (const char* w :
       {"3.4028235e38", "-3.4028235e38", "3.40282356e38", "1.1754944e-38", "-1.1754944e-38"}) {
    NumberRead r = TONUM(w, maxdec);
    ASSERT_FALSE(r.error) << w;
    EXPECT_TRUE(std::isfinite(static_cast<float>(r.value))) << w;
    EXPECT_TRUE(std::isnormal(static_cast<float>(r.value))) << w;
  }
  // 2^128 - 2^104 is the first value that rounds to infinity.
  EXPECT_TRUE(TONUM("3.4028236692e38", maxdec).error);
}

// A value is the double nearest to the word's decimal value, to the last bit
// and with its sign, as strtod reads it: around the limits of the short way
// (mantissas about 2^53, powers of ten about 10^22, 19 and 20 digits) and over
// a sweep of words like those of case data files.
TEST(Tonum, ValueIsTheNearestDoubleToTheLastBit) {
  std::vector<std::string> words = {"9007199254740992",
                                    "9007199254740993",
                                    "9007199254740995",
                                    "900719925474099.3",
                                    "9007199254740993e-22",
                                    "9007199254740993e-23",
                                    "1e22",
                                    "1e-22",
                                    "3e22",
                                    "3e23",
                                    "123.456e-20",
                                    "123.456e-21",
                                    "1234567890123456789",
                                    "12345678901234567891",
                                    "0.1234567890123456789",
                                    "-0.0",
                                    "-0e5",
                                    "+0.000",
                                    "4.35483E-01",
                                    "-7.05257E-01",
                                    "1.000000000000000111",
                                    "0.000000000000000000001e20",
                                    "2.2250738585072014e-8",
                                    "99999999999999999999e-10"};
  std::uint32_t x = 2463534242u;
  auto next = [&x] {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    return x;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string w = (next() & 1) ? "-" : "";
    const int digits = 1 + static_cast<int>(next() % 18);
    const int point = static_cast<int>(next() % static_cast<std::uint32_t>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) w += '.';
      w += static_cast<char>('0' + next() % 10);
    }
    if (next() % 2 == 0) {
      w += 'E';
      w += std::to_string(static_cast<int>(next() % 36) - 15);
    }
    words.push_back(w);
  }
  for (const std::string& w : words) {
    int maxdec = 0;
    const NumberRead r = TONUM(w, maxdec);
    const double expected = std::strtod(w.c_str(), nullptr);
    ASSERT_FALSE(r.error) << w;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(r.value), std::bit_cast<std::uint64_t>(expected)) << w;
  }
}

TEST(LineHelpers, LastNonBlankAndBlankText) {
  EXPECT_EQ(lastNonBlank(""), 0);
  EXPECT_EQ(lastNonBlank("   "), 0);
  EXPECT_EQ(lastNonBlank(" ab  "), 3);
  EXPECT_EQ(lastNonBlank("a\t "), 2);
  EXPECT_TRUE(isBlankText(" \t "));
  EXPECT_FALSE(isBlankText(" x "));
}

}  // namespace
}  // namespace quelbro
