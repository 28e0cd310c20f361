// pelvaro-cli against a simulator whose video files stall, break, refuse and change: every run
// ends, and what it leaves on disk is the truth (complete files with markers, nothing else).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "e2e/cli_process.h"
#include "e2e/e2e_names.h"
#include "sim/video_content.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The flags of a run with every filter open and no pause between videos.
std::vector<std::string> Cli(std::vector<std::string> flags) {
  std::vector<std::string> arguments = {"--pause-ms", "0", "--hours", "100000", "--min-size", "0"};
  arguments.insert(arguments.end(), flags.begin(), flags.end());
  return arguments;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// What a run left: every video file must be some requested video's bytes, whole and from one
// version; there is one marker per file and no partial file.
struct Verdict {
  std::size_t files = 0;
  std::size_t markers = 0;
  std::size_t corrupt = 0;
  std::size_t partials = 0;
};

Verdict Judge(const SimProcess& sim) {
  std::set<std::uint64_t> keys;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    if (target.rfind("/video/", 0) != 0) continue;
    const auto slash = target.find('/', 7);
    keys.insert(sim::VideoContent::KeyFor(target.substr(7, slash - 7), target[slash + 1] - '0'));
  }
  Verdict verdict;
  const std::string videos = sim.runDir() + "/video";
  for (const auto& name : FilesBelow(videos)) {
    if (name.ends_with(".pelvaro-part")) {
      ++verdict.partials;
      continue;
    }
    ++verdict.files;
    const std::string content = ReadWholeFile(videos + "/" + name);
    bool whole = false;
    for (std::uint64_t key : keys) {
      if (content == sim::VideoContent::Bytes(key, 0, content.size())) whole = true;
    }
    if (!whole || content.empty()) ++verdict.corrupt;
  }
  verdict.markers = FilesBelow(sim.runDir() + "/pelvarolishi").size();
  return verdict;
}

// The run left `videos` whole files, each with its marker, and no partial file.
void ExpectWholeFiles(const SimProcess& sim, std::size_t videos) {
  const Verdict verdict = Judge(sim);
  EXPECT_EQ(verdict.files, videos);
  EXPECT_EQ(verdict.markers, videos);
  EXPECT_EQ(verdict.corrupt, 0u);
  EXPECT_EQ(verdict.partials, 0u);
}

// Longer than the runs' own --max-seconds 120.
constexpr std::chrono::seconds kRunGuard(130);

TEST(NetworkFaults, AStalledVideoFailsWithItsReasonAndTheNextOneCompletes) {
  // Every second video goes silent after 64 KiB with its connection left open.
  SimProcess sim({"--size-scale", "0.05", "--stall-after", "65536", "--stall-every", "2"});
  ASSERT_TRUE(sim.started());
  const auto started = Clock::now();
  CliRun run(sim.runDir(), Cli({"--max-videos", "3", "--max-seconds", "120"}));
  ASSERT_EQ(run.wait(kRunGuard), 0) << run.err();
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(130));
  const std::string out = run.out();
  EXPECT_NE(out.find("taken=3 "), std::string::npos) << out;
  EXPECT_NE(out.find("\nfailed_by_reason "), std::string::npos) << out;
  EXPECT_NE(out.find("秒没有收到数据="), std::string::npos) << out;
  EXPECT_NE(run.err().find("下载失败："), std::string::npos);
  ExpectWholeFiles(sim, 3);
}

