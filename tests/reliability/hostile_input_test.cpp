// Hostile input through the whole console program: broken, binary, huge and
// truncated case data files, unreadable paths, values that are not numbers,
// and every degenerate category pattern. Each case names the exact lines the
// user sees, the next thing shown after them, and where the run ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "reliability_support.h"

namespace quelbro::reliability {
namespace {

const std::string kEndOfQuestion1 = " run? (Y/N, R to restart, or Q to quit)";
const std::string kStarting1 = " Starting Analysis for reader           1";
const std::string kIndent(22, ' ');

struct Hostile {
  std::string name;
  std::map<std::string, std::string> files;  // written into the working folder
  std::vector<std::string> answers;
  std::vector<std::string> message;  // consecutive screen lines
  // The next line shown after the message (blank, date and time lines
  // skipped); "" when the run ends there; nothing: not checked.
  std::optional<std::string> next;
  std::vector<std::string> alsoShown = {};  // parts of lines that must appear
  std::vector<std::string> notShown = {};   // parts of lines that must not appear
  std::string endsAt = kEndOfQuestion1;     // the last line shown
  // Prepares the working folder; false skips the case (with the reason).
  std::function<bool(std::string&)> prepare = nullptr;
  // What must hold in the folder after the run; empty when it holds.
  std::function<std::string()> after = nullptr;
};

std::vector<std::string> fileAnswers(const std::string& name) { return {"y", name, "n", "q"}; }

// A one-reader, one-treatment dataset with the given result lines.
std::string oneReader(const std::vector<std::string>& neg, const std::vector<std::string>& pos,
                      const std::string& header = "\"A\"\nL\n") {
  std::string s = "Hostile\nR\n" + header;
  for (const auto& v : neg) s += v + "\n";
  s += "*\n";
  for (const auto& v : pos) s += v + "\n";
  return s + "*\n#\n";
}

std::string repeatLines(const std::string& line, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += line + "\n";
  return s;
}

// Typed answers up to the first case prompt of a 1-reader, 1-treatment study.
std::vector<std::string> typedUpToCases(int nneg = 1, int npos = 1) {
  return {"n", "n", "n", "Typed", "1", "Ann", "1", "CT", "L", std::to_string(nneg), std::to_string(npos)};
}

std::vector<std::string> plus(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Bytes that look like an image file: no double quote and no "#" anywhere.
std::string binaryBytes() {
  std::string s = "\x89PNG\r\n\x1a\n";
  std::uint32_t x = 12345;
  for (int i = 0; i < 4096; ++i) {
    x = x * 1103515245u + 12345u;
    char c = static_cast<char>((x >> 16) & 0xff);
    if (c == '"' || c == '#') c = '\x7f';
    s.push_back(c);
  }
  return s;
}

// A socket in the folder: it exists, but no one can open it as a file.
bool makeSocket(std::string& why) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", "sock");
  bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) close(fd);
  if (!ok) why = "cannot make a socket here";
  return ok;
}

// A file the test user cannot read; root reads it anyway, so then the case is skipped.
bool makeUnreadable(std::string& why) {
  writeFile("locked.dat", oneReader({"1"}, {"2"}));
  chmod("locked.dat", 0);
  if (std::FILE* f = std::fopen("locked.dat", "rb")) {
    std::fclose(f);
    why = "this user reads files without read permission (root)";
    return false;
  }
  return true;
}

// A folder the test user cannot write in; skipped where that is not enforced.
bool makeReadOnlyFolder(std::string& why) {
  fs::create_directory("ro");
  chmod("ro", 0555);
  if (std::FILE* f = std::fopen("ro/probe", "wb")) {
    std::fclose(f);
    std::remove("ro/probe");
    why = "this user writes in read-only folders (root)";
    return false;
  }
  return true;
}

bool makeFolder(std::string&) { return fs::create_directory("sub"); }
std::string folderKept() { return fs::is_directory("sub") ? "" : "the folder is gone"; }

// Result lines of a degenerate pattern, one treatment: negatives and positives.
Hostile degenerate(const std::string& name, const std::vector<std::string>& neg,
                   const std::vector<std::string>& pos, std::vector<std::string> lines) {
  for (auto& l : lines) l = kIndent + l;
  return Hostile{name, {{"d.dat", oneReader(neg, pos)}}, fileAnswers("d.dat"), lines, std::nullopt, {kNotice2}};
}

std::string tenReaders() {
  std::string s = "Ten readers\n";
  for (int r = 1; r <= 10; ++r) {
    s += "Reader " + std::to_string(r) + "\n";
    if (r == 1) s += "\"X\" \"Y\"\nL L\n";
    s += "1 2\n2 1\n3 3\n*\n2 3\n3 2\n" + std::to_string(r % 3 + 1) + " 3\n*\n";
  }
  s += "Not a closing line\n";
  return s + "Second\nR\n\"A\"\nL\n1\n2\n*\n3\n*\n#\n";
}

// `before` followed by a case line `value` with a comment of x's, long
// enough that the line ends at byte `at` of the file (counted from 0).
std::string upToByte(const std::string& before, const std::string& value, std::size_t at) {
  return before + value + " " + std::string(at - before.size() - value.size() - 1, 'x');
}

// Bytes the data file reader takes with each read: lines that cross a block.
constexpr std::size_t kBlock = BlockLineReader::kBlock;

std::vector<Hostile> cases() {
  const std::string negCases = "NO. OF ACTUALLY-NEGATIVE CASES =";
  const std::string posCases = "NO. OF ACTUALLY-POSITIVE CASES =";
  const std::string reader1 = "Hostile\nR\n\"A\"\nL\n1\n2\n*\n3\n4\n*\n";
  std::vector<Hostile> v = {
      // --- the file's contents ---
      {"EmptyFile",
       {{"e.dat", ""}},
       fileAnswers("e.dat"),
       {kReading},
       " ERROR: the data file (e.dat) holds no dataset: a description line,",
       {kQuestion1},
       {"Starting Analysis", "FENDARO"}},
      {"DescriptionOnly",
       {{"e.dat", "A description\n"}},
       fileAnswers("e.dat"),
       {" ERROR: the data file (e.dat) holds no dataset: a description line,",
        "        a reader's name and the treatment header at least are needed."},
       kQuestion1},
      {"BlankLinesOnly",
       {{"e.dat", "\n  \n"}},
       fileAnswers("e.dat"),
       {" ERROR: the data file (e.dat) holds no dataset: a description line,"},
       "        a reader's name and the treatment header at least are needed."},
      {"BinaryFile",
       {{"b.dat", binaryBytes()}},
       fileAnswers("b.dat"),
       {"ERROR: Treatment headings must be enclosed in quotes"},
       std::nullopt,
       {kRefused}},
      {"NulBytes",
       {{"n.dat", std::string("D\0esc\nR\0x\n\"A\0\" \"B\"\nL L\n1 2\n1\0 2\n3 4\n*\n5 6\n7 8\n*\n#\n", 46)}},
       fileAnswers("n.dat"),
       {kInvalidForm, " (file n.dat, line 6: 1  2)"},
       kStarting1,
       // The description's NUL becomes a blank; the line with the NUL is skipped.
       {"          D esc ", negCases + "     2", kNotice2}},
      {"MegabyteReaderName",
       {{"m.dat", "D\n" + std::string(1 << 20, 'N') + "\n\"A\"\nL\n1\n2\n*\n3\n4\n*\n#\n"}},
       fileAnswers("m.dat"),
       {" Truncating to 20 Characters"},
       kStarting1,
       {"Reader:    " + std::string(20, 'N'), negCases + "     2"}},
      {"MegabyteComment",
       {{"m.dat", "D\nR\n\"A\"\nL\n1 " + std::string(1 << 20, 'x') + "\n2\n*\n3\n4\n*\n#\n"}},
       fileAnswers("m.dat"),
       {kReading},
       kStarting1,
       // The rest of the long line never becomes a line of its own.
       {negCases + "     2", posCases + "     2"},
       {"invalid form", "not enough data"}},
      {"MegabyteWord",
       {{"m.dat", "D\nR\n\"A\"\nL\n" + std::string(1 << 20, '1') + "\n2\n*\n3\n4\n*\n#\n"}},
       fileAnswers("m.dat"),
       {kInvalidForm, " (file m.dat, line 5: " + std::string(60, '1') + ")"},
       kStarting1,
       // Its first 80 digits are a number far beyond single precision.
       {negCases + "     1"}},
      {"TwoThousandCases",
       {{"c.dat", "D\nR\n\"A\"\nL\n" + repeatLines("1", 2000) + "*\n2\n*\n#\n"}},
       fileAnswers("c.dat"),
       {kReading},
       kStarting1,
       {negCases + "  2000", kNotice2}},
      {"TwoThousandAndOneCases",
       {{"c.dat", "D\nR\n\"A\"\nL\n" + repeatLines("1", 2001) + "*\n2\n*\n#\n"}},
       fileAnswers("c.dat"),
       {" ERROR: Reader 1 has more than 2000 Actually-Negative cases in the data file;",
        "        at most 2000 cases per truth state can be analysed.", " (file c.dat, line 2005: 1)",
        kRefused},
       kQuestion1,
       {},
       {"Starting Analysis"}},
      {"TwoThousandAndOnePositiveCasesOfSecondReader",
       {{"c.dat", reader1 + "S\n1\n2\n*\n" + repeatLines("3", 2001) + "*\n#\n"}},
       fileAnswers("c.dat"),
       {" ERROR: Reader 2 has more than 2000 Actually-Positive cases in the data file;",
        "        at most 2000 cases per truth state can be analysed.", " (file c.dat, line 2015: 3)",
        kRefused},
       kQuestion1,
       {kStarting1},
       {"Starting Analysis for reader           2"}},
      // --- files that end early ---
      {"EndsWhereSecondReaderNameStands",
       {{"x.dat", reader1}},
       fileAnswers("x.dat"),
       {kNotice1, kNotice2},
       kQuestion1,
       {kStarting1}},
      {"EndsAtFirstReaderName",
       {{"x.dat", "D\nR\n"}},
       fileAnswers("x.dat"),
       {" ERROR: the data file ends where the treatment header should stand.",
        " (file x.dat: the file ends after line 2)", kRefused},
       kQuestion1},
      {"EndsAtSecondReaderName",
       {{"x.dat", reader1 + "Second reader"}},
       fileAnswers("x.dat"),
       {" ERROR: Reader 2 has no Actually-Negative cases in the data file.",
        " (file x.dat: the file ends after line 11)", kRefused},
       kQuestion1,
       {kStarting1},
       {"FENDARO"}},
      {"EndsInsideTreatmentHeader",
       {{"x.dat", "D\nR\n\"A\" \"B"}},
       fileAnswers("x.dat"),
       {" ERROR: the data file ends inside the direction line.", " (file x.dat: the file ends after line 3)",
        kRefused},
       kQuestion1},
      {"EndsInsideFirstTreatmentDescription",
       {{"x.dat", "D\nR\n\"A"}},
       fileAnswers("x.dat"),
       {"ERROR: Treatment headings must be enclosed in quotes", " (file x.dat, line 3: \"A)", kRefused},
       kQuestion1},
      {"EndsInsideDirectionLine",
       {{"x.dat", "D\nR\n\"A\" \"B\"\nL"}},
       fileAnswers("x.dat"),
       {" ERROR: the data file ends inside the direction line.", " (file x.dat: the file ends after line 4)",
        kRefused},
       kQuestion1},
      {"EndsAfterWordThatIsNoDirection",
       {{"x.dat", "D\nR\n\"A\" \"B\"\nL x S\n"}},
       fileAnswers("x.dat"),
       {" ERROR: the data file ends inside the direction line.", " (file x.dat: the file ends after line 4)",
        kRefused},
       kQuestion1},
      {"EndsInsideNegativeBlock",
       {{"x.dat", "D\nR\n\"A\"\nL\n1\n2"}},
       fileAnswers("x.dat"),
       {" ERROR: Reader 1 has no Actually-Positive cases in the data file.",
        " (file x.dat: the file ends after line 6)", kRefused},
       kQuestion1,
       {},
       {"Starting Analysis"}},
      {"EndsInsidePositiveBlock",
       {{"x.dat", "D\nR\n\"A\"\nL\n1\n2\n*\n3"}},
       fileAnswers("x.dat"),
       {kNotice1, kNotice2},
       kQuestion1,
       {kStarting1, negCases + "     2", posCases + "     1"}},
      {"EndsInsideSecondReadersBlock",
       {{"x.dat", reader1 + "S\n1\n2\n*\n3\n"}},
       fileAnswers("x.dat"),
       {"", " Error: Wrong number of data input for this reader",
        " (file x.dat: the file ends after line 15)"},
       "",
       {kStarting1},
       {"Starting Analysis for reader           2"},
       " (file x.dat: the file ends after line 15)"},
      // --- direction lines, columns beyond 80, line ends ---
      {"DirectionLineMissing",
       {{"x.dat", "D\nAnn\n\"A\" \"B\"\n1 2\n3 4\n*\n5 6\n*\nSmith\n1 2\n*\n3 4\n*\n#\n"}},
       fileAnswers("x.dat"),
       {" ERROR: no direction (L or S) for treatment 1: line 4 is no direction line.",
        " (file x.dat, line 4: 1 2)", kRefused},
       kQuestion1,
       {},
       {"Starting Analysis"}},
      {"DirectionLineHoldsX",
       {{"x.dat", "D\nAnn\n\"A\" \"B\"\nX\n1 2\n3 4\n*\n5 6\n*\nSmith\n1 2\n*\n3 4\n*\n#\n"}},
       fileAnswers("x.dat"),
       {" ERROR: no direction (L or S) for treatment 1: line 5 is no direction line.",
        " (file x.dat, line 5: 1 2)", kRefused},
       kQuestion1,
       {},
       {"Starting Analysis"}},
      {"DirectionOfSecondTreatmentMissing",
       {{"x.dat", "D\nAnn\n\"A\" \"B\"\nL\n*\n"}},
       fileAnswers("x.dat"),
       {" ERROR: no direction (L or S) for treatment 2: line 5 is no direction line.",
        " (file x.dat, line 5: *)", kRefused},
       kQuestion1},
      {"TypedDirectionNotLOrS",
       {},
       {"n", "n", "n", "Typed", "1", "Ann", "1", "CT", "X"},
       {" Treatment 1: ", "   --- enter L (larger values) or S (smaller values) ---", " Treatment 1: "},
       "",
       {},
       {},
       " Treatment 1: "},
      {"ResultWordCutAtColumn80",
       {{"x.dat", "D\nR\n\"A\"\nL\n" + std::string(76, ' ') + "12345\n" + std::string(75, ' ') +
                      "1234\n*\n3\n4\n*\n#\n"}},
       fileAnswers("x.dat"),
       {kInvalidForm, " (file x.dat, line 5: " + std::string(60, ' ') + ")"},
       kStarting1,
       // The word ending in column 80 exactly is whole.
       {negCases + "     1", posCases + "     2"}},
      {"TypedResultWordCutAtColumn80",
       {},
       plus(typedUpToCases(), {std::string(77, ' ') + "12345"}),
       {"- case   1: ", kInvalidForm},
       "- case   1: ",
       {},
       {},
       "- case   1: "},
      {"TreatmentHeaderPastColumn80",
       {{"x.dat",
         "D\nR\n\"Treatment 1\"     \"Treatment 2\"     \"Treatment 3\"     \"Treatment 4\"     "
         "\"Treatment 5\"\nL L L L L\n1 1 1 1 1\n*\n2 2 2 2 2\n*\n#\n"}},
       fileAnswers("x.dat"),
       {" ERROR: the treatment header runs past column 80 and a treatment would be lost;",
        "        shorten the descriptions or the blanks between them."},
       std::nullopt,
       {kRefused},
       {"Starting Analysis"}},
      {"CarriageReturnLineEnds",
       {{"x.dat", "D\rR\r\"A\"\rL\r1\r2\r*\r3\r4\r*\r#\r"}},
       fileAnswers("x.dat"),
       {kReading},
       std::nullopt,
       {kStarting1, negCases + "     2", posCases + "     2", kNotice2},
       {"invalid form", "not enough data"}},
      // --- line ends and lines where the file is read in blocks ---
      // The CR of a CR LF is a block's last byte, its LF the next block's first:
      // one line end, no empty line between.
      {"CrLfSplitAtBlockBoundary",
       {{"x.dat",
         upToByte("D\r\nR\r\n\"A\"\r\nL\r\n", "1", kBlock - 1) + "\r\n2\r\n*\r\n3\r\n4\r\n*\r\n#\r\n"}},
       fileAnswers("x.dat"),
       {kReading},
       std::nullopt,
       {kStarting1, negCases + "     2", posCases + "     2", kNotice2},
       {"invalid form", "not enough data"}},
      // A CR alone as a block's last byte ends its line; the next block's
      // first byte begins the next line.
      {"CarriageReturnAloneAtBlockBoundary",
       {{"x.dat", upToByte("D\rR\r\"A\"\rL\r", "1", kBlock - 1) + "\r2\r*\r3\r4\r*\r#\r"}},
       fileAnswers("x.dat"),
       {kReading},
       std::nullopt,
       {kStarting1, negCases + "     2", posCases + "     2", kNotice2},
       {"invalid form", "not enough data"}},
      // A two-result line whose second result is in the next block is one line
      // (split, each part would lack a result).
      {"CaseLineAcrossBlockBoundary",
       {{"x.dat", upToByte("D\nR\n\"A\" \"B\"\nL L\n", "1 1", kBlock - 3) + "\n3 4\n*\n5 6\n7 8\n*\n#\n"}},
       fileAnswers("x.dat"),
       {kReading},
       std::nullopt,
       {kStarting1, negCases + "     2", posCases + "     2", kNotice2},
       {"invalid form", "not enough data"}},
      // The file fills the first block exactly and its last line has no line
      // end: that line is still read.
      {"LastLineWithoutLineEndFillsTheBlock",
       {{"x.dat", upToByte("D\nR\n\"A\"\nL\n1\n2\n*\n", "3", kBlock - 2) + "\n4"}},
       fileAnswers("x.dat"),
       {kNotice1, kNotice2},
       kQuestion1,
       {kStarting1, negCases + "     2", posCases + "     2"}},
      // --- results that are not numbers or out of range ---
      {"NanInfAndHugeInFile",
       {{"x.dat",
         "D\nR\n\"A\" \"B\"\nL L\nnan 1\ninf 2\n1e39 3\n-1e39 2\nNaN 1\n-INF 1\n1 2\n*\n3 4\n*\n#\n"}},
       fileAnswers("x.dat"),
       {kInvalidForm, " (file x.dat, line 5: nan 1)", kInvalidForm, " (file x.dat, line 6: inf 2)",
        kInvalidForm, " (file x.dat, line 7: 1e39 3)", kInvalidForm, " (file x.dat, line 8: -1e39 2)",
        kInvalidForm, " (file x.dat, line 9: NaN 1)", kInvalidForm, " (file x.dat, line 10: -INF 1)"},
       kStarting1,
       {negCases + "     1"}},
      {"TypedNan",
       {},
       plus(typedUpToCases(), {"nan"}),
       {kInvalidForm},
       "- case   1: ",
       {},
       {},
       "- case   1: "},
      {"TypedInf",
       {},
       plus(typedUpToCases(), {"-inf"}),
       {kInvalidForm},
       "- case   1: ",
       {},
       {},
       "- case   1: "},
      {"TypedBeyondSinglePrecision",
       {},
       plus(typedUpToCases(), {"1e39"}),
       {kInvalidForm},
       "- case   1: ",
       {},
       {},
       "- case   1: "},
      {"TypedJustBeyondLargestFloat",
       {},
       plus(typedUpToCases(), {"3.41e38"}),
       {kInvalidForm},
       "- case   1: ",
       {},
       {},
       "- case   1: "},
      {"TypedMegabyteReaderName",
       {},
       {"n", "n", "n", "Typed", "1", std::string(1 << 20, 'N')},
       {" Truncating to 20 Characters"},
       " How many Treatments do you wish to enter (1-5)? ",
       {},
       {},
       " How many Treatments do you wish to enter (1-5)? "},
      {"TypedMegabyteCaseLine",
       {},
       // After the word "1" the line's 80 columns hold a blank and 78 letters:
       // the comment ends in column 79, 12 beyond the 67 columns of one treatment.
       plus(typedUpToCases(), {"1 " + std::string(1 << 20, 'x')}),
       {"   ---   Comment is too long by 12 characters   ---",
        "   --- Comments must be less than 66 characters ---", ""},
       "- case   1: ",
       {},
       {},
       "- case   1: "},
      {"TypedTwoThousandAndFirstCase",
       {},
       plus(typedUpToCases(2000, 1), std::vector<std::string>(2001, "1")),
       {" ERROR: at most 2000 cases per truth state can be entered;",
        "        enter an asterisk (*) to end the Actually-Negative cases."},
       "- case2001: ",
       {},
       {},
       "- case2001: "},
      {"TypedBinaryAnswer",
       {},
       {"\x01\xfe\xff"},
       {"   --- invalid input ---"},
       kQuestion1,
       {},
       {},
       kEndOfQuestion1},
      {"TypedNulAnswer",
       {},
       {std::string(1, '\0')},
       {"   --- invalid input ---"},
       kQuestion1,
       {},
       {},
       kEndOfQuestion1},
      // --- the input file is not a readable file ---
      {"InputIsDirectory",
       {},
       {"y", "sub", "q"},
       {" The input file (sub) is a folder, not a data file."},
       kQuestion1,
       {},
       {},
       kEndOfQuestion1,
       [](std::string&) { return fs::create_directory("sub"); }},
      {"InputIsSocket",
       {},
       {"y", "sock", "q"},
       {" The input file (sock) cannot be opened: No such device or address"},
       kQuestion1,
       {},
       {},
       kEndOfQuestion1,
       makeSocket},
      {"InputWithoutReadPermission",
       {},
       {"y", "locked.dat", "q"},
       {" The input file (locked.dat) cannot be opened: Permission denied"},
       kQuestion1,
       {},
       {},
       kEndOfQuestion1,
       makeUnreadable},
      {"InputMissing",
       {},
       {"y", "nothere.dat"},
       {" The input file (nothere.dat) cannot be found in your current subdirectory!"},
       " Enter input file name:",
       {},
       {},
       " Enter input file name:"},
      // --- store and report files in folders that cannot be written ---
      {"InputIsDevice",
       {},
       {"y", "/dev/null", "q"},
       {" The input file (/dev/null) is a device, not a data file."},
       kQuestion1,
       {},
       {kReading},
       kEndOfQuestion1},
      // --- store and report files in folders that cannot be written: the reason is told ---
      {"StoreInMissingFolder",
       {},
       {"n", "y", "nodir/s.dat"},
       {" Assign a name for this input data file (up to 20 characters):",
        " The store file (nodir/s.dat) cannot be created: No such file or directory"},
       kQuestion2,
       {},
       {},
       " (Y/N, or R to restart)"},
      {"StoreInReadOnlyFolder",
       {},
       {"n", "y", "ro/s.dat"},
       {" Assign a name for this input data file (up to 20 characters):",
        " The store file (ro/s.dat) cannot be created: Permission denied"},
       kQuestion2,
       {},
       {},
       " (Y/N, or R to restart)",
       makeReadOnlyFolder},
      {"ReportInMissingFolder",
       {},
       {"n", "n", "y", "nodir/r.out"},
       {"  alphanumeric. no blanks are allowed in the filename.)",
        " The output file (nodir/r.out) cannot be created: No such file or directory"},
       kQuestion3,
       {},
       {},
       kQuestion3},
      {"ReportInReadOnlyFolder",
       {},
       {"n", "n", "y", "ro/r.out"},
       {"  alphanumeric. no blanks are allowed in the filename.)",
        " The output file (ro/r.out) cannot be created: Permission denied"},
       kQuestion3,
       {},
       {},
       kQuestion3,
       makeReadOnlyFolder},
      {"StoreNameEmpty",
       {},
       {"n", "y", ""},
       {" Assign a name for this input data file (up to 20 characters):", "    --- no data entered ---"},
       kQuestion2,
       {},
       {},
       " (Y/N, or R to restart)"},
      {"OutputNameEmpty",
       {},
       {"n", "n", "y", ""},
       {"  alphanumeric. no blanks are allowed in the filename.)", "    --- no data entered ---"},
       kQuestion3,
       {},
       {},
       kQuestion3},
      // --- store and output names that are taken: nothing but a regular file is replaced ---
      {"StoreNameExists",
       {{"s.dat", "old\n"}},
       {"n", "y", "s.dat"},
       {" The file (s.dat) already exists; the store file must be a new file."},
       kQuestion2,
       {},
       {},
       " (Y/N, or R to restart)",
       nullptr,
       [] { return slurp("s.dat") == "old\n" ? "" : "s.dat changed"; }},
      {"StoreNameIsFolder",
       {},
       {"n", "y", "sub"},
       {" The store file (sub) is a folder, not a regular file."},
       kQuestion2,
       {},
       {},
       " (Y/N, or R to restart)",
       makeFolder,
       [] { return folderKept(); }},
      {"OutputNameIsFolder",
       {},
       {"n", "n", "y", "sub", "y"},
       {" The output file (sub) is a folder, not a regular file."},
       kQuestion3,
       {},
       {"already exists"},
       "  alphanumeric. no blanks are allowed in the filename.)",
       makeFolder,
       [] { return folderKept(); }},
      {"OutputNameIsFifo",
       {},
       {"n", "n", "y", "p.out", "y"},
       {" The output file (p.out) is a FIFO (named pipe), not a regular file."},
       kQuestion3,
       {},
       {"already exists"},
       "  alphanumeric. no blanks are allowed in the filename.)",
       [](std::string& why) {
         if (mkfifo("p.out", 0600) == 0) return true;
         why = "cannot make a FIFO here";
         return false;
       },
       [] { return fs::is_fifo(fs::symlink_status("p.out")) ? "" : "the FIFO is gone"; }},
      {"OutputNameLeadsToDevice",
       {},
       {"n", "n", "y", "null.out", "y"},
       {" The output file (null.out) is a device, not a regular file."},
       kQuestion3,
       {},
       {"already exists"},
       "  alphanumeric. no blanks are allowed in the filename.)",
       [](std::string&) { return symlink("/dev/null", "null.out") == 0; },
       [] { return fs::is_symlink(fs::symlink_status("null.out")) ? "" : "the link is gone"; }},
      // --- a store file the input ended before anything was stored in is removed ---
      {"StoreLeftEmptyAtEndOfInput",
       {},
       {"n", "y", "s.dat", "n"},
       {" Enter data description (up to 60 characters including blanks):"},
       "",
       {},
       {},
       " Enter data description (up to 60 characters including blanks):",
       nullptr,
       [] { return fs::exists("s.dat") ? "the empty store file is left" : ""; }},
      {"StoreLeftEmptyAtQuestion3",
       {},
       {"n", "y", "s.dat"},
       {kQuestion3},
       "",
       {},
       {},
       kQuestion3,
       nullptr,
       [] { return fs::exists("s.dat") ? "the empty store file is left" : ""; }},
      // --- the tenth reader: the next line closes the dataset whatever it holds ---
      {"TenthReaderThenNoClosingLine",
       {{"t.dat", tenReaders()}},
       fileAnswers("t.dat"),
       {kNotice1, kNotice2},
       kQuestion1,
       {" Starting Analysis for reader          10", "MULTIREADER-MULTICASE ROC ANALYSIS OF VARIANCE USING",
        "          Second "},
       {"Not a closing line", "Starting Analysis for reader          11"}},
  };

  // Every degenerate pattern of the categorized data (types 1 to 10).
  v.push_back(degenerate("DegenerateSingleCategory", {"1", "1"}, {"1", "1"},
                         {"DATA ARE DEGENERATE AND PROVIDE NO OPERATING POINTS", "OFF THE (0,0) AND (1,1) CORNERS."}));
  // One interior point (1/4, 3/4): d' = z(0.75) - z(0.25) with the inverse normal
  // of Abramowitz and Stegun 26.2.23 (s = sqrt(ln 16) = 1.665109): 2 x 0.674189 = 1.3484.
  Hostile two = degenerate("DegenerateSingleInteriorPoint", {"1", "1", "1", "2"}, {"1", "2", "2", "2"},
                           {"DATA ARE DEGENERATE AND PROVIDE ONLY A SINGLE ",
                            "OPERATING POINT OFF THE (0,0) AND (1,1) CORNERS.",
                            "BINORMAL ROC CURVE CANNOT BE ESTIMATED UNIQUELY. ",
                            "UNIT SLOPE ROC CURVE (B=1) WOULD HAVE A=D'=  1.3484."});
  // The fit on all cases gives no area: all 8 pseudovalues trapezoidal, status -100 - 8.
  two.alsoShown.push_back(" Degenerate          -1        -108");
  v.push_back(two);
  // Points (1, 3/4) and (0, 1/2): left and right borders only.
  v.push_back(degenerate("DegenerateLeftAndRightBorders", {"2", "2"}, {"1", "2", "3", "3"},
                         {"DATA ARE DEGENERATE AND PRODUCE NO OPERATING POINTS",
                          "OFF THE BORDERS OF THE UNIT SQUARE.  IMPLIED", "EXACT-FIT BINORMAL ROC CURVE IS HORIZONTAL AT",
                          "UNDETERMINED HEIGHT BETWEEN TPF=  0.5000 AND", "TPF=  0.7500 ."}));
  // Points (3/4, 1) and (1/2, 0): top and bottom borders only.
  v.push_back(degenerate("DegenerateTopAndBottomBorders", {"1", "2", "3", "3"}, {"2", "2"},
                         {"DATA ARE DEGENERATE AND PRODUCE NO OPERATING POINTS",
                          "OFF THE BORDERS OF THE UNIT SQUARE.  IMPLIED ", "EXACT-FIT BINORMAL ROC CURVE IS VERTICAL AT ",
                          "UNDETERMINED POSITION BETWEEN FPF=  0.5000", "AND FPF=  0.7500 ."}));
  // Points (1, 2/3), (1/2, 1/3): one inside point between the right border and (0,0).
  v.push_back(degenerate("DegenerateHorizontalOnePoint", {"2", "3"}, {"1", "2", "3"},
                         {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS HORIZONTAL AT CONSTANT",
                          "TPF=  0.3333 ."}));
  // Points (2/3, 1), (1/3, 1/2): one inside point between the top border and (0,0).
  v.push_back(degenerate("DegenerateVerticalOnePoint", {"1", "2", "3"}, {"2", "3"},
                         {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS VERTICAL AT CONSTANT",
                          "FPF=  0.3333 ."}));
  // Points (1, 2/3), (2/3, 1/3), (1/3, 1/3): two inside points at one height.
  v.push_back(degenerate("DegenerateHorizontalTwoPoints", {"2", "3", "4"}, {"1", "2", "4"},
                         {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS HORIZONTAL AT CONSTANT",
                          "TPF=  0.3333 ."}));
  // Points (2/3, 1), (1/3, 2/3), (1/3, 1/3): two inside points one above the other.
  v.push_back(degenerate("DegenerateVerticalTwoPoints", {"1", "2", "4"}, {"2", "3", "4"},
                         {"DATA ARE DEGENERATE.  IMPLIED EXACT-FIT", "BINORMAL ROC CURVE IS VERTICAL AT CONSTANT",
                          "FPF=  0.3333 ."}));
  v.push_back(degenerate("DegeneratePerfect", {"1", "1"}, {"2", "2"},
                         {"DATA ARE DEGENERATE AND IMPLY PERFECT DECISION", "PERFORMANCE."}));
  v.push_back(degenerate("DegeneratePerverse", {"2", "2"}, {"1", "1"},
                         {"DATA ARE DEGENERATE AND IMPLY PERFECT (BUT PERVERSE)", "DECISION PERFORMANCE."}));
  return v;
}

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, MessageAndNextState) {
  const Hostile& c = GetParam();
  WorkDir dir;
  if (c.prepare) {
    std::string why;
    if (!c.prepare(why)) GTEST_SKIP() << why;
  }
  for (const auto& [name, bytes] : c.files) writeFile(dir.path() / name, bytes);
  const std::vector<std::string> screen = runProgram(c.answers);

  const long at = findBlock(screen, c.message);
  ASSERT_GE(at, 0) << "message not shown; the screen ends:\n" << around(screen, -1);
  if (c.next) {
    EXPECT_EQ(nextShown(screen, static_cast<std::size_t>(at) + c.message.size()), *c.next)
        << around(screen, at);
  }
  for (const auto& part : c.alsoShown) EXPECT_TRUE(anyContains(screen, part)) << "not shown: [" << part << "]";
  for (const auto& part : c.notShown) EXPECT_FALSE(anyContains(screen, part)) << "shown: [" << part << "]";
  // The last line shown (the state the run ends in once the answers run out).
  std::string last;
  for (const auto& l : screen)
    if (!blankOrClock(l)) last = l;
  EXPECT_EQ(last, c.endsAt);
  // No report line shows a value that is not a number (a data line quoted may).
  for (const auto& l : screen) {
    if (l.rfind(" (file ", 0) == 0) continue;
    EXPECT_EQ(l.find("NaN"), std::string::npos) << l;
  }
  if (c.after) {
    EXPECT_EQ(c.after(), "");
  }
}

