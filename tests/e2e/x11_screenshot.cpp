// x11-screenshot OUT.png [LEFT TOP WIDTH HEIGHT]: the screen, or a part of
// it, as a PNG file.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 6) {
    std::fprintf(stderr, "usage: x11-screenshot OUT.png [LEFT TOP WIDTH HEIGHT]\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  QPixmap shot = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                                std::atoi(argv[4]), std::atoi(argv[5]))
                           : screen->grabWindow(0);
  return shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
