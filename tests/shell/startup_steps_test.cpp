#include "shell/startup_steps.h"

#include "platform/data_folder.h"
#include "platform/memory_form.h"
#include "platform/window_layout.h"
#include "shell/run_log.h"
#include "shell_test_support.h"
#include "test_server.h"

namespace pelvaro {
namespace {

using testing::ShellTest;
namespace sw = startup_window;

TEST(DriveHintTest, OnlyAnUpperCaseCFirst) {
  for (auto [dir, shows] : std::initializer_list<std::pair<const char*, bool>>{{"C:\\soft", true},
                                                                               {"Cvideos", true},
                                                                               {"c:\\soft", false},
                                                                               {"D:\\C", false},
                                                                               {"/home/C", false},
                                                                               {"", false}}) {
    EXPECT_EQ(ShowsDriveHint(Path(dir)), shows) << dir;
  }
}

TEST_F(ShellTest, DriveHintShowsTheUpdatePanel) {
  auto form = MemoryForm::StartupWindow();
  form->setText(sw::kUpdatePanel, "x");
  ShowDriveHintIfNeeded(*form);
  EXPECT_EQ(form->text(sw::kUpdatePanel), "x");
  setenv("PELVARO_RUN_DIR", "C:/soft", 1);
  form->setVisible(sw::kUpdatePanel, false);
  ShowDriveHintIfNeeded(*form);
  EXPECT_TRUE(form->visible(sw::kUpdatePanel));
  EXPECT_EQ(GbkToUtf8(form->text(sw::kUpdatePanel)), "建议不要把软件放在C盘或者桌面，可以避免80%的软件异常");
}

TEST_F(ShellTest, StartupSequenceRunsItsStepsInOrder) {
  std::filesystem::create_directories(runDir_ + "/data");
  std::filesystem::create_directories(home_ + "/Desktop");
  std::filesystem::create_directories(home_ + "/Documents");
  auto form = MemoryForm::StartupWindow();
  form->setTimerInterval(sw::kTimer, 1000);
  std::vector<std::string> events;
  form->setMessageHandler([&](const MemoryForm::ShownMessage& shown) {
    events.push_back("disclaimer");
    // The caption and board title are set before the disclaimer opens.
    EXPECT_EQ(GbkToUtf8(form->caption()), "Pelvaro视频下载器    按Esc键关闭软件");
    EXPECT_EQ(GbkToUtf8(form->text(sw::kBoardTitle)), "Pelvaro视频下载器公告");
    return true;
  });
  std::vector<std::function<void()>> jobs;
  StartupActions actions;
  actions.installFatalErrorHandler = [&] {
    events.push_back("handler");
    EXPECT_EQ(form->timerInterval(sw::kTimer), 0);
  };
  actions.startThread = [&](std::function<void()> job) {
    events.push_back("thread");
    jobs.push_back(std::move(job));
  };
  actions.handOver = [&] {
    events.push_back("hand-over");
    EXPECT_TRUE(std::filesystem::exists(home_ + "/Desktop/Pelvaro视频下载器.desktop"));
  };
  StartupSequence(*form, actions);

  EXPECT_EQ(events, (std::vector<std::string>{"handler", "disclaimer", "thread", "thread", "hand-over"}));
  EXPECT_EQ(jobs.size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(home_ + "/Documents/tmbq.dll"));
  std::string launcher = Read(home_ + "/Desktop/Pelvaro视频下载器.desktop");
  EXPECT_NE(launcher.find("Exec=\"" + ExecutablePath().bytes() + "\"\n"), std::string::npos) << launcher;
  std::string log = GbkToUtf8(Read(runDir_ + "/data/" + GbkToUtf8(RunLog::fileName(LocalNow()))));
  auto threads = log.find("   启动窗口线程\r\n");
  auto created = log.find("   启动窗口创建完毕\r\n");
  ASSERT_NE(created, std::string::npos);
  EXPECT_LT(threads, created);
}

}  // namespace
}  // namespace pelvaro
