// The Form seam over a real window, driven from worker threads the way the collector drives it.
#include "ui/qt_form.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <future>

#include "platform/window_layout.h"
#include "ui/design_label.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/startup_window.h"
#include "ui/ui_test_support.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

namespace mw = main_window;
namespace sw = startup_window;
using test::ModalAnswerer;
using test::RunOnWorker;

TEST(QtForm, TextsRoundTripFromAWorker) {
  MainWindow window;
  Form& form = window.form();
  struct Case {
    std::string_view control;
    Text value;
  };
  const Case cases[] = {
      {mw::kHours, "72"},
      {mw::kOutputFolder, Gbk("/数据/视频")},
      {mw::kSeedLink, Gbk("第一行\r\n第二行")},  // multi-line keeps its CR LF
      {mw::kContributeStatus, Gbk("正在共建\r\n第二行")},
      {mw::kCrawlButton, Gbk("停止")},
      {mw::kNoSubfolders, Gbk("勾选")},
  };
  std::vector<Text> read;
  RunOnWorker([&] {
    for (const Case& c : cases) {
      form.setText(c.control, c.value);
      read.push_back(form.text(c.control));
    }
  });
  ASSERT_EQ(read.size(), std::size(cases));
  for (std::size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], cases[i].value) << cases[i].control;
  auto* label = dynamic_cast<DesignLabel*>(window.findChild<QLabel*>(QtFromUtf8(mw::kContributeStatus)));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->plainText(), "正在共建\n第二行");
  EXPECT_TRUE(label->text().contains("正在共建<br>第二行"));
}

// Texts from servers (announcements, replies, the quote of the day) land in labels and status
// bar panels: they are shown, never run as markup.
TEST(QtForm, LabelAndPanelTextIsNeverMarkup) {
  const Text hostile = "<img src=\"file:///etc/passwd\"><a href=\"x\">1 < 2 & 3</a>";
  StartupWindow startup;
  MainWindow main;
  const std::pair<QWidget*, const WindowDesign*> windows[] = {{&startup, &StartupWindowDesign()},
                                                            {&main, &MainWindowDesign()}};
  int labels = 0;
  for (auto [window, design] : windows) {
    Form& form = window == &startup ? startup.form() : main.form();
    for (const ControlDesign& control : design->controls) {
      if (control.kind != ControlKind::Label) continue;
      ++labels;
      form.setText(control.name, hostile);
      EXPECT_EQ(form.text(control.name), hostile) << control.name;
      if (control.style == WidgetStyle::PressableLabel) {
        // A button's caption is plain text whatever it holds.
        EXPECT_NE(window->findChild<QPushButton*>(QtFromUtf8(control.name)), nullptr) << control.name;
        continue;
      }
      auto* label = window->findChild<QLabel*>(QtFromUtf8(control.name));
      ASSERT_NE(label, nullptr) << control.name;
      if (label->textFormat() != Qt::PlainText) {
        EXPECT_FALSE(label->text().contains("<img")) << control.name;
        EXPECT_TRUE(label->text().contains("&lt;img")) << control.name;
      }
    }
  }
  EXPECT_GT(labels, 10);
  for (int panel = 0; panel < 3; ++panel) {
    startup.form().setPanelText(sw::kStatusBar, panel, hostile);
    EXPECT_EQ(startup.form().panelText(sw::kStatusBar, panel), hostile);
    QLabel* shown = StatusPanel(startup.findChild<QStatusBar*>(QtFromUtf8(sw::kStatusBar)), panel);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->textFormat(), Qt::PlainText);
  }
}

TEST(QtForm, UnknownControlsAndWrongKindsGiveEmptyValues) {
  MainWindow window;
  Form& form = window.form();
  form.setText("没有这个控件", "x");
  EXPECT_EQ(form.text("没有这个控件"), "");
  EXPECT_FALSE(form.checked(mw::kHours));
  EXPECT_EQ(form.itemCount(mw::kHours), 0);
  EXPECT_EQ(form.currentIndex(mw::kHours), -1);
  EXPECT_EQ(form.addRow(mw::kHours), kNoRow);
  EXPECT_EQ(form.rowCount(mw::kCategoryBox), 0);
  EXPECT_EQ(form.timerInterval(mw::kHours), 0);
  EXPECT_EQ(form.panelText(mw::kHours, 0), "");
}

