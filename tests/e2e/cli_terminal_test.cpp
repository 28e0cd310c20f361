// pelvaro-cli on a terminal: a line per video, one status line redrawn in place, the summary on
// a line of its own, and nothing from a hostile server that acts on the terminal.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/cli/status_line.h"
#include "app/cli/terminal_text.h"
#include "e2e/cli_process.h"
#include "e2e/e2e_names.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

using cli::CrawlStatus;
using cli::DisplayWidth;
using cli::FitWidth;
using cli::StatusLine;
using cli::StripControls;

// The lines a person sees at the end: carriage return and erase-line act as on a terminal.
std::vector<std::string> ScreenLines(const std::string& raw) {
  std::vector<std::string> lines;
  std::string current;
  std::size_t column = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw.compare(i, 3, "\033[K") == 0) {
      current.resize(column);
      i += 2;
    } else if (raw[i] == '\r') {
      column = 0;
    } else if (raw[i] == '\n') {
      lines.push_back(current);
      current.clear();
      column = 0;
    } else {
      if (column < current.size()) {
        current[column] = raw[i];
      } else {
        current += raw[i];
      }
      ++column;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

TEST(CliTerminal, OneLinePerVideoAndTheSummaryOnALineOfItsOwn) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  const TerminalRun run = RunOnTerminal({"--max-videos", "3", "--hours", "100000", "--min-size", "0", "--pause-ms", "0"});
  ASSERT_EQ(run.status, 0) << run.screen;
  const std::regex taken(R"(^ *\d+  V_\w+  任务完成  .+  \d+\.\d MB  \d+\.\d s  \d+\.\d\d MB/s$)");
  int takenLines = 0, summaries = 0;
  for (const auto& line : ScreenLines(run.screen)) {
    if (std::regex_match(line, taken)) ++takenLines;
    if (line.starts_with("summary taken=3 ")) ++summaries;
    // The log box's lines stay off the screen, and no status line is left glued to another.
    EXPECT_EQ(line.find("读取到数据"), std::string::npos) << line;
    EXPECT_FALSE(line.find("summary") != std::string::npos && !line.starts_with("summary")) << line;
    EXPECT_FALSE(line.starts_with("第")) << line;
  }
  EXPECT_EQ(takenLines, 3) << run.screen;
  EXPECT_EQ(summaries, 1) << run.screen;
  // The status line was shown while the crawl ran, and the summary is said in words too.
  EXPECT_NE(run.screen.find("| 已采集 1 |"), std::string::npos);
  EXPECT_NE(run.screen.find("本次采集 3 个视频"), std::string::npos);
}

// Every piece of text between carriage returns, line ends and erase-line sequences.
std::vector<std::string> Pieces(const std::string& raw) {
  std::vector<std::string> pieces;
  std::string piece;
  for (std::size_t i = 0; i <= raw.size(); ++i) {
    if (i == raw.size() || raw[i] == '\r' || raw[i] == '\n' || raw.compare(i, 3, "\033[K") == 0) {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
      if (i < raw.size() && raw[i] == '\033') i += 2;
    } else {
      piece += raw[i];
    }
  }
  return pieces;
}

// Downloads slow enough that the status line shows their progress.
const std::vector<std::string> kSlowVideos = {"--size-scale", "0.03", "--rate-limit", "300000"};

// At 40 and 80 columns every line fits and the status line shows the download's progress; Ctrl-C
// then clears it, and the summaries stand on lines of their own.
TEST(CliTerminal, LinesFitFortyAndEightyColumnsAndCtrlCLeavesOnlyTheSummaries) {
  SimProcess sim(kSlowVideos);
  ASSERT_TRUE(sim.started());
  for (const int columns : {40, 80}) {
    SCOPED_TRACE(columns);
    const TerminalRun run = RunOnTerminal({"--hours", "100000", "--min-size", "0", "--pause-ms", "0"},
                                          columns, std::chrono::seconds(60), Typed{"%", "\x03"});
    ASSERT_EQ(run.status, 130) << run.screen;
    int progress = 0;
    for (std::string piece : Pieces(run.screen)) {
      // The summaries come once, at the end, and may wrap; "^C" is the terminal's own echo.
      if (piece.starts_with("summary ") || piece.starts_with("本次采集")) continue;
      if (const auto echo = piece.find("^C"); echo != std::string::npos) piece.erase(echo, 2);
      EXPECT_LE(DisplayWidth(piece), static_cast<std::size_t>(columns - 1)) << piece;
      if (piece.find("已采集 ") != std::string::npos && piece.find('%') != std::string::npos) ++progress;
    }
    EXPECT_GT(progress, 0) << run.screen;
    const std::vector<std::string> lines = ScreenLines(run.screen);
    for (const auto& line : lines) {
      EXPECT_EQ(line.find("^C"), std::string::npos) << line;
      EXPECT_EQ(line.find("已采集 "), std::string::npos) << line;
    }
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines[lines.size() - 2].starts_with("本次采集 ") ||
                lines[lines.size() - 3].starts_with("本次采集 "))
        << run.screen;
    EXPECT_TRUE(lines.back().starts_with("summary taken=") || lines.back().starts_with("failed_by_reason "))
        << run.screen;
  }
}