TEST(NetworkFaults, TransientFaultsAreAskedAgainAndPersistentOnesFailCleanly) {
  struct Case {
    const char* name;
    std::vector<std::string> flags;
    const char* reason;  // of the failures, when some must fail
  } cases[] = {
      {"transient",
       {"--reset-after", "30000", "--reset-first", "2", "--busy-first", "1", "--retry-after", "0"},
       nullptr},
      {"persistent reset",
       {"--reset-after", "1000", "--reset-first", "1000", "--reset-every", "2"},
       "连接被重置"},
      {"changed file", {"--change-after", "1", "--change-every", "2"}, "服务器上的文件已改变"},
      // Overwritten in place under answers that started with the old ETag: only the look at
      // the version after the last byte tells.
      {"overwritten in place",
       {"--overwrite-after", "150000", "--overwrite-every", "2"},
       "服务器上的文件已改变"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> flags = {"--size-scale", "0.05"};
    flags.insert(flags.end(), c.flags.begin(), c.flags.end());
    SimProcess sim(flags);
    ASSERT_TRUE(sim.started());
    CliRun run(sim.runDir(), Cli({"--max-videos", "4", "--max-seconds", "120"}));
    ASSERT_EQ(run.wait(kRunGuard), 0) << run.err();
    const std::string out = run.out();
    EXPECT_NE(out.find("taken=4 "), std::string::npos) << out;
    if (c.reason == nullptr) {
      EXPECT_NE(out.find(" failed=0 "), std::string::npos) << out;
      EXPECT_NE(run.err().find("重试："), std::string::npos);
    } else {
      EXPECT_NE(out.find(std::string("failed_by_reason ") + c.reason + "="), std::string::npos) << out;
    }
    ExpectWholeFiles(sim, 4);
  }
}

// The partial files of a killed run go at the next run's start; one that another live copy
// holds locked stays, whatever its age, and so does every file that is not a partial file of
// ours, also one reached through a link planted where the collector writes.
TEST(NetworkFaults, LeftoversOfAKilledRunAreRemovedButNothingElse) {
  SimProcess sim({"--size-scale", "0.05", "--stall-after", "65536"});
  ASSERT_TRUE(sim.started());
  const std::string videos = sim.runDir() + "/video";
  {
    CliRun killed(sim.runDir(), Cli({"--max-seconds", "60"}));
    std::vector<std::string> partials;
    for (int i = 0; i < 3000 && partials.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (fs::exists(videos)) partials = FilesBelow(videos);
    }
    ASSERT_FALSE(partials.empty());
    killed.signal(SIGKILL);
    killed.wait();
  }
  const auto leftovers = FilesBelow(videos);
  ASSERT_FALSE(leftovers.empty()) << "kill -9 leaves its partial file behind";
  for (const auto& name : leftovers) EXPECT_TRUE(name.ends_with(".mp4.pelvaro-part")) << name;

  const std::string live = videos + "/.other copy.mp4.pelvaro-part";
  int fd = ::open(live.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  std::ofstream(videos + "/notes.part") << "not ours";
  std::ofstream(videos + "/holiday.mp4.part") << "the user's";
  fs::create_directories(videos + "/家庭");
  std::ofstream(videos + "/家庭/clip.mp4.part") << "the user's";
  const std::string downloads = sim.runDir() + "/Downloads";
  fs::create_directories(downloads);
  std::ofstream(downloads + "/.x.mp4.pelvaro-part") << "reached through a link";
  std::ofstream(downloads + "/y.mp4.part") << "reached through a link";
  fs::remove_all(videos + "/竖屏");
  fs::create_directory_symlink(downloads, videos + "/竖屏");

  CliRun next(sim.runDir(), Cli({"--max-seconds", "2"}));
  ASSERT_EQ(next.wait(), 0) << next.err();
  std::set<std::string> left;
  for (const auto& name : FilesBelow(videos)) left.insert(name);
  EXPECT_EQ(left, (std::set<std::string>{".other copy.mp4.pelvaro-part", "notes.part", "holiday.mp4.part",
                                         "家庭/clip.mp4.part"}));
  std::set<std::string> there;
  for (const auto& name : FilesBelow(downloads)) there.insert(name);
  EXPECT_EQ(there, (std::set<std::string>{".x.mp4.pelvaro-part", "y.mp4.part"}));
  ::close(fd);
}

TEST(NetworkFaults, AFullDiskFailsTheDownloadAtItsStart) {
  SimProcess sim({"--size-scale", "0.2"});
  ASSERT_TRUE(sim.started());
  const std::string videos = sim.runDir() + "/video";
  fs::create_directories(videos);
  // A private mount namespace keeps the tiny file system to this run.
  const std::string script = "mount -t tmpfs -o size=256k tmpfs '" + videos + "' && exec \"$@\"";
  // At the program's own pace the four seconds end before the crawl meets a video small enough
  // for the file system.
  std::vector<std::string> arguments = {"-m", "sh", "-c", script, "sh", PELVARO_CLI_PATH};
  for (const auto& a : Cli({"--max-seconds", "4", "--min-free-mb", "0"})) arguments.push_back(a);
  CliRun probe(sim.runDir(), {"-m", "sh", "-c", "mount -t tmpfs -o size=4k tmpfs /mnt"}, {}, "unshare");
  if (probe.wait() != 0) GTEST_SKIP() << "no private mount namespace here";
  CliRun run(sim.runDir(), arguments, {{"PELVARO_TEST_CRAWL_PAUSE_MS", std::nullopt}}, "unshare");
  ASSERT_EQ(run.wait(), 0) << run.err();
  EXPECT_NE(run.out().find("failed_by_reason 磁盘空间不足（需要 "), std::string::npos)
      << run.out() << run.err();
  EXPECT_EQ(Occurrences(run.out(), "taken=0 "), 1u);
  EXPECT_TRUE(FilesBelow(sim.runDir() + "/pelvarolishi").empty());
}

}  // namespace
}  // namespace pelvaro::e2e
