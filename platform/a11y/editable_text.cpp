#include "platform/a11y/editable_text.h"

#include <string>
#include <vector>

#include "platform/a11y/accessible_calls.h"
#include "platform/a11y/message_values.h"

namespace varnoke::platform {
namespace {

TMessage TextCall(const TAccessibleRef& field, const char* method) {
  return MethodCall(field.Bus, field.Path, kTextInterface, method);
}

TMessage CharacterCountCall(const TAccessibleRef& field) {
  return PropertyCall(field, kTextInterface, "CharacterCount");
}

// The call with the 32-bit arguments appended; null when any is missing.
TMessage WithInts(TMessage call, std::initializer_list<std::int32_t> values) {
  if (call == nullptr) return nullptr;
  for (const std::int32_t value : values) {
    if (!AppendInt32(call.get(), value)) return nullptr;
  }
  return call;
}

}  // namespace

bool ReplaceText(TBusConnection& bus, const TAccessibleRef& field, std::string_view text,
                 TDeadline deadline) {
  TMessage set = MethodCall(field.Bus, field.Path, kEditableTextInterface, "SetTextContents");
  if (set == nullptr || !AppendString(set.get(), text)) return false;
  // The field handles the calls in the order they come: the reading comes
  // after the setting without a wait in between.
  std::vector<TMessage> calls;
  calls.push_back(std::move(set));
  calls.push_back(WithInts(TextCall(field, "GetText"), {0, -1}));
  calls.push_back(CharacterCountCall(field));
  std::vector<TMessage> replies = bus.CallAll(std::move(calls), deadline);
  bool accepted = false;
  std::string now;
  std::int32_t count = 0;
  if (replies[0] == nullptr || !ReadBool(replies[0].get(), accepted) || !accepted ||
      replies[1] == nullptr || !ReadString(replies[1].get(), now) || now != text)
    return false;
  // The caret where typing would have left it. A field that keeps it where
  // it was still holds the right text.
  if (replies[2] != nullptr && ReadVariantInt32(replies[2].get(), count))
    bus.Call(WithInts(TextCall(field, "SetCaretOffset"), {count}), deadline);
  return true;
}

bool SelectAllText(TBusConnection& bus, const TAccessibleRef& field, TDeadline deadline) {
  TMessage reply = bus.Call(CharacterCountCall(field), deadline);
  std::int32_t count = 0;
  if (reply == nullptr || !ReadVariantInt32(reply.get(), count)) return false;
  if (count == 0) return true;
  // A field with a selection changes it; one without adds one (and some
  // refuse to add where one exists).
  std::vector<TMessage> calls;
  calls.push_back(WithInts(TextCall(field, "SetSelection"), {0, 0, count}));
  calls.push_back(WithInts(TextCall(field, "AddSelection"), {0, count}));
  std::vector<TMessage> replies = bus.CallAll(std::move(calls), deadline);
  for (const TMessage& answer : replies) {
    bool done = false;
    if (answer != nullptr && ReadBool(answer.get(), done) && done) return true;
  }
  return false;
}

}  // namespace varnoke::platform
