#include "platform/a11y/accessibility_bus.h"

#include <dbus/dbus.h>

#include "platform/a11y/message_values.h"

namespace varnoke::platform {
namespace {

constexpr char kBusName[] = "org.a11y.Bus";
constexpr char kBusPath[] = "/org/a11y/bus";
constexpr char kStatusInterface[] = "org.a11y.Status";

}  // namespace

std::unique_ptr<TBusConnection> OpenAccessibilityBus(const std::string& sessionAddress,
                                                     TDeadline deadline, std::string* error) {
  std::unique_ptr<TBusConnection> session = TBusConnection::Open(sessionAddress, deadline, error);
  if (session == nullptr) return nullptr;
  TMessage reply =
      session->Call(MethodCall(kBusName, kBusPath, kBusName, "GetAddress"), deadline, error);
  std::string address;
  if (reply == nullptr || !ReadString(reply.get(), address) || address.empty()) {
    if (error != nullptr && reply != nullptr) *error = "GetAddress answered no address";
    return nullptr;
  }
  return TBusConnection::Open(address, deadline, error);
}

TAccessibilitySwitch SwitchAccessibilityOn(const std::string& sessionAddress, TDeadline deadline,
                                           std::string* error) {
  std::unique_ptr<TBusConnection> session = TBusConnection::Open(sessionAddress, deadline, error);
  if (session == nullptr) return TAccessibilitySwitch::Unavailable;
  TMessage get = MethodCall(kBusName, kBusPath, DBUS_INTERFACE_PROPERTIES, "Get");
  if (get == nullptr || !AppendString(get.get(), kStatusInterface) ||
      !AppendString(get.get(), "IsEnabled"))
    return TAccessibilitySwitch::Unavailable;
  TMessage reply = session->Call(std::move(get), deadline, error);
  bool enabled = false;
  if (reply == nullptr || !ReadVariantBool(reply.get(), enabled))
    return TAccessibilitySwitch::Unavailable;
  if (enabled) return TAccessibilitySwitch::WasOn;
  TMessage set = MethodCall(kBusName, kBusPath, DBUS_INTERFACE_PROPERTIES, "Set");
  if (set == nullptr || !AppendPropertyValue(set.get(), kStatusInterface, "IsEnabled", true))
    return TAccessibilitySwitch::Unavailable;
  if (session->Call(std::move(set), deadline, error) == nullptr)
    return TAccessibilitySwitch::Unavailable;
  return TAccessibilitySwitch::TurnedOn;
}

}  // namespace varnoke::platform
