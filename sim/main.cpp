// pelvaro-sim: the simulated platform and vendor services on loopback.

#include <csignal>
#include <cstdio>

#include "sim/sim_options.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
  using namespace pelvaro::sim;
  SimOptions options;
  std::string error;
  bool help = false;
  bool version = false;
  if (!ParseSimOptions(argc, argv, options, error, help, version)) {
    std::fprintf(stderr, "pelvaro-sim: %s\n%s", error.c_str(), SimUsage().c_str());
    return 2;
  }
  if (help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  if (version) {
    std::puts("pelvaro-sim " PELVARO_VERSION);
    return 0;
  }
  // Block the stop signals before any thread starts, so only sigwait below receives them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  Simulator simulator(options);
  if (!simulator.Start(error)) {
    std::fprintf(stderr, "pelvaro-sim: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "pelvaro-sim: listening %s", simulator.PortsJson().c_str());
  int received = 0;
  sigwait(&stop_signals, &received);
  simulator.Stop();
  std::fprintf(stderr, "pelvaro-sim: stopped\n");
  return 0;
}
