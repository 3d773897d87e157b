#include "hook/edit_controls.h"

#include "platform/a11y/edit_control_handle.h"

namespace varnoke::hook {

std::uint32_t TEditControls::Add(const platform::TAccessibleRef& field) {
  std::lock_guard<std::mutex> guard(lock_);
  // 31 bits of serial number: a handle comes round again only after two
  // thousand million reports, long after it left the kept ones. The
  // handle with every bit set means an unseen window, never a field.
  std::uint32_t handle = 0;
  do {
    last_ = (last_ + 1) & 0x7fffffffu;
    handle = static_cast<std::uint32_t>(platform::kAccessibleHandleBit | last_);
  } while (last_ == 0 || !platform::IsAccessibleHandle(handle));
  kept_.emplace_back(handle, field);
  if (kept_.size() > kKept) kept_.pop_front();
  return handle;
}

bool TEditControls::Find(std::uint32_t handle, platform::TAccessibleRef& field) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const auto& [kept, object] : kept_) {
    if (kept != handle) continue;
    field = object;
    return true;
  }
  return false;
}

}  // namespace varnoke::hook
