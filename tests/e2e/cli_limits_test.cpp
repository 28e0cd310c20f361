// pelvaro-cli at its ends: a limit with a slow download under way, a signal in every phase of a
// run, the report of the last video taken, and the data folder of an installed program.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "collector/collection_service.h"
#include "collector/platform_api.h"
#include "e2e/cli_process.h"
#include "e2e/e2e_names.h"
#include "platform/text.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

const std::vector<std::string> kTakeAll = {"--hours", "100000", "--min-size", "0", "--max-size", "100000"};

std::vector<std::string> With(std::vector<std::string> flags) {
  flags.insert(flags.end(), kTakeAll.begin(), kTakeAll.end());
  return flags;
}

std::vector<std::string> PartialFiles(const std::string& folder) {
  std::vector<std::string> parts;
  for (const auto& file : FilesBelow(folder)) {
    if (file.ends_with(".pelvaro-part")) parts.push_back(file);
  }
  return parts;
}

std::size_t Count(const std::string& folder) { return fs::exists(folder) ? FilesBelow(folder).size() : 0; }

// Nothing half-done is left: no partial file, and no more markers than videos.
void ExpectNothingHalfDone(const std::string& runDir, const std::string& what) {
  EXPECT_EQ(PartialFiles(runDir), std::vector<std::string>()) << what;
  EXPECT_LE(Count(runDir + "/pelvarolishi"), Count(runDir + "/video")) << what;
}

TEST(CliLimits, ALimitWithASlowDownloadUnderWayEndsWithinSecondsAndLeavesNoPartialFile) {
  SimProcess sim({"--rate-limit", "200000"});
  ASSERT_TRUE(sim.started());
  CliRun run(sim.runDir(), With({"--max-seconds", "3", "--pause-ms", "0"}));
  // The limit comes after 3 s, the grace lasts 5 s; 15 s is the promise to the user.
  EXPECT_EQ(run.wait(std::chrono::seconds(15)), 0) << run.err();
  EXPECT_NE(run.err().find("waiting up to 5 s for the download under way"), std::string::npos) << run.err();
  EXPECT_NE(run.err().find("removed its partial file"), std::string::npos) << run.err();
  EXPECT_TRUE(run.out().starts_with("summary taken=")) << run.out();
  ExpectNothingHalfDone(sim.runDir(), "limit");
}

TEST(CliLimits, TheLastVideoTakenUnderMaxVideosIsReportedToTheService) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  // A long pause after each download: the crawl itself would report only after it.
  CliRun run(sim.runDir(), With({"--max-videos", "1", "--pause-ms", "600000"}));
  ASSERT_EQ(run.wait(std::chrono::seconds(60)), 0) << run.err();
  std::set<std::string> downloaded, reported;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    if (target.rfind("/video/", 0) == 0) downloaded.insert(target.substr(7, target.find('/', 7) - 7));
  }
  const std::regex report(R"(&id=([^&]+)&)");
  for (const auto& r : sim.requests("vendor_api")) {
    const std::string target = r.value("target", "");
    std::smatch match;
    if (std::regex_search(target, match, report)) reported.insert(match[1]);
  }
  ASSERT_EQ(downloaded.size(), 1u);
  for (const auto& docid : downloaded) EXPECT_EQ(reported.count(docid), 1u) << docid;
}

