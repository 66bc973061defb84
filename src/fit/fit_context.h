// What one fit needs to know of the study for its report: texts, input source,
// number of decimals of the results, and where the report goes.
#pragma once

#include <string>

#include "console/destinations.h"

namespace quelbro {

enum class InputKind {
  TypedNotSaved,  // typed at the keyboard, no store file
  TypedSaved,     // typed and saved to a store file (fileName)
  FromFile        // read from a case data file (fileName)
};

struct FitContext {
  const Destinations* out = nullptr;  // screen, and the report file when open
  std::string title;                  // 60 characters
  std::string datdes;                 // 60 characters
  std::string readerName;             // 20 characters
  std::string treatmentDes;           // 12 characters
  InputKind input = InputKind::TypedNotSaved;
  std::string fileName;               // at most 20 characters
  int maxdec = 0;
  int direction = 1;                  // +1 larger values abnormal, -1 smaller
  std::string date;                   // DATSTR text
  std::string time;                   // TIMSTR text
};

}  // namespace quelbro
