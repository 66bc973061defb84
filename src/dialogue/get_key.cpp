// get_key: the direction of the test results of each treatment (L or S).
#include "console/fields.h"
#include "dialogue/entry.h"

namespace quelbro {

namespace {

// In a data file, a number or a line beginning with "*" or "#" is a case line
// or a closing line: the direction line is missing, and taking such lines for
// it would shift every case that follows.
bool endsDirectionSearch(const Word& w) {
  if (w.text[0] == '*' || w.text[0] == '#') return true;
  int ignored = 0;
  return !TONUM(w.text, ignored).error;
}

}  // namespace

bool get_key(Session& s, Study& st) {
  std::string dir(80, ' ');
  if (!s.fromFile()) {
    // Words left over from an earlier answer never answer this question.
    s.lin.clear();
    s.say(" Do (L)arge or (S)mall values represent presence of abnormality for: ");
  }
  // The rest of the treatment header is searched as the Part describes it; the
  // number rule applies from the next line on.
  bool headerRest = s.fromFile();
  for (int i = 1; i <= st.NTRT; ++i) {
    if (!s.fromFile()) s.say(Line(" Treatment ").i(i, 1).t(": ").str());
    for (;;) {
      Word w = GETWRD(s.lin);
      if (!w.noword) {
        char c = w.text[0];
        if (c == 'L' || c == 'l' || c == 'S' || c == 's') {
          std::size_t col = static_cast<std::size_t>(7 + 13 * (i - 1));
          dir[col - 1] = c;
          dir[col] = '\t';
          st.IDIR[static_cast<std::size_t>(i)] = (c == 'L' || c == 'l') ? 1 : -1;
          break;
        }
        if (s.fromFile() && !headerRest && endsDirectionSearch(w)) {
          s.say(ListLine().t(cat({"ERROR: no direction (L or S) for treatment ", std::to_string(i), ": line ",
                                  std::to_string(s.inLineNo), " is no direction line."})));
          s.sayWhere();
          refuseDataset(s);
          return false;
        }
        if (!s.fromFile()) {
          // The rest of the line is not read: the treatment is asked again.
          s.say("   --- enter L (larger values) or S (smaller values) ---");
          s.say(Line(" Treatment ").i(i, 1).t(": ").str());
        }
      }
      // No word, or a word that is not a direction: the next line.
      if (!s.readIntoLinbuf()) {
        if (s.fromFile()) {
          s.say(ListLine().t("ERROR: the data file ends inside the direction line."));
          s.sayWhere();
          refuseDataset(s);
        }
        return false;
      }
      headerRest = false;
    }
  }
  if (s.store.isOpen()) s.store.writeLine(ListLine().t(dir.substr(0, 79)).str(), "the direction line");
  return true;
}

}  // namespace quelbro
