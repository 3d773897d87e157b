#include "platform/x11/window_messages.h"

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/x11/x11_display.h"

namespace varnoke::platform {
namespace {

constexpr std::uint32_t kFirstLocalMessage = 0xC000;

struct TLocalMessages {
  std::mutex lock;
  std::map<std::string, std::uint32_t, std::less<>> numbers;  // Guarded by lock.
};

std::uint32_t LocalMessage(std::string_view name) {
  static TLocalMessages table;
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.numbers.find(name);
  if (found != table.numbers.end()) return found->second;
  const auto number = static_cast<std::uint32_t>(kFirstLocalMessage + table.numbers.size());
  table.numbers.emplace(std::string(name), number);
  return number;
}

}  // namespace

std::uint32_t RegisterWindowMessage(TX11Display* display, std::string_view name) {
  if (display == nullptr) return LocalMessage(name);
  const std::string terminated(name);
  return static_cast<std::uint32_t>(XInternAtom(display->Xlib(), terminated.c_str(), False));
}

bool PostWindowMessage(TX11Display& display, TWindowHandle window, std::uint32_t message,
                       std::uint64_t wParam, std::uint64_t lParam) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = message;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(wParam & 0xffffffffu);
  event.xclient.data.l[1] = static_cast<long>(lParam & 0xffffffffu);
  // No event mask: the event goes to the client that created the window.
  const Status sent = XSendEvent(display.Xlib(), window, False, NoEventMask, &event);
  display.Flush();
  return sent != 0;
}

bool DecodeClientMessage(const void* xcbGenericEvent, TClientMessage& out) {
  const auto* generic = static_cast<const xcb_generic_event_t*>(xcbGenericEvent);
  // The high bit marks an event another client sent; it is still the same
  // kind of event.
  if ((generic->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
  const auto* message = static_cast<const xcb_client_message_event_t*>(xcbGenericEvent);
  if (message->format != 32) return false;
  out.Window = message->window;
  out.Message = message->type;
  out.WParam = message->data.data32[0];
  out.LParam = message->data.data32[1];
  return true;
}

}  // namespace varnoke::platform
