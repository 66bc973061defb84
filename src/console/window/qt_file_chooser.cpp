// Open and save dialogs for the case data, store and report files.
#include "console/window/qt_file_chooser.h"

#include <QFileDialog>

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
  dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toLocal8Bit().toStdString();
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
