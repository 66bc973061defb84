// quelbro-win: the dialogue in the input/output window of a multiple-document frame.
#include <QApplication>
#include <QFileInfo>
#include <clocale>

#include "console/clock.h"
#include "console/std_descriptors.h"
#include "console/window/main_frame.h"
#include "console/window/project_icon.h"
#include "console/window/qt_file_chooser.h"
#include "console/window/roc_plot_window.h"
#include "console/window/shell_dialogs.h"
#include "console/window/window_console.h"
#include "dialogue/program.h"
#include "results/run_observers.h"

int main(int argc, char** argv) {
  // Before anything opens a file.
  quelbro::ensureStandardDescriptors();
  quelbro::ignoreFileSizeSignal();
  QApplication app(argc, argv);
  // Qt takes the locale from the environment; numbers in the reports are
  // always written and read with a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  // The application ends when the frame is closed and the dialogue has returned, not before.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(quelbro::projectIcon());

  quelbro::QtShellDialogs dialogs;
  quelbro::MainFrame frame(dialogs, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  QObject::connect(&frame, &quelbro::MainFrame::finished, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  frame.show();

  quelbro::WindowConsole console(frame);
  quelbro::QtFileChooser chooser;
  quelbro::SystemClock clock;
  quelbro::RocPlotOpener plots(frame, dialogs);
  quelbro::RunObservers observers({&frame, &plots});  // the frame's results and the ROC Curves
  if (!frame.startProgram([&] { quelbro::runWindowedProgram(console, clock, chooser, &observers); }))
    return 0;
  return QApplication::exec();
}
