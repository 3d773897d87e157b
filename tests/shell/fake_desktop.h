// A desktop in the test process: message numbers from a table, other
// programs' windows as rectangles the test sets, and a record of what the
// program asked of them.
#pragma once

#include <QObject>
#include <map>
#include <string>
#include <vector>

#include "shell/desktop_services.h"

namespace varnoke::testing {

class TFakeDesktop : public shell::TDesktopServices {
 public:
  std::uint32_t RegisterWindowMessage(std::string_view name) override {
    if (FailRegistration) return 0;
    const auto [place, added] =
        Numbers.emplace(std::string(name), 0xC000 + static_cast<std::uint32_t>(Numbers.size()));
    return place->second;
  }
  bool DecodePostedMessage(const QByteArray&, void*, shell::TPostedMessage&) override {
    return false;
  }
  bool GetWindowRect(shell::TWindowHandle window, shell::TScreenRect& rect) override {
    const auto found = Rects.find(window);
    if (found == Rects.end()) return false;
    rect = found->second;
    return true;
  }
  bool GetFrameExtents(shell::TWindowHandle window, shell::TFrameExtents& extents) override {
    const auto found = Extents.find(window);
    if (found == Extents.end()) return false;
    extents = found->second;
    return true;
  }
  shell::TWindowHandle GetParent(shell::TWindowHandle) override { return 0; }
  void SetForegroundWindow(shell::TWindowHandle window) override { Foreground.push_back(window); }
  bool WaitForFocusIn(shell::TWindowHandle window, int) override {
    FocusWaits.push_back(window);
    return FocusComesBack;
  }
  bool TypeText(std::string_view text) override {
    Typed.emplace_back(text);
    return true;
  }
  bool SwitchAccessibilityOn() override {
    ++AccessibilitySwitched;
    return true;
  }
  bool SetFieldText(const platform::TAccessibleRef& field, std::string_view text) override {
    FieldTexts.emplace_back(field, text);
    return FieldTakesText;
  }
  bool SelectFieldText(const platform::TAccessibleRef& field) override {
    Selected.push_back(field);
    return true;
  }
  bool TrayPresent() override { return TrayThere; }
  std::unique_ptr<QObject> WatchTray(std::function<void()> onChange) override {
    TrayChanged = std::move(onChange);
    return std::make_unique<QObject>();
  }

  bool FailRegistration = false;
  std::map<std::string, std::uint32_t> Numbers;
  std::map<shell::TWindowHandle, shell::TScreenRect> Rects;
  std::map<shell::TWindowHandle, shell::TFrameExtents> Extents;
  std::vector<shell::TWindowHandle> Foreground;
  std::vector<shell::TWindowHandle> FocusWaits;
  bool FocusComesBack = true;
  std::vector<std::string> Typed;
  int AccessibilitySwitched = 0;
  std::vector<std::pair<platform::TAccessibleRef, std::string>> FieldTexts;
  bool FieldTakesText = true;
  std::vector<platform::TAccessibleRef> Selected;
  bool TrayThere = true;
  std::function<void()> TrayChanged;
};

}  // namespace varnoke::testing
