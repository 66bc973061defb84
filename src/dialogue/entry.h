// Asking for and reading the parts of a dataset: the data description, the
// treatments, the directions and the case lines of one reader and truth state.
#pragma once

#include "dialogue/session.h"
#include "dialogue/study.h"

namespace quelbro {

// Reads the data description into DATDES. Returns false when no description
// could be read: at the end of a data file (restart), or at the end of console
// input (the session's quit flag is set).
bool READHL(Session& s, Study& st);

// Sets NTRT and TRTDES. Returns false when the dataset cannot go on: a data
// file whose header is missing or incomplete (the message is written), or the
// end of console input (quit flag set).
bool getdesc(Session& s, Study& st);

// An integer in `min` columns, widened when it needs more.
std::string widenedInt(long long v, int min);

// "Reader 2 (Bob)": how a message names a reader whose lines are stored.
std::string storedReader(const Study& st, int reader);

// The closing notice of a dataset from a file that cannot be analysed.
void refuseDataset(Session& s);

// A data file in which not even one dataset begins is named, not passed over.
void noDataset(Session& s);

// Sets IDIR(1..NTRT); false as for getdesc.
bool get_key(Session& s, Study& st);

enum class BlockEnd {
  Done,    // the block ended with "*" or with the end of a data file
  Quit,    // console input ended
  Refused  // a data file block over the table limit (message written)
};

// READIN: state 1 reads the actually-negative block into XNEG, state 2 the
// actually-positive block into XPOS; count is the number of lines accepted.
BlockEnd READIN(Session& s, Study& st, int state, int reader, int& count);

// get_data: the case lines of one block, after READIN's instructions.
BlockEnd get_data(Session& s, Study& st, int reader, int state, ResultTable& table, int& count);

}  // namespace quelbro
