// Reading lines from the input source and closing the files of a cycle.
#include "dialogue/session.h"

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

bool Session::readInput(std::string& line) {
  if (in == nullptr) return readConsole(line);
  if (!readStreamLine(in, line, kLineWidth)) {
    line.clear();
    return false;
  }
  return true;
}

bool Session::readIntoLinbuf() {
  std::string line;
  if (!readInput(line)) return false;
  lin.set(line);
  return true;
}

void Session::closeInput() {
  if (in != nullptr) std::fclose(in);
  in = nullptr;
  inPath.clear();
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
