// iofilenop: the opening questions with typed file names (the console program).
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "console/fields.h"
#include "dialogue/file_selection.h"

namespace quelbro {

namespace {

// A name is refused when a blank stands before its last non-blank character.
bool hasInnerBlank(const std::string& name) {
  int last = lastNonBlank(name);
  for (int i = 0; i < last; ++i)
    if (name[static_cast<std::size_t>(i)] == ' ') return true;
  return false;
}

std::string trimmed(const std::string& name) {
  return name.substr(0, static_cast<std::size_t>(lastNonBlank(name)));
}

Obtained createReport(Session& s, const std::string& name) {
  if (s.report.create(name, true)) return Obtained::Opened;
  sayNotCreated(s, "output file", name, s.report, true);
  return Obtained::NotOpened;
}

class TypedNames : public FileObtainer {
 public:
  Obtained input(Session& s) override {
    namespace fs = std::filesystem;
    std::string name;
    // Each pass reads a name, so the end of the input ends the loop.
    for (;;) {
      s.say(ListLine().t("Enter input file name:"));
      if (!s.readConsole(name, 20)) return Obtained::Quit;
      if (hasInnerBlank(name)) {
        s.say(ListLine().t("No blanks are allowed in file names"));
        continue;
      }
      name = trimmed(name);
      std::error_code ec;
      if (name.empty() || !fs::exists(name, ec)) {
        s.say(cat({" The input file (", name, ") cannot be found in your current subdirectory!"}));
        continue;
      }
      break;
    }
    if (refuseInputKind(s, name)) return Obtained::NotOpened;
    s.in = std::fopen(name.c_str(), "rb");
    if (s.in == nullptr) {
      s.say(cat({" The input file (", name, ") cannot be opened: ", std::strerror(errno)}));
      return Obtained::NotOpened;
    }
    // The name may have changed hands between the check and the opening.
    if (refuseInputKind(s, name, fileno(s.in))) return Obtained::NotOpened;
    s.inPath = name;
    s.reportFileName = name;
    return Obtained::Opened;
  }

  Obtained store(Session& s) override {
    std::string name;
    for (;;) {
      s.say(" Assign a name for this input data file (up to 20 characters):");
      if (!s.readConsole(name, 20)) return Obtained::Quit;
      if (hasInnerBlank(name)) {
        s.say(ListLine().t("No blanks are allowed in file names"));
        continue;
      }
      break;
    }
    name = trimmed(name);
    if (name.empty()) {
      s.say(ListLine().t("   --- no data entered ---"));
      return Obtained::NotOpened;
    }
    if (!s.store.create(name, true)) {
      sayNotCreated(s, "store file", name, s.store, true);
      return Obtained::NotOpened;
    }
    s.reportFileName = name;
    return Obtained::Opened;
  }

  Obtained output(Session& s) override {
    namespace fs = std::filesystem;
    std::string name;
    for (;;) {
      s.say(ListLine().t("enter output file name:"));
      s.say("  (filename must take the form filename.extension, where filename is 1 to 8");
      s.say("  characters, extension is 1 to 3 characters, and all characters must be");
      s.say("  alphanumeric. no blanks are allowed in the filename.)");
      if (!s.readConsole(name, 20)) return Obtained::Quit;
      if (hasInnerBlank(name)) {
        s.say(ListLine().t("no blanks are allowed in file names"));
        continue;
      }
      name = trimmed(name);
      if (name.empty()) {
        s.say(ListLine().t("   --- no data entered ---"));
        return Obtained::NotOpened;
      }
      if (namesOpenDataFile(s, name)) {
        refuseOutputOverData(s);
        return Obtained::NotOpened;
      }
      // Only a regular file is ever replaced: never a folder, a device or a FIFO.
      if (refuseNonRegular(s, "output file", name)) return Obtained::NotOpened;
      std::error_code ec;
      if (!fs::exists(name, ec)) return createReport(s, name);
      // The file exists: ask before replacing it.
      std::string reply;
      for (;;) {
        s.say(cat({" the file name ( ", name, ") already exists; do you want to overwrite it?"}));
        s.say(" (y/n, or r to restart).  if you enter 'y', the old file will be overwritten");
        s.say(" and lost!!!");
        if (!s.readConsole(reply, 20)) return Obtained::Quit;
        reply = trimmed(reply);
        if (reply == "y" || reply == "Y") {
          // Checked again: the name may have changed hands while the question was open.
          if (refuseNonRegular(s, "output file", name)) return Obtained::NotOpened;
          if (!fs::remove(name, ec) && ec) {
            s.say(cat({" The output file (", name, ") cannot be replaced: ", ec.message()}));
            return Obtained::NotOpened;
          }
          return createReport(s, name);
        }
        if (reply == "n" || reply == "N") break;
        if (reply == "r" || reply == "R") return Obtained::Restart;
        s.say(ListLine().t("   --- invalid input ---"));
      }
    }
  }
};

}  // namespace

void iofilenop(Session& s) {
  TypedNames how;
  selectFiles(s, how);
}

}  // namespace quelbro
