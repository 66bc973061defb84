// Runs every scripted dialogue session under tests/sessions/<name>/: the
// answers of answers.txt are typed into the console program in a fresh
// folder holding the session's input files, with the clock fixed at
// 08-Dec-26 10:30:00; the screen is compared line by line with
// expected-screen.txt and each file expected-<file> byte for byte with the
// file <file> the run leaves behind. Names listed in absent.txt must not exist
// after the run. The run's exit status is 0, or the number in
// expected-status.txt.
//
// In expected-screen.txt a line "@@ REPORT @@" stands for any number of lines
// (the fit and analysis reports, which their own tests check): the lines
// after it must follow the report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/text_console.h"
#include "dialogue/program.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

const char* const kSkip = "@@ REPORT @@";

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Lines split at LF; a last line without LF is still a line.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

std::vector<std::string> sessionNames() {
  std::vector<std::string> names;
  fs::path root = fs::path(QUELBRO_TEST_DIR) / "sessions";
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(root, ec))
    if (e.is_directory() && fs::exists(e.path() / "answers.txt"))
      names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Matches expected lines (with skip markers) against the screen; on failure
// tells the furthest point reached.
struct Matcher {
  const std::vector<std::string>& want;
  const std::vector<std::string>& got;
  std::size_t bestWant = 0, bestGot = 0;
  int budget = 2000000;  // bounds the search over skip lengths

  bool match(std::size_t i, std::size_t j) {
    if (--budget < 0) return false;
    for (;;) {
      if (i < want.size() && want[i] == kSkip) {
        for (std::size_t k = j; k <= got.size(); ++k)
          if (match(i + 1, k)) return true;
        return false;
      }
      if (i == want.size() || j == got.size()) {
        if (i == want.size() && j == got.size()) return true;
        note(i, j);
        return false;
      }
      if (want[i] != got[j]) {
        note(i, j);
        return false;
      }
      ++i, ++j;
    }
  }
  void note(std::size_t i, std::size_t j) {
    if (i > bestWant || (i == bestWant && j > bestGot)) bestWant = i, bestGot = j;
  }
};

std::string show(const std::vector<std::string>& v, std::size_t i) {
  if (i >= v.size()) return "<end of screen>";
  return "[" + v[i] + "]";
}

class SessionRun : public ::testing::TestWithParam<std::string> {};

TEST_P(SessionRun, ScreenAndFilesAsExpected) {
  const fs::path dir = fs::path(QUELBRO_TEST_DIR) / "sessions" / GetParam();
  std::string tmpl = (fs::temp_directory_path() / "quelbro-session-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path work = tmpl;

  std::vector<std::string> expectedFiles;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (name.rfind("expected-", 0) == 0) {
      if (name != "expected-screen.txt" && name != "expected-status.txt")
        expectedFiles.push_back(name.substr(9));
    } else if (name != "answers.txt" && name != "absent.txt" && name != "expected-status.txt" &&
               e.is_regular_file()) {
      fs::copy_file(e.path(), work / name);
    }
  }

  ScriptedConsole console(splitLines(slurp(dir / "answers.txt")));
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  const fs::path home = fs::current_path();
  fs::current_path(work);
  const int status = runConsoleProgram(console, clock);
  fs::current_path(home);
  // The exit status: 0 unless expected-status.txt says otherwise.
  const int wantStatus =
      fs::exists(dir / "expected-status.txt") ? std::stoi(slurp(dir / "expected-status.txt")) : 0;
  EXPECT_EQ(status, wantStatus) << "exit status";

  const std::vector<std::string> want = splitLines(slurp(dir / "expected-screen.txt"));
  const std::vector<std::string>& got = console.lines();
  Matcher m{want, got};
  if (!m.match(0, 0)) {
    ADD_FAILURE() << "screen differs at expected line " << m.bestWant + 1 << ", screen line " << m.bestGot + 1
                  << "\n  expected: " << show(want, m.bestWant) << "\n  screen:   " << show(got, m.bestGot);
    std::ofstream(work / "screen.txt") << console.text();
    std::cerr << "screen written to " << (work / "screen.txt").string() << "\n";
  }
  for (const std::string& f : expectedFiles) {
    ASSERT_TRUE(fs::exists(work / f)) << f << " was not written";
    std::string want = slurp(dir / ("expected-" + f)), got = slurp(work / f);
    if (want != got) {
      std::size_t k = 0;
      while (k < want.size() && k < got.size() && want[k] == got[k]) ++k;
      ADD_FAILURE() << f << " differs at byte " << k << " (sizes " << want.size() << " and " << got.size()
                    << ")";
    }
  }
  if (fs::exists(dir / "absent.txt")) {
    for (const std::string& f : splitLines(slurp(dir / "absent.txt"))) {
      if (!f.empty()) {
        EXPECT_FALSE(fs::exists(work / f)) << f << " should not exist";
      }
    }
  }
  if (!HasFailure()) fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionRun, ::testing::ValuesIn(sessionNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
}  // namespace quelbro
