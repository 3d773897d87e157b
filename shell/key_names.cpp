#include "shell/key_names.h"

#include "platform/messages.h"

namespace varnoke::shell {
namespace {

// The named keys below the digits and the string-table entry of each.
struct TNamedKey {
  std::uint32_t code;
  int message;
};
constexpr TNamedKey kNamedKeys[] = {
    {8, 4611},  {9, 4612},  {12, 4613}, {13, 4614}, {19, 4615}, {27, 4616}, {32, 4617},
    {33, 4618}, {34, 4619}, {35, 4620}, {36, 4621}, {37, 4622}, {38, 4623}, {39, 4624},
    {40, 4625}, {41, 4626}, {42, 4627}, {45, 4628}, {46, 4629}, {47, 4630},
};

std::string Message(int id) {
  return std::string(platform::MessageText(id));
}

}  // namespace

std::string HotKeyModifierText(std::uint32_t bits) {
  std::string text;
  if (bits & kHotKeyShift) text += Message(platform::kMsgShiftName);
  if (bits & kHotKeyCtrl) text += Message(platform::kMsgCtrlName);
  if (bits & kHotKeyAlt) text += Message(platform::kMsgAltName);
  return text;
}

std::string KeyNameText(std::uint32_t code) {
  for (const TNamedKey& key : kNamedKeys) {
    if (key.code == code) return Message(key.message);
  }
  if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z'))
    return std::string(1, static_cast<char>(code));
  if (code >= 96 && code <= 105) return "Num " + std::to_string(code - 96);
  switch (code) {
    case 106:
      return "*";
    case 107:
      return "+";
    case 108:
      return "|";
    case 109:
      return "-";
    case 110:
      return ".";
    case 111:
      return "/";
    default:
      break;
  }
  if (code >= 112 && code <= 135) return "F" + std::to_string(code - 111);
  return {};
}

std::string HotKeyText(std::uint16_t code, std::uint32_t bits) {
  std::string text = HotKeyModifierText(bits) + KeyNameText(code);
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

}  // namespace varnoke::shell
