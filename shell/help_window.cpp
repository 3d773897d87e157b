#include "shell/help_window.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "shell/window_scale.h"

namespace varnoke::shell {

THelpWindow::THelpWindow(QString file, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(std::move(file)) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Varnoke 96 Help"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Browser = new QTextBrowser(this);
  Browser->setObjectName(QStringLiteral("Browser"));
  Browser->setOpenExternalLinks(false);
  layout->addWidget(Browser);
  resize(Scaled(640, 600));
}

QString THelpWindow::Anchor(int context) {
  return QStringLiteral("context-%1").arg(context);
}

void THelpWindow::ShowTopic(int context) {
  if (!QFileInfo::exists(file_)) {
    Browser->setPlainText(QStringLiteral("The help file %1 is missing. Re-installing Varnoke "
                                         "puts it back.")
                              .arg(file_));
  } else {
    QUrl url = QUrl::fromLocalFile(file_);
    if (context != 0) url.setFragment(Anchor(context));
    Browser->setSource(url);
    if (context == 0) Browser->scrollToAnchor(QStringLiteral("top"));
  }
  show();
  raise();
  activateWindow();
}

}  // namespace varnoke::shell
