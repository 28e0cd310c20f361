// The desktop program in-process against the simulator: the start-up, the hand-over, the main
// window's bindings and a crawl, driven the way a user drives them.
#include "app/desktop/desktop_program.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/desktop_test_support.h"
#include "collector/platform_api.h"
#include "collector/history.h"
#include "collector/output_layout.h"
#include "collector/video_record.h"
#include "platform/files.h"
#include "platform/window_layout.h"
#include "shell/startup_steps.h"
#include "sim/video_content.h"
#include "support/refused_port.h"
#include "ui/main_window.h"
#include "ui/startup_window.h"
#include "ui/ui_test_support.h"
#include "ui/video_list_delegate.h"

namespace pelvaro {
namespace {

namespace fs = std::filesystem;
namespace mw = main_window;
namespace sw = startup_window;
using namespace std::chrono_literals;
using test::Click;
using test::ClickOtherTab;
using test::ModalAnswerer;
using test::WaitUntil;

// Clicks OK on a message box, or accepts another dialog.
void AnswerOk(QWidget* modal) {
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    box->button(QMessageBox::Ok)->click();
  } else {
    QMetaObject::invokeMethod(modal, "accept");
  }
}

class DesktopProgramTest : public test::DesktopTest {
 protected:
  // Starts the program and waits for the hand-over to the main window.
  DesktopProgram& start() {
    DesktopOptions options;
    options.installFatalErrorHandler = false;
    options.endProcess = [this](int code) { endings_.push_back(code); };
    options.crawlTiming = CrawlTiming{50ms, 50ms, 50ms, 2400};
    options.contributeTiming = ContributeTiming{1ms, 50ms};
    program_ = std::make_unique<DesktopProgram>(std::move(options));
    EXPECT_TRUE(WaitUntil([this] { return program_->mainWindow() != nullptr; }));
    return *program_;
  }
  // Ends the program the way tests can: its workers stopped and waited for.
  void stop() { program_.reset(); }

  void TearDown() override {
    stop();
    DesktopTest::TearDown();
  }

  Form& mainForm() { return program_->mainWindow()->form(); }
  Form& startupForm() { return program_->startupWindow().form(); }

  std::string runLog() const {
    for (const auto& entry : fs::directory_iterator(runDir_ + "/data")) {
      if (entry.path().filename().string().rfind("运行日志", 0) == 0) {
        return GbkToUtf8(test::ReadFile(entry.path().string()));
      }
    }
    return {};
  }

  std::unique_ptr<DesktopProgram> program_;
  std::vector<int> endings_;
};

// The rows of the video list as UTF-8 cells.
std::vector<std::vector<std::string>> Rows(Form& form) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < form.rowCount(mw::kVideoList); ++i) {
    RowHandle row = form.rowAt(mw::kVideoList, i);
    std::vector<std::string> cells;
    for (int c = 0; c < mw::kColumnCount; ++c) cells.push_back(GbkToUtf8(form.cell(mw::kVideoList, row, c)));
    rows.push_back(std::move(cells));
  }
  return rows;
}

// Where the crawl writes the video of a row (the default flat layout).
std::string VideoPath(const std::string& outputFolder, const std::vector<std::string>& row) {
  VideoRecord record;
  record.category = Utf8ToGbk(row[mw::kColCategory]);
  record.width = row[mw::kColWidth];
  record.height = row[mw::kColHeight];
  const Path folder = TargetFolder(Path(outputFolder), true, record);
  return JoinPath(folder, VideoFileName(row[mw::kColTitle])).bytes();
}

// True when the file holds exactly the bytes the simulator serves for the row's url.
bool HoldsServedBytes(const std::string& path, const std::string& url) {
  std::smatch match;
  static const std::regex kVideo(R"(/video/([A-Za-z0-9_]+)/(\d+)\.mp4$)");
  if (!std::regex_search(url, match, kVideo)) return false;
  const auto key = sim::VideoContent::KeyFor(match[1].str(), std::stoi(match[2].str()));
  const std::string bytes = test::ReadFile(path);
  return !bytes.empty() && bytes == sim::VideoContent::Bytes(key, 0, bytes.size());
}

