// Both windows: every control by name with its kind, default and visibility from the layout
// tables; the places of the important controls against the design's own figures.
#include "platform/window_layout.h"

#include <gtest/gtest.h>

#include <span>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/startup_window.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

bool HasExpectedType(QObject* object, const ControlDesign& control) {
  switch (control.kind) {
    case ControlKind::Label:
      return control.style == WidgetStyle::PressableLabel ? qobject_cast<QPushButton*>(object) != nullptr
                                                          : qobject_cast<QLabel*>(object) != nullptr;
    case ControlKind::EditBox:
      return control.style == WidgetStyle::MultiLine || control.style == WidgetStyle::LogBox
                 ? qobject_cast<QPlainTextEdit*>(object) != nullptr
                 : qobject_cast<QLineEdit*>(object) != nullptr;
    case ControlKind::Button:
      return control.style == WidgetStyle::SuperButton ? qobject_cast<QToolButton*>(object) != nullptr
                                                       : qobject_cast<QPushButton*>(object) != nullptr;
    case ControlKind::CheckBox:
      return qobject_cast<QCheckBox*>(object) != nullptr;
    case ControlKind::ComboBox:
      return qobject_cast<QComboBox*>(object) != nullptr;
    case ControlKind::ListView:
      return qobject_cast<QTreeWidget*>(object) != nullptr;
    case ControlKind::TabControl:
      return qobject_cast<QTabWidget*>(object) != nullptr;
    case ControlKind::StatusBar:
      return qobject_cast<QStatusBar*>(object) != nullptr;
    case ControlKind::Timer:
      return qobject_cast<QTimer*>(object) != nullptr;
    default:
      return false;
  }
}

Text DesignText(const ControlDesign& control) {
  if (control.name == main_window::kSeedLink) return Gbk(DefaultSeedLinkUtf8());
  return Gbk(control.text);
}

// Every control: its objectName, Qt type, default text and visibility, read through the Form.
void CheckControls(QWidget& window, Form& form, const WindowDesign& layout) {
  for (const ControlDesign& control : layout.controls) {
    SCOPED_TRACE(std::string(control.name));
    QObject* object = window.findChild<QObject*>(QtFromUtf8(control.name));
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(HasExpectedType(object, control));
    EXPECT_EQ(form.visible(control.name), control.visible && control.kind != ControlKind::Timer);
    switch (control.kind) {
      case ControlKind::Label:
      case ControlKind::EditBox:
      case ControlKind::Button:
      case ControlKind::CheckBox:
        EXPECT_EQ(form.text(control.name), DesignText(control));
        break;
      case ControlKind::TabControl: {
        auto* tabs = qobject_cast<QTabWidget*>(object);
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i) titles << tabs->tabText(i);
        EXPECT_EQ(titles.join('|'), QtFromUtf8(control.text));
        break;
      }
      default:
        break;
    }
    if (control.kind == ControlKind::CheckBox) {
      EXPECT_EQ(form.checked(control.name), control.checkedAtStart);
    }
  }
}

// Where the important controls stand in the windows' design, written out here rather than read
// from the tables the windows are built from: left, top, width, height relative to the client
// area, or to the corner of the tab control whose page holds the control.
struct Place {
  const char* name;
  QRect rect;
};

const Place kMainWindowPlaces[] = {
    {"选择夹1", {0, 8, 856, 440}},
    {"标签9", {24, 32, 64, 24}},
    {"组合框1", {96, 32, 168, 20}},
    {"按钮1", {287, 28, 72, 28}},
    {"按钮2", {768, 24, 72, 32}},
    {"超级列表框1", {8, 64, 544, 360}},
    {"选择夹2", {556, 72, 288, 360}},
    {"按钮_开始", {440, 40, 128, 32}},
    {"首网址", {8, 80, 376, 64}},
    {"编辑框_小时", {154, 27, 64, 32}},
    {"编辑框_日志", {12, 208, 264, 136}},
    {"编辑框1延时", {95, 52, 40, 24}},
    {"编辑框_剩余空间", {80, 168, 44, 32}},
    {"目录", {8, 78, 232, 32}},
    {"选择框_不要子目录", {16, 126, 192, 34}},
};

const Place kStartupWindowPlaces[] = {
    {"语音介绍", {430, 7, 80, 80}},         {"帮助教程", {526, 9, 80, 80}},
    {"关闭软件", {620, 10, 80, 80}},        {"选择夹1", {32, 96, 856, 527}},
    {"透明标签_公告", {466, 90, 305, 354}}, {"透明标签_更新", {58, 224, 304, 120}},
    {"超级按钮_打开", {58, 360, 320, 58}},
};

