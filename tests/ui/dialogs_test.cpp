// Where the program's dialogs sit among its windows, what their buttons say, and the start-up
// settings every windowed program applies.
#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <clocale>
#include <cstdio>

#include "platform/window_layout.h"
#include "ui/application_setup.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/startup_window.h"
#include "ui/ui_test_support.h"

namespace pelvaro {
namespace {

using test::ClickOtherTab;
using test::ModalAnswerer;
using test::RunOnWorker;

struct SeenDialog {
  QWidget* parent = nullptr;
  Qt::WindowModality modality = Qt::ApplicationModal;
  bool onTop = false;
  QStringList buttons;
  bool otherWindowAnswered = false;
};

TEST(Dialogs, BoxesBlockOnlyTheirOwnerAndShowChineseButtons) {
  ASSERT_TRUE(PrepareApplication());
  StartupWindow startup;
  startup.show();
  MainWindow main;
  main.show();
  auto* tabs = main.findChild<QTabWidget*>(QtFromUtf8(main_window::kMainTabs));
  ASSERT_NE(tabs, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));

  for (bool ownerShown : {true, false}) {
    SCOPED_TRACE(ownerShown);
    startup.setVisible(ownerShown);
    SeenDialog seen;
    ModalAnswerer answer([&](QWidget* dialog) {
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      seen.parent = box->parentWidget();
      seen.modality = box->windowModality();
      seen.onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
      for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
      // The other window still takes a click while the box is open.
      seen.otherWindowAnswered = ClickOtherTab(tabs);
      box->button(QMessageBox::Cancel)->click();
    });
    bool result = true;
    RunOnWorker([&] { result = startup.form().messageBox(Gbk("发现新版本"), {}, MessageButtons::OkCancel); });
    EXPECT_FALSE(result);
    EXPECT_EQ(seen.parent, ownerShown ? &startup : nullptr);
    EXPECT_EQ(seen.modality, ownerShown ? Qt::WindowModal : Qt::NonModal);
    EXPECT_EQ(seen.onTop, !ownerShown);
    seen.buttons.sort();
    EXPECT_EQ(seen.buttons, (QStringList{"取消", "确定"}));
    EXPECT_TRUE(seen.otherWindowAnswered);
  }

  // The folder picker of the main window blocks the main window only.
  Qt::WindowModality pickerModality = Qt::ApplicationModal;
  ModalAnswerer cancel([&](QWidget* dialog) {
    pickerModality = dialog->windowModality();
    qobject_cast<QDialog*>(dialog)->reject();
  });
  RunOnWorker([&] { main.form().pickFolder(Gbk("选择视频保存目录"), Path("/")); });
  EXPECT_EQ(pickerModality, Qt::WindowModal);
}

TEST(Dialogs, EscClosesEveryBox) {
  MainWindow main;
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  auto pressEsc = [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); };
  for (bool withCancel : {false, true}) {
    ModalAnswerer esc(pressEsc);
    // Esc on a box with OK alone is its OK; with Cancel, it is Cancel.
    EXPECT_EQ(ShowMessageBox(&main, QStringLiteral("设置已经被保存"), QString(), withCancel), !withCancel);
  }
  ModalAnswerer esc(pressEsc);
  Path chosen("unanswered");
  RunOnWorker([&] { chosen = main.form().pickFolder(Gbk("选择视频保存目录"), Path("/")); });
  EXPECT_EQ(chosen, Path());
}

TEST(Dialogs, BoxesOfAWindowLeavingTheScreenStayInView) {
  StartupWindow startup;
  startup.show();
  auto* box = new QMessageBox(DialogOwner(&startup));
  bool ranToEnd = false;
  QTimer::singleShot(0, [&] {
    startup.hide();
    ReleaseDialogsOf(&startup);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    box->accept();
  });
  ranToEnd = RunDialog(box);
  EXPECT_TRUE(ranToEnd);
  delete box;
}

TEST(ApplicationSetup, NumbersUseADotUnderEveryLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.13g", 1.5);
  EXPECT_STREQ(buffer, "1,5");  // what Qt's start leaves under such a locale
  PrepareApplication();
  std::snprintf(buffer, sizeof buffer, "%.13g", 1.5);
  EXPECT_STREQ(buffer, "1.5");
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace pelvaro
