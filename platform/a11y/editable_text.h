// Filling an editable text field on the accessibility bus: its whole text
// replaced at once, as a user would see a program set it.
#pragma once

#include <string_view>

#include "platform/a11y/accessible.h"
#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {

// Replaces the whole text of field with text (UTF-8), puts the caret at
// its end and reads the text back: true when it reads as text. False when
// the field is gone, refuses, or changes what it was given; also for text
// that is not UTF-8, which the bus cannot carry.
bool ReplaceText(TBusConnection& bus, const TAccessibleRef& field, std::string_view text,
                 TDeadline deadline);

// Selects the whole text of field, so that typing replaces it; true when
// the application says it did.
bool SelectAllText(TBusConnection& bus, const TAccessibleRef& field, TDeadline deadline);

}  // namespace varnoke::platform
