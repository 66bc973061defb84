// The files the dialogue holds open for the cycle, told to the shell that shows it, so that the
// window never saves over one of them and knows whether a report file keeps the whole report.
#pragma once

#include <string>
#include <vector>

namespace quelbro {

enum class OpenFileRole { InputData, Store, Report };

struct OpenFile {
  OpenFileRole role;
  std::string path;  // as the user chose it
  int descriptor;    // -1 when the file is not reachable by a descriptor
};

// Asked whenever the shell needs to know; the answer is the state of that moment.
class OpenFileList {
 public:
  virtual ~OpenFileList() = default;
  virtual std::vector<OpenFile> openFiles() const = 0;
};

}  // namespace quelbro