// A data file that arrives through a FIFO still reads.
TEST(HostileFile, FifoInputStillReads) {
  WorkDir dir;
  ASSERT_EQ(mkfifo("f.dat", 0600), 0);
  const pid_t writer = fork();
  if (writer == 0) {
    alarm(30);  // a reader that never comes ends the writer
    const int fd = open("f.dat", O_WRONLY);
    const std::string data = oneReader({"1", "2"}, {"3", "4"});
    const bool ok = fd >= 0 && write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    _exit(ok ? 0 : 1);
  }
  const auto screen = runProgram({"y", "f.dat", "n", "q"});
  int status = 0;
  waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(anyContains(screen, kStarting1)) << around(screen, -1);
  EXPECT_EQ(countLine(screen, kNotice2), 1);
}

INSTANTIATE_TEST_SUITE_P(Reliability, HostileInput, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Hostile>& info) { return info.param.name; });

// Typed input that ends inside the data: the complete readers are analysed
// and the program ends where the next question would stand.
struct TypedEnd {
  const char* name;
  std::vector<std::string> tail;  // answers after the first reader's cases
  bool analysed;                  // the analysis of variance of two readers is shown
  std::vector<std::string> shown;
};

class TypedInputEnds : public ::testing::TestWithParam<TypedEnd> {};

