// The SVG figure: XML escaping, a document xmllint accepts with one curve per fitted reader and
// treatment, and a rendering (rsvg-convert) with curve pixels where the formula puts them.
#include "results/svg_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "plot_study.h"

namespace quelbro {
namespace {

namespace fs = std::filesystem;

struct Escape {
  std::string in, out;
};

TEST(XmlText, EscapesMarkupAndKeepsTheDocumentWellFormed) {
  const Escape cases[] = {
      {"Film & <digital>", "Film &amp; &lt;digital&gt;"},
      {"\"quoted\" 'single'", "&quot;quoted&quot; &apos;single&apos;"},
      {"tab\there", "tab\there"},
      {std::string("nul\0bell\a", 9), "nulbell"},  // no place in XML 1.0
      {"line\r\nend", "line  end"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                // UTF-8 passes
      {"caf\xE9", "caf\xC3\xA9"},                    // a Latin-1 byte becomes UTF-8
      {"\xC3(", "\xC3\x83("},                        // a broken sequence too
      {"\xEF\xBF\xBF", "\xC3\xAF\xC2\xBF\xC2\xBF"},  // U+FFFF is no character
  };
  for (const Escape& c : cases) EXPECT_EQ(xmlText(c.in), c.out) << c.in;
}

TEST(PlotFileName, PrefixDashDatasetNumber) {
  EXPECT_EQ(plotFileName("out/study", 1), "out/study-1.svg");
  EXPECT_EQ(plotFileName("s", 12), "s-12.svg");
}

class SvgFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quelbro-svg-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (std::getenv("QUELBRO_KEEP_SVG") == nullptr) fs::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static int run(const std::string& cmd) { return std::system((cmd + " 2>&1").c_str()); }
  static std::string capture(const std::string& cmd, const std::string& file) {
    if (run(cmd + " > '" + file + "'") != 0) return "<failed>";
    std::ifstream f(file);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  fs::path dir_;
};

std::size_t count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (auto p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST_F(SvgFile, ParsesAndHoldsOneCurvePerFittedReaderAndTreatment) {
  DatasetResults s = testing::threeReaders();
  s.description = "Film & digital <\"pilot\"> caf\xE9";
  const RocFigure fig = layoutRocFigure(makeRocPlot(s));
  std::string error;
  ASSERT_TRUE(writeSvgFile(path("study-1.svg"), fig, error)) << error;
  ASSERT_EQ(run("xmllint --noout '" + path("study-1.svg") + "'"), 0);

  const std::string doc = capture("cat '" + path("study-1.svg") + "'", path("copy"));
  // 5 fitted reader-treatments (Dr. Chen's Digital is degenerate), 2 treatment averages.
  EXPECT_EQ(count(doc, "<path class=\"curve\""), 5u);
  EXPECT_EQ(count(doc, "<path class=\"average-curve\""), 2u);
  EXPECT_EQ(count(doc, "id=\"r3-t2\""), 0u);
  EXPECT_EQ(count(doc, "id=\"r3-t1\""), 1u);
  EXPECT_EQ(count(doc, "class=\"frame\""), 4u);  // three readers and the averages
  EXPECT_EQ(count(doc, "class=\"diagonal\""), 4u);
  // The title survives escaping and comes back whole from the parser.
  const std::string title = capture(
      "xmllint --xpath 'string(//*[local-name()=\"title\"])' '" + path("study-1.svg") + "'", path("t"));
  EXPECT_EQ(title.substr(0, title.find_last_not_of('\n') + 1),
            "Film & digital <\"pilot\"> caf\xC3\xA9 (Data file: study.dat)");
  EXPECT_NE(doc.find(">Digital</text>"), std::string::npos);
  EXPECT_NE(doc.find(">no curve: perfect performance</text>"), std::string::npos);
}

TEST_F(SvgFile, LargestStudyKeepsEveryCurveAndPanel) {
  // 10 readers x 5 treatments; every seventh fit degenerate, every eleventh not converged.
  DatasetResults s =
      testing::study("Ten readers, five treatments", {}, {"WWWWWWWWWWWW", "B", "", "Treatment D", "E"});
  s.negatives = 2000;
  s.positives = 2000;
  int fitted = 0, k = 0;
  for (int r = 1; r <= 10; ++r) {
    s.readers.push_back("Reader number " + std::to_string(r));
    for (int t = 1; t <= 5; ++t, ++k) {
      const std::vector<RocPoint> pts = {{0, 0}, {0.2 + 0.01 * r, 0.5 + 0.05 * t}, {1, 1}};
      if (k % 7 == 3) {
        s.fits.push_back(testing::degenerate(r, t, 1 + k % 10, pts));
      } else {
        s.fits.push_back(testing::fitted(r, t, 0.5 + 0.2 * t, 0.6 + 0.05 * r, pts));
        if (k % 11 == 5)
          s.fits.back().status = FitStatus::NotConverged;
        else
          ++fitted;
      }
    }
  }
  const RocFigure fig = layoutRocFigure(makeRocPlot(s));
  std::string error;
  ASSERT_TRUE(writeSvgFile(path("big-1.svg"), fig, error)) << error;
  ASSERT_EQ(run("xmllint --noout '" + path("big-1.svg") + "'"), 0);
  const std::string doc = capture("cat '" + path("big-1.svg") + "'", path("copy"));
  EXPECT_EQ(count(doc, "<path class=\"curve\""), static_cast<std::size_t>(fitted));
  EXPECT_EQ(count(doc, "<path class=\"average-curve\""), 5u);
  EXPECT_EQ(count(doc, "class=\"frame\""), 11u);
  EXPECT_NE(doc.find(">Treatment 3</text>"), std::string::npos);  // an empty description
  // Every shape lies inside the figure.
  for (const FigShape& sh : fig.shapes)
    for (const FigPoint& p : sh.pts) {
      EXPECT_GE(p.x, 0.0);
      EXPECT_LE(p.x, fig.width);
      EXPECT_GE(p.y, 0.0);
      EXPECT_LE(p.y, fig.height);
    }
}

TEST_F(SvgFile, PlotFilesWritesOneFigurePerDatasetAndKeepsFailures) {
  PlotFiles plots(path("out"));
  DatasetResults first = testing::threeReaders();
  DatasetResults second = testing::threeReaders();
  second.dataset = 2;
  plots.datasetFinished(first);
  plots.datasetFinished(second);
  EXPECT_EQ(plots.written(), (std::vector<std::string>{path("out-1.svg"), path("out-2.svg")}));
  EXPECT_TRUE(plots.failures().empty());
  EXPECT_EQ(run("xmllint --noout '" + path("out-1.svg") + "' '" + path("out-2.svg") + "'"), 0);

  PlotFiles nowhere(path("no-such-folder/out"));
  nowhere.datasetFinished(first);
  EXPECT_TRUE(nowhere.written().empty());
  ASSERT_EQ(nowhere.failures().size(), 1u);
  EXPECT_EQ(nowhere.failures()[0], path("no-such-folder/out-1.svg") + ": No such file or directory");
  EXPECT_FALSE(fs::exists(path("no-such-folder")));

  // Without leave to replace, an existing figure stays as it was.
  PlotFiles keep(path("out"), false);
  fs::resize_file(path("out-1.svg"), 10);
  keep.datasetFinished(first);
  ASSERT_EQ(keep.failures().size(), 1u);
  EXPECT_EQ(keep.failures()[0], path("out-1.svg") + ": the file exists (--force replaces it)");
  EXPECT_EQ(fs::file_size(path("out-1.svg")), 10u);
}

// Reads a binary PPM (P6, maxval 255).
struct Image {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  bool load(const std::string& file) {
    std::ifstream f(file, std::ios::binary);
    std::string magic;
    int maxval = 0;
    f >> magic >> w >> h >> maxval;
    f.get();
    if (magic != "P6" || maxval != 255 || w <= 0 || h <= 0) return false;
    rgb.resize(static_cast<std::size_t>(w) * h * 3);
    f.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(f);
  }
  // Near the colour #0072B2 (the first treatment's blue), allowing for anti-aliasing.
  bool blueish(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return false;
    const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
    return p[2] > 120 && p[0] < 110 && p[2] > p[0] + 60;
  }
  bool blueNear(int x, int y, int reach) const {
    for (int dy = -reach; dy <= reach; ++dy)
      if (blueish(x, y + dy)) return true;
    return false;
  }
};

TEST_F(SvgFile, RenderedCurveLiesWhereTheFormulaPutsIt) {
  // One reader, one treatment, no operating points: every blue pixel belongs to the curve
  // (and to the legend sample, which lies below the panel).
  DatasetResults s = testing::study("Known curve", {"Reader"}, {"Film"});
  const double a = 1.2, b = 0.8;
  s.fits = {testing::fitted(1, 1, a, b)};
  const RocFigure fig = layoutRocFigure(makeRocPlot(s));
  std::string error;
  ASSERT_TRUE(writeSvgFile(path("known.svg"), fig, error)) << error;
  ASSERT_EQ(run("rsvg-convert -f png -o '" + path("known.png") + "' '" + path("known.svg") +
                "' && pngtopnm '" + path("known.png") + "' > '" + path("known.ppm") + "'"),
            0)
      << "rsvg-convert (librsvg2-bin) and pngtopnm (netpbm) are needed: scripts/install-deps";
  Image img;
  ASSERT_TRUE(img.load(path("known.ppm")));
  ASSERT_EQ(img.w, static_cast<int>(fig.width));

  // The reader's plot square is the first frame of the figure.
  const FigShape* frame = nullptr;
  for (const FigShape& sh : fig.shapes)
    if (sh.role == "frame" && frame == nullptr) frame = &sh;
  ASSERT_NE(frame, nullptr);
  const double x0 = frame->pts[0].x, y0 = frame->pts[0].y, side = frame->pts[1].x - x0;
  EXPECT_DOUBLE_EQ(frame->pts[1].y - y0, side);  // square axes

  for (double fpf = 0.05; fpf < 0.96; fpf += 0.05) {
    const double tpf = testing::Phi(a + b * testing::PhiInverse(fpf));
    const int x = static_cast<int>(x0 + fpf * side);
    const int y = static_cast<int>(y0 + (1.0 - tpf) * side);
    EXPECT_TRUE(img.blueNear(x, y, 2)) << "no curve at FPF " << fpf << " (" << x << ", " << y << ")";
    // Nothing blue where the curve is not: mirrored below the chance line.
    const int ym = static_cast<int>(y0 + tpf * side);
    EXPECT_FALSE(img.blueNear(x, ym, 2)) << "stray blue at FPF " << fpf;
  }
}

}  // namespace
}  // namespace quelbro
