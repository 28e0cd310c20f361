#include "shell/bug_report.h"

#include <spawn.h>
#include <sys/wait.h>

#include "shell/app_identity.h"
#include "shell_test_support.h"
#include "support/sim_process.h"
#include "test_server.h"
#include "toolkit/encoding.h"

extern char** environ;

namespace pelvaro {
namespace {

using testing::ShellTest;
using testing::TestServer;

TEST(BugReportTextTest, TitleLosesEveryBlankAndTheBodyKeepsThem) {
  FatalReportFacts facts{"PC 01", Gbk("采集　器 x"), Gbk("/opt/my app"), "Debian GNU/Linux 12 (bookworm)"};
  EXPECT_EQ(GbkToUtf8(NoticeTitle(facts)), "电脑PC01发现bug，软件-采集器x版本号4.6");
  EXPECT_EQ(
      GbkToUtf8(NoticeBody(facts, 5, Gbk("下标 越界"))),
      "所属软件：采集　器 x\r\n    软件运行路径：/opt/my app\r\n   操作系统：Debian GNU/Linux 12 (bookworm)"
      "\r\n   软件错误代码：5\r\n   错误信息：下标 越界     Tormel软件 错误信息和bug通知系统。\r\n");
  EXPECT_EQ(GbkToUtf8(FatalErrorMessage(-3, "x")),
            "软件发生致命错误，已经上报开发人员加紧修复bug\r\n   软件错误代码：-3\r\n   错误信息：x");
  EXPECT_EQ(GbkToUtf8(FatalErrorTitle()), "Tormel软件bug提示");
}

TEST(BugReportTextTest, HostAndSystemNames) {
  EXPECT_EQ(ReportHostName("fifteen-chars15"), "fifteen-chars15");
  EXPECT_EQ(ReportHostName("sixteen-chars-16"), "");
  EXPECT_EQ(
      GbkToUtf8(OperatingSystemNameFrom("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")),
      "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(OperatingSystemNameFrom("PRETTY_NAME='Say \\\"hi\\\"'\r\n"), "Say \"hi\"");
  EXPECT_EQ(OperatingSystemNameFrom("NAME=x\n"), "Linux");
  EXPECT_FALSE(OperatingSystemName().empty());
}

TEST_F(ShellTest, NoticeRequestReachesTheServiceByteForByte) {
  testing::SimProcess sim({"--articles", "50"}, runDir_);
  ASSERT_TRUE(sim.started());
  Text title = Gbk("电脑PC01发现bug");
  Text body = Gbk("所属软件：a\r\n   错误信息：x y");
  EXPECT_EQ(SendVendorNotice(Text(kVendorNoticeAddressee), title, body), "ok");
  auto requests = sim.journal("vendor_api");
  ASSERT_EQ(requests.size(), 2u);  // the request, then the notice it recorded
  EXPECT_EQ(requests[0]["target"], "/tongzhi?mubiao=bugs@tormel.example&title=" + PercentEncode(title) +
                                       "&body=" + PercentEncode(body) + "&sa=1");
  // Every byte is encoded: the character 错 as %B4%ED, an ASCII letter a as %61.
  EXPECT_NE(requests[0]["target"].get<std::string>().find("%B4%ED%CE%F3"), std::string::npos);
  EXPECT_NE(requests[0]["target"].get<std::string>().find("%61%0D%0A"), std::string::npos);
  int signLines = 0;
  for (const auto& line : requests[0]["headers"]) {
    // The request function writes header names capitalised: the line arrives as "Sign:...".
    std::string text = line.get<std::string>();
    if (!text.starts_with("Sign:")) continue;
    ++signLines;
    EXPECT_EQ("sign:" + text.substr(5), SignLineFor(text.substr(text.find('@') + 1)));
  }
  EXPECT_EQ(signLines, 1);
  EXPECT_EQ(requests[1]["event"], "notice");
  EXPECT_EQ(requests[1]["title"], GbkToUtf8(title));
  EXPECT_EQ(requests[1]["body"], GbkToUtf8(body));
}

class FatalHandlerTest : public ShellTest {
 protected:
  // Runs the probe and returns its exit status (-1 when it did not exit normally).
  int runProbe(const char* how) {
    std::string messageFile = root_ + "/message";
    setenv("PROBE_MESSAGE_FILE", messageFile.c_str(), 1);
    setenv("PROBE_NOTICE_FLAG", (root_ + "/notice-arrived").c_str(), 1);
    // The probe's own crash must reach its handler, not the sanitizer's report.
    setenv("ASAN_OPTIONS", "handle_segv=0:handle_sigfpe=0:handle_abort=0:detect_leaks=0", 1);
    const char* path = PELVARO_FATAL_PROBE;
    char* argv[] = {const_cast<char*>(path), const_cast<char*>(how), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path, nullptr, nullptr, argv, environ) != 0) return -2;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(FatalHandlerTest, CrashesAreShownThenReportedAndEndWithStatus255) {
  struct Case {
    const char* how;
    const char* code;
    const char* text;
  };
  const Case cases[] = {
      {"signal", "11", "内存访问越界（SIGSEGV）"},
      {"fpe", "8", "算术运算错误，例如除以零（SIGFPE）"},
      {"throw", "1", "未处理的异常：index out of range"},
      {"thread-throw", "1", "未处理的异常：worker failed"},
  };
  for (const auto& c : cases) {
    TestServer vendor;
    std::string flag = root_ + "/notice-arrived";
    std::filesystem::remove(flag);
    vendor.Get("/tongzhi", [flag](const httplib::Request&, httplib::Response& response) {
      Write(flag, "");
      response.set_content("ok", "text/plain");
    });
    vendor.Start();
    setenv("PELVARO_VENDOR_API_HOST", vendor.address().c_str(), 1);

    EXPECT_EQ(runProbe(c.how), 255) << c.how;
    std::string shown = GbkToUtf8(Read(root_ + "/message"));
    EXPECT_EQ(
        shown,
        std::string("Tormel软件bug提示\n软件发生致命错误，已经上报开发人员加紧修复bug\r\n   软件错误代码：") +
            c.code + "\r\n   错误信息：" + c.text + "\nmessage-first")
        << c.how;
    auto seen = vendor.seen();
    ASSERT_EQ(seen.size(), 1u) << c.how;
    Text body = Gbk("\r\n   软件错误代码：") + c.code + Gbk("\r\n   错误信息：") + Gbk(c.text);
    EXPECT_NE(seen[0].target.find(PercentEncode(body)), std::string::npos) << c.how;
    EXPECT_NE(seen[0].target.find("&title=" + PercentEncode(Gbk("电脑"))), std::string::npos);
    EXPECT_TRUE(seen[0].target.ends_with("&sa=1"));
  }
}

TEST_F(FatalHandlerTest, WithoutNetworkTheMessageIsShownAndTheProgramEnds) {
  setenv("PELVARO_VENDOR_API_HOST", testing::ClosedAddress().c_str(), 1);
  EXPECT_EQ(runProbe("throw"), 255);
  EXPECT_NE(GbkToUtf8(Read(root_ + "/message")).find("index out of range"), std::string::npos);
}

TEST(FatalReportInvocationTest, OrdinaryArgumentsAreNoReport) {
  char program[] = "x";
  char other[] = "--other";
  char* argv[] = {program, other, other, other, nullptr};
  EXPECT_FALSE(RunFatalReportIfRequested(4, argv, nullptr).has_value());
  EXPECT_FALSE(RunFatalReportIfRequested(1, argv, nullptr).has_value());
}

}  // namespace
}  // namespace pelvaro
