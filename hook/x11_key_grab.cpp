#include "hook/x11_key_grab.h"

#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "hook/xcb_keyboard.h"
#include "hook/xcb_windows.h"
#include "platform/desktop/key_table.h"

namespace varnoke::hook {
namespace {

// A round trip: every request sent before it has been carried out.
void Sync(xcb_connection_t* connection) {
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

}  // namespace

TX11KeyGrab::~TX11KeyGrab() {
  Stop();
}

bool TX11KeyGrab::Start(TPressed pressed) {
  if (connection_ != nullptr) return true;
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return false;
  }
  const std::uint32_t root = RootOf(connection, screen);
  if (root == 0 || !wake_.Open()) {
    wake_.Close();
    xcb_disconnect(connection);
    return false;
  }
  connection_ = connection;
  root_ = root;
  pressed_ = std::move(pressed);
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (vk_ != 0) Regrab(false);
  }
  stopping_ = false;
  try {
    thread_ = std::thread(&TX11KeyGrab::Run, this);
  } catch (const std::system_error&) {
    Stop();
    return false;
  }
  return true;
}

void TX11KeyGrab::Stop() {
  if (connection_ == nullptr) return;
  if (thread_.joinable()) {
    stopping_ = true;
    wake_.Wake();
    thread_.join();
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    Ungrab();
    keysDown_.clear();
  }
  // The ungrab is done before this returns: a key pressed next reaches
  // the focused window.
  Sync(connection_);
  xcb_disconnect(connection_);
  connection_ = nullptr;
  wake_.Close();
}

TKeyAnswer TX11KeyGrab::SetKey(std::uint16_t vk, std::uint32_t modifiers) {
  TKeyAnswer result = kKeyRefused;
  {
    std::lock_guard<std::mutex> guard(lock_);
    vk_ = vk;
    modifiers_ = modifiers & (platform::kKeyAlt | platform::kKeyShift | platform::kKeyCtrl);
    if (connection_ == nullptr) return platform::VkToKeysym(vk) != 0 ? kKeyTaken : kKeyUnknown;
    result = Regrab(false);
  }
  // The answers may have brought events into the connection's queue, where
  // the thread's poll() cannot see them.
  wake_.Wake();
  return result;
}

void TX11KeyGrab::Ungrab() {
  for (const TGrab& grab : grabs_)
    xcb_ungrab_key(connection_, grab.keycode, root_, grab.modifiers);
  grabs_.clear();
  xcb_flush(connection_);
}

TKeyAnswer TX11KeyGrab::Regrab(bool keepUnchanged) {
  const std::uint32_t keysym = platform::VkToKeysym(vk_);
  TKeyboardFacts facts;
  if (keysym == 0 || !ReadKeyboardFacts(connection_, keysym, facts) || facts.keycodes.empty()) {
    Ungrab();
    return kKeyUnknown;
  }
  std::uint16_t wanted = 0;
  if (modifiers_ & platform::kKeyAlt) wanted |= facts.altMask;
  if (modifiers_ & platform::kKeyShift) wanted |= XCB_MOD_MASK_SHIFT;
  if (modifiers_ & platform::kKeyCtrl) wanted |= XCB_MOD_MASK_CONTROL;
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
  if (keepUnchanged && wantedGrabs == grabs_) return kKeyTaken;
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
    return kKeyRefused;
  }
  wantedMask_ = wanted;
  ignoredMask_ = static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | facts.numLockMask);
  return grabs_.empty() ? kKeyUnknown : kKeyTaken;
}

void TX11KeyGrab::Run() {
  pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {wake_.Fd(), POLLIN, 0}};
  while (!stopping_) {
    HandleEvents();
    if (xcb_connection_has_error(connection_)) break;  // the display went away
    xcb_flush(connection_);
    if (::poll(fds, 2, -1) < 0) continue;  // EINTR
    if (fds[1].revents & POLLIN) {
      wake_.Drain();
    }
  }
}

void TX11KeyGrab::HandleEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    switch (event->response_type & 0x7f) {
      case XCB_KEY_PRESS: {
        const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        if (IsHotKeyPress(press->detail, press->state, press->time)) pressed_("");
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

bool TX11KeyGrab::IsHotKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  const bool ours = std::any_of(grabs_.begin(), grabs_.end(),
                                [keycode](const TGrab& grab) { return grab.keycode == keycode; });
  if (!ours || (state & 0xff & ~ignoredMask_) != wantedMask_) return false;
  // Auto-repeat sends presses while the key is held, each after a release
  // of the same moment unless the server hides those releases.
  const bool repeat = std::find(keysDown_.begin(), keysDown_.end(), keycode) != keysDown_.end() ||
                      (lastReleased_ == keycode && lastRelease_ == time);
  if (!std::count(keysDown_.begin(), keysDown_.end(), keycode)) keysDown_.push_back(keycode);
  return !repeat;
}

}  // namespace varnoke::hook
