#include "shell/session_end.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

namespace varnoke::shell {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The write end of the pipe, for the handler; -1 when no instance exists.
std::atomic<int> gSignalPipe{-1};

extern "C" void OnSignal(int number) {
  const int saved = errno;
  const int fd = gSignalPipe.load();
  const unsigned char byte = static_cast<unsigned char>(number);
  if (fd >= 0) {
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

TSessionEnd::TSessionEnd() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
  } else {
    gSignalPipe.store(pipe_[1]);
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadSignals(); });
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kSignals)
    ::sigaction(number, &action, nullptr);

  // The program never objects to the session ending: nothing here cancels
  // it. The session manager's end of the session then ends the event loop
  // on its own, which saves the database like any other end of the loop.
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(
        app, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager&) { emit queryEnd(); }, Qt::DirectConnection);
  }
}

TSessionEnd::~TSessionEnd() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int number : kSignals)
    ::sigaction(number, &action, nullptr);
  gSignalPipe.store(-1);
  notifier_.reset();
  for (const int fd : pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

void TSessionEnd::ReadSignals() {
  unsigned char bytes[64];
  bool any = false;
  while (::read(pipe_[0], bytes, sizeof bytes) > 0)
    any = true;
  if (any) emit ending();
}

}  // namespace varnoke::shell
