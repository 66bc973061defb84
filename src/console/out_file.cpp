// Store and report files: CR LF line ends, flushed line by line, failures told.
#include "console/out_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quelbro {

bool OutFile::create(const std::string& path, bool mustBeNew) {
  close();
  failed_ = false;
  fp_ = std::fopen(path.c_str(), mustBeNew ? "wbx" : "wb");
  if (fp_ == nullptr) return false;
  path_ = path;
  return true;
}

void OutFile::close() {
  if (fp_ == nullptr) return;
  if (std::fclose(fp_) != 0) reportFailure();
  fp_ = nullptr;
}

void OutFile::writeLine(std::string_view line) {
  if (fp_ == nullptr) return;
  std::string s(line);
  s += "\r\n";
  writeRaw(s);
}

void OutFile::writeLines(const std::vector<std::string>& lines) {
  if (fp_ == nullptr || lines.empty()) return;
  std::string block;
  for (const auto& line : lines) {
    block += line;
    block += "\r\n";
  }
  writeRaw(block);
}

void OutFile::writeRaw(std::string_view bytes) {
  if (fp_ == nullptr) return;
  std::size_t n = std::fwrite(bytes.data(), 1, bytes.size(), fp_);
  if (n != bytes.size() || std::fflush(fp_) != 0) {
    reportFailure();
    std::clearerr(fp_);
  }
}

long OutFile::tell() const { return fp_ == nullptr ? 0 : std::ftell(fp_); }

bool OutFile::truncateTo(long length) {
  if (fp_ == nullptr) return false;
  std::fflush(fp_);
  std::error_code ec;
  std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(length), ec);
  if (ec || std::fseek(fp_, length, SEEK_SET) != 0) {
    reportFailure();
    return false;
  }
  return true;
}

void OutFile::reportFailure() {
  int err = errno;
  if (failed_) return;  // one message per file is enough
  failed_ = true;
  if (complain_ != nullptr) {
    complain_->writeLine(" *** ERROR: cannot write to file " + path_ + ": " +
                         (err != 0 ? std::strerror(err) : "write failed") + " ***");
  }
}

}  // namespace quelbro
