// The inotify watch limit as read from the kernel's file, and the value the
// program suggests raising it to.
#include "platform/desktop/watch_limit.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/messages.h"
#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

TEST(WatchLimitTest, IsReadFromTheKernelsFileAndNothingElse) {
  testing::TTempDir temp;
  const std::string file = temp.Path() + "/max_user_watches";
  std::ofstream(file) << "8192\n";
  EXPECT_EQ(ReadWatchLimit(file), 8192);
  std::ofstream(file) << "many\n";
  EXPECT_EQ(ReadWatchLimit(file), std::nullopt);
  EXPECT_EQ(ReadWatchLimit(temp.Path() + "/missing"), std::nullopt);
}

TEST(WatchLimitTest, TheSuggestionLeavesRoomForAsManyAgainInWholeSteps) {
  EXPECT_EQ(SuggestedWatchLimit(8192, 1000), 65536);
  EXPECT_EQ(SuggestedWatchLimit(65536, 1), 131072);
  EXPECT_EQ(SuggestedWatchLimit(124983, 40000), 262144);
}

TEST(WatchLimitTest, TheMessageNamesTheCountTheLimitAndWhatToRun) {
  const std::string text =
      FormatMessage(kMsgFoldersUnwatched, {std::int64_t{1234}, std::int64_t{8192}, "Varnoke",
                                           kWatchLimitSetting, SuggestedWatchLimit(8192, 1234)});
  EXPECT_NE(text.find("1234 folders"), std::string::npos) << text;
  EXPECT_NE(text.find("limit of 8192 inotify watches"), std::string::npos) << text;
  EXPECT_NE(text.find("sudo sysctl fs.inotify.max_user_watches=65536"), std::string::npos) << text;
}

}  // namespace
}  // namespace varnoke::platform
