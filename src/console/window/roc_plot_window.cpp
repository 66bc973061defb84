// The ROC figure in a child window: painted from the figure's shapes, saved, printed.
#include "console/window/roc_plot_window.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "console/window/io_window.h"
#include "console/window/main_frame.h"
#include "results/svg_writer.h"

namespace quelbro {
namespace {

constexpr int kGap = 3;  // between the children, as the Input/Output child sits at (3, 3)

QColor color(const std::string& c) {
  return QColor(QString::fromLatin1(c.data(), static_cast<qsizetype>(c.size())));
}

// `scale`: device pixels per figure unit. Curves stay at least 1.5 pixels wide when the
// figure is drawn small.
QPen pen(const FigShape& s, double scale) {
  if (s.stroke.empty()) return Qt::NoPen;
  const double width = s.kind == FigShape::Kind::Polyline ? std::max(s.width, 1.5 / scale) : s.width;
  QPen p(color(s.stroke), width);
  p.setJoinStyle(Qt::RoundJoin);
  if (!s.dash.empty()) {
    // Qt measures dashes in pen widths.
    QList<qreal> pattern;
    for (double d : s.dash) pattern.append(d / width);
    p.setDashPattern(pattern);
    p.setCapStyle(Qt::FlatCap);
  } else {
    p.setCapStyle(s.kind == FigShape::Kind::Polyline ? Qt::RoundCap : Qt::SquareCap);
  }
  return p;
}

QBrush brush(const FigShape& s) { return s.fill.empty() ? QBrush(Qt::NoBrush) : QBrush(color(s.fill)); }

QPolygonF polygon(const std::vector<FigPoint>& pts) {
  QPolygonF poly;
  poly.reserve(static_cast<qsizetype>(pts.size()));
  for (const FigPoint& p : pts) poly.append(QPointF(p.x, p.y));
  return poly;
}

void drawText(QPainter& painter, const FigShape& s) {
  QFont font(QStringLiteral("Helvetica"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, qRound(s.fontSize)));
  font.setBold(s.bold);
  painter.setFont(font);
  painter.setPen(color(s.fill.empty() ? std::string("#000000") : s.fill));
  const QString text = QString::fromUtf8(s.text.data(), static_cast<qsizetype>(s.text.size()));
  const double w = QFontMetricsF(font).horizontalAdvance(text);
  const double dx = s.anchor == TextAnchor::Middle ? -w / 2.0 : s.anchor == TextAnchor::End ? -w : 0.0;
  painter.save();
  painter.translate(s.pts[0].x, s.pts[0].y);
  if (s.vertical) painter.rotate(-90.0);
  painter.drawText(QPointF(dx, 0.0), text);
  painter.restore();
}

}  // namespace

void paintRocFigure(QPainter& painter, const RocFigure& fig, const QRectF& target) {
  if (fig.width <= 0.0 || fig.height <= 0.0 || target.isEmpty()) return;
  const double scale = std::min(target.width() / fig.width, target.height() / fig.height);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.translate(target.x() + (target.width() - fig.width * scale) / 2.0,
                    target.y() + (target.height() - fig.height * scale) / 2.0);
  painter.scale(scale, scale);
  for (const FigShape& s : fig.shapes) {
    switch (s.kind) {
      case FigShape::Kind::Line:
        painter.setPen(pen(s, scale));
        painter.drawLine(QPointF(s.pts[0].x, s.pts[0].y), QPointF(s.pts[1].x, s.pts[1].y));
        break;
      case FigShape::Kind::Polyline:
        painter.setPen(pen(s, scale));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(polygon(s.pts));
        break;
      case FigShape::Kind::Polygon:
        painter.setPen(pen(s, scale));
        painter.setBrush(brush(s));
        painter.drawPolygon(polygon(s.pts));
        break;
      case FigShape::Kind::Circle:
        painter.setPen(pen(s, scale));
        painter.setBrush(brush(s));
        painter.drawEllipse(QPointF(s.pts[0].x, s.pts[0].y), s.size, s.size);
        break;
      case FigShape::Kind::Rect:
        painter.setPen(pen(s, scale));
        painter.setBrush(brush(s));
        painter.drawRect(QRectF(QPointF(s.pts[0].x, s.pts[0].y), QPointF(s.pts[1].x, s.pts[1].y)));
        break;
      case FigShape::Kind::Text:
        drawText(painter, s);
        break;
    }
  }
  painter.restore();
}

QStringList plotSaveFilters() {
  return {QStringLiteral("PNG Image (*.png)"), QStringLiteral("SVG Image (*.svg)")};
}

RocPlotWindow::RocPlotWindow(RocFigure fig, ShellDialogs& dialogs, QWidget* parent)
    : QWidget(parent), fig_(std::move(fig)), dialogs_(dialogs) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::ClickFocus);
  setMinimumSize(160, 120);
}

QSize RocPlotWindow::sizeHint() const { return {qRound(fig_.width), qRound(fig_.height)}; }

void RocPlotWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  paintRocFigure(painter, fig_, QRectF(rect()));
}

void RocPlotWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  connect(menu.addAction(QStringLiteral("Save As...")), &QAction::triggered, this, &RocPlotWindow::saveAs);
  connect(menu.addAction(QStringLiteral("Print...")), &QAction::triggered, this, &RocPlotWindow::print);
  menu.exec(event->globalPos());
}

