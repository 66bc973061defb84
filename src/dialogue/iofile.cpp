// iofile: the opening questions with the platform's open and save dialogs
// (the window program).
#include <cerrno>
#include <cstring>

#include "dialogue/file_selection.h"

namespace quelbro {

namespace {

class DialogNames : public FileObtainer {
 public:
  explicit DialogNames(FileChooser& chooser) : chooser_(chooser) {}

  Obtained input(Session& s) override {
    auto path = chooser_.openFile(
        {{"Data Files (*.dat)", "*.dat"}, {"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}},
        "dat");
    if (!path || path->empty()) return Obtained::NotOpened;
    if (refuseInputKind(s, *path)) return Obtained::NotOpened;
    s.in = std::fopen(path->c_str(), "rb");
    if (s.in == nullptr) {
      s.say(cat({" The input file (", *path, ") cannot be opened: ", std::strerror(errno)}));
      return Obtained::NotOpened;
    }
    if (refuseInputKind(s, *path, fileno(s.in))) return Obtained::NotOpened;
    s.inPath = *path;
    s.reportFileName = reportNameOf(*path);
    return Obtained::Opened;
  }

  Obtained store(Session& s) override {
    auto path = chooser_.saveFile(saveFilters(), "txt");
    if (!path || path->empty()) return Obtained::NotOpened;
    if (!s.store.create(*path, false)) {
      sayNotCreated(s, "store file", *path, s.store, false);
      return Obtained::NotOpened;
    }
    s.reportFileName = reportNameOf(*path);
    return Obtained::Opened;
  }

  Obtained output(Session& s) override {
    auto path = chooser_.saveFile(saveFilters(), "txt");
    if (!path || path->empty()) return Obtained::NotOpened;
    if (namesOpenDataFile(s, *path)) {
      refuseOutputOverData(s);
      return Obtained::NotOpened;
    }
    if (s.report.create(*path, false)) return Obtained::Opened;
    sayNotCreated(s, "output file", *path, s.report, false);
    return Obtained::NotOpened;
  }

 private:
  static std::vector<FileChooser::Filter> saveFilters() {
    return {{"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}, {"Data Files (*.dat)", "*.dat"}};
  }
  FileChooser& chooser_;
};

}  // namespace

void iofile(Session& s, FileChooser& chooser) {
  DialogNames how(chooser);
  selectFiles(s, how);
}

}  // namespace quelbro
