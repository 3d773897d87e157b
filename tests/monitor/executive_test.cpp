#include "monitor/executive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "monitor/initialization_error.h"
#include "platform/messages.h"
#include "tests/monitor/fake_device_codes.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kFake = "\\\\.\\fake.vxd";

// The test's own handle on fake.vxd, to inject reports and look at acks.
class TFakeControl {
 public:
  TFakeControl() : device_(platform::TDevice::CreateFile(kFake)) {}
  bool Ready() const { return device_ != nullptr; }
  bool Inject(std::uint32_t code, std::uint32_t info, const std::string& path,
              const std::string& newPath = "") {
    TFakeReport report{code, info, {}, {}};
    std::strncpy(report.Path, path.c_str(), sizeof report.Path - 1);
    std::strncpy(report.NewPath, newPath.c_str(), sizeof report.NewPath - 1);
    return device_->DeviceIoControl(kFakeInject, &report, sizeof report, nullptr, 0, nullptr);
  }
  TFakeStatus Status() {
    TFakeStatus status{};
    device_->DeviceIoControl(kFakeQuery, nullptr, 0, &status, sizeof status, nullptr);
    return status;
  }
  void RefuseRegistration(bool refuse) {
    const char flag = refuse ? 1 : 0;
    device_->DeviceIoControl(kFakeRefuseRegistration, &flag, 1, nullptr, 0, nullptr);
  }

 private:
  std::unique_ptr<platform::TDevice> device_;
};

class ExecutiveTest : public ::testing::Test {
 protected:
  ExecutiveTest() {
    host.drives.Set('C', platform::TDriveType::Fixed);
    std::lock_guard guard(db.Lock);
    testing::EnsureDirectory(db, "C:\\A");
  }

  TExecutiveOptions Options() {
    TExecutiveOptions options;
    options.DeviceName = kFake;
    options.AfterReport = [this] {
      std::lock_guard guard(mutex);
      ++applied;
      changed.notify_all();
    };
    return options;
  }
  void WaitForApplied(int count) {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return applied >= count; }));
  }

  testing::TTestHost host;
  TMemoryDB db{host.Services()};
  platform::TEvent stop{false, false};
  TFakeControl fake;
  std::mutex mutex;
  std::condition_variable changed;
  int applied = 0;
};

TEST_F(ExecutiveTest, ADeviceThatCannotBeOpenedEndsTheThreadWith4098) {
  TExecutiveOptions options;
  options.DeviceName = "\\\\.\\missing.vxd";
  TExecutive executive(db, stop, options);
  EXPECT_FALSE(executive.WaitUntilRegistered());
  try {
    std::rethrow_exception(executive.Failure());
  } catch (const EInitialization& e) {
    EXPECT_EQ(std::string(e.what()),
              platform::FormatMessage(platform::kMsgDeviceLoadFailed,
                                      {"varnoke.vxd", "Varnoke", "Varnoke"}));
  }
}

TEST_F(ExecutiveTest, ARefusedRegistrationEndsTheThreadWith4100) {
  ASSERT_TRUE(fake.Ready());
  fake.RefuseRegistration(true);
  TExecutiveOptions options = Options();
  // The owner hears of it at once, from the monitor thread, with the cause.
  std::exception_ptr told;
  std::thread::id toldOn;
  int calls = 0;
  options.OnFailure = [&](std::exception_ptr error) {
    told = error;
    toldOn = std::this_thread::get_id();
    ++calls;
  };
  TExecutive executive(db, stop, options);
  EXPECT_FALSE(executive.WaitUntilRegistered());
  executive.WaitFor();
  fake.RefuseRegistration(false);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(told, executive.Failure());
  EXPECT_NE(toldOn, std::this_thread::get_id());
  try {
    std::rethrow_exception(executive.Failure());
  } catch (const EInitialization& e) {
    EXPECT_NE(std::string(e.what()).find("Failed to initialize the varnoke.vxd virtual device"),
              std::string::npos);
  }
}

