#include "shell/app_exception.h"

#include <cstdio>

#include "db/terminate.h"
#include "monitor/initialization_error.h"
#include "settings/registry_error.h"
#include "shell/message_box.h"

namespace varnoke::shell {
namespace {

TAppExceptionHandler& Handler() {
  static TAppExceptionHandler handler;
  return handler;
}

}  // namespace

TAppExceptionHandler SetAppExceptionHandler(TAppExceptionHandler handler) {
  return std::exchange(Handler(), std::move(handler));
}

void ReportAppException(std::exception_ptr error) {
  if (Handler()) {
    Handler()(error);
    return;
  }
  std::fprintf(stderr, "varnoke: %s: %s\n", qPrintable(ExceptionClassName(error)),
               qPrintable(ExceptionMessage(error)));
}

QString ExceptionClassName(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EInitialization&) {
    return QStringLiteral("EInitialization");
  } catch (const settings::ERegistry&) {
    return QStringLiteral("ERegistry");
  } catch (const ETerminate&) {
    return QStringLiteral("ETerminate");
  } catch (const std::bad_alloc&) {
    return QStringLiteral("EOutOfMemory");
  } catch (...) {
    return QStringLiteral("Exception");
  }
}

QString ExceptionMessage(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("An unknown error occurred.");
  }
}

void ShowLastChanceError(std::exception_ptr error) {
  const QString text = ExceptionClassName(error) + QStringLiteral(": ") + ExceptionMessage(error);
  std::fprintf(stderr, "varnoke: %s\n", qPrintable(text));
  MessageBox(nullptr, text, QStringLiteral("Application Error"), kMbIconError | kMbTaskModal);
}

}  // namespace varnoke::shell
