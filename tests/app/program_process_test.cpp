// pelvaro-collector as a child process: how each way of ending treats the settings file, and
// the start-up's files on a first start.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/desktop/test_automation.h"
#include "app/desktop_test_support.h"

extern char** environ;

namespace pelvaro {
namespace {

namespace fs = std::filesystem;

// Runs the program with the automation script; its exit status, or -1 when it did not end
// within the hang guard (it is then killed).
int RunProgram(const std::string& script) {
  setenv("PELVARO_TEST_AUTOMATION", script.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char* argv[] = {const_cast<char*>(PELVARO_COLLECTOR_PATH), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ);
  unsetenv("PELVARO_TEST_AUTOMATION");
  if (spawned != 0) return -1;
  int status = 0;
  const auto guard = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kHangGuardMs);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > guard) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ProgramProcessTest : public test::DesktopTest {
 protected:
  void SetUp() override {
#ifndef PELVARO_TEST_AUTOMATION
    GTEST_SKIP() << "pelvaro-collector was built without the test automation hook";
#endif
    DesktopTest::SetUp();
  }
};

TEST_F(ProgramProcessTest, ClosingTheMainWindowSavesAndTheCloseButtonDoesNot) {
  struct Case {
    const char* ending;
    bool saves;
  };
  for (const Case& c : {Case{"close", true}, Case{"click:关闭软件", false}}) {
    SCOPED_TRACE(c.ending);
    fs::remove(settingsPath());
    acceptDisclaimer();
    const std::string script =
        std::string("set:编辑框_小时=77;check:选择框_不要子目录=0;set:目录=") + runDir_ + "/mine;" + c.ending;
    ASSERT_EQ(RunProgram(script), 0);
    ASSERT_EQ(fs::exists(settingsPath()), c.saves);
    if (!c.saves) continue;
    const std::string settings = settingsText();
    EXPECT_NE(settings.find("编辑框_小时=77\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("目录=" + runDir_ + "/mine\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("选择框_不要子目录=假"), std::string::npos) << settings;
    // Every edit box of the window is in the file, the hidden width boxes included.
    for (const char* key : {"编辑框_时长1=", "编辑框_大小2=", "编辑框_宽度1=", "编辑框_宽度2=", "首网址=",
                            "编辑框1延时=", "编辑框_视频个数=", "编辑框_剩余空间="}) {
      EXPECT_NE(settings.find(key), std::string::npos) << key;
    }
  }
  // The next start shows the saved values: closing at once saves them unchanged.
  fs::remove(settingsPath());
  ASSERT_EQ(RunProgram("set:编辑框_小时=55;close"), 0);
  ASSERT_EQ(RunProgram("close"), 0);
  EXPECT_NE(settingsText().find("编辑框_小时=55\r\n"), std::string::npos);
}

TEST(Automation, StepsAreParsedInOrder) {
  const auto steps = ParseAutomation("click:按钮1;;set:目录=/a=b;check:x=1;close;");
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].verb, "click");
  EXPECT_EQ(steps[0].name, "按钮1");
  EXPECT_EQ(steps[1].name, "目录");
  EXPECT_EQ(steps[1].value, "/a=b");
  EXPECT_EQ(steps[2].value, "1");
  EXPECT_EQ(steps[3].verb, "close");
}

}  // namespace
}  // namespace pelvaro
