// A strict RFC 4180 reader for the tests: CR LF after every record, fields
// quoted only as a whole, quotes inside doubled, every record as wide as the
// header. Anything else is a failure with the place it was found.
#pragma once

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace quelbro::testing_csv {

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::string error;  // empty when the text is well formed

  // The field `column` of row `i`; "<no column>" when there is none.
  std::string at(std::size_t i, const std::string& column) const {
    for (std::size_t k = 0; k < header.size(); ++k)
      if (header[k] == column) return rows[i][k];
    return "<no column>";
  }
};

inline Table parseStrict(const std::string& text) {
  Table t;
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  std::size_t i = 0;
  auto fail = [&](const std::string& what) {
    t.error = what + " at byte " + std::to_string(i);
    return t;
  };
  if (text.empty()) return fail("empty file");
  while (i < text.size()) {
    field.clear();
    if (text[i] == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) return fail("unterminated quoted field");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r') {
        if (text[i] == '"') return fail("quote inside an unquoted field");
        if (text[i] == '\n') return fail("bare line feed");
        field += text[i++];
      }
    }
    record.push_back(field);
    if (i >= text.size()) return fail("last record without CR LF");
    if (text[i] == ',') {
      ++i;
      continue;
    }
    if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n')
      return fail("field not followed by , or CR LF");
    i += 2;
    records.push_back(record);
    record.clear();
  }
  t.header = records.front();
  for (std::size_t r = 1; r < records.size(); ++r) {
    if (records[r].size() != t.header.size()) {
      t.error = "record " + std::to_string(r + 1) + " has " + std::to_string(records[r].size()) +
                " fields, not " + std::to_string(t.header.size());
      return t;
    }
    t.rows.push_back(records[r]);
  }
  return t;
}

inline Table readStrict(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Table t;
    t.error = "cannot open " + path;
    return t;
  }
  return parseStrict(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

}  // namespace quelbro::testing_csv
