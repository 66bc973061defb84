// getdesc: the number of treatments and their descriptions, typed or read
// from the quoted treatment header of a case data file.
#include "console/fields.h"
#include "dialogue/entry.h"

namespace quelbro {

std::string widenedInt(long long v, int min) {
  int need = static_cast<int>(std::to_string(v).size());
  return I(v, need > min ? need : min);
}

void refuseDataset(Session& s) {
  s.datasetsRefused += 1;
  s.say(ListLine().t("This dataset cannot be analysed; returning to the opening questions."));
}

void noDataset(Session& s) {
  s.say(ListLine().t(cat({"ERROR: the data file (", s.inPath, ") holds no dataset: a description line,"})));
  s.say(ListLine().t("       a reader's name and the treatment header at least are needed."));
}

namespace {

bool getdescTyped(Session& s, Study& st, std::string& header) {
  std::string line;
  for (;;) {
    s.emptyListLine();
    s.say(" How many Treatments do you wish to enter (1-5)? ");
    if (!s.readInput(line)) return false;
    // The first column as an integer; anything but 1..5 asks again.
    char c = line.empty() ? ' ' : line[0];
    if (c >= '1' && c <= '5') {
      st.NTRT = c - '0';
      break;
    }
  }
  s.say(ListLine().t(" Enter Treatment Description for: (12 chars max)"));
  s.say("            |------------|");
  for (int i = 1; i <= st.NTRT; ++i) {
    for (;;) {
      s.say(Line("Treatment ").i(i, 1).t(": ").str());
      if (!s.readInput(line)) return false;
      std::string des = padTo(line, 12);
      // A blank description or one holding a double quote would read back as
      // a different header.
      if (isBlankText(des)) {
        s.say(ListLine().t("   --- no data entered ---"));
        continue;
      }
      if (des.find('"') != std::string::npos) {
        s.say("   --- invalid input ---");
        continue;
      }
      if (lastNonBlank(line) > 12) s.say(ListLine().t("           Truncating description to 12 characters"));
      st.TRTDES[static_cast<std::size_t>(i)] = des;
      header += '"';
      header += des;
      header += "\"\t";
      break;
    }
  }
  return true;
}

bool getdescFile(Session& s, Study& st, std::string& header) {
  st.NTRT = 0;
  if (!s.readIntoLinbuf()) {
    if (s.inAllBlank) {
      noDataset(s);
      return false;
    }
    s.say(ListLine().t("ERROR: the data file ends where the treatment header should stand."));
    s.sayWhere();
    refuseDataset(s);
    return false;
  }
  header = s.lin.text();
  std::string rest = header;
  for (int k = 0; k < kMaxTreatments; ++k) {
    std::size_t open = rest.find('"');
    if (open == std::string::npos) break;
    std::size_t close = rest.find('"', open + 1);
    std::string des = close == std::string::npos ? std::string(12, ' ')
                                                 : padTo(rest.substr(open + 1, close - open - 1), 12);
    rest = close == std::string::npos ? std::string() : rest.substr(close + 1);
    if (isBlankText(des)) break;
    st.NTRT += 1;
    st.TRTDES[static_cast<std::size_t>(st.NTRT)] = des;
  }
  // Only 80 columns are read: with room for more treatments, a quote beyond
  // them belongs to a treatment that would silently be lost.
  if (st.NTRT < kMaxTreatments && s.lastLine.find('"', kLineWidth) != std::string::npos) {
    s.say(ListLine().t("ERROR: the treatment header runs past column 80 and a treatment would be lost;"));
    s.say(ListLine().t("       shorten the descriptions or the blanks between them."));
    s.sayWhere();
    refuseDataset(s);
    return false;
  }
  if (st.NTRT == 0) {
    s.say("ERROR: Treatment headings must be enclosed in quotes");
    s.sayWhere();
    refuseDataset(s);
    return false;
  }
  return true;
}

}  // namespace

bool getdesc(Session& s, Study& st) {
  std::string header;
  bool ok = s.fromFile() ? getdescFile(s, st, header) : getdescTyped(s, st, header);
  if (!ok) return false;
  if (s.store.isOpen()) s.store.writeLine(ListLine().t(padTo(header, 80)).str(), "the treatment header");
  s.emptyListLine();
  return true;
}

}  // namespace quelbro