TEST(QtForm, CheckBoxAndComboBoxFromAWorker) {
  MainWindow window;
  Form& form = window.form();
  bool checkedAfter = true;
  int count = 0, index = -2;
  Text second, current;
  RunOnWorker([&] {
    form.setChecked(mw::kNoSubfolders, false);
    checkedAfter = form.checked(mw::kNoSubfolders);
    form.clearItems(mw::kCategoryBox);
    for (const char* item : {"所有类目", "娱乐", "体育"}) form.addItem(mw::kCategoryBox, Gbk(item));
    form.setCurrentIndex(mw::kCategoryBox, 2);
    form.setCurrentIndex(mw::kCategoryBox, 7);  // out of range: ignored
    count = form.itemCount(mw::kCategoryBox);
    index = form.currentIndex(mw::kCategoryBox);
    second = form.itemText(mw::kCategoryBox, 1);
    current = form.text(mw::kCategoryBox);
  });
  EXPECT_FALSE(checkedAfter);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(second, Gbk("娱乐"));
  EXPECT_EQ(current, Gbk("体育"));
  EXPECT_EQ(form.itemText(mw::kCategoryBox, 3), "");
}

TEST(QtForm, RowHandlesSurviveOtherRowsDeletion) {
  MainWindow window;
  Form& form = window.form();
  RowHandle first = kNoRow, second = kNoRow, third = kNoRow, later = kNoRow;
  RunOnWorker([&] {
    first = form.addRow(mw::kVideoList);
    second = form.addRow(mw::kVideoList);
    third = form.addRow(mw::kVideoList);
    form.setCell(mw::kVideoList, second, mw::kColDocid, "V_second");
    form.setCell(mw::kVideoList, third, mw::kColTitle, Gbk("标题"));
    form.deleteRow(mw::kVideoList, first);
    form.setCell(mw::kVideoList, first, mw::kColTitle, "gone");  // a deleted row: nothing happens
    form.setCell(mw::kVideoList, third, mw::kColDownload, "100%");
    form.setCell(mw::kVideoList, third, mw::kColumnCount, "beyond the last column");
    later = form.addRow(mw::kVideoList);
  });
  EXPECT_NE(first, kNoRow);
  EXPECT_EQ(form.rowCount(mw::kVideoList), 3);
  EXPECT_EQ(form.rowAt(mw::kVideoList, 0), second);
  EXPECT_EQ(form.rowAt(mw::kVideoList, 1), third);
  EXPECT_EQ(form.rowAt(mw::kVideoList, 2), later);
  EXPECT_EQ(form.rowAt(mw::kVideoList, 3), kNoRow);
  EXPECT_EQ(form.cell(mw::kVideoList, second, mw::kColDocid), "V_second");
  EXPECT_EQ(form.cell(mw::kVideoList, third, mw::kColTitle), Gbk("标题"));
  EXPECT_EQ(form.cell(mw::kVideoList, third, mw::kColDownload), "100%");
  EXPECT_EQ(form.cell(mw::kVideoList, first, mw::kColTitle), "");
  // Handles are never reused, not even after the list was cleared.
  EXPECT_TRUE(later != first && later != second && later != third);
  form.clearRows(mw::kVideoList);
  EXPECT_EQ(form.rowCount(mw::kVideoList), 0);
  RowHandle afterClear = form.addRow(mw::kVideoList);
  EXPECT_TRUE(afterClear != first && afterClear != second && afterClear != third && afterClear != later);
  EXPECT_EQ(form.selectedRow(mw::kVideoList), kNoRow);
}

TEST(QtForm, AppendedLinesGoToTheEndAndStayInView) {
  MainWindow window;
  window.show();
  Form& form = window.form();
  RunOnWorker([&] {
    for (int i = 0; i < 200; ++i) form.appendLine(mw::kLog, Gbk("第") + std::to_string(i) + Gbk("行"));
  });
  Text log = form.text(mw::kLog);
  const Text first = Gbk("第0行\r\n"), last = Gbk("第199行\r\n");
  EXPECT_EQ(log.substr(0, first.size()), first);
  EXPECT_EQ(log.substr(log.size() - last.size()), last);
  auto* box = window.findChild<QPlainTextEdit*>(QtFromUtf8(mw::kLog));
  QCoreApplication::processEvents();
  EXPECT_GT(box->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());

  form.setText(mw::kLog, "");
  form.appendLine(mw::kLog, "a");
  form.appendLine(mw::kLog, Gbk("两行\r\n文本"));
  EXPECT_EQ(form.text(mw::kLog), Gbk("a\r\n两行\r\n文本\r\n"));
}

TEST(QtForm, StartupWindowPanelsCaptionVisibilityAndPlace) {
  StartupWindow window;
  Form& form = window.form();
  Text panel;
  bool buttonVisible = false;
  RunOnWorker([&] {
    form.setPanelText(sw::kStatusBar, 2, Gbk("今日一言"));
    panel = form.panelText(sw::kStatusBar, 2);
    form.setVisible(sw::kOpenNewVersion, true);
    buttonVisible = form.visible(sw::kOpenNewVersion);
    form.setCaption(Gbk("Pelvaro视频下载器"));
    form.moveWindow(-3000, 50);
    form.setWindowVisible(false);
  });
  EXPECT_EQ(panel, Gbk("今日一言"));
  EXPECT_EQ(form.panelText(sw::kStatusBar, 5), "");
  EXPECT_TRUE(buttonVisible);
  EXPECT_EQ(window.windowTitle(), "Pelvaro视频下载器");
  EXPECT_EQ(window.pos().x(), -3000);
  EXPECT_FALSE(window.isVisible());
}

