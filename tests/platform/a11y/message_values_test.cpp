// The values of accessibility calls in and out of D-Bus messages, and what
// readers make of messages that are not shaped as they expect.
#include "platform/a11y/message_values.h"

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include "platform/a11y/bus_connection.h"

namespace varnoke::platform {
namespace {

TMessage Message() {
  return MethodCall("org.example.App", "/org/example/Object", "org.example.Interface", "Method");
}

// A message whose arguments are made by fill on an appending iterator.
template <typename Fill>
TMessage Built(Fill fill) {
  TMessage message = Message();
  DBusMessageIter it;
  dbus_message_iter_init_append(message.get(), &it);
  fill(&it);
  return message;
}

void AppendUints(DBusMessageIter* it, std::initializer_list<dbus_uint32_t> values) {
  DBusMessageIter array;
  dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, DBUS_TYPE_UINT32_AS_STRING, &array);
  for (dbus_uint32_t value : values)
    dbus_message_iter_append_basic(&array, DBUS_TYPE_UINT32, &value);
  dbus_message_iter_close_container(it, &array);
}

TEST(MessageValues, StringsGoInOnlyAsValidUtf8WithoutNul) {
  TMessage message = Message();
  ASSERT_NE(message, nullptr);
  EXPECT_TRUE(AppendString(message.get(), "/home/Ülrich/Документы/€.txt"));
  std::string read;
  ASSERT_TRUE(ReadString(message.get(), read));
  EXPECT_EQ(read, "/home/Ülrich/Документы/€.txt");

  TMessage other = Message();
  EXPECT_FALSE(AppendString(other.get(), "/home/\xff\xfe.txt"));
  EXPECT_FALSE(AppendString(other.get(), std::string_view("a\0b", 3)));
  EXPECT_FALSE(ReadString(other.get(), read)) << "nothing was appended";
}

TEST(MessageValues, NamesAndPathsTheBusRefusesMakeNoCall) {
  EXPECT_EQ(MethodCall("not a name", "/a", "org.x", "M"), nullptr);
  EXPECT_EQ(MethodCall(":1.5", "relative/path", "org.x", "M"), nullptr);
  EXPECT_EQ(MethodCall(":1.5", "/a//b", "org.x", "M"), nullptr);
  EXPECT_NE(MethodCall(":1.5", "/org/a11y/atspi/accessible/12", "org.x", "M"), nullptr);
}

TEST(MessageValues, StateSetsReadBothWordsLowFirst) {
  TStateSet states;
  ASSERT_TRUE(ReadStateSet(Built([](DBusMessageIter* it) {
                             AppendUints(it, {(1u << 12) | (1u << 7), 1u << (43 - 32)});
                           }).get(),
                           states));
  EXPECT_TRUE(states.Has(TAccessibleState::Focused));
  EXPECT_TRUE(states.Has(TAccessibleState::Editable));
  EXPECT_TRUE(states.Has(TAccessibleState::ReadOnly));
  EXPECT_FALSE(states.Has(TAccessibleState::Active));
  // One word only, or none: what is there counts.
  ASSERT_TRUE(
      ReadStateSet(Built([](DBusMessageIter* it) { AppendUints(it, {1u << 1}); }).get(), states));
  EXPECT_TRUE(states.Has(TAccessibleState::Active));
  EXPECT_FALSE(states.Has(TAccessibleState::ReadOnly));
  // Not an array of words.
  TMessage text = Message();
  AppendString(text.get(), "focused");
  EXPECT_FALSE(ReadStateSet(text.get(), states));
  EXPECT_FALSE(ReadStateSet(Message().get(), states));
}

TEST(MessageValues, ObjectReferencesAreReadWholeOrNotAtAll) {
  auto refs = [](bool complete) {
    return Built([complete](DBusMessageIter* it) {
      DBusMessageIter array;
      dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, complete ? "(so)" : "(si)", &array);
      for (const char* path : {"/org/a11y/atspi/accessible/1", "/org/a11y/atspi/accessible/2"}) {
        DBusMessageIter fields;
        dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT, nullptr, &fields);
        const char* bus = ":1.7";
        dbus_message_iter_append_basic(&fields, DBUS_TYPE_STRING, &bus);
        const dbus_int32_t number = 1;
        if (complete) {
          dbus_message_iter_append_basic(&fields, DBUS_TYPE_OBJECT_PATH, &path);
        } else {
          dbus_message_iter_append_basic(&fields, DBUS_TYPE_INT32, &number);
        }
        dbus_message_iter_close_container(&array, &fields);
      }
      dbus_message_iter_close_container(it, &array);
    });
  };
  std::vector<TAccessibleRef> objects;
  ASSERT_TRUE(ReadObjectRefs(refs(true).get(), objects));
  EXPECT_EQ(objects, (std::vector<TAccessibleRef>{{":1.7", "/org/a11y/atspi/accessible/1"},
                                                  {":1.7", "/org/a11y/atspi/accessible/2"}}));
  EXPECT_FALSE(ReadObjectRefs(refs(false).get(), objects));
}

TEST(MessageValues, PropertyValuesTravelInVariants) {
  TMessage set = Message();
  ASSERT_TRUE(AppendPropertyValue(set.get(), "org.a11y.Status", "IsEnabled", true));
  DBusMessageIter it;
  ASSERT_TRUE(dbus_message_iter_init(set.get(), &it));
  ASSERT_TRUE(dbus_message_iter_next(&it));
  ASSERT_TRUE(dbus_message_iter_next(&it));
  ASSERT_EQ(dbus_message_iter_get_arg_type(&it), DBUS_TYPE_VARIANT);
  DBusMessageIter inner;
  dbus_message_iter_recurse(&it, &inner);
  dbus_bool_t value = FALSE;
  ASSERT_EQ(dbus_message_iter_get_arg_type(&inner), DBUS_TYPE_BOOLEAN);
  dbus_message_iter_get_basic(&inner, &value);
  EXPECT_TRUE(value);

  auto variant = [](int type, const void* value) {
    return Built([type, value](DBusMessageIter* it) {
      const char signature[2] = {static_cast<char>(type), '\0'};
      DBusMessageIter inner;
      dbus_message_iter_open_container(it, DBUS_TYPE_VARIANT, signature, &inner);
      dbus_message_iter_append_basic(&inner, type, value);
      dbus_message_iter_close_container(it, &inner);
    });
  };
  const dbus_int32_t count = 200;
  std::int32_t read = 0;
  bool flag = false;
  EXPECT_TRUE(ReadVariantInt32(variant(DBUS_TYPE_INT32, &count).get(), read));
  EXPECT_EQ(read, 200);
  EXPECT_FALSE(ReadVariantBool(variant(DBUS_TYPE_INT32, &count).get(), flag));
  const dbus_bool_t yes = TRUE;
  EXPECT_TRUE(ReadVariantBool(variant(DBUS_TYPE_BOOLEAN, &yes).get(), flag));
  EXPECT_TRUE(flag);
}

}  // namespace
}  // namespace varnoke::platform
