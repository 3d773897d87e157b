#include "hook/xcb_windows.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <deque>
#include <memory>

namespace varnoke::hook {
namespace {

// xcb hands out replies allocated with malloc.
template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
TReply<T> Owned(T* reply) {
  return TReply<T>(reply, &std::free);
}

bool HasProperty(xcb_connection_t* connection, std::uint32_t window, std::uint32_t property) {
  auto reply = Owned(xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
  return reply != nullptr && reply->type != XCB_NONE;
}

}  // namespace

std::uint32_t RootOf(xcb_connection_t* connection, int screen) {
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; it.rem > 0 && i < screen; ++i)
    xcb_screen_next(&it);
  return it.rem > 0 ? it.data->root : 0;
}

std::uint32_t InternAtom(xcb_connection_t* connection, std::string_view name) {
  auto reply = Owned(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
      nullptr));
  return reply != nullptr ? reply->atom : 0;
}

std::uint32_t FocusWindow(xcb_connection_t* connection) {
  auto reply =
      Owned(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  if (reply == nullptr || reply->focus == XCB_NONE || reply->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
    return 0;
  return reply->focus;
}

std::uint32_t ActiveWindow(xcb_connection_t* connection, std::uint32_t root, std::uint32_t focus) {
  const std::uint32_t property = InternAtom(connection, "_NET_ACTIVE_WINDOW");
  auto reply = Owned(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, root, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
  if (reply != nullptr && reply->type == XCB_ATOM_WINDOW && reply->format == 32 &&
      xcb_get_property_value_length(reply.get()) >= 4) {
    const auto active = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    if (active != XCB_NONE) return active;
  }
  return TopLevelOf(connection, root, focus);
}

std::uint32_t TopLevelOf(xcb_connection_t* connection, std::uint32_t root, std::uint32_t window) {
  if (window == 0 || window == root) return 0;
  const std::uint32_t wmState = InternAtom(connection, "WM_STATE");
  std::uint32_t current = window;
  for (;;) {
    if (HasProperty(connection, current, wmState)) return current;
    auto tree =
        Owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, current), nullptr));
    if (tree == nullptr) return 0;
    if (tree->parent == root || tree->parent == XCB_NONE) break;
    current = tree->parent;
  }
  // A window manager's frame: its client lies below it.
  std::deque<std::uint32_t> pending{current};
  while (!pending.empty()) {
    const std::uint32_t candidate = pending.front();
    pending.pop_front();
    if (candidate != current && HasProperty(connection, candidate, wmState)) return candidate;
    auto tree =
        Owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, candidate), nullptr));
    if (tree == nullptr) continue;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    pending.insert(pending.end(), children, children + xcb_query_tree_children_length(tree.get()));
  }
  return current;
}

std::uint32_t WindowProcess(xcb_connection_t* connection, std::uint32_t window) {
  if (window == 0) return 0;
  const std::uint32_t property = InternAtom(connection, "_NET_WM_PID");
  auto reply = Owned(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1),
      nullptr));
  if (reply == nullptr || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 ||
      xcb_get_property_value_length(reply.get()) < 4)
    return 0;
  return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

void PostMessage(xcb_connection_t* connection, std::uint32_t window, std::uint32_t message,
                 std::uint32_t wParam, std::uint32_t lParam) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = message;
  event.data.data32[0] = wParam;
  event.data.data32[1] = lParam;
  // xcb_send_event copies 32 bytes, the size of every core event.
  static_assert(sizeof(event) == 32);
  xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&event));
}

}  // namespace varnoke::hook
