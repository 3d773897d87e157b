// Which key source the hook takes: on X11 its own grab; on Wayland the
// desktop portal's global shortcuts, else KDE's global shortcut service,
// else on GNOME a custom keybinding that runs `varnoke --popup`, else the
// grab on XWayland (which sees keys only while an XWayland window has the
// focus; the desktop's own shortcut bound to `varnoke --popup` does the
// rest).
#pragma once

#include <memory>

#include "hook/key_source.h"

namespace varnoke::hook {

// The first source of the order that the session offers and that starts,
// started, with the key set (*answer: SetKey's answer; kKeyTaken when no
// key is set yet). Null when none starts.
std::unique_ptr<TKeySource> StartKeySource(TKeySource::TPressed pressed, std::uint16_t vk,
                                           std::uint32_t modifiers, TKeyAnswer* answer);

}  // namespace varnoke::hook
