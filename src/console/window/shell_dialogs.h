// The questions, messages and standard dialogs the window shell shows, behind one interface so
// that tests can answer them; QtShellDialogs shows the real ones.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QFileDialog;
class QPrinter;
class QWidget;

namespace quelbro {

class ShellDialogs {
 public:
  enum class Answer { Yes, No, Cancel };
  virtual ~ShellDialogs() = default;
  // "Save the Input/Output window?" with Yes, No and Cancel.
  virtual Answer askYesNoCancel(QWidget* parent, const QString& title, const QString& question) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool askYesNo(QWidget* parent, const QString& title, const QString& question) = 0;
  virtual void warn(QWidget* parent, const QString& title, const QString& message) = 0;
  virtual void inform(QWidget* parent, const QString& title, const QString& message) = 0;
  // The save dialog: Qt name filters in order, default suffix, asks before replacing a file.
  virtual std::optional<QString> saveFileName(QWidget* parent, const QStringList& nameFilters,
                                              const QString& defaultSuffix) = 0;
  // The print dialog for `printer` with pages minPage..maxPage selectable, offering `defaultFile`
  // when printing to a file; false when cancelled.
  virtual bool choosePrinter(QWidget* parent, QPrinter& printer, int minPage, int maxPage,
                             const QString& defaultFile) = 0;
};

// The extension a save dialog gives a bare name for a name filter of one
// extension ("SVG Image (*.svg)" gives "svg"); `fallback` for any other.
QString suffixOfNameFilter(const QString& filter, const QString& fallback);

// Gives `dialog` the default suffix `suffix`, and a name typed without an
// extension the extension of the file type chosen ("SVG Image" with the name
// "curves" saves curves.svg); a type of any extension keeps `suffix`.
void followChosenType(QFileDialog& dialog, const QString& suffix);

class QtShellDialogs : public ShellDialogs {
 public:
  Answer askYesNoCancel(QWidget* parent, const QString& title, const QString& question) override;
  bool askYesNo(QWidget* parent, const QString& title, const QString& question) override;
  void warn(QWidget* parent, const QString& title, const QString& message) override;
  void inform(QWidget* parent, const QString& title, const QString& message) override;
  std::optional<QString> saveFileName(QWidget* parent, const QStringList& nameFilters,
                                      const QString& defaultSuffix) override;
  bool choosePrinter(QWidget* parent, QPrinter& printer, int minPage, int maxPage,
                     const QString& defaultFile) override;
};

}  // namespace quelbro
