// Writing and reading lines through the input/output window.
#include "console/window/window_console.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <optional>

#include "console/window/io_window.h"
#include "console/window/main_frame.h"

namespace quelbro {

namespace {
// Servicing the window after every line would cost more than the computation between lines.
constexpr qint64 kServiceIntervalMs = 10;
}  // namespace

WindowConsole::WindowConsole(MainFrame& frame, std::size_t answerBuffer)
    : frame_(frame), answerBuffer_(answerBuffer) {
  pace_.start();
}

void WindowConsole::service() {
  frame_.ioWindow()->refresh();
  frame_.updateEditActions();
  QCoreApplication::processEvents();
  pace_.restart();
}

void WindowConsole::writeLine(std::string_view line) {
  if (frame_.isClosed()) return;  // nobody to show it to
  frame_.text().writeLine(line);
  if (pace_.elapsed() >= kServiceIntervalMs) service();
}

void WindowConsole::setOpenFiles(const OpenFileList* files) { frame_.setOpenFiles(files); }

bool WindowConsole::readLine(std::string& line) {
  line.clear();
  if (frame_.isClosed()) return false;
  frame_.ioWindow()->refresh();
  frame_.updateEditActions();

  QEventLoop loop;
  std::optional<std::string> answer;
  IoWindow* io = frame_.ioWindow();
  QObject::connect(io, &IoWindow::lineEntered, &loop, [&](const std::string& text) {
    if (answer) return;  // one answer per read
    answer = text;
    io->setReadPending(false);
    loop.quit();
  });
  QObject::connect(&frame_, &MainFrame::closedByUser, &loop, &QEventLoop::quit);
  reading_ = true;
  io->setReadPending(true);  // a pasted line waiting for this read is typed now
  if (!answer) loop.exec();
  io->setReadPending(false);
  reading_ = false;
  pace_.restart();
  if (!answer) return false;
  const std::size_t keep = answerBuffer_ >= 2 ? answerBuffer_ - 2 : 0;
  line = answer->substr(0, keep);
  return true;
}

}  // namespace quelbro
