#pragma once
// pelvaro-cli as a child process: with its output in files, or on a pseudo-terminal.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pelvaro::e2e {

std::string ReadWholeFile(const std::string& path);

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

class CliRun {
 public:
  // Starts `program` (pelvaro-cli by default; a name without a slash is looked up in PATH)
  // with the flags; stdout and stderr go to the files cli.out and cli.err in folder. With `uid` the child
  // runs as that user (a root test needs it for a folder it may not write).
  CliRun(const std::string& folder, std::vector<std::string> flags, const EnvChanges& env = {},
         const std::string& program = PELVARO_CLI_PATH, std::optional<uid_t> uid = std::nullopt);
  ~CliRun();
  CliRun(const CliRun&) = delete;
  CliRun& operator=(const CliRun&) = delete;

  // The exit status; -1 for a child that died of a signal, or that did not end within the
  // guard (it is then killed).
  int wait(std::chrono::seconds guard = std::chrono::seconds(120));
  void signal(int number);
  void interrupt();
  std::string out() const { return ReadWholeFile(out_); }
  std::string err() const { return ReadWholeFile(err_); }
  // Polls stderr until it holds `text`; false when the guard ran out or the child ended.
  bool waitForErr(const std::string& text, std::chrono::seconds guard = std::chrono::seconds(60)) const;

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
};

// pelvaro-cli on a pseudo-terminal `columns` wide: stdout and stderr both go to it. Returns
// everything the terminal received and the exit status (-1 after the guard). With `typed`, the
// keys are typed on the terminal once its output holds `after` (a "\x03" is Ctrl-C: the
// terminal sends SIGINT and echoes "^C", as for a user).
struct TerminalRun {
  std::string screen;
  int status = -1;
};
struct Typed {
  std::string after;
  std::string keys;
};
TerminalRun RunOnTerminal(std::vector<std::string> flags, int columns = 160,
                          std::chrono::seconds guard = std::chrono::seconds(120),
                          const std::optional<Typed>& typed = std::nullopt);

}  // namespace pelvaro::e2e
