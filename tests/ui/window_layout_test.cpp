// Both windows against their layout tables: every control by name, its kind, place, default and
// visibility, and the pieces the tables describe apart from the controls.
#include "platform/window_layout.h"

#include <gtest/gtest.h>

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

bool HasExpectedType(QObject* object, const ControlSpec& control) {
  switch (control.kind) {
    case ControlKind::Label:
      return qobject_cast<QLabel*>(object) != nullptr;
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

Text DesignText(const ControlSpec& control) {
  if (control.name == main_window::kSeedLink) return Gbk(DefaultSeedLinkUtf8());
  return Gbk(control.text);
}

// Every control: its objectName, Qt type, default text and visibility, read through the Form.
void CheckControls(QWidget& window, Form& form, const WindowSpec& layout) {
  for (const ControlSpec& control : layout.controls) {
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

// Shows each page of each tab control in turn and compares every control's place with its
// design rectangle, relative to the client area or to the corner of its tab control.
void CheckGeometry(QMainWindow& window, const WindowSpec& layout) {
  window.show();
  QCoreApplication::processEvents();
  for (const ControlSpec& control : layout.controls) {
    if (control.kind == ControlKind::Timer || control.kind == ControlKind::StatusBar) continue;
    SCOPED_TRACE(std::string(control.name));
    auto* widget = window.findChild<QWidget*>(QtFromUtf8(control.name));
    ASSERT_NE(widget, nullptr);
    QWidget* reference = window.centralWidget();
    if (!control.parent.empty()) {
      auto* tabs = window.findChild<QTabWidget*>(QtFromUtf8(control.parent));
      ASSERT_NE(tabs, nullptr);
      // Nested tab controls: every tab control on the way up must show its page.
      for (QWidget* up = tabs; up != nullptr; up = up->parentWidget()) {
        if (auto* outer = qobject_cast<QTabWidget*>(up)) {
          for (int i = 0; i < outer->count(); ++i) {
            if (outer->widget(i)->isAncestorOf(up == tabs ? widget : tabs)) outer->setCurrentIndex(i);
          }
        }
      }
      QCoreApplication::processEvents();
      reference = tabs;
    }
    EXPECT_EQ(QRect(widget->mapTo(reference, QPoint(0, 0)), widget->size()),
              QRect(control.left, control.top, control.width, control.height));
  }
  window.hide();
}

TEST(MainWindowLayout, EveryControlAsDesigned) {
  MainWindow window;
  CheckControls(window, window.form(), MainWindowSpec());
  CheckGeometry(window, MainWindowSpec());
  EXPECT_EQ(window.form().caption(), Gbk("2.1 Pelvaro视频采集助手"));
  EXPECT_EQ(window.size(), ClientSizeFor(MainWindowSpec()));
  EXPECT_EQ(window.pos(), QPoint(50, 50));
}

TEST(MainWindowLayout, ListViewColumnsAndMenu) {
  MainWindow window;
  auto* list = window.findChild<QTreeWidget*>(QtFromUtf8(main_window::kVideoList));
  ASSERT_NE(list, nullptr);
  auto columns = VideoListColumns();
  ASSERT_EQ(list->columnCount(), static_cast<int>(columns.size()));
  ASSERT_EQ(list->columnCount(), main_window::kColumnCount);
  for (int i = 0; i < list->columnCount(); ++i) {
    EXPECT_EQ(list->headerItem()->text(i), QtFromUtf8(columns[i].title));
    EXPECT_EQ(list->columnWidth(i), columns[i].width);
  }
  EXPECT_FALSE(list->rootIsDecorated());

  QMenu* menu = window.contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), QtFromUtf8(main_window::kContextMenu));
  QStringList items;
  for (QAction* action : menu->actions()) items << action->text();
  EXPECT_EQ(items, (QStringList{"加入索引序列", "清空列表", "取消操作"}));
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
  CheckControls(window, window.form(), StartupWindowSpec());
  CheckGeometry(window, StartupWindowSpec());
  EXPECT_EQ(window.form().caption(), "");
}

TEST(StartupWindowLayout, StatusBarPanelsAndRunningTimer) {
  StartupWindow window;
  auto* bar = window.findChild<QStatusBar*>(QtFromUtf8(startup_window::kStatusBar));
  ASSERT_NE(bar, nullptr);
  window.show();
  QCoreApplication::processEvents();
  auto widths = StatusBarPanelWidths();
  for (int i = 0; i < 3; ++i) {
    QLabel* panel = StatusPanel(bar, i);
    ASSERT_NE(panel, nullptr) << i;
    EXPECT_EQ(panel->text(), "");
    if (i < static_cast<int>(widths.size())) {
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
  const std::pair<QWidget*, const WindowSpec*> windows[] = {{&main, &MainWindowSpec()},
                                                            {&startup, &StartupWindowSpec()}};
  for (auto [window, spec] : windows) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    for (const ControlSpec& control : spec->controls) {
      if (control.kind != ControlKind::Label || control.text.empty()) continue;
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
