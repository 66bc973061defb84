// The About box names the program and its version above the machine's facts; the frame carries
// the project's icon.
#include <QAction>
#include <QIcon>
#include <QImage>
#include <QRegularExpression>

#include "console/version.h"
#include "console/window/system_info.h"
#include "window_fixture.h"

namespace quelbro::testing {
namespace {

TEST(WindowAbout, NamesTheProgramAndVersionAboveTheMachineFacts) {
  Shell s;
  s.frame.action(kMenuAbout)->trigger();
  ASSERT_EQ(s.dialogs.informed.size(), 1u);
  const QString text = s.dialogs.informed[0];
  const QStringList lines = text.split(QLatin1Char('\n'));
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^quelbro-win version \\d+\\.\\d+\\.\\d+$"))
                  .match(lines[0])
                  .hasMatch())
      << lines[0].toStdString();
  EXPECT_EQ(lines[0].toStdString(), std::string("quelbro-win version ") + kVersion);
  EXPECT_EQ(lines[1].toStdString(), "");
  // The machine's facts follow unchanged, one per line, as before.
  const std::string facts = aboutText(readSystemInfo());
  EXPECT_EQ(lines.mid(2).join(QLatin1Char('\n')).toStdString(), facts);
}

TEST(WindowAbout, FrameCarriesTheProjectIcon) {
  Shell s;
  const QIcon icon = s.frame.windowIcon();
  ASSERT_FALSE(icon.isNull());
  const QImage image = icon.pixmap(256, 256).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(image.isNull());
  // The icon's colours, scaled to its size: the dark blue frame at the left edge, the light
  // plot area near the lower right, the orange curve at its upper right end.
  const auto at = [&](double x, double y) {
    return QColor(
        image.pixel(static_cast<int>(x * image.width() / 256), static_cast<int>(y * image.height() / 256)));
  };
  EXPECT_EQ(at(24, 128), QColor(0x1d, 0x35, 0x57));
  EXPECT_EQ(at(190, 190), QColor(0xf1, 0xf5, 0xf9));
  const QColor curve = at(200, 46);
  EXPECT_GT(curve.red(), 200);
  EXPECT_LT(curve.blue(), 120);
}

}  // namespace
}  // namespace quelbro::testing