TEST(CliLimits, ASignalEndsEveryPhaseAtOnceWithItsStatus) {
  struct Phase {
    const char* name;
    std::vector<std::string> simFlags;
    std::vector<std::string> flags;
    std::string waitFor;  // on stderr, before the signal
    int signal;
    int status;
  };
  const std::vector<std::string> small = {"--size-scale", "0.01"};
  const std::vector<Phase> phases = {
      {"crawl", small, {"--hours", "0"}, "日期不符", SIGINT, 130},
      {"crawl, SIGTERM", small, {"--hours", "0"}, "日期不符", SIGTERM, 143},
      {"pause after a download", small, With({"--pause-ms", "600000"}), "任务完成", SIGINT, 130},
      {"storage guard", small, With({"--max-files", "0", "--pause-ms", "0"}), "成品文件夹视频数量超过上限", SIGINT,
       130},
      {"download under way", {"--rate-limit", "100000"}, With({"--pause-ms", "0"}), "\n1\n", SIGINT, 130},
      {"final wait", {"--rate-limit", "100000"}, With({"--max-seconds", "2"}), "waiting up to", SIGINT, 130},
      {"final wait, SIGTERM", {"--rate-limit", "100000"}, With({"--max-seconds", "2"}), "waiting up to", SIGTERM,
       143},
      {"contribute", small, {"--contribute"}, "reported ", SIGINT, 130},
      {"contribute, SIGTERM", small, {"--contribute"}, "reported ", SIGTERM, 143},
  };
  for (const auto& phase : phases) {
    SimProcess sim(phase.simFlags);
    ASSERT_TRUE(sim.started()) << phase.name;
    std::vector<std::string> flags = phase.flags;
    if (flags[0] == "--contribute") {
      const Text seed = QueryCollectionService(Gbk("所有类目"));
      ASSERT_FALSE(seed.empty());
      flags.push_back("--seed-link");
      flags.push_back(ArticleLink(seed));
    }
    CliRun run(sim.runDir(), flags);
    ASSERT_TRUE(run.waitForErr(phase.waitFor)) << phase.name << "\n" << run.err();
    run.signal(phase.signal);
    // At once: well before any pause, guard wait or download of the phase would have ended.
    EXPECT_EQ(run.wait(std::chrono::seconds(10)), phase.status) << phase.name << "\n" << run.err();
    EXPECT_TRUE(run.out().starts_with("summary ")) << phase.name;
    ExpectNothingHalfDone(sim.runDir(), phase.name);
  }
}

// A program whose folder cannot be written keeps its data in the user's data folder and its
// videos in the user's videos folder (as `xdg-user-dir VIDEOS` names it) + "/Pelvaro".
TEST(CliDataFolder, AnInstalledProgramKeepsItsDataAndVideosInTheUsersFolders) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  const fs::path root = fs::path(sim.runDir()).parent_path();
  const fs::path bin = root / "bin", home = root / "home", locked = root / "locked";
  fs::create_directories(bin);
  fs::create_directories(home);
  fs::create_directories(locked);
  fs::copy_file(PELVARO_CLI_PATH, bin / "pelvaro-cli");
  fs::create_directories(home / ".config");
  std::ofstream(home / ".config/user-dirs.dirs") << "XDG_VIDEOS_DIR=\"$HOME/影片\"\n";
  // As root every folder can be written: the program then runs as an ordinary user.
  std::optional<uid_t> user;
  if (geteuid() == 0) {
    user = 65534;
    ASSERT_EQ(chown(home.c_str(), *user, *user), 0);
    ASSERT_EQ(chown((home / ".config").c_str(), *user, *user), 0);
    fs::permissions(root, fs::perms(0755));
    for (const auto& entry : fs::directory_iterator(root)) {
      if (entry.is_regular_file()) fs::permissions(entry.path(), fs::perms(0644));
    }
  }
  fs::permissions(bin, fs::perms(0555));
  fs::permissions(locked, fs::perms(0555));
  const std::string program = (bin / "pelvaro-cli").string();

  CliRun taken(root.string(), With({"--max-videos", "1", "--pause-ms", "0"}),
               {{"PELVARO_RUN_DIR", std::nullopt}, {"XDG_DATA_HOME", std::nullopt}, {"HOME", home.string()}},
               program, user);
  ASSERT_EQ(taken.wait(std::chrono::seconds(60)), 0) << taken.err();
  const fs::path data = home / ".local/share/pelvaro-collector";
  EXPECT_EQ(Count((home / "影片/Pelvaro").string()), 1u);
  EXPECT_FALSE(fs::exists(data / "video"));
  EXPECT_EQ(Count((data / "pelvarolishi").string()), 1u);
  EXPECT_EQ(Count(bin.string()), 1u);  // the program alone

  // No folder can be written: a message and status 2 before any request.
  const std::size_t requests = sim.journal().size();
  CliRun refused(root.string(), {"--max-videos", "1"},
                 {{"PELVARO_RUN_DIR", std::nullopt}, {"XDG_DATA_HOME", locked.string()}, {"HOME", home.string()}},
                 program, user);
  EXPECT_EQ(refused.wait(), 2);
  EXPECT_NE(refused.err().find("pelvaro-cli: the program's folder " + bin.string() +
                               " cannot be written, and the user data folder " + locked.string() +
                               "/pelvaro-collector cannot be written"),
            std::string::npos)
      << refused.err();
  EXPECT_EQ(sim.journal().size(), requests);
  fs::permissions(bin, fs::perms(0755));
  fs::permissions(locked, fs::perms(0755));
}

}  // namespace
}  // namespace pelvaro::e2e
