// The handles the hook posts for text fields on the accessibility bus.
#include "hook/edit_controls.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/a11y/edit_control_handle.h"

namespace varnoke::hook {
namespace {

TEST(EditControls, EachFieldGetsAHandleThatIsNoWindowAndTurnsBackIntoIt) {
  TEditControls controls;
  const platform::TAccessibleRef entry{":1.4", "/org/a11y/atspi/accessible/7"};
  const platform::TAccessibleRef other{":1.9", "/org/a11y/atspi/accessible/2147483648"};
  const std::uint32_t first = controls.Add(entry);
  const std::uint32_t second = controls.Add(other);
  // The same field reported again is another report.
  const std::uint32_t third = controls.Add(entry);
  for (const std::uint32_t handle : {first, second, third}) {
    EXPECT_TRUE(platform::IsAccessibleHandle(handle));
    EXPECT_NE(handle & 0x7fffffffu, 0u);
  }
  EXPECT_EQ(std::set<std::uint32_t>({first, second, third}).size(), 3u);
  platform::TAccessibleRef found;
  ASSERT_TRUE(controls.Find(second, found));
  EXPECT_EQ(found, other);
  ASSERT_TRUE(controls.Find(third, found));
  EXPECT_EQ(found, entry);
  // X window ids (their top three bits clear) and 0 are never fields.
  EXPECT_FALSE(platform::IsAccessibleHandle(0x2a0000c));
  EXPECT_FALSE(platform::IsAccessibleHandle(0));
  EXPECT_FALSE(controls.Find(0x2a0000c, found));
  EXPECT_FALSE(controls.Find(0, found));
}

TEST(EditControls, OnlyTheLatestReportsAreKept) {
  TEditControls controls;
  const std::uint32_t oldest = controls.Add({":1.4", "/old"});
  std::uint32_t latest = 0;
  for (std::size_t i = 0; i < TEditControls::kKept; ++i)
    latest = controls.Add({":1.4", "/new" + std::to_string(i)});
  platform::TAccessibleRef found;
  EXPECT_FALSE(controls.Find(oldest, found));
  ASSERT_TRUE(controls.Find(latest, found));
  EXPECT_EQ(found.Path, "/new" + std::to_string(TEditControls::kKept - 1));
}

}  // namespace
}  // namespace varnoke::hook
