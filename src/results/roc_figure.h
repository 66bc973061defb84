// The ROC figure of one dataset laid out as plain shapes (lines, paths, markers, texts) in
// figure units: the SVG writer and the window's painter both draw exactly these.
#pragma once

#include <string>
#include <vector>

#include "results/roc_plot.h"

namespace quelbro {

struct FigPoint {
  double x = 0.0;
  double y = 0.0;
};

enum class TextAnchor { Start, Middle, End };

struct FigShape {
  enum class Kind {
    Line,      // pts[0] to pts[1]
    Polyline,  // open path through pts
    Polygon,   // closed path through pts
    Circle,    // centre pts[0], radius `size`
    Rect,      // corners pts[0] (top left) and pts[1] (bottom right)
    Text       // baseline anchor pts[0]
  };
  Kind kind = Kind::Line;
  std::string role;  // what it is: "curve", "average-curve", "points", "diagonal", "frame", ...
  std::string id;    // curves: "r<reader>-t<treatment>" or "avg-t<treatment>"
  std::vector<FigPoint> pts;
  std::string stroke;  // "#rrggbb"; empty: none
  std::string fill;    // "#rrggbb"; empty: none
  double width = 1.0;
  std::vector<double> dash;  // dash and gap lengths in figure units; empty: solid
  double size = 0.0;
  std::string text;  // UTF-8
  double fontSize = 10.0;
  TextAnchor anchor = TextAnchor::Start;
  bool bold = false;
  bool vertical = false;  // text turned a quarter anticlockwise about its anchor
};

struct RocFigure {
  double width = 0.0;
  double height = 0.0;
  std::string title;  // the figure's name: description and file
  std::vector<FigShape> shapes;
};

// Colour, dash and marker of treatment t (1-based): the Okabe-Ito colours, which stay apart
// for the common colour-vision deficiencies, each with its own dash and marker shape so that
// the curves also part in grey.
struct TreatmentStyle {
  std::string color;
  std::vector<double> dash;
  int marker = 0;  // 0 circle, 1 square, 2 triangle, 3 diamond, 4 inverted triangle
};
TreatmentStyle treatmentStyle(int t);

// One panel per reader with every treatment overplotted, then the panel of the averages.
RocFigure layoutRocFigure(const RocPlotModel& model);

// Fixed-point text of v with `decimals` decimals, whatever the locale.
std::string fixedText(double v, int decimals);

}  // namespace quelbro
