#include "support/pg_cluster.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pelvaro::testing {

namespace fs = std::filesystem;

namespace {

constexpr const char* kServerUser = "postgres";
constexpr const char* kRole = "pelvaro";

// The folder of initdb and pg_ctl: Debian keeps them out of PATH, one folder per version.
std::string ServerBinFolder() {
  std::error_code error;
  std::string best;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
    const fs::path bin = entry.path() / "bin";
    if (fs::exists(bin / "pg_ctl", error) && bin.string() > best) best = bin.string();
  }
  return best;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

PgCluster::PgCluster() {
  bin_ = ServerBinFolder();
  if (bin_.empty()) {
    problem_ = "no PostgreSQL server installed (/usr/lib/postgresql/*/bin)";
    absent_ = true;
    return;
  }
  char pattern[] = "/tmp/pelvaro-pg-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    problem_ = "no temporary folder";
    return;
  }
  root_ = pattern;
  log_ = root_ + "/tools.log";
  if (geteuid() == 0) {
    const passwd* user = getpwnam(kServerUser);
    if (user == nullptr) {
      problem_ = "running as root without a postgres user";
      return;
    }
    asOtherUser_ = true;
    if (chown(root_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      problem_ = "cannot hand the folder to the postgres user";
      return;
    }
  }
  if (!run("initdb", "-D " + Quoted(root_ + "/data") + " -A trust -U " + kRole +
                         " -E UTF8 --locale=C --no-sync --no-instructions")) {
    problem_ = "initdb failed";
    return;
  }
  start();
}

PgCluster::~PgCluster() {
  if (running_) run("pg_ctl", "-D " + Quoted(root_ + "/data") + " -m immediate -w stop");
  std::error_code ignored;
  if (!root_.empty()) fs::remove_all(root_, ignored);
}

bool PgCluster::run(const std::string& program, const std::string& arguments) {
  std::string command = Quoted(bin_ + "/" + program) + " " + arguments + " >>" + Quoted(log_) + " 2>&1";
  if (asOtherUser_) command = "runuser -u " + std::string(kServerUser) + " -- " + command;
  return std::system(command.c_str()) == 0;
}

bool PgCluster::start() {
  // No TCP listener, a socket in our own folder, and no flushes: the data is thrown away.
  const std::string options = "-k " + root_ + " -c listen_addresses='' -c fsync=off";
  // The server writes its own log as its own user; the tools' output goes to ours.
  running_ = run("pg_ctl", "-D " + Quoted(root_ + "/data") + " -l " + Quoted(root_ + "/server.log") +
                               " -o \"" + options + "\" -w -t 30 start");
  if (!running_ && problem_.empty()) problem_ = "the server did not start";
  return running_;
}

bool PgCluster::stop() {
  if (!running_) return true;
  running_ = !run("pg_ctl", "-D " + Quoted(root_ + "/data") + " -m immediate -w stop");
  return !running_;
}

std::string PgCluster::uri(const std::string& database) const {
  return "postgresql://" + std::string(kRole) + "@/" + database + "?host=" + root_;
}

std::string PgCluster::createDatabase(const std::string& name) {
  if (!run("createdb", "-h " + Quoted(root_) + " -U " + kRole + " " + Quoted(name))) return {};
  return uri(name);
}

}  // namespace pelvaro::testing
