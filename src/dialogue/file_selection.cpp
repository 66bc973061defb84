// The opening questions of a cycle and the checks both file selections share.
#include "dialogue/file_selection.h"

#include <sys/stat.h>

#include <filesystem>

#include "console/fields.h"

namespace quelbro {

namespace {

// What askLetter returns for an empty answer: no character has this value,
// so an answer beginning with a NUL byte is simply not offered.
constexpr int kNoAnswer = 0x100;

// Reads an answer and returns the first character of its first word in upper
// case; kNoAnswer after "no data entered"; -1 at the end of the input.
int askLetter(Session& s) {
  std::string line;
  if (!s.readConsole(line)) return -1;
  s.lin.set(line);
  Word w = GETWRD(s.lin);
  if (w.noword) {
    s.say(ListLine().t("   --- no data entered ---"));
    return kNoAnswer;
  }
  unsigned char c = static_cast<unsigned char>(w.text[0]);
  return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

// Back to the state at entry: console input, no store file, no report file.
// A store file discarded while still empty is removed again.
void resetChoices(Session& s) {
  s.closeInput();
  s.reportFileName.clear();
  s.closeStore();
  s.report.close();
}

}  // namespace

void selectFiles(Session& s, FileObtainer& how) {
  s.quit = false;
  s.restart = false;
  s.closeInput();
  s.closeStore();
  s.report.close();
  s.reportFileName.clear();
  int question = 1;
  // Every pass reads at least one answer, so the end of the input ends the loop.
  for (;;) {
    if (question == 1) {
      s.say(" Do you want to use data from a previously created input file for the next");
      s.say(" run? (Y/N, R to restart, or Q to quit)");
    } else if (question == 2) {
      s.say(" Do you want to create a file to store the data you will input?");
      s.say(" (Y/N, or R to restart)");
    } else {
      s.say(" Do you want to create an output file? (Yes/No, or R to restart)");
    }
    int c = askLetter(s);
    if (c < 0) {
      s.quit = true;
      return;
    }
    if (c == kNoAnswer) continue;
    Obtained got = Obtained::NotOpened;
    if (question == 1) {
      if (c == 'Y') {
        got = how.input(s);
        if (got == Obtained::Opened) {
          question = 3;
        } else {
          s.closeInput();
        }
      } else if (c == 'N') {
        question = 2;
      } else if (c == 'R') {
        s.restart = true;
        return;
      } else if (c == 'Q') {
        s.quit = true;
        return;
      } else {
        s.say("   --- invalid input ---");
      }
    } else if (question == 2) {
      if (c == 'Y') {
        got = how.store(s);
        if (got == Obtained::Opened) question = 3;
      } else if (c == 'N') {
        question = 3;
      } else if (c == 'R') {
        resetChoices(s);
        question = 1;
      } else {
        s.say("   --- invalid input ---");
      }
    } else {
      if (c == 'Y') {
        got = how.output(s);
        if (got == Obtained::Opened) return;
        if (got == Obtained::Restart) {
          resetChoices(s);
          question = 1;
        }
      } else if (c == 'N' || c == 'F') {
        return;
      } else if (c == 'R') {
        resetChoices(s);
        question = 1;
      } else {
        s.say("   --- invalid input ---");
      }
    }
    if (got == Obtained::Quit) {
      s.quit = true;
      return;
    }
  }
}

bool namesOpenDataFile(const Session& s, const std::string& path) {
  namespace fs = std::filesystem;
  auto same = [&](const std::string& other) {
    if (other.empty()) return false;
    std::error_code ec;
    if (fs::exists(path, ec) && fs::exists(other, ec)) {
      bool eq = fs::equivalent(path, other, ec);
      if (!ec) return eq;
    }
    return fs::weakly_canonical(fs::absolute(path, ec), ec) ==
           fs::weakly_canonical(fs::absolute(other, ec), ec);
  };
  return (s.in != nullptr && same(s.inPath)) || (s.store.isOpen() && same(s.store.path()));
}

void refuseOutputOverData(Session& s) {
  s.say(ListLine().t("ERROR: the output file cannot be the input data file or the store file."));
}

bool refuseInputKind(Session& s, const std::string& name, int fd) {
  struct stat st {};
  const bool known = fd >= 0 ? ::fstat(fd, &st) == 0 : ::stat(name.c_str(), &st) == 0;
  if (!known) return false;
  if (S_ISDIR(st.st_mode)) {
    s.say(cat({" The input file (", name, ") is a folder, not a data file."}));
    return true;
  }
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
    s.say(cat({" The input file (", name, ") is a device, not a data file."}));
    return true;
  }
  return false;
}

bool refuseNonRegular(Session& s, const std::string& role, const std::string& name) {
  const std::string kind = nonRegularKind(name);
  if (kind.empty()) return false;
  s.say(cat({" The ", role, " (", name, ") is ", kind, ", not a regular file."}));
  return true;
}

void sayNotCreated(Session& s, const std::string& role, const std::string& name, const OutFile& file,
                   bool mustBeNew) {
  if (refuseNonRegular(s, role, name)) return;
  std::error_code ec;
  if (mustBeNew &&
      std::filesystem::symlink_status(name, ec).type() != std::filesystem::file_type::not_found && !ec) {
    s.say(cat({" The file (", name, ") already exists; the ", role, " must be a new file."}));
    return;
  }
  s.say(cat({" The ", role, " (", name, ") cannot be created: ", file.error()}));
}

std::string reportNameOf(const std::string& path) {
  std::string name = std::filesystem::path(path).filename().string();
  return name.substr(0, std::min<std::size_t>(name.size(), 20));
}

}  // namespace quelbro
