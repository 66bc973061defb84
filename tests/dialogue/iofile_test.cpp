// The dialog-based file selection: filters, default extensions, and the file
// name the report shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "console/clock.h"
#include "dialogue/file_selection.h"
#include "dialogue/program.h"

namespace fs = std::filesystem;

namespace quelbro {
namespace {

struct RecordingChooser : FileChooser {
  std::vector<std::pair<std::vector<Filter>, std::string>> opens, saves;
  std::vector<std::optional<std::string>> openAnswers, saveAnswers;
  std::optional<std::string> openFile(const std::vector<Filter>& f, const std::string& ext) override {
    opens.emplace_back(f, ext);
    if (openAnswers.empty()) return std::nullopt;
    auto a = openAnswers.front();
    openAnswers.erase(openAnswers.begin());
    return a;
  }
  std::optional<std::string> saveFile(const std::vector<Filter>& f, const std::string& ext) override {
    saves.emplace_back(f, ext);
    if (saveAnswers.empty()) return std::nullopt;
    auto a = saveAnswers.front();
    saveAnswers.erase(saveAnswers.begin());
    return a;
  }
};

std::vector<std::string> descriptions(const std::vector<FileChooser::Filter>& f) {
  std::vector<std::string> v;
  for (const auto& x : f) v.push_back(x.description + "|" + x.pattern);
  return v;
}

TEST(Iofile, DialogsCarryTheirFiltersAndExtensions) {
  std::string t = (fs::temp_directory_path() / "quelbro-iofile-XXXXXX").string();
  ASSERT_NE(mkdtemp(t.data()), nullptr);
  const fs::path dir = t;
  const std::string input = (dir / "a-rather-long-study-name.dat").string();
  std::ofstream(input) << "";

  RecordingChooser chooser;
  chooser.openAnswers = {std::nullopt, input};                // cancelled, then chosen
  chooser.saveAnswers = {input, (dir / "out.txt").string()};  // the input file is refused as output
  // Q1: Y (cancelled) -> Q1 again: Y -> Q3: Y (refused) -> Y -> empty data file -> Q1: Q
  ScriptedConsole con({"y", "y", "y", "y", "q"});
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  runWindowedProgram(con, clock, chooser);

  ASSERT_EQ(chooser.opens.size(), 2u);
  EXPECT_EQ(descriptions(chooser.opens[0].first),
            (std::vector<std::string>{"Data Files (*.dat)|*.dat", "Text Files (*.txt)|*.txt",
                                      "All Files (*.*)|*.*"}));
  EXPECT_EQ(chooser.opens[0].second, "dat");
  ASSERT_EQ(chooser.saves.size(), 2u);
  EXPECT_EQ(descriptions(chooser.saves[0].first),
            (std::vector<std::string>{"Text Files (*.txt)|*.txt", "All Files (*.*)|*.*",
                                      "Data Files (*.dat)|*.dat"}));
  EXPECT_EQ(chooser.saves[0].second, "txt");
  EXPECT_TRUE(fs::exists(dir / "out.txt"));
  // The title line of the window program.
  EXPECT_EQ(con.lines().at(5),
            std::string(13, ' ') + std::string("QUELBRO (Windows version 1.0 beta):").append(25, ' '));
  fs::remove_all(dir);
}

TEST(Iofile, ReportNameIsTheFileNameCutTo20) {
  EXPECT_EQ(reportNameOf("/home/user/data/a-rather-long-study-name.dat"), "a-rather-long-study-");
  EXPECT_EQ(reportNameOf("C/short.dat"), "short.dat");
}

}  // namespace
}  // namespace quelbro
