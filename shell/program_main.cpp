// RunProgram: the entry sequence of the resident program on an X11 desktop.
#include <QApplication>
#include <cstdio>

#include "live/live_protocol.h"
#include "platform/messages.h"
#include "platform/runtime/single_instance.h"
#include "platform/x11/x11_display.h"
#include "shell/app_exception.h"
#include "shell/entry.h"
#include "shell/host_services.h"
#include "shell/program.h"
#include "shell/session_end.h"
#include "shell/uiform.h"
#include "shell/x11_desktop.h"

namespace varnoke::shell {
namespace {

// The toolkit cannot carry an exception through its event loop; one that
// escapes an event handler ends here and goes to the program's handler.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      ReportAppException(std::current_exception());
      return false;
    }
  }
};

}  // namespace

int RunProgram(int argc, char** argv) {
  // Before anything else: the program needs an X11 display (under Wayland,
  // XWayland's).
  if (!platform::X11DisplayAvailable()) {
    std::fprintf(stderr, "%s\n",
                 std::string(platform::MessageText(platform::kMsgWrongPlatform)).c_str());
    return 1;
  }
  // One instance per user; a second start ends at once, silently.
  const std::unique_ptr<platform::TSingleInstance> instance =
      platform::TSingleInstance::Acquire("Varnoke96");
  if (instance == nullptr) return 0;

  qputenv("QT_QPA_PLATFORM", "xcb");
  TApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("varnoke"));
  QGuiApplication::setDesktopFileName(QStringLiteral("varnoke"));
  // Closing or hiding windows never ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  std::unique_ptr<TX11DesktopServices> desktop = TX11DesktopServices::Open();
  if (desktop == nullptr) {
    std::fprintf(stderr, "%s\n",
                 std::string(platform::MessageText(platform::kMsgWrongPlatform)).c_str());
    return 1;
  }
  THostServices host;
  TProgram program(host, *desktop);
  program.LiveSocketName = live::LiveSocketName(host.Hive.Path());
  TSessionEnd sessionEnd;
  QObject::connect(&sessionEnd, &TSessionEnd::ending, &program, [&] { program.EndSession(); });
  program.CreateWindows();
  QObject::connect(&sessionEnd, &TSessionEnd::queryEnd, &program,
                   Guarded([&] { program.Form().HideSearchWindow(); }));
  return RunResident(program);
}

}  // namespace varnoke::shell
