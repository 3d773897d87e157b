#include "hook/hot_key_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "hook/accessible_focus.h"
#include "hook/xcb_keyboard.h"
#include "hook/xcb_windows.h"
#include "platform/desktop/key_table.h"

namespace varnoke::hook {
namespace {

constexpr std::uint32_t kAlt = 1;
constexpr std::uint32_t kShift = 2;
constexpr std::uint32_t kCtrl = 4;
// How long the first connection to the accessibility bus may take.
constexpr int kConnectMilliseconds = 1000;

// A round trip: every request sent before it has been carried out.
void Sync(xcb_connection_t* connection) {
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

std::uint32_t RootOf(xcb_connection_t* connection, int screen) {
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; it.rem > 0 && i < screen; ++i)
    xcb_screen_next(&it);
  return it.rem > 0 ? it.data->root : 0;
}

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
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (root == 0 || editControl == 0 || activate == 0 || wake < 0) {
    if (wake >= 0) ::close(wake);
    xcb_disconnect(connection);
    return false;
  }
  connection_ = connection;
  root_ = root;
  editControlMessage_ = editControl;
  activateMessage_ = activate;
  wakeFd_ = wake;
  {
    std::lock_guard<std::mutex> guard(lock_);
    target_ = window;
    if (vk_ != 0) Regrab(false);
  }
  stopping_ = false;
  accessible_ = std::make_unique<TAccessibleFocus>();
  try {
    thread_ = std::thread(&THotKeyWatcher::Run, this);
  } catch (const std::system_error&) {
    Stop();
    return false;
  }
  return true;
}

void THotKeyWatcher::Stop() {
  if (connection_ == nullptr) return;
  if (thread_.joinable()) {
    stopping_ = true;
    Wake();
    thread_.join();
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    Ungrab();
    keysDown_.clear();
  }
  accessible_.reset();
  // The ungrab is done before this returns: a key pressed next reaches
  // the focused window.
  Sync(connection_);
  xcb_disconnect(connection_);
  connection_ = nullptr;
  ::close(wakeFd_);
  wakeFd_ = -1;
}

int THotKeyWatcher::SetKey(std::uint16_t vk, std::uint32_t modifiers) {
  int result = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    vk_ = vk;
    modifiers_ = modifiers & (kAlt | kShift | kCtrl);
    if (connection_ == nullptr) return platform::VkToKeysym(vk) != 0 ? 1 : -1;
    result = Regrab(false);
  }
  // The answers may have brought events into the connection's queue, where
  // the thread's poll() cannot see them.
  Wake();
  return result;
}

void THotKeyWatcher::Ungrab() {
  for (const TGrab& grab : grabs_)
    xcb_ungrab_key(connection_, grab.keycode, root_, grab.modifiers);
  grabs_.clear();
  xcb_flush(connection_);
}

int THotKeyWatcher::Regrab(bool keepUnchanged) {
  const std::uint32_t keysym = platform::VkToKeysym(vk_);
  TKeyboardFacts facts;
  if (keysym == 0 || !ReadKeyboardFacts(connection_, keysym, facts) || facts.keycodes.empty()) {
    Ungrab();
    return -1;
  }
  std::uint16_t wanted = 0;
  if (modifiers_ & kAlt) wanted |= facts.altMask;
  if (modifiers_ & kShift) wanted |= XCB_MOD_MASK_SHIFT;
  if (modifiers_ & kCtrl) wanted |= XCB_MOD_MASK_CONTROL;
  // The key is the hot key whatever Caps Lock and Num Lock say.
  std::vector<std::uint16_t> locks{0, XCB_MOD_MASK_LOCK};
  if (facts.numLockMask != 0) {
    locks.push_back(facts.numLockMask);
    locks.push_back(static_cast<std::uint16_t>(facts.numLockMask | XCB_MOD_MASK_LOCK));
  }
  std::vector<TGrab> wantedGrabs;
  for (std::uint8_t keycode : facts.keycodes) {
    for (std::uint16_t lock : locks)
      wantedGrabs.push_back(TGrab{keycode, static_cast<std::uint16_t>(wanted | lock)});
  }
  // A mapping change elsewhere on the keyboard (typing through a borrowed
  // keycode makes one) leaves the grabs alone: taking them down and up
  // again would lose a press that comes in between.
  if (keepUnchanged && wantedGrabs == grabs_) return 1;
  Ungrab();
  std::vector<xcb_void_cookie_t> cookies;
  for (const TGrab& grab : wantedGrabs) {
    cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, grab.modifiers, grab.keycode,
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  }
  bool heldElsewhere = false;
  for (std::size_t i = 0; i < cookies.size(); ++i) {
    xcb_generic_error_t* error = xcb_request_check(connection_, cookies[i]);
    if (error == nullptr) {
      grabs_.push_back(wantedGrabs[i]);
      continue;
    }
    if (error->error_code == XCB_ACCESS) heldElsewhere = true;
    std::free(error);
  }
  if (heldElsewhere) {
    Ungrab();
    return 0;
  }
  wantedMask_ = wanted;
  ignoredMask_ = static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | facts.numLockMask);
  return grabs_.empty() ? -1 : 1;
}

