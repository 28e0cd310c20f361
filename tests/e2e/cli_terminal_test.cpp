// pelvaro-cli on a terminal: a line per video, one status line redrawn in place, the summary on
// a line of its own, and nothing from a hostile server that acts on the terminal.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/cli/terminal_text.h"
#include "e2e/cli_process.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {

using testing::SimProcess;
namespace {

using cli::DisplayWidth;
using cli::FitWidth;
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
  const std::regex taken(R"(^ +\d+  V_\w+  任务完成  .+  \d+\.\d MB  \d+\.\d s  \d+\.\d\d MB/s$)");
  int takenLines = 0, summaries = 0;
  for (const auto& line : ScreenLines(run.screen)) {
    if (std::regex_match(line, taken)) ++takenLines;
    if (line.starts_with("summary taken=3 ")) ++summaries;
    // The log box's lines stay off the screen, and no status line is left glued to another.
    EXPECT_EQ(line.find("读取到数据"), std::string::npos) << line;
    EXPECT_FALSE(line.find("summary") != std::string::npos && !line.starts_with("summary")) << line;
    EXPECT_FALSE(line.starts_with("pass ")) << line;
  }
  EXPECT_EQ(takenLines, 3) << run.screen;
  EXPECT_EQ(summaries, 1) << run.screen;
  // The status line was shown while the crawl ran.
  EXPECT_NE(run.screen.find("| taken 1 |"), std::string::npos);
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
  EXPECT_EQ(DisplayWidth("ab标题"), 6u);
  EXPECT_EQ(FitWidth("ab标题", 5), "ab标");
  EXPECT_EQ(FitWidth("ab标题", 3), "ab");
  EXPECT_EQ(FitWidth("abc", 10), "abc");
}

}  // namespace
}  // namespace pelvaro::e2e
