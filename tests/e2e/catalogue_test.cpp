// The catalogue as the crawl and pelvaro-cli keep it: rows that follow the files and markers,
// failures that are remembered, a damaged file set aside, two programs on one data folder.

#include "collector/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "collector/history.h"
#include "collector/sqlite_database.h"
#include "e2e/cli_process.h"
#include "e2e/crawl_harness.h"
#include "e2e/e2e_names.h"
#include "platform/window_layout.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

struct Row {
  std::string title, category, path;
  std::int64_t size = 0;
};

// Every videos row by docid, read through a connection of the test's own.
std::map<std::string, Row> Rows(const std::string& runDir) {
  Catalogue catalogue{Path(runDir + "/data/catalogue.db")};
  std::map<std::string, Row> rows;
  catalogue.read("SELECT docid, title, category, path, size_bytes FROM videos",
                 [&](const SqliteStatement& r) {
                   rows[r.text(0)] = Row{r.text(1), r.text(2), r.text(3), r.integer(4)};
                 });
  return rows;
}

int Failures(const std::string& runDir) {
  Catalogue catalogue{Path(runDir + "/data/catalogue.db")};
  int count = -1;
  catalogue.read("SELECT count(*) FROM failures",
                 [&](const SqliteStatement& r) { count = static_cast<int>(r.integer(0)); });
  return count;
}

// Every row names a file that exists with the row's size, and has its marker; every marker has
// its row.
void ExpectRowsMatchFilesAndMarkers(const std::string& runDir) {
  const auto rows = Rows(runDir);
  const auto markers = FilesBelow(runDir + "/pelvarolishi");
  EXPECT_EQ(rows.size(), markers.size());
  for (const auto& marker : markers) EXPECT_TRUE(rows.count(marker)) << marker;
  for (const auto& [docid, row] : rows) {
    ASSERT_TRUE(fs::is_regular_file(row.path)) << row.path;
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(row.path)), row.size) << row.path;
    EXPECT_TRUE(HistoryHolds(Utf8ToGbk(docid))) << docid;
  }
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// Failed downloads in a log: "下载失败：" and the reason.
std::size_t Failed(const std::vector<std::string>& lines) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("下载失败："); }));
}

std::size_t VideoRequests(const SimProcess& sim) {
  std::size_t count = 0;
  for (const auto& r : sim.requests("platform")) count += r.value("target", "").rfind("/video/", 0) == 0;
  return count;
}

TEST(CatalogueCrawl, RowsAreWrittenForTakenVideosOnly) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  Catalogue catalogue(CataloguePath());
  CrawlHarness crawl(&catalogue);
  const std::string seed = SeedFromService();
  crawl.runPassToTheEnd(seed);
  const auto first = Rows(sim.runDir());
  ASSERT_FALSE(first.empty());
  ExpectRowsMatchFilesAndMarkers(sim.runDir());
  EXPECT_EQ(FilesBelow(crawl.outputFolder()).size(), first.size());
  // The rows carry what the list showed.
  for (const auto& cells : crawl.rows()) {
    if (cells[mw::kColDownload] != "100%") continue;
    const auto row = first.find(cells[mw::kColDocid]);
    ASSERT_NE(row, first.end()) << cells[mw::kColDocid];
    EXPECT_EQ(row->second.title, cells[mw::kColTitle]);
    EXPECT_EQ(row->second.category, cells[mw::kColCategory]);
  }
  // The same answer again: every video exists, no row is added or changed.
  crawl.runPassToTheEnd(seed);
  const auto second = Rows(sim.runDir());
  EXPECT_EQ(second.size(), first.size());
  EXPECT_EQ(Failures(sim.runDir()), 0);
}

