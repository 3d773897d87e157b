#include "platform/a11y/accessible_calls.h"

#include <dbus/dbus.h>

#include "platform/a11y/message_values.h"

namespace varnoke::platform {

TMessage StateCall(const TAccessibleRef& object) {
  return MethodCall(object.Bus, object.Path, kAccessibleInterface, "GetState");
}

TMessage ChildrenCall(const TAccessibleRef& object) {
  return MethodCall(object.Bus, object.Path, kAccessibleInterface, "GetChildren");
}

TMessage InterfacesCall(const TAccessibleRef& object) {
  return MethodCall(object.Bus, object.Path, kAccessibleInterface, "GetInterfaces");
}

TMessage PropertyCall(const TAccessibleRef& object, const char* interface, const char* property) {
  TMessage call = MethodCall(object.Bus, object.Path, DBUS_INTERFACE_PROPERTIES, "Get");
  if (call == nullptr || !AppendString(call.get(), interface) ||
      !AppendString(call.get(), property))
    return nullptr;
  return call;
}

bool ListApplications(TBusConnection& bus, TDeadline deadline,
                      std::vector<TAccessibleRef>& applications) {
  // The registry is the root that every application is a child of.
  TMessage reply = bus.Call(
      ChildrenCall({"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"}), deadline);
  return reply != nullptr && ReadObjectRefs(reply.get(), applications);
}

}  // namespace varnoke::platform
