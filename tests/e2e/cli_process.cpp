#include "e2e/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace pelvaro::e2e {

namespace {

std::vector<std::string> Environment(const EnvChanges& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (changes.count(entry.substr(0, entry.find('='))) == 0) env.push_back(entry);
  }
  for (const auto& [name, value] : changes) {
    if (value) env.push_back(name + "=" + *value);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Waits for the child; -1 when it died of a signal or outlived the guard (then killed).
int Reap(pid_t pid, std::chrono::seconds guard) {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

CliRun::CliRun(const std::string& folder, std::vector<std::string> flags, const EnvChanges& env,
               const std::string& program, std::optional<uid_t> uid)
    : out_(folder + "/cli.out"), err_(folder + "/cli.err") {
  std::vector<std::string> arguments = {program};
  arguments.insert(arguments.end(), flags.begin(), flags.end());
  std::vector<std::string> environment = Environment(env);
  auto argv = Pointers(arguments);
  auto envp = Pointers(environment);
  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    if (uid && (setgid(*uid) != 0 || setuid(*uid) != 0)) _exit(126);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
}

CliRun::~CliRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int CliRun::wait(std::chrono::seconds guard) {
  const int status = Reap(pid_, guard);
  pid_ = -1;
  return status;
}

void CliRun::signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

void CliRun::interrupt() { signal(SIGINT); }

bool CliRun::waitForErr(const std::string& text, std::chrono::seconds guard) const {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  while (std::chrono::steady_clock::now() < deadline) {
    if (err().find(text) != std::string::npos) return true;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) {
      return err().find(text) != std::string::npos;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TerminalRun RunOnTerminal(std::vector<std::string> flags, int columns, std::chrono::seconds guard,
                          const std::optional<Typed>& typed) {
  std::vector<std::string> arguments = {PELVARO_CLI_PATH};
  arguments.insert(arguments.end(), flags.begin(), flags.end());
  auto argv = Pointers(arguments);
  winsize size{};
  size.ws_row = 40;
  size.ws_col = static_cast<unsigned short>(columns);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  TerminalRun run;
  if (pid < 0) return run;
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + guard;
  char buffer[4096];
  bool keysTyped = false;
  for (;;) {
    pollfd fd{master, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline) break;
    if (poll(&fd, 1, 200) <= 0) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child and its terminal are gone
    run.screen.append(buffer, static_cast<std::size_t>(got));
    if (typed && !keysTyped && run.screen.find(typed->after) != std::string::npos) {
      keysTyped = write(master, typed->keys.data(), typed->keys.size()) > 0;
    }
  }
  close(master);
  run.status = Reap(pid, std::chrono::seconds(5));
  return run;
}

}  // namespace pelvaro::e2e
