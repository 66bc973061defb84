// The extended section in a whole run: after each dataset's report on the
// screen and in the report file, built from the run's own records, and
// nothing at all changed when it is not asked for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/clock.h"
#include "console/text_console.h"
#include "dialogue/program.h"
#include "results/extended_observer.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

class Keeper : public RunObserver {
 public:
  void datasetFinished(const DatasetResults& results) override { kept.push_back(results); }
  std::vector<DatasetResults> kept;
};

struct RunOutput {
  std::vector<std::string> screen;
  std::string report;
  std::string tests, sizing;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The three-reader binary session, answered Y with a report file, run twice
// over (the data file holds the dataset twice); `observer` may be null.
RunOutput runStudy(RunObserver* observer, ExtendedObserver* tables = nullptr) {
  std::string tmpl = (fs::temp_directory_path() / "quelbro-extended-XXXXXX").string();
  EXPECT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path work = tmpl;
  const std::string data =
      slurp(fs::path(QUELBRO_TEST_DIR) / "sessions/analysis-binary-two-treatments/binary2.dat");
  std::ofstream(work / "study.dat", std::ios::binary) << data << data;
  ScriptedConsole console({"y", "study.dat", "y", "study.out", "q"});
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  const fs::path home = fs::current_path();
  fs::current_path(work);
  if (tables != nullptr) {
    EXPECT_TRUE(tables->createTables("out/s", false)) << tables->why();
  }
  runConsoleProgram(console, clock, observer);
  if (tables != nullptr) {
    EXPECT_TRUE(tables->close());
  }
  fs::current_path(home);
  RunOutput run{console.lines(), slurp(work / "study.out"), slurp(work / "out/s-tests.csv"),
                slurp(work / "out/s-sizing.csv")};
  fs::remove_all(work);
  return run;
}

TEST(ExtendedSection, WithoutTheOptionNothingChanges) {
  const RunOutput plain = runStudy(nullptr);
  Keeper keeper;
  ExtendedObserver quiet(ExtendedOptions{}, &keeper);
  const RunOutput observed = runStudy(&quiet);
  EXPECT_EQ(observed.screen, plain.screen);
  EXPECT_EQ(observed.report, plain.report);
  EXPECT_EQ(keeper.kept.size(), 2u);
}

TEST(ExtendedSection, FollowsEachReportOnScreenAndInTheFile) {
  const RunOutput plain = runStudy(nullptr);
  Keeper keeper;
  ExtendedObserver extended(ExtendedOptions{true, 0.1}, &keeper);
  const RunOutput run = runStudy(&extended);
  ASSERT_EQ(keeper.kept.size(), 2u);
  const std::vector<std::string> section = extendedSection(extendedResults(keeper.kept[0], 0.1));
  ASSERT_GT(section.size(), 20u);

  // The screen: the plain screen with the section after each dataset.
  std::vector<std::string> screen = run.screen;
  int found = 0;
  for (auto it = std::search(screen.begin(), screen.end(), section.begin(), section.end());
       it != screen.end(); it = std::search(screen.begin(), screen.end(), section.begin(), section.end())) {
    ++found;
    screen.erase(it, it + static_cast<std::ptrdiff_t>(section.size()));
  }
  EXPECT_EQ(found, 2);
  EXPECT_EQ(screen, plain.screen);

  // The report file: each dataset's report, then its section.
  std::string block;
  for (const std::string& line : section) block += line + "\r\n";
  std::string report = run.report;
  found = 0;
  for (std::size_t at = report.find(block); at != std::string::npos; at = report.find(block)) {
    ++found;
    report.erase(at, block.size());
  }
  EXPECT_EQ(found, 2);
  EXPECT_EQ(report, plain.report);
  EXPECT_EQ(run.report.substr(run.report.size() - block.size()), block);
}

TEST(ExtendedSection, TablesHoldEveryDataset) {
  ExtendedObserver extended(ExtendedOptions{false, std::nullopt}, nullptr);
  const RunOutput run = runStudy(&extended, &extended);
  EXPECT_EQ(run.tests.substr(0, run.tests.find("\r\n")),
            "dataset,analysis,f,ndf,ddf,p,treatment_i,treatment_j,difference,lower,upper");
  EXPECT_EQ(std::count(run.tests.begin(), run.tests.end(), '\n'), 1 + 2 * 3);
  EXPECT_EQ(run.sizing.substr(0, run.sizing.find("\r\n")),
            "dataset,treatment_i,treatment_j,effect,readers,cases,ddf,noncentrality,power");
  EXPECT_NE(run.tests.find("\r\n2,fixed-cases,"), std::string::npos);
}

}  // namespace
}  // namespace quelbro
