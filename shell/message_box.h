// Every message box of the program goes through MessageBox, so that tests
// can answer boxes instead of waiting for a user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace varnoke::shell {

// Buttons and icons, numbered as the program has always numbered them.
enum TBoxFlags : unsigned {
  kMbOk = 0x0,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,  // also the "stop" icon
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
  kMbTaskModal = 0x2000,
};

// The button the user pressed.
enum TBoxAnswer : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdYes = 6,
  kIdNo = 7,
};

struct TMessageBoxRequest {
  QString Text;
  QString Caption;
  unsigned Flags = 0;
};

// Answers a box in place of the user: returns the button to press.
using TMessageBoxHook = std::function<int(const TMessageBoxRequest&)>;

// Shows a modal box with the text, caption, buttons and icon of flags, and
// returns the button pressed (Yes is the default button of a Yes/No box).
// While a hook is set, the hook answers and nothing is shown.
int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);

// Sets the hook that answers every following box (an empty one restores the
// real boxes) and returns the previous one.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

}  // namespace varnoke::shell