TEST_F(DesktopProgramTest, FullStartShowsTheDisclaimerOnceHandsOverAndCrawls) {
  ASSERT_FALSE(fs::exists(markerPath()));
  ModalAnswerer disclaimer(AnswerOk);
  DesktopProgram& program = start();
  ASSERT_NE(program.mainWindow(), nullptr);

  // The start-up sequence ran once and handed over.
  EXPECT_TRUE(program.startedUp());
  EXPECT_TRUE(fs::exists(markerPath()));
  EXPECT_EQ(startupForm().timerInterval(sw::kTimer), 0);
  EXPECT_EQ(startupForm().caption(), StartupCaption());
  EXPECT_EQ(startupForm().text(sw::kBoardTitle), BoardTitle());
  EXPECT_FALSE(program.startupWindow().isVisible());
  EXPECT_EQ(program.startupWindow().x(), -3000);
  EXPECT_TRUE(program.mainWindow()->isVisible());
  EXPECT_EQ(GbkToUtf8(mainForm().caption()), "Pelvaro视频采集助手v4.6");
  const std::string shortcut = home_ + "/Desktop/Pelvaro视频下载器.desktop";
  ASSERT_TRUE(fs::exists(shortcut));
  EXPECT_NE(test::ReadFile(shortcut).find("Exec="), std::string::npos);

  // First start: the defaults, with the output folder under the data folder.
  EXPECT_EQ(GbkToUtf8(mainForm().text(mw::kOutputFolder)), runDir_ + "/video");
  EXPECT_EQ(GbkToUtf8(mainForm().text(mw::kHours)), "300");
  EXPECT_TRUE(mainForm().checked(mw::kNoSubfolders));

  // The background jobs: the version check against a current manifest, the category list.
  ASSERT_TRUE(WaitUntil([&] { return runLog().find("版本检查结果1是最新版：1") != std::string::npos; }))
      << runLog();
  const std::string log = runLog();
  const auto created = log.find("启动窗口创建完毕");
  const auto threads = log.find("启动窗口线程");
  ASSERT_NE(created, std::string::npos);
  ASSERT_NE(threads, std::string::npos);
  EXPECT_LT(threads, created);  // newest line first
  EXPECT_TRUE(WaitUntil([&] { return GbkToUtf8(startupForm().panelText(sw::kStatusBar, 0)) == "版本v4.6"; }));
  ASSERT_TRUE(WaitUntil([&] { return !program.categoryLoader().Running(); }));
  ASSERT_GT(mainForm().itemCount(mw::kCategoryBox), 1);
  EXPECT_EQ(GbkToUtf8(mainForm().itemText(mw::kCategoryBox, 0)), "所有类目");
  EXPECT_EQ(GbkToUtf8(mainForm().itemText(mw::kCategoryBox, 1)), "娱乐");
  EXPECT_EQ(mainForm().currentIndex(mw::kCategoryBox), 0);
  EXPECT_EQ(program.updateStatusLabel(), nullptr);  // no update, no update strip

  // A crawl with open filters takes verified videos into the output folder.
  for (auto [control, value] : {std::pair{mw::kMinSize, "0"},
                                {mw::kMinDuration, "0"},
                                {mw::kMaxDuration, "100000"},
                                {mw::kHours, "10000"},
                                {mw::kPauseMs, "0"}}) {
    mainForm().setText(control, value);
  }
  ASSERT_TRUE(Click(*program.mainWindow(), mw::kCrawlButton));
  EXPECT_EQ(GbkToUtf8(mainForm().text(mw::kCrawlButton)), "停止");
  const std::string output = runDir_ + "/video";
  auto completeRows = [&] {
    std::vector<std::vector<std::string>> complete;
    for (auto& row : Rows(mainForm())) {
      if (row[mw::kColDownload] == "100%" && fs::exists(VideoPath(output, row))) complete.push_back(row);
    }
    return complete;
  };
  ASSERT_TRUE(WaitUntil([&] { return completeRows().size() >= 2; }));
  // The status bar counts them, and a finished row's bar is full.
  auto* totals = program.mainWindow()->totalsLabel();
  ASSERT_TRUE(WaitUntil(
      [&] { return totals->text().startsWith(QStringLiteral("已采集 ")) && program.totals().taken() >= 2; }));
  auto* list = program.mainWindow()->findChild<QTreeWidget*>(QtFromUtf8(mw::kVideoList));
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    if (item->text(mw::kColDownload) == "100%") {
      EXPECT_DOUBLE_EQ(item->data(mw::kColDownload, kCellFractionRole).toDouble(), 1.0);
    }
  }
  ASSERT_TRUE(Click(*program.mainWindow(), mw::kCrawlButton));
  EXPECT_EQ(GbkToUtf8(mainForm().text(mw::kCrawlButton)), "开始");
  ASSERT_TRUE(WaitUntil([&] { return !program.crawlSession()->worker().Running(); }));

  for (const auto& row : completeRows()) {
    const std::string path = VideoPath(output, row);
    EXPECT_TRUE(HoldsServedBytes(path, row[mw::kColUrl])) << path;
    EXPECT_TRUE(fs::exists(HistoryMarkerPath(Utf8ToGbk(row[mw::kColDocid])).bytes())) << path;
  }
  // The actions of a finished row open its very file and copy its article link.
  ASSERT_TRUE(program.downloads().waitAllFor(std::chrono::seconds(60)));
  std::vector<QUrl> opened;
  program.mainWindow()->setUrlOpener([&](const QUrl& url) { opened.push_back(url); });
  for (int i = 0; i < mainForm().rowCount(mw::kVideoList); ++i) {
    const RowHandle row = mainForm().rowAt(mw::kVideoList, i);
    const auto cells = Rows(mainForm())[i];
    if (cells[mw::kColDownload] != "100%") continue;
    program.mainWindow()->prepareMenuFor(row);
    for (QAction* action : program.mainWindow()->contextMenu()->actions()) {
      if (action->text() == QStringLiteral("打开文件")) action->trigger();
    }
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(),
              QUrl::fromLocalFile(QString::fromStdString(fs::absolute(VideoPath(output, cells)).string())));
  }
  EXPECT_GE(opened.size(), 2u);
  const std::string logBox = GbkToUtf8(mainForm().text(mw::kLog));
  EXPECT_NE(logBox.find("读取到数据："), std::string::npos);
  EXPECT_NE(logBox.find("任务完成，开始下一个。"), std::string::npos);
  EXPECT_TRUE(endings_.empty());
}

