// Case entry and the case data file: typed lines checked and stored, and the
// stored file read back.
#include "dialogue/entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace quelbro {
namespace {

class TempDir {
 public:
  TempDir() {
    std::string t = (fs::temp_directory_path() / "quelbro-entry-XXXXXX").string();
    if (mkdtemp(t.data()) != nullptr) path_ = t;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string file(const char* name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

std::string slurp(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const std::vector<std::string>& lines, const std::string& s) {
  for (const auto& l : lines)
    if (l == s) return true;
  return false;
}

struct Typed {
  ScriptedConsole con;
  FixedClock clock{2026, 12, 8, 10, 30, 0};
  Session s{con, clock, "title"};
  Study st;
  Typed(int ntrt) {
    st.NTRT = ntrt;
    st.RDRNAM[1] = "Reader              ";
  }
};

TEST(GetData, FiveTreatmentCommentLimit) {
  Typed t(5);
  // 14 comment characters after one blank fit; 15 do not.
  t.con.addAnswer("1 2 3 4 5 " + std::string(15, 'c'));
  t.con.addAnswer("1 2 3 4 5 " + std::string(14, 'c'));
  t.con.addAnswer("*");
  int count = -1;
  EXPECT_EQ(READIN(t.s, t.st, 1, 1, count), BlockEnd::Done);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(contains(t.con.lines(), "   ---   Comment is too long by  1 characters   ---"));
  EXPECT_TRUE(contains(t.con.lines(), "   --- Comments must be less than 14 characters ---"));
  EXPECT_FLOAT_EQ(t.st.XNEG(5, 1), 5.0f);
}

TEST(GetData, AsteriskInSecondWordEndsTheBlock) {
  Typed t(2);
  t.con.addAnswer("1 2");
  t.con.addAnswer("7 *");
  int count = -1;
  EXPECT_EQ(READIN(t.s, t.st, 2, 1, count), BlockEnd::Done);
  EXPECT_EQ(count, 1);
  EXPECT_FLOAT_EQ(t.st.XPOS(1, 2), 0.0f);  // the 7 did not become case 2
}

TEST(GetData, RefusedLineLeavesMaxdecAlone) {
  Typed t(2);
  t.con.addAnswer("1.2345 abc");  // refused: the first word's decimals do not count
  t.con.addAnswer("1.5 2");
  t.con.addAnswer("*");
  int count = 0;
  READIN(t.s, t.st, 1, 1, count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(t.st.MAXDEC, 1);
}

TEST(GetData, TypedEntryRefusesThe2001stLine) {
  Typed t(1);
  for (int i = 0; i < 2001; ++i) t.con.addAnswer(std::to_string(i % 5 + 1));
  t.con.addAnswer("*");
  int count = 0;
  EXPECT_EQ(READIN(t.s, t.st, 1, 1, count), BlockEnd::Done);
  EXPECT_EQ(count, 2000);
  EXPECT_TRUE(contains(t.con.lines(), " ERROR: at most 2000 cases per truth state can be entered;"));
}

TEST(GetData, EndOfFileInsideABlockCountsTheAcceptedLines) {
  TempDir dir;
  std::ofstream(dir.file("cut.dat"), std::ios::binary) << "1\n2\n3";  // last line without a line end
  Typed t(1);
  t.s.in = std::fopen(dir.file("cut.dat").c_str(), "rb");
  ASSERT_NE(t.s.in, nullptr);
  int count = 0;
  EXPECT_EQ(READIN(t.s, t.st, 1, 1, count), BlockEnd::Done);
  EXPECT_EQ(count, 3);
  EXPECT_TRUE(t.con.lines().empty());  // no prompts with file input
}

// Typed values stored in the case data file and read back agree to 5
// significant digits.
TEST(CaseDataFile, ReadBackKeepsFiveSignificantDigits) {
  TempDir dir;
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  std::uniform_int_distribution<int> ex(-6, 8);
  std::vector<double> values;
  Typed t(2);
  ASSERT_TRUE(t.s.store.create(dir.file("round.dat"), true));
  for (int i = 0; i < 200; ++i) {
    double a = mant(gen) * std::pow(10.0, ex(gen)) * (i % 3 == 0 ? -1 : 1);
    double b = mant(gen) * std::pow(10.0, ex(gen));
    values.push_back(a);
    values.push_back(b);
    char line[80];
    std::snprintf(line, sizeof line, "%.9g %.9g", a, b);
    t.con.addAnswer(line);
  }
  t.con.addAnswer("*");
  int count = 0;
  ASSERT_EQ(READIN(t.s, t.st, 1, 1, count), BlockEnd::Done);
  ASSERT_EQ(count, 200);
  t.s.store.close();

  Typed back(2);
  back.s.in = std::fopen(dir.file("round.dat").c_str(), "rb");
  ASSERT_NE(back.s.in, nullptr);
  ASSERT_EQ(READIN(back.s, back.st, 1, 1, count), BlockEnd::Done);
  ASSERT_EQ(count, 200);
  for (int i = 0; i < 200; ++i) {
    for (int k = 0; k < 2; ++k) {
      double want = values[static_cast<std::size_t>(2 * i + k)];
      double got = back.st.XNEG(k + 1, i + 1);
      // Half a unit in the fifth significant digit.
      double unit = std::pow(10.0, std::floor(std::log10(std::fabs(want))) - 4);
      EXPECT_LE(std::fabs(got - want), 0.5 * unit * (1 + 1e-6)) << i << " " << k;
    }
  }
}

TEST(CaseDataFile, StoredLineLayout) {
  TempDir dir;
  Typed t(2);
  ASSERT_TRUE(t.s.store.create(dir.file("one.dat"), true));
  t.con.addAnswer("1 -0.25\tnote");
  t.con.addAnswer("*");
  int count = 0;
  READIN(t.s, t.st, 1, 1, count);
  t.s.store.close();
  std::string comment = "\tnote" + std::string(38 - 5, ' ');
  EXPECT_EQ(slurp(dir.file("one.dat")), "  0.10000E+01\t -0.25000E+00\t" + comment + "\r\n******\r\n");
}

}  // namespace
}  // namespace quelbro
