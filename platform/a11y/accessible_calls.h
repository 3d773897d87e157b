// The calls on accessible objects that finding and filling a text field
// needs, built as messages so that callers can send many of them at once.
// Null when the object's name or path is not one the bus accepts.
#pragma once

#include "platform/a11y/accessible.h"
#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {

// Answers au (ReadStateSet).
TMessage StateCall(const TAccessibleRef& object);
// Answers a(so) (ReadObjectRefs).
TMessage ChildrenCall(const TAccessibleRef& object);
// Answers as (ReadStrings).
TMessage InterfacesCall(const TAccessibleRef& object);
// Properties.Get of interface's property; answers a variant.
TMessage PropertyCall(const TAccessibleRef& object, const char* interface, const char* property);

// The applications on the bus, as the registry lists them; false when it
// did not answer in time.
bool ListApplications(TBusConnection& bus, TDeadline deadline,
                      std::vector<TAccessibleRef>& applications);

}  // namespace varnoke::platform
