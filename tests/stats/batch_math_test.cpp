// Tests of the many-at-once exponential and logarithm: every result the same bits as the C
// library's std::exp / std::log of the same argument, on every path and at every length.
#include "stats/batch_math.h"

#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace quelbro {
namespace {

using Args = std::vector<double>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kLn2 = 0.69314718055994530942;

std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }
double fromBits(std::uint64_t b) { return std::bit_cast<double>(b); }

// A fixed-seed generator (splitmix64), so every run tests the same values.
struct Random {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
  }
  double uniform(double low, double high) {
    return low + (high - low) * (static_cast<double>(next() >> 11) * 0x1p-53);
  }
};

void around(Args& v, double x, int ulps) {
  double down = x, up = x;
  v.push_back(x);
  for (int i = 0; i < ulps; ++i) {
    down = std::nextafter(down, -kInf);
    up = std::nextafter(up, kInf);
    v.push_back(down);
    v.push_back(up);
  }
}

// exp: each of the 128 table entries over many binades of the scale, at k ln2/128 and around
// k ln2/128 + ln2/256, where the rounding of k changes.
Args expTableEntries() {
  Args v;
  for (int j = -9; j <= 6; ++j)
    for (int i = 0; i < 128; ++i) {
      const double k = 128.0 * j + i;
      around(v, k * kLn2 / 128.0, 1);
      around(v, (k + 0.5) * kLn2 / 128.0, 3);
    }
  return v;
}

// The arguments the fits give: -x^2/2 for |x| <= 18.
Args expFitRange() {
  Args v;
  Random r{1};
  for (int i = 0; i < 20000; ++i) v.push_back(r.uniform(-162.0, 0.0));
  for (int i = 0; i < 2000; ++i) {
    const double x = r.uniform(-18.0, 18.0);
    v.push_back(-x * x / 2.0);
  }
  around(v, -162.0, 4);
  return v;
}

// The ends of the fast range (2^-54 <= |x| < 512) and everything outside it: tiny, subnormal,
// zero, overflow, underflow to subnormal and to zero, inf, NaN.
Args expEdges() {
  Args v;
  for (double x : {0x1p-54, -0x1p-54, 512.0, -512.0, 709.782712893384, 709.79, -708.3964185322641,
                   -745.1332191019411, -745.14, 1e-300, -1e-300, 1.0, -1.0})
    around(v, x, 2);
  for (double x : {0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308, 1e308, -1e308, kInf, -kInf,
                   std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()})
    v.push_back(x);
  return v;
}

Args expRandomMany() {
  Args v;
  Random r{2};
  for (int i = 0; i < 300000; ++i) v.push_back(r.uniform(-162.0, 0.0));
  for (int i = 0; i < 150000; ++i) v.push_back(r.uniform(-746.0, 710.0));
  for (int i = 0; i < 50000; ++i) v.push_back(fromBits(r.next()));
  return v;
}

// log: each of the 128 table entries at the start, middle and end of its subinterval, in
// binades from the smallest normal to the largest.
Args logTableEntries() {
  Args v;
  const std::uint64_t off = bitsOf(0x1.6p-1);
  for (int k : {-1022, -300, -24, -2, -1, 0, 1, 2, 30, 1023})
    for (std::uint64_t i = 0; i < 128; ++i)
      for (std::uint64_t inside : {0ull, 1ull, 1ull << 44, (1ull << 45) - 1}) {
        const std::uint64_t b = off + (i << 45) + inside + (static_cast<std::uint64_t>(k) << 52);
        if (b >= 0x0010000000000000 && b < 0x7ff0000000000000) v.push_back(fromBits(b));
      }
  return v;
}

// The probabilities the fits take logarithms of: from the floor 5e-8 up to 1.
Args logFitRange() {
  Args v;
  Random r{3};
  for (int i = 0; i < 20000; ++i) v.push_back(r.uniform(5e-8, 1.0));
  for (int i = 0; i < 4000; ++i) v.push_back(std::exp(r.uniform(std::log(5e-8), 0.0)));
  around(v, 5e-8, 4);
  return v;
}

// Near 1 (the library's own polynomial from 1 - 2^-4 to 1 + 0x1.09p-4) and its ends; tiny,
// subnormal, zero, negative, huge, inf, NaN.
Args logEdges() {
  Args v;
  for (double x : {1.0 - 0x1p-4, 1.0 + 0x1.09p-4, 1.0, 0.96, 1.03, 2.2250738585072014e-308,
                   1.7976931348623157e308, 0.5, 2.0})
    around(v, x, 2);
  for (double x : {0.0, -0.0, 5e-324, 1e-310, -1.0, -5e-8, -kInf, kInf,
                   std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()})
    v.push_back(x);
  Random r{4};
  for (int i = 0; i < 2000; ++i) v.push_back(r.uniform(0.9, 1.1));
  return v;
}

