// The hot key through KDE's global shortcut service (org.kde.kglobalaccel):
// the action "popup" of the component "varnoke", its
// globalShortcutPressed signal as the press.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hook/dbus_loop.h"
#include "hook/key_source.h"

namespace varnoke::hook {

class TKdeGlobalAccel final : public TKeySource {
 public:
  // The service runs on this bus, or (on KDE) can be started.
  static bool Offered(TDBusLoop& bus, bool onKde);

  // Takes over the bus connection.
  explicit TKdeGlobalAccel(std::unique_ptr<TDBusLoop> bus);
  ~TKdeGlobalAccel() override;  // Stop()

  // Registers the action and listens to its component. False when the
  // service does not answer.
  bool Start(TPressed pressed) override;
  // kKeyRefused when the service keeps the key for another action.
  TKeyAnswer SetKey(std::uint16_t vk, std::uint32_t modifiers) override;
  // Makes the action inactive: the service lets the key go.
  void Stop() override;

 private:
  std::unique_ptr<TDBusLoop> bus_;
  bool started_ = false;
  unsigned pressedSignal_ = 0;
  TPressed pressed_;
  std::uint16_t vk_ = 0;
  std::uint32_t modifiers_ = 0;
};

}  // namespace varnoke::hook
