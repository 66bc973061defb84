// READHL: the data description of a dataset.
#include "console/fields.h"
#include "dialogue/entry.h"

namespace quelbro {

bool READHL(Session& s, Study& st) {
  if (!s.fromFile())
    s.say(ListLine().t("Enter data description").t(" (up to 60 characters including blanks):"));
  std::string line;
  if (!s.readInput(line)) return false;
  // Leading blanks and tabs are skipped; control characters become blanks.
  std::size_t start = 0;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  if (start >= line.size()) start = 0;
  std::string des(60, ' ');
  for (std::size_t i = 0; i < 60 && start + i < line.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(line[start + i]);
    des[i] = c < static_cast<unsigned char>('!') ? ' ' : static_cast<char>(c);
  }
  st.DATDES = des;
  if (s.store.isOpen()) s.store.writeLine(padTo(padTo(line, 60), 80), "the data description");
  return true;
}

}  // namespace quelbro
