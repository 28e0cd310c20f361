#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

TEST(Worker, StopEndsAWaitAtOnceAndTheJobSeesIt) {
  std::atomic<bool> waitedFully{true};
  std::atomic<bool> sawStop{false};
  Worker worker;
  worker.Start([&] {
    waitedFully = WaitFor(std::chrono::hours(1));
    sawStop = StopRequested();
  });
  EXPECT_TRUE(worker.Running());
  worker.RequestStop();
  worker.Join();
  EXPECT_FALSE(waitedFully);
  EXPECT_TRUE(sawStop);
  EXPECT_FALSE(worker.Running());
}

TEST(Worker, RestartStopsThePreviousJobAndGivesAFreshToken) {
  std::atomic<int> finished{0};
  Worker worker;
  worker.Start([&] {
    WaitFor(std::chrono::hours(1));
    ++finished;
  });
  worker.Start([&] { ++finished; });
  worker.Join();
  EXPECT_FALSE(worker.Token().stop_requested());
  // The first job was stopped and is reaped in the background.
  for (int i = 0; i < 500 && finished < 2; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(finished, 2);
}

TEST(Worker, DestroyingARunningWorkerDoesNotBlock) {
  std::atomic<bool> ended{false};
  {
    Worker worker;
    worker.Start([&] {
      WaitFor(std::chrono::hours(1));
      ended = true;
    });
  }
  for (int i = 0; i < 500 && !ended; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(ended);
}

TEST(Worker, WaitWithoutWorkerSleeps) {
  EXPECT_TRUE(WaitFor(1ms));
  EXPECT_FALSE(StopRequested());
}

}  // namespace
}  // namespace pelvaro
