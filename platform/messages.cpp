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
    {kMsgHookInitFailed,
     "Failed to initialize the %s dynamic link library. %s cannot continue execution at this "
     "time. If re-installing %s does not succeed, please contact technical support."},
    {kMsgMessagesNotRegistered,
     "Failed to register custom windows messages. %s cannot continue execution at this time. "
     "This problem can be caused by Windows 95 being extremely low on system resources. Try "
     "unloading some applications or re-starting Windows 95."},
    {kMsgDeviceLoadFailed,
     "Failed to load the %s virtual device driver. %s cannot continue execution at this time. "
     "If re-installing %s does not succeed, please contact technical support."},
    {kMsgHookLoadFailed,
     "Failed to load the %s dynamic link library. %s cannot continue execution at this time. If "
     "re-installing %s does not succeed, please contact technical support."},
    {kMsgDeviceInitFailed,
     "Failed to initialize the %s virtual device driver. %s cannot continue execution at this "
     "time. If re-installing %s does not succeed, please contact technical support."},
    {kMsgCancelScan,
     "Cancelling the scan operation now will shut down %s. Are you sure you wish to continue?"},
    {kMsgFilesFound, "Number of files found = %d"},
    {kMsgHotKeyInUse,
     "The hot key %s is in use by another program, so it cannot call up %s. Choose another one "
     "with Set Hot Key in the File menu."},
    {kMsgNoTray,
     "No system tray appeared within %d seconds; %s runs on without a tray icon. Press %s to "
     "call up its search window."},
    {kMsgPathNotTyped,
     "The path was not typed, because the window you chose did not get the keyboard back. It is "
     "on the clipboard instead: %s"},
    {kMsgNotSaved,
     "The filename database could not be saved to %s (%s); the next start scans the drives "
     "again."},
    {kMsgNoDisplay,
     "cannot open the display %s: Varnoke needs an X11 display, which a Wayland desktop "
     "gives through XWayland"},
    {kMsgHotKeyNotGrabbed,
     "The hot key %s has no key on this keyboard, so it cannot call up %s. Choose another one "
     "with Set Hot Key in the File menu."},
    {kMsgFoldersUnwatched,
     "%d folders of the fixed drives cannot be watched for changes: the system's limit of %d "
     "inotify watches is reached. %s looks at them again a few at a time, so changes in them "
     "show late. To watch them all, raise the limit, for example with: sudo sysctl %s=%d"},
    {kMsgCatchingUp, "%s is checking for changes made while it was not running"},
    {kMsgCatchUpEnded, "%s found %d changes made while it was not running (%d folders checked)."},
    {kMsgCatchUpCalledOff,
     "%s stopped checking for changes made while it was not running; it had found %d. The next "
     "start checks again."},
    {kMsgCatchUpAdded, "Added: %s"},
    {kMsgCatchUpRemoved, "Removed: %s"},
    {kMsgCatchUpMore, "... and %d more changes"},
    {kMsgNoDriveHolds, "No drive holds the folder %s; the drives are the links in %s"},
    {kMsgFolderNotIndexed, "The folder %s is not in the database"},
    {kMsgHiddenNotIndexed,
     "Names that begin with a full stop are hidden files: they are not in the database, nor is "
     "anything below them. A pattern that begins with a full stop searches folder names."},
    {kMsgTerminateNow,
     "Terminating %s now will require that %s rebuild the filename database the next time that "
     "%s restarts. Are you sure you wish to terminate now?"},
    {kMsgShiftName, "Shift "},
    {kMsgCtrlName, "Ctrl "},
    {kMsgAltName, "Alt "},
    {4611, "Backspace"},
    {4612, "Tab"},
    {4613, "Clear"},
    {4614, "Return"},
    {4615, "Pause"},
    {4616, "Escape"},
    {4617, "Space"},
    {4618, "Prior"},
    {4619, "Next"},
    {4620, "End"},
    {4621, "Home"},
    {4622, "Left"},
    {4623, "Up"},
    {4624, "Right"},
    {4625, "Down"},
    {4626, "Select"},
    {4627, "Print"},
    {4628, "Insert"},
    {4629, "Delete"},
    {4630, "Help"},
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
    {kMsgCannotCreateFile, "Cannot create file %s"},
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
