// screenshot_compare SCREEN LCD SCALE: finds the LCD picture in a screen
// capture, each LCD pixel a SCALE x SCALE block of its colour. Exit 0 when
// found, 1 when not.
#include <QCoreApplication>
#include <QImage>
#include <cstdio>

namespace {

bool MatchesAt(const QImage& screen, const QImage& lcd, int scale, int left, int top) {
  for (int y = 0; y < lcd.height() * scale; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(screen.constScanLine(top + y));
    const QRgb* want = reinterpret_cast<const QRgb*>(lcd.constScanLine(y / scale));
    for (int x = 0; x < lcd.width() * scale; ++x) {
      if ((row[left + x] & 0xFFFFFF) != (want[x / scale] & 0xFFFFFF)) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: screenshot_compare SCREEN LCD SCALE\n");
    return 2;
  }
  const QImage screen = QImage(argv[1]).convertToFormat(QImage::Format_RGB32);
  const QImage lcd = QImage(argv[2]).convertToFormat(QImage::Format_RGB32);
  const int scale = std::atoi(argv[3]);
  if (screen.isNull() || lcd.isNull() || scale < 1) {
    std::fprintf(stderr, "screenshot_compare: cannot read the images\n");
    return 2;
  }
  const int w = lcd.width() * scale, h = lcd.height() * scale;
  for (int top = 0; top + h <= screen.height(); ++top) {
    for (int left = 0; left + w <= screen.width(); ++left) {
      if (MatchesAt(screen, lcd, scale, left, top)) {
        std::printf("found the %dx%d picture at ×%d at (%d, %d)\n", lcd.width(), lcd.height(),
                    scale, left, top);
        return 0;
      }
    }
  }
  std::fprintf(stderr, "screenshot_compare: the %dx%d picture at x%d is not on the screen\n",
               lcd.width(), lcd.height(), scale);
  return 1;
}
