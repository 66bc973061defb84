// A text file the program writes (store file, report file): every line ends
// with carriage return and line feed and reaches the file at once.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "console/text_console.h"

namespace quelbro {

class OutFile : public LineSink {
 public:
  // `complain` receives one clear message when a write fails.
  explicit OutFile(LineSink* complain = nullptr) : complain_(complain) {}
  ~OutFile() override { close(); }
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // Creates the file. With `mustBeNew` an existing file is left alone and the
  // call fails; otherwise an existing file is replaced.
  bool create(const std::string& path, bool mustBeNew);
  void close();
  bool isOpen() const { return fp_ != nullptr; }
  const std::string& path() const { return path_; }

  void writeLine(std::string_view line) override;  // line + CR LF, flushed
  void writeLines(const std::vector<std::string>& lines) override;
  void writeRaw(std::string_view bytes);            // exact bytes, flushed

  long tell() const;              // bytes written so far
  bool truncateTo(long length);   // cut the file back to `length` bytes
  bool failed() const { return failed_; }
  void setComplain(LineSink* complain) { complain_ = complain; }

 private:
  void reportFailure();

  std::FILE* fp_ = nullptr;
  std::string path_;
  LineSink* complain_;
  bool failed_ = false;
};

}  // namespace quelbro
