// X protocol errors of the X11 services' connections, caught instead of
// ending the process as Xlib's default handler does.
#pragma once

struct _XDisplay;

namespace varnoke::platform {

// Installs, once per process, an error handler that records errors of the
// displays registered here and hands every other display's errors to the
// handler that was there before (Qt's, in the program). Registering a
// display installs it.
void RegisterErrorDisplay(_XDisplay* display);
void UnregisterErrorDisplay(_XDisplay* display);

// Collects the errors of the requests made on display while it lives.
// Finish() waits for the server to answer them all and gives the first
// error code, 0 when there was none.
class TErrorTrap {
 public:
  explicit TErrorTrap(_XDisplay* display);
  ~TErrorTrap();
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;

  int Finish();

 private:
  _XDisplay* display_;
  bool finished_ = false;
  int error_ = 0;
};

}  // namespace varnoke::platform
