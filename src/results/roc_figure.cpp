// Layout of the ROC figure: a title, a grid of square panels (one per reader, then the
// treatment averages) with axes, ticks, chance line, curves, operating points and legend.
#include "results/roc_figure.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace quelbro {
namespace {

// Figure units (SVG user units, pixels at 100%).
constexpr double kPad = 14.0;
constexpr double kHeader = 50.0;
constexpr double kSide = 240.0;  // the plot square
constexpr double kLeft = 60.0;   // tick labels and the TPF label
constexpr double kRight = 30.0;
constexpr double kPanelTitle = 26.0;
constexpr double kBelowPlot = 44.0;  // tick labels and the FPF label
constexpr double kLegendRow = 15.0;
constexpr double kFooterLine = 13.0;
constexpr double kCellWidth = kLeft + kSide + kRight;  // the narrowest cell

const char* const kInk = "#000000";
const char* const kGrey = "#8c8c8c";
const char* const kGridGrey = "#e3e3e3";
const char* const kWhite = "#ffffff";

// Joins texts (a plain `"literal" + std::string` trips a false -Wrestrict in g++ 12).
std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p);
  return s;
}

// Helvetica's advance widths (thousandths of an em) for ' ' to '~'.
constexpr std::array<short, 95> kHelvetica = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333,  278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667,  611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278,  556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500,  500, 334, 260, 334, 584};

// About how wide a text is set in a sans-serif face, with a tenth to spare for wider faces.
double textWidth(const std::string& s, double fontSize) {
  double em = 0.0;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 32 && c < 127)
      em += kHelvetica[c - 32] / 1000.0;
    else if ((c & 0xC0) != 0x80)
      em += 0.6;  // a character outside ASCII (UTF-8 lead byte)
  }
  return 1.1 * em * fontSize;
}

std::string trimmed(const std::string& s) {
  const auto end = s.find_last_not_of(" \t\r\n");
  const auto begin = s.find_first_not_of(" \t\r\n");
  return end == std::string::npos ? std::string() : s.substr(begin, end - begin + 1);
}

// Where the unit square of one panel lies in the figure.
struct Frame {
  double x0, y0;  // top left corner of the plot square
  FigPoint map(double fpf, double tpf) const { return {x0 + fpf * kSide, y0 + (1.0 - tpf) * kSide}; }
};

class Builder {
 public:
  explicit Builder(RocFigure& fig) : fig_(fig) {}

  FigShape& add(FigShape::Kind kind, std::string role, std::vector<FigPoint> pts) {
    FigShape s;
    s.kind = kind;
    s.role = std::move(role);
    s.pts = std::move(pts);
    fig_.shapes.push_back(std::move(s));
    return fig_.shapes.back();
  }
  void line(const std::string& role, FigPoint a, FigPoint b, const std::string& stroke, double width,
            std::vector<double> dash = {}) {
    FigShape& s = add(FigShape::Kind::Line, role, {a, b});
    s.stroke = stroke;
    s.width = width;
    s.dash = std::move(dash);
  }
  void text(const std::string& role, FigPoint at, std::string t, double size, TextAnchor anchor,
            bool bold = false, bool vertical = false, const std::string& fill = kInk) {
    FigShape& s = add(FigShape::Kind::Text, role, {at});
    s.text = std::move(t);
    s.fontSize = size;
    s.anchor = anchor;
    s.bold = bold;
    s.vertical = vertical;
    s.fill = fill;
  }
  void marker(FigPoint c, const TreatmentStyle& st, double size) {
    const double r = size / 2.0;
    if (st.marker == 0) {
      FigShape& s = add(FigShape::Kind::Circle, "points", {c});
      s.size = r * 0.9;
      style(s, st);
      return;
    }
    std::vector<FigPoint> p;
    switch (st.marker) {
      case 1:
        p = {{c.x - r * 0.85, c.y - r * 0.85},
             {c.x + r * 0.85, c.y - r * 0.85},
             {c.x + r * 0.85, c.y + r * 0.85},
             {c.x - r * 0.85, c.y + r * 0.85}};
        break;
      case 2:
        p = {{c.x, c.y - r * 1.1}, {c.x + r, c.y + r * 0.75}, {c.x - r, c.y + r * 0.75}};
        break;
      case 3:
        p = {{c.x, c.y - r * 1.15}, {c.x + r, c.y}, {c.x, c.y + r * 1.15}, {c.x - r, c.y}};
        break;
      default:
        p = {{c.x, c.y + r * 1.1}, {c.x + r, c.y - r * 0.75}, {c.x - r, c.y - r * 0.75}};
        break;
    }
    FigShape& s = add(FigShape::Kind::Polygon, "points", std::move(p));
    style(s, st);
  }

