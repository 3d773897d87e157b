// A desktop with nothing on it, for benchmarks of the program's own windows.
#pragma once

#include <QObject>
#include <memory>

#include "shell/desktop_services.h"

namespace varnoke::bench {

class TNoDesktop : public shell::TDesktopServices {
 public:
  std::uint32_t RegisterWindowMessage(std::string_view) override { return ++next_; }
  bool DecodePostedMessage(const QByteArray&, void*, shell::TPostedMessage&) override {
    return false;
  }
  bool GetWindowRect(shell::TWindowHandle, shell::TScreenRect&) override { return false; }
  bool GetFrameExtents(shell::TWindowHandle, shell::TFrameExtents&) override { return false; }
  shell::TWindowHandle GetParent(shell::TWindowHandle) override { return 0; }
  void SetForegroundWindow(shell::TWindowHandle) override {}
  bool WaitForFocusIn(shell::TWindowHandle, int) override { return false; }
  bool TypeText(std::string_view) override { return false; }
  bool SwitchAccessibilityOn() override { return false; }
  bool SetFieldText(const platform::TAccessibleRef&, std::string_view) override { return false; }
  bool SelectFieldText(const platform::TAccessibleRef&) override { return false; }
  bool TrayPresent() override { return false; }
  std::unique_ptr<QObject> WatchTray(std::function<void()>) override {
    return std::make_unique<QObject>();
  }

 private:
  std::uint32_t next_ = 0xC000;
};

}  // namespace varnoke::bench
