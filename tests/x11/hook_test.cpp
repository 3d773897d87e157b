// mhook.dll on a desktop: the hot key pressed with xdotool.
#include "platform/runtime/hook_library.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/x11/desktop.h"
#include "platform/x11/x11_display.h"
#include "tests/x11/desktop_fixture.h"

namespace varnoke::platform {
namespace {

using testing::HookLibraryPath;
using testing::RunCommand;
using testing::TChild;
using testing::TestProgram;
using testing::TReceived;
using testing::TTestClient;

constexpr std::uint32_t kAlt = 1;
constexpr std::uint32_t kShift = 2;
constexpr std::uint32_t kCtrl = 4;
constexpr unsigned kControlMask = 1 << 2;
constexpr unsigned kMod1Mask = 1 << 3;

class HookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client_.Connected());
    std::string error;
    hook_ = THookLibrary::Load(HookLibraryPath(), &error);
    ASSERT_NE(hook_, nullptr) << error;
    receiver_ = client_.CreateReceiver();
    work_ = client_.CreateTopLevel(100, 100, 300, 200, "work");
    ASSERT_NE(work_, 0u);
    field_ = client_.CreateChild(work_, 10, 10, 200, 30);
    display_ = TX11Display::Open();
    ASSERT_NE(display_, nullptr);
    TDesktop desktop(*display_);
    desktop.SetForegroundWindow(work_);
    ASSERT_TRUE(desktop.WaitForFocusIn(work_, 5000));
    // The focus in a window inside the top-level, as in a dialog's field.
    client_.SetInputFocus(field_);
  }

  static void Press(const std::string& keys) {
    int status = -1;
    RunCommand({"xdotool", "key", keys}, &status);
    ASSERT_EQ(status, 0) << keys;
  }

  // One press of the hot key: the activate message naming the top-level at
  // once, then the edit-control message naming the focused field (a window
  // of no application on the accessibility bus).
  void ExpectReport() {
    TReceived first, second;
    ASSERT_TRUE(client_.NextClientMessage(first, 5000)) << "no message";
    ASSERT_TRUE(client_.NextClientMessage(second, 5000)) << "one message only";
    EXPECT_EQ(first.window, receiver_);
    EXPECT_EQ(first.name, "ACTIVATEMORVATH");
    EXPECT_EQ(first.wParam, work_);
    EXPECT_EQ(first.lParam, 0u);
    EXPECT_EQ(second.window, receiver_);
    EXPECT_EQ(second.name, "EDITCONTROLMORVATH");
    EXPECT_EQ(second.wParam, field_);
    EXPECT_EQ(second.lParam, 0u);
  }

  // The F key went past any grab to the focused field.
  void ExpectKeyInField(unsigned modifiers) {
    unsigned state = 0;
    ASSERT_TRUE(client_.NextKeyPress(field_, 'f', state, 5000)) << "the key did not arrive";
    EXPECT_EQ(state & (kControlMask | kMod1Mask), modifiers);
  }

  TTestClient client_;
  std::unique_ptr<THookLibrary> hook_;
  std::unique_ptr<TX11Display> display_;
  std::uint64_t receiver_ = 0;
  std::uint64_t work_ = 0;
  std::uint64_t field_ = 0;
};

TEST_F(HookTest, HotKeyPostsTheFocusedWindowThenTheActiveTopLevel) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  // The upper half of the key's slot is not the program's to fill.
  EXPECT_EQ(hook_->SetKey(0xdead0000u | 'F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  Press("ctrl+alt+f");
  ExpectReport();
  Press("ctrl+alt+f");
  ExpectReport();
}

TEST_F(HookTest, KeySetBeforeInstallingIsGrabbedByTheInstall) {
  EXPECT_EQ(hook_->SetKey(112 + 4, kShift), TSetKeyResult::Grabbed);  // Shift+F5
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  Press("shift+F5");
  ExpectReport();
}

TEST_F(HookTest, SetKeyReplacesTheGrabAtOnce) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  ASSERT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  ASSERT_EQ(hook_->SetKey(96 + 7, kCtrl), TSetKeyResult::Grabbed);  // Ctrl+Num 7
  Press("ctrl+alt+f");
  ExpectKeyInField(kControlMask | kMod1Mask);
  Press("ctrl+KP_Home");  // Num Lock off: the same key
  ExpectReport();
  EXPECT_EQ(client_.DropQueued(), 0);
}

