// The end of the desktop session as the program hears of it: the session
// manager's end of session, and SIGTERM, SIGHUP and SIGINT. A signal only
// writes a byte to a pipe; the event loop reads it and reports the end.
#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace varnoke::shell {

class TSessionEnd : public QObject {
  Q_OBJECT

 public:
  // Installs the signal handlers; one instance at a time.
  TSessionEnd();
  ~TSessionEnd() override;
  TSessionEnd(const TSessionEnd&) = delete;
  TSessionEnd& operator=(const TSessionEnd&) = delete;

 signals:
  // A signal asks the program to end: it is to save and end.
  void ending();
  // The session manager asks whether the session may end (it may).
  void queryEnd();

 private:
  void ReadSignals();

  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace varnoke::shell
