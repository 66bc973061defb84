// Drawing, keys, mouse and clipboard of the "Input/Output" child window.
#include "console/window/io_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace quelbro {

IoWindow::IoWindow(IoText& text, QWidget* parent)
    : QAbstractScrollArea(parent), text_(text), font_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
  font_.setStyleHint(QFont::TypeWriter);
  font_.setFixedPitch(true);
  viewport()->setFont(font_);
  const QFontMetricsF fm(font_, viewport());
  cellWidth_ = std::max<qreal>(1.0, fm.horizontalAdvance(QLatin1Char('0')));
  cellHeight_ = std::max(1, static_cast<int>(std::ceil(fm.height() + std::max<qreal>(0.0, fm.leading()))));
  ascent_ = static_cast<int>(std::ceil(fm.ascent()));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(true);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  viewSizeChanged();
}

QPoint IoWindow::cellPosition(int line, int column) const {
  const qreal x = (column - text_.firstColumn()) * cellWidth_;
  return {static_cast<int>(std::floor(x)), (line - text_.firstLine()) * cellHeight_};
}

void IoWindow::refresh() {
  syncing_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, text_.maxFirstLine());
  v->setPageStep(text_.rows());
  v->setSingleStep(1);
  v->setValue(text_.firstLine());
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, std::max(text_.maxFirstColumn(), text_.firstColumn()));
  h->setPageStep(text_.columns());
  h->setSingleStep(1);
  h->setValue(text_.firstColumn());
  syncing_ = false;
  viewport()->update();
  if (text_.droppedLines() > droppedSeen_) {
    droppedSeen_ = text_.droppedLines();
    emit linesDropped();
  }
  const bool has = text_.selection().has_value();
  if (has != hadSelection_) {
    hadSelection_ = has;
    emit selectionChanged(has);
  }
}

void IoWindow::viewSizeChanged() {
  const QSize s = viewport()->size();
  text_.setViewSize(std::max(1, s.height() / cellHeight_),
                    std::max(1, static_cast<int>(std::floor(s.width() / cellWidth_))));
  refresh();
}

void IoWindow::edited() { refresh(); }

void IoWindow::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  viewSizeChanged();
}

void IoWindow::scrollContentsBy(int, int) {
  if (syncing_) return;
  text_.scrollTo(verticalScrollBar()->value());
  text_.setFirstColumn(horizontalScrollBar()->value());
  viewport()->update();
}

bool IoWindow::focusNextPrevChild(bool) { return false; }  // Tab is a key of the text

void IoWindow::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.setFont(font_);
  const QPalette& pal = palette();
  const int first = text_.firstLine();
  const int col0 = text_.firstColumn();
  const int rowsShown = viewport()->height() / cellHeight_ + 1;
  const auto& sel = text_.selection();
  for (int r = 0; r < rowsShown; ++r) {
    const int li = first + r;
    if (li >= text_.lineCount()) break;
    const std::string& s = text_.line(li);
    const int y = r * cellHeight_;
    if (static_cast<int>(s.size()) > col0) {
      p.setPen(pal.color(QPalette::Text));
      p.drawText(QPointF(0, y + ascent_),
                 QString::fromLatin1(s.data() + col0, static_cast<qsizetype>(s.size()) - col0));
    }
    if (sel && sel->line == li) {
      const int a = std::max(sel->start, col0);
      const int b = std::min(sel->end, static_cast<int>(s.size()));
      if (b > a) {
        const QRectF box((a - col0) * cellWidth_, y, (b - a) * cellWidth_, cellHeight_);
        p.fillRect(box, pal.color(QPalette::Highlight));
        p.setPen(pal.color(QPalette::HighlightedText));
        p.drawText(QPointF(box.left(), y + ascent_), QString::fromLatin1(s.data() + a, b - a));
      }
    }
  }
  if (hasFocus()) {
    const int row = text_.currentLine() - first;
    const int col = text_.caretColumn() - col0;
    if (row >= 0 && row < rowsShown && col >= 0) {
      p.fillRect(QRectF(col * cellWidth_, row * cellHeight_, 2, cellHeight_), pal.color(QPalette::Text));
    }
  }
}

namespace {

// Keys that type or change the answer line being written.
bool typesText(const QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
      return true;
    default:
      return !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
             !event->text().isEmpty() && event->text().at(0).unicode() >= 0x20;
  }
}

}  // namespace

