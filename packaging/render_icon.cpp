// render-icon SVG PNG SIZE: draws the program's scalable icon at one pixel
// size for the icon theme's fixed-size folders. Runs at build time without
// a display.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: render-icon SVG PNG SIZE\n", stderr);
    return 2;
  }
  char* end = nullptr;
  const long size = std::strtol(argv[3], &end, 10);
  if (end == argv[3] || *end != '\0' || size < 1 || size > 4096) {
    std::fprintf(stderr, "render-icon: '%s' is not a pixel size\n", argv[3]);
    return 2;
  }
  // The build machine may have no display; painting into an image needs none.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "render-icon: cannot read %s\n", argv[1]);
    return 1;
  }
  QImage image(static_cast<int>(size), static_cast<int>(size), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
  }
  if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "render-icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
