// The frame: its title, menus with identifiers and accelerators, the child window's place and
// size, the Window menu's list, Arrange Icons and the About box.
#include <unistd.h>

#include <QAction>
#include <QFontMetricsF>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <thread>

#include "window_fixture.h"

namespace quelbro::testing {
namespace {

TEST(WindowFrame, MenusCarryTheirIdentifiersAndAccelerators) {
  Shell s;
  EXPECT_EQ(s.frame.windowTitle(), QStringLiteral("quelbro-win"));
  const QList<QAction*> menus = s.frame.menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("&File"));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("&Edit"));
  EXPECT_EQ(menus[2]->text(), QStringLiteral("&Window"));
  struct Item {
    int menu;
    int id;
    const char* text;
    const char* keys;
    bool startsEnabled;
  };
  const Item items[] = {
      {0, 500, "&Save", "", true},
      {0, 501, "Save As...", "", true},
      {0, 505, "Export Results...", "", false},  // until a dataset has been analysed
      {0, 506, "Extended Results", "", false},   // the same
      {0, 510, "Print...", "", true},
      {0, 520, "&About...", "", true},
      {0, 530, "E&xit", "", true},
      {1, 600, "&Undo", "Ctrl+Z", false},
      {1, 610, "Cu&t", "Ctrl+X", false},
      {1, 611, "&Copy", "Ctrl+C", false},
      {1, 612, "&Paste", "Ctrl+V", false},
      {1, 613, "De&lete", "", false},
      {2, 701, "&Cascade", "Shift+F5", true},
      {2, 700, "&Tile", "Shift+F4", true},
      {2, 702, "&Arrange Icons", "", true},
  };
  for (const Item& it : items) {
    SCOPED_TRACE(it.id);
    QAction* found = nullptr;
    for (QAction* a : menus[it.menu]->menu()->actions()) {
      if (a->data().toInt() == it.id) found = a;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, s.frame.action(it.id));
    EXPECT_EQ(found->text(), QString::fromLatin1(it.text));
    EXPECT_EQ(found->shortcut(), QKeySequence(QString::fromLatin1(it.keys)));
    EXPECT_EQ(found->isEnabled(), it.startsEnabled);
  }
}

TEST(WindowFrame, OneInputOutputChildWithBothScrollBarsAndAFixedPitchFont) {
  Shell s;
  const QList<QMdiSubWindow*> children = s.frame.mdiArea()->subWindowList();
  ASSERT_EQ(children.size(), 1);
  EXPECT_EQ(children[0]->windowTitle(), QStringLiteral("Input/Output"));
  EXPECT_EQ(children[0]->geometry(), QRect(3, 3, 600, 300));
  EXPECT_EQ(s.io()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(s.io()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // Fixed pitch: a narrow and a wide letter take the same room.
  const QFontMetricsF fm(s.io()->textFont(), s.io()->viewport());
  EXPECT_DOUBLE_EQ(fm.horizontalAdvance(QLatin1Char('i')), fm.horizontalAdvance(QLatin1Char('W')));
  EXPECT_DOUBLE_EQ(fm.horizontalAdvance(QLatin1Char('i')), s.io()->cellWidth());
  EXPECT_TRUE(s.io()->hasFocus());
}

TEST(WindowFrame, WindowMenuListsTheChildrenAndArrangeIconsLinesUpMinimisedOnes) {
  Shell s;
  emit s.frame.windowMenu()->aboutToShow();
  QStringList texts;
  for (QAction* a : s.frame.windowMenu()->actions()) {
    if (!a->isSeparator()) texts << a->text();
  }
  EXPECT_EQ(texts, (QStringList{"&Cascade", "&Tile", "&Arrange Icons", "&1 Input/Output"}));
  emit s.frame.windowMenu()->aboutToShow();  // shown again: the list is not doubled
  int listed = 0;
  for (QAction* a : s.frame.windowMenu()->actions())
    listed += a->text().startsWith(QStringLiteral("&1")) ? 1 : 0;
  EXPECT_EQ(listed, 1);

  s.frame.ioSubWindow()->showMinimized();
  s.frame.action(kMenuArrange)->trigger();
  const QRect g = s.frame.ioSubWindow()->geometry();
  EXPECT_EQ(g.left(), 0);
  EXPECT_EQ(g.bottom() + 1, s.frame.mdiArea()->viewport()->height());
}

TEST(WindowFrame, AMinimisedChildChosenFromTheWindowMenuComesBackReadyForTyping) {
  Shell s;
  QMdiSubWindow* child = s.frame.ioSubWindow();
  clickTitleBarButton(child, QStyle::SC_TitleBarMinButton);
  ASSERT_TRUE(child->isMinimized());

  // Alt+W opens the Window menu; 1 chooses the first child.
  QTest::keyClick(&s.frame, Qt::Key_W, Qt::AltModifier);
  QWidget* menu = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = QApplication::activePopupWidget()) != nullptr; }, 5000));
  EXPECT_EQ(menu, s.frame.windowMenu());
  QTest::keyClick(menu, Qt::Key_1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == nullptr; }, 5000));

  EXPECT_FALSE(child->isMinimized());
  EXPECT_EQ(child->geometry(), QRect(3, 3, 600, 300));
  EXPECT_EQ(s.frame.mdiArea()->activeSubWindow(), child);
  EXPECT_TRUE(s.io()->hasFocus());
  s.type("typed");
  EXPECT_EQ(s.current(), "typed");
}

TEST(WindowFrame, AboutTellsThePageSizeAddressesProcessorAndCount) {
  Shell s;
  s.frame.action(kMenuAbout)->trigger();
  ASSERT_EQ(s.dialogs.informed.size(), 1u);
  const QString text = s.dialogs.informed[0];
  EXPECT_TRUE(text.contains(QStringLiteral("Page size: %1 bytes").arg(getpagesize()))) << text.toStdString();
  EXPECT_TRUE(
      text.contains(QStringLiteral("Number of processors: %1").arg(std::thread::hardware_concurrency())))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Lowest application address: 0x")));
  EXPECT_TRUE(text.contains(QStringLiteral("Highest application address: 0x")));
  EXPECT_TRUE(text.contains(QStringLiteral("Processor type: ")));
  // The addresses are ordered, and a local variable of this test lies between them.
  const SystemInfo info = readSystemInfo();
  int local = 0;
  const auto here = reinterpret_cast<std::uintptr_t>(&local);
  EXPECT_LT(info.lowestAddress, here);
  EXPECT_GT(info.highestAddress, here);
}

}  // namespace
}  // namespace quelbro::testing