 private:
  static void style(FigShape& s, const TreatmentStyle& st) {
    s.stroke = st.color;
    s.fill = kWhite;
    s.width = 1.3;
  }
  RocFigure& fig_;
};

void axes(Builder& b, const Frame& f) {
  // Light grid at the ticks, the chance line, then the frame on top of them.
  for (int i = 1; i <= 4; ++i) {
    const double v = 0.2 * i;
    b.line("grid", f.map(v, 0.0), f.map(v, 1.0), kGridGrey, 0.7);
    b.line("grid", f.map(0.0, v), f.map(1.0, v), kGridGrey, 0.7);
  }
  b.line("diagonal", f.map(0.0, 0.0), f.map(1.0, 1.0), kGrey, 0.9, {4.0, 3.0});
  FigShape& frame = b.add(FigShape::Kind::Rect, "frame", {f.map(0.0, 1.0), f.map(1.0, 0.0)});
  frame.stroke = kInk;
  frame.width = 1.0;
  for (int i = 0; i <= 5; ++i) {
    const double v = 0.2 * i;
    const std::string label = fixedText(v, 1);
    const FigPoint bottom = f.map(v, 0.0);
    b.line("tick", bottom, {bottom.x, bottom.y + 4.0}, kInk, 1.0);
    b.text("tick-label", {bottom.x, bottom.y + 15.0}, label, 10.0, TextAnchor::Middle);
    const FigPoint left = f.map(0.0, v);
    b.line("tick", left, {left.x - 4.0, left.y}, kInk, 1.0);
    b.text("tick-label", {left.x - 7.0, left.y + 3.5}, label, 10.0, TextAnchor::End);
  }
  b.text("axis-label", {f.x0 + kSide / 2.0, f.y0 + kSide + 32.0}, "False-positive fraction (FPF)", 11.0,
         TextAnchor::Middle);
  b.text("axis-label", {f.x0 - 36.0, f.y0 + kSide / 2.0}, "True-positive fraction (TPF)", 11.0,
         TextAnchor::Middle, false, true);
}

void curvePath(Builder& b, const Frame& f, const std::vector<RocPoint>& curve, const TreatmentStyle& st,
               const std::string& role, const std::string& id, double width) {
  std::vector<FigPoint> pts;
  pts.reserve(curve.size());
  for (const RocPoint& p : curve) pts.push_back(f.map(p.fpf, p.tpf));
  FigShape& s = b.add(FigShape::Kind::Polyline, role, std::move(pts));
  s.id = id;
  s.stroke = st.color;
  s.width = width;
  s.dash = st.dash;
}

// One legend row: a sample of the line with its marker, the treatment, and what was found.
void legendRow(Builder& b, double x, double y, double valueAt, const TreatmentStyle& st,
               const std::string& treatment, const std::string& value, bool withLine) {
  if (withLine) b.line("legend", {x, y - 3.5}, {x + 30.0, y - 3.5}, st.color, 1.8, st.dash);
  b.marker({x + 15.0, y - 3.5}, st, 7.0);
  b.text("legend", {x + 38.0, y}, treatment, 10.0, TextAnchor::Start);
  b.text("legend", {x + valueAt, y}, value, 10.0, TextAnchor::Start);
}

double panelHeight(int ntrt) { return kPanelTitle + kSide + kBelowPlot + ntrt * kLegendRow + 10.0; }

}  // namespace