// Each control's place in the shown window, every tab control above it turned to the page that
// holds it; measured from the nearest tab control above it, else from the client area.
void CheckPlaces(QMainWindow& window, std::span<const Place> places) {
  window.show();
  QCoreApplication::processEvents();
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    auto* widget = window.findChild<QWidget*>(QString::fromUtf8(place.name));
    ASSERT_NE(widget, nullptr);
    QWidget* reference = nullptr;
    for (QWidget* up = widget->parentWidget(); up != nullptr; up = up->parentWidget()) {
      auto* tabs = qobject_cast<QTabWidget*>(up);
      if (tabs == nullptr) continue;
      if (reference == nullptr) reference = tabs;
      for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(widget)) tabs->setCurrentIndex(i);
      }
    }
    QCoreApplication::processEvents();
    if (reference == nullptr) reference = window.centralWidget();
    EXPECT_EQ(QRect(widget->mapTo(reference, QPoint(0, 0)), widget->size()), place.rect);
  }
  window.hide();
}

TEST(MainWindowLayout, EveryControlAsDesigned) {
  MainWindow window;
  CheckControls(window, window.form(), MainWindowDesign());
  CheckPlaces(window, kMainWindowPlaces);
  EXPECT_EQ(window.form().caption(), Gbk("2.1 Pelvaro视频采集助手"));
  EXPECT_EQ(window.size(), QSize(857, 469));  // 873 x 508 outside, less the frame
  EXPECT_EQ(window.pos(), QPoint(50, 50));
}

TEST(MainWindowLayout, ListViewColumnsAndMenu) {
  MainWindow window;
  auto* list = window.findChild<QTreeWidget*>(QtFromUtf8(main_window::kVideoList));
  ASSERT_NE(list, nullptr);
  QStringList titles;
  for (int i = 0; i < list->columnCount(); ++i) titles << list->headerItem()->text(i);
  EXPECT_EQ(titles.join('|'), "序号|类目|标题|url|时长|大小M|日期|docid|宽度|高度|下载");
  EXPECT_EQ(list->columnCount(), main_window::kColumnCount);
  EXPECT_FALSE(list->rootIsDecorated());

  QMenu* menu = window.contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), QtFromUtf8(main_window::kContextMenu));
  QStringList items;
  QStringList rowActions;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    (action->isVisible() ? items : rowActions) << action->text();
  }
  EXPECT_EQ(items, (QStringList{"加入索引序列", "清空列表", "取消操作"}));
  EXPECT_EQ(rowActions, (QStringList{"打开文件", "打开所在文件夹", "复制链接"}));  // for a video on disk
}

// A larger window: the list and the log take the new room, the settings tabs and the save
// button follow the right edge, every other control keeps its place; smaller than the design
// it never gets while the screen has room.
TEST(MainWindowLayout, ALargerWindowGrowsTheListAndTheLogOnly) {
  MainWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QSize design(857, 469);
  EXPECT_EQ(window.minimumSize(), design);
  window.resize(1200, 800);
  QCoreApplication::processEvents();
  ASSERT_EQ(window.size(), QSize(1200, 800));
  const int dx = 1200 - design.width();
  const int dy = 800 - design.height();
  auto placeOf = [&](std::string_view name) {
    auto* widget = window.findChild<QWidget*>(QtFromUtf8(name));
    QWidget* reference = widget->parentWidget();
    while (reference != nullptr && qobject_cast<QTabWidget*>(reference) == nullptr) {
      reference = reference->parentWidget();
    }
    return QRect(widget->mapTo(reference != nullptr ? reference : window.centralWidget(), QPoint(0, 0)),
                 widget->size());
  };
  namespace mw = main_window;
  EXPECT_EQ(placeOf(mw::kMainTabs), QRect(0, 8, 856 + dx, 440 + dy));
  EXPECT_EQ(placeOf(mw::kCategoryLabel), QRect(24, 32, 64, 24));
  EXPECT_EQ(placeOf(mw::kCrawlButton), QRect(287, 28, 72, 28));
  EXPECT_EQ(placeOf(mw::kSaveButton), QRect(768 + dx, 24, 72, 32));
  EXPECT_EQ(placeOf(mw::kVideoList), QRect(8, 64, 544 + dx, 360 + dy));
  EXPECT_EQ(placeOf(mw::kSettingsTabs), QRect(556 + dx, 72, 288, 360 + dy));
  EXPECT_EQ(placeOf(mw::kHours), QRect(154, 27, 64, 32));
  EXPECT_EQ(placeOf(mw::kLog), QRect(12, 208, 264, 136 + dy));
}

