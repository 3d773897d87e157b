// wayland-screenshot OUT.png [LEFT TOP WIDTH HEIGHT]: the screen of the
// headless mutter session of wayland-session, or a part of it, as a PNG
// file, through mutter's own screen-cast interface
// (org.gnome.Mutter.ScreenCast) and PipeWire: XWayland shows no program
// the windows of native Wayland programs. Where the session runs no
// PipeWire, it starts pipewire and wireplumber for the moment and stops
// them (only those) again.
#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr char kService[] = "org.gnome.Mutter.ScreenCast";

pid_t Spawn(const std::vector<std::string>& argv, const char* log) {
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log, O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

GVariant* Call(GDBusConnection* bus, const std::string& path, const char* interface,
               const char* method, GVariant* parameters) {
  GError* error = nullptr;
  GVariant* reply =
      g_dbus_connection_call_sync(bus, kService, path.c_str(), interface, method, parameters,
                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
  if (reply == nullptr) {
    std::fprintf(stderr, "wayland-screenshot: %s: %s\n", method, error->message);
    g_error_free(error);
  }
  return reply;
}

GMainLoop* loop = nullptr;
guint node = 0;

void OnStreamAdded(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                   GVariant* parameters, gpointer) {
  g_variant_get(parameters, "(u)", &node);
  g_main_loop_quit(loop);
}

gboolean OnTimeout(gpointer) {
  g_main_loop_quit(loop);
  return G_SOURCE_REMOVE;
}

// The node of a stream of the primary monitor; 0 when none came.
guint StartCast(GDBusConnection* bus, std::string& session) {
  GVariantBuilder none;
  g_variant_builder_init(&none, G_VARIANT_TYPE_VARDICT);
  GVariant* reply = Call(bus, "/org/gnome/Mutter/ScreenCast", kService, "CreateSession",
                         g_variant_new("(a{sv})", &none));
  if (reply == nullptr) return 0;
  const gchar* path = nullptr;
  g_variant_get(reply, "(&o)", &path);
  session = path;
  g_variant_unref(reply);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "cursor-mode", g_variant_new_uint32(0));
  reply = Call(bus, session, "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
               g_variant_new("(sa{sv})", "", &options));
  if (reply == nullptr) return 0;
  const gchar* stream = nullptr;
  g_variant_get(reply, "(&o)", &stream);
  loop = g_main_loop_new(nullptr, FALSE);
  g_dbus_connection_signal_subscribe(bus, kService, "org.gnome.Mutter.ScreenCast.Stream",
                                     "PipeWireStreamAdded", stream, nullptr,
                                     G_DBUS_SIGNAL_FLAGS_NONE, OnStreamAdded, nullptr, nullptr);
  g_variant_unref(reply);
  reply = Call(bus, session, "org.gnome.Mutter.ScreenCast.Session", "Start", nullptr);
  if (reply == nullptr) return 0;
  g_variant_unref(reply);
  g_timeout_add_seconds(10, OnTimeout, nullptr);
  g_main_loop_run(loop);
  return node;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 6) {
    std::fprintf(stderr, "usage: wayland-screenshot OUT.png [LEFT TOP WIDTH HEIGHT]\n");
    return 2;
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr) return 2;
  const std::string log = std::string(runtime) + "/wayland-screenshot.log";
  pid_t pipewire = -1;
  pid_t sessionManager = -1;
  struct stat st {};
  const std::string socket = std::string(runtime) + "/pipewire-0";
  if (::stat(socket.c_str(), &st) != 0) {
    pipewire = Spawn({"pipewire"}, log.c_str());
    for (int i = 0; i < 200 && ::stat(socket.c_str(), &st) != 0; ++i)
      ::usleep(10000);
    sessionManager = Spawn({"wireplumber"}, log.c_str());
  }
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  std::string session;
  const guint stream = bus != nullptr ? StartCast(bus, session) : 0;
  int status = 1;
  if (stream != 0) {
    std::vector<std::string> pipeline{
        "gst-launch-1.0", "-q", "pipewiresrc", "path=" + std::to_string(stream),
        "num-buffers=1",  "!",  "videoconvert"};
    if (argc == 6) {
      // videocrop takes what to cut from each side of the 1280x800 screen.
      const int left = std::atoi(argv[2]);
      const int top = std::atoi(argv[3]);
      const int right = std::max(0, 1280 - left - std::atoi(argv[4]));
      const int bottom = std::max(0, 800 - top - std::atoi(argv[5]));
      for (const std::string& part :
           {std::string("!"), std::string("videocrop"), "left=" + std::to_string(left),
            "top=" + std::to_string(top), "right=" + std::to_string(right),
            "bottom=" + std::to_string(bottom)})
        pipeline.push_back(part);
    }
    for (const std::string& part : {std::string("!"), std::string("pngenc"), std::string("!"),
                                    std::string("filesink"), "location=" + std::string(argv[1])})
      pipeline.push_back(part);
    const pid_t shot = Spawn(pipeline, log.c_str());
    status = shot > 0 ? WaitFor(shot) : 1;
  }
  if (!session.empty()) {
    GVariant* reply = Call(bus, session, "org.gnome.Mutter.ScreenCast.Session", "Stop", nullptr);
    if (reply != nullptr) g_variant_unref(reply);
  }
  Stop(sessionManager);
  Stop(pipewire);
  if (status != 0) std::fprintf(stderr, "wayland-screenshot: no picture (see %s)\n", log.c_str());
  return status;
}
