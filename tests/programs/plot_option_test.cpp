// quelbro-con --plot PREFIX: one SVG figure per dataset, checked before the run like every
// other file the batch writes, and failures reported with exit status 2.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/clock.h"
#include "programs/command_line.h"

namespace quelbro {
namespace {

namespace fs = std::filesystem;

class PlotOption : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quelbro-plot-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    fs::copy_file(fs::path(QUELBRO_SOURCE_DIR) / "examples" / "study.dat", dir_ / "study.dat");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the command line; keeps standard error.
  int run(std::vector<std::string> args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = runConCommandLine(args, stdin, out, err, clock_);
    std::rewind(err);
    errors.clear();
    for (int c; (c = std::fgetc(err)) != EOF;) errors.push_back(static_cast<char>(c));
    std::fclose(out);
    std::fclose(err);
    return status;
  }
  static std::string read(const std::string& file) {
    std::ifstream f(file, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  std::string errors;
  FixedClock clock_{2026, 12, 8, 10, 30, 0};
  fs::path dir_;
};

std::size_t count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (auto p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST_F(PlotOption, WritesOneFigurePerDatasetBesideTheReport) {
  ASSERT_EQ(run({path("study.dat"), "-q", "-o", path("report.txt"), "--plot", path("fig")}), 0) << errors;
  const std::string svg = read(path("fig-1.svg"));
  ASSERT_EQ(std::system(("xmllint --noout '" + path("fig-1.svg") + "'").c_str()), 0);
  // The example study: 4 readers x 2 treatments, every fit converges (the report shows 8 areas).
  const std::string report = read(path("report.txt"));
  EXPECT_EQ(count(report, "AREA UNDER FITTED CURVE (A-SUB-Z) ="), 8u);
  EXPECT_EQ(count(svg, "<path class=\"curve\""), 8u);
  EXPECT_EQ(count(svg, "<path class=\"average-curve\""), 2u);
  EXPECT_NE(svg.find("(Data file: study.dat)</title>"), std::string::npos);
  EXPECT_FALSE(fs::exists(path("fig-2.svg")));
}

TEST_F(PlotOption, AnExistingFigureIsReplacedOnlyWithForce) {
  { std::ofstream(path("fig-1.svg")) << "mine"; }
  EXPECT_EQ(run({path("study.dat"), "-q", "--plot", path("fig")}), 2);
  EXPECT_NE(errors.find("fig-1.svg: the file exists (--force replaces it)"), std::string::npos) << errors;
  EXPECT_EQ(read(path("fig-1.svg")), "mine");
  EXPECT_EQ(run({path("study.dat"), "-q", "--force", "--plot", path("fig")}), 0) << errors;
  EXPECT_NE(read(path("fig-1.svg")).find("<svg"), std::string::npos);
}

TEST_F(PlotOption, AMissingFolderIsMadeAndAFolderAloneIsRefused) {
  ASSERT_EQ(run({path("study.dat"), "-q", "--plot", path("out/figures/study")}), 0) << errors;
  EXPECT_TRUE(fs::exists(path("out/figures/study-1.svg")));
  EXPECT_EQ(run({path("study.dat"), "-q", "-o", path("report.txt"), "--plot", path("out/")}), 2);
  EXPECT_NE(errors.find("names a folder"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(path("report.txt")));
  // A file where the folder should be: nothing is written.
  { std::ofstream(path("taken")) << "x"; }
  EXPECT_EQ(run({path("study.dat"), "-q", "-o", path("report.txt"), "--plot", path("taken/study")}), 2);
  EXPECT_NE(errors.find("cannot make the folder for the figures"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(path("report.txt")));
}

TEST_F(PlotOption, NeedsADataFileAndAPrefix) {
  EXPECT_EQ(run({"--plot", path("fig")}), 2);
  EXPECT_NE(errors.find("need a DATAFILE"), std::string::npos) << errors;
  EXPECT_EQ(run({path("study.dat"), "--plot"}), 2);
  EXPECT_NE(errors.find("requires an argument"), std::string::npos) << errors;
  EXPECT_EQ(run({path("study.dat"), "--plot="}), 2);
}

}  // namespace
}  // namespace quelbro