TEST(CatalogueCrawl, TheThirdFailureSkipsTheVideoInTheNextPassAndRun) {
  // Every video breaks off after its first 1000 bytes, however often it is asked again.
  SimProcess sim({"--size-scale", "0.05", "--broken-every", "1"});
  ASSERT_TRUE(sim.started());
  const std::string seed = SeedFromService();
  std::size_t failedPerPass = 0;
  {
    Catalogue catalogue(CataloguePath());
    CrawlHarness crawl(&catalogue);
    for (int pass = 0; pass < 3; ++pass) {
      crawl.runPassToTheEnd(seed);
      failedPerPass = Failed(crawl.log());
      ASSERT_GT(failedPerPass, 0u);
      EXPECT_EQ(Count(crawl.log(), "多次下载失败，跳过"), 0u) << pass;
    }
  }
  EXPECT_EQ(Failures(sim.runDir()), static_cast<int>(failedPerPass));
  EXPECT_TRUE(Rows(sim.runDir()).empty());

  // The next run meets the same videos and leaves them alone, queued as seeds all the same.
  const std::size_t requests = VideoRequests(sim);
  Catalogue catalogue(CataloguePath());
  CrawlHarness crawl(&catalogue);
  const auto seeds = crawl.runPass(seed);
  EXPECT_EQ(Count(crawl.log(), "多次下载失败，跳过"), failedPerPass);
  EXPECT_EQ(Failed(crawl.log()), 0u);
  EXPECT_EQ(VideoRequests(sim), requests);
  std::size_t skippedRows = 0;
  for (const auto& cells : crawl.rows()) skippedRows += cells[mw::kColDownload] == "多次失败";
  EXPECT_EQ(skippedRows, failedPerPass);
  catalogue.read("SELECT docid FROM failures", [&](const SqliteStatement& r) {
    EXPECT_NE(std::find(seeds.begin(), seeds.end(), r.text(0)), seeds.end()) << r.text(0);
  });
}

// pelvaro-cli run to its end: its exit status, output and error output.
struct CliResult {
  int status = -1;
  std::string out, err;
};

CliResult RunCli(const std::string& folder, std::vector<std::string> flags) {
  CliRun run(folder, std::move(flags));
  const int status = run.wait();
  return CliResult{status, run.out(), run.err()};
}

const std::vector<std::string> kTakeTwo = {"--max-videos", "2",      "--pause-ms", "0",
                                           "--hours",      "100000", "--min-size", "0"};

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(CatalogueCli, ADamagedCatalogueIsSetAsideAndTheRunGoesOnThenReadsBack) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  fs::create_directories(sim.runDir() + "/data");
  std::string garbage(10000, '\0');
  std::mt19937 random(11);
  for (char& c : garbage) c = static_cast<char>(random());
  std::ofstream(sim.runDir() + "/data/catalogue.db", std::ios::binary) << garbage;

  const auto run = RunCli(sim.runDir(), kTakeTwo);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("summary taken=2 "), std::string::npos) << run.out;
  EXPECT_EQ(Occurrences(run.err, "视频目录已损坏"), 1u) << run.err;
  std::size_t broken = 0;
  for (const auto& entry : fs::directory_iterator(sim.runDir() + "/data"))
    broken += entry.path().filename().string().rfind("catalogue.db.broken-", 0) == 0;
  EXPECT_EQ(broken, 1u);
  ExpectRowsMatchFilesAndMarkers(sim.runDir());
  ASSERT_EQ(Rows(sim.runDir()).size(), 2u);

  // Read back without the network: the simulator is gone.
  const auto rows = Rows(sim.runDir());
  std::int64_t bytes = 0;
  for (const auto& [docid, row] : rows) bytes += row.size;
  const std::string csv = sim.runDir() + "/videos.csv";
  const std::string script = sim.runDir() + "/count.py";
  std::ofstream(script) << "import csv, sys\n"
                           "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                           "    rows = list(csv.reader(f))\n"
                           "assert rows[0][:2] == ['docid', 'title'], rows[0]\n"
                           "for r in rows[1:]:\n"
                           "    assert len(r) == 11 and r[1], r\n"
                           "print(len(rows) - 1)\n";
  const auto exported = RunCli(sim.runDir(), {"--export-csv", csv});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out, "");
  ASSERT_EQ(std::system(("python3 " + script + " " + csv + " > " + csv + ".count").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(csv + ".count"), "2\n");

  const auto stats = RunCli(sim.runDir(), {"--stats"});
  ASSERT_EQ(stats.status, 0) << stats.err;
  EXPECT_EQ(stats.out.rfind("videos=2 bytes=" + std::to_string(bytes) + "\n", 0), 0u) << stats.out;
  EXPECT_EQ(Occurrences(stats.out, "\nday="), 1u) << stats.out;
}

