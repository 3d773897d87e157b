#include "hook/key_source_choice.h"

#include "hook/dbus_loop.h"
#include "hook/gnome_keybinding.h"
#include "hook/kde_global_accel.h"
#include "hook/portal_shortcuts.h"
#include "hook/x11_key_grab.h"
#include "platform/desktop/session_kind.h"

namespace varnoke::hook {
namespace {

// The Wayland desktop's own shortcut services, in order; null when none
// is offered.
std::unique_ptr<TKeySource> DesktopSource(platform::TDesktopKind desktop) {
  std::string problem;
  std::unique_ptr<TDBusLoop> bus = TDBusLoop::Start(problem);
  if (bus != nullptr && TPortalShortcuts::Offered(*bus))
    return std::make_unique<TPortalShortcuts>(std::move(bus));
  if (bus != nullptr && TKdeGlobalAccel::Offered(*bus, desktop == platform::TDesktopKind::Kde))
    return std::make_unique<TKdeGlobalAccel>(std::move(bus));
  if (desktop == platform::TDesktopKind::Gnome && TGnomeKeybinding::Offered())
    return std::make_unique<TGnomeKeybinding>(PopupCommandOfThisProgram());
  return nullptr;
}

}  // namespace

std::unique_ptr<TKeySource> StartKeySource(TKeySource::TPressed pressed, std::uint16_t vk,
                                           std::uint32_t modifiers, TKeyAnswer* answer) {
  *answer = kKeyTaken;
  const platform::TDesktopKind desktop = platform::CurrentDesktop();
  std::unique_ptr<TKeySource> source;
  if (desktop != platform::TDesktopKind::X11) {
    source = DesktopSource(desktop);
    if (source != nullptr && !source->Start(pressed)) source.reset();
  }
  if (source == nullptr) {
    source = std::make_unique<TX11KeyGrab>();
    if (!source->Start(pressed)) return nullptr;
  }
  if (vk != 0) *answer = source->SetKey(vk, modifiers);
  return source;
}

}  // namespace varnoke::hook
