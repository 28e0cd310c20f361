// Several pelvaro-cli runs sharing one catalogue on a throwaway PostgreSQL server, each with its
// own data and output folders, against one simulator: no docid is taken twice and together they
// take what one collector takes alone; a killed collector's claim goes to another after its
// lease; the server stopping and starting mid-run loses no video and no row.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "collector/postgres_database.h"
#include "e2e/cli_process.h"
#include "e2e/e2e_names.h"
#include "support/pg_cluster.h"
#include "support/sim_process.h"

namespace pelvaro::e2e {
namespace {

using namespace std::chrono_literals;
using testing::PgCluster;

constexpr const char* kLeaseMs = "1500";
// A small graph that one collector takes whole well within a run.
const std::vector<std::string> kSmallGraph = {"--articles", "12", "--size-scale", "0.01"};

struct Collector {
  std::string folder;
  std::unique_ptr<CliRun> run;

  Collector(const std::string& root, const std::string& name, const std::string& catalogue,
            std::vector<std::string> flags) {
    folder = root + "/" + name;
    fs::create_directories(folder);
    flags.insert(flags.end(), {"--pause-ms", "0", "--hours", "100000", "--min-size", "0", "--log", "--output",
                               folder + "/video"});
    if (!catalogue.empty()) flags.insert(flags.end(), {"--catalogue", catalogue});
    run = std::make_unique<CliRun>(
        folder, flags, EnvChanges{{"PELVARO_RUN_DIR", folder}, {"PELVARO_TEST_CLAIM_LEASE_MS", kLeaseMs}});
  }
  std::set<std::string> markers() const {
    const auto files = FilesBelow(folder + "/pelvarolishi");
    return {files.begin(), files.end()};
  }
};

std::string Query(const std::string& uri, const std::string& sql) {
  PostgresDatabase db;
  PostgresResult result = db.connect(uri) ? db.exec(sql) : PostgresResult();
  return result.ok() && result.rows() > 0 ? result.text(0, 0) : std::string();
}

// Every marker of every collector has its row, naming a file of that collector at the row's
// size; no docid is marked by two collectors, and no row lacks its marker. Returns every
// marked docid.
std::set<std::string> ExpectOneTakerPerDocid(const std::vector<const Collector*>& collectors,
                                             const std::string& uri) {
  std::set<std::string> all;
  for (const Collector* collector : collectors) {
    for (const std::string& docid : collector->markers()) {
      EXPECT_TRUE(all.insert(docid).second) << docid << " taken twice";
      const std::string path = Query(uri, "SELECT path FROM videos WHERE docid = '" + docid + "'");
      EXPECT_EQ(path.rfind(collector->folder + "/video/", 0), 0u) << docid << ": " << path;
      std::error_code error;
      EXPECT_EQ(std::to_string(fs::file_size(path, error)),
                Query(uri, "SELECT size_bytes FROM videos WHERE docid = '" + docid + "'"));
    }
  }
  EXPECT_EQ(Query(uri, "SELECT count(*) FROM videos"), std::to_string(all.size()));
  return all;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds guard = 60s,
             std::chrono::milliseconds poll = 100ms) {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}

// Interrupts the collectors (Ctrl-C) once together they hold at least `enough` markers and no
// new one came for `quiet`: the graph is taken, whatever the machine's load.
void StopWhenSettled(const std::vector<const Collector*>& collectors, std::size_t enough,
                     std::chrono::seconds quiet) {
  std::size_t seen = 0;
  auto since = std::chrono::steady_clock::now();
  const auto settled = [&] {
    std::size_t now = 0;
    for (const Collector* collector : collectors) now += collector->markers().size();
    if (now != seen) since = std::chrono::steady_clock::now();
    seen = now;
    return now >= enough && std::chrono::steady_clock::now() - since >= quiet;
  };
  EXPECT_TRUE(WaitFor(settled, 120s)) << seen << " videos";
  for (const Collector* collector : collectors) {
    collector->run->interrupt();
    EXPECT_EQ(collector->run->wait(), 130) << collector->run->err();
    EXPECT_EQ(collector->run->err().find("共享视频目录连接不上"), std::string::npos) << collector->run->err();
  }
}

TEST(Fleet, CollectorsSharingACatalogueTakeDisjointDocidsWhoseUnionIsWhatOneTakesAlone) {
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  SimProcess sim(kSmallGraph);
  ASSERT_TRUE(sim.started());
  const std::vector<std::string> guard = {"--max-seconds", "150"};
  // The lone collector keeps its catalogue file, as without --catalogue.
  Collector alone(sim.runDir(), "alone", "", guard);
  StopWhenSettled({&alone}, 8, 8s);
  const std::set<std::string> expected = alone.markers();
  for (const int size : {2, 4}) {
    const std::string uri = cluster.createDatabase("fleet" + std::to_string(size));
    std::vector<std::unique_ptr<Collector>> fleet;
    std::vector<const Collector*> members;
    for (int i = 0; i < size; ++i) {
      const std::string name = std::to_string(size) + "-" + std::to_string(i);
      fleet.push_back(std::make_unique<Collector>(sim.runDir(), name, uri, guard));
      members.push_back(fleet.back().get());
    }
    StopWhenSettled(members, expected.size(), 3s);
    EXPECT_EQ(ExpectOneTakerPerDocid(members, uri), expected) << size << " collectors";
  }
  // The shared catalogue reads back as the file one does.
  const std::string uri = cluster.uri("fleet4");
  CliRun stats(sim.runDir(), {"--catalogue", uri, "--stats"});
  ASSERT_EQ(stats.wait(), 0) << stats.err();
  EXPECT_EQ(stats.out().rfind("videos=" + std::to_string(expected.size()) + " bytes=", 0), 0u) << stats.out();
  CliRun csv(sim.runDir(), {"--catalogue", uri, "--export-csv", "-"});
  ASSERT_EQ(csv.wait(), 0) << csv.err();
  const std::string text = csv.out();
  EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), expected.size() + 1);
}