QImage RocPlotWindow::renderImage(double scale) const {
  QImage img(std::max(1, qRound(fig_.width * scale)), std::max(1, qRound(fig_.height * scale)),
             QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter painter(&img);
  paintRocFigure(painter, fig_, QRectF(img.rect()));
  painter.end();
  return img;
}

bool RocPlotWindow::saveAs() {
  const auto name = dialogs_.saveFileName(this, plotSaveFilters(), QString::fromLatin1(kPlotSaveSuffix));
  if (!name || name->isEmpty()) return false;
  return saveTo(*name);
}

bool RocPlotWindow::saveTo(const QString& path) {
  bool ok = false;
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    const std::string doc = svgDocument(fig_);
    QFile f(path);
    ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         f.write(doc.data(), static_cast<qint64>(doc.size())) == static_cast<qint64>(doc.size());
    if (f.isOpen()) f.close();
    ok = ok && f.error() == QFileDevice::NoError;
  } else {
    // Twice the figure's size: sharp enough for print.
    ok = renderImage(2.0).save(path, "PNG");
  }
  if (!ok) dialogs_.warn(this, windowTitle(), QStringLiteral("Cannot create file"));
  return ok;
}

void RocPlotWindow::print() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(windowTitle());
  printer.setCopyCount(1);
  printer.setPageOrientation(fig_.width > fig_.height ? QPageLayout::Landscape : QPageLayout::Portrait);
  // Print to file offers the program's name in the current folder, as the text's printing does.
  const QString defaultFile = QDir::current().absoluteFilePath(
      QFileInfo(QCoreApplication::applicationFilePath()).fileName() + QStringLiteral(".pdf"));
  if (!dialogs_.choosePrinter(this, printer, 1, 1, defaultFile)) return;
  QPainter painter;
  if (!painter.begin(&printer)) {
    dialogs_.warn(this, windowTitle(), QStringLiteral("Cannot start printing"));
    return;
  }
  paintRocFigure(
      painter, fig_,
      printer.pageRect(QPrinter::DevicePixel).translated(-printer.pageRect(QPrinter::DevicePixel).topLeft()));
  painter.end();
}

QMdiSubWindow* openRocPlotChild(MainFrame& frame, ShellDialogs& dialogs, RocFigure fig, int dataset) {
  QMdiArea* mdi = frame.mdiArea();
  QMdiSubWindow* io = frame.ioSubWindow();
  QWidget* focus = QApplication::focusWidget();

  auto* plot = new RocPlotWindow(std::move(fig), dialogs);
  QMdiSubWindow* sub = mdi->addSubWindow(plot);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setAttribute(Qt::WA_ShowWithoutActivating);
  const QString title =
      dataset <= 1 ? QStringLiteral("ROC Curves") : QStringLiteral("ROC Curves %1").arg(dataset);
  sub->setWindowTitle(title);
  plot->setWindowTitle(title);

  // Beside the Input/Output child at the figure's own size where the screen has the room (the
  // frame grows for it), smaller in the same proportions where it has not; each further
  // dataset a little lower and to the right.
  const int border = 2 * sub->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, sub);
  const int titleBar = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + border / 2;
  const double figW = plot->figure().width, figH = std::max(1.0, plot->figure().height);
  const int step = 24 * ((dataset - 1) % 8);
  int x = io->geometry().right() + 1 + kGap + step;
  const int y = kGap + step;
  int viewW = mdi->viewport()->width(), viewH = mdi->viewport()->height();
  const int needW = x + qRound(figW) + border + kGap - viewW;
  const int needH = y + qRound(figH) + titleBar + kGap - viewH;
  const QScreen* screen = frame.screen();
  if ((needW > 0 || needH > 0) && screen != nullptr && !frame.isMaximized() && !frame.isFullScreen()) {
    const QRect avail = screen->availableGeometry(), outer = frame.frameGeometry();
    const int growW = std::clamp(needW, 0, std::max(0, avail.right() - outer.right()));
    const int growH = std::clamp(needH, 0, std::max(0, avail.bottom() - outer.bottom()));
    if (growW > 0 || growH > 0) {
      frame.resize(frame.width() + growW, frame.height() + growH);
      viewW += growW;
      viewH += growH;
    }
  }
  auto scaleIn = [&](int roomW, int roomH) {
    return std::min({1.0, (roomW - border) / figW, (roomH - titleBar) / figH});
  };
  double scale = scaleIn(viewW - x - kGap, viewH - y - kGap);
  if ((figW * scale) < 280.0) {
    // No room beside it: over the right part of the frame instead.
    scale = scaleIn(viewW - 2 * kGap - step, viewH - y - kGap);
    x = std::max(kGap, viewW - kGap - qRound(figW * scale) - border);
  }
  scale = std::max(scale, 0.2);
  sub->setGeometry(x, y, qRound(figW * scale) + border, qRound(figH * scale) + titleBar);
  sub->show();

  // The dialogue goes on in the Input/Output child.
  mdi->setActiveSubWindow(io);
  if (focus != nullptr)
    focus->setFocus(Qt::OtherFocusReason);
  else
    frame.ioWindow()->setFocus(Qt::OtherFocusReason);
  return sub;
}

void RocPlotOpener::datasetFinished(const DatasetResults& results) {
  if (frame_.isClosed()) return;  // the frame is going away: nothing to show it in
  openRocPlotChild(frame_, dialogs_, layoutRocFigure(makeRocPlot(results)), results.dataset);
}

}  // namespace quelbro
