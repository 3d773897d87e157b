// The hot key on GNOME without the portal: a custom keybinding "Varnoke"
// of GNOME's media-keys settings, whose command is `varnoke --popup`.
// GNOME runs the command on each press; the running program then reports
// the press through ReportHotKey. Written through GSettings, replaced when
// the key changes, removed when the hook is removed (File | Exit).
#pragma once

#include <cstdint>
#include <string>

#include "hook/key_source.h"

namespace varnoke::hook {

// The path of the program's own keybinding in the settings.
inline constexpr char kGnomeKeybindingPath[] =
    "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/varnoke/";

class TGnomeKeybinding final : public TKeySource {
 public:
  // GNOME's media-keys settings are installed.
  static bool Offered();

  // command: what GNOME runs on a press.
  explicit TGnomeKeybinding(std::string command);
  ~TGnomeKeybinding() override = default;  // the keybinding outlives the process

  // Writes the key given so far. Presses never come from here.
  bool Start(TPressed pressed) override;
  // kKeyRefused (and no keybinding of ours) when another keybinding of
  // GNOME's or of the user's holds the key.
  TKeyAnswer SetKey(std::uint16_t vk, std::uint32_t modifiers) override;
  // Removes the keybinding.
  void Stop() override;

 private:
  TKeyAnswer Write();

  std::string command_;
  std::string accelerator_;
  bool started_ = false;
};

// The command that runs this process's program with --popup, quoted as a
// desktop's command line is read.
std::string PopupCommandOfThisProgram();

// True when two accelerators name the same key with the same modifiers
// ("<Primary><Alt>F" and "<Control><Alt>f"); false when either is empty
// or not understood.
bool SameAccelerator(const std::string& a, const std::string& b);

}  // namespace varnoke::hook
