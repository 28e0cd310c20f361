// The events both windows bind, fired the way a user fires them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <map>

#include "platform/window_layout.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/startup_window.h"

namespace pelvaro {
namespace {

namespace mw = main_window;
namespace sw = startup_window;

TEST(StartupWindowEvents, TimerFiresOnceWhenTheTickSetsIntervalZero) {
  int ticks = 0;
  QEventLoop loop;
  StartupWindow::Events events;
  events.timerTick = [&](StartupWindow& window) {
    ++ticks;
    window.form().setTimerInterval(sw::kTimer, 0);
    // Later ticks would arrive behind this one in the queue; the quit is queued after them.
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  };
  StartupWindow window(events);
  EXPECT_EQ(window.form().timerInterval(sw::kTimer), 1000);
  loop.exec();
  QCoreApplication::processEvents();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(window.form().timerInterval(sw::kTimer), 0);
  EXPECT_FALSE(window.findChild<QTimer*>(QtFromUtf8(sw::kTimer))->isActive());
}

TEST(StartupWindowEvents, ButtonsCreationAndClosingReachTheirHooks) {
  std::vector<std::string> fired;
  auto record = [&](const char* what) {
    return [&fired, what](StartupWindow&) { fired.emplace_back(what); };
  };
  StartupWindow::Events events;
  events.speakClicked = record("speak");
  events.helpClicked = record("help");
  events.closeClicked = record("close");
  events.openNewVersionClicked = record("open");
  events.closing = record("closing");
  bool visibleAtCreation = true;
  events.created = [&](StartupWindow& window) {
    visibleAtCreation = window.isVisible();
    fired.emplace_back("created");
  };
  StartupWindow window(events);
  EXPECT_FALSE(visibleAtCreation);

  const std::pair<std::string_view, const char*> clicks[] = {{sw::kSpeakButton, "speak"},
                                                             {sw::kHelpButton, "help"},
                                                             {sw::kCloseButton, "close"},
                                                             {sw::kOpenNewVersion, "open"}};
  for (const auto& [name, _] : clicks) window.findChild<QAbstractButton*>(QtFromUtf8(name))->click();
  window.show();
  QTest::keyClick(&window, Qt::Key_Escape);  // the caption's promise: Esc closes
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(fired, (std::vector<std::string>{"created", "speak", "help", "close", "open", "closing"}));
}

TEST(MainWindowEvents, ButtonsMenuAndClosingReachTheirHooks) {
  std::vector<std::string> fired;
  auto record = [&](const char* what) { return [&fired, what](MainWindow&) { fired.emplace_back(what); }; };
  MainWindow::Events events;
  events.crawlClicked = record("crawl");
  events.saveClicked = record("save");
  events.contributeClicked = record("contribute");
  events.addToIndexChosen = record("add");
  events.clearListChosen = record("clear");
  events.cancelChosen = record("cancel");
  events.closing = record("closing");
  events.created = [&](MainWindow& window) { fired.push_back("created " + window.form().text(mw::kHours)); };
  MainWindow window(events);
  window.show();

  for (auto name : {mw::kCrawlButton, mw::kSaveButton, mw::kContributeButton}) {
    window.findChild<QAbstractButton*>(QtFromUtf8(name))->click();
  }
  // The menu's own items; the row actions stay hidden without a row whose video is on disk.
  for (QAction* action : window.contextMenu()->actions()) {
    if (action->isVisible()) action->trigger();
  }
  window.close();
  EXPECT_EQ(fired, (std::vector<std::string>{"created 300", "crawl", "save", "contribute", "add", "clear",
                                             "cancel", "closing"}));
}

TEST(MainWindowEvents, RightClickOnTheListPopsUpTheMenu) {
  MainWindow window;
  window.show();
  auto* list = window.findChild<QTreeWidget*>(QtFromUtf8(mw::kVideoList));
  QWidget* viewport = list->viewport();
  QPoint at(20, 30);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
  QApplication::sendEvent(viewport, &event);
  EXPECT_TRUE(window.contextMenu()->isVisible());
  window.contextMenu()->hide();
}

TEST(MainWindowEvents, TheFolderChooserIsAButtonForTheMouseAndTheKeyboard) {
  int presses = 0;
  MainWindow::Events events;
  events.folderLabelPressed = [&](MainWindow&) { ++presses; };
  MainWindow window(events);
  window.show();
  window.findChild<QTabWidget*>(QtFromUtf8(mw::kSettingsTabs))->setCurrentIndex(2);
  auto* chooser = window.findChild<QPushButton*>(QtFromUtf8(mw::kFolderLabel));
  ASSERT_NE(chooser, nullptr);
  EXPECT_TRUE(chooser->focusPolicy() & Qt::TabFocus);
  QTest::mouseClick(chooser, Qt::RightButton);
  EXPECT_EQ(presses, 0);
  QTest::mouseClick(chooser, Qt::LeftButton);
  EXPECT_EQ(presses, 1);
  chooser->setFocus();
  QTest::keyClick(chooser, Qt::Key_Space);
  EXPECT_EQ(presses, 2);
}

TEST(MainWindowEvents, HoursSpinnerStepsWithinItsRange) {
  MainWindow window;
  window.show();
  auto* hours = window.findChild<QLineEdit*>(QtFromUtf8(mw::kHours));
  struct Case {
    const char* before;
    Qt::Key key;
    const char* after;
  };
  const Case cases[] = {
      {"300", Qt::Key_Up, "301"},       {"300", Qt::Key_Down, "299"}, {"1", Qt::Key_Down, "1"},
      {"10000", Qt::Key_Up, "10000"},   {"abc", Qt::Key_Up, "1"},     {" 20x", Qt::Key_Up, "21"},
      {"99999", Qt::Key_Down, "10000"},
  };
  for (const Case& c : cases) {
    hours->setText(c.before);
    QTest::keyClick(hours, c.key);
    EXPECT_EQ(hours->text(), c.after) << c.before;
  }
  // The arrow buttons do the same.
  hours->setText("5");
  auto arrows = hours->findChildren<QAbstractButton*>();
  ASSERT_EQ(arrows.size(), 2);
  arrows[0]->click();
  EXPECT_EQ(hours->text(), "6");
  arrows[1]->click();
  arrows[1]->click();
  EXPECT_EQ(hours->text(), "4");
}

}  // namespace
}  // namespace pelvaro
