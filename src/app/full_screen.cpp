#include "app/full_screen.h"

#include <algorithm>

namespace kestra {

FullScreenLayout FullScreenGeometry(int screenWidth, int screenHeight, bool vertical) {
  const int width = vertical ? 144 : 224;
  const int height = vertical ? 224 : 144;
  FullScreenLayout layout;
  layout.scale = std::max(1, std::min(screenWidth / width, screenHeight / height));
  layout.image.width = width * layout.scale;
  layout.image.height = height * layout.scale;
  layout.image.x = (screenWidth - layout.image.width) / 2;
  layout.image.y = (screenHeight - layout.image.height) / 2;
  return layout;
}

}  // namespace kestra