TEST_P(TypedInputEnds, CompleteReadersAreAnalysed) {
  WorkDir dir;
  std::vector<std::string> answers = {"n",   "y",   "s.dat", "n",   "Ends early", "2",   "Ann",
                                      "2",   "CT",  "MR",    "L L", "3",          "3",   "1 1",
                                      "2 3", "3 2", "*",     "2 3", "3 2",        "3 3", "*"};
  answers.insert(answers.end(), GetParam().tail.begin(), GetParam().tail.end());
  const auto screen = runProgram(answers);
  EXPECT_EQ(anyContains(screen, "MULTIREADER-MULTICASE ROC ANALYSIS OF VARIANCE USING"), GetParam().analysed)
      << around(screen, -1);
  for (const auto& part : GetParam().shown)
    EXPECT_TRUE(anyContains(screen, part)) << "not shown: [" << part << "]";
  // No further question is asked once the input has ended.
  EXPECT_EQ(countLine(screen, kQuestion1), 1);
  // Every typed line is kept in the store file; a complete dataset is closed there.
  const std::string stored = slurp("s.dat");
  const std::string end = GetParam().analysed
                              ? "  0.10000E+01\t" + std::string(38, ' ') + "\r\n******\r\n #\r\n"
                              : "  0.20000E+01\t  0.10000E+01\t" + std::string(38, ' ') + "\r\n";
  ASSERT_GE(stored.size(), end.size());
  EXPECT_EQ(stored.substr(stored.size() - end.size()), end);
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, TypedInputEnds,
    ::testing::Values(
        TypedEnd{"AfterTheLastCaseOfTheLastReader",
                 {"Bob", "1 2", "2 1", "3 3", "*", "2 2", "3 3", "3 1"},
                 true,
                 {" Starting Analysis for reader           2"}},
        TypedEnd{"AtThePoundSign", {"Bob", "1 2", "2 1", "3 3", "*", "2 2", "3 3", "3 1", "*"}, true, {}},
        TypedEnd{
            "InsideTheSecondReadersNegatives",
            {"Bob", "1 2", "2 1"},
            false,
            {" The input ended inside the cases of reader 2; the readers before are analysed.", kNotice2}}),
    [](const ::testing::TestParamInfo<TypedEnd>& info) { return std::string(info.param.name); });

