// The values the accessibility calls send and answer, put into and read
// out of D-Bus messages. Readers check every type and return false on any
// message that is not shaped as expected: what other programs send is
// never trusted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/a11y/accessible.h"

struct DBusMessage;

namespace varnoke::platform {

// False when text is not valid UTF-8 (the bus carries nothing else) or
// memory runs out.
bool AppendString(DBusMessage* message, std::string_view text);
bool AppendInt32(DBusMessage* message, std::int32_t value);
// A string, a string and a variant holding value: Properties.Set's arguments.
bool AppendPropertyValue(DBusMessage* message, const char* interface, const char* property,
                         bool value);

// The first argument, of the type named.
bool ReadString(DBusMessage* message, std::string& value);
bool ReadBool(DBusMessage* message, bool& value);
bool ReadUint32(DBusMessage* message, std::uint32_t& value);
// A variant holding the type named (as Properties.Get answers).
bool ReadVariantBool(DBusMessage* message, bool& value);
bool ReadVariantInt32(DBusMessage* message, std::int32_t& value);
// au: GetState's two words, the low one first.
bool ReadStateSet(DBusMessage* message, TStateSet& states);
// a(so): GetChildren's objects.
bool ReadObjectRefs(DBusMessage* message, std::vector<TAccessibleRef>& objects);
// as: GetInterfaces's names.
bool ReadStrings(DBusMessage* message, std::vector<std::string>& values);
// A string then a 32-bit integer: an event's kind and its first detail.
bool ReadStringAndInt32(DBusMessage* message, std::string& text, std::int32_t& value);

}  // namespace varnoke::platform