void THotKeyWatcher::Wake() {
  const std::uint64_t one = 1;
  if (wakeFd_ >= 0 && ::write(wakeFd_, &one, sizeof one) < 0) {
    // A full counter already wakes the thread.
  }
}

void THotKeyWatcher::Run() {
  // Connected before the first press, so that focus events are heard from
  // then on; a desktop without the bus costs no press anything more than
  // another try.
  accessible_->Connect(platform::DeadlineIn(kConnectMilliseconds));
  while (!stopping_) {
    HandleEvents();
    if (xcb_connection_has_error(connection_)) break;  // the display went away
    xcb_flush(connection_);
    accessible_->Dispatch();
    // The bus's socket changes when it is opened again.
    pollfd fds[3] = {{xcb_get_file_descriptor(connection_), POLLIN, 0},
                     {wakeFd_, POLLIN, 0},
                     {accessible_->Fd(), POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) continue;  // EINTR
    if (fds[1].revents & POLLIN) {
      std::uint64_t count = 0;
      if (::read(wakeFd_, &count, sizeof count) < 0) {
        // Nothing was pending after all.
      }
    }
  }
}

void THotKeyWatcher::HandleEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    switch (event->response_type & 0x7f) {
      case XCB_KEY_PRESS: {
        const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        OnKeyPress(press->detail, press->state, press->time);
        break;
      }
      case XCB_KEY_RELEASE: {
        const auto* release = reinterpret_cast<xcb_key_release_event_t*>(event);
        std::lock_guard<std::mutex> guard(lock_);
        std::erase(keysDown_, release->detail);
        lastRelease_ = release->time;
        lastReleased_ = release->detail;
        break;
      }
      case XCB_MAPPING_NOTIFY: {
        const auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
        if (mapping->request != XCB_MAPPING_POINTER) {
          // The key may sit on other keycodes now, Num Lock on another bit.
          std::lock_guard<std::mutex> guard(lock_);
          if (vk_ != 0) Regrab(true);
        }
        break;
      }
      default:
        break;
    }
    std::free(event);
  }
}

void THotKeyWatcher::OnKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    const bool ours = std::any_of(grabs_.begin(), grabs_.end(),
                                  [keycode](const TGrab& grab) { return grab.keycode == keycode; });
    if (!ours || (state & 0xff & ~ignoredMask_) != wantedMask_) return;
    // Auto-repeat sends presses while the key is held, each after a release
    // of the same moment unless the server hides those releases.
    const bool repeat = std::find(keysDown_.begin(), keysDown_.end(), keycode) != keysDown_.end() ||
                        (lastReleased_ == keycode && lastRelease_ == time);
    if (!std::count(keysDown_.begin(), keysDown_.end(), keycode)) keysDown_.push_back(keycode);
    if (repeat) return;
  }
  Report();
}

void THotKeyWatcher::Report() {
  std::uint32_t target = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    target = target_;
  }
  const std::uint32_t focus = FocusWindow(connection_);
  const std::uint32_t active = ActiveWindow(connection_, root_, focus);
  // The pop-up never waits for the lookup.
  PostMessage(connection_, target, activateMessage_, active, 0);
  xcb_flush(connection_);
  PostMessage(connection_, target, editControlMessage_, EditControl(active, focus), 0);
  xcb_flush(connection_);
}

std::uint32_t THotKeyWatcher::EditControl(std::uint32_t active, std::uint32_t focus) {
  const platform::TDeadline deadline = platform::DeadlineIn(kLookupMilliseconds);
  // The window manager names the window's process; a window that does not
  // say is looked for on the bus no further.
  const std::uint32_t process = WindowProcess(connection_, active != 0 ? active : focus);
  if (process == 0) return focus;
  const platform::TFocusReport report = accessible_->Find(static_cast<pid_t>(process), deadline);
  switch (report.Kind) {
    case platform::TFocusKind::EditableText:
      return editControls_.Add(report.Object);
    case platform::TFocusKind::NotEditable:
      return 0;
    case platform::TFocusKind::OffTheBus:
      break;
  }
  return focus;
}

}  // namespace varnoke::hook
