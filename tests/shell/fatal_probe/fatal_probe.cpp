// A program that installs the fatal-error handler and then fails the way its first argument
// says ("signal", "throw", "thread-throw"). Its report run writes the message it would show to
// the file named by PROBE_MESSAGE_FILE, noting whether the notice had already arrived (the
// test's server creates PROBE_NOTICE_FLAG when it gets the notice).

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "shell/bug_report.h"

int main(int argc, char** argv) {
  auto show = [](const pelvaro::Text& message, const pelvaro::Text& title) {
    const char* flag = std::getenv("PROBE_NOTICE_FLAG");
    bool noticeFirst = flag != nullptr && std::filesystem::exists(flag);
    std::ofstream(std::getenv("PROBE_MESSAGE_FILE"), std::ios::binary)
        << title << "\n"
        << message << "\n"
        << (noticeFirst ? "notice-before-message" : "message-first");
  };
  if (auto status = pelvaro::RunFatalReportIfRequested(argc, argv, show)) return *status;
  if (argc < 2) return 2;
  std::string how = argv[1];
  pelvaro::InstallFatalErrorHandler();
  if (how == "signal") raise(SIGSEGV);
  if (how == "fpe") raise(SIGFPE);
  if (how == "throw") throw std::runtime_error("index out of range");
  if (how == "thread-throw") {
    std::thread([] { throw std::logic_error("worker failed"); }).join();
  }
  return 0;
}
