#pragma once
// The fatal-error report: a message to the user and a notice to the vendor's notification
// service, then the end of the process with exit status 255.
//
// How a fatal error reaches the report: InstallFatalErrorHandler() (start-up step 3) makes
// uncaught exceptions (std::set_terminate) and crash signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) on any thread start the program's own executable again, in place of the failing
// process image (execve, which is async-signal-safe), with the arguments
//     <executable> --pelvaro-fatal-report <code> <error text as hex>
// The program's main() must call RunFatalReportIfRequested() before anything else and return
// its value when it has one: that run shows the message, sends the notice and returns 255.
// Nothing is reported for errors before the handler is installed, or inside the report itself.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/text.h"

namespace pelvaro {

// The vendor's mailbox that receives the notices.
inline constexpr std::string_view kVendorNoticeAddressee = "bugs@tormel.example";

inline constexpr std::string_view kFatalReportSwitch = "--pelvaro-fatal-report";
inline constexpr int kFatalExitStatus = 255;  // the process's −1
// The code reported for an uncaught exception; a crash signal reports its number.
inline constexpr std::int32_t kUncaughtExceptionCode = 1;

// What the report says about the machine and the program.
struct FatalReportFacts {
  Text host;    // network host name; empty when unreadable or longer than 15 bytes
  Text exe;     // executable file name without folder
  Text folder;  // RunDir, as shown
  Text os;      // operating-system name
};
FatalReportFacts GatherFatalReportFacts();

// "电脑" + host + "发现bug，软件-" + exe + "版本号" + version, every ASCII and full-width blank removed.
Text NoticeTitle(const FatalReportFacts& facts);
Text NoticeBody(const FatalReportFacts& facts, std::int32_t code, const Text& text);
Text FatalErrorMessage(std::int32_t code, const Text& text);
Text FatalErrorTitle();  // "Tormel软件bug提示"

// The host name rule: empty when the name does not fit a 16-byte buffer with its terminator.
Text ReportHostName(std::string_view systemHostName);
// PRETTY_NAME of an os-release file (UTF-8 content, value unquoted), as GBK; "Linux" without one.
Text OperatingSystemNameFrom(std::string_view osRelease);
Text OperatingSystemName();  // from /etc/os-release, falling back to /usr/lib/os-release

// GET http://VendorApiHost:8899/tongzhi?mubiao=<addressee>&title=<%title>&body=<%body>&sa=1 with
// the sign line; every byte of title and body percent-encoded. Returns the answer's text.
Text SendVendorNotice(const Text& addressee, const Text& title, const Text& body);

// Shows a message (OK only, no owner window) and returns when it was dismissed.
using FatalMessageBox = std::function<void(const Text& message, const Text& title)>;

// Shows the message, then sends the notice; the caller ends the process afterwards.
void ReportFatalError(std::int32_t code, const Text& text, const FatalMessageBox& show);

// Installs the handlers described at the top. Call once, from the thread that runs the
// windows (it also gets an alternate signal stack, so a stack overflow there is reported).
void InstallFatalErrorHandler();

// When argv is a report invocation: reports and returns kFatalExitStatus; else std::nullopt.
std::optional<int> RunFatalReportIfRequested(int argc, char** argv, const FatalMessageBox& show);

}  // namespace pelvaro
