// The programs the desktop starts when the user logs in: the Run key of the
// settings, whose value "$$VARNOKE" names the program to start. Here it is
// the XDG autostart entry varnoke.desktop in $XDG_CONFIG_HOME/autostart.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnoke::platform {

// The Run key's value that starts the program.
inline constexpr std::string_view kRunValueName = "$$VARNOKE";

class TAutoStart {
 public:
  virtual ~TAutoStart() = default;

  // Opens the Run key: true when its entries can be changed.
  virtual bool Open() = 0;
  // Sets the value: command is started at log-in. False when it could not
  // be stored; whatever was there before then stands.
  virtual bool SetCommand(std::string_view command) = 0;
  // Deletes the value; deleting one that is not there changes nothing.
  virtual bool Remove() = 0;
};

// The autostart entry in folder (AutoStartFolder() for the user's desktop).
class TXdgAutoStart final : public TAutoStart {
 public:
  explicit TXdgAutoStart(std::string folder);

  // True when the folder exists or could be made, with its parents.
  bool Open() override;
  // Replaces the entry atomically: a session starting meanwhile sees the
  // old entry or the new one, never a part of one.
  bool SetCommand(std::string_view command) override;
  bool Remove() override;

  const std::string& Folder() const noexcept { return folder_; }
  std::string EntryPath() const;

 private:
  std::string folder_;
};

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
std::string AutoStartFolder();

// One argument of an entry's Exec line, quoted so that blanks and the
// characters the desktop-entry format reserves reach the program as they
// are; nullopt when the text cannot stand in an entry (not UTF-8, or a
// control character other than tab, line feed and carriage return).
std::optional<std::string> ExecArgument(std::string_view argument);

// The whole desktop entry that starts program (an absolute path); nullopt
// when the path cannot stand in an entry.
std::optional<std::string> AutoStartEntryText(std::string_view program);

}  // namespace varnoke::platform
