// The "Input/Output" child window: draws an IoText in the system fixed-pitch font with a caret and
// both scroll bars, and turns keys and mouse actions into edits, scrolling and selection.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <deque>
#include <string>

#include "console/window/io_text.h"

namespace quelbro {

class IoWindow : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit IoWindow(IoText& text, QWidget* parent = nullptr);

  IoText& text() { return text_; }
  const QFont& textFont() const { return font_; }
  qreal cellWidth() const { return cellWidth_; }
  int cellHeight() const { return cellHeight_; }
  // Viewport position of the left edge of a column on a line (for tests and the caret).
  QPoint cellPosition(int line, int column) const;

  // Brings the scroll bars and the picture up to date after the text changed.
  void refresh();

  // Once the dialogue has ended, typed keys and pasted text are refused;
  // scrolling, selecting and copying still work.
  void endInput() { inputEnded_ = true; }
  bool inputEnded() const { return inputEnded_; }

  // The Edit menu's actions on the selection and the clipboard.
  void cut();
  void copy();
  void paste();
  void deleteSelection();

  // Pasted lines after the first wait here and are typed one at a time, each ended by Enter, when
  // the program asks for a line (all at once after it has returned), as a terminal types ahead.
  void setReadPending(bool pending);
  void setProgramRunning(bool running);
  bool hasTypeAhead() const { return !typeAhead_.empty(); }

 signals:
  // Enter ended the line being typed; `text` is the line without any line end.
  void lineEntered(const std::string& text);
  // The selection appeared or went away (the Edit menu grays its items).
  void selectionChanged(bool hasSelection);
  // The text was copied to the clipboard (the Edit menu enables Paste).
  void copied();
  // The store dropped its oldest lines for the first time since the last signal.
  void linesDropped();
  // A paste was refused; `message` says why.
  void pasteRefused(const QString& message);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void viewSizeChanged();
  void edited();
  int lineAt(const QPoint& p) const;
  int columnAt(const QPoint& p, bool nearestBoundary) const;
  struct PastedLine {
    std::string text;
    bool enter;  // the clipboard had a line end after it
  };
  void typePasted(const PastedLine& line);
  void typeAhead();

  IoText& text_;
  QFont font_;
  qreal cellWidth_ = 8;
  int cellHeight_ = 16;
  int ascent_ = 12;
  int anchorLine_ = -1;
  int anchorColumn_ = 0;
  bool hadSelection_ = false;
  bool inputEnded_ = false;
  bool syncing_ = false;
  long long droppedSeen_ = 0;
  std::deque<PastedLine> typeAhead_;
  bool readPending_ = false;
  bool programRunning_ = false;
  bool typingAhead_ = false;
};

}  // namespace quelbro