// 10,000 tiny datasets in one file: each is read, analysed and closed in turn.
class Tally : public TextConsole {
 public:
  explicit Tally(std::vector<std::string> answers) : answers_(std::move(answers)) {}
  void writeLine(std::string_view line) override {
    ++counts_[std::string(line)];
    last_ = line;
  }
  bool readLine(std::string& line) override {
    if (next_ >= answers_.size()) return false;
    line = answers_[next_++];
    return true;
  }
  int count(const std::string& line) const {
    auto it = counts_.find(line);
    return it == counts_.end() ? 0 : it->second;
  }
  const std::string& last() const { return last_; }

 private:
  std::vector<std::string> answers_;
  std::size_t next_ = 0;
  std::map<std::string, int> counts_;
  std::string last_;
};

TEST(HostileFile, TenThousandDatasets) {
  WorkDir dir;
  std::string all;
  for (int i = 0; i < 10000; ++i) all += "Set " + std::to_string(i) + "\nR\n\"A\"\nL\n1\n*\n2\n*\n#\n";
  writeFile("many.dat", all);
  Tally con({"y", "many.dat", "n", "q"});
  FixedClock clock(2026, 12, 8, 10, 30, 0);
  runConsoleProgram(con, clock);
  EXPECT_EQ(con.count(kStarting1), 10000);
  EXPECT_EQ(con.count(kNotice1), 10000);
  EXPECT_EQ(con.count(kNotice2), 10000);
  EXPECT_EQ(con.count(kQuestion1), 2);  // before the file and after its end
  EXPECT_EQ(con.last(), kEndOfQuestion1);
}

}  // namespace
}  // namespace quelbro::reliability
