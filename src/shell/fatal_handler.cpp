// The fatal-error handler of bug_report.h: everything a signal handler touches is prepared at
// installation, so the handler itself only picks prepared strings and calls execve().

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/data_folder.h"
#include "shell/bug_report.h"

extern char** environ;

namespace pelvaro {
namespace {

constexpr std::array<std::pair<int, const char*>, 5> kCrashSignals{{
    {SIGSEGV, "内存访问越界（SIGSEGV）"},
    {SIGBUS, "总线错误（SIGBUS）"},
    {SIGFPE, "算术运算错误，例如除以零（SIGFPE）"},
    {SIGILL, "非法指令（SIGILL）"},
    {SIGABRT, "程序异常中止（SIGABRT）"},
}};

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

Text Unhex(std::string_view hex) {
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Text out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int high = value(hex[i]);
    int low = value(hex[i + 1]);
    if (high < 0 || low < 0) break;
    out += static_cast<char>(high * 16 + low);
  }
  return out;
}

// The prepared argument vector of one report invocation.
struct ReportCall {
  std::string code;
  std::string text;
  std::array<char*, 5> argv{};
};

struct HandlerState {
  std::string executable;
  std::string reportSwitch{kFatalReportSwitch};
  std::array<ReportCall, kCrashSignals.size()> signalCalls;
};

HandlerState* g_state = nullptr;
std::atomic<bool> g_entered{false};

void Prepare(ReportCall& call) {
  call.argv = {g_state->executable.data(), g_state->reportSwitch.data(), call.code.data(), call.text.data(),
               nullptr};
}

[[noreturn]] void ExecReport(char* const* argv) {
  execve(g_state->executable.c_str(), argv, environ);
  _exit(kFatalExitStatus);
}

void OnCrashSignal(int signal) {
  // A second fault (in another thread, or while preparing) ends the process without a report.
  if (g_entered.exchange(true)) _exit(kFatalExitStatus);
  for (std::size_t i = 0; i < kCrashSignals.size(); ++i) {
    if (kCrashSignals[i].first == signal) ExecReport(g_state->signalCalls[i].argv.data());
  }
  _exit(kFatalExitStatus);
}

void OnTerminate() {
  if (g_entered.exchange(true)) _exit(kFatalExitStatus);
  Text text = Gbk("程序调用了terminate");
  if (auto error = std::current_exception()) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      text = Gbk("未处理的异常：") + e.what();
    } catch (...) {
      text = Gbk("未处理的异常");
    }
  }
  ReportCall call{std::to_string(kUncaughtExceptionCode), Hex(text), {}};
  Prepare(call);
  ExecReport(call.argv.data());
}

}  // namespace

void InstallFatalErrorHandler() {
  if (g_state != nullptr) return;
  g_state = new HandlerState;  // lives until the process ends; a signal may use it at any time
  g_state->executable = ExecutablePath().bytes();
  for (std::size_t i = 0; i < kCrashSignals.size(); ++i) {
    auto& call = g_state->signalCalls[i];
    call.code = std::to_string(kCrashSignals[i].first);
    call.text = Hex(Gbk(kCrashSignals[i].second));
    Prepare(call);
  }

  static std::vector<char> alternateStack(std::max<std::size_t>(SIGSTKSZ, 64 * 1024));
  stack_t stack{};
  stack.ss_sp = alternateStack.data();
  stack.ss_size = alternateStack.size();
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_handler = OnCrashSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_ONSTACK;
  for (const auto& [signal, text] : kCrashSignals) sigaction(signal, &action, nullptr);
  std::set_terminate(OnTerminate);
}

std::optional<int> RunFatalReportIfRequested(int argc, char** argv, const FatalMessageBox& show) {
  if (argc < 4 || argv[1] != kFatalReportSwitch) return std::nullopt;
  // The crashed image's blocked signals survive execve; this run starts with none blocked.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  auto code = static_cast<std::int32_t>(std::strtol(argv[2], nullptr, 10));
  ReportFatalError(code, Unhex(argv[3]), show);
  return kFatalExitStatus;
}

}  // namespace pelvaro
