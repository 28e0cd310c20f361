// Files, markers and catalogue rows agree whatever happens around them: two copies of the
// program on one folder, a history folder that stops taking markers, a run cut off between a
// file and its marker, a catalogue held locked by another program, a video address that refuses.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "collector/catalogue.h"
#include "collector/crawl_session.h"
#include "collector/docid_claim.h"
#include "collector/finished_repair.h"
#include "collector/history.h"
#include "collector/sqlite_database.h"
#include "e2e/cli_process.h"
#include "e2e/crawl_harness.h"
#include "e2e/e2e_names.h"
#include "platform/window_layout.h"
#include "support/refused_port.h"
#include "support/sim_process.h"
#include "web/transfer_limits.h"

extern char** environ;

namespace pelvaro::e2e {
namespace {

const std::vector<std::string> kOpenFilters = {"--pause-ms",     "0", "--hours",        "100000",
                                               "--min-size",     "0", "--max-size",     "100000",
                                               "--min-duration", "0", "--max-duration", "100000"};

std::size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first two columns of a query's rows, read through a connection of the test's own.
std::map<std::string, std::int64_t> Rows(const std::string& runDir,
                                         const char* sql = "SELECT docid, size_bytes FROM videos") {
  std::map<std::string, std::int64_t> rows;
  Catalogue(Path(runDir + "/data/catalogue.db")).read(sql, [&](const SqliteStatement& r) {
    rows[r.text(0)] = r.integer(1);
  });
  return rows;
}
std::size_t FailureRows(const std::string& runDir) {
  return Rows(runDir, "SELECT docid, 0 FROM failures").size();
}

// Requests of each video file that asked for its first byte: one per download.
std::map<std::string, int> Downloads(const SimProcess& sim) {
  std::map<std::string, int> downloads;
  for (const auto& r : sim.requests("platform")) {
    const std::string target = r.value("target", "");
    if (target.rfind("/video/", 0) != 0) continue;
    for (const auto& header : r["headers"]) {
      if (header.get<std::string>().rfind("Range:bytes=0-", 0) == 0) ++downloads[target];
    }
  }
  return downloads;
}

int Taken(const std::string& out) {
  const auto at = out.find(" taken=");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 7);
}

TEST(FilesAgree, TwoCopiesOnOneFolderTakeEachVideoOnce) {
  SimProcess sim({"--size-scale", "0.01", "--articles", "30"});
  ASSERT_TRUE(sim.started());
  // Both copies walk from the same seed in the same order: the vendor's service refuses, so
  // the seed link is their first seed.
  const std::string seed = SeedFromService();
  ASSERT_FALSE(seed.empty());
  RefusedPort vendor;
  auto flags = kOpenFilters;
  flags.insert(flags.end(), {"--max-videos", "4", "--max-seconds", "60", "--seed-link",
                             "https://" + sim.address("platform") + "/article/" + seed + "?title_sn=0"});
  const EnvChanges env = {{"PELVARO_VENDOR_API_HOST", vendor.address()}};
  fs::create_directories(sim.runDir() + "/one");
  fs::create_directories(sim.runDir() + "/two");
  CliRun one(sim.runDir() + "/one", flags, env);
  CliRun two(sim.runDir() + "/two", flags, env);
  ASSERT_EQ(one.wait(), 0) << one.err();
  ASSERT_EQ(two.wait(), 0) << two.err();

  const auto files = FilesBelow(sim.runDir() + "/video");
  for (const auto& file : files) EXPECT_FALSE(file.ends_with(".part")) << file;
  const auto markers = FilesBelow(sim.runDir() + "/pelvarolishi");
  EXPECT_EQ(static_cast<std::size_t>(Taken(one.out()) + Taken(two.out())), files.size())
      << one.out() << two.out();
  EXPECT_EQ(markers.size(), files.size());
  EXPECT_EQ(Rows(sim.runDir()).size(), files.size());
  EXPECT_NE(one.out().find(" failed=0 "), std::string::npos) << one.err();
  EXPECT_NE(two.out().find(" failed=0 "), std::string::npos) << two.err();
  EXPECT_EQ(FailureRows(sim.runDir()), 0u);
  for (const auto& [target, count] : Downloads(sim)) EXPECT_EQ(count, 1) << target << " taken twice";
  EXPECT_TRUE(FilesBelow(sim.runDir() + "/data/claims").empty()) << "claims are given up";
}

TEST(FilesAgree, AHistoryFolderThatTakesNoMarkerStopsTheCrawlAndTheNextStartMarksTheFile) {
  SimProcess sim({"--size-scale", "0.01", "--articles", "8"});
  ASSERT_TRUE(sim.started());
  const std::string history = sim.runDir() + "/pelvarolishi";
  std::ofstream(history) << "not a folder";

  // At the start: the terminal program names the folder and makes no request; the window
  // says so in a box and does not start.
  CliRun refused(sim.runDir(), kOpenFilters);
  EXPECT_EQ(refused.wait(), 2);
  EXPECT_NE(refused.err().find(history), std::string::npos) << refused.err();
  EXPECT_TRUE(sim.requests("platform").empty());
  CrawlHarness crawl;
  crawl.session().Toggle();
  EXPECT_EQ(crawl.form().text(mw::kCrawlButton), Gbk("开始"));
  ASSERT_EQ(crawl.form().shownMessages().size(), 1u);
  EXPECT_NE(GbkToUtf8(crawl.form().shownMessages()[0].message).find("下载记录文件夹无法写入"),
            std::string::npos);

  // During the run: the first complete file finds no marker; the crawl stops and says why.
  Catalogue catalogue(CataloguePath());
  crawl.useCatalogue(&catalogue);
  crawl.runPassToTheEnd(SeedFromService());
  const auto lines = crawl.allLogLines();
  EXPECT_EQ(Count(lines, "采集已停止：下载记录无法写入"), 1u);
  EXPECT_EQ(Count(lines, "任务完成"), 0u);
  ASSERT_EQ(crawl.form().shownMessages().size(), 2u);
  EXPECT_EQ(GbkToUtf8(crawl.form().shownMessages()[1].message).rfind("采集已停止：", 0), 0u);
  const auto files = FilesBelow(sim.runDir() + "/video");
  ASSERT_EQ(files.size(), 1u) << "nothing after the halt";
  EXPECT_TRUE(Rows(sim.runDir()).empty()) << "no row without a marker";
  EXPECT_EQ(FailureRows(sim.runDir()), 0u) << "the machine's fault, not the video's";
  ASSERT_EQ(FilesBelow(sim.runDir() + "/data/claims").size(), 1u) << "the file is recorded for later";

  // The next start marks it and gives it its row, without downloading it again; a marker
  // without a row gets one too.
  const auto downloads = Downloads(sim);
  fs::remove(history);
  fs::create_directories(history);
  std::ofstream(history + "/V_older") << "";
  const RepairCount repaired = RepairFinishedFiles(&catalogue);
  EXPECT_EQ(repaired.markers, 1);
  EXPECT_EQ(repaired.rows, 2);
  const auto rows = Rows(sim.runDir());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows.count("V_older"), 1u);
  for (const auto& [docid, size] : rows) {
    if (docid == "V_older") continue;
    EXPECT_TRUE(HistoryHolds(Utf8ToGbk(docid)));
    EXPECT_EQ(size, static_cast<std::int64_t>(fs::file_size(sim.runDir() + "/video/" + files[0])));
  }
  EXPECT_EQ(Downloads(sim), downloads);
  EXPECT_TRUE(FilesBelow(sim.runDir() + "/data/claims").empty());
}

