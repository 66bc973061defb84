// Reading lines from the input source and closing the files of a cycle.
#include "dialogue/session.h"

#include <algorithm>

#include "console/fields.h"

namespace quelbro {

bool Session::readConsole(std::string& line, std::size_t keep) {
  if (!con.readLine(line)) {
    line.clear();
    quit = true;
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > keep) line.resize(keep);
  return true;
}

bool Session::readSourceLine() {
  if (in == nullptr) return readConsole(lastLine, kMaxConsoleLine);
  if (!inLines.readLine(fileno(in), lastLine, kMaxConsoleLine)) {
    lastLine.clear();
    inEnded = true;
    return false;
  }
  ++inLineNo;
  if (inAllBlank && !isBlankText(lastLine)) inAllBlank = false;
  return true;
}

bool Session::readInput(std::string& line) {
  if (!readSourceLine()) {
    line.clear();
    return false;
  }
  line.assign(lastLine, 0, std::min(lastLine.size(), kLineWidth));
  return true;
}

bool Session::cutAtColumn80() const {
  return lastLine.size() > kLineWidth && lastLine[kLineWidth] != ' ' && lastLine[kLineWidth] != '\t';
}

void Session::sayWhere() {
  if (in == nullptr) return;
  if (inEnded) {
    say(ListLine().t(cat({"(file ", inPath, ": the file ends after line ", std::to_string(inLineNo), ")"})));
    return;
  }
  std::string shown = lastLine.substr(0, std::min<std::size_t>(lastLine.size(), 60));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  say(ListLine().t(cat({"(file ", inPath, ", line ", std::to_string(inLineNo), ": ", shown, ")"})));
}

bool Session::readIntoLinbuf() {
  if (!readSourceLine()) return false;
  lin.set(lastLine);  // its first 80 columns
  return true;
}

void Session::closeInput() {
  if (in != nullptr) std::fclose(in);
  in = nullptr;
  inLines.reset();
  inPath.clear();
  inLineNo = 0;
  inEnded = false;
  inAllBlank = true;
}

void Session::closeAll() {
  closeInput();
  report.close();
  closeStore();
}

std::vector<OpenFile> Session::openFiles() const {
  std::vector<OpenFile> files;
  if (in != nullptr) files.push_back({OpenFileRole::InputData, inPath, fileno(in)});
  if (store.isOpen()) files.push_back({OpenFileRole::Store, store.path(), store.descriptor()});
  if (report.isOpen()) files.push_back({OpenFileRole::Report, report.path(), report.descriptor()});
  return files;
}

InputKind Session::inputKind() const {
  if (in != nullptr) return InputKind::FromFile;
  return store.isOpen() ? InputKind::TypedSaved : InputKind::TypedNotSaved;
}

}  // namespace quelbro
