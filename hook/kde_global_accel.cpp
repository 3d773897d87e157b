#include "hook/kde_global_accel.h"

#include <gio/gio.h>

#include "platform/desktop/key_table.h"

namespace varnoke::hook {
namespace {

constexpr char kService[] = "org.kde.kglobalaccel";
constexpr char kPath[] = "/kglobalaccel";
constexpr char kInterface[] = "org.kde.KGlobalAccel";
constexpr char kComponent[] = "varnoke";
constexpr char kAction[] = "popup";

// The service's flags for setShortcut.
constexpr guint32 kSetPresent = 2;     // the action is there to be pressed
constexpr guint32 kNoAutoloading = 4;  // the key given wins over the one the service kept

// The action's id: component and action, each by name and as shown.
GVariant* ActionId() {
  const gchar* parts[] = {kComponent, kAction, "Varnoke", "Call up the search window"};
  return g_variant_new_strv(parts, 4);
}

}  // namespace

bool TKdeGlobalAccel::Offered(TDBusLoop& bus, bool onKde) {
  // Installed with KDE programs on any desktop, the service is started
  // only on KDE or where it runs already.
  return bus.HasOwner(kService) || (onKde && bus.IsActivatable(kService));
}

TKdeGlobalAccel::TKdeGlobalAccel(std::unique_ptr<TDBusLoop> bus) : bus_(std::move(bus)) {}

TKdeGlobalAccel::~TKdeGlobalAccel() {
  Stop();
}

bool TKdeGlobalAccel::Start(TPressed pressed) {
  if (started_) return true;
  std::string problem;
  GVariant* reply = bus_->Call(kService, kPath, kInterface, "doRegister",
                               g_variant_new("(@as)", ActionId()), problem);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  reply = bus_->Call(kService, kPath, kInterface, "getComponent", g_variant_new("(s)", kComponent),
                     problem);
  if (reply == nullptr) return false;
  const gchar* component = nullptr;
  g_variant_get(reply, "(&o)", &component);
  pressed_ = std::move(pressed);
  pressedSignal_ = bus_->Subscribe(
      kService, "org.kde.kglobalaccel.Component", "globalShortcutPressed", component,
      [this](GVariant* signal) {
        const gchar* componentName = nullptr;
        const gchar* action = nullptr;
        gint64 timestamp = 0;
        g_variant_get(signal, "(&s&sx)", &componentName, &action, &timestamp);
        if (g_strcmp0(componentName, kComponent) == 0 && g_strcmp0(action, kAction) == 0)
          pressed_("");
      });
  g_variant_unref(reply);
  started_ = true;
  return true;
}

TKeyAnswer TKdeGlobalAccel::SetKey(std::uint16_t vk, std::uint32_t modifiers) {
  vk_ = vk;
  modifiers_ = modifiers;
  const int key = platform::QtKeyCombination(vk, modifiers);
  if (key == 0) return kKeyUnknown;
  if (!started_) return kKeyTaken;
  const gint32 keys[] = {key};
  std::string problem;
  GVariant* reply = bus_->Call(
      kService, kPath, kInterface, "setShortcut",
      g_variant_new("(@as@aiu)", ActionId(),
                    g_variant_new_fixed_array(G_VARIANT_TYPE_INT32, keys, 1, sizeof(gint32)),
                    kSetPresent | kNoAutoloading),
      problem);
  if (reply == nullptr) return kKeyRefused;
  // The keys the action has now: none when another action holds ours.
  GVariant* given = g_variant_get_child_value(reply, 0);
  gsize count = 0;
  const auto* values =
      static_cast<const gint32*>(g_variant_get_fixed_array(given, &count, sizeof(gint32)));
  const bool taken = count > 0 && values[0] == key;
  g_variant_unref(given);
  g_variant_unref(reply);
  return taken ? kKeyTaken : kKeyRefused;
}

void TKdeGlobalAccel::Stop() {
  if (!started_) return;
  bus_->Unsubscribe(pressedSignal_);
  std::string problem;
  GVariant* reply = bus_->Call(kService, kPath, kInterface, "setInactive",
                               g_variant_new("(@as)", ActionId()), problem);
  if (reply != nullptr) g_variant_unref(reply);
  started_ = false;
}

}  // namespace varnoke::hook
