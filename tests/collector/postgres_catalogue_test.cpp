// The shared catalogue on a throwaway server: one migration among collectors that start
// together and an older program on a newer schema, claims between two collectors, failures
// counted across them, and the server going away and coming back with nothing lost.

#include "collector/postgres_catalogue.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <future>
#include <thread>

#include "collector/postgres_catalogue_schema.h"
#include "platform/text.h"
#include "support/pg_cluster.h"

namespace pelvaro {
namespace {

using testing::PgCluster;
using namespace std::chrono_literals;

// Claims lapse within the test: a lease of 900 ms, renewed every 300 ms.
struct ShortLease {
  ShortLease() { setenv("PELVARO_TEST_CLAIM_LEASE_MS", "900", 1); }
  ~ShortLease() { unsetenv("PELVARO_TEST_CLAIM_LEASE_MS"); }
};

CatalogueVideo Video(const std::string& docid) {
  CatalogueVideo video;
  video.docid = docid;
  video.title = "标题 " + docid;
  video.sizeBytes = 5'000'000'000;  // past 2^31: the column holds it
  video.path = "/videos/" + docid + ".mp4";
  video.takenAt = "2026-12-10T08:00:00+08:00";
  return video;
}

std::int64_t Count(PostgresDatabase& db, const std::string& sql) {
  PostgresResult result = db.exec(sql);
  return result.ok() && result.rows() == 1 ? result.integer(0, 0) : -1;
}

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 200 && !done(); ++i) std::this_thread::sleep_for(50ms);
  return done();
}

TEST(PostgresCatalogue, CollectorsStartingTogetherMigrateOnceAndAnOlderProgramWorksOnANewerSchema) {
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  const std::string uri = cluster.createDatabase("fleet");
  std::vector<std::future<bool>> starts;
  for (int i = 0; i < 4; ++i) {
    starts.push_back(std::async(std::launch::async, [&uri] { return PostgresCatalogue(uri).connected(); }));
  }
  for (auto& started : starts) EXPECT_TRUE(started.get());
  PostgresDatabase db;
  ASSERT_TRUE(db.connect(uri));
  EXPECT_EQ(SharedCatalogueVersion(db), kSharedCatalogueSchemaVersion);
  EXPECT_EQ(Count(db, "SELECT count(*) FROM catalogue_version"), 1);

  // A later program added a column and moved the version on: this one neither migrates back
  // nor fails.
  ASSERT_TRUE(db.exec("ALTER TABLE videos ADD COLUMN rating integer").ok());
  ASSERT_TRUE(db.exec("UPDATE catalogue_version SET version = 99").ok());
  PostgresCatalogue catalogue(uri);
  ASSERT_TRUE(catalogue.connected());
  EXPECT_TRUE(catalogue.recordVideo(Video("V1")));
  EXPECT_EQ(catalogue.video("V1")->sizeBytes, 5'000'000'000);
  EXPECT_EQ(SharedCatalogueVersion(db), 99);
}

TEST(PostgresCatalogue, ClaimsAndFailuresAreSharedBetweenCollectors) {
  ShortLease lease;
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  const std::string uri = cluster.createDatabase("fleet");
  PostgresCatalogue a(uri), b(uri);
  ASSERT_TRUE(a.connected() && b.connected());
  EXPECT_NE(a.holder(), b.holder());

  EXPECT_EQ(a.claim("V1"), FleetClaim::Granted);
  // Held past several leases: the claim is renewed while its holder lives.
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(b.claim("V1"), FleetClaim::TakenElsewhere);
  EXPECT_EQ(a.claim("V1"), FleetClaim::Granted);
  EXPECT_EQ(b.claim("V2"), FleetClaim::Granted);

  // A taken video stays taken for everyone; a claim given back is free at once.
  ASSERT_TRUE(a.recordVideo(Video("V1")));
  EXPECT_EQ(b.claim("V1"), FleetClaim::TakenElsewhere);
  b.release("V2");
  EXPECT_EQ(a.claim("V2"), FleetClaim::Granted);
  // A row written from a marker alone (a collector's older history) also counts as taken.
  EXPECT_EQ(b.addMissingVideos({Video("V3"), Video("V1")}), 1);
  EXPECT_EQ(a.claim("V3"), FleetClaim::TakenElsewhere);

  // Failures count across the fleet; forgetting them works for every collector.
  ASSERT_TRUE(a.recordFailure("V9", {FailureKind::HttpStatus, 404}));
  ASSERT_TRUE(b.recordFailure("V9", {FailureKind::HttpStatus, 404}));
  EXPECT_FALSE(a.givenUp("V9"));
  ASSERT_TRUE(a.recordFailure("V9", {FailureKind::HttpStatus, 404}));
  EXPECT_TRUE(b.givenUp("V9"));
  ASSERT_TRUE(b.clearFailures());
  EXPECT_EQ(a.attempts("V9"), 0);
  // A recorded video's failures are forgotten with its row.
  ASSERT_TRUE(a.recordFailure("V2", {FailureKind::HttpStatus, 404}));
  ASSERT_TRUE(a.recordVideo(Video("V2")));
  EXPECT_EQ(b.attempts("V2"), 0);
}

TEST(PostgresCatalogue, TheServerGoingAwayIsNotedOnceAndTheOwedRowsAreWrittenWhenItIsBack) {
  ShortLease lease;
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  const std::string uri = cluster.createDatabase("fleet");
  std::mutex mutex;
  std::vector<std::string> notices;
  PostgresCatalogue catalogue(uri, [&](const Text& line) {
    std::lock_guard lock(mutex);
    notices.push_back(GbkToUtf8(line));
  });
  ASSERT_TRUE(catalogue.connected());
  ASSERT_EQ(catalogue.claim("V1"), FleetClaim::Granted);

  ASSERT_TRUE(cluster.stop());
  std::atomic<int> stored = 0;
  EXPECT_FALSE(catalogue.recordVideo(Video("V1"), [&stored] { ++stored; }));
  EXPECT_FALSE(catalogue.recordFailure("V2", {FailureKind::HttpStatus, 404}));
  EXPECT_EQ(catalogue.claim("V3"), FleetClaim::Unavailable);
  EXPECT_FALSE(catalogue.video("V1"));
  EXPECT_EQ(catalogue.owedCount(), 2u);
  EXPECT_EQ(stored, 0);

  ASSERT_TRUE(cluster.start());
  // The row's callback runs once the row is written, after the catalogue lets go of its lock.
  ASSERT_TRUE(WaitFor([&] { return catalogue.owedCount() == 0 && stored == 1; }));
  EXPECT_EQ(catalogue.attempts("V2"), 1);
  EXPECT_EQ(catalogue.video("V1")->path, "/videos/V1.mp4");
  PostgresDatabase db;
  ASSERT_TRUE(db.connect(uri));
  EXPECT_EQ(Count(db, "SELECT count(*) FROM claims WHERE docid = 'V1' AND taken"), 1);
  std::lock_guard lock(mutex);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].rfind("共享视频目录连接不上，暂按本机记录继续：", 0), 0u) << notices[0];
  EXPECT_EQ(notices[1], "共享视频目录已重新连接，补写 2 条记录");
}

}  // namespace
}  // namespace pelvaro
