// The multiple-document frame: menus File, Edit and Window with their accelerators, the one
// "Input/Output" child, saving, printing, the About box, and the end of the program.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "console/open_files.h"
#include "console/window/io_text.h"
#include "console/window/shell_dialogs.h"
#include "results/results.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;

namespace quelbro {

class IoWindow;

// Menu identifiers, kept as the actions' data.
enum MenuId : int {
  kMenuSave = 500,
  kMenuSaveAs = 501,
  kMenuExportResults = 505,
  kMenuExtendedResults = 506,
  kMenuPrint = 510,
  kMenuAbout = 520,
  kMenuExit = 530,
  kMenuUndo = 600,
  kMenuCut = 610,
  kMenuCopy = 611,
  kMenuPaste = 612,
  kMenuDelete = 613,
  kMenuTile = 700,
  kMenuCascade = 701,
  kMenuArrange = 702,
};

// The window's last line once the dialogue has ended (the frame stays open).
inline constexpr const char* kDialogueEnded = " --- The dialogue has ended; no more answers are taken. ---";

// What the last print job did.
struct PrintReport {
  int linesPerPage = 0;
  int firstLine = 0;  // 0-based
  int linesPrinted = 0;
  int pages = 0;
  bool cancelled = false;
};

// Also the run's observer: it keeps every dataset analysed, for Export Results.
class MainFrame : public QMainWindow, public RunObserver {
  Q_OBJECT

 public:
  // `title` is the program file's name.
  MainFrame(ShellDialogs& dialogs, const QString& title, QWidget* parent = nullptr);
  ~MainFrame() override;

  IoText& text() { return text_; }
  IoWindow* ioWindow() const { return io_; }
  QMdiSubWindow* ioSubWindow() const { return ioSub_; }
  QMdiArea* mdiArea() const { return mdi_; }
  QMenu* windowMenu() const { return windowMenu_; }
  QAction* action(int menuId) const;
  const QString& savedFileName() const { return fileName_; }
  const PrintReport& lastPrint() const { return lastPrint_; }
  bool isPrinting() const { return printing_; }

  // Asks for the pacing timer (the "No timers available" question when there is none), then runs
  // `program` from the event loop. False when the user chose to end instead.
  bool startProgram(std::function<void()> program);
  // How the pacing timer is obtained (tests pretend there is none): returns a timer id, 0 for none.
  void setTimerSource(std::function<int(QObject&, int)> source) { timerSource_ = std::move(source); }
  bool programRunning() const { return running_; }
  // The user closed the frame (after the save question).
  bool isClosed() const { return closed_; }

  // Grays or enables the Edit items for the current selection and clipboard.
  void updateEditActions();

  // Keeps a dataset's records and enables Export Results.
  void datasetFinished(const DatasetResults& results) override;
  const std::vector<DatasetResults>& analysedDatasets() const { return analysed_; }
  // The files the dialogue holds open (null: none); the window never saves over one of them.
  void setOpenFiles(const OpenFileList* files) { openFiles_ = files; }
  // The name offered for printing to a file: the program's name with ".pdf", in the current folder.
  QString defaultPrintFile() const;
  // What the status bar says about lines dropped from the window (empty until some are).
  QString droppedLinesNote() const;

 public slots:
  bool save();
  bool saveAs();
  // Writes the CSV tables of the datasets analysed so far, under a prefix
  // chosen in the save dialog.
  bool exportResults();
  // Opens (or brings forward, brought up to date) the Extended Results child.
  void showExtendedResults();
  void print();
  void about();
  void exitProgram() { close(); }
  void arrangeIcons();

 signals:
  // The frame was closed by the user; a pending read ends.
  void closedByUser();
  // Closed and the program has returned (or never ran): the application may quit.
  void finished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* addItem(QMenu* menu, const QString& text, int id, const QKeySequence& keys = {});
  bool writeTo(const QString& path);
  void printText(QPrinter& printer);
  void rebuildWindowMenu();
  void programReturned();
  std::optional<OpenFile> openFileAt(const QString& path) const;
  bool reportFileOpen() const;
  void announceDroppedLines();

  ShellDialogs& dialogs_;
  QString programName_;
  IoText text_;
  QMdiArea* mdi_ = nullptr;
  IoWindow* io_ = nullptr;
  QMdiSubWindow* ioSub_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  std::map<int, QAction*> actions_;
  bool pasteEnabled_ = false;
  QString fileName_;
  bool printing_ = false;
  bool printCancel_ = false;
  PrintReport lastPrint_;
  std::function<int(QObject&, int)> timerSource_;
  int pacingTimer_ = 0;
  bool running_ = false;
  bool closed_ = false;
  std::vector<DatasetResults> analysed_;
  // Cleared by Qt when the child closes (never through a signal that could reach a frame
  // being destroyed).
  QPointer<QMdiSubWindow> extendedSub_;
  const OpenFileList* openFiles_ = nullptr;
  QLabel* dropNote_ = nullptr;
};

// Name filters of the window's save dialog, in order, and its default extension.
QStringList windowSaveFilters();
inline constexpr const char* kWindowSaveSuffix = "txt";

// Name filters of the Export Results dialog and its default extension.
QStringList exportFilters();
inline constexpr const char* kExportSuffix = "csv";

// The tables' prefix for a name chosen in the export dialog: the name
// without ".csv", and without a table's ending ("-fits" ...) when one of the
// tables was picked.
std::string exportPrefix(const std::string& chosen);

}  // namespace quelbro
