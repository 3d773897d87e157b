#include "hook/hot_key_watcher.h"

#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <optional>
#include <system_error>

#include "hook/accessible_focus.h"
#include "hook/key_source_choice.h"
#include "hook/xcb_windows.h"
#include "platform/a11y/edit_control_handle.h"
#include "platform/desktop/key_table.h"
#include "platform/desktop/session_kind.h"

namespace varnoke::hook {
namespace {

// How long the first connection to the accessibility bus may take.
constexpr int kConnectMilliseconds = 1000;

}  // namespace

THotKeyWatcher::THotKeyWatcher() = default;

THotKeyWatcher::~THotKeyWatcher() {
  Stop();
}

bool THotKeyWatcher::Start(std::uint32_t window) {
  if (connection_ != nullptr) {
    std::lock_guard<std::mutex> guard(lock_);
    target_ = window;
    return true;
  }
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return false;
  }
  const std::uint32_t root = RootOf(connection, screen);
  // The program registers the same names after the hook is installed; the
  // numbers are the display's, so both sides agree.
  const std::uint32_t editControl = InternAtom(connection, "EDITCONTROLMORVATH");
  const std::uint32_t activate = InternAtom(connection, "ACTIVATEMORVATH");
  if (root == 0 || editControl == 0 || activate == 0 || !wake_.Open()) {
    wake_.Close();
    xcb_disconnect(connection);
    return false;
  }
  connection_ = connection;
  root_ = root;
  editControlMessage_ = editControl;
  activateMessage_ = activate;
  startupIdAtom_ = InternAtom(connection, "_NET_STARTUP_ID");
  utf8Atom_ = InternAtom(connection, "UTF8_STRING");
  wayland_ = platform::IsWaylandSession();
  stopping_ = false;
  accessible_ = std::make_unique<TAccessibleFocus>();
  try {
    thread_ = std::thread(&THotKeyWatcher::Run, this);
  } catch (const std::system_error&) {
    Stop();
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    target_ = window;
  }
  // Asking the desktop may take a while; presses wait for nothing.
  TKeyAnswer answer = kKeyTaken;
  source_ =
      StartKeySource([this](const std::string& token) { Press(token); }, vk_, modifiers_, &answer);
  if (source_ == nullptr) {
    Stop();
    return false;
  }
  return true;
}

void THotKeyWatcher::Stop() {
  // No press comes from the source once it has stopped.
  if (source_ != nullptr) source_->Stop();
  source_.reset();
  if (connection_ == nullptr) return;
  if (thread_.joinable()) {
    stopping_ = true;
    wake_.Wake();
    thread_.join();
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    presses_.clear();
  }
  accessible_.reset();
  xcb_disconnect(connection_);
  connection_ = nullptr;
  wake_.Close();
}

int THotKeyWatcher::SetKey(std::uint16_t vk, std::uint32_t modifiers) {
  vk_ = vk;
  modifiers_ = modifiers & (platform::kKeyAlt | platform::kKeyShift | platform::kKeyCtrl);
  if (source_ == nullptr) return platform::VkToKeysym(vk) != 0 ? kKeyTaken : kKeyUnknown;
  return source_->SetKey(vk_, modifiers_);
}

void THotKeyWatcher::Press(const std::string& token) {
  if (connection_ == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    presses_.push_back(token);
  }
  wake_.Wake();
}

void THotKeyWatcher::Run() {
  // Connected before the first press, so that focus events are heard from
  // then on; a desktop without the bus costs no press anything more than
  // another try.
  accessible_->Connect(platform::DeadlineIn(kConnectMilliseconds));
  while (!stopping_) {
    accessible_->Dispatch();
    // The bus's socket changes when it is opened again.
    pollfd fds[2] = {{wake_.Fd(), POLLIN, 0}, {accessible_->Fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;  // EINTR
    if (fds[0].revents & POLLIN) {
      wake_.Drain();
    }
    for (;;) {
      std::string token;
      std::uint32_t target = 0;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_ || presses_.empty()) break;
        token = std::move(presses_.front());
        presses_.pop_front();
        target = target_;
      }
      SetActivationToken(target, token);
      Report();
    }
    if (xcb_connection_has_error(connection_)) break;  // the display went away
  }
}

void THotKeyWatcher::SetActivationToken(std::uint32_t window, const std::string& token) {
  if (startupIdAtom_ == 0 || window == 0) return;
  // The window manager reads it when the window maps, or at once when it
  // shows already, and lets the window take the focus as of the press.
  if (token.empty()) {
    xcb_delete_property(connection_, window, startupIdAtom_);
  } else {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, startupIdAtom_, utf8Atom_, 8,
                        static_cast<std::uint32_t>(token.size()), token.data());
  }
}

void THotKeyWatcher::Report() {
  std::uint32_t target = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    target = target_;
  }
  accessible_->MarkPress();
  const std::uint32_t focus = FocusWindow(connection_);
  // On Wayland the focus may be in a window this display does not show:
  // there is none to cover.
  const std::uint32_t active = wayland_ && focus == 0 ? 0 : ActiveWindow(connection_, root_, focus);
  // The pop-up never waits for the lookup.
  PostMessage(connection_, target, activateMessage_, active, 0);
  xcb_flush(connection_);
  PostMessage(connection_, target, editControlMessage_, EditControl(active, focus), 0);
  xcb_flush(connection_);
}

std::uint32_t THotKeyWatcher::EditControl(std::uint32_t active, std::uint32_t focus) {
  const platform::TDeadline deadline = platform::DeadlineIn(kLookupMilliseconds);
  // A window the display does not show (a native Wayland one) has no
  // process to name: the bus tells which application was active. Keys
  // typed into the display would not reach it.
  const bool unseen = wayland_ && focus == 0;
  std::optional<pid_t> process;
  if (!unseen) {
    // The window manager names the window's process; a window that does
    // not say is looked for on the bus no further.
    const std::uint32_t owner = WindowProcess(connection_, active != 0 ? active : focus);
    if (owner == 0) return focus;
    process = static_cast<pid_t>(owner);
  }
  const platform::TFocusReport report = accessible_->Find(process, deadline);
  switch (report.Kind) {
    case platform::TFocusKind::EditableText:
      return editControls_.Add(report.Object);
    case platform::TFocusKind::NotEditable:
      return 0;
    case platform::TFocusKind::OffTheBus:
      break;
  }
  return unseen ? static_cast<std::uint32_t>(platform::kUnseenEditControl) : focus;
}

}  // namespace varnoke::hook