TEST_F(HookTest, RemovedHookPostsNothingAndHoldsNoKey) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  ASSERT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  ASSERT_TRUE(hook_->InstallHook(0, receiver_));
  Press("ctrl+alt+f");
  ExpectKeyInField(kControlMask | kMod1Mask);
  EXPECT_EQ(client_.DropQueued(), 0);
  // Removing twice is harmless; installing again works.
  EXPECT_TRUE(hook_->InstallHook(0, receiver_));
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  Press("ctrl+alt+f");
  ExpectReport();
}

TEST_F(HookTest, AKeyHeldByAnotherProgramIsReported) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  {
    TChild grabber({TestProgram("key-grabber"), "f", "ctrl+alt"});
    std::string line;
    ASSERT_TRUE(grabber.ReadLine(line, 5000));
    ASSERT_EQ(line, "grabbed");
    EXPECT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::HeldElsewhere);
    // Nothing of ours stayed grabbed: the other program still gets it, and
    // another key of ours works.
    ASSERT_EQ(hook_->SetKey('G', kCtrl | kAlt), TSetKeyResult::Grabbed);
    Press("ctrl+alt+g");
    ExpectReport();
    ASSERT_EQ(grabber.Finish(), 0);
  }
  // Once the other program has let go the key can be had.
  EXPECT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  Press("ctrl+alt+f");
  ExpectReport();
}

TEST_F(HookTest, NumLockAndCapsLockDoNotStopTheHotKey) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  ASSERT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  Press("Num_Lock");
  Press("ctrl+alt+f");
  ExpectReport();
  Press("Caps_Lock");
  Press("ctrl+alt+f");
  ExpectReport();
  Press("Num_Lock");
  Press("ctrl+alt+f");
  ExpectReport();
  Press("Caps_Lock");
}

TEST_F(HookTest, OtherModifiersAreAnotherKey) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  ASSERT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  Press("ctrl+f");
  ExpectKeyInField(kControlMask);
  Press("ctrl+alt+shift+f");
  ExpectKeyInField(kControlMask | kMod1Mask);
  EXPECT_EQ(client_.DropQueued(), 0);
}

TEST_F(HookTest, CodesWithoutAKeyAreNoSuchKey) {
  EXPECT_EQ(hook_->SetKey(43, 0), TSetKeyResult::NoSuchKey);  // before installing too
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  EXPECT_EQ(hook_->SetKey(43, 0), TSetKeyResult::NoSuchKey);
  EXPECT_EQ(hook_->SetKey(200, kCtrl), TSetKeyResult::NoSuchKey);
  EXPECT_EQ(hook_->SetKey(135, kCtrl), TSetKeyResult::NoSuchKey);  // F24: not on this keyboard
}

TEST_F(HookTest, TheReceiverProgramPrintsWhatTheHookPosts) {
  TChild receiver({TestProgram("x11-receiver")});
  std::string window;
  ASSERT_TRUE(receiver.ReadLineStarting("window ", window, 5000));
  ASSERT_TRUE(hook_->InstallHook(1, std::stoull(window)));
  ASSERT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  Press("ctrl+alt+f");
  std::string line;
  ASSERT_TRUE(receiver.ReadLine(line, 5000));
  EXPECT_EQ(line, "ACTIVATEMORVATH " + std::to_string(work_) + " 0");
  ASSERT_TRUE(receiver.ReadLine(line, 5000));
  EXPECT_EQ(line, "EDITCONTROLMORVATH " + std::to_string(field_) + " 0");
}

TEST_F(HookTest, UnloadingAnInstalledHookStopsIt) {
  ASSERT_TRUE(hook_->InstallHook(1, receiver_));
  ASSERT_EQ(hook_->SetKey('F', kCtrl | kAlt), TSetKeyResult::Grabbed);
  hook_.reset();
  Press("ctrl+alt+f");
  ExpectKeyInField(kControlMask | kMod1Mask);
  std::string error;
  EXPECT_EQ(THookLibrary::Load("/nonexistent/mhook.dll", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace varnoke::platform