TEST_F(DesktopProgramTest, EachToggleTwiceLeavesNoWorkerAndBothRunTogether) {
  acceptDisclaimer();
  DesktopProgram& program = start();
  MainWindow& window = *program.mainWindow();
  struct Toggle {
    std::string_view button;
    std::string idle;
    Worker& worker;
  };
  const Toggle toggles[] = {{mw::kCrawlButton, "开始", program.crawlSession()->worker()},
                            {mw::kContributeButton, "共建大数据", program.contributeSession()->worker()}};
  for (const Toggle& toggle : toggles) {
    SCOPED_TRACE(std::string(toggle.button));
    ASSERT_TRUE(Click(window, toggle.button));
    EXPECT_EQ(GbkToUtf8(mainForm().text(toggle.button)), "停止");
    EXPECT_TRUE(toggle.worker.Running());
    ASSERT_TRUE(Click(window, toggle.button));
    EXPECT_EQ(GbkToUtf8(mainForm().text(toggle.button)), toggle.idle);
    EXPECT_TRUE(WaitUntil([&] { return !toggle.worker.Running(); }));
  }
  // Independent of each other: both run at once, and each stops alone.
  for (const Toggle& toggle : toggles) Click(window, toggle.button);
  EXPECT_TRUE(toggles[0].worker.Running() && toggles[1].worker.Running());
  Click(window, toggles[0].button);
  EXPECT_TRUE(WaitUntil([&] { return !toggles[0].worker.Running(); }));
  EXPECT_TRUE(toggles[1].worker.Running());
  Click(window, toggles[1].button);
  EXPECT_TRUE(WaitUntil([&] { return !toggles[1].worker.Running(); }));
  EXPECT_TRUE(endings_.empty());
}

