// Registered window messages between programs on one display: a message
// number is the atom of its name, a posted message is a ClientMessage whose
// type is that atom, wParam in its first data word and lParam in its second.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/x11/window_handle.h"

namespace varnoke::platform {

class TX11Display;

// The number of the message called name: the same for every program on the
// display. With no display (tests), numbers from a table of this process:
// the same for the same name, from 0xC000 up, never 0. 0 when the display
// refuses the name.
std::uint32_t RegisterWindowMessage(TX11Display* display, std::string_view name);

// Posts message to window, to be read by the program that created it. Only
// the low 32 bits of wParam and lParam travel: that is the width of a data
// word on the wire (window ids fit). True when the request left.
bool PostWindowMessage(TX11Display& display, TWindowHandle window, std::uint32_t message,
                       std::uint64_t wParam, std::uint64_t lParam);

struct TClientMessage {
  TWindowHandle Window = 0;
  std::uint32_t Message = 0;
  std::uint64_t WParam = 0;
  std::uint64_t LParam = 0;
};

// Reads a posted message out of the event a Qt native event filter is given
// for the event type "xcb_generic_event_t". False for any event that is not
// a ClientMessage with 32-bit data.
bool DecodeClientMessage(const void* xcbGenericEvent, TClientMessage& out);

}  // namespace varnoke::platform
