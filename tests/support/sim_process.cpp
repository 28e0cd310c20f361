#include "support/sim_process.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace pelvaro::testing {

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::string>& HostVariables() {
  static const std::map<std::string, std::string> variables = {
      {"platform", "PELVARO_PLATFORM_WEB_HOST"},   {"vendor_api", "PELVARO_VENDOR_API_HOST"},
      {"vendor_list", "PELVARO_VENDOR_LIST_HOST"}, {"update1", "PELVARO_UPDATE_HOST1"},
      {"update2", "PELVARO_UPDATE_HOST2"},         {"update3", "PELVARO_UPDATE_HOST3"},
      {"quote", "PELVARO_QUOTE_SERVICE_HOST"},     {"speech", "PELVARO_SPEECH_SERVICE_HOST"},
  };
  return variables;
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> flags, std::string runDir) {
  char pattern[] = "/tmp/pelvaro-sim-XXXXXX";
  root_ = mkdtemp(pattern);
  const bool ownRunDir = runDir.empty();
  runDir_ = ownRunDir ? root_ + "/run" : std::move(runDir);
  fs::create_directories(runDir_);
  journalPath_ = root_ + "/journal.jsonl";
  const std::string portsPath = root_ + "/ports.json";
  const std::string certificate = root_ + "/cert.pem";
  const std::string updateKey = root_ + "/update-key.pub";

  std::vector<std::string> arguments = {PELVARO_SIM_PATH,   "--ephemeral", "--ports-file", portsPath,
                                        "--journal",        journalPath_,  "--cert-out",   certificate,
                                        "--update-key-out", updateKey};
  arguments.insert(arguments.end(), flags.begin(), flags.end());
  std::vector<char*> argv;
  for (auto& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The simulator dies with the test: a test that hangs and is killed by the runner must not
  // leave a simulator behind. Only async-signal-safe calls between fork and exec.
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  if (pid_ < 0) return;
  // The ports file appears once every service listens. The bound only keeps a broken
  // simulator from hanging the test.
  for (int i = 0; i < 3000 && ports_.empty(); ++i) {
    std::ifstream in(portsPath);
    nlohmann::json ports = nlohmann::json::parse(in, nullptr, false);
    if (!ports.is_discarded() && ports.is_object() && ports.size() == HostVariables().size()) {
      for (const auto& [service, variable] : HostVariables()) {
        ports_[service] = ports.at(service).get<int>();
        setVariable(variable, address(service));
      }
      break;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ownRunDir) setVariable("PELVARO_RUN_DIR", runDir_);
  setVariable("PELVARO_CA_FILE", certificate);
  setVariable("PELVARO_UPDATE_KEY_FILE", updateKey);
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  for (const auto& [name, value] : saved_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void SimProcess::setVariable(const std::string& name, const std::string& value) {
  if (!saved_.contains(name)) {
    const char* before = std::getenv(name.c_str());
    saved_[name] = before != nullptr ? std::optional<std::string>(before) : std::nullopt;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

std::string SimProcess::address(const std::string& service) const {
  auto found = ports_.find(service);
  return "127.0.0.1:" + std::to_string(found == ports_.end() ? 0 : found->second);
}

std::vector<nlohmann::json> SimProcess::journal() const {
  std::vector<nlohmann::json> lines;
  std::ifstream in(journalPath_);
  std::string line;
  while (std::getline(in, line)) {
    auto value = nlohmann::json::parse(line, nullptr, false);
    if (!value.is_discarded()) lines.push_back(std::move(value));
  }
  return lines;
}

std::vector<nlohmann::json> SimProcess::journal(const std::string& service) const {
  std::vector<nlohmann::json> result;
  for (auto& line : journal()) {
    if (line.value("service", "") == service) result.push_back(std::move(line));
  }
  return result;
}

std::vector<nlohmann::json> SimProcess::requests(const std::string& service) const {
  std::vector<nlohmann::json> result;
  for (auto& line : journal()) {
    if (line.value("service", "") == service && line.contains("method")) result.push_back(std::move(line));
  }
  return result;
}

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace pelvaro::testing
