// The "ROC Curves" child window: the figure of one dataset drawn with QPainter from the same
// shapes as the SVG file, saved as PNG or SVG, printed, and opened beside the Input/Output child.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "console/window/shell_dialogs.h"
#include "results/results.h"
#include "results/roc_figure.h"

class QMdiSubWindow;
class QPainter;
class QPrinter;

namespace quelbro {

class MainFrame;

// Draws the figure scaled to fit `target`, centred, keeping its proportions.
void paintRocFigure(QPainter& painter, const RocFigure& fig, const QRectF& target);

class RocPlotWindow : public QWidget {
  Q_OBJECT

 public:
  RocPlotWindow(RocFigure fig, ShellDialogs& dialogs, QWidget* parent = nullptr);

  const RocFigure& figure() const { return fig_; }
  // The figure at `scale` times its own size, on white.
  QImage renderImage(double scale) const;
  // SVG when the name ends in .svg, PNG otherwise; a warning box when it cannot be written.
  bool saveTo(const QString& path);
  QSize sizeHint() const override;

 public slots:
  bool saveAs();
  void print();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  RocFigure fig_;
  ShellDialogs& dialogs_;
};

// Name filters of the figure's save dialog, in order, and its default extension.
QStringList plotSaveFilters();
inline constexpr const char* kPlotSaveSuffix = "png";

// Opens the figure of dataset `dataset` (1-based) in an "ROC Curves" child beside the
// Input/Output child; the keyboard stays where it was.
QMdiSubWindow* openRocPlotChild(MainFrame& frame, ShellDialogs& dialogs, RocFigure fig, int dataset);

// Opens the ROC Curves child of every dataset the program finishes.
class RocPlotOpener : public RunObserver {
 public:
  RocPlotOpener(MainFrame& frame, ShellDialogs& dialogs) : frame_(frame), dialogs_(dialogs) {}
  void datasetFinished(const DatasetResults& results) override;

 private:
  MainFrame& frame_;
  ShellDialogs& dialogs_;
};

}  // namespace quelbro
