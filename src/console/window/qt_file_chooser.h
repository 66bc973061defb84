// The dialog-based file selection's open and save dialogs, with Qt's file dialog.
#pragma once

#include <QStringList>
#include <vector>

#include "console/file_chooser.h"

class QWidget;

namespace quelbro {

class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::string> openFile(const std::vector<Filter>& filters,
                                      const std::string& defaultExtension) override;
  std::optional<std::string> saveFile(const std::vector<Filter>& filters,
                                      const std::string& defaultExtension) override;

 private:
  QWidget* parent_;
};

// Qt name filters for a filter list: the description, with "*.*" widened to "*" because
// here a name need not contain a dot.
QStringList qtNameFilters(const std::vector<FileChooser::Filter>& filters);

}  // namespace quelbro
