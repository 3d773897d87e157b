#include "platform/a11y/message_values.h"

#include <dbus/dbus.h>

namespace varnoke::platform {
namespace {

template <typename T>
bool ReadBasic(DBusMessageIter* it, int type, T& value) {
  if (dbus_message_iter_get_arg_type(it) != type) return false;
  dbus_message_iter_get_basic(it, &value);
  return true;
}

bool ReadStringAt(DBusMessageIter* it, std::string& value) {
  const char* text = nullptr;
  if (!ReadBasic(it, DBUS_TYPE_STRING, text) && !ReadBasic(it, DBUS_TYPE_OBJECT_PATH, text))
    return false;
  value = text;
  return true;
}

// The first argument's iterator; false for a message without arguments.
bool First(DBusMessage* message, DBusMessageIter* it) {
  return message != nullptr && dbus_message_iter_init(message, it);
}

// Steps into the variant at it.
bool IntoVariant(DBusMessage* message, DBusMessageIter* inner) {
  DBusMessageIter it;
  if (!First(message, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_VARIANT)
    return false;
  dbus_message_iter_recurse(&it, inner);
  return true;
}

// Steps into the array at it, whose elements are of type element.
bool IntoArray(DBusMessage* message, int element, DBusMessageIter* inner) {
  DBusMessageIter it;
  if (!First(message, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY ||
      dbus_message_iter_get_element_type(&it) != element)
    return false;
  dbus_message_iter_recurse(&it, inner);
  return true;
}

}  // namespace

bool AppendString(DBusMessage* message, std::string_view text) {
  const std::string copy(text);
  // A NUL inside would cut the string short; dbus would refuse what is not
  // UTF-8 with a warning of its own.
  if (copy.size() != std::char_traits<char>::length(copy.c_str()) ||
      !dbus_validate_utf8(copy.c_str(), nullptr))
    return false;
  const char* value = copy.c_str();
  return dbus_message_append_args(message, DBUS_TYPE_STRING, &value, DBUS_TYPE_INVALID);
}

bool AppendInt32(DBusMessage* message, std::int32_t value) {
  const dbus_int32_t word = value;
  return dbus_message_append_args(message, DBUS_TYPE_INT32, &word, DBUS_TYPE_INVALID);
}

bool AppendPropertyValue(DBusMessage* message, const char* interface, const char* property,
                         bool value) {
  if (!dbus_message_append_args(message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                DBUS_TYPE_INVALID))
    return false;
  DBusMessageIter it;
  DBusMessageIter variant;
  dbus_message_iter_init_append(message, &it);
  if (!dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING,
                                        &variant))
    return false;
  const dbus_bool_t flag = value ? TRUE : FALSE;
  const bool appended = dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &flag);
  if (!dbus_message_iter_close_container(&it, &variant)) return false;
  return appended;
}

bool ReadString(DBusMessage* message, std::string& value) {
  DBusMessageIter it;
  return First(message, &it) && ReadStringAt(&it, value);
}

bool ReadBool(DBusMessage* message, bool& value) {
  DBusMessageIter it;
  dbus_bool_t flag = FALSE;
  if (!First(message, &it) || !ReadBasic(&it, DBUS_TYPE_BOOLEAN, flag)) return false;
  value = flag != FALSE;
  return true;
}

bool ReadUint32(DBusMessage* message, std::uint32_t& value) {
  DBusMessageIter it;
  dbus_uint32_t word = 0;
  if (!First(message, &it) || !ReadBasic(&it, DBUS_TYPE_UINT32, word)) return false;
  value = word;
  return true;
}

bool ReadVariantBool(DBusMessage* message, bool& value) {
  DBusMessageIter inner;
  dbus_bool_t flag = FALSE;
  if (!IntoVariant(message, &inner) || !ReadBasic(&inner, DBUS_TYPE_BOOLEAN, flag)) return false;
  value = flag != FALSE;
  return true;
}

bool ReadVariantInt32(DBusMessage* message, std::int32_t& value) {
  DBusMessageIter inner;
  dbus_int32_t word = 0;
  if (!IntoVariant(message, &inner) || !ReadBasic(&inner, DBUS_TYPE_INT32, word)) return false;
  value = word;
  return true;
}

bool ReadStateSet(DBusMessage* message, TStateSet& states) {
  DBusMessageIter inner;
  if (!IntoArray(message, DBUS_TYPE_UINT32, &inner)) return false;
  std::uint64_t bits = 0;
  for (int word = 0; word < 2 && dbus_message_iter_get_arg_type(&inner) == DBUS_TYPE_UINT32;
       ++word) {
    dbus_uint32_t value = 0;
    dbus_message_iter_get_basic(&inner, &value);
    bits |= static_cast<std::uint64_t>(value) << (32 * word);
    dbus_message_iter_next(&inner);
  }
  states.Bits = bits;
  return true;
}

bool ReadObjectRefs(DBusMessage* message, std::vector<TAccessibleRef>& objects) {
  DBusMessageIter inner;
  if (!IntoArray(message, DBUS_TYPE_STRUCT, &inner)) return false;
  objects.clear();
  while (dbus_message_iter_get_arg_type(&inner) == DBUS_TYPE_STRUCT) {
    DBusMessageIter fields;
    dbus_message_iter_recurse(&inner, &fields);
    TAccessibleRef object;
    if (!ReadStringAt(&fields, object.Bus) || !dbus_message_iter_next(&fields) ||
        !ReadStringAt(&fields, object.Path))
      return false;
    objects.push_back(std::move(object));
    dbus_message_iter_next(&inner);
  }
  return true;
}

bool ReadStrings(DBusMessage* message, std::vector<std::string>& values) {
  DBusMessageIter inner;
  if (!IntoArray(message, DBUS_TYPE_STRING, &inner)) return false;
  values.clear();
  std::string value;
  while (ReadStringAt(&inner, value)) {
    values.push_back(value);
    dbus_message_iter_next(&inner);
  }
  return true;
}

bool ReadStringAndInt32(DBusMessage* message, std::string& text, std::int32_t& value) {
  DBusMessageIter it;
  dbus_int32_t word = 0;
  if (!First(message, &it) || !ReadStringAt(&it, text) || !dbus_message_iter_next(&it) ||
      !ReadBasic(&it, DBUS_TYPE_INT32, word))
    return false;
  value = word;
  return true;
}

}  // namespace varnoke::platform
