// Store and report files: lines written while the file is held reach it as one
// block when the hold ends, byte for byte as if written one by one, and a
// failed block write is told like any other.
#include "console/out_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/text_console.h"

namespace quelbro {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct TempFile {
  fs::path path = fs::temp_directory_path() / ("quelbro-outfile-" + std::to_string(getpid()) + ".txt");
  ~TempFile() {
    std::error_code ec;
    fs::remove(path, ec);
  }
};

TEST(OutFile, HeldLinesArriveAsOneBlockWithTheSameBytes) {
  TempFile tmp;
  LineCollector complaints;
  OutFile f(&complaints);
  ASSERT_TRUE(f.create(tmp.path.string(), false));
  f.writeLine("first");
  {
    OutFile::Held outer(f);
    f.writeLine("held one");
    {
      OutFile::Held inner(f);
      f.writeLines({"held two", ""});
    }
    // Only the outermost hold writes; until then the file has the first line.
    EXPECT_EQ(slurp(tmp.path), "first\r\n");
    EXPECT_EQ(f.tell(), static_cast<long>(std::string("first\r\nheld one\r\nheld two\r\n\r\n").size()));
    f.writeRaw("raw\r\n");
  }
  EXPECT_EQ(slurp(tmp.path), "first\r\nheld one\r\nheld two\r\n\r\nraw\r\n");
  f.writeLine("last");
  EXPECT_EQ(slurp(tmp.path), "first\r\nheld one\r\nheld two\r\n\r\nraw\r\nlast\r\n");

  // Closing (or cutting back) while held writes what is held first.
  {
    OutFile::Held h(f);
    f.writeLine("at close");
    f.close();
  }
  EXPECT_EQ(slurp(tmp.path), "first\r\nheld one\r\nheld two\r\n\r\nraw\r\nlast\r\nat close\r\n");
  EXPECT_TRUE(complaints.lines().empty());
}

// A table replaced with --force: a plain file of its own gives its name to a
// new file with the same permissions (the old one comes back still open, for
// the caller to close); a name shared with other links, or a symbolic link,
// is written through in place as before, so those links see the new text.
TEST(OutFile, ReplaceGivesTheNewTextToEveryNameThatShowedTheOld) {
  enum class Kind { Missing, Plain, HardLinked, SymLinked, Folder };
  struct Case {
    Kind kind;
    bool made;
    bool displaces;
  };
  const fs::path dir = fs::temp_directory_path() / ("quelbro-replace-" + std::to_string(getpid()));
  for (const Case& c :
       {Case{Kind::Missing, true, false}, Case{Kind::Plain, true, true}, Case{Kind::HardLinked, true, false},
        Case{Kind::SymLinked, true, false}, Case{Kind::Folder, false, false}}) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path name = dir / "t.csv", other = dir / "other.csv";
    if (c.kind == Kind::Folder) fs::create_directory(name);
    if (c.kind == Kind::Plain || c.kind == Kind::HardLinked || c.kind == Kind::SymLinked) {
      const fs::path holder = c.kind == Kind::SymLinked ? other : name;
      std::ofstream(holder, std::ios::binary) << std::string(100000, 'x');
      fs::permissions(holder, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
      if (c.kind == Kind::HardLinked) fs::create_hard_link(name, other);
      if (c.kind == Kind::SymLinked) fs::create_symlink(other, name);
    }
    OutFile f;
    int displaced = -2;
    ASSERT_EQ(f.replace(name.string(), displaced), c.made) << static_cast<int>(c.kind);
    EXPECT_EQ(displaced >= 0, c.displaces) << static_cast<int>(c.kind);
    if (displaced >= 0) ::close(displaced);
    if (!c.made) {
      EXPECT_TRUE(fs::is_directory(name));
      continue;
    }
    f.writeLine("a,b");
    f.close();
    EXPECT_EQ(slurp(name), "a,b\r\n") << static_cast<int>(c.kind);
    if (c.kind == Kind::HardLinked || c.kind == Kind::SymLinked) {
      EXPECT_EQ(slurp(other), "a,b\r\n");
    }
    EXPECT_EQ(fs::is_symlink(name), c.kind == Kind::SymLinked);
    if (c.kind == Kind::Plain) {
      EXPECT_EQ(fs::status(name).permissions(),
                fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
  }
  fs::remove_all(dir);
}

TEST(OutFile, LargeHeldBlocksAreWrittenOnTheWay) {
  TempFile tmp;
  OutFile f;
  ASSERT_TRUE(f.create(tmp.path.string(), false));
  const std::string line(78, 'x');
  OutFile::Held h(f);
  for (int i = 0; i < 10000; ++i) f.writeLine(line);
  // 800,000 bytes held: most of them are already in the file.
  EXPECT_GT(fs::file_size(tmp.path), 500000u);
  EXPECT_EQ(f.tell(), 800000);
}

TEST(OutFile, AFailedBlockIsToldAndTheFileKeepsItsWholeLines) {
  TempFile tmp;
  // In a child whose files may not grow beyond 10 bytes: the held block
  // crosses the limit when the hold ends.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{10, 10};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(2);
    LineCollector complaints;
    OutFile f(&complaints);
    if (!f.create(tmp.path.string(), false)) _exit(3);
    f.writeLine("first");
    {
      OutFile::Held h(f);
      f.writeLine("second line");
      f.writeLine("third");
      if (!complaints.lines().empty()) _exit(4);  // nothing written yet
    }
    if (!f.failed()) _exit(5);
    f.writeLine("nor this");
    if (complaints.lines().empty() || complaints.lines()[0] != " *** ERROR: cannot write to file " +
                                                                   tmp.path.string() + ": File too large ***")
      _exit(6);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(slurp(tmp.path), "first\r\n");
}

TEST(JoinedText, IsWrittenAsTheLinesItJoins) {
  // A failed fit's lines are kept joined and written again for every case of
  // its category: the screen must get them exactly as line by line.
  struct Row {
    const char* text;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"", {}},
      {"one\n", {"one"}},
      {" LOSS OF SIGNIFICANCE.  STEP    19+1\n          DOES NOT CONVERGE\n",
       {" LOSS OF SIGNIFICANCE.  STEP    19+1", "          DOES NOT CONVERGE"}},
      {"\n\n", {"", ""}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"last without its end", {"last without its end"}},
  };
  for (const Row& r : rows) {
    LineCollector lines;
    lines.writeText(r.text);
    EXPECT_EQ(lines.lines(), r.lines) << r.text;

    TempFile joined, byLine;
    joined.path += ".joined";
    byLine.path += ".by-line";
    for (auto [path, whole] : {std::pair{&joined.path, true}, std::pair{&byLine.path, false}}) {
      std::FILE* f = std::fopen(path->c_str(), "wb");
      ASSERT_NE(f, nullptr);
      {
        StdioConsole screen(stdin, f);
        if (whole) {
          screen.writeText(r.text);
        } else {
          for (const std::string& l : r.lines) screen.writeLine(l);
        }
        EXPECT_TRUE(screen.finish("test"));
      }
      std::fclose(f);
    }
    EXPECT_EQ(slurp(joined.path), slurp(byLine.path)) << r.text;
  }
}

}  // namespace
}  // namespace quelbro
