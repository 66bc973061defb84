// READIN and get_data: the case lines of one reader and truth state, typed
// (with instructions, prompts and checks) or read from a case data file.
#include <array>

#include "console/fields.h"
#include "dialogue/entry.h"

namespace quelbro {

namespace {

const char* stateWord(int state) { return state == 1 ? "NEGATIVE" : "POSITIVE"; }
const char* stateName(int state) { return state == 1 ? "Negative" : "Positive"; }

}  // namespace

std::string storedReader(const Study& st, int reader) {
  const std::string& name = st.RDRNAM[static_cast<std::size_t>(reader)];
  return cat({"Reader ", std::to_string(reader), " (",
              name.substr(0, static_cast<std::size_t>(lastNonBlank(name))), ")"});
}

BlockEnd READIN(Session& s, Study& st, int state, int reader, int& count) {
  ResultTable& table = state == 1 ? st.XNEG : st.XPOS;
  table.clear();
  count = 0;
  if (!s.fromFile()) {
    std::string w = stateWord(state);
    s.emptyListLine();
    s.say(cat({" (On a line for each Actually-", w, " case for THIS READER:"}));
    s.say(" enter the test results for the first Treatment, one or more blanks,");
    s.say(" and then the test result for the next Treatment");
    s.say(Line("      for each of the ").i(st.NTRT, 1).t(" Treatments).").str());
    s.say("");
    s.say(cat({" After the last Actually-", w, " test-result has been entered,"}));
    s.say(" input an asterisk (*) in response to the next prompt.)");
    s.say("");
  }
  return get_data(s, st, reader, state, table, count);
}

BlockEnd get_data(Session& s, Study& st, int reader, int state, ResultTable& table, int& count) {
  const int ntrt = st.NTRT;
  const bool typed = !s.fromFile();
  const std::string w = stateWord(state);
  count = 0;
  if (typed) {
    s.say(cat({" You are entering Actually-", w, " data for Reader ", widenedInt(reader, 1), ": "}));
    s.say(std::string(56, '='));
    s.say(blanks(15) + st.RDRNAM[static_cast<std::size_t>(reader)]);
    s.say(std::string(56, '='));
    s.say("");
    Line head("  Actually");
    for (int t = 1; t <= ntrt; ++t) head.x(t == 1 ? 7 : 12).i(t, 1);
    s.say(head.str());
    std::string cols = cat({"  ", w, "   "});
    for (int t = 1; t <= ntrt; ++t) cols += cat({st.TRTDES[static_cast<std::size_t>(t)], " "});
    cols += "     Comment";
    s.say(cols);
  }
  // Every case line read consumes one line of input, so the loop ends with it.
  for (;;) {
    const int counter = count + 1;
    if (typed) s.say(Line(state == 1 ? "- case" : "+ case").i(counter, 4).t(": ").str());
    // The end of the input ends the block with the lines accepted; with typed
    // entry the session's quit flag tells the caller that nothing more comes.
    if (!s.readIntoLinbuf()) return BlockEnd::Done;

    std::array<double, kMaxTreatments + 1> values{};
    std::string fields;
    int localMax = st.MAXDEC;
    bool rejected = false;
    for (int t = 1; t <= ntrt && !rejected; ++t) {
      Word word = GETWRD(s.lin);
      if (word.noword) {
        s.say("   --- not enough data entered ---");
        s.sayWhere();
        rejected = true;
      } else if (word.text[0] == '*') {
        if (s.store.isOpen())
          s.store.writeLine("******", cat({"the end of the Actually-", stateName(state), " cases of ",
                                           storedReader(st, reader)}));
        return BlockEnd::Done;
      } else if (word.text[0] == '#') {
        s.say(ListLine().t(" Error: incorrect number of data input"));
        s.sayWhere();
        rejected = true;
      } else {
        // A word cut at column 80 would be read as a different number.
        NumberRead num = TONUM(word.text, localMax);
        if (num.error || (word.toEnd && s.cutAtColumn80())) {
          s.say("   --- invalid form of input data ---");
          s.sayWhere();
          rejected = true;
        } else {
          values[static_cast<std::size_t>(t)] = num.value;
          // The store file holds the single-precision value that is analysed.
          if (s.store.isOpen())
            fields += cat({" ", caseE(static_cast<double>(static_cast<float>(num.value))), "\t"});
        }
      }
    }
    if (rejected) continue;

    const std::string_view rest = s.lin.text();
    if (typed) {
      int used = lastNonBlank(rest);
      int room = 80 - 13 * ntrt;
      if (used > room) {
        s.say(cat({"   ---   Comment is too long by ", I(used - room, 2), " characters   ---"}));
        s.say(cat({"   --- Comments must be less than ", I(79 - 13 * ntrt, 2), " characters ---"}));
        s.say("");
        continue;
      }
    }
    if (counter > kMaxCasesPerState) {
      if (typed) {
        s.say(ListLine().t("ERROR: at most 2000 cases per truth state can be entered;"));
        s.say(ListLine().t(
            cat({"       enter an asterisk (*) to end the Actually-", stateName(state), " cases."})));
        continue;
      }
      s.say(ListLine().t(cat({"ERROR: Reader ", std::to_string(reader), " has more than 2000 Actually-",
                              stateName(state), " cases in the data file;"})));
      s.say(ListLine().t("       at most 2000 cases per truth state can be analysed."));
      s.sayWhere();
      refuseDataset(s);
      return BlockEnd::Refused;
    }

    // Accept the line.
    st.MAXDEC = localMax;
    for (int t = 1; t <= ntrt; ++t)
      table(t, counter) = static_cast<float>(values[static_cast<std::size_t>(t)]);
    count = counter;
    if (s.store.isOpen()) {
      int keep = 64 - 13 * ntrt;
      s.store.writeLine(
          fields + (keep > 0 ? std::string(rest.substr(0, static_cast<std::size_t>(keep))) : std::string()),
          cat({storedReader(st, reader), ", Actually-", stateName(state), " case ",
               std::to_string(counter)}));
    }
  }
}

}  // namespace quelbro
