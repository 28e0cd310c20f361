#pragma once
// The simulated platform and vendor services for collector tests: one in-process simulator on
// ephemeral loopback ports, a fresh data folder, and the host variables pointing at both, for
// the lifetime of the object. The journal of every request the simulator received can be read
// at any time.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/simulator.h"

namespace pelvaro::testing {

// A loopback port that refuses connections for as long as the object lives: bound, never
// listening, so no other test can take it meanwhile.
class RefusedPort {
 public:
  RefusedPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~RefusedPort() { close(fd_); }
  RefusedPort(const RefusedPort&) = delete;
  RefusedPort& operator=(const RefusedPort&) = delete;

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class SimFixture {
 public:
  explicit SimFixture(sim::SimOptions options = {}) {
    char pattern[] = "/tmp/pelvaro-sim-XXXXXX";
    root_ = mkdtemp(pattern);
    std::filesystem::create_directories(root_ + "/run");
    options.ephemeral = true;
    options.journal = root_ + "/journal.jsonl";
    journalPath_ = options.journal;
    simulator_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    started_ = simulator_->Start(error);
    EXPECT_TRUE(started_) << error;
    setenv("PELVARO_RUN_DIR", (root_ + "/run").c_str(), 1);
    if (started_) {
      setenv("PELVARO_PLATFORM_WEB_HOST", address("platform").c_str(), 1);
      setenv("PELVARO_VENDOR_API_HOST", address("vendor_api").c_str(), 1);
      setenv("PELVARO_VENDOR_LIST_HOST", address("vendor_list").c_str(), 1);
    }
  }
  ~SimFixture() {
    simulator_->Stop();
    for (const char* name : {"PELVARO_RUN_DIR", "PELVARO_PLATFORM_WEB_HOST", "PELVARO_VENDOR_API_HOST",
                             "PELVARO_VENDOR_LIST_HOST"}) {
      unsetenv(name);
    }
    std::filesystem::remove_all(root_);
  }
  SimFixture(const SimFixture&) = delete;
  SimFixture& operator=(const SimFixture&) = delete;

  bool started() const { return started_; }
  sim::Simulator& simulator() { return *simulator_; }
  const sim::Graph& graph() const { return simulator_->graph(); }
  std::string address(const std::string& service) const {
    return "127.0.0.1:" + std::to_string(simulator_->Port(service));
  }
  // The program's data folder (history markers go below it).
  std::string runDir() const { return root_ + "/run"; }

  // Every journal line written so far.
  std::vector<nlohmann::json> journal() const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(journalPath_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      // The last line may be in the middle of being written.
      if (auto parsed = nlohmann::json::parse(line, nullptr, false); !parsed.is_discarded()) {
        lines.push_back(std::move(parsed));
      }
    }
    return lines;
  }

  // The request lines (method, target, headers) one service received, oldest first.
  std::vector<nlohmann::json> requests(std::string_view service) const {
    std::vector<nlohmann::json> found;
    for (auto& line : journal()) {
      if (line.value("service", "") == service && line.contains("target")) found.push_back(std::move(line));
    }
    return found;
  }

  // The events ("report", "seed", "categories", ...) one service logged, oldest first.
  std::vector<nlohmann::json> events(std::string_view service, std::string_view event) const {
    std::vector<nlohmann::json> found;
    for (auto& line : journal()) {
      if (line.value("service", "") == service && line.value("event", "") == event)
        found.push_back(std::move(line));
    }
    return found;
  }

  // Waits until condition holds, at most a generous minute (a failure, not a timing check).
  static bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

 private:
  std::string root_;
  std::string journalPath_;
  std::unique_ptr<sim::Simulator> simulator_;
  bool started_ = false;
};

}  // namespace pelvaro::testing