TEST(QtForm, ControlsOfKindFollowTheTableOrder) {
  MainWindow window;
  std::vector<std::string> boxes = window.form().controlsOfKind(ControlKind::EditBox);
  std::vector<std::string> expected;
  for (const ControlDesign& control : MainWindowDesign().controls) {
    if (control.kind == ControlKind::EditBox) expected.emplace_back(control.name);
  }
  EXPECT_EQ(boxes, expected);
  EXPECT_EQ(window.form().controlsOfKind(ControlKind::CheckBox),
            std::vector<std::string>{"选择框_不要子目录"});
}

// A worker that is stopped while the GUI thread is busy must not wait for it.
TEST(QtForm, StoppedWorkerReturnsAtOnceWhileTheGuiIsBusy) {
  MainWindow window;
  Form& form = window.form();
  form.setText(mw::kHours, "300");
  std::promise<void> calling;
  Text seen = "unset";
  Worker worker;
  worker.Start([&] {
    calling.set_value();
    seen = form.text(mw::kHours);  // the GUI thread does not turn its event loop meanwhile
    form.setText(mw::kHours, "1");
  });
  calling.get_future().wait();
  worker.RequestStop();
  worker.Join();  // hangs if the worker kept waiting for the GUI thread
  EXPECT_EQ(seen, "");
  // What the stopped worker posted may still run later, harmlessly.
  QCoreApplication::processEvents();
  Text after = form.text(mw::kHours);
  EXPECT_TRUE(after == "300" || after == "1") << after;
}

// A window destroyed before the GUI thread got to a posted operation releases its caller.
TEST(QtForm, CallerIsReleasedWhenTheWindowGoesAway) {
  auto window = std::make_unique<QMainWindow>();
  BuildWindow(*window, MainWindowDesign());
  QtForm form(window.get(), MainWindowDesign());
  std::promise<void> calling;
  int rows = -1;
  Worker worker;
  worker.Start([&] {
    calling.set_value();
    rows = form.addRow(mw::kVideoList) == kNoRow ? 0 : 1;
  });
  calling.get_future().wait();
  // Either the call is already posted (and dropped with the window) or it finds no window.
  window.reset();
  worker.Join();
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(form.text(mw::kHours), "");
}

TEST(QtForm, MessageBoxFromAWorkerIsAnsweredLikeAUser) {
  MainWindow window;
  window.show();
  struct Case {
    Text title;
    MessageButtons buttons;
    QMessageBox::StandardButton press;
    QString expectedTitle;
    bool expected;
  };
  const Case cases[] = {
      {"", MessageButtons::Ok, QMessageBox::Ok, "信息：", true},
      {Gbk("免责声明"), MessageButtons::OkCancel, QMessageBox::Cancel, "免责声明", false},
      {Gbk("更新"), MessageButtons::OkCancel, QMessageBox::Ok, "更新", true},
  };
  for (const Case& c : cases) {
    QString title, text;
    bool plain = false;
    QMessageBox::Icon icon = QMessageBox::Warning;
    int buttonCount = 0;
    ModalAnswerer answer([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      text = box->text();
      plain = box->textFormat() == Qt::PlainText;
      icon = box->icon();
      buttonCount = static_cast<int>(box->buttons().size());
      box->button(c.press)->click();
    });
    bool result = !c.expected;
    RunOnWorker([&] {
      result = window.form().messageBox(Gbk("设置已经被保存\r\n<b>不是标记</b>"), c.title, c.buttons);
    });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(title, c.expectedTitle);
    EXPECT_EQ(text, "设置已经被保存\n<b>不是标记</b>");
    EXPECT_TRUE(plain);
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttonCount, c.buttons == MessageButtons::OkCancel ? 2 : 1);
  }
}

TEST(QtForm, FolderPickerFromAWorkerReturnsTheChoiceOrNothing) {
  MainWindow window;
  window.show();
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath("视频"));
  const QString chosen = QDir(root.path()).filePath("视频");

  for (bool accept : {true, false}) {
    QString dialogTitle;
    ModalAnswerer answer([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      dialogTitle = dialog->windowTitle();
      if (accept) {
        dialog->setDirectory(chosen);
        QMetaObject::invokeMethod(dialog, "accept");  // the slot a click on "Choose" calls
      } else {
        dialog->reject();
      }
    });
    Path picked("unset");
    RunOnWorker([&] { picked = window.form().pickFolder(Gbk("选择视频保存目录"), PathFromQt(root.path())); });
    EXPECT_EQ(dialogTitle, "选择视频保存目录");
    EXPECT_EQ(picked, accept ? PathFromQt(chosen) : Path());
  }
}

}  // namespace
}  // namespace pelvaro
