// The least a resident tray program can be: a Qt application that shows a
// tray icon and waits. The start-up benchmark's peer.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("varnoke-bare"));
  QApplication::setQuitOnLastWindowClosed(false);
  QPixmap picture(32, 32);
  picture.fill(Qt::darkBlue);
  QSystemTrayIcon icon{QIcon(picture)};
  icon.setToolTip(QStringLiteral("bare"));
  icon.show();
  return QApplication::exec();
}