// What matters most stays at every width: the reason the platform gives nothing with its host,
// the download's percentage, the videos taken.
TEST(CliTerminal, TheStatusLineKeepsWhatMattersAtEveryWidth) {
  CrawlStatus busy;
  busy.pass = 12345;
  busy.entry = 49;
  busy.entries = 50;
  busy.taken = 123456;
  busy.present = 9876543;
  busy.rejected = 7654321;
  busy.failed = 4321;
  busy.percent = 45.5;
  CrawlStatus unanswered;
  unanswered.pass = 3;
  unanswered.unansweredHost = "127.0.0.1:47801";
  unanswered.unansweredReason = "连接被拒绝";
  for (std::size_t columns = 39; columns <= 200; ++columns) {
    const std::string line = StatusLine(busy, columns);
    EXPECT_LE(DisplayWidth(line), columns) << line;
    EXPECT_NE(line.find("45.5%"), std::string::npos) << columns << " " << line;
    EXPECT_NE(line.find("已采集 123456"), std::string::npos) << columns << " " << line;
    const std::string reason = StatusLine(unanswered, columns);
    EXPECT_LE(DisplayWidth(reason), columns) << reason;
    EXPECT_NE(reason.find("127.0.0.1:47801：连接被拒绝"), std::string::npos) << columns << " " << reason;
  }
  EXPECT_NE(StatusLine(busy, 200).find(
                "第12345轮 49/50 | 已采集 123456 | 已存在 9876543 | 不符 7654321 | 失败 4321 | "
                "[#####.....] 45.5%"),
            std::string::npos);
}

TEST(CliTerminal, ControlCharactersFromAHostileServerNeverReachTheTerminal) {
  SimProcess sim({"--hostile", "--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  // Every video is rejected and shown with its title; a few seconds cover many hostile ones.
  for (const auto& flags : {std::vector<std::string>{"--hours", "0", "--max-seconds", "8"},
                            std::vector<std::string>{"--hours", "0", "--max-seconds", "4", "--log"}}) {
    const TerminalRun run = RunOnTerminal(flags);
    ASSERT_EQ(run.status, 0) << run.screen;
    std::string rest = std::regex_replace(run.screen, std::regex("\r\033\\[K"), "");
    // The hostile title with its escape sequences shows as plain text.
    if (flags.back() != "--log") {
      EXPECT_NE(rest.find("控制[2J]0;窗口字符"), std::string::npos);
    }
    for (const unsigned char c : rest) {
      EXPECT_TRUE(c >= 0x20 || c == '\r' || c == '\n') << "control byte " << int(c) << " in " << rest;
      EXPECT_NE(c, 0x7F);
      if (c < 0x20 && c != '\r' && c != '\n') break;
    }
  }
}

TEST(CliTerminal, TextIsStrippedAndCutByCharacterAndColumn) {
  struct Case {
    std::string in, out;
  };
  for (const Case& c : {Case{"plain", "plain"}, Case{"a\x1b[2Jb", "a[2Jb"}, Case{"t\x1b]0;x\x07y", "t]0;xy"},
                        Case{"tab\there", "tab here"}, Case{"c1\xc2\x9b" "31m", "c131m"},
                        Case{"del\x7f", "del"}, Case{"bad\xff\xfeutf8\xe4\xb8", "badutf8"},
                        Case{"标题\x01\x02\x1f字符", "标题字符"}}) {
    EXPECT_EQ(StripControls(c.in), c.out) << c.in;
  }
  EXPECT_EQ(StripControls("a\x1b" "b\xc2\x9b" "c\td\x7f", Controls::Blanked), "a b c d ");
  EXPECT_EQ(DisplayWidth("ab标题"), 6u);
  EXPECT_EQ(FitWidth("ab标题", 5), "ab标");
  EXPECT_EQ(FitWidth("ab标题", 3), "ab");
  EXPECT_EQ(FitWidth("abc", 10), "abc");
  EXPECT_EQ(cli::Ellipsize("ab标题", 5), "ab标…");
  EXPECT_EQ(cli::Ellipsize("ab标题", 6), "ab标题");
}

}  // namespace
}  // namespace pelvaro::e2e
