// Open and save dialogs for the case data, store and report files.
#include "console/window/qt_file_chooser.h"

#include <sys/stat.h>

#include <QFileDialog>
#include <QMessageBox>

#include "console/window/shell_dialogs.h"

namespace quelbro {

QStringList qtNameFilters(const std::vector<FileChooser::Filter>& filters) {
  QStringList out;
  for (const FileChooser::Filter& f : filters) {
    QString d = QString::fromStdString(f.description);
    if (f.pattern == "*.*") d.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
    out << d;
  }
  return out;
}

namespace {

std::optional<std::string> runDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                                     const std::vector<FileChooser::Filter>& filters,
                                     const std::string& defaultExtension) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setNameFilters(qtNameFilters(filters));
  followChosenType(dialog, QString::fromStdString(defaultExtension));
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    std::string path = dialog.selectedFiles().front().toLocal8Bit().toStdString();
    // Opening a named pipe waits for a program to write into it, and the
    // window would stand still meanwhile: the choice is refused and the
    // dialog comes back.
    struct stat st {};
    if (mode == QFileDialog::AcceptOpen && ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
      QMessageBox::warning(&dialog, dialog.windowTitle(),
                           QStringLiteral("%1 is a named pipe; case data are read from a file.")
                               .arg(dialog.selectedFiles().front()));
      continue;
    }
    return path;
  }
}

}  // namespace

std::optional<std::string> QtFileChooser::openFile(const std::vector<Filter>& filters,
                                                   const std::string& defaultExtension) {
  return runDialog(parent_, QFileDialog::AcceptOpen, filters, defaultExtension);
}

std::optional<std::string> QtFileChooser::saveFile(const std::vector<Filter>& filters,
                                                   const std::string& defaultExtension) {
  return runDialog(parent_, QFileDialog::AcceptSave, filters, defaultExtension);
}

}  // namespace quelbro
