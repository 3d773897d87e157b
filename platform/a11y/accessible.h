// An object on the accessibility bus, and what it says of itself.
#pragma once

#include <cstdint>
#include <string>

namespace varnoke::platform {

// An accessible object: the bus name of the application that serves it and
// its object path there. Both empty for none.
struct TAccessibleRef {
  std::string Bus;
  std::string Path;
  bool Empty() const { return Bus.empty(); }
  friend bool operator==(const TAccessibleRef&, const TAccessibleRef&) = default;
};

// The states of an object, as the bus numbers them.
enum class TAccessibleState : int {
  Active = 1,
  Defunct = 6,
  Editable = 7,
  Focused = 12,
  Showing = 25,
  ManagesDescendants = 31,
  ReadOnly = 43,
};

// The state set GetState answers: bit n is state n.
struct TStateSet {
  std::uint64_t Bits = 0;
  bool Has(TAccessibleState state) const { return (Bits >> static_cast<int>(state) & 1) != 0; }
};

inline constexpr char kAccessibleInterface[] = "org.a11y.atspi.Accessible";
inline constexpr char kTextInterface[] = "org.a11y.atspi.Text";
inline constexpr char kEditableTextInterface[] = "org.a11y.atspi.EditableText";

}  // namespace varnoke::platform
