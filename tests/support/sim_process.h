#pragma once
// The simulator as a child process on ephemeral loopback ports, for the length of one test.
// Starting it points the program's host variables at it, trusts its certificate
// (PELVARO_CA_FILE) and its update-signing key (PELVARO_UPDATE_KEY_FILE), and, unless the test
// brings its own data folder, sets PELVARO_RUN_DIR to a fresh one; ending it stops the
// simulator and puts those variables back as they were.

#include <sys/types.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::testing {

class SimProcess {
 public:
  // Starts pelvaro-sim with --ephemeral, a ports file, a journal and the extra flags in a
  // folder of its own (removed at the end) and waits until every service listens. Without
  // runDir the data folder is "run" in that folder; with one, PELVARO_RUN_DIR stays the test's.
  explicit SimProcess(std::vector<std::string> flags = {}, std::string runDir = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool started() const { return pid_ > 0 && !ports_.empty(); }
  int port(const std::string& service) const { return ports_.at(service); }
  // "127.0.0.1:<port>" of one service.
  std::string address(const std::string& service) const;
  // The data folder of this test.
  const std::string& runDir() const { return runDir_; }

  // Every journal line written so far, parsed.
  std::vector<nlohmann::json> journal() const;
  // Every journal line of one service.
  std::vector<nlohmann::json> journal(const std::string& service) const;
  // The journal lines of one service with a method (requests only, no events).
  std::vector<nlohmann::json> requests(const std::string& service) const;

 private:
  void setVariable(const std::string& name, const std::string& value);

  std::string root_;
  std::string runDir_;
  std::string journalPath_;
  pid_t pid_ = -1;
  std::map<std::string, int> ports_;
  // The variables changed, with the values they had before.
  std::map<std::string, std::optional<std::string>> saved_;
};

// Every regular file below folder, as paths relative to it.
std::vector<std::string> FilesBelow(const std::string& folder);

}  // namespace pelvaro::testing
