// Where the picture goes on a full screen: the largest whole scale that fits,
// centred, the rest black.
#pragma once

namespace kestra {

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const ScreenRect&) const = default;
};

struct FullScreenLayout {
  int scale = 1;
  ScreenRect image;  // in screen pixels
};

// The console's picture (224 x 144, or 144 x 224 held vertically) on a screen
// of the given size. A screen smaller than the picture still shows it at
// scale 1, centred and cut at the edges.
FullScreenLayout FullScreenGeometry(int screenWidth, int screenHeight, bool vertical);

}  // namespace kestra
