#pragma once
// The simulated platform as a child process on ephemeral loopback ports, with a request
// journal. The host variables of the program point at it while it runs.

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef PELVARO_SIM
#error "the shell tests start the simulator, which the build has not found"
#endif

extern char** environ;

namespace pelvaro::testing {

class SimProcess {
 public:
  // Starts the simulator with the extra flags; started() tells whether its ports are known.
  SimProcess(const std::string& folder, std::vector<std::string> flags) : folder_(folder) {
    std::string portsFile = folder + "/ports.json";
    journal_ = folder + "/journal.jsonl";
    std::vector<std::string> args = {PELVARO_SIM, "--ephemeral", "--ports-file", portsFile,
                                     "--journal", journal_,      "--articles",   "50"};
    args.insert(args.end(), flags.begin(), flags.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, PELVARO_SIM, nullptr, nullptr, argv.data(), environ) != 0) {
      pid_ = 0;
      return;
    }
    // The ports file appears once every service listens.
    for (int i = 0; i < 6000 && !std::filesystem::exists(portsFile); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(portsFile);
    ports_ = nlohmann::json::parse(in, nullptr, false);
    if (!started()) return;
    const std::pair<const char*, const char*> variables[] = {
        {"PELVARO_VENDOR_API_HOST", "vendor_api"}, {"PELVARO_UPDATE_HOST1", "update1"},
        {"PELVARO_UPDATE_HOST2", "update2"},       {"PELVARO_UPDATE_HOST3", "update3"},
        {"PELVARO_QUOTE_SERVICE_HOST", "quote"},   {"PELVARO_SPEECH_SERVICE_HOST", "speech"},
    };
    for (auto [variable, service] : variables) setenv(variable, address(service).c_str(), 1);
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool started() const { return pid_ > 0 && ports_.is_object() && ports_.contains("update1"); }
  std::string address(const char* service) const {
    return "127.0.0.1:" + std::to_string(ports_.value(service, 0));
  }
  // Every journal line of one service.
  std::vector<nlohmann::json> journal(const std::string& service) const {
    std::vector<nlohmann::json> lines;
    std::ifstream in(journal_);
    std::string line;
    while (std::getline(in, line)) {
      auto entry = nlohmann::json::parse(line, nullptr, false);
      if (entry.is_object() && entry.value("service", "") == service) lines.push_back(entry);
    }
    return lines;
  }

 private:
  std::string folder_;
  std::string journal_;
  pid_t pid_ = 0;
  nlohmann::json ports_;
};

}  // namespace pelvaro::testing
