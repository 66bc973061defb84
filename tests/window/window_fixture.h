// Shared pieces of the window tests: scripted answers for the shell's questions and dialogs,
// a frame shown on the test platform, and a typist that answers pending reads with real keys.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/window/io_window.h"
#include "console/window/main_frame.h"
#include "console/window/shell_dialogs.h"
#include "console/window/system_info.h"
#include "console/window/window_console.h"
#include "dialogue/program.h"

// QStrings in test messages as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace quelbro::testing {

// Hands out prepared paths to the open and save dialogs, in order.
class ListedChooser : public FileChooser {
 public:
  explicit ListedChooser(std::deque<std::string> paths) : paths_(std::move(paths)) {}
  std::optional<std::string> openFile(const std::vector<Filter>&, const std::string&) override {
    return next();
  }
  std::optional<std::string> saveFile(const std::vector<Filter>&, const std::string&) override {
    return next();
  }

 private:
  std::optional<std::string> next() {
    if (paths_.empty()) return std::nullopt;
    std::string p = paths_.front();
    paths_.pop_front();
    return p;
  }
  std::deque<std::string> paths_;
};

class FakeDialogs : public ShellDialogs {
 public:
  Answer askYesNoCancel(QWidget*, const QString&, const QString& question) override {
    questions.push_back(question);
    return saveAnswer;
  }
  bool askYesNo(QWidget*, const QString&, const QString& question) override {
    questions.push_back(question);
    return yes;
  }
  void warn(QWidget*, const QString&, const QString& message) override { warnings.push_back(message); }
  void inform(QWidget*, const QString&, const QString& message) override { informed.push_back(message); }
  std::optional<QString> saveFileName(QWidget*, const QStringList& filters, const QString& suffix) override {
    ++saveDialogs;
    lastFilters = filters;
    lastSuffix = suffix;
    return saveName;
  }
  bool choosePrinter(QWidget*, QPrinter& printer, int minPage, int maxPage,
                     const QString& defaultFile) override {
    ++printDialogs;
    printDefaultFile = defaultFile;
    printMin = minPage;
    printMax = maxPage;
    if (!printTo) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*printTo);
    if (pages) {
      printer.setPrintRange(QPrinter::PageRange);
      printer.setFromTo(pages->first, pages->second);
    }
    if (onPrint) onPrint();
    return true;
  }

  // Scripted decisions.
  Answer saveAnswer = Answer::No;
  bool yes = true;
  std::optional<QString> saveName;
  std::optional<QString> printTo;
  std::optional<std::pair<int, int>> pages;
  std::function<void()> onPrint;
  // What was asked.
  std::vector<QString> questions;
  std::vector<QString> warnings;
  std::vector<QString> informed;
  int saveDialogs = 0;
  QStringList lastFilters;
  QString lastSuffix;
  int printDialogs = 0;
  int printMin = 0;
  int printMax = 0;
  QString printDefaultFile;
};

// A frame as the program shows it, with the input/output window focused.
struct Shell {
  Shell() : frame(dialogs, QStringLiteral("quelbro-win")) {
    frame.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.activateWindow();
    io()->setFocus();
    QCoreApplication::processEvents();
  }
  IoWindow* io() { return frame.ioWindow(); }
  IoText& text() { return frame.text(); }
  void type(const char* s) { QTest::keyClicks(io(), QString::fromLatin1(s)); }
  void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(io(), k, m); }
  std::string current() { return text().line(text().currentLine()); }

  FakeDialogs dialogs;
  MainFrame frame;
};

inline void clickTitleBarButton(QMdiSubWindow* child, QStyle::SubControl button);

// Puts `text` on the clipboard and pastes it with Ctrl+V.
inline void pasteWithKeys(QWidget* io, const QString& text) {
  QApplication::clipboard()->setText(text);
  QTest::keyClick(io, Qt::Key_V, Qt::ControlModifier);
}

// Types the next scripted answer, with key events, whenever the console waits for one. An entry
// "<close>" closes the frame instead, "<close child>" clicks the Input/Output child's close box,
// "<paste>text" pastes the text (UTF-8) with Ctrl+V.
class Typist {
 public:
  Typist(Shell& shell, WindowConsole& console, std::vector<std::string> answers)
      : shell_(shell), console_(console), answers_(answers.begin(), answers.end()) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start(1);
  }
  bool done() const { return answers_.empty(); }

 private:
  void tick() {
    if (!console_.isReading() || answers_.empty()) return;
    const std::string a = answers_.front();
    answers_.pop_front();
    if (a == "<close>") {
      shell_.frame.close();
      return;
    }
    if (a == "<close child>") {
      clickTitleBarButton(shell_.frame.ioSubWindow(), QStyle::SC_TitleBarCloseButton);
      return;
    }
    if (a.rfind("<paste>", 0) == 0) {
      pasteWithKeys(shell_.io(), QString::fromStdString(a.substr(7)));
      return;
    }
    QTest::keyClicks(shell_.io(), QString::fromStdString(a));
    QTest::keyClick(shell_.io(), Qt::Key_Return);
  }
  Shell& shell_;
  WindowConsole& console_;
  std::deque<std::string> answers_;
  QTimer timer_;
};

// The middle of a button on a child window's title bar, in the child's coordinates (the title bar
// lies inside the child's 4-pixel frame, as the child draws it).
inline QPoint titleBarButton(QMdiSubWindow* child, QStyle::SubControl button) {
  QStyleOptionTitleBar opt;
  opt.initFrom(child);
  opt.subControls = QStyle::SC_All;
  opt.titleBarFlags = child->windowFlags();
  opt.titleBarState = static_cast<int>(child->windowState());
  opt.text = child->windowTitle();
  const int border = child->isMinimized() ? 0 : 4;
  const int height = child->style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt, child);
  opt.rect = QRect(border, border, child->width() - 2 * border, height);
  return child->style()->subControlRect(QStyle::CC_TitleBar, &opt, button, child).center();
}

// Clicks a title-bar button of a child window with the mouse, as the user does: the pointer comes
// over the button first, then presses and lets go.
inline void clickTitleBarButton(QMdiSubWindow* child, QStyle::SubControl button) {
  const QPoint p = titleBarButton(child, button);
  // From elsewhere: a move to where the pointer already is would not reach the child.
  QTest::mouseMove(child, QPoint(child->width() / 2, child->height() / 2));
  QTest::mouseMove(child, p);
  QTest::mouseClick(child, Qt::LeftButton, Qt::NoModifier, p);
}

inline std::vector<std::string> windowLines(const IoText& t) {
  std::vector<std::string> out;
  for (int i = 0; i < t.lineCount(); ++i) out.push_back(t.line(i));
  return out;
}

}  // namespace quelbro::testing
