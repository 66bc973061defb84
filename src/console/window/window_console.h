// The dialogue's console inside the window: lines written go to the "Input/Output" window, and
// an answer is the line the user ends with Enter. Everything runs on the window's thread.
#pragma once

#include <QElapsedTimer>
#include <cstddef>
#include <string>
#include <string_view>

#include "console/text_console.h"

namespace quelbro {

class MainFrame;

// The dialogue reads answers of 80 columns into a buffer of 82.
inline constexpr std::size_t kAnswerBuffer = 82;

class WindowConsole : public TextConsole {
 public:
  explicit WindowConsole(MainFrame& frame, std::size_t answerBuffer = kAnswerBuffer);

  // Appends the line and, at most every few milliseconds, lets the window handle pending events.
  void writeLine(std::string_view line) override;
  // Runs the window until Enter; the typed line, cut to the buffer length less 2. False once the
  // user has closed the frame (the end of input).
  bool readLine(std::string& line) override;
  // The frame asks the list before saving over a file and when it tells of dropped lines.
  void setOpenFiles(const OpenFileList* files) override;

  bool isReading() const { return reading_; }

 private:
  void service();

  MainFrame& frame_;
  std::size_t answerBuffer_;
  QElapsedTimer pace_;
  bool reading_ = false;
};

}  // namespace quelbro
