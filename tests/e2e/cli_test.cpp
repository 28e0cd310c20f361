// pelvaro-cli as a user runs it: flags, the summary line, exit codes, and a second run that
// takes nothing the first one took.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "e2e/cli_process.h"
#include "e2e/e2e_names.h"
#include "support/refused_port.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

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
  // A folder of its own: the runs' output files must not meet those of another test.
  char pattern[] = "/tmp/pelvaro-cli-flags-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
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
      {{"--log", "--quiet"}, "--log and --quiet exclude each other"},
      {{"--catalogue", "data/other.db"}, "--catalogue needs a URI that starts with postgresql://"},
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
  for (const char* flag :
       {"--category NAME", "--seed-link URL", "--hours N", "--max-videos N", "--max-seconds N", "--log",
        "--contribute", "--category-folders", "--min-free-mb N", "--json", "--quiet", "--catalogue URI",
        "\n  3    the run ended and the platform never answered", "\n  143  "}) {
    EXPECT_NE(help.out().find(flag), std::string::npos) << flag;
  }
  fs::remove_all(folder);
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

// Folders and titles that GBK cannot hold arrive as the user and the platform gave them: the
// videos in exactly the named output folder, one file for each title, the data where
// PELVARO_RUN_DIR says. The fourth title is 163 raw GBK pairs without a Unicode form (326 bytes)
// on an article page of its own: its name, as stored, stays within the file system's limit. Eight
// articles share the four titles, so a date the filter refuses never leaves a title out.
TEST(Cli, FoldersAndTitlesKeepEveryCharacter) {
  const std::string titles = fs::temp_directory_path() / ("pelvaro-titles-" + std::to_string(getpid()));
  std::string pairs;
  for (int i = 0; i < 163; ++i) pairs += "\\xAA\\xA1";
  std::ofstream(titles) << "猫咪😂视频\n猫咪😭视频\nJörg-Straße-영상\n" << pairs << "\n";
  SimProcess sim({"--size-scale", "0.01", "--articles", "8", "--titles", titles});
  ASSERT_TRUE(sim.started());
  const std::string output = sim.runDir() + "/Köln-영상", data = sim.runDir() + "/Jörg-数据";
  CliRun run(sim.runDir(),
             {"--max-videos", "8", "--max-seconds", "20", "--pause-ms", "0", "--hours", "100000",
              "--min-size", "0", "--output", output},
             {{"PELVARO_RUN_DIR", data}});
  ASSERT_EQ(run.wait(), 0) << run.err();
  std::set<std::string> names;
  for (const auto& file : FilesBelow(output)) names.insert(fs::path(file).filename().string());
  // One name for each title, whichever of its two articles (landscape or in "竖屏") came.
  ASSERT_EQ(names.size(), 4u) << run.err();
  for (const char* title : {"猫咪😂视频.mp4", "猫咪😭视频.mp4", "Jörg-Straße-영상.mp4"})
    EXPECT_EQ(names.count(title), 1u) << title;
  // The page's bytes reach the title as "?"s, which a file name holds as "_".
  std::string raw;
  for (const auto& name : names) {
    if (name[0] == '_') raw = name;
  }
  EXPECT_TRUE(std::regex_match(raw, std::regex("_+\\.mp4"))) << raw;
  EXPECT_LE(raw.size() + 1 + std::string_view(".pelvaro-part").size(), 255u);
  EXPECT_EQ(FilesBelow(data + "/pelvarolishi").size(), FilesBelow(output).size());
  EXPECT_TRUE(fs::exists(data + "/data/catalogue.db"));
  // Nothing went to a folder of another name: the run's folder holds only the two named ones.
  std::set<std::string> top;
  for (const auto& entry : fs::directory_iterator(sim.runDir()))
    if (entry.is_directory()) top.insert(entry.path().filename().string());
  EXPECT_EQ(top.count("Köln-영상") + top.count("Jörg-数据"), 2u);
  for (const auto& name : top) EXPECT_EQ(name.find('?'), std::string::npos) << name;
  fs::remove(titles);
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
  EXPECT_NE(err.find("pelvaro-cli: warning: --category '汽 车' is not in the category list"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("known categories: "), std::string::npos) << err;
  EXPECT_NE(err.find("汽车"), std::string::npos) << err;

  // Long enough for the first answer on a loaded machine: a run without one ends with 3.
  CliRun known(sim.runDir(), {"--category", "汽车", "--max-seconds", "4"});
  EXPECT_EQ(known.wait(), 0);
  EXPECT_EQ(known.err().find("warning"), std::string::npos) << known.err();

  CliRun empty(sim.runDir(), {"--contribute", "--seed-link", "https://example.invalid/article/V_none?x=1",
                              "--max-seconds", "4"});
  EXPECT_EQ(empty.wait(), 0);
  EXPECT_NE(empty.err().find("the seed link gave no related videos"), std::string::npos) << empty.err();
}

// No answer from the platform is said with its host and reason, and a run that never got one
// ends with 3; a signal keeps its own status.
TEST(Cli, WithoutThePlatformTheRunNamesTheHostAndEndsWithThree) {
  RefusedPort refused;
  struct Case {
    const char* name;
    std::vector<std::string> simFlags;
    bool refusedPlatform;
    std::string reason;
    int signal;
    int status;
  };
  const std::vector<Case> cases = {
      {"refused", {}, true, "连接被拒绝", 0, 3},
      {"503", {"--error-every", "1", "--error-status", "503"}, false, "HTTP 503", 0, 3},
      {"refused, Ctrl-C", {}, true, "连接被拒绝", SIGINT, 130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimProcess sim(c.simFlags);
    ASSERT_TRUE(sim.started());
    const std::string host = c.refusedPlatform ? refused.address() : sim.address("platform");
    CliRun run(sim.runDir(), {"--max-seconds", c.signal != 0 ? "60" : "3"},
               {{"PELVARO_PLATFORM_WEB_HOST", host}});
    const std::string said = "无法连接平台 " + host + "：" + c.reason + "\n读取到数据：0\n";
    ASSERT_TRUE(run.waitForErr(said)) << run.err();
    if (c.signal != 0) run.signal(c.signal);
    EXPECT_EQ(run.wait(), c.status) << run.err();
    EXPECT_EQ(run.err().find("never answered") != std::string::npos, c.signal == 0) << run.err();
    EXPECT_TRUE(run.out().starts_with("summary taken=0 ")) << run.out();
  }
}

// The output folder is checked before the first request: one that cannot take videos ends the
// run at once with 2 and a message naming it.
TEST(Cli, AnOutputFolderThatCannotBeWrittenEndsTheRunBeforeAnyRequest) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  const fs::path root = fs::path(sim.runDir()).parent_path();
  std::ofstream(root / "a-file") << "x";
  fs::create_directories(root / "read-only");
  fs::permissions(root / "read-only", fs::perms(0555));
  // Root writes anywhere the permissions say no: the read-only case runs as another user.
  std::optional<uid_t> user;
  if (geteuid() == 0) {
    user = 65534;
    fs::permissions(root, fs::perms(0755));
    // The data folders are that user's too: only the output folder may be the trouble.
    for (const std::string folder : {"", "/data", "/pelvarolishi"}) {
      fs::create_directories(sim.runDir() + folder);
      ASSERT_EQ(chown((sim.runDir() + folder).c_str(), *user, *user), 0);
    }
  }
  struct Case {
    std::string folder, reason;
    std::optional<uid_t> uid;
  };
  for (const Case& c : {Case{(root / "a-file/videos").string(), "Not a directory", std::nullopt},
                        Case{(root / "read-only/videos").string(), "Permission denied", user}}) {
    CliRun run(root.string(), {"--output", c.folder, "--max-videos", "1"}, {}, PELVARO_CLI_PATH, c.uid);
    EXPECT_EQ(run.wait(std::chrono::seconds(10)), 2) << run.err();
    EXPECT_NE(
        run.err().find("pelvaro-cli: the output folder '" + c.folder + "' cannot be written: " + c.reason),
        std::string::npos)
        << run.err();
    EXPECT_EQ(run.out(), "");
  }
  for (const char* service : {"platform", "vendor_api", "vendor_list"}) {
    EXPECT_TRUE(sim.requests(service).empty()) << service;
  }
}

// The documented way to try the programs without the platform: the simulator writes the
// variables, a shell sources them and starts pelvaro-cli.
TEST(Cli, RunsAgainstTheSimulatorThroughItsEnvironmentFile) {
  const std::string folder = ::testing::TempDir() + "cli-env-file";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string file = folder + "/pelvaro-sim.env";
  EnvChanges clean = {{"PELVARO_RUN_DIR", folder + "/data"}};
  for (const char* name : {"PELVARO_PLATFORM_WEB_HOST", "PELVARO_VENDOR_API_HOST", "PELVARO_VENDOR_LIST_HOST",
                           "PELVARO_UPDATE_HOST1", "PELVARO_UPDATE_HOST2", "PELVARO_UPDATE_HOST3",
                           "PELVARO_QUOTE_SERVICE_HOST", "PELVARO_SPEECH_SERVICE_HOST", "PELVARO_CA_FILE"}) {
    clean[name] = std::nullopt;
  }
  fs::create_directories(folder + "/sim");
  CliRun sim(folder + "/sim", {"--ephemeral", "--size-scale", "0.01", "--env-file", file}, clean,
             PELVARO_SIM_PATH);
  for (int i = 0; i < 500 && !fs::exists(file); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(fs::exists(file));
  const std::string variables = ReadWholeFile(file);
  EXPECT_NE(variables.find("export PELVARO_CA_FILE='" + file + ".pem'\n"), std::string::npos) << variables;
  EXPECT_TRUE(fs::exists(file + ".pem"));
  CliRun run(folder,
             {"-c", ". \"$0\" && exec \"$1\" --max-videos 1 --hours 100000 --min-size 0 --pause-ms 0", file,
              PELVARO_CLI_PATH},
             clean, "/bin/sh");
  EXPECT_EQ(run.wait(), 0) << run.err();
  EXPECT_TRUE(run.out().starts_with("summary taken=1 ")) << run.out() << run.err();
  sim.signal(SIGTERM);
  EXPECT_EQ(sim.wait(), 0);
  fs::remove_all(folder);
}

// For scripts: JSON Lines on stdout (one object per video handled, the summary last), --quiet
// with nothing but the summary, and the CSV on stdout.
TEST(Cli, ScriptsGetJsonLinesAQuietRunAndTheCsvOnStdout) {
  SimProcess sim({"--size-scale", "0.01", "--broken-every", "4"});
  ASSERT_TRUE(sim.started());
  CliRun run(sim.runDir(),
             {"--json", "--max-videos", "3", "--pause-ms", "0", "--hours", "2000", "--min-size", "0"},
             {{"PELVARO_TEST_RETRY_PAUSE_MS", "20"}});
  ASSERT_EQ(run.wait(), 0) << run.err();
  std::map<std::string, std::int64_t> counted;
  std::int64_t bytes = 0;
  nlohmann::json summary;
  std::istringstream lines(run.out());
  for (std::string line; std::getline(lines, line);) {
    ASSERT_TRUE(summary.is_null()) << "a line after the summary: " << line;
    const nlohmann::json object = nlohmann::json::parse(line);
    if (object.contains("summary")) {
      summary = object["summary"];
      continue;
    }
    const std::string outcome = object.at("outcome");
    ++counted[outcome];
    EXPECT_TRUE(object.at("docid").is_string() && object.at("title").is_string() &&
                object.at("seconds").is_number());
    EXPECT_EQ(object.contains("path"), outcome == "taken") << line;
    EXPECT_EQ(object.contains("bytes"), outcome == "taken") << line;
    EXPECT_EQ(object.contains("reason"), outcome == "rejected" || outcome == "failed") << line;
    if (outcome == "taken") {
      EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(object.at("path").get<std::string>())),
                object.at("bytes"));
      bytes += object.at("bytes").get<std::int64_t>();
    }
  }
  ASSERT_FALSE(summary.is_null()) << run.out();
  EXPECT_EQ(summary.size(), 6u);
  for (const char* outcome : {"taken", "present", "rejected", "failed"}) {
    EXPECT_EQ(summary.at(outcome), counted[outcome]) << outcome;
  }
  EXPECT_EQ(summary.at("taken"), 3);
  EXPECT_GT(counted["rejected"] + counted["failed"], 0);
  EXPECT_EQ(summary.at("bytes"), bytes);

  CliRun quiet(sim.runDir(),
               {"--quiet", "--max-videos", "1", "--pause-ms", "0", "--hours", "2000", "--min-size", "0"},
               {{"PELVARO_TEST_RETRY_PAUSE_MS", "20"}});
  ASSERT_EQ(quiet.wait(), 0) << quiet.err();
  EXPECT_EQ(quiet.err(), "");
  EXPECT_TRUE(
      std::regex_match(quiet.out(), std::regex(R"(summary taken=1 [^\n]*\n(failed_by_reason [^\n]*\n)?)")))
      << quiet.out();

  CliRun csv(sim.runDir(), {"--export-csv", "-"});
  ASSERT_EQ(csv.wait(), 0) << csv.err();
  EXPECT_FALSE(fs::exists(sim.runDir() + "/-"));
  const std::string table = csv.out();
  EXPECT_TRUE(table.starts_with("\xEF\xBB\xBF")) << table;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 4) << table;  // the header and every video
}

}  // namespace
}  // namespace pelvaro::e2e
