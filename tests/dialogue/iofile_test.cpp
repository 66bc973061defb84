// The dialog-based file selection: filters, default extensions, and the file
// name the report shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

bool shown(const ScriptedConsole& con, const std::string& line) {
  return std::find(con.lines().begin(), con.lines().end(), line) != con.lines().end();
}

// Whatever the dialogs return, only regular files are read, written or
// replaced: a device, a folder and a FIFO are refused with a message and the
// question comes back.
TEST(Iofile, RefusesDevicesFoldersAndFifos) {
  std::string t = (fs::temp_directory_path() / "quelbro-iofile-XXXXXX").string();
  ASSERT_NE(mkdtemp(t.data()), nullptr);
  const fs::path dir = t;
  const std::string folder = (dir / "sub").string(), fifo = (dir / "p.txt").string(),
                    link = (dir / "null.txt").string();
  fs::create_directory(folder);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A reader holds the FIFO open, so that opening it for writing would succeed.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);

  RecordingChooser chooser;
  chooser.openAnswers = {"/dev/null"};
  chooser.saveAnswers = {fifo, folder, link};
  // Q1: Y (device refused) -> Q1: N -> Q2: Y (FIFO refused) -> Q2: Y (folder
  // refused) -> Q2: N -> Q3: Y (link to a device refused) -> Q3: N -> end of input.
  ScriptedConsole con({"y", "n", "y", "y", "n", "y", "n"});
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  runWindowedProgram(con, clock, chooser);
  close(reader);

  EXPECT_TRUE(shown(con, " The input file (/dev/null) is a device, not a data file."));
  EXPECT_TRUE(shown(con, " The store file (" + fifo + ") is a FIFO (named pipe), not a regular file."));
  EXPECT_TRUE(shown(con, " The store file (" + folder + ") is a folder, not a regular file."));
  EXPECT_TRUE(shown(con, " The output file (" + link + ") is a device, not a regular file."));
  EXPECT_FALSE(shown(con, " --- program is reading input data; please wait ---"));
  EXPECT_EQ(chooser.saves.size(), 3u);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_symlink(link));
  fs::remove_all(dir);
}

TEST(Iofile, ReportNameIsTheFileNameCutTo20) {
  EXPECT_EQ(reportNameOf("/home/user/data/a-rather-long-study-name.dat"), "a-rather-long-study-");
  EXPECT_EQ(reportNameOf("C/short.dat"), "short.dat");
}

}  // namespace
}  // namespace quelbro