TEST(WindowPlacement, AWindowAlwaysFitsTheScreensAvailableArea) {
  const QSize frame(16, 39);
  const QSize design(857, 469);
  const QRect screen(0, 0, 1280, 800);
  struct Case {
    QRect wanted;
    QRect available;
    QRect fit;
  } cases[] = {
      {{50, 50, 857, 469}, screen, {50, 50, 857, 469}},          // as designed
      {{200, 100, 1200, 700}, screen, {64, 61, 1200, 700}},      // moved back inside
      {{50, 50, 3000, 2000}, screen, {0, 0, 1264, 761}},         // no larger than the screen
      {{50, 50, 300, 200}, screen, {50, 50, 857, 469}},          // no smaller than the design
      {{-4000, 5000, 857, 469}, screen, {0, 292, 857, 469}},     // off the screen: back on it
      {{50, 50, 857, 469}, {0, 0, 640, 400}, {0, 0, 624, 361}},  // a screen smaller than the design
      {{1300, 10, 900, 600}, {1280, 0, 1920, 1080}, {1300, 10, 900, 600}},  // on a second screen
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitOnScreen(c.wanted, design, c.available, frame), c.fit)
        << c.wanted.x() << "," << c.wanted.y();
  }
}

TEST(MainWindowLayout, WidthControlsStayHiddenOnEveryPage) {
  MainWindow window;
  window.show();
  auto* tabs = window.findChild<QTabWidget*>(QtFromUtf8(main_window::kSettingsTabs));
  for (int page = 0; page < tabs->count(); ++page) {
    tabs->setCurrentIndex(page);
    QCoreApplication::processEvents();
    for (auto name : {main_window::kWidthLabel, main_window::kMinWidth, main_window::kMaxWidth}) {
      EXPECT_FALSE(window.findChild<QWidget*>(QtFromUtf8(name))->isVisible()) << name;
    }
  }
}

TEST(MainWindowLayout, LogBoxIsReadOnlyWhiteOnBlack) {
  MainWindow window;
  auto* log = window.findChild<QPlainTextEdit*>(QtFromUtf8(main_window::kLog));
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(log->isReadOnly());
  window.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(log->palette().color(QPalette::Text), QColor(Qt::white));
  EXPECT_EQ(log->palette().color(QPalette::Base), QColor(Qt::black));
}

TEST(StartupWindowLayout, EveryControlAsDesigned) {
  StartupWindow window;
  CheckControls(window, window.form(), StartupWindowDesign());
  CheckPlaces(window, kStartupWindowPlaces);
  EXPECT_EQ(window.size(), QSize(900, 661));  // 916 x 700 outside, less the frame
  EXPECT_EQ(window.form().caption(), "");
}

TEST(StartupWindowLayout, StatusBarPanelsAndRunningTimer) {
  StartupWindow window;
  auto* bar = window.findChild<QStatusBar*>(QtFromUtf8(startup_window::kStatusBar));
  ASSERT_NE(bar, nullptr);
  window.show();
  QCoreApplication::processEvents();
  const int widths[] = {99, 200};
  for (int i = 0; i < 3; ++i) {
    QLabel* panel = StatusPanel(bar, i);
    ASSERT_NE(panel, nullptr) << i;
    EXPECT_EQ(panel->text(), "");
    if (i < 2) {
      EXPECT_EQ(panel->width(), widths[i]);
    }
  }
  // The third panel takes the rest of the bar.
  EXPECT_GT(StatusPanel(bar, 2)->width(), bar->width() / 2);
  EXPECT_EQ(StatusPanel(bar, 3), nullptr);

  EXPECT_EQ(window.form().timerInterval(startup_window::kTimer), 1000);
}

}  // namespace
}  // namespace pelvaro

namespace pelvaro {
namespace {

// Every label of both windows shows its whole design text inside its design rectangle, in the
// font the setup installs: wrapped text needs no more height, a single line no more width.
TEST(DesignLabels, EveryLabelShowsItsWholeText) {
  MainWindow main;
  StartupWindow startup;
  const std::pair<QWidget*, const WindowDesign*> windows[] = {{&main, &MainWindowDesign()},
                                                            {&startup, &StartupWindowDesign()}};
  for (auto [window, design] : windows) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (const ControlDesign& control : design->controls) {
      if (control.kind != ControlKind::Label || control.text.empty()) continue;
      if (control.style == WidgetStyle::PressableLabel) {
        auto* button = window->findChild<QPushButton*>(QtFromUtf8(control.name));
        ASSERT_NE(button, nullptr) << control.name;
        EXPECT_LE(button->sizeHint().width(), control.width) << control.name;
        continue;
      }
      auto* label = window->findChild<QLabel*>(QtFromUtf8(control.name));
      ASSERT_NE(label, nullptr) << control.name;
      ASSERT_EQ(label->size(), QSize(control.width, control.height)) << control.name;
      if (label->wordWrap()) {
        EXPECT_LE(label->heightForWidth(control.width), control.height) << control.name;
      } else {
        EXPECT_LE(label->sizeHint().width(), control.width) << control.name;
      }
    }
  }
}

}  // namespace
}  // namespace pelvaro
