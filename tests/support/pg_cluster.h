#pragma once
// A throwaway PostgreSQL server for the length of one test: `initdb` into a folder of its own,
// started with `pg_ctl` on a Unix socket in that folder (no TCP port), removed at the end. Run
// as root, the server runs as the "postgres" user, since PostgreSQL refuses to run as root.

#include <string>

namespace pelvaro::testing {

class PgCluster {
 public:
  PgCluster();
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // Whether the server tools were found and the server runs.
  bool started() const { return running_; }
  // Why it did not start.
  const std::string& problem() const { return problem_; }
  // No server is installed at all (initdb and pg_ctl not found).
  bool absent() const { return absent_; }

  // A new empty database and its connection URI.
  std::string createDatabase(const std::string& name);
  // The URI of a database of this server.
  std::string uri(const std::string& database) const;

  // Stops the server at once (as a crash would), or starts it again on the same folder.
  bool stop();
  bool start();

 private:
  // Runs one of the server's programs (as the server's user) and waits for it; true when it
  // exited with 0.
  bool run(const std::string& program, const std::string& arguments);

  std::string bin_;
  std::string root_;
  std::string log_;
  bool asOtherUser_ = false;
  bool running_ = false;
  bool absent_ = false;
  std::string problem_;
};

}  // namespace pelvaro::testing

// In a test: skips it, saying why, on a machine without the server; fails it when the server is
// installed but does not start.
#define PELVARO_REQUIRE_PG_CLUSTER(cluster)                                                       \
  if ((cluster).absent()) GTEST_SKIP() << "PostgreSQL is not installed: " << (cluster).problem(); \
  ASSERT_TRUE((cluster).started()) << (cluster).problem()
