// pelvaro-cli as a user runs it: flags, the summary line, exit codes, and a second run that
// takes nothing the first one took.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/sim_process.h"

extern char** environ;

namespace pelvaro::e2e {

using testing::FilesBelow;
using testing::SimProcess;
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// pelvaro-cli as a child process with its output in files.
class CliRun {
 public:
  CliRun(const std::string& folder, std::vector<std::string> flags)
      : out_(folder + "/cli.out"), err_(folder + "/cli.err") {
    std::vector<std::string> arguments = {PELVARO_CLI_PATH};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~CliRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      wait();
    }
  }

  int wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void interrupt() { kill(pid_, SIGINT); }
  std::string out() const { return ReadFile(out_); }
  std::string err() const { return ReadFile(err_); }

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
};

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

TEST(Cli, BadFlagsExitWithTwoAndAMessage) {
  const std::string folder = fs::temp_directory_path();
  const std::vector<std::vector<std::string>> cases = {
      {"--hours", "many"}, {"--max-videos", "0"},    {"--bogus"},
      {"--output"},        {"--category-folders=1"}, {"--pause-ms", "10x"}};
  for (const auto& flags : cases) {
    CliRun run(folder, flags);
    EXPECT_EQ(run.wait(), 2) << flags[0];
    EXPECT_NE(run.err().find("pelvaro-cli: "), std::string::npos) << flags[0];
    EXPECT_EQ(run.out(), "") << flags[0];
  }
  CliRun help(folder, {"--help"});
  EXPECT_EQ(help.wait(), 0);
  EXPECT_NE(help.out().find("--max-videos N"), std::string::npos);
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

}  // namespace
}  // namespace pelvaro::e2e