TEST_F(DesktopProgramTest, SavedSettingsComeBackAtTheNextStart) {
  acceptDisclaimer();
  start();
  const std::pair<std::string_view, std::string> edits[] = {
      {mw::kHours, "72"},
      {mw::kMinDuration, "9"},
      {mw::kMaxDuration, "300"},
      {mw::kMinSize, "1"},
      {mw::kMaxSize, "50"},
      {mw::kPauseMs, "250"},
      {mw::kMaxFiles, "40"},
      {mw::kMinFreeMb, "900"},
      {mw::kOutputFolder, runDir_ + "/片库-Köln-영상😂"},  // GBK holds only part of it
      {mw::kMinWidth, "800"},
      {mw::kSeedLink, "第一行\r\n\"第二行\""},
  };
  for (const auto& [control, value] : edits) mainForm().setText(control, Utf8ToGbk(value));
  mainForm().setTextUtf8(mw::kOutputFolder, runDir_ + "/片库-Köln-영상😂");
  mainForm().setChecked(mw::kNoSubfolders, false);

  QString message;
  {
    ModalAnswerer answer([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) message = box->text();
      AnswerOk(modal);
    });
    ASSERT_TRUE(Click(*program_->mainWindow(), mw::kSaveButton));
  }
  EXPECT_EQ(message.toStdString(), "设置已经被保存");
  ASSERT_TRUE(fs::exists(settingsPath()));
  stop();

  start();
  for (const auto& [control, value] : edits) {
    if (control == mw::kOutputFolder) {
      EXPECT_EQ(mainForm().textUtf8(control), value);
    } else {
      EXPECT_EQ(GbkToUtf8(mainForm().text(control)), value) << control;
    }
  }
  // The settings file stays GBK throughout.
  const std::string settings = ReadWholeFile(Path(settingsPath())).value_or("");
  EXPECT_EQ(Utf8ToGbk(GbkToUtf8(settings)), settings);
  EXPECT_FALSE(mainForm().checked(mw::kNoSubfolders));
  // A saved width never shows its hidden box.
  EXPECT_FALSE(mainForm().visible(mw::kMinWidth));
  EXPECT_TRUE(endings_.empty());
}

