// Keys and mouse in the input/output window, sent as real key and mouse events.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <string>

#include "window_fixture.h"

namespace quelbro::testing {
namespace {

TEST(WindowKeys, EditingKeysActOnTheLineBeingTyped) {
  Shell s;
  s.text().writeLine(" Question?");
  s.type("abcdef");
  EXPECT_EQ(s.current(), "abcdef");
  EXPECT_EQ(s.text().caretColumn(), 6);
  s.key(Qt::Key_Left);
  s.key(Qt::Key_Left);
  EXPECT_EQ(s.text().caretColumn(), 4);
  s.key(Qt::Key_Backspace);  // removes the 'd' left of the caret
  EXPECT_EQ(s.current(), "abcef");
  EXPECT_EQ(s.text().caretColumn(), 3);
  s.key(Qt::Key_Insert);  // opens a blank, caret stays
  EXPECT_EQ(s.current(), "abc ef");
  EXPECT_EQ(s.text().caretColumn(), 3);
  s.type("X");  // typing inserts
  EXPECT_EQ(s.current(), "abcX ef");
  EXPECT_EQ(s.text().caretColumn(), 4);
  s.key(Qt::Key_Delete);  // closes the gap at the caret
  EXPECT_EQ(s.current(), "abcXef");
  for (int i = 0; i < 5; ++i) s.key(Qt::Key_Right);
  EXPECT_EQ(s.text().caretColumn(), 6);  // not past the end of the text
  s.key(Qt::Key_Delete);                 // nothing at the caret
  EXPECT_EQ(s.current(), "abcXef");
  s.key(Qt::Key_Tab);  // 6 -> 8
  EXPECT_EQ(s.current(), "abcXef  ");
  s.key(Qt::Key_Tab);  // at a multiple of 8 a tab still writes blanks: 8 -> 16
  EXPECT_EQ(s.current(), "abcXef" + std::string(10, ' '));
  EXPECT_EQ(s.text().caretColumn(), 16);
  for (int i = 0; i < 20; ++i) s.key(Qt::Key_Left);
  EXPECT_EQ(s.text().caretColumn(), 0);
  s.key(Qt::Key_Backspace);  // nothing left of column 0
  EXPECT_EQ(s.current(), "abcXef" + std::string(10, ' '));
  // The written line above is never touched by the keys.
  EXPECT_EQ(s.text().line(0), " Question?");
}

TEST(WindowKeys, EnterEndsTheLineAndAnEmptyLineCountsToo) {
  Shell s;
  s.type("yes");
  s.key(Qt::Key_Return);
  s.key(Qt::Key_Enter);  // nothing typed: an empty line
  s.type("x");
  EXPECT_EQ(windowLines(s.text()), (std::vector<std::string>{"yes", "", "x"}));
  EXPECT_EQ(s.text().storedLineCount(), 3);
  EXPECT_EQ(s.text().caretColumn(), 1);
}

TEST(WindowKeys, TypingOnAFreshLineStartsItAndControlKeysTypeNothing) {
  Shell s;
  s.text().writeLine("out");
  EXPECT_FALSE(s.text().currentLineStarted());
  EXPECT_EQ(s.text().storedLineCount(), 1);
  s.key(Qt::Key_Escape);
  s.key(Qt::Key_F1);
  EXPECT_FALSE(s.text().currentLineStarted());
  s.type("a");
  EXPECT_TRUE(s.text().currentLineStarted());
  EXPECT_EQ(s.text().storedLineCount(), 2);
}

TEST(WindowKeys, ScrollKeysMoveTheViewByLinesPagesAndToEitherEnd) {
  Shell s;
  for (int i = 1; i <= 100; ++i) s.text().writeLine("line " + std::to_string(i));
  s.io()->refresh();
  const int rows = s.text().rows();
  ASSERT_EQ(rows, s.io()->viewport()->height() / s.io()->cellHeight());
  ASSERT_GT(rows, 3);
  // 100 written lines and the fresh line: the last screenful starts at 101 - rows.
  const int last = 101 - rows;
  EXPECT_EQ(s.text().firstLine(), last);  // output keeps the caret line in view

  struct Step {
    Qt::Key key;
    int expected;
  };
  const Step steps[] = {
      {Qt::Key_Home, 0},
      {Qt::Key_Up, 0},
      {Qt::Key_Down, 1},
      {Qt::Key_Down, 2},
      {Qt::Key_PageDown, 2 + rows},
      {Qt::Key_Up, 1 + rows},
      {Qt::Key_PageUp, 1},
      {Qt::Key_PageUp, 0},
      {Qt::Key_End, last},
      {Qt::Key_Down, last},
      {Qt::Key_PageDown, last},
      {Qt::Key_PageUp, last - rows},
  };
  for (const Step& st : steps) {
    s.key(st.key);
    EXPECT_EQ(s.text().firstLine(), st.expected) << "after key " << st.key;
    EXPECT_EQ(s.io()->verticalScrollBar()->value(), st.expected);
  }
  // Scrolling never moves the caret or changes the text.
  EXPECT_EQ(s.text().currentLine(), 100);
  EXPECT_EQ(s.text().line(99), "line 100");
}

TEST(WindowKeys, TypingAtTheBottomAfterScrollingAwayBringsTheCaretBack) {
  Shell s;
  for (int i = 1; i <= 60; ++i) s.text().writeLine("x");
  s.io()->refresh();
  s.key(Qt::Key_Home);
  EXPECT_EQ(s.text().firstLine(), 0);
  s.type("a");
  EXPECT_EQ(s.text().firstLine(), s.text().lineCount() - s.text().rows());
}

// Viewport point inside a character cell: a quarter of a cell to the right of its left edge.
QPoint cell(Shell& s, int line, int column) {
  QPoint p = s.io()->cellPosition(line, column);
  p.rx() += static_cast<int>(s.io()->cellWidth() / 4);
  p.ry() += s.io()->cellHeight() / 2;
  return p;
}

void drag(Shell& s, QPoint from, QPoint to) {
  QWidget* vp = s.io()->viewport();
  QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), vp->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(vp, &move);
  QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, to);
}

