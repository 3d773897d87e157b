#include "platform/runtime/single_instance.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace varnoke::platform {
namespace {

// A name of this test run's own, so a running program is never disturbed.
std::string TestName() {
  return "VarnokeTest-" + std::to_string(::getpid());
}

TEST(SingleInstance, OneHolderAtATimeUntilItGoes) {
  auto first = TSingleInstance::Acquire(TestName());
  ASSERT_NE(first, nullptr);
  std::string problem = "unset";
  EXPECT_EQ(TSingleInstance::Acquire(TestName(), &problem), nullptr);
  EXPECT_EQ(problem, "");  // taken, which is no error
  EXPECT_NE(TSingleInstance::Acquire(TestName() + "-other"), nullptr);
  first.reset();
  EXPECT_NE(TSingleInstance::Acquire(TestName()), nullptr);
}

TEST(SingleInstance, TheNameGoesWithTheProcessAndNotToItsChildren) {
  const pid_t child = ::fork();
  if (child == 0) {
    auto held = TSingleInstance::Acquire(TestName());
    ::_exit(held != nullptr ? 0 : 1);  // ends without releasing anything itself
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  auto mine = TSingleInstance::Acquire(TestName());
  ASSERT_NE(mine, nullptr);
  EXPECT_TRUE(::fcntl(mine->Fd(), F_GETFD) & FD_CLOEXEC);
  EXPECT_NE(TSingleInstance::SocketName("Varnoke96").find(std::to_string(::getuid())),
            std::string::npos);
}

}  // namespace
}  // namespace varnoke::platform
