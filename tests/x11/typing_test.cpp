// TypeText into a Qt line edit, read back exactly.
#include <gtest/gtest.h>

#include <memory>

#include "platform/x11/desktop.h"
#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::platform {
namespace {

using testing::RunCommand;
using testing::TChild;
using testing::TestProgram;
using testing::TTestClient;

// Ü É Ж Ä Ö ß € · § are on no key of the session's US keyboard; 字 and the
// emoji are in no keyboard map at all.
constexpr const char* kPath = "/tmp/Ü É Ж/ÄÖ ß €·§ x.txt 字😀";
constexpr int kPathCharacters = 28;

class TypingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Connected());
    display_ = TX11Display::Open();
    ASSERT_NE(display_, nullptr);
    desktop_ = std::make_unique<TDesktop>(*display_);
    report_ = RegisterWindowMessage(display_.get(), "VARNOKE_PROBE_REPORT");
    probe_ = std::make_unique<TChild>(
        std::vector<std::string>{TestProgram("line-edit-probe"), "--text", "old text"});
    std::string window;
    ASSERT_TRUE(probe_->ReadLineStarting("window ", window, 10000));
    window_ = std::stoull(window);
    desktop_->SetForegroundWindow(window_);
    ASSERT_TRUE(desktop_->WaitForFocusIn(window_, 5000));
    // A program just started may not have put its focus in the line edit
    // yet when the window manager gives it the input focus.
    std::string rest;
    ASSERT_TRUE(probe_->ReadLineStarting("focused", rest, 5000));
  }

  // The line edit's text, after it has handled everything typed so far.
  std::string ProbeText() {
    EXPECT_TRUE(PostWindowMessage(*display_, window_, report_, 0, 0));
    std::string text;
    EXPECT_TRUE(probe_->ReadLineStarting("text ", text, 5000));
    return text;
  }

  TTestClient client_;
  std::unique_ptr<TX11Display> display_;
  std::unique_ptr<TDesktop> desktop_;
  std::unique_ptr<TChild> probe_;
  std::uint32_t report_ = 0;
  std::uint64_t window_ = 0;
};

TEST_F(TypingTest, TypesCapitalsAndCharactersTheKeymapLacksExactly) {
  const std::vector<unsigned long> keymap = client_.KeyboardMap();
  const TTypeResult result = desktop_->TypeText(kPath);
  EXPECT_EQ(result.Typed, kPathCharacters);
  EXPECT_EQ(result.Failed, 0);
  // The selected text is replaced, as typing does.
  EXPECT_EQ(ProbeText(), kPath);
  // The borrowed keys are given back.
  EXPECT_EQ(client_.KeyboardMap(), keymap);
}

TEST_F(TypingTest, TypesAtTheCursorAndKeepsWhatIsThere) {
  RunCommand({"xdotool", "key", "End"});
  ASSERT_EQ(desktop_->TypeText(" and Ñ").Typed, 6);
  EXPECT_EQ(ProbeText(), "old text and Ñ");
}

TEST_F(TypingTest, ModifiersStillHeldDoNotChangeTheTextAndAreNotLeftDown) {
  // The user may still hold the hot key's Ctrl and Alt.
  RunCommand({"xdotool", "keydown", "ctrl", "keydown", "alt"});
  ASSERT_TRUE(client_.AnyModifierDown());
  EXPECT_EQ(desktop_->TypeText("a/Ü x").Typed, 5);
  EXPECT_EQ(ProbeText(), "a/Ü x");
  EXPECT_FALSE(client_.AnyModifierDown());
}

TEST_F(TypingTest, CapsLockDoesNotChangeTheCaseAndStaysOn) {
  RunCommand({"xdotool", "key", "Caps_Lock"});
  ASSERT_TRUE(client_.CapsLockOn());
  EXPECT_EQ(desktop_->TypeText("aB/üÜ").Typed, 5);
  EXPECT_EQ(ProbeText(), "aB/üÜ");
  EXPECT_TRUE(client_.CapsLockOn());
  RunCommand({"xdotool", "key", "Caps_Lock"});
}

TEST_F(TypingTest, InvalidBytesAreSkippedAndCounted) {
  const TTypeResult result = desktop_->TypeText(
      "a\xff"
      "b\xc3");
  EXPECT_EQ(result.Typed, 2);
  EXPECT_EQ(result.Failed, 2);
  EXPECT_EQ(ProbeText(), "ab");
  const TTypeResult control = desktop_->TypeText("\x01");
  EXPECT_EQ(control.Typed, 0);
  EXPECT_EQ(control.Failed, 1);
  EXPECT_EQ(desktop_->TypeText("").Typed, 0);
}

TEST_F(TypingTest, ALongTextWithMoreStrangeCharactersThanSpareKeysArrivesWhole) {
  // More distinct unmapped characters than a keyboard has spare keycodes:
  // typed in several rounds of borrowing.
  std::string text;
  int count = 0;
  for (char32_t c = 0x0410; c < 0x0410 + 64; ++c, ++count) {  // Cyrillic А .. я: two bytes each
    text += static_cast<char>(0xc0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3f));
  }
  const TTypeResult result = desktop_->TypeText(text);
  EXPECT_EQ(result.Typed, count);
  EXPECT_EQ(result.Failed, 0);
  EXPECT_EQ(ProbeText(), text);
}

}  // namespace
}  // namespace varnoke::platform
