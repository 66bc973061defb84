// iofile: the opening questions with the platform's open and save dialogs
// (the window program).
#include <filesystem>

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
    std::error_code ec;
    if (std::filesystem::is_directory(*path, ec)) return Obtained::NotOpened;
    s.in = std::fopen(path->c_str(), "rb");
    if (s.in == nullptr) return Obtained::NotOpened;
    s.inPath = *path;
    s.reportFileName = reportNameOf(*path);
    return Obtained::Opened;
  }

  Obtained store(Session& s) override {
    auto path = chooser_.saveFile(saveFilters(), "txt");
    if (!path || path->empty()) return Obtained::NotOpened;
    if (!s.store.create(*path, false)) return Obtained::NotOpened;
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
    return s.report.create(*path, false) ? Obtained::Opened : Obtained::NotOpened;
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
