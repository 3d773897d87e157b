// Watching for a system tray to appear on the display.
#pragma once

#include <memory>

namespace varnoke::platform {

class TX11Display;

// Keeps a connection of its own, so that the events it reads are nobody
// else's: a tray announces itself by a MANAGER message to the root window,
// which this connection asks for when it is made.
class TTrayWatch {
 public:
  // Null when the display cannot be opened.
  static std::unique_ptr<TTrayWatch> Open(const char* displayName = nullptr);

  explicit TTrayWatch(std::unique_ptr<TX11Display> display);
  ~TTrayWatch();
  TTrayWatch(const TTrayWatch&) = delete;
  TTrayWatch& operator=(const TTrayWatch&) = delete;

  // True when some client owns the tray selection of the default screen
  // (_NET_SYSTEM_TRAY_S<screen>).
  bool Present();
  // The connection's socket: readable when something may have changed.
  int Fd() const;
  // Reads what the socket holds; Present() may be true afterwards.
  void Dispatch();

 private:
  std::unique_ptr<TX11Display> display_;
  unsigned long selection_ = 0;  // the tray selection's atom
};

}  // namespace varnoke::platform
