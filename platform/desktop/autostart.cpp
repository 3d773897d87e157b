#include "platform/desktop/autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/config_paths.h"
#include "platform/files/file_writing.h"
#include "platform/path_text.h"

namespace varnoke::platform {
namespace {

constexpr std::string_view kEntryName = "varnoke.desktop";

// The length of the UTF-8 sequence at text[i], or 0 when none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

TXdgAutoStart::TXdgAutoStart(std::string folder) : folder_(std::move(folder)) {}

std::string TXdgAutoStart::EntryPath() const {
  return folder_ + "/" + std::string(kEntryName);
}

bool TXdgAutoStart::Open() {
  return MakeFolders(folder_);
}

bool TXdgAutoStart::SetCommand(std::string_view command) {
  const std::optional<std::string> text = AutoStartEntryText(command);
  if (!text.has_value() || !MakeFolders(folder_)) return false;
  // The temporary name ("varnoke.desktop.XXXXXX") does not end in .desktop,
  // so that no session takes a half-written file for an entry.
  TFileReplacement replacement(EntryPath(), 0644);
  return replacement.Write(*text) && replacement.Commit();
}

bool TXdgAutoStart::Remove() {
  return ::unlink(EntryPath().c_str()) == 0 || errno == ENOENT;
}

std::string AutoStartFolder() {
  // The settings folder is <config home>/varnoke.
  return FolderOf(SettingsFolder()) + "/autostart";
}

std::optional<std::string> ExecArgument(std::string_view argument) {
  // Two layers, undone by a reader in the opposite order: quoting of the
  // Exec line ("\" before " ` $ \ inside double quotes, %% for %), then the
  // escapes of a string value (\\ \n \t \r).
  std::string quoted = "\"";
  for (std::size_t i = 0; i < argument.size();) {
    const std::size_t length = Utf8Length(argument, i);
    if (length == 0) return std::nullopt;
    const char c = argument[i];
    if (length == 1) {
      const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
      if (control && c != '\t' && c != '\n' && c != '\r') return std::nullopt;
      if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
      if (c == '%') quoted += '%';
    }
    quoted.append(argument.substr(i, length));
    i += length;
  }
  quoted += '"';

  std::string value;
  for (const char c : quoted) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += c;
    }
  }
  return value;
}

std::optional<std::string> AutoStartEntryText(std::string_view program) {
  const std::optional<std::string> exec = ExecArgument(program);
  if (!exec.has_value()) return std::nullopt;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Varnoke\n"
         "Comment=Finds files by name at once\n"
         "Exec=" +
         *exec +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

}  // namespace varnoke::platform
