// Live updates under load: every core busy with processes of its own, and
// the device's reader stalled for a while in the middle, while random
// changes run. Each run must end with the tree a fresh scan would give:
// lag may make the tree late, never wrong. Every other run starts on a
// saved tree the disk has moved on from, so that all of it happens while
// the catch-up runs. VARNOKE_STRESS_RUNS sets the runs per source
// (default 2: one from a scan, one from a load).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/monitor/live_monitor.h"

namespace varnoke {
namespace {

// One process spinning on each core for as long as the object lives.
class TBusyCores {
 public:
  TBusyCores() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        volatile unsigned long spin = 0;
        for (;;)
          spin = spin + 1;
      }
      if (pid > 0) children_.push_back(pid);
    }
  }
  ~TBusyCores() {
    for (const pid_t pid : children_)
      ::kill(pid, SIGKILL);
    for (const pid_t pid : children_)
      ::waitpid(pid, nullptr, 0);
  }
  TBusyCores(const TBusyCores&) = delete;
  TBusyCores& operator=(const TBusyCores&) = delete;

 private:
  std::vector<pid_t> children_;
};

int Runs() {
  const char* runs = std::getenv("VARNOKE_STRESS_RUNS");
  const int value = runs != nullptr ? std::atoi(runs) : 0;
  return value > 0 ? value : 2;
}

class StressMonitorTest : public ::testing::TestWithParam<std::tuple<std::uint32_t, int>> {};

TEST_P(StressMonitorTest, StaysTheSameAsAFreshScanUnderLoadAndAStall) {
  const auto [source, run] = GetParam();
  testing::TLiveMonitor live(static_cast<std::uint32_t>(7919 * run + source));
  TExecutiveOptions options;
  options.Source = source;
  const bool afterLoad = run % 2 == 1;
  bool started = false;
  if (afterLoad) {
    live.model.Populate(150, 2500);
    live.SaveARun();
    live.Steps(1000);
    started = live.StartAfterLoad(std::move(options));
  } else {
    started = live.Start(std::move(options));
  }
  if (!started) {
    ASSERT_EQ(source, VXD_SOURCE_FANOTIFY) << "the device did not start";
    GTEST_SKIP() << "fanotify needs CAP_SYS_ADMIN";
  }
  {
    const TBusyCores busy;
    live.Steps(2000);
    // Stalled, inotify loses events (more than its queue holds), fanotify
    // only falls far behind.
    live.PauseReading(true);
    live.model.Churn(9000);
    live.Steps(1500);
    live.PauseReading(false);
    live.Steps(1500);
  }
  // The disk stands still from here on, and the device is as far behind as
  // the load made it: the load would only slow the catch-up down.
  live.CatchUp();
  live.ExpectSameAsAFreshScan();
  if (afterLoad) {
    EXPECT_TRUE(live.executive->CatchUp().Status().Ended);
  }
}

std::string ParamName(const ::testing::TestParamInfo<std::tuple<std::uint32_t, int>>& info) {
  return testing::SourceName(std::get<0>(info.param)) + "_Run" +
         std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Sources, StressMonitorTest,
                         ::testing::Combine(::testing::Values(VXD_SOURCE_INOTIFY,
                                                              VXD_SOURCE_FANOTIFY),
                                            ::testing::Range(0, Runs())),
                         ParamName);

}  // namespace
}  // namespace varnoke