// A catalogue whose trigger never ends: its rows are interrupted, the videos still land with
// their markers, and the program ends cleanly (no download end runs past the catalogue).
TEST(CatalogueCli, ATriggerThatNeverEndsNeitherHoldsNorBreaksTheRun) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  { Catalogue catalogue(CataloguePath()); }
  {
    SqliteDatabase db;
    ASSERT_EQ(db.open(sim.runDir() + "/data/catalogue.db"), 0);
    ASSERT_EQ(
        db.exec("CREATE TRIGGER forever AFTER INSERT ON videos BEGIN SELECT count(*) FROM (WITH RECURSIVE "
                "c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c); END"),
        0);
  }
  const auto run = RunCli(sim.runDir(), kTakeTwo);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Occurrences(run.err, "视频目录无法写入，稍后补写：interrupted"), 1u) << run.err;
  const auto taken = run.out.find("summary taken=");
  ASSERT_NE(taken, std::string::npos) << run.out;
  EXPECT_GE(std::stoi(run.out.substr(taken + 14)), 2) << run.out;
  EXPECT_EQ(FilesBelow(sim.runDir() + "/pelvarolishi").size(),
            static_cast<std::size_t>(std::stoi(run.out.substr(taken + 14))));
  EXPECT_EQ(Rows(sim.runDir()).size(), 0u);
}

TEST(CatalogueCli, RetryFailedForgetsTheFailuresBeforeTheCrawl) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  {
    Catalogue catalogue(CataloguePath());
    for (int i = 0; i < Catalogue::kGiveUpAttempts; ++i)
      ASSERT_TRUE(catalogue.recordFailure("V_broken", {FailureKind::Reset}));
  }
  auto run = RunCli(sim.runDir(), kTakeTwo);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Failures(sim.runDir()), 1);
  auto flags = kTakeTwo;
  flags.push_back("--retry-failed");
  run = RunCli(sim.runDir(), flags);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Failures(sim.runDir()), 0);
}

TEST(CatalogueCli, TwoProgramsWriteOneCatalogueAtOnce) {
  SimProcess sim({"--size-scale", "0.01"});
  ASSERT_TRUE(sim.started());
  auto flags = [&](const std::string& output) {
    auto f = kTakeTwo;
    f[1] = "4";
    f.insert(f.end(), {"--output", sim.runDir() + "/" + output});
    return f;
  };
  fs::create_directories(sim.runDir() + "/first");
  fs::create_directories(sim.runDir() + "/second");
  CliRun a(sim.runDir() + "/first", flags("one"));
  CliRun b(sim.runDir() + "/second", flags("two"));
  ASSERT_EQ(a.wait(), 0) << a.err();
  ASSERT_EQ(b.wait(), 0) << b.err();
  EXPECT_EQ(a.err().find("视频目录"), std::string::npos) << a.err();
  EXPECT_EQ(b.err().find("视频目录"), std::string::npos) << b.err();
  ExpectRowsMatchFilesAndMarkers(sim.runDir());
  EXPECT_GE(Rows(sim.runDir()).size(), 4u);
  SqliteDatabase db;
  ASSERT_EQ(db.open(sim.runDir() + "/data/catalogue.db"), 0);
  int ok = 0;
  ASSERT_EQ(db.queryInt("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'", &ok), 0);
  EXPECT_EQ(ok, 1);
}

}  // namespace
}  // namespace pelvaro::e2e
