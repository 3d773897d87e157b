// Exceptions that escape the program's event handlers, and the last-chance
// report of an exception that ends the program.
//
// The toolkit cannot carry an exception through its event loop, so every
// handler of the program runs inside Guarded, which hands what escapes to
// the application-wide handler installed with SetAppExceptionHandler.
#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace varnoke::shell {

using TAppExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the application-wide handler (an empty one removes it) and
// returns the previous one.
TAppExceptionHandler SetAppExceptionHandler(TAppExceptionHandler handler);

// Hands the exception to the application-wide handler; without one, it is
// printed on standard error.
void ReportAppException(std::exception_ptr error);

// fn wrapped so that an exception escaping it goes to ReportAppException.
// The wrapper takes any arguments (a signal's); fn gets them when it takes
// them.
template <class TFunction>
auto Guarded(TFunction fn) {
  return [fn = std::move(fn)](auto&&... args) {
    try {
      if constexpr (std::is_invocable_v<const TFunction&, decltype(args)...>) {
        fn(std::forward<decltype(args)>(args)...);
      } else {
        fn();
      }
    } catch (...) {
      ReportAppException(std::current_exception());
    }
  };
}

// The name of the exception's class as the program's users know it
// ("EInitialization", "ERegistry", "ETerminate"; "Exception" otherwise).
QString ExceptionClassName(std::exception_ptr error);
// The exception's message.
QString ExceptionMessage(std::exception_ptr error);

// The last-chance report: an error box titled "Application Error" naming
// the exception's class and giving its message, also printed on standard
// error.
void ShowLastChanceError(std::exception_ptr error);

}  // namespace varnoke::shell
