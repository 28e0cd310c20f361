#include "shell/run_log.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "shell/date_time_text.h"
#include "shell_test_support.h"

namespace pelvaro {
namespace {

using testing::ShellTest;

TEST(DateTimeTextTest, KeepsTheShortestFormWithEveryNonZeroPart) {
  struct Case {
    LocalDateTime value;
    const char* expected;
  };
  const Case cases[] = {
      {{2026, 12, 8, 12, 5, 3}, "2026年12月8日12时5分3秒"}, {{2026, 12, 8, 12, 5, 0}, "2026年12月8日12时5分"},
      {{2026, 12, 8, 12, 0, 0}, "2026年12月8日12时"},       {{2026, 12, 8, 0, 0, 0}, "2026年12月8日"},
      {{2026, 1, 2, 0, 0, 7}, "2026年1月2日0时0分7秒"},     {{2026, 1, 2, 0, 5, 0}, "2026年1月2日0时5分"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GbkToUtf8(DateTimeText(c.value)), c.expected);
    EXPECT_EQ(ParseDateTimeText(DateTimeText(c.value)), c.value) << c.expected;
  }
}

TEST(DateTimeTextTest, ReadsNumericFormsAndRefusesImpossibleDates) {
  EXPECT_EQ(ParseDateTimeText("2026-12-08 12:05:03"), (LocalDateTime{2026, 12, 8, 12, 5, 3}));
  EXPECT_EQ(ParseDateTimeText("2024/2/29"), (LocalDateTime{2024, 2, 29, 0, 0, 0}));
  for (const char* bad : {"", "abc", "2026年2月30日", "2025-02-29", "2026-12-08 24:00:00", "2026-12-08x"}) {
    EXPECT_FALSE(ParseDateTimeText(Gbk(bad)).has_value()) << bad;
  }
}

class RunLogTest : public ShellTest {
 protected:
  std::string dataFolder() const { return runDir_ + "/data"; }
  std::string fileFor(const char* date) const { return dataFolder() + "/运行日志" + date + ".txt"; }
};

TEST_F(RunLogTest, NewestLineFirstInTheDaysFile) {
  std::filesystem::create_directories(dataFolder());
  const Path folder(dataFolder());
  RunLog::writeAt(folder, {2026, 12, 8, 12, 5, 3}, Gbk("启动窗口线程"));
  RunLog::writeAt(folder, {2026, 12, 8, 12, 5, 4}, Gbk("显示版本号4.6"));
  RunLog::writeAt(folder, {2026, 12, 8, 12, 5, 9}, Gbk("版本检查结果1是最新版：1"));
  EXPECT_EQ(GbkToUtf8(Read(fileFor("2026年12月8日"))),
            "2026年12月8日12时5分9秒   版本检查结果1是最新版：1\r\n"
            "2026年12月8日12时5分4秒   显示版本号4.6\r\n"
            "2026年12月8日12时5分3秒   启动窗口线程\r\n");
}

TEST_F(RunLogTest, MessagesAreWrittenAsTheyAre) {
  std::filesystem::create_directories(dataFolder());
  const Path folder(dataFolder());
  RunLog::writeAt(folder, {2026, 12, 8, 9, 0, 0}, "");
  RunLog::writeAt(folder, {2026, 12, 8, 9, 0, 0}, "a\r\nb");
  // Same stamp: the later line stands above the earlier one.
  EXPECT_EQ(GbkToUtf8(Read(fileFor("2026年12月8日"))),
            "2026年12月8日9时   a\r\nb\r\n2026年12月8日9时   \r\n");
}

TEST_F(RunLogTest, MidnightStartsTheNextDaysFile) {
  std::filesystem::create_directories(dataFolder());
  const Path folder(dataFolder());
  RunLog::writeAt(folder, {2026, 12, 8, 23, 59, 59}, "late");
  RunLog::writeAt(folder, {2026, 12, 9, 0, 0, 0}, "early");
  EXPECT_EQ(GbkToUtf8(Read(fileFor("2026年12月8日"))), "2026年12月8日23时59分59秒   late\r\n");
  EXPECT_EQ(GbkToUtf8(Read(fileFor("2026年12月9日"))), "2026年12月9日   early\r\n");
}

TEST_F(RunLogTest, MissingDataFolderLosesTheLineAndCreatesNothing) {
  RunLog::write(Gbk("启动窗口创建完毕"));
  EXPECT_FALSE(std::filesystem::exists(dataFolder()));
  EXPECT_TRUE(std::filesystem::is_empty(runDir_));
}

TEST_F(RunLogTest, WriteUsesTodaysFileUnderTheRunDir) {
  std::filesystem::create_directories(dataFolder());
  const LocalDateTime before = LocalNow();
  RunLog::write("x");
  const LocalDateTime after = LocalNow();
  // A write straddling midnight lands in the file of either day; it always lands somewhere.
  const auto first = GbkToUtf8(RunLog::fileName(before));
  const auto second = GbkToUtf8(RunLog::fileName(after));
  std::string content = Read(dataFolder() + "/" + first);
  if (content.empty() && second != first) content = Read(dataFolder() + "/" + second);
  EXPECT_TRUE(content.ends_with("   x\r\n")) << content;
  EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 1);
  EXPECT_TRUE(first.starts_with("运行日志") && first.ends_with("日.txt"));
}

TEST_F(RunLogTest, ConcurrentWritersNeverInterleaveOrLoseLines) {
  std::filesystem::create_directories(dataFolder());
  const Path folder(dataFolder());
  auto writer = [&](const char* tag) {
    for (int i = 0; i < 40; ++i) RunLog::writeAt(folder, {2026, 12, 8, 1, 2, 3}, tag + std::to_string(i));
  };
  std::thread a(writer, "a");
  std::thread b(writer, "b");
  a.join();
  b.join();
  std::string content = Read(fileFor("2026年12月8日"));
  int lines = 0;
  std::size_t start = 0;
  Text stamp = DateTimeText({2026, 12, 8, 1, 2, 3}) + "   ";
  while (start < content.size()) {
    auto end = content.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(content.compare(start, stamp.size(), stamp), 0);
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, 80);
  // Newest first within one writer.
  EXPECT_LT(content.find("a39"), content.find("a38"));
}

}  // namespace
}  // namespace pelvaro
