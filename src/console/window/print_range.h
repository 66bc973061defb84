// Which stored lines a print job covers: all of them, or the lines of a page range.
#pragma once

#include <optional>

namespace quelbro {

struct PageRange {
  int from = 1;  // 1-based pages
  int to = 1;
};

struct LineRange {
  int first = 0;  // 0-based index of the first printed line
  int count = 0;
};

// Pages from..to cover lines (from-1)*linesPerPage+1 .. to*linesPerPage (1-based), cut at the last line.
LineRange printLineRange(int lineCount, int linesPerPage, std::optional<PageRange> pages);

}  // namespace quelbro