TEST_F(ExecutiveTest, AppliesEveryCodeInOrderAndAcknowledgesEachReport) {
  ASSERT_TRUE(fake.Ready());
  TExecutive executive(db, stop, Options());
  ASSERT_TRUE(executive.WaitUntilRegistered());
  const std::uint32_t before = fake.Status().Acknowledged;
  // A sequence whose outcome depends on its order.
  ASSERT_TRUE(fake.Inject(VXD_CODE_CREATE, 0, "C:\\A\\x.txt"));
  ASSERT_TRUE(fake.Inject(VXD_CODE_DIRECTORY, 0, "C:\\A\\Sub"));
  ASSERT_TRUE(fake.Inject(VXD_CODE_RENAME, 0x20, "C:\\A\\x.txt", "C:\\A\\Sub\\y.txt"));
  ASSERT_TRUE(fake.Inject(99, 0, "C:\\A\\unknown"));  // no such code: acknowledged, nothing else
  ASSERT_TRUE(fake.Inject(VXD_CODE_CREATE, 0, "C:\\A\\z.txt"));
  ASSERT_TRUE(fake.Inject(VXD_CODE_DELETE, 0, "C:\\A\\z.txt"));
  ASSERT_TRUE(fake.Inject(VXD_CODE_RENAME, 0x30, "C:\\A\\Sub", "C:\\A\\Moved"));
  ASSERT_TRUE(fake.Inject(VXD_CODE_DIRECTORY, 0, "C:\\A\\Gone"));
  ASSERT_TRUE(fake.Inject(VXD_CODE_DIRECTORY, 7, "C:\\A\\Gone"));  // any non-zero Info removes
  WaitForApplied(9);
  EXPECT_EQ(testing::DumpTree(db), (Lines{"C:\\", "C:\\A\\", "C:\\A\\MOVED\\ Y.TXT"}));
  const TFakeStatus status = fake.Status();
  EXPECT_EQ(status.Acknowledged - before, 9u);
  EXPECT_EQ(status.Outstanding, 0u);
  EXPECT_EQ(executive.ReportsApplied(), 9u);
}

TEST_F(ExecutiveTest, StopsAtOnceAndUnregistersWhenNothingIsPending) {
  ASSERT_TRUE(fake.Ready());
  auto executive = std::make_unique<TExecutive>(db, stop, Options());
  ASSERT_TRUE(executive->WaitUntilRegistered());
  EXPECT_EQ(fake.Status().Registered, 1u);
  stop.Set();
  executive->WaitFor();
  EXPECT_EQ(executive->Failure(), nullptr);
  EXPECT_EQ(fake.Status().Registered, 0u);
  EXPECT_FALSE(fake.Inject(VXD_CODE_CREATE, 0, "C:\\A\\late.txt"));  // nobody to call
  executive.reset();
  EXPECT_EQ(testing::DumpTree(db), (Lines{"C:\\", "C:\\A\\"}));
}

// Shutting down while reports pour in: the stop is seen between two
// reports, not once the burst is over.
TEST_F(ExecutiveTest, StopsBetweenTwoReportsOfABurst) {
  ASSERT_TRUE(fake.Ready());
  TExecutiveOptions options = Options();
  std::atomic<int> seen{0};
  options.AfterReport = [&] {
    if (++seen == 10) stop.Set();
  };
  TExecutive executive(db, stop, options);
  ASSERT_TRUE(executive.WaitUntilRegistered());
  for (int i = 0; i < 2000; ++i) {
    if (!fake.Inject(VXD_CODE_CREATE, 0, "C:\\A\\f" + std::to_string(i))) break;
  }
  executive.WaitFor();
  EXPECT_EQ(executive.Failure(), nullptr);
  EXPECT_EQ(executive.ReportsApplied(), 10u);
  EXPECT_EQ(fake.Status().Registered, 0u);
}

}  // namespace
}  // namespace varnoke
