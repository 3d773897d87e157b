#include "platform/messages.h"

namespace varnoke::platform {
namespace {

struct TEntry {
  int id;
  std::string_view text;
};

// The texts stand exactly as the program has always shown them, the double
// spaces in 8193 and 8194 included.
constexpr TEntry kTable[] = {
    {kMsgDeviceLoadFailed,
     "Failed to load the %s virtual device driver. %s cannot continue execution at this time. "
     "If re-installing %s does not succeed, please contact technical support."},
    {kMsgDeviceInitFailed,
     "Failed to initialize the %s virtual device driver. %s cannot continue execution at this "
     "time. If re-installing %s does not succeed, please contact technical support."},
    {kMsgKeyNotOpened,
     "The key: '%s' could not be opened in the Windows Registry. This could be an indication of "
     "more serious problems. Run a registry maintenance program, or re-install this software to "
     "correct this problem."},
    {kMsgValueNotOpened,
     "The value: '%s'  of the key: '%s' could not be opened in the Windows Registry. This could "
     "be an indication of more serious problems. Run a registry maintenance program, or "
     "re-install this software to correct this problem."},
    {kMsgValueWrongType,
     "The data type for the  value '%s' of the key '%s' does not match the expected type: '%s'. "
     "This could be an indication of more serious problems. Run a registry maintenance program, "
     "or re-install this software to correct this problem."},
    {kMsgValueNotSet,
     "An error occurred while attempting to set the value '%s' of the key '%s'. This could be an "
     "indication of more serious problems. Run a registry maintenance program, or re-install "
     "this software to correct this problem."},
    {kMsgHiveUnreadable, "The settings file %s cannot be read: line %d: %s."},
    {kMsgHiveUnwritable, "The settings file %s could not be written: %s."},
};

}  // namespace

std::string_view MessageText(int id) noexcept {
  for (const TEntry& entry : kTable) {
    if (entry.id == id) return entry.text;
  }
  return {};
}

std::string FormatText(std::string_view format, std::initializer_list<TMessageArg> args) {
  std::string out;
  out.reserve(format.size() + 64);
  const TMessageArg* next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 == format.size()) {
      out.push_back(c);
      continue;
    }
    const char kind = format[i + 1];
    if (kind == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    const bool text =
        kind == 's' && next != args.end() && std::holds_alternative<std::string_view>(*next);
    const bool number =
        kind == 'd' && next != args.end() && std::holds_alternative<std::int64_t>(*next);
    if (text) {
      out.append(std::get<std::string_view>(*next++));
      ++i;
    } else if (number) {
      out.append(std::to_string(std::get<std::int64_t>(*next++)));
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string FormatMessage(int id, std::initializer_list<TMessageArg> args) {
  return FormatText(MessageText(id), args);
}

}  // namespace varnoke::platform
