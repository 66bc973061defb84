// The bounded text store and the line ranges of a print job, without a window.
#include <gtest/gtest.h>

#include <string>

#include "console/window/io_text.h"
#include "console/window/print_range.h"

namespace quelbro {
namespace {

std::string numbered(int i, std::size_t width) {
  std::string s = std::to_string(i);
  s.resize(width, '.');
  return s;
}

TEST(TextStore, AFullStoreDropsItsOldestLines) {
  IoText t;
  const int n = 1000;
  for (int i = 1; i <= n; ++i) t.writeLine(numbered(i, 100));
  // 65,536 bytes hold 655 lines of 100 bytes; the newest 655 stay: 346..1000.
  EXPECT_EQ(t.storedLineCount(), 655);
  EXPECT_EQ(t.bytesUsed(), 65500u);
  EXPECT_EQ(t.droppedLines(), 345);
  EXPECT_EQ(t.line(0), numbered(346, 100));
  EXPECT_EQ(t.line(654), numbered(1000, 100));
  EXPECT_EQ(t.line(655), "");  // the fresh line
}

TEST(TextStore, TypingIntoAFullStoreDropsOldLinesButNeverTheLineBeingTyped) {
  IoText t(50);
  t.writeLine(std::string(20, 'a'));
  t.writeLine(std::string(20, 'b'));
  for (int i = 0; i < 15; ++i) t.typeChar('c');  // 55 bytes wanted: the a-line goes
  EXPECT_EQ(t.line(0), std::string(20, 'b'));
  EXPECT_EQ(t.line(1), std::string(15, 'c'));
  for (int i = 0; i < 40; ++i) t.typeChar('d');  // only 50 fit, all on the line being typed
  EXPECT_EQ(t.lineCount(), 1);
  EXPECT_EQ(t.line(0).size(), 50u);
  EXPECT_EQ(t.bytesUsed(), 50u);
  EXPECT_EQ(t.caretColumn(), 50);
}

TEST(TextStore, DroppingLinesKeepsTheViewAndSelectionOnTheSameText) {
  IoText t(100);
  t.setViewSize(2, 80);
  for (int i = 0; i < 5; ++i) t.writeLine(numbered(i, 10));  // 50 bytes
  t.select(3, 0, 1);                                         // "3"
  t.scrollTo(3);
  EXPECT_EQ(t.firstLine(), 3);
  for (int i = 5; i < 8; ++i) t.writeLine(numbered(i, 10));  // 80 bytes: nothing dropped yet
  t.scrollTo(3);
  t.writeLine(std::string(40, 'x'));  // 120 bytes: lines 0 and 1 go
  EXPECT_EQ(t.droppedLines(), 2);
  ASSERT_TRUE(t.selection().has_value());
  EXPECT_EQ(t.selectedText(), "3");
  EXPECT_EQ(t.selection()->line, 1);
  // The view followed the caret to the bottom when the line was written.
  EXPECT_EQ(t.firstLine(), t.lineCount() - 2);
}

TEST(TextStore, AWrittenLineLosesOneTrailingLineEndAndKeepsEverythingElse) {
  struct Case {
    const char* in;
    const char* shown;
  };
  const Case cases[] = {{"abc\r\n", "abc"}, {"abc\n", "abc"}, {"abc\r", "abc"}, {"a\r\n\r\n", "a\r\n"},
                        {"", ""},           {" x ", " x "},   {"\n", ""}};
  for (const Case& c : cases) {
    IoText t;
    t.writeLine(c.in);
    EXPECT_EQ(t.line(0), c.shown) << '"' << c.in << '"';
    EXPECT_EQ(t.storedLineCount(), 1);
  }
}

TEST(TextStore, AWindowMadeSmallerKeepsTheCaretLineInView) {
  IoText t;
  t.setViewSize(40, 80);
  for (int i = 0; i < 30; ++i) t.writeLine("x");
  EXPECT_EQ(t.firstLine(), 0);  // 31 lines fit in 40 rows
  t.setViewSize(10, 80);
  EXPECT_EQ(t.firstLine(), 21);  // lines 21..30, the caret on line 30
  t.home();
  t.setViewSize(5, 80);  // scrolled away: the view stays where the user put it
  EXPECT_EQ(t.firstLine(), 0);
}

TEST(PrintRange, PagesCoverTheirLinesAndStopAtTheLastOne) {
  struct Case {
    int lines, perPage;
    std::optional<PageRange> pages;
    int first, count;
  };
  const Case cases[] = {
      {100, 30, std::nullopt, 0, 100},
      {100, 30, PageRange{1, 1}, 0, 30},
      {100, 30, PageRange{2, 3}, 30, 60},
      {100, 30, PageRange{4, 4}, 90, 10},      // the last page is short
      {100, 30, PageRange{2, 32767}, 30, 70},  // past the end: up to the last line
      {100, 30, PageRange{5, 9}, 100, 0},      // starts after the last line
      {0, 30, std::nullopt, 0, 0},
      {10, 0, PageRange{2, 2}, 1, 1},  // a page holds at least one line
  };
  for (const Case& c : cases) {
    const LineRange r = printLineRange(c.lines, c.perPage, c.pages);
    EXPECT_EQ(r.first, c.first);
    EXPECT_EQ(r.count, c.count);
  }
}

}  // namespace
}  // namespace quelbro
