#include "app/cli/stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace pelvaro::cli {

int SignalExitStatus(int signal) { return 128 + signal; }

StopSignals::StopSignals(Handler handler) : handler_(std::move(handler)) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signalFd_ = signalfd(-1, &signals, SFD_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || wakeFd_ < 0) {
    // Without a descriptor the signals must keep their default action: they end the process.
    std::perror("pelvaro-cli: signals");
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    return;
  }
  thread_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) std::perror("pelvaro-cli: signals");
    thread_.join();
  }
  if (signalFd_ >= 0) close(signalFd_);
  if (wakeFd_ >= 0) close(wakeFd_);
}

void StopSignals::Watch() {
  for (;;) {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    signalfd_siginfo info{};
    if (read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
    const int signal = static_cast<int>(info.ssi_signo);
    int none = 0;
    if (!received_.compare_exchange_strong(none, signal)) std::_Exit(SignalExitStatus(signal));
    if (handler_) handler_(signal);
  }
}

}  // namespace pelvaro::cli
