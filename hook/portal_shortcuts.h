// The hot key through the desktop portal's global shortcuts
// (org.freedesktop.portal.GlobalShortcuts): one session, one shortcut
// "popup" with the hot key as its preferred trigger, its Activated signal
// as the press.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "hook/dbus_loop.h"
#include "hook/key_source.h"

namespace varnoke::hook {

class TPortalShortcuts final : public TKeySource {
 public:
  // The desktop offers the portal's global shortcuts on this bus.
  static bool Offered(TDBusLoop& bus);

  // Takes over the bus connection.
  explicit TPortalShortcuts(std::unique_ptr<TDBusLoop> bus);
  ~TPortalShortcuts() override;  // Stop()

  // Opens the session. False when the portal refuses one.
  bool Start(TPressed pressed) override;
  // Binds the key; kKeyRefused when the desktop leaves the shortcut
  // without a trigger or gives it another key than the one asked for.
  TKeyAnswer SetKey(std::uint16_t vk, std::uint32_t modifiers) override;
  // Closes the session: the desktop lets the key go.
  void Stop() override;

 private:
  // Calls a portal method that answers through a request object, and waits
  // for its Response up to timeout: the response code (0 success, 1
  // cancelled, 2 other) and results (to be unreffed), or -1 when none came.
  int Request(const char* method, GVariant* parameters, const std::string& token,
              GVariant** results, std::chrono::milliseconds timeout);
  std::string NextToken();

  std::unique_ptr<TDBusLoop> bus_;
  std::string session_;  // the session's object path; empty before Start
  unsigned activated_ = 0;
  TPressed pressed_;
  std::uint16_t vk_ = 0;
  std::uint32_t modifiers_ = 0;
  unsigned tokens_ = 0;
};

}  // namespace varnoke::hook
