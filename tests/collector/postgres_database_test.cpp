#include "collector/postgres_database.h"

#include <gtest/gtest.h>

#include "support/pg_cluster.h"

namespace pelvaro {
namespace {

using testing::PgCluster;

TEST(PostgresDatabase, RunsStatementsWithParametersAndSurvivesTheServerGoingAway) {
  PgCluster cluster;
  PELVARO_REQUIRE_PG_CLUSTER(cluster);
  const std::string uri = cluster.createDatabase("catalogue");
  ASSERT_FALSE(uri.empty());

  PostgresDatabase db;
  ASSERT_TRUE(db.connect(uri)) << db.lastError();
  ASSERT_TRUE(db.exec("CREATE TABLE t (id text PRIMARY KEY, n bigint)").ok());
  // Parameters travel apart from the statement: quotes and NULL are data, not SQL.
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES ($1, $2)", {"a'); DROP TABLE t; --", "42"}).ok());
  ASSERT_TRUE(db.exec("INSERT INTO t VALUES ($1, $2)", {"猫咪😂", std::nullopt}).ok());
  PostgresResult rows = db.exec("SELECT id, n FROM t ORDER BY n NULLS LAST");
  ASSERT_TRUE(rows.ok());
  ASSERT_EQ(rows.rows(), 2);
  EXPECT_EQ(rows.text(0, 0), "a'); DROP TABLE t; --");
  EXPECT_EQ(rows.integer(0, 1), 42);
  EXPECT_EQ(rows.text(1, 0), "猫咪😂");
  EXPECT_TRUE(rows.isNull(1, 1));

  // A fault of the statement is not a lost connection.
  PostgresResult duplicate = db.exec("INSERT INTO t VALUES ($1, 1)", {"猫咪😂"});
  EXPECT_FALSE(duplicate.ok());
  EXPECT_EQ(duplicate.sqlState(), "23505");
  EXPECT_FALSE(IsConnectionFailure(duplicate, db));

  ASSERT_TRUE(cluster.stop());
  PostgresResult lost = db.exec("SELECT 1");
  EXPECT_FALSE(lost.ok());
  EXPECT_TRUE(IsConnectionFailure(lost, db));
  EXPECT_FALSE(db.reconnect());

  ASSERT_TRUE(cluster.start());
  ASSERT_TRUE(db.reconnect()) << db.lastError();
  EXPECT_EQ(db.exec("SELECT count(*) FROM t").integer(0, 0), 2);
}

TEST(PostgresDatabase, AnUnreachableServerFailsWithinItsTimeOut) {
  PostgresDatabase db;
  EXPECT_FALSE(db.connect("postgresql://nobody@/none?host=/nonexistent-socket-folder"));
  EXPECT_FALSE(db.connected());
  EXPECT_FALSE(db.exec("SELECT 1").ok());
  EXPECT_FALSE(db.lastError().empty());
}

}  // namespace
}  // namespace pelvaro
