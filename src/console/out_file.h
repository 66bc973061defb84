// A text file the program writes (store file, report file): every line ends
// with carriage return and line feed and reaches the file at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/text_console.h"

namespace quelbro {

// The file always ends with a whole line. The first write that fails (a full
// disk, a file-size limit) cuts the file back to its last whole line, tells
// the user where it now ends, and ends the writing: nothing later is
// appended, so space freed afterwards cannot join pieces of lines together.
class OutFile : public LineSink {
 public:
  // `complain` receives the messages; `role` names the file in them ("store
  // file"); with `closeOnFailure` the descriptor is closed after a failure.
  explicit OutFile(LineSink* complain = nullptr, std::string role = "file", bool closeOnFailure = false)
      : complain_(complain), role_(std::move(role)), closeOnFailure_(closeOnFailure) {}
  ~OutFile() override { close(); }
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // Creates the file. With `mustBeNew` an existing name of any kind is left
  // alone and the call fails; otherwise an existing regular file is emptied,
  // and anything else (a folder, a device, a FIFO) is refused untouched.
  // After a failure, error() says why.
  bool create(const std::string& path, bool mustBeNew);
  // As create(path, false), except that an existing regular file of one link
  // that this user owns and may write is not emptied in place: a new file with
  // its permissions takes its name, and the old one, still open, is handed
  // back in `displaced` (-1 when there was none) for the caller to close.
  // Emptying a file of megabytes frees its pages there and then, and a file
  // emptied and written again is pushed to the disk when it is closed;
  // closing the displaced one on another thread does neither on this one.
  bool replace(const std::string& path, int& displaced);
  const std::string& error() const { return error_; }
  void close();
  // Closes the file and removes it when nothing was written to it, provided
  // its name still leads to this very file.
  void closeRemovingIfEmpty();
  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  int descriptor() const { return fd_; }  // -1 when closed

  void writeLine(std::string_view line) override;  // line + CR LF
  // A line together with what it holds ("Reader 1 (Ann), Actually-Negative
  // case 3"), which a failure message names as the end of the file.
  void writeLine(std::string_view line, std::string_view what);
  void writeLines(const std::vector<std::string>& lines) override;
  void writeRaw(std::string_view bytes);  // exact bytes

  // Lines written while the file is held (a report block computed without
  // any question in between) are kept and reach the file with one checked
  // write when the outermost hold ends, or earlier when they grow large.
  class Held {
   public:
    explicit Held(OutFile& f) : f_(f) { f_.holds_ += 1; }
    ~Held() {
      if (--f_.holds_ == 0) f_.flushHeld();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    OutFile& f_;
  };

  // A place in the file to cut back to, with what its last line holds.
  struct Mark {
    long length = 0;
    std::string what;
  };
  Mark mark() const { return held_.empty() ? Mark{length_, what_} : Mark{tell(), heldWhat_}; }
  // Bytes of whole lines written so far (held ones included).
  long tell() const { return length_ + static_cast<long>(held_.size()); }
  // Cuts the file back to `m` through the open descriptor (the name may lead
  // elsewhere by now). Also after a failure: what is cut was never accepted.
  bool truncateTo(const Mark& m);
  bool failed() const { return failed_; }
  void setComplain(LineSink* complain) { complain_ = complain; }

 private:
  void write(std::string_view bytes, std::string_view what);
  void hold(std::string_view bytes, std::string_view what);
  void flushHeld();
  void fail(int err, std::string_view written);
  void say(const std::string& line);

  int fd_ = -1;
  std::string path_;
  LineSink* complain_;
  std::string role_;
  bool closeOnFailure_;
  bool failed_ = false;
  long length_ = 0;   // the file's length: whole lines only
  std::string what_;  // what the last whole line holds; empty: not known
  std::string error_;
  int holds_ = 0;
  std::string held_;      // lines written while held, not yet in the file
  std::string heldWhat_;  // what the last of them holds
};

// What kind of thing an existing name is when it is not a regular file ("a
// folder", "a device", ...); empty for a regular file or a missing name.
std::string nonRegularKind(const std::string& path);

}  // namespace quelbro
