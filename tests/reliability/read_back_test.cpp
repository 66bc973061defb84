// Typed studies saved to a store file and the store file read back: the two
// runs print the same analyses (what the report says about the input source
// and the blank the store file puts before each name aside). A stored result
// keeps five significant digits, so the studies use no more.
#include <gtest/gtest.h>

#include "reliability_support.h"

namespace quelbro::reliability {
namespace {

std::vector<std::string> crlfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// The report without the lines that name the input source or a reader.
std::vector<std::string> analysesOf(const std::string& report, const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& l : crlfLines(report)) {
    bool skip = l.find("NAME OF") != std::string::npos || l.find("Reader:") != std::string::npos;
    for (const std::string& n : names) skip = skip || l.find(n) != std::string::npos;
    if (!skip) out.push_back(l);
  }
  return out;
}

struct ReadBack {
  const char* name;
  std::vector<std::string> study;  // the answers after the opening questions
};

class TypedAndReadBack : public ::testing::TestWithParam<ReadBack> {};

TEST_P(TypedAndReadBack, PrintIdenticalAnalyses) {
  WorkDir dir;
  std::vector<std::string> typed = {"n", "y", "s.dat", "y", "typed.out"};
  typed.insert(typed.end(), GetParam().study.begin(), GetParam().study.end());
  typed.push_back("q");
  runProgram(typed);
  const auto screen = runProgram({"y", "s.dat", "y", "read.out", "q"});
  const std::vector<std::string> names = {"Ann", "Bob"};
  const auto a = analysesOf(slurp("typed.out"), names), b = analysesOf(slurp("read.out"), names);
  ASSERT_GT(a.size(), 100u) << "no analysis in the typed run";
  ASSERT_EQ(a.size(), b.size()) << around(screen, -1);
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], b[i]) << "report line " << i + 1;
}

// Two readers, two treatments, five cases per truth state, rated 1 to 5 (the
// fits on all cases converge); the second reader's lines.
const std::vector<std::string> kBob = {"Bob", "1 2", "2 1", "3 3", "2 3", "4 2", "*",
                                       "3 4", "5 3", "4 5", "2 2", "5 4", "*",   "#"};
const std::vector<std::string> kAnnPositives = {"3 4", "5 3", "2 5", "4 3", "5 5", "*"};

std::vector<std::string> study(std::vector<std::string> firstReader) {
  std::vector<std::string> s = {"Read back", "2", "Ann", "2", "CT", "MR", "L L", "5", "5"};
  s.insert(s.end(), firstReader.begin(), firstReader.end());
  s.insert(s.end(), kBob.begin(), kBob.end());
  return s;
}

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, TypedAndReadBack,
    ::testing::Values(
        // Values near the bottom of single precision; the tiny ones are refused
        // and typed again.
        ReadBack{"TinyValues",
                 study(with({"1.2e-38 1", "-1e-120 2", "2 2", "1e-120 1", "3 1", "2 4", "-1.5e-38 2", "*"},
                            kAnnPositives))},
        // Five significant digits (what a stored line keeps) in every form.
        ReadBack{"FiveSignificantDigits",
                 study(with({"3.3333 1", "0.00012345 2", "-2.7182e3 1", "3.4027e38 4", "4 2", "*"},
                            kAnnPositives))},
        // A block refused for its count (two lines of five) and typed again
        // with whole numbers: its decimals do not count.
        ReadBack{
            "RetypedBlockLeavesNoDecimals",
            study(with({"1.12345 1", "2 2", "*", "1 1", "2 2", "3 1", "2 4", "4 2", "*"}, kAnnPositives))}),
    [](const ::testing::TestParamInfo<ReadBack>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quelbro::reliability
