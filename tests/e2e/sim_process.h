#pragma once
// The simulator as a child process on ephemeral ports, for the length of one test. Starting it
// points the program's host variables at it and gives the test a fresh data folder.

#include <sys/types.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace pelvaro::e2e {

class SimProcess {
 public:
  // Starts pelvaro-sim with --ephemeral, a ports file, a journal and the extra flags, waits
  // until every service listens and sets the PELVARO_*_HOST variables and PELVARO_RUN_DIR.
  explicit SimProcess(std::vector<std::string> flags = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool started() const { return pid_ > 0 && !ports_.empty(); }
  int port(const std::string& service) const { return ports_.at(service); }
  // The data folder of this test (removed at the end).
  const std::string& runDir() const { return runDir_; }

  // Every journal line written so far, parsed.
  std::vector<nlohmann::json> journal() const;
  // The journal lines of one service with a method (requests only, no events).
  std::vector<nlohmann::json> requests(const std::string& service) const;

 private:
  std::string root_;
  std::string runDir_;
  std::string journalPath_;
  pid_t pid_ = -1;
  std::map<std::string, int> ports_;
};

// Every regular file below folder, as paths relative to it.
std::vector<std::string> FilesBelow(const std::string& folder);

}  // namespace pelvaro::e2e
