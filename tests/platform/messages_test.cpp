#include "platform/messages.h"

#include <gtest/gtest.h>

namespace varnoke::platform {
namespace {

TEST(Messages, FillPlaceholdersInOrder) {
  EXPECT_EQ(FormatText("%s has %d files (%d%%)", {"C:", 12, -3}), "C: has 12 files (-3%)");
  EXPECT_EQ(FormatText("%s and %s", {"one"}), "one and %s");  // a missing argument
  EXPECT_EQ(FormatText("%d", {"text"}), "%d");                // of the wrong kind
  EXPECT_EQ(FormatText("100%", {}), "100%");
}

TEST(Messages, KeepTheirTextsExactly) {
  EXPECT_EQ(FormatMessage(kMsgValueNotOpened, {"CRC32", "Varnoke\\Settings"}),
            "The value: 'CRC32'  of the key: 'Varnoke\\Settings' could not be opened in the "
            "Windows Registry. This could be an indication of more serious problems. Run a "
            "registry maintenance program, or re-install this software to correct this problem.");
  EXPECT_EQ(MessageText(kMsgValueWrongType).substr(0, 32), "The data type for the  value '%s");
  EXPECT_EQ(FormatMessage(kMsgDeviceLoadFailed, {"varnoke.vxd", "Varnoke", "Varnoke"}),
            "Failed to load the varnoke.vxd virtual device driver. Varnoke cannot continue "
            "execution at this time. If re-installing Varnoke does not succeed, please contact "
            "technical support.");
  EXPECT_EQ(MessageText(12345), "");
}

}  // namespace
}  // namespace varnoke::platform