// A docid whose file is complete and whose marker is missing: the program's own file gets its
// marker, a file of the user's own of the same name is left as it is.
TEST(FilesAgree, AFileTheProgramFinishedIsMarkedAndAUsersOwnFileIsLeftAlone) {
  SimProcess sim({"--size-scale", "0.01", "--articles", "8"});
  ASSERT_TRUE(sim.started());
  Catalogue catalogue(CataloguePath());
  CrawlHarness crawl(&catalogue);
  const std::string seed = SeedFromService();
  crawl.runPassToTheEnd(seed);
  auto rows = Rows(sim.runDir());
  ASSERT_GE(rows.size(), 3u);
  std::map<std::string, std::string> pathOf;
  catalogue.read("SELECT docid, path FROM videos",
                 [&](const SqliteStatement& r) { pathOf[r.text(0)] = r.text(1); });
  auto it = rows.begin();
  const std::string killed = (it++)->first, unmarked = (it++)->first, users = (it++)->first;
  // Killed between the rename and the marker: the claim's record, no marker, no row yet.
  {
    auto claim = ClaimDocid(Utf8ToGbk(killed));
    ASSERT_TRUE(claim);
    ASSERT_TRUE(claim->writeRecord(
        FinishedRecord({Utf8ToGbk(killed), Path(pathOf[killed]), static_cast<std::uint64_t>(rows[killed])})));
  }
  SqliteDatabase db;
  ASSERT_EQ(db.open(sim.runDir() + "/data/catalogue.db"), 0);
  ASSERT_EQ(db.exec("DELETE FROM videos WHERE docid IN ('" + killed + "', '" + users + "')"), 0);
  const std::string usersBytes = Slurp(pathOf[users]);
  for (const auto& docid : {killed, unmarked, users}) fs::remove(HistoryMarkerPath(Utf8ToGbk(docid)).bytes());
  const auto downloads = Downloads(sim);

  crawl.runPassToTheEnd(seed);
  EXPECT_EQ(Count(crawl.log(), "视频已完整下载，补写下载记录，"), 2u);
  EXPECT_EQ(Count(crawl.log(), "视频已存在放弃，"), 1u);
  EXPECT_TRUE(HistoryHolds(Utf8ToGbk(killed)));
  EXPECT_TRUE(HistoryHolds(Utf8ToGbk(unmarked)));
  EXPECT_FALSE(HistoryHolds(Utf8ToGbk(users)));
  EXPECT_EQ(Slurp(pathOf[users]), usersBytes);
  rows = Rows(sim.runDir());
  EXPECT_EQ(rows.count(killed), 1u) << "the row follows the marker";
  EXPECT_EQ(rows.count(users), 0u);
  EXPECT_EQ(Downloads(sim), downloads) << "nothing downloaded again";
  EXPECT_TRUE(FilesBelow(sim.runDir() + "/data/claims").empty());
}

