#include "tests/shell/opened_urls.h"

#include <QDesktopServices>

namespace varnoke::testing {

TOpenedUrls::TOpenedUrls() {
  QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open");
}

TOpenedUrls::~TOpenedUrls() {
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TOpenedUrls::Open(const QUrl& url) {
  Files.push_back(url.toLocalFile());
}

}  // namespace varnoke::testing