Args logRandomMany() {
  Args v;
  Random r{5};
  for (int i = 0; i < 300000; ++i) v.push_back(r.uniform(5e-8, 1.0));
  for (int i = 0; i < 100000; ++i) v.push_back(fromBits(0x0010000000000000 + r.next() % 0x7fe0000000000000));
  for (int i = 0; i < 100000; ++i) v.push_back(fromBits(r.next()));
  return v;
}

struct Family {
  const char* name;
  bool isExp;
  Args (*args)();
  bool everyLane;  // also shifted by 1..3, so every value meets every lane and block neighbour
};

const Family kFamilies[] = {
    {"ExpTableEntries", true, expTableEntries, true},
    {"ExpFitRange", true, expFitRange, true},
    {"ExpEdges", true, expEdges, true},
    {"ExpRandomHalfMillion", true, expRandomMany, false},
    {"LogTableEntries", false, logTableEntries, true},
    {"LogFitRange", false, logFitRange, true},
    {"LogEdges", false, logEdges, true},
    {"LogRandomHalfMillion", false, logRandomMany, false},
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

// Counts the results that differ in any bit from the library's; names the first.
int mismatches(const Family& f, const Args& x, const Args& y, std::string& first) {
  int bad = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double want = f.isExp ? std::exp(x[i]) : std::log(x[i]);
    if (bitsOf(y[i]) != bitsOf(want) && bad++ == 0)
      first = std::to_string(i) + ": " + std::to_string(bitsOf(x[i])) + " -> " +
              std::to_string(bitsOf(y[i])) + " not " + std::to_string(bitsOf(want));
  }
  return bad;
}

class BatchMath : public testing::TestWithParam<Family> {};

TEST_P(BatchMath, SameBitsAsTheCLibrary) {
  const Family& f = GetParam();
  const Args all = f.args();
  for (int shift = 0; shift < (f.everyLane ? 4 : 1); ++shift) {
    const Args x(all.begin() + shift, all.end());
    Args y(x.size());
    (f.isExp ? expMany : logMany)(x.data(), y.data(), static_cast<int>(x.size()));
    std::string first;
    EXPECT_EQ(mismatches(f, x, y, first), 0) << "shift " << shift << ", first at " << first;
  }
}

// The platform the tables come from: glibc 2.36 on a CPU with AVX2 and FMA.
bool tablesPlatform() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
         std::string(gnu_get_libc_version()) == "2.36";
}

// The four-lane routines themselves, called directly: a fault in them shows here with the
// argument it concerns, where the one-time check would only turn them off.
TEST_P(BatchMath, FourLanesSameBitsAsTheCLibrary) {
  if (!tablesPlatform()) GTEST_SKIP() << "another CPU or C library";
  const Family& f = GetParam();
  const Args x = f.args();
  Args y(x.size());
  (f.isExp ? batch_math_detail::expFourLanes : batch_math_detail::logFourLanes)(x.data(), y.data(),
                                                                                static_cast<int>(x.size()));
  std::string first;
  EXPECT_EQ(mismatches(f, x, y, first), 0) << "first at " << first;
}

INSTANTIATE_TEST_SUITE_P(Families, BatchMath, testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<Family>& p) { return std::string(p.param.name); });

// Every length from none to two blocks and a tail; nothing is written past the end, and the
// results may be written over the arguments.
TEST(BatchMathLengths, EveryLengthUpToNineInPlaceOrNot) {
  const Args expArgs = {-0.5, -161.9, 0.0, -3.25, kInf, -1e-20, -7.0, -0.001, -100.0, -2.0};
  const Args logArgs = {0.5, 5e-8, 1.0, 0.25, 0.0, 0.99, 1e-3, 0.7, -1.0, 0.3};
  for (int n = 0; n <= 9; ++n) {
    for (bool isExp : {true, false}) {
      const Args& x = isExp ? expArgs : logArgs;
      Args y(10, 42.0);
      Args inPlace = x;
      (isExp ? expMany : logMany)(x.data(), y.data(), n);
      (isExp ? expMany : logMany)(inPlace.data(), inPlace.data(), n);
      for (int i = 0; i < 10; ++i) {
        const double want = i < n ? (isExp ? std::exp(x[i]) : std::log(x[i])) : 42.0;
        EXPECT_EQ(bitsOf(y[i]), bitsOf(want)) << (isExp ? "exp" : "log") << " n " << n << " i " << i;
        EXPECT_EQ(bitsOf(inPlace[i]), bitsOf(i < n ? want : x[i])) << "in place, n " << n << " i " << i;
      }
    }
  }
}

// On the platform the tables come from the one-time check passes and the four-lane path is taken.
TEST(BatchMathChoice, FourLanesOnTheLibraryTheTablesComeFrom) {
  if (!tablesPlatform()) GTEST_SKIP() << "another CPU or C library";
  EXPECT_TRUE(batchMathVectorised());
}

}  // namespace
}  // namespace quelbro
