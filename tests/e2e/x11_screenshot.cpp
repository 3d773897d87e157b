// x11-screenshot OUT.png [LEFT TOP WIDTH HEIGHT | --window ID]: the screen,
// a part of it, or one window's contents (where the screen cannot be read,
// as on XWayland), as a PNG file.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 6 && !(argc == 4 && std::string(argv[2]) == "--window")) {
    std::fprintf(stderr, "usage: x11-screenshot OUT.png [LEFT TOP WIDTH HEIGHT | --window ID]\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (argc == 4) {
    const QPixmap window = screen->grabWindow(std::strtoull(argv[3], nullptr, 0));
    return window.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
  }
  QPixmap shot = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                                std::atoi(argv[4]), std::atoi(argv[5]))
                           : screen->grabWindow(0);
  return shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
