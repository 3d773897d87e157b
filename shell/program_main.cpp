// RunProgram: the entry sequence of the resident program, on an X11
// desktop or, on a Wayland desktop, on its XWayland display.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "live/live_protocol.h"
#include "platform/messages.h"
#include "platform/runtime/single_instance.h"
#include "platform/x11/x11_display.h"
#include "shell/app_exception.h"
#include "shell/command_line.h"
#include "shell/entry.h"
#include "shell/host_services.h"
#include "shell/instance_requests.h"
#include "shell/program.h"
#include "shell/session_end.h"
#include "shell/uiform.h"
#include "shell/x11_desktop.h"

namespace varnoke::shell {
namespace {

constexpr char kInstanceName[] = "Varnoke96";

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

int NoDisplay() {
  const char* name = std::getenv("DISPLAY");
  const std::string display =
      name != nullptr && name[0] != '\0' ? std::string(name) : "(DISPLAY is not set)";
  std::fprintf(stderr, "varnoke: %s\n",
               platform::FormatMessage(platform::kMsgNoDisplay, {display}).c_str());
  return 1;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  std::string problem;
  const std::optional<TCommand> command =
      ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), problem);
  if (!command) {
    std::fprintf(stderr, "varnoke: %s\n%s", problem.c_str(), UsageText().c_str());
    return 2;
  }
  switch (*command) {
    case TCommand::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case TCommand::Version:
      std::printf("varnoke %s\n", VARNOKE_VERSION);
      return 0;
    case TCommand::Popup:
      return AskToPopUp(kInstanceName);
    case TCommand::Run:
      break;
  }
  // Before anything else: the program needs an X11 display (on a Wayland
  // desktop, XWayland's).
  if (!platform::X11DisplayAvailable()) return NoDisplay();
  // One instance per user; a second start ends at once, silently. A name
  // that another user's process holds is no instance of ours.
  const std::unique_ptr<platform::TSingleInstance> instance =
      platform::TSingleInstance::Acquire(kInstanceName, &problem);
  if (instance == nullptr) {
    if (problem.empty()) return 0;
    std::fprintf(stderr, "varnoke: %s\n", problem.c_str());
    return 1;
  }

  qputenv("QT_QPA_PLATFORM", "xcb");
  TApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("varnoke"));
  QGuiApplication::setDesktopFileName(QStringLiteral("varnoke"));
  // Closing or hiding windows never ends the program.
  QApplication::setQuitOnLastWindowClosed(false);

  std::unique_ptr<TX11DesktopServices> desktop = TX11DesktopServices::Open();
  if (desktop == nullptr) return NoDisplay();
  THostServices host;
  TProgram program(host, *desktop);
  program.LiveSocketName = live::LiveSocketName(host.Hive.Path());
  TSessionEnd sessionEnd;
  QObject::connect(&sessionEnd, &TSessionEnd::ending, &program, [&] { program.EndSession(); });
  program.PreloadDatabase();
  program.CreateWindows();
  QObject::connect(&sessionEnd, &TSessionEnd::queryEnd, &program,
                   Guarded([&] { program.Form().HideSearchWindow(); }));
  const TInstanceRequests requests(
      instance->Fd(), Guarded([&](const std::string& token) { program.PopupRequested(token); }));
  return RunResident(program);
}

}  // namespace varnoke::shell
