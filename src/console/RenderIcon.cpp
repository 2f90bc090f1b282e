// bw_render_icon: renders an SVG icon to a square PNG of one size, for the
// hicolor sizes the desktop wants beside the scalable icon. Build tool only.
// Usage: bw_render_icon IN.svg SIZE OUT.png
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "Usage: bw_render_icon IN.svg SIZE OUT.png\n");
    return 2;
  }
  bool number = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&number);
  if (!number || size < 8 || size > 1024) {
    std::fprintf(stderr, "bw_render_icon: size %s is not between 8 and 1024\n", argv[2]);
    return 2;
  }
  QImageReader reader(QString::fromLocal8Bit(argv[1]), "svg");
  reader.setScaledSize(QSize(size, size));
  const QImage image = reader.read();
  if (image.isNull()) {
    std::fprintf(stderr, "bw_render_icon: %s: %s\n", argv[1], qPrintable(reader.errorString()));
    return 1;
  }
  QImageWriter writer(QString::fromLocal8Bit(argv[3]), "png");
  if (!writer.write(image.convertToFormat(QImage::Format_ARGB32))) {
    std::fprintf(stderr, "bw_render_icon: %s: %s\n", argv[3], qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}