TEST(FilesAgree, RowsThatCannotBeWrittenWhileAnotherProgramHoldsTheCatalogueAreWrittenLater) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  { Catalogue create(CataloguePath()); }
  // Another program holds the write lock for longer than a statement waits (2 s).
  const std::string ready = sim.runDir() + "/locked";
  std::vector<std::string> arguments = {"python3", "-c",
                                        R"(import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute('BEGIN EXCLUSIVE')
open(sys.argv[2], 'w').close()
time.sleep(6)
c.execute('COMMIT')
)",
                                        sim.runDir() + "/data/catalogue.db", ready};
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t locker = -1;
  ASSERT_EQ(posix_spawnp(&locker, "python3", nullptr, nullptr, argv.data(), environ), 0);
  for (int i = 0; i < 1000 && !fs::exists(ready); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(fs::exists(ready));
  auto flags = kOpenFilters;
  flags.insert(flags.end(), {"--max-videos", "3"});
  CliRun run(sim.runDir(), flags);
  const int status = run.wait();
  waitpid(locker, nullptr, 0);
  ASSERT_EQ(status, 0) << run.err();
  EXPECT_NE(run.err().find("视频目录无法写入，稍后补写"), std::string::npos) << run.err();
  const auto markers = FilesBelow(sim.runDir() + "/pelvarolishi");
  EXPECT_GE(markers.size(), 3u);
  const auto rows = Rows(sim.runDir());
  EXPECT_EQ(rows.size(), markers.size());
  for (const auto& marker : markers) EXPECT_EQ(rows.count(marker), 1u) << marker;
}

// A video address that refuses is the network's fault: however many passes meet the video, it
// is tried again once the address answers.
TEST(FilesAgree, ARefusedVideoAddressNeverUsesUpTheVideosAttempts) {
  const TransferLimits before = CurrentTransferLimits();
  TransferLimits limits = before;
  limits.firstPause = std::chrono::milliseconds(2);
  SetTransferLimits(limits);
  RefusedPort refused;
  const std::string address = refused.address();
  SimProcess sim({"--size-scale", "0.01", "--articles", "8", "--video-host", address});
  ASSERT_TRUE(sim.started());
  const std::string seed = SeedFromService();
  Catalogue catalogue(CataloguePath());
  {
    CrawlHarness crawl(&catalogue);
    for (int pass = 0; pass < Catalogue::kGiveUpAttempts + 1; ++pass) crawl.runPass(seed);
    crawl.downloads().waitAll();
    const auto lines = crawl.allLogLines();
    EXPECT_GT(Count(lines, "下载失败：连接被拒绝"), 0u);
    EXPECT_EQ(Count(lines, "多次下载失败，跳过"), 0u);
    EXPECT_EQ(Count(lines, "连续3个视频下载失败，原因相同：" + address + " 连接被拒绝"), 1u) << "said once";
  }
  EXPECT_EQ(FailureRows(sim.runDir()), 0u);

  // The same videos, now at an address that answers.
  SimProcess answering({"--size-scale", "0.01", "--articles", "8"}, sim.runDir());
  ASSERT_TRUE(answering.started());
  CrawlHarness crawl(&catalogue);
  crawl.runPassToTheEnd(seed);
  EXPECT_GT(Count(crawl.log(), "任务完成，开始下一个。"), 0u);
  EXPECT_EQ(Count(crawl.log(), "多次下载失败，跳过"), 0u);
  SetTransferLimits(before);
}

}  // namespace
}  // namespace pelvaro::e2e
