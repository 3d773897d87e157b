// Registered messages without a display, and the reading of posted ones
// out of the events Qt hands to a native event filter.
#include "platform/x11/window_messages.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace varnoke::platform {
namespace {

TEST(WindowMessagesTest, LocalNumbersAreStablePerNameAndDistinct) {
  const std::uint32_t activate = RegisterWindowMessage(nullptr, "ACTIVATEMORVATH");
  const std::uint32_t edit = RegisterWindowMessage(nullptr, "EDITCONTROLMORVATH");
  const std::uint32_t tray = RegisterWindowMessage(nullptr, "TRAYACTIVATEMORVATH");
  EXPECT_GE(activate, 0xC000u);
  EXPECT_GE(edit, 0xC000u);
  EXPECT_GE(tray, 0xC000u);
  EXPECT_NE(activate, edit);
  EXPECT_NE(edit, tray);
  EXPECT_NE(activate, tray);
  EXPECT_EQ(RegisterWindowMessage(nullptr, "ACTIVATEMORVATH"), activate);
  EXPECT_EQ(RegisterWindowMessage(nullptr, std::string_view("EDITCONTROLMORVATHX", 18)), edit);
  // Names differ by case as atoms do.
  EXPECT_NE(RegisterWindowMessage(nullptr, "activatemorvath"), activate);
  EXPECT_NE(RegisterWindowMessage(nullptr, ""), 0u);
}

// A ClientMessage as the server sends it: 32 bytes, little-endian here.
std::array<unsigned char, 32> ClientMessageBytes(unsigned char responseType, unsigned char format,
                                                 std::uint32_t window, std::uint32_t type,
                                                 std::uint32_t word0, std::uint32_t word1) {
  std::array<unsigned char, 32> bytes{};
  bytes[0] = responseType;
  bytes[1] = format;
  std::memcpy(&bytes[4], &window, 4);
  std::memcpy(&bytes[8], &type, 4);
  std::memcpy(&bytes[12], &word0, 4);
  std::memcpy(&bytes[16], &word1, 4);
  return bytes;
}

constexpr unsigned char kClientMessage = 33;

TEST(WindowMessagesTest, DecodesA32BitClientMessageSentByAnotherClient) {
  // The high bit marks an event that a client sent, as the hook does.
  const auto bytes =
      ClientMessageBytes(kClientMessage | 0x80, 32, 0x1200007, 0x1c3, 0x1400002, 0xfffffffe);
  TClientMessage message;
  ASSERT_TRUE(DecodeClientMessage(bytes.data(), message));
  EXPECT_EQ(message.Window, 0x1200007u);
  EXPECT_EQ(message.Message, 0x1c3u);
  EXPECT_EQ(message.WParam, 0x1400002u);
  EXPECT_EQ(message.LParam, 0xfffffffeu);
}

TEST(WindowMessagesTest, RefusesOtherEventsAndOtherFormats) {
  TClientMessage message;
  message.Message = 99;
  EXPECT_FALSE(
      DecodeClientMessage(ClientMessageBytes(kClientMessage, 8, 1, 2, 3, 4).data(), message));
  EXPECT_FALSE(
      DecodeClientMessage(ClientMessageBytes(kClientMessage, 16, 1, 2, 3, 4).data(), message));
  EXPECT_FALSE(
      DecodeClientMessage(ClientMessageBytes(2, 32, 1, 2, 3, 4).data(), message));  // KeyPress
  EXPECT_FALSE(
      DecodeClientMessage(ClientMessageBytes(0, 32, 1, 2, 3, 4).data(), message));  // an error
  EXPECT_EQ(message.Message, 99u);  // left as it was
}

}  // namespace
}  // namespace varnoke::platform
