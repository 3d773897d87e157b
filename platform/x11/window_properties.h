// Reading window properties and walking the window tree, for the X11
// services' own code.
#pragma once

#include <cstdint>
#include <vector>

struct _XDisplay;

namespace varnoke::platform {

// The 32-bit items (as Xlib hands them out: one long each) of property on
// window, if it has the type given; empty when it has not or is missing.
std::vector<unsigned long> ReadLongProperty(_XDisplay* display, std::uint64_t window,
                                            unsigned long property, unsigned long type);

// True when window has property, of whatever type.
bool HasProperty(_XDisplay* display, std::uint64_t window, unsigned long property);

// The parent of window; false when the window does not exist.
bool QueryParent(_XDisplay* display, std::uint64_t window, std::uint64_t& parent);

// The children of window, bottom first; empty when it has none or is gone.
std::vector<std::uint64_t> QueryChildren(_XDisplay* display, std::uint64_t window);

}  // namespace varnoke::platform