TEST(Fleet, AKilledCollectorsClaimLapsesAndAnotherTakesTheVideo) {
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  // Slower files: a download is under way for a while when its collector is killed.
  auto flags = kSmallGraph;
  flags.insert(flags.end(), {"--drip", "200000"});
  SimProcess sim(flags);
  ASSERT_TRUE(sim.started());
  const std::string uri = cluster.createDatabase("fleet");
  Collector killed(sim.runDir(), "killed", uri, {"--max-seconds", "120"});
  std::string docid;
  const auto held = [&] { return !(docid = Query(uri, "SELECT docid FROM claims WHERE NOT taken")).empty(); };
  EXPECT_TRUE(WaitFor(held, 60s, 10ms));
  killed.run->signal(SIGKILL);
  ASSERT_FALSE(docid.empty()) << killed.run->err();
  EXPECT_EQ(killed.run->wait(), -1);
  EXPECT_EQ(killed.markers().count(docid), 0u);

  // Until the lease runs out the claim holds; then another collector takes the video.
  const std::string lapsed = "SELECT expires_at < now() FROM claims WHERE docid = '" + docid + "'";
  EXPECT_EQ(Query(uri, lapsed), "f");
  Collector next(sim.runDir(), "next", uri, {"--max-seconds", "90"});
  ASSERT_TRUE(WaitFor([&] { return next.markers().count(docid) > 0; }, 90s)) << next.run->err();
  next.run->interrupt();
  EXPECT_EQ(next.run->wait(), 130) << next.run->err();
  ExpectOneTakerPerDocid({&killed, &next}, uri);
  EXPECT_EQ(Query(uri, "SELECT count(*) FROM claims WHERE NOT taken"), "0");
}

TEST(Fleet, TheServerStoppedAndStartedMidRunLosesNeitherVideosNorRows) {
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  SimProcess sim(kSmallGraph);
  ASSERT_TRUE(sim.started());
  const std::string uri = cluster.createDatabase("fleet");
  Collector collector(sim.runDir(), "one", uri, {"--max-seconds", "15"});
  ASSERT_TRUE(WaitFor([&] { return Query(uri, "SELECT count(*) FROM videos") > "0"; }))
      << collector.run->err();
  ASSERT_TRUE(cluster.stop());
  const std::size_t before = collector.markers().size();
  ASSERT_TRUE(WaitFor([&] { return collector.markers().size() >= before + 2; })) << collector.run->err();
  ASSERT_TRUE(cluster.start());
  ASSERT_EQ(collector.run->wait(), 0) << collector.run->err();

  const std::string err = collector.run->err();
  EXPECT_EQ(err.find("共享视频目录连接不上"), err.rfind("共享视频目录连接不上")) << err;
  EXPECT_NE(err.find("共享视频目录已重新连接"), std::string::npos) << err;
  EXPECT_GE(ExpectOneTakerPerDocid({&collector}, uri).size(), before + 2);
}

}  // namespace
}  // namespace pelvaro::e2e
