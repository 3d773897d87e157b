// The program's numbered string table and the formatting of its entries.
//
// Every user-facing message with arguments comes from here, by number, and
// is formatted with %s (text) and %d (number) placeholders.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace varnoke::platform {

// The numbers of the table.
enum TMessageId : int {
  kMsgHookInitFailed = 4096,
  kMsgMessagesNotRegistered = 4097,
  kMsgDeviceLoadFailed = 4098,
  kMsgHookLoadFailed = 4099,
  kMsgDeviceInitFailed = 4100,
  kMsgCancelScan = 4101,
  kMsgFilesFound = 4102,
  kMsgHotKeyInUse = 4103,
  kMsgNoTray = 4104,
  kMsgPathNotTyped = 4105,
  kMsgNotSaved = 4106,
  kMsgNoDisplay = 4107,
  kMsgHotKeyNotGrabbed = 4108,
  kMsgFoldersUnwatched = 4109,
  // The catch-up after a load.
  kMsgCatchingUp = 4112,
  kMsgCatchUpEnded = 4113,
  kMsgCatchUpCalledOff = 4114,
  kMsgCatchUpAdded = 4115,
  kMsgCatchUpRemoved = 4116,
  kMsgCatchUpMore = 4117,
  kMsgNoDriveHolds = 4120,
  kMsgFolderNotIndexed = 4121,
  kMsgHiddenNotIndexed = 4122,
  kMsgTerminateNow = 4352,
  kMsgShiftName = 4608,
  kMsgCtrlName = 4609,
  kMsgAltName = 4610,
  kMsgFirstKeyName = 4611,  // 4611 "Backspace" to 4630 "Help"
  kMsgLastKeyName = 4630,
  kMsgKeyNotOpened = 8192,
  kMsgValueNotOpened = 8193,
  kMsgValueWrongType = 8194,
  kMsgValueNotSet = 8195,
  kMsgHiveUnreadable = 8196,
  kMsgHiveUnwritable = 8197,
  kMsgCannotCreateFile = 61441,
};

using TMessageArg = std::variant<std::string_view, std::int64_t>;

// The text of entry id, placeholders unfilled; empty for an unknown id.
std::string_view MessageText(int id) noexcept;

// format with each %s replaced by the next text argument and each %d by the
// next number, in order; %% gives "%". A placeholder without an argument, or
// of the wrong kind, is left as it stands.
std::string FormatText(std::string_view format, std::initializer_list<TMessageArg> args);

// MessageText(id) formatted with args.
std::string FormatMessage(int id, std::initializer_list<TMessageArg> args);

}  // namespace varnoke::platform
