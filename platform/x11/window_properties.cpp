#include "platform/x11/window_properties.h"

#include <X11/Xlib.h>

namespace varnoke::platform {

std::vector<unsigned long> ReadLongProperty(Display* display, std::uint64_t window,
                                            unsigned long property, unsigned long type) {
  std::vector<unsigned long> values;
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  // 1024 longs is more than any property read here holds.
  const int status = XGetWindowProperty(display, window, property, 0, 1024, False, type,
                                        &actualType, &actualFormat, &count, &remaining, &data);
  if (status == Success && actualType == type && actualFormat == 32 && data != nullptr) {
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    values.assign(items, items + count);
  }
  if (data != nullptr) XFree(data);
  return values;
}

bool HasProperty(Display* display, std::uint64_t window, unsigned long property) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType,
                                        &actualType, &actualFormat, &count, &remaining, &data);
  if (data != nullptr) XFree(data);
  return status == Success && actualType != None;
}

bool QueryParent(Display* display, std::uint64_t window, std::uint64_t& parent) {
  Window root = None;
  Window parentWindow = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parentWindow, &children, &count) == 0) return false;
  if (children != nullptr) XFree(children);
  parent = parentWindow;
  return true;
}

std::vector<std::uint64_t> QueryChildren(Display* display, std::uint64_t window) {
  Window root = None;
  Window parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<std::uint64_t> out;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return out;
  out.assign(children, children + count);
  if (children != nullptr) XFree(children);
  return out;
}

}  // namespace varnoke::platform
