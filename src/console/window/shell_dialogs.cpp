// The real message boxes and standard dialogs of the window shell.
#include "console/window/shell_dialogs.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

namespace quelbro {

QString suffixOfNameFilter(const QString& filter, const QString& fallback) {
  // "SVG Image (*.svg)": the patterns are inside the last parentheses.
  static const QRegularExpression oneExtension(QStringLiteral("\\(\\s*\\*\\.([A-Za-z0-9]+)\\s*\\)\\s*$"));
  const QRegularExpressionMatch m = oneExtension.match(filter);
  return m.hasMatch() ? m.captured(1) : fallback;
}

void followChosenType(QFileDialog& dialog, const QString& suffix) {
  dialog.setDefaultSuffix(suffix);
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffix](const QString& f) {
    dialog.setDefaultSuffix(suffixOfNameFilter(f, suffix));
  });
}

ShellDialogs::Answer QtShellDialogs::askYesNoCancel(QWidget* parent, const QString& title,
                                                    const QString& question) {
  const auto b = QMessageBox::question(
      parent, title, question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (b == QMessageBox::Yes) return Answer::Yes;
  if (b == QMessageBox::No) return Answer::No;
  return Answer::Cancel;
}

bool QtShellDialogs::askYesNo(QWidget* parent, const QString& title, const QString& question) {
  return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

void QtShellDialogs::warn(QWidget* parent, const QString& title, const QString& message) {
  QMessageBox::warning(parent, title, message);
}

void QtShellDialogs::inform(QWidget* parent, const QString& title, const QString& message) {
  QMessageBox::information(parent, title, message);
}

std::optional<QString> QtShellDialogs::saveFileName(QWidget* parent, const QStringList& nameFilters,
                                                    const QString& defaultSuffix) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(nameFilters);
  followChosenType(dialog, defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

bool QtShellDialogs::choosePrinter(QWidget* parent, QPrinter& printer, int minPage, int maxPage,
                                   const QString& defaultFile) {
  QPrintDialog dialog(&printer, parent);
  // The dialog makes its own file name up from the document name and the home folder; the field
  // is filled here instead, leaving the choice of printer as the dialog has it.
  if (printer.outputFileName().isEmpty() && !defaultFile.isEmpty()) {
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("filename"))) name->setText(defaultFile);
  }
  dialog.setMinMax(minPage, maxPage);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace quelbro
