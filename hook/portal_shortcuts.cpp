#include "hook/portal_shortcuts.h"

#include <gio/gio.h>

#include "platform/desktop/key_table.h"

namespace varnoke::hook {
namespace {

constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kShortcuts[] = "org.freedesktop.portal.GlobalShortcuts";
constexpr char kShortcutId[] = "popup";
constexpr char kDescription[] = "Call up the Varnoke search window";

// The session is made at once; binding may wait for the user, where the
// desktop asks first. Past this the key counts as taken: a user who
// refuses in the desktop's own dialog knows already.
constexpr auto kSessionTime = std::chrono::seconds(5);
constexpr auto kBindTime = std::chrono::seconds(3);

// The result's string or object path under key, or empty.
std::string LookupPath(GVariant* results, const char* key) {
  GVariant* value = g_variant_lookup_value(results, key, nullptr);
  if (value == nullptr) return {};
  std::string text;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
      g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH))
    text = g_variant_get_string(value, nullptr);
  g_variant_unref(value);
  return text;
}

}  // namespace

bool TPortalShortcuts::Offered(TDBusLoop& bus) {
  std::string problem;
  GVariant* reply = bus.Call(kPortal, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
                             g_variant_new("(ss)", kShortcuts, "version"), problem);
  if (reply == nullptr) return false;
  g_variant_unref(reply);
  return true;
}

TPortalShortcuts::TPortalShortcuts(std::unique_ptr<TDBusLoop> bus) : bus_(std::move(bus)) {}

TPortalShortcuts::~TPortalShortcuts() {
  Stop();
}

std::string TPortalShortcuts::NextToken() {
  return "varnoke" + std::to_string(++tokens_);
}

int TPortalShortcuts::Request(const char* method, GVariant* parameters, const std::string& token,
                              GVariant** results, std::chrono::milliseconds timeout) {
  // The request's path is known before the call: subscribing first, no
  // Response can slip by.
  const std::string path =
      std::string(kPortalPath) + "/request/" + bus_->SenderToken() + "/" + token;
  struct TAnswer {
    std::mutex lock;
    std::condition_variable came;
    int code = -1;                // Guarded by lock.
    GVariant* results = nullptr;  // Guarded by lock.
  };
  auto answer = std::make_shared<TAnswer>();
  const unsigned id = bus_->Subscribe(kPortal, "org.freedesktop.portal.Request", "Response",
                                      path.c_str(), [answer](GVariant* response) {
                                        guint32 code = 2;
                                        GVariant* values = nullptr;
                                        g_variant_get(response, "(u@a{sv})", &code, &values);
                                        std::lock_guard<std::mutex> guard(answer->lock);
                                        if (answer->code >= 0) {
                                          g_variant_unref(values);
                                          return;
                                        }
                                        answer->code = static_cast<int>(code);
                                        answer->results = values;
                                        answer->came.notify_all();
                                      });
  std::string problem;
  GVariant* reply =
      bus_->Call(kPortal, kPortalPath, kShortcuts, method, parameters, problem, timeout);
  int code = -1;
  if (reply != nullptr) {
    g_variant_unref(reply);
    std::unique_lock<std::mutex> guard(answer->lock);
    answer->came.wait_for(guard, timeout, [&] { return answer->code >= 0; });
    code = answer->code;
    *results = answer->results;
    answer->results = nullptr;
  }
  bus_->Unsubscribe(id);
  return code;
}

bool TPortalShortcuts::Start(TPressed pressed) {
  if (!session_.empty()) return true;
  pressed_ = std::move(pressed);
  const std::string token = NextToken();
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "session_handle_token",
                        g_variant_new_string(token.c_str()));
  GVariant* results = nullptr;
  const int code =
      Request("CreateSession", g_variant_new("(a{sv})", &options), token, &results, kSessionTime);
  if (code != 0 || results == nullptr) {
    if (results != nullptr) g_variant_unref(results);
    return false;
  }
  session_ = LookupPath(results, "session_handle");
  g_variant_unref(results);
  if (session_.empty()) return false;
  activated_ = bus_->Subscribe(
      kPortal, kShortcuts, "Activated", kPortalPath, [this, session = session_](GVariant* signal) {
        const gchar* sessionPath = nullptr;
        const gchar* id = nullptr;
        guint64 timestamp = 0;
        GVariant* options = nullptr;
        g_variant_get(signal, "(&o&st@a{sv})", &sessionPath, &id, &timestamp, &options);
        // Newer portals hand a token with the press that lets a window
        // take the focus.
        const std::string activation = LookupPath(options, "activation_token");
        g_variant_unref(options);
        if (session == sessionPath && g_strcmp0(id, kShortcutId) == 0) pressed_(activation);
      });
  return true;
}

TKeyAnswer TPortalShortcuts::SetKey(std::uint16_t vk, std::uint32_t modifiers) {
  vk_ = vk;
  modifiers_ = modifiers;
  const std::string trigger = platform::ShortcutTrigger(vk, modifiers);
  if (trigger.empty()) return kKeyUnknown;
  if (session_.empty()) return kKeyTaken;
  const std::string token = NextToken();
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&properties, "{sv}", "description", g_variant_new_string(kDescription));
  g_variant_builder_add(&properties, "{sv}", "preferred_trigger",
                        g_variant_new_string(trigger.c_str()));
  GVariantBuilder shortcuts;
  g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
  g_variant_builder_add(&shortcuts, "(sa{sv})", kShortcutId, &properties);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  GVariant* results = nullptr;
  const int code =
      Request("BindShortcuts",
              g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &shortcuts, "", &options),
              token, &results, kBindTime);
  if (code < 0) return kKeyTaken;  // the desktop asks the user, who knows
  if (code != 0 || results == nullptr) {
    if (results != nullptr) g_variant_unref(results);
    return kKeyRefused;
  }
  // The shortcut as the desktop bound it: it must be there, with a trigger.
  // A trigger other than ours means the user or the desktop chose another
  // key, which then calls the program up instead.
  TKeyAnswer answer = kKeyRefused;
  GVariant* bound = g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"));
  if (bound != nullptr) {
    GVariantIter it;
    g_variant_iter_init(&it, bound);
    const gchar* id = nullptr;
    GVariant* values = nullptr;
    while (g_variant_iter_next(&it, "(&s@a{sv})", &id, &values)) {
      if (g_strcmp0(id, kShortcutId) == 0) {
        const std::string described = LookupPath(values, "trigger_description");
        if (!described.empty()) answer = kKeyTaken;
      }
      g_variant_unref(values);
    }
    g_variant_unref(bound);
  }
  g_variant_unref(results);
  return answer;
}

void TPortalShortcuts::Stop() {
  if (session_.empty()) return;
  bus_->Unsubscribe(activated_);
  std::string problem;
  GVariant* reply = bus_->Call(kPortal, session_.c_str(), "org.freedesktop.portal.Session", "Close",
                               nullptr, problem);
  if (reply != nullptr) g_variant_unref(reply);
  session_.clear();
}

}  // namespace varnoke::hook