std::string fixedText(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  std::array<char, 64> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
  std::string s(buf.data(), r.ptr);
  if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

TreatmentStyle treatmentStyle(int t) {
  // Okabe-Ito: blue, vermillion, bluish green, reddish purple, orange.
  static const std::array<const char*, 5> colors = {"#0072B2", "#D55E00", "#009E73", "#CC79A7", "#E69F00"};
  const std::array<std::vector<double>, 5> dashes = {
      std::vector<double>{}, std::vector<double>{7.0, 3.5}, std::vector<double>{1.8, 2.6},
      std::vector<double>{8.0, 3.0, 1.8, 3.0}, std::vector<double>{12.0, 3.0, 3.0, 3.0, 3.0, 3.0}};
  const auto i = static_cast<std::size_t>(std::clamp(t, 1, 5) - 1);
  return {colors[i], dashes[i], static_cast<int>(i)};
}

RocFigure layoutRocFigure(const RocPlotModel& m) {
  RocFigure fig;
  Builder b(fig);
  const int ntrt = static_cast<int>(m.treatments.size());
  const int npanels = static_cast<int>(m.panels.size()) + 1;
  const int ncols = npanels <= 3   ? npanels
                    : npanels == 4 ? 2
                                   : static_cast<int>(std::ceil(std::sqrt(double(npanels))));
  const int nrows = (npanels + ncols - 1) / ncols;
  const double cellH = panelHeight(ntrt);

  // The texts first: they decide how wide the cells and the figure are.
  const std::string description = trimmed(m.description);
  const std::string file = trimmed(m.fileName);
  const std::string source =
      file.empty() ? std::string("Data typed at the keyboard") : cat({"Data file: ", file});
  const std::string heading = description.empty() ? std::string("ROC curves") : description;
  fig.title = cat({heading, " (", source, ")"});
  std::string counts =
      cat({std::to_string(m.panels.size()), m.panels.size() == 1 ? " reader, " : " readers, ",
           std::to_string(ntrt), ntrt == 1 ? " treatment" : " treatments"});
  if (m.negatives > 0 || m.positives > 0)
    counts = cat({counts, ", ", std::to_string(m.negatives), " actually-negative and ",
                  std::to_string(m.positives), " actually-positive cases"});
  const std::string subtitle = cat({source, "; ", counts});
  const std::array<std::string, 2> footnotes = {
      "Curves: binormal ROC curves fitted by maximum likelihood, TPF = \u03A6(a + b "
      "\u03A6\u207B\u00B9(FPF)); "
      "markers: operating points of the categorized data.",
      "Average: the binormal curve of the readers' mean a and mean b. Az: area under the fitted curve. "
      "Dashed grey: chance."};

  std::vector<std::string> names;
  double nameWidth = 0.0;
  for (int t = 1; t <= ntrt; ++t) {
    std::string d = trimmed(m.treatments[static_cast<std::size_t>(t - 1)]);
    if (d.empty()) d = cat({"Treatment ", std::to_string(t)});
    nameWidth = std::max(nameWidth, textWidth(d, 10.0));
    names.push_back(std::move(d));
  }
  // Legend values: [panel][row]; the last panel is the averages'.
  std::vector<std::vector<std::string>> values;
  double valueWidth = 0.0;
  for (const ReaderPanel& p : m.panels) {
    values.emplace_back();
    for (const ReaderCurve& rc : p.curves)
      values.back().push_back(rc.fitted
                                  ? cat({"Az ", fixedText(rc.az, 3), " (SE ", fixedText(rc.seAz, 3), ")"})
                                  : cat({"no curve: ", rc.reason}));
  }
  values.emplace_back();
  for (const AverageCurve& a : m.averages)
    values.back().push_back(
        a.readers > 0
            ? cat({"Az ", fixedText(a.az, 3), " (a ", fixedText(a.meanA, 2), ", b ", fixedText(a.meanB, 2),
                   "; ", std::to_string(a.readers), a.readers == 1 ? " reader)" : " readers)"})
            : cat({"no curve: ", a.reason}));
  for (const auto& panel : values)
    for (const std::string& v : panel) valueWidth = std::max(valueWidth, textWidth(v, 10.0));

  const double legendX = 16.0;
  const double valueAt = 38.0 + std::max(nameWidth, 30.0) + 10.0;
  const double cellW = std::max(kCellWidth, legendX + valueAt + valueWidth + 8.0);
  double textW = std::max(textWidth(heading, 16.0) * 1.08, textWidth(subtitle, 11.0));
  for (const std::string& f : footnotes) textW = std::max(textW, textWidth(f, 9.5));
  fig.width = 2.0 * kPad + std::max(ncols * cellW, textW);
  fig.height = kHeader + nrows * cellH + 2.0 * kFooterLine + 2.0 * kPad;

  FigShape& bg = b.add(FigShape::Kind::Rect, "background", {{0.0, 0.0}, {fig.width, fig.height}});
  bg.fill = kWhite;
  b.text("title", {kPad, kPad + 16.0}, heading, 16.0, TextAnchor::Start, true);
  b.text("subtitle", {kPad, kPad + 33.0}, subtitle, 11.0, TextAnchor::Start);

  auto cellOrigin = [&](int index) {
    return FigPoint{kPad + (index % ncols) * cellW, kHeader + (index / ncols) * cellH};
  };
  auto legendTop = [&](const Frame& f) { return f.y0 + kSide + kBelowPlot + 12.0; };

  int index = 0;
  for (const ReaderPanel& p : m.panels) {
    const FigPoint c = cellOrigin(index);
    const Frame f{c.x + kLeft, c.y + kPanelTitle};
    const std::string name = trimmed(p.name);
    b.text("panel-title", {f.x0 + kSide / 2.0, c.y + 17.0},
           name.empty() ? cat({"Reader ", std::to_string(p.reader)}) : name, 12.5, TextAnchor::Middle, true);
    axes(b, f);
    for (const ReaderCurve& rc : p.curves)
      if (rc.fitted)
        curvePath(b, f, rc.curve, treatmentStyle(rc.treatment), "curve",
                  cat({"r", std::to_string(p.reader), "-t", std::to_string(rc.treatment)}), 1.8);
    for (const ReaderCurve& rc : p.curves)
      for (const RocPoint& pt : rc.points) b.marker(f.map(pt.fpf, pt.tpf), treatmentStyle(rc.treatment), 7.0);
    double y = legendTop(f);
    for (std::size_t i = 0; i < p.curves.size(); ++i) {
      const ReaderCurve& rc = p.curves[i];
      legendRow(b, c.x + legendX, y, valueAt, treatmentStyle(rc.treatment),
                names[static_cast<std::size_t>(rc.treatment - 1)], values[static_cast<std::size_t>(index)][i],
                rc.fitted);
      y += kLegendRow;
    }
    ++index;
  }

  // The averages.
  const FigPoint c = cellOrigin(index);
  const Frame f{c.x + kLeft, c.y + kPanelTitle};
  b.text("panel-title", {f.x0 + kSide / 2.0, c.y + 17.0}, "Average of the readers", 12.5, TextAnchor::Middle,
         true);
  axes(b, f);
  for (const AverageCurve& a : m.averages)
    if (a.readers > 0)
      curvePath(b, f, a.curve, treatmentStyle(a.treatment), "average-curve",
                cat({"avg-t", std::to_string(a.treatment)}), 2.2);
  double y = legendTop(f);
  for (std::size_t i = 0; i < m.averages.size(); ++i) {
    const AverageCurve& a = m.averages[i];
    const TreatmentStyle st = treatmentStyle(a.treatment);
    if (a.readers > 0)
      b.line("legend", {c.x + legendX, y - 3.5}, {c.x + legendX + 30.0, y - 3.5}, st.color, 2.2, st.dash);
    b.text("legend", {c.x + legendX + 38.0, y}, names[static_cast<std::size_t>(a.treatment - 1)], 10.0,
           TextAnchor::Start);
    b.text("legend", {c.x + legendX + valueAt, y}, values.back()[i], 10.0, TextAnchor::Start);
    y += kLegendRow;
  }

  const double fy = fig.height - kPad - kFooterLine + 4.0;
  for (std::size_t i = 0; i < footnotes.size(); ++i)
    b.text("footnote", {kPad, fy + static_cast<double>(i) * kFooterLine}, footnotes[i], 9.5,
           TextAnchor::Start, false, false, "#404040");
  return fig;
}

}  // namespace quelbro