// The window's size and a column the user widened come back at the next start, as new keys of
// the settings file; the window was closed the way a user closes it.
TEST_F(DesktopProgramTest, TheWindowsSizeAndAWidenedColumnComeBackAtTheNextStart) {
  acceptDisclaimer();
  start();
  MainWindow* window = program_->mainWindow();
  auto* list = window->findChild<QTreeWidget*>(QtFromUtf8(mw::kVideoList));
  const int designListWidth = list->width();
  window->resize(1200, 800);
  QApplication::processEvents();
  EXPECT_GT(list->width(), designListWidth);
  list->header()->resizeSection(mw::kColTitle, list->columnWidth(mw::kColTitle) + 60);
  const int titleWidth = list->columnWidth(mw::kColTitle);
  window->close();
  EXPECT_EQ(endings_, std::vector<int>{0});
  const std::string settings = settingsText();
  EXPECT_NE(settings.find("[窗口]"), std::string::npos) << settings;
  EXPECT_NE(settings.find(",1200,800\r\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("[列宽]\r\n超级列表框1="), std::string::npos) << settings;
  stop();

  start();
  window = program_->mainWindow();
  list = window->findChild<QTreeWidget*>(QtFromUtf8(mw::kVideoList));
  QApplication::processEvents();
  EXPECT_EQ(window->size(), QSize(1200, 800));
  EXPECT_EQ(list->columnWidth(mw::kColTitle), titleWidth);
}

TEST_F(DesktopProgramTest, ContextMenuActions) {
  acceptDisclaimer();
  start();
  Form& form = mainForm();
  const char* docids[] = {"V_aaaa1111", "V_bbbb2222"};
  for (const char* docid : docids)
    form.setCell(mw::kVideoList, form.addRow(mw::kVideoList), mw::kColDocid, docid);
  auto* list = program_->mainWindow()->findChild<QTreeWidget*>(QtFromUtf8(mw::kVideoList));
  ASSERT_NE(list, nullptr);
  list->setCurrentItem(list->topLevelItem(1));
  form.setText(mw::kSeedLink, "https://elsewhere/article/V_old");

  auto choose = [&](std::string_view item) {
    for (QAction* action : program_->mainWindow()->contextMenu()->actions()) {
      if (action->text() == QtFromUtf8(item)) action->trigger();
    }
  };
  choose("取消操作");
  EXPECT_EQ(form.rowCount(mw::kVideoList), 2);
  EXPECT_EQ(form.text(mw::kSeedLink), "https://elsewhere/article/V_old");
  choose("加入索引序列");
  EXPECT_EQ(form.text(mw::kSeedLink), ArticleLink("V_bbbb2222"));  // replaced, not appended
  choose("清空列表");
  EXPECT_EQ(form.rowCount(mw::kVideoList), 0);
  choose("清空列表");
  EXPECT_EQ(form.rowCount(mw::kVideoList), 0);
}

// A crawl that cannot do its work says why: a box, and no crawl, for an output folder that
// cannot take videos; the platform's host and the reason in the log and the status bar while
// the platform gives no answer.
TEST_F(DesktopProgramTest, ACrawlThatCannotWorkSaysWhy) {
  acceptDisclaimer();
  DesktopProgram& program = start();
  MainWindow& window = *program.mainWindow();
  ASSERT_TRUE(WaitUntil([&] { return !program.categoryLoader().Running(); }));
  // Below a file no folder can be made, not even by root.
  std::ofstream(runDir_ + "/a-file") << "x";
  const std::string blocked = runDir_ + "/a-file/videos";
  mainForm().setText(mw::kOutputFolder, Utf8ToGbk(blocked));
  QString message;
  {
    ModalAnswerer answer([&](QWidget* modal) {
      if (auto* box = qobject_cast<QMessageBox*>(modal)) message = box->text();
      AnswerOk(modal);
    });
    ASSERT_TRUE(Click(window, mw::kCrawlButton));
  }
  EXPECT_EQ(message.toStdString(), "视频下载目录无法写入：" + blocked + "（不是文件夹）");
  EXPECT_EQ(GbkToUtf8(mainForm().text(mw::kCrawlButton)), "开始");
  EXPECT_TRUE(sim_->requests("platform").empty());

  mainForm().setText(mw::kOutputFolder, Utf8ToGbk(runDir_ + "/video"));
  testing::RefusedPort refused;
  const std::string platform = getenv("PELVARO_PLATFORM_WEB_HOST");
  setenv("PELVARO_PLATFORM_WEB_HOST", refused.address().c_str(), 1);
  ASSERT_TRUE(Click(window, mw::kCrawlButton));
  const std::string said = "无法连接平台 " + refused.address() + "：连接被拒绝";
  ASSERT_NE(program.crawlStatusLabel(), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return program.crawlStatusLabel()->text().toStdString() == said; }))
      << program.crawlStatusLabel()->text().toStdString();
  EXPECT_TRUE(WaitUntil([&] {
    return GbkToUtf8(mainForm().text(mw::kLog)).find(said + "\r\n读取到数据：0") != std::string::npos;
  })) << GbkToUtf8(mainForm().text(mw::kLog));
  ASSERT_TRUE(Click(window, mw::kCrawlButton));
  ASSERT_TRUE(WaitUntil([&] { return !program.crawlSession()->worker().Running(); }));

  // A new crawl starts without the old reason.
  setenv("PELVARO_PLATFORM_WEB_HOST", platform.c_str(), 1);
  ASSERT_TRUE(Click(window, mw::kCrawlButton));
  EXPECT_TRUE(WaitUntil(
      [&] { return GbkToUtf8(mainForm().text(mw::kLog)).find("读取到数据：50") != std::string::npos; }));
  EXPECT_EQ(program.crawlStatusLabel()->text().toStdString(), "");
  ASSERT_TRUE(Click(window, mw::kCrawlButton));
}

