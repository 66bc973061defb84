// SVG 1.1 output of the ROC figure, written with the standard library: one element per shape,
// numbers with a decimal point whatever the locale.
#include "results/svg_writer.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace quelbro {
namespace {

std::string num(double v) {
  if (!std::isfinite(v)) return "0";
  std::array<char, 64> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::round(v * 100.0) / 100.0,
                               std::chars_format::fixed, 2);
  std::string s(buf.data(), r.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

void appendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The code point of a well-formed UTF-8 sequence at s[i] and its length; 0 when not well formed.
std::size_t utf8At(std::string_view s, std::size_t i, unsigned& cp) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = 0;
  unsigned min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1Fu, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0Fu, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF) return 0;
  return n;
}

std::string dashArray(const std::vector<double>& dash) {
  std::string s;
  for (double d : dash) {
    if (!s.empty()) s += ' ';
    s += num(d);
  }
  return s;
}

std::string strokeAttrs(const FigShape& s) {
  std::string a;
  a += " stroke=\"" + (s.stroke.empty() ? std::string("none") : s.stroke) + "\"";
  if (!s.stroke.empty()) {
    a += " stroke-width=\"" + num(s.width) + "\"";
    if (!s.dash.empty()) a += " stroke-dasharray=\"" + dashArray(s.dash) + "\"";
  }
  a += " fill=\"" + (s.fill.empty() ? std::string("none") : s.fill) + "\"";
  return a;
}

std::string pointList(const std::vector<FigPoint>& pts) {
  std::string s;
  s.reserve(pts.size() * 14);
  for (const FigPoint& p : pts) {
    if (!s.empty()) s += ' ';
    s += num(p.x) + ',' + num(p.y);
  }
  return s;
}

std::string element(const FigShape& s) {
  std::string cls = " class=\"" + xmlText(s.role) + "\"";
  if (!s.id.empty()) cls += " id=\"" + xmlText(s.id) + "\"";
  switch (s.kind) {
    case FigShape::Kind::Line:
      return "<line" + cls + " x1=\"" + num(s.pts[0].x) + "\" y1=\"" + num(s.pts[0].y) + "\" x2=\"" +
             num(s.pts[1].x) + "\" y2=\"" + num(s.pts[1].y) + "\"" + strokeAttrs(s) + "/>";
    case FigShape::Kind::Polyline: {
      // A path, so that a long curve stays one element with one style.
      std::string d;
      for (std::size_t i = 0; i < s.pts.size(); ++i)
        d += (i == 0 ? "M" : i == 1 ? " L" : " ") + num(s.pts[i].x) + ',' + num(s.pts[i].y);
      return "<path" + cls + " d=\"" + d + "\"" + strokeAttrs(s) + " stroke-linejoin=\"round\"/>";
    }
    case FigShape::Kind::Polygon:
      return "<polygon" + cls + " points=\"" + pointList(s.pts) + "\"" + strokeAttrs(s) + "/>";
    case FigShape::Kind::Circle:
      return "<circle" + cls + " cx=\"" + num(s.pts[0].x) + "\" cy=\"" + num(s.pts[0].y) + "\" r=\"" +
             num(s.size) + "\"" + strokeAttrs(s) + "/>";
    case FigShape::Kind::Rect:
      return "<rect" + cls + " x=\"" + num(s.pts[0].x) + "\" y=\"" + num(s.pts[0].y) + "\" width=\"" +
             num(s.pts[1].x - s.pts[0].x) + "\" height=\"" + num(s.pts[1].y - s.pts[0].y) + "\"" +
             strokeAttrs(s) + "/>";
    case FigShape::Kind::Text: {
      const char* anchor = s.anchor == TextAnchor::Middle ? "middle"
                           : s.anchor == TextAnchor::End  ? "end"
                                                          : "start";
      std::string t = "<text" + cls + " x=\"" + num(s.pts[0].x) + "\" y=\"" + num(s.pts[0].y) +
                      "\" font-size=\"" + num(s.fontSize) + "\" text-anchor=\"" + anchor + "\"";
      if (s.bold) t += " font-weight=\"bold\"";
      if (s.vertical) t += " transform=\"rotate(-90 " + num(s.pts[0].x) + ' ' + num(s.pts[0].y) + ")\"";
      t += " fill=\"" + (s.fill.empty() ? std::string("#000000") : s.fill) + "\">" + xmlText(s.text) +
           "</text>";
      return t;
    }
  }
  return {};
}

}  // namespace

std::string xmlText(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          // XML 1.0 has no place for control characters other than tab and line ends.
          if (c >= 0x20 || c == '\t')
            out.push_back(static_cast<char>(c));
          else if (c == '\n' || c == '\r')
            out.push_back(' ');
          break;
      }
      ++i;
      continue;
    }
    unsigned cp = 0;
    const std::size_t n = utf8At(s, i, cp);
    if (n > 0 && !(cp >= 0x7F && cp <= 0x9F)) {
      out.append(s.substr(i, n));
      i += n;
    } else if (n > 0) {
      i += n;  // C1 controls are allowed but discouraged: drop them
    } else {
      if (c >= 0xA0) appendUtf8(out, c);  // a Latin-1 byte
      ++i;
    }
  }
  return out;
}

std::string svgDocument(const RocFigure& fig) {
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(fig.width) +
         "\" height=\"" + num(fig.height) + "\" viewBox=\"0 0 " + num(fig.width) + ' ' + num(fig.height) +
         "\"" + " font-family=\"Helvetica, Arial, 'DejaVu Sans', sans-serif\">\n";
  out += "<title>" + xmlText(fig.title) + "</title>\n";
  out +=
      "<desc>Binormal ROC curves fitted by maximum likelihood, with the operating points of the categorized "
      "data; one panel per reader and one of the treatment averages.</desc>\n";
  for (const FigShape& s : fig.shapes) out += element(s) + '\n';
  out += "</svg>\n";
  return out;
}

bool writeSvgFile(const std::string& path, const RocFigure& fig, std::string& error) {
  // Written beside the target and renamed when whole, so that a failed write leaves no torn
  // figure and an existing one stays as it was.
  const std::string doc = svgDocument(fig);
  const std::string part = path + ".part";
  std::ofstream f(part, std::ios::binary | std::ios::trunc);
  if (!f) {
    error = std::strerror(errno);
    return false;
  }
  f.write(doc.data(), static_cast<std::streamsize>(doc.size()));
  f.close();
  if (!f) {
    error = "the file could not be written whole";
    std::remove(part.c_str());
    return false;
  }
  if (std::rename(part.c_str(), path.c_str()) != 0) {
    error = std::strerror(errno);
    std::remove(part.c_str());
    return false;
  }
  return true;
}

std::string plotFileName(const std::string& prefix, int dataset) {
  return prefix + '-' + std::to_string(dataset) + ".svg";
}

void PlotFiles::datasetFinished(const DatasetResults& results) {
  const std::string name = plotFileName(prefix_, results.dataset);
  std::string error;
  if (!replace_ && std::filesystem::exists(std::filesystem::symlink_status(name))) {
    failures_.push_back(name + ": the file exists (--force replaces it)");
  } else if (writeSvgFile(name, layoutRocFigure(makeRocPlot(results)), error)) {
    written_.push_back(name);
  } else {
    failures_.push_back(name + ": " + error);
  }
}

}  // namespace quelbro
