// The lines a print job covers.
#include "console/window/print_range.h"

#include <algorithm>

namespace quelbro {

LineRange printLineRange(int lineCount, int linesPerPage, std::optional<PageRange> pages) {
  lineCount = std::max(lineCount, 0);
  if (!pages) return {0, lineCount};
  const long long lpp = std::max(linesPerPage, 1);
  const long long from = std::max(pages->from, 1);
  const long long to = std::max<long long>(pages->to, from);
  const long long first = (from - 1) * lpp;                         // 0-based
  const long long last = std::min<long long>(to * lpp, lineCount);  // one past
  if (first >= last)
    return {std::min<int>(static_cast<int>(std::min<long long>(first, lineCount)), lineCount), 0};
  return {static_cast<int>(first), static_cast<int>(last - first)};
}

}  // namespace quelbro