void IoWindow::keyPressEvent(QKeyEvent* event) {
  if (inputEnded_ && typesText(event)) {
    QApplication::beep();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Backspace:
      text_.backspace();
      break;
    case Qt::Key_Tab:
      text_.tab();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      const std::string line = text_.enter();
      edited();
      emit lineEntered(line);
      return;
    }
    case Qt::Key_Left:
      text_.left();
      break;
    case Qt::Key_Right:
      text_.right();
      break;
    case Qt::Key_Up:
      text_.scrollBy(-1);
      break;
    case Qt::Key_Down:
      text_.scrollBy(1);
      break;
    case Qt::Key_PageUp:
      text_.pageUp();
      break;
    case Qt::Key_PageDown:
      text_.pageDown();
      break;
    case Qt::Key_Home:
      text_.home();
      break;
    case Qt::Key_End:
      text_.end();
      break;
    case Qt::Key_Insert:
      text_.insertBlank();
      break;
    case Qt::Key_Delete:
      text_.deleteAtCaret();
      break;
    default: {
      if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
      }
      const QString t = event->text();
      bool any = false;
      for (const QChar ch : t) {
        const char16_t u = ch.unicode();
        if ((u >= 0x20 && u < 0x7f) || (u >= 0xa0 && u <= 0xff)) {
          text_.typeChar(static_cast<char>(static_cast<unsigned char>(u)));
          any = true;
        }
      }
      if (!any) {
        event->ignore();
        return;
      }
    }
  }
  edited();
}

int IoWindow::lineAt(const QPoint& p) const { return text_.firstLine() + std::max(0, p.y()) / cellHeight_; }

int IoWindow::columnAt(const QPoint& p, bool nearestBoundary) const {
  const qreal c = std::max<qreal>(0.0, p.x()) / cellWidth_;
  return text_.firstColumn() + static_cast<int>(nearestBoundary ? std::lround(c) : std::floor(c));
}

void IoWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  anchorLine_ = lineAt(event->position().toPoint());
  anchorColumn_ = columnAt(event->position().toPoint(), true);
  text_.clearSelection();
  refresh();
}

void IoWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || anchorLine_ < 0) return;
  // The selection stays on the line where the button went down.
  text_.select(anchorLine_, anchorColumn_, columnAt(event->position().toPoint(), true));
  refresh();
}

void IoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  text_.selectWord(lineAt(p), columnAt(p, false));
  anchorLine_ = -1;
  refresh();
}

void IoWindow::copy() {
  if (!text_.selection()) return;
  const std::string s = text_.selectedText();
  QApplication::clipboard()->setText(QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())));
  emit copied();
}

void IoWindow::cut() {
  if (!text_.selection()) return;
  copy();
  text_.deleteSelection();
  edited();
}

void IoWindow::paste() {
  if (inputEnded_) return;
  const QString t = QApplication::clipboard()->text();
  if (t.isEmpty()) return;
  // The store holds Latin-1 only; a character turned into "?" (a minus sign from a word
  // processor, say) would change a case line without a word, so the whole paste is refused.
  const QList<uint> points = t.toUcs4();
  for (const uint u : points) {
    if (u > 0xff) {
      const char32_t c = u;
      const QString code = QStringLiteral("%1").arg(u, 4, 16, QLatin1Char('0')).toUpper();
      emit pasteRefused(QStringLiteral("Nothing was pasted: the clipboard text holds the character \"%1\" "
                                       "(U+%2), which this window cannot show.")
                            .arg(QString::fromUcs4(&c, 1), code));
      return;
    }
  }
  const QByteArray bytes = t.toLatin1();
  std::string_view rest(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  const bool waiting = !typeAhead_.empty();
  // CR LF, LF and CR each end a line.
  while (!rest.empty()) {
    const std::size_t stop = rest.find_first_of("\r\n");
    if (stop == std::string_view::npos) {
      typeAhead_.push_back({std::string(rest), false});
      break;
    }
    typeAhead_.push_back({std::string(rest.substr(0, stop)), true});
    std::size_t next = stop + 1;
    if (rest[stop] == '\r' && next < rest.size() && rest[next] == '\n') ++next;
    rest.remove_prefix(next);
  }
  // The first line goes in at the caret at once, as a single-line paste always has; the others
  // follow when the program asks for them.
  if (!waiting && !typeAhead_.empty()) {
    const PastedLine first = typeAhead_.front();
    typeAhead_.pop_front();
    typePasted(first);
  }
  typeAhead();
}

void IoWindow::typePasted(const PastedLine& line) {
  if (!line.text.empty()) text_.insertText(line.text);
  if (!line.enter) {
    edited();
    return;
  }
  const std::string entered = text_.enter();
  edited();
  emit lineEntered(entered);
}

void IoWindow::typeAhead() {
  if (typingAhead_) return;  // a line entered below may ask for the next one
  typingAhead_ = true;
  while (!typeAhead_.empty() && (readPending_ || !programRunning_)) {
    const PastedLine next = typeAhead_.front();
    typeAhead_.pop_front();
    typePasted(next);
  }
  typingAhead_ = false;
}

void IoWindow::setReadPending(bool pending) {
  readPending_ = pending;
  if (pending) typeAhead();
}

void IoWindow::setProgramRunning(bool running) {
  programRunning_ = running;
  if (!running) typeAhead();
}

void IoWindow::deleteSelection() {
  if (!text_.selection()) return;
  text_.deleteSelection();
  edited();
}

}  // namespace quelbro