TEST(WindowMouse, DragSelectsColumnsOfOneLineAndDoubleClickSelectsAWord) {
  Shell s;
  s.text().writeLine("alpha beta  gamma");
  s.text().writeLine("second line");
  s.io()->refresh();
  QAction* cut = s.frame.action(kMenuCut);
  QAction* copy = s.frame.action(kMenuCopy);
  QAction* del = s.frame.action(kMenuDelete);
  EXPECT_FALSE(cut->isEnabled());
  EXPECT_FALSE(copy->isEnabled());
  EXPECT_FALSE(del->isEnabled());

  drag(s, cell(s, 0, 6), cell(s, 0, 10));
  EXPECT_EQ(s.text().selectedText(), "beta");
  EXPECT_TRUE(cut->isEnabled());
  EXPECT_TRUE(copy->isEnabled());
  EXPECT_TRUE(del->isEnabled());

  // Dragging backwards and down onto the next line keeps to the line where it began.
  drag(s, cell(s, 0, 5), cell(s, 1, 0));
  EXPECT_EQ(s.text().selection()->line, 0);
  EXPECT_EQ(s.text().selectedText(), "alpha");

  // Past the end of the text the selection stops at the last character.
  drag(s, cell(s, 1, 7), cell(s, 1, 40));
  EXPECT_EQ(s.text().selectedText(), "line");

  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 14));
  EXPECT_EQ(s.text().selectedText(), "gamma");
  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 1, 2));
  EXPECT_EQ(s.text().selectedText(), "second");

  // A click without dragging clears it, and the items gray again.
  QTest::mouseClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 1));
  EXPECT_FALSE(s.text().selection().has_value());
  EXPECT_FALSE(cut->isEnabled());
  // A double click on a blank selects nothing.
  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 11));
  EXPECT_FALSE(s.text().selection().has_value());
  EXPECT_FALSE(copy->isEnabled());
}

TEST(WindowClipboard, CutCopyPasteAndDeleteGoThroughTheClipboard) {
  Shell s;
  QApplication::clipboard()->clear();
  s.text().writeLine("alpha beta gamma");
  s.io()->refresh();
  QAction* paste = s.frame.action(kMenuPaste);
  QAction* undo = s.frame.action(kMenuUndo);
  s.frame.updateEditActions();
  EXPECT_FALSE(paste->isEnabled());
  EXPECT_FALSE(undo->isEnabled());

  // Copy with its accelerator.
  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 7));
  ASSERT_EQ(s.text().selectedText(), "beta");
  s.key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("beta"));
  EXPECT_TRUE(paste->isEnabled());
  EXPECT_EQ(s.text().line(0), "alpha beta gamma");

  // Paste inserts at the caret of the line being typed.
  s.type("<>");
  s.key(Qt::Key_Left);
  paste->trigger();
  EXPECT_EQ(s.current(), "<beta>");
  EXPECT_EQ(s.text().caretColumn(), 5);

  // Cut copies and removes.
  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 1));
  ASSERT_EQ(s.text().selectedText(), "alpha");
  s.frame.action(kMenuCut)->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha"));
  EXPECT_EQ(s.text().line(0), " beta gamma");
  EXPECT_FALSE(s.frame.action(kMenuCut)->isEnabled());

  // Delete removes without touching the clipboard.
  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 7));
  ASSERT_EQ(s.text().selectedText(), "gamma");
  s.frame.action(kMenuDelete)->trigger();
  EXPECT_EQ(s.text().line(0), " beta ");
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha"));

  // A line end in the clipboard's text is Enter; tabs become blanks.
  QApplication::clipboard()->setText(QStringLiteral("a\tb\r\nsecond"));
  s.key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(s.text().line(s.text().currentLine() - 1), "<betaa b>");
  EXPECT_EQ(s.current(), "second");
}

TEST(WindowClipboard, CutOnTheLineBeingTypedMovesTheCaretWithTheText) {
  Shell s;
  s.type("one two three");
  s.io()->refresh();
  QTest::mouseDClick(s.io()->viewport(), Qt::LeftButton, Qt::NoModifier, cell(s, 0, 5));
  ASSERT_EQ(s.text().selectedText(), "two");
  s.frame.action(kMenuCut)->trigger();
  EXPECT_EQ(s.current(), "one  three");
  EXPECT_EQ(s.text().caretColumn(), 10);
}

}  // namespace
}  // namespace quelbro::testing