TEST_F(DesktopProgramTest, FolderPickerSetsTheFolderAndCancelGoesBackToTheDefault) {
  acceptDisclaimer();
  start();
  MainWindow& window = *program_->mainWindow();
  window.findChild<QTabWidget*>(QtFromUtf8(mw::kSettingsTabs))->setCurrentIndex(2);
  auto* chooser = window.findChild<QPushButton*>(QtFromUtf8(mw::kFolderLabel));
  ASSERT_NE(chooser, nullptr);
  const std::string chosen = runDir_ + "/chosen-Köln-영상";
  fs::create_directories(chosen);

  QString title;
  {
    ModalAnswerer pick([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      title = dialog->windowTitle();
      dialog->setDirectory(QString::fromStdString(chosen));
      QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(chooser, Qt::LeftButton);
  }
  EXPECT_EQ(title.toStdString(), "选择视频保存目录");
  EXPECT_EQ(mainForm().textUtf8(mw::kOutputFolder), chosen);

  // The right button opens nothing.
  QTest::mouseClick(chooser, Qt::RightButton);
  EXPECT_EQ(mainForm().textUtf8(mw::kOutputFolder), chosen);

  // The keyboard reaches it too; cancelling goes back to the default folder.
  {
    ModalAnswerer cancel([](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); });
    chooser->setFocus();
    QTest::keyClick(chooser, Qt::Key_Space);
  }
  EXPECT_EQ(GbkToUtf8(mainForm().text(mw::kOutputFolder)), runDir_ + "/video");
}

TEST_F(DesktopProgramTest, ABoxOpenedBeforeTheHandOverLeavesTheMainWindowUsable) {
  acceptDisclaimer();
  DesktopOptions options;
  options.installFatalErrorHandler = false;
  options.endProcess = [this](int code) { endings_.push_back(code); };
  program_ = std::make_unique<DesktopProgram>(std::move(options));
  // The help box opens at once and stays open through the hand-over a second later; the
  // checks run from inside its event loop.
  bool checked = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    MainWindow* main = program_->mainWindow();
    QWidget* box = test::OpenDialog();
    if (main == nullptr || box == nullptr || !QTest::qWaitForWindowExposed(main, 1000)) return;
    watch.stop();
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_NE(box->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(ClickOtherTab(main->findChild<QTabWidget*>(QtFromUtf8(mw::kMainTabs))));
    AnswerOk(box);
    checked = true;
  });
  watch.start(10);
  QTimer::singleShot(0, [this] { Click(program_->startupWindow(), sw::kHelpButton); });
  EXPECT_TRUE(WaitUntil([&] { return checked; }));
}

class DesktopUpdateTest : public DesktopProgramTest {
 protected:
  std::vector<std::string> simulatorFlags() const override {
    return {"--size-scale", "0.01", "--offered-version", "4.7", "--update-size", "65536"};
  }
};

TEST_F(DesktopUpdateTest, AnUpdateAfterTheHandOverShowsInTheMainWindow) {
  acceptDisclaimer();
  QString prompt;
  ModalAnswerer agree([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) prompt = box->windowTitle();
    AnswerOk(modal);
  });
  DesktopProgram& program = start();
  ASSERT_TRUE(WaitUntil(
      [&] { return program.openNewVersionButton() && program.openNewVersionButton()->isVisible(); }));
  EXPECT_EQ(prompt.toStdString(), "发现新版本，是否更新");
  EXPECT_EQ(program.openNewVersionButton()->text().toStdString(), "打开：pelvaro-collector-4.7");
  EXPECT_TRUE(program.updateStatusLabel()->text().startsWith(QStringLiteral("软件更新：")));
  EXPECT_EQ(program.updateStatusLabel()->textFormat(), Qt::PlainText);
  EXPECT_TRUE(startupForm().visible(sw::kOpenNewVersion));
  EXPECT_TRUE(fs::exists(runDir_ + "/pelvaro-collector-4.7"));
  // The download is no program: starting it fails, the user is told, and the program goes on.
  QString told;
  ModalAnswerer acknowledge([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) told = box->text();
    AnswerOk(modal);
  });
  program.openNewVersionButton()->click();
  EXPECT_TRUE(told.startsWith(QStringLiteral("新版本无法启动"))) << told.toStdString();
  EXPECT_TRUE(endings_.empty());
}

}  // namespace
}  // namespace pelvaro
