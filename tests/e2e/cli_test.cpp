// pelvaro-cli as a user runs it: flags, the summary line, exit codes, and a second run that
// takes nothing the first one took.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "e2e/cli_process.h"
#include "support/sim_process.h"


namespace pelvaro::e2e {

using testing::FilesBelow;
using testing::SimProcess;
namespace {

namespace fs = std::filesystem;

const std::regex kSummary(
    R"(^summary taken=(\d+) present=(\d+) rejected=(\d+) failed=(\d+) bytes=(\d+) seconds=[0-9.]+ )"
    R"(reject_category=(\d+) reject_date=(\d+) reject_duration=(\d+) reject_size=(\d+)\n$)");

std::set<std::string> VideoDocids(const SimProcess& sim) {
  std::set<std::string> docids;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    if (target.rfind("/video/", 0) == 0) docids.insert(target.substr(7, target.find('/', 7) - 7));
  }
  return docids;
}

TEST(Cli, BadFlagsExitWithTwoAndAMessageNamingThem) {
  const std::string folder = fs::temp_directory_path();
  struct Case {
    std::vector<std::string> flags;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--hours", "many"}, "--hours needs a whole number from 0 to 1000000 (hours), not 'many'"},
      {{"--max-videos", "0"}, "--max-videos must be from 1 to"},
      {{"--max-seconds", "9999999999"}, "--max-seconds must be from 1 to 315360000 (seconds)"},
      {{"--max-seconds", "99999999999999999999999"}, "--max-seconds must be from 1"},
      {{"--min-size=-1"}, "--min-size must be from 0"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--max-videos", "2", "positional"}, "unexpected argument 'positional'"},
      {{"--output"}, "--output needs a value"},
      {{"--category-folders=1"}, "--category-folders takes no value"},
      {{"--pause-ms", "10x"}, "--pause-ms needs a whole number"},
      {{"--contribute"}, "--contribute needs --seed-link"},
  };
  for (const auto& c : cases) {
    CliRun run(folder, c.flags);
    EXPECT_EQ(run.wait(), 2) << c.flags[0];
    EXPECT_NE(run.err().find("pelvaro-cli: " + c.message), std::string::npos) << run.err();
    EXPECT_EQ(run.out(), "") << c.flags[0];
  }
  CliRun help(folder, {"--help"});
  EXPECT_EQ(help.wait(), 0);
  // Every flag is listed, with its unit or default.
  for (const char* flag : {"--category NAME", "--seed-link URL", "--hours N", "--max-videos N", "--max-seconds N",
                           "--log", "--contribute", "--category-folders", "--min-free-mb N"}) {
    EXPECT_NE(help.out().find(flag), std::string::npos) << flag;
  }
}

TEST(Cli, TakesTheAskedNumberOfVideosAndASecondRunTakesNoneOfThemAgain) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  const std::vector<std::string> flags = {"--max-videos", "4", "--pause-ms",        "0", "--hours", "100000",
                                          "--min-size",   "0", "--category-folders"};
  std::smatch match;
  std::string out;
  {
    CliRun first(sim.runDir(), flags);
    ASSERT_EQ(first.wait(), 0) << first.err();
    out = first.out();
    ASSERT_TRUE(std::regex_match(out, match, kSummary)) << out;
    EXPECT_EQ(match[1], "4");
    EXPECT_NE(first.err().find("读取到数据："), std::string::npos);
  }
  std::vector<std::string> videos;
  for (const auto& file : FilesBelow(sim.runDir() + "/video")) videos.push_back(file);
  EXPECT_EQ(videos.size(), 4u);
  for (const auto& file : videos) EXPECT_NE(file.find('/'), std::string::npos) << "category folder: " << file;
  EXPECT_EQ(FilesBelow(sim.runDir() + "/pelvarolishi").size(), 4u);
  long long bytes = 0;
  for (const auto& file : videos)
    bytes += static_cast<long long>(fs::file_size(sim.runDir() + "/video/" + file));
  EXPECT_EQ(match[5], std::to_string(bytes));
  const auto firstDocids = VideoDocids(sim);

  CliRun second(sim.runDir(), flags);
  ASSERT_EQ(second.wait(), 0) << second.err();
  out = second.out();
  ASSERT_TRUE(std::regex_match(out, match, kSummary)) << out;
  EXPECT_EQ(match[1], "4");
  // Nothing of the first run was fetched again.
  const auto allDocids = VideoDocids(sim);
  EXPECT_EQ(allDocids.size(), firstDocids.size() + 4);
  EXPECT_EQ(FilesBelow(sim.runDir() + "/video").size(), 8u);
}

TEST(Cli, CtrlCStopsAtOnceWith130) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  CliRun run(sim.runDir(), {"--hours", "0"});
  // Interrupts the crawl in the middle of its first pass.
  for (int i = 0; i < 6000 && run.err().find("日期不符") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  run.interrupt();
  EXPECT_EQ(run.wait(), 130);
  std::smatch match;
  const std::string out = run.out();
  ASSERT_TRUE(std::regex_match(out, match, kSummary)) << out;
  EXPECT_EQ(match[1], "0");
  EXPECT_NE(match[7], "0");  // every video is too old
  EXPECT_EQ(match[3], match[7]);
}

// Mistakes that only the answers reveal are said, and the run goes on as asked.
TEST(Cli, AnUnknownCategoryAndASeedLinkWithoutAnswersAreSaid) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  CliRun typo(sim.runDir(), {"--category", "汽 车", "--max-seconds", "2"});
  EXPECT_EQ(typo.wait(), 0);
  const std::string err = typo.err();
  EXPECT_NE(err.find("pelvaro-cli: warning: --category '汽 车' is not in the category list"), std::string::npos) << err;
  EXPECT_NE(err.find("known categories: "), std::string::npos) << err;
  EXPECT_NE(err.find("汽车"), std::string::npos) << err;

  CliRun known(sim.runDir(), {"--category", "汽车", "--max-seconds", "1"});
  EXPECT_EQ(known.wait(), 0);
  EXPECT_EQ(known.err().find("warning"), std::string::npos) << known.err();

  CliRun empty(sim.runDir(), {"--contribute", "--seed-link", "https://example.invalid/article/V_none?x=1",
                              "--max-seconds", "2"});
  EXPECT_EQ(empty.wait(), 0);
  EXPECT_NE(empty.err().find("the seed link gave no related videos"), std::string::npos) << empty.err();
}

}  // namespace
}  // namespace pelvaro::e2e
