#include "hook/gnome_keybinding.h"

#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

#include "platform/desktop/key_table.h"

namespace varnoke::hook {
namespace {

constexpr char kMediaKeys[] = "org.gnome.settings-daemon.plugins.media-keys";
constexpr char kCustomKeybinding[] =
    "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr char kCustomList[] = "custom-keybindings";

// Settings whose keys hold GNOME's own keybindings, where the key may be
// in use already.
constexpr const char* kBuiltinKeybindings[] = {
    "org.gnome.desktop.wm.keybindings", "org.gnome.mutter.keybindings",
    "org.gnome.mutter.wayland.keybindings", "org.gnome.shell.keybindings", kMediaKeys};

bool SchemaInstalled(const char* id) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (source == nullptr) return false;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
  if (schema == nullptr) return false;
  g_settings_schema_unref(schema);
  return true;
}

// An accelerator as a set of modifier names and a key name, both folded.
struct TAccelerator {
  std::set<std::string> modifiers;
  std::string key;
};

bool ParseAccelerator(const std::string& text, TAccelerator& accelerator) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == '<') {
    const std::size_t end = text.find('>', at);
    if (end == std::string::npos) return false;
    std::string name = text.substr(at + 1, end - at - 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (name == "primary" || name == "ctrl" || name == "ctl") name = "control";
    if (name == "mod1") name = "alt";
    if (name == "mod4") name = "super";
    accelerator.modifiers.insert(name);
    at = end + 1;
  }
  accelerator.key = text.substr(at);
  // Letters name one key in either case.
  if (accelerator.key.size() == 1)
    accelerator.key[0] =
        static_cast<char>(std::tolower(static_cast<unsigned char>(accelerator.key[0])));
  return !accelerator.key.empty();
}

// Every accelerator a keybinding key holds: one string, or a list.
std::vector<std::string> AcceleratorsOf(GSettings* settings, const char* key) {
  std::vector<std::string> found;
  GVariant* value = g_settings_get_value(settings, key);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
    found.emplace_back(g_variant_get_string(value, nullptr));
  } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
    const gchar** strings = g_variant_get_strv(value, nullptr);
    for (const gchar** each = strings; *each != nullptr; ++each)
      found.emplace_back(*each);
    g_free(strings);
  }
  g_variant_unref(value);
  return found;
}

// True when a keybinding other than ours holds accelerator.
bool HeldByAnotherKeybinding(const std::string& accelerator) {
  for (const char* id : kBuiltinKeybindings) {
    if (!SchemaInstalled(id)) continue;
    GSettings* settings = g_settings_new(id);
    GSettingsSchema* schema = nullptr;
    g_object_get(settings, "settings-schema", &schema, nullptr);
    gchar** keys = g_settings_schema_list_keys(schema);
    bool held = false;
    for (gchar** key = keys; !held && *key != nullptr; ++key) {
      for (const std::string& each : AcceleratorsOf(settings, *key))
        held = held || SameAccelerator(each, accelerator);
    }
    g_strfreev(keys);
    g_settings_schema_unref(schema);
    g_object_unref(settings);
    if (held) return true;
  }
  GSettings* mediaKeys = g_settings_new(kMediaKeys);
  gchar** paths = g_settings_get_strv(mediaKeys, kCustomList);
  bool held = false;
  for (gchar** path = paths; !held && *path != nullptr; ++path) {
    if (g_strcmp0(*path, kGnomeKeybindingPath) == 0) continue;
    GSettings* custom = g_settings_new_with_path(kCustomKeybinding, *path);
    gchar* binding = g_settings_get_string(custom, "binding");
    held = SameAccelerator(binding, accelerator);
    g_free(binding);
    g_object_unref(custom);
  }
  g_strfreev(paths);
  g_object_unref(mediaKeys);
  return held;
}

// Adds or removes our path in the list of custom keybindings.
void ListOurKeybinding(bool listed) {
  GSettings* mediaKeys = g_settings_new(kMediaKeys);
  gchar** paths = g_settings_get_strv(mediaKeys, kCustomList);
  std::vector<const gchar*> kept;
  bool present = false;
  for (gchar** path = paths; *path != nullptr; ++path) {
    if (g_strcmp0(*path, kGnomeKeybindingPath) == 0) {
      present = true;
      if (!listed) continue;
    }
    kept.push_back(*path);
  }
  if (listed && !present) kept.push_back(kGnomeKeybindingPath);
  if (listed != present) {
    kept.push_back(nullptr);
    g_settings_set_strv(mediaKeys, kCustomList, kept.data());
  }
  g_strfreev(paths);
  g_object_unref(mediaKeys);
}

}  // namespace

bool SameAccelerator(const std::string& a, const std::string& b) {
  TAccelerator first;
  TAccelerator second;
  return ParseAccelerator(a, first) && ParseAccelerator(b, second) &&
         first.modifiers == second.modifiers && first.key == second.key;
}

std::string PopupCommandOfThisProgram() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "varnoke --popup";
  gchar* quoted = g_shell_quote(std::string(path, static_cast<std::size_t>(length)).c_str());
  std::string command = std::string(quoted) + " --popup";
  g_free(quoted);
  return command;
}

bool TGnomeKeybinding::Offered() {
  return SchemaInstalled(kMediaKeys) && SchemaInstalled(kCustomKeybinding);
}

TGnomeKeybinding::TGnomeKeybinding(std::string command) : command_(std::move(command)) {}

bool TGnomeKeybinding::Start(TPressed /*pressed*/) {
  started_ = true;
  if (!accelerator_.empty()) Write();
  return true;
}

TKeyAnswer TGnomeKeybinding::SetKey(std::uint16_t vk, std::uint32_t modifiers) {
  accelerator_ = platform::GtkAccelerator(vk, modifiers);
  if (accelerator_.empty()) return kKeyUnknown;
  return started_ ? Write() : kKeyTaken;
}

TKeyAnswer TGnomeKeybinding::Write() {
  if (HeldByAnotherKeybinding(accelerator_)) {
    // Two commands on one key: GNOME would run one of them. Ours goes.
    Stop();
    started_ = true;
    return kKeyRefused;
  }
  GSettings* ours = g_settings_new_with_path(kCustomKeybinding, kGnomeKeybindingPath);
  g_settings_set_string(ours, "name", "Varnoke");
  g_settings_set_string(ours, "command", command_.c_str());
  g_settings_set_string(ours, "binding", accelerator_.c_str());
  g_object_unref(ours);
  ListOurKeybinding(true);
  // Written through to the settings' store before the answer.
  g_settings_sync();
  return kKeyTaken;
}

void TGnomeKeybinding::Stop() {
  if (!started_) return;
  ListOurKeybinding(false);
  GSettings* ours = g_settings_new_with_path(kCustomKeybinding, kGnomeKeybindingPath);
  for (const char* key : {"name", "command", "binding"})
    g_settings_reset(ours, key);
  g_object_unref(ours);
  g_settings_sync();
  started_ = false;
}

}  // namespace varnoke::hook
